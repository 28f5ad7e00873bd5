/** @file
  UCS-2 text from C++ u"..." literals, made at compile time.

  UEFI strings are CHAR16. Outside EDK2 CHAR16 is char16_t, the type of a u""
  literal; MdePkg defines it as unsigned short, to which a u"" literal does not
  convert. UCS2_TEXT copies the literal into a CHAR16 array in a constant
  expression, so both builds get the same bytes and no code runs for it.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef UCS2_TEXT_H_
#define UCS2_TEXT_H_

#include <Uefi/UefiBaseType.h>

static_assert (sizeof (CHAR16) == sizeof (char16_t), "UCS-2 code units");

///
/// A NUL-terminated CHAR16 string of N code units, the NUL included.
///
template <UINTN N>
struct UCS2_TEXT {
  CHAR16    Text[N];
};

/**
  Make a CHAR16 string from a u"" literal, in a constant expression.
**/
template <UINTN N>
constexpr UCS2_TEXT<N>
Ucs2Text (
  const char16_t  (&Literal)[N]
  )
{
  UCS2_TEXT<N>  Result = {};

  for (UINTN Index = 0; Index < N; Index++) {
    Result.Text[Index] = static_cast<CHAR16>(Literal[Index]);
  }

  return Result;
}

#endif
