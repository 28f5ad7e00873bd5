/** @file
  frutool's commands over more than one file: make (an image from a
  description, `name = value` lines or JSON) and diff (the fields two
  images hold differently).

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_TOOL_COMPOSE_H_
#define FRU_TOOL_COMPOSE_H_

#include <cstdint>
#include <vector>

constexpr int  FRUTOOL_EXIT_BAD   = 1;
constexpr int  FRUTOOL_EXIT_USAGE = 2;
constexpr int  FRUTOOL_EXIT_IO    = 3;

/**
  Read a whole file; says why on stderr when it cannot.
**/
bool
FruToolReadFile (
  const char                 *Path,
  std::vector<std::uint8_t>  &Bytes,
  std::size_t                Limit
  );

/**
  frutool make [--json] DESCRIPTION OUT: 0 made, 1 the description is wrong,
  3 I/O. The description is JSON when Json is set or it starts with `{`,
  otherwise `name = value` lines; "-" reads it from standard input.
**/
int
FruToolMake (
  const char  *Description,
  const char  *Out,
  bool        Json
  );

/**
  frutool diff A B: 0 the same fields, 1 fields differ, 3 I/O.
**/
int
FruToolDiff (
  const char  *PathA,
  const char  *PathB
  );

#endif
