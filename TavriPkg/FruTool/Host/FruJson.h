/** @file
  frutool's JSON side: a FRU image as one JSON document (print --json,
  verify --json) and an image made from such a document (make --json).

  The document print --json gives is a description make takes: made from
  it, an image decodes to the same fields, encodings, records and area
  sizes, and an image laid out as frutool lays images comes back byte for
  byte. Documentation/FruToolJson.md describes the layout.

  Host only: it uses the standard library and nlohmann's JSON library; the
  FRU format library underneath stays free of both.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_JSON_H_
#define FRU_JSON_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using FRU_JSON = nlohmann::ordered_json;

///
/// The value of an environment variable, or nullptr when it is not set.
///
using FRU_JSON_LOOKUP = std::function<const char *(const std::string &Name)>;

/**
  The whole decoded image: common header, every area with its offset, size,
  checksum state and fields, the records raw and decoded, and an "errors"
  list when some part fails its checks.

  @param[out] Errors  The number of errors found; 0 when every check passes.
**/
FRU_JSON
FruJsonPrint (
  const std::uint8_t  *Data,
  std::size_t         Size,
  std::size_t         *Errors
  );

/**
  The verdict of verify: the header and each area, ok or the error.

  @param[out] Errors  The number of errors found.
**/
FRU_JSON
FruJsonVerify (
  const std::uint8_t  *Data,
  std::size_t         Size,
  const std::string   &File,
  std::size_t         *Errors
  );

/**
  Make the image a JSON description gives.

  @param[in]  Text    The description.
  @param[in]  Lookup  Where ${NAME} in a string value takes its value from.
  @param[out] Image   The image, when the description is good.
  @param[out] Error   Otherwise what is wrong, starting with the JSON path of
                      the bad value (`board.fields[2].value: ...`).

  @retval true   Image holds an image that passes every check.
  @retval false  The description is refused; Image is empty.
**/
bool
FruJsonMake (
  const std::string      &Text,
  const FRU_JSON_LOOKUP  &Lookup,
  std::vector<std::uint8_t>  &Image,
  std::string            &Error
  );

/**
  Whether a description is JSON rather than `name = value` lines: its first
  character other than white space is `{`.
**/
bool
FruJsonLooksLikeJson (
  const std::string  &Text
  );

#endif
