/** @file
  The fuzz targets' invariant check: a broken invariant aborts, so libFuzzer
  keeps the input that broke it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FUZZ_REQUIRE_H_
#define FUZZ_REQUIRE_H_

#include <cstdio>
#include <cstdlib>

inline void
Require (bool Condition, const char *What)
{
  if (!Condition) {
    std::fprintf (stderr, "invariant broken: %s\n", What);
    std::abort ();
  }
}

#endif
