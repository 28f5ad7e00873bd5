/** @file
  Fuzz target of frutool's JSON side. An input starting with `{` is a JSON
  description for make; any other input is a FRU image for print --json.

  Description: make either refuses it with a message, or makes an image
  that passes every check and whose print --json makes the same bytes again.

  Image: print --json never throws; when the image passes its checks, its
  document is a description make takes, the image made from it decodes to
  the same document, and made once more comes back byte for byte.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruJson.h"

#include <Library/FruPrint.h>

#include "../Fuzz/FuzzRequire.h"

#include <cstring>

namespace {

const char *
Lookup (
  const std::string  &Name
  )
{
  return (Name == "SERIAL") ? "SN-0042" : nullptr;
}

VOID
Discard (
  VOID         *Context,
  CONST CHAR8  *Line
  )
{
  (VOID)Context;
  (VOID)Line;
}

/**
  Make an image from Document, which must be taken, and return it.
**/
std::vector<std::uint8_t>
MakeFrom (
  const FRU_JSON  &Document
  )
{
  std::vector<std::uint8_t>  Image;
  std::string                Error;

  Require (FruJsonMake (Document.dump (), Lookup, Image, Error), "print --json of a good image is a description make takes");
  return Image;
}

}  // namespace

extern "C" int
LLVMFuzzerTestOneInput (
  const std::uint8_t  *Input,
  size_t              Size
  )
{
  std::size_t  Errors = 0;

  if ((Size == 0) || (Size > FRU_MAX_IMAGE_SIZE)) {
    return 0;
  }

  if (Input[0] == '{') {
    std::vector<std::uint8_t>  Image;
    std::string                Error;
    if (!FruJsonMake (std::string (reinterpret_cast<const char *>(Input), Size), Lookup, Image, Error)) {
      Require (Image.empty () && !Error.empty (), "a refused description gives a message and no image");
      return 0;
    }

    FRU_OUTPUT  Quiet = { Discard, nullptr };
    Require ((Image.size () >= FRU_HEADER_SIZE) && (Image.size () <= FRU_MAX_IMAGE_SIZE), "a made image fits a FRU device");
    Require (FruVerifyImage (Image.data (), Image.size (), &Quiet) == 0, "a made image passes every check");
    FRU_JSON  Printed = FruJsonPrint (Image.data (), Image.size (), &Errors);
    Require (MakeFrom (Printed) == Image, "an image make made comes back byte for byte");
    return 0;
  }

  // The image in a block of its own size, so that a read past it is found.
  std::vector<std::uint8_t>  Image (Input, Input + Size);
  FRU_JSON                   Printed  = FruJsonPrint (Image.data (), Image.size (), &Errors);
  FRU_JSON                   Verified = FruJsonVerify (Image.data (), Image.size (), "fuzz", &Errors);
  (void)Verified;
  if (Errors != 0) {
    return 0;
  }

  std::vector<std::uint8_t>  Made = MakeFrom (Printed);
  std::size_t                MadeErrors;
  FRU_JSON                   Again = FruJsonPrint (Made.data (), Made.size (), &MadeErrors);
  Require (Again == Printed, "the image made from print --json decodes the same");
  Require (MakeFrom (Again) == Made, "an image make made comes back byte for byte");
  return 0;
}
