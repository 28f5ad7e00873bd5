/** @file
  frutool make and frutool diff.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruToolCompose.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <Library/FruMake.h>
#include <Library/FruPrint.h>

#include "FruJson.h"

namespace {

constexpr std::size_t  DESCRIPTION_LIMIT = 1 << 20;

const CHAR8 *
Environment (
  VOID         *Context,
  CONST CHAR8  *Name,
  UINTN        Length
  )
{
  (VOID)Context;
  return std::getenv (std::string (Name, Length).c_str ());
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

using FIELDS = std::vector<std::pair<std::string, std::string>>;

VOID
Collect (
  VOID         *Context,
  CONST CHAR8  *Line
  )
{
  FIELDS       &Fields = *static_cast<FIELDS *>(Context);
  std::string  Text (Line);
  size_t       Colon = Text.find (": ");
  std::string  Name  = (Colon == std::string::npos) ? Text : Text.substr (0, Colon);
  std::string  Value = (Colon == std::string::npos) ? "" : Text.substr (Colon + 2);

  // Names repeat only for errors: number them so that each is compared.
  std::string  Key = Name;
  for (int Copy = 2; ; Copy++) {
    bool  Taken = false;
    for (const auto &Field : Fields) {
      Taken = Taken || (Field.first == Key);
    }

    if (!Taken) {
      break;
    }

    Key = Name + "#" + std::to_string (Copy);
  }

  Fields.emplace_back (Key, Value);
}

const std::string *
Find (
  const FIELDS       &Fields,
  const std::string  &Name
  )
{
  for (const auto &Field : Fields) {
    if (Field.first == Name) {
      return &Field.second;
    }
  }

  return nullptr;
}

}  // namespace

bool
FruToolReadFile (
  const char                 *Path,
  std::vector<std::uint8_t>  &Bytes,
  std::size_t                Limit
  )
{
  FILE  *File = std::fopen (Path, "rb");

  if (File == nullptr) {
    std::fprintf (stderr, "frutool: cannot open %s: %s\n", Path, std::strerror (errno));
    return false;
  }

  std::uint8_t  Chunk[4096];
  size_t        Got;
  while ((Got = std::fread (Chunk, 1, sizeof (Chunk), File)) > 0) {
    Bytes.insert (Bytes.end (), Chunk, Chunk + Got);
    if (Bytes.size () > Limit) {
      std::fprintf (stderr, "frutool: %s is larger than %zu bytes\n", Path, Limit);
      std::fclose (File);
      return false;
    }
  }

  bool  Failed = std::ferror (File) != 0;
  std::fclose (File);
  if (Failed) {
    std::fprintf (stderr, "frutool: cannot read %s\n", Path);
  }

  return !Failed;
}

/**
  The description of make: a file, or standard input for "-".
**/
static bool
ReadDescription (
  const char                 *Path,
  std::vector<std::uint8_t>  &Text
  )
{
  if (std::strcmp (Path, "-") != 0) {
    return FruToolReadFile (Path, Text, DESCRIPTION_LIMIT);
  }

  std::uint8_t  Chunk[4096];
  size_t        Got;
  while ((Got = std::fread (Chunk, 1, sizeof (Chunk), stdin)) > 0) {
    Text.insert (Text.end (), Chunk, Chunk + Got);
    if (Text.size () > DESCRIPTION_LIMIT) {
      std::fprintf (stderr, "frutool: the description on standard input is larger than %zu bytes\n", DESCRIPTION_LIMIT);
      return false;
    }
  }

  if (std::ferror (stdin) != 0) {
    std::fprintf (stderr, "frutool: cannot read standard input\n");
    return false;
  }

  return true;
}

