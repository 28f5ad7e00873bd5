/** @file
  The string forms frutool's JSON uses for bytes and text: hex, Latin-1
  text carried as UTF-8, ${NAME} replacement with $${ for a literal ${, and
  the decoded values of a multi-record record.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_JSON_TEXT_H_
#define FRU_JSON_TEXT_H_

#include "FruJson.h"

/**
  Bytes as upper-case hex digits, no prefix.
**/
std::string
FruJsonHex (
  const std::uint8_t  *Bytes,
  std::size_t         Count
  );

/**
  Hex digits (an optional 0x, then pairs) as at most Max bytes; false with
  Why set otherwise.
**/
bool
FruJsonBytesOfHex (
  const std::string          &Text,
  std::size_t                Max,
  std::vector<std::uint8_t>  &Bytes,
  std::string                &Why
  );

/**
  Latin-1 bytes as UTF-8, with every `${` written `$${` so that make reads
  them back as they are.
**/
std::string
FruJsonTextOfLatin1 (
  const std::uint8_t  *Bytes,
  std::size_t         Count
  );

/**
  UTF-8 text as Latin-1 bytes; false with Why set for a character past U+00FF.
**/
bool
FruJsonLatin1OfText (
  const std::string          &Text,
  std::vector<std::uint8_t>  &Bytes,
  std::string                &Why
  );

/**
  Replace every ${NAME} with what Lookup gives, and $${ with ${; false with
  Why set for a name not set or a ${ without }.
**/
bool
FruJsonExpand (
  const std::string      &Text,
  const FRU_JSON_LOOKUP  &Lookup,
  std::string            &Out,
  std::string            &Why
  );

/**
  What print decodes from a record of type Type with data Bytes: members
  "decoded" (name: number, boolean or text) and "units" (name: unit) or
  "note" (why it is not decoded); nothing for types with no layout.
**/
FRU_JSON
FruJsonDecodeRecord (
  std::uint8_t        Type,
  const std::uint8_t  *Bytes,
  std::size_t         Count
  );

#endif