int
FruToolMake (
  const char  *Description,
  const char  *Out,
  bool        Json
  )
{
  std::vector<std::uint8_t>  Text;
  std::vector<std::uint8_t>  Image (FRU_MAX_IMAGE_SIZE);
  UINTN                      Size;
  FRU_MAKE_ERROR             Error;
  const char                 *Name = (std::strcmp (Description, "-") == 0) ? "standard input" : Description;

  if (!ReadDescription (Description, Text)) {
    return FRUTOOL_EXIT_IO;
  }

  std::string  Source (Text.begin (), Text.end ());
  if (Json || FruJsonLooksLikeJson (Source)) {
    std::string  Why;
    auto         Lookup = [](const std::string &Variable) -> const char * { return std::getenv (Variable.c_str ()); };
    if (!FruJsonMake (Source, Lookup, Image, Why)) {
      std::fprintf (stderr, "frutool: %s: %s; nothing written\n", Name, Why.c_str ());
      return FRUTOOL_EXIT_BAD;
    }

    Size = Image.size ();
  } else {
    FRU_STATUS  Status = FruMakeImage (Source.data (), Source.size (), Environment, nullptr,
                           Image.data (), Image.size (), &Size, &Error);
    if (Status != FruOk) {
      FRU_LINE  Line;
      FruLineReset (&Line);
      FruLineAddMakeError (&Line, &Error);
      std::fprintf (stderr, "frutool: %s: %s; nothing written\n", Name, Line.Text);
      return FRUTOOL_EXIT_BAD;
    }
  }

  FRU_OUTPUT  Quiet = { Discard, nullptr };
  if (FruVerifyImage (Image.data (), Size, &Quiet) != 0) {
    std::fprintf (stderr, "frutool: %s: the made image does not pass its checks; nothing written\n", Name);
    return FRUTOOL_EXIT_BAD;
  }

  FILE  *File = std::fopen (Out, "wb");
  bool  Ok    = (File != nullptr) && (std::fwrite (Image.data (), 1, Size, File) == Size);
  if ((File != nullptr) && (std::fclose (File) != 0)) {
    Ok = false;
  }

  if (!Ok) {
    std::fprintf (stderr, "frutool: cannot write %s: %s\n", Out, std::strerror (errno));
    return FRUTOOL_EXIT_IO;
  }

  std::printf ("%s: %zu bytes made from %s, every checksum good\n", Out, static_cast<size_t>(Size), Name);
  return 0;
}

int
FruToolDiff (
  const char  *PathA,
  const char  *PathB
  )
{
  std::vector<std::uint8_t>  A;
  std::vector<std::uint8_t>  B;
  FIELDS                     FieldsA;
  FIELDS                     FieldsB;

  if (!FruToolReadFile (PathA, A, FRU_MAX_IMAGE_SIZE) || !FruToolReadFile (PathB, B, FRU_MAX_IMAGE_SIZE)) {
    return FRUTOOL_EXIT_IO;
  }

  FRU_OUTPUT  OutA = { Collect, &FieldsA };
  FRU_OUTPUT  OutB = { Collect, &FieldsB };
  FruPrintImage (A.data (), A.size (), &OutA);
  FruPrintImage (B.data (), B.size (), &OutB);

  size_t  Differ = 0;
  for (const auto &Field : FieldsA) {
    const std::string  *Other = Find (FieldsB, Field.first);
    if (Other == nullptr) {
      std::printf ("%s: only in %s: %s\n", Field.first.c_str (), PathA, Field.second.c_str ());
      Differ++;
    } else if (*Other != Field.second) {
      std::printf ("%s: %s | %s\n", Field.first.c_str (), Field.second.c_str (), Other->c_str ());
      Differ++;
    }
  }

  for (const auto &Field : FieldsB) {
    if (Find (FieldsA, Field.first) == nullptr) {
      std::printf ("%s: only in %s: %s\n", Field.first.c_str (), PathB, Field.second.c_str ());
      Differ++;
    }
  }

  if (Differ == 0) {
    std::printf ("%s and %s hold the same fields\n", PathA, PathB);
  }

  return (Differ == 0) ? 0 : FRUTOOL_EXIT_BAD;
}
