/** @file
  frutool: the FRU tool on the host, over FRU image files.

    frutool print [--json] FILE        every field as `name: value`, or the
                                       whole image as one JSON document
    frutool verify [--json] FILE       header, areas and checksums
    frutool dump FILE [OFFSET [LENGTH]] hex dump
    frutool set [--size N] FILE NAME VALUE
                                       set one field, rewrite the file; the
                                       areas after it move when it grows, up
                                       to N bytes (default: the file's size)
    frutool make [--json] DESCRIPTION OUT
                                       an image from a `name = value` or a
                                       JSON description ("-": standard input)
    frutool diff A B                   the fields A and B hold differently

  Exit status of make: 0 made, 1 the description is wrong; of diff: 0 the
  same fields, 1 fields differ.

  Exit status: 0 when the image passes every check (and the change was
  made), 1 when it does not, 2 for a usage error, 3 when a file cannot be
  read or written.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <Library/FruEdit.h>
#include <Library/FruPrint.h>

#include "FruJson.h"
#include "FruToolCompose.h"

namespace {

constexpr int  EXIT_BAD_IMAGE = FRUTOOL_EXIT_BAD;
constexpr int  EXIT_USAGE     = FRUTOOL_EXIT_USAGE;
constexpr int  EXIT_IO        = FRUTOOL_EXIT_IO;

VOID
PrintTo (
  VOID         *Context,
  CONST CHAR8  *Line
  )
{
  std::fprintf (static_cast<FILE *>(Context), "%s\n", Line);
}

int
Usage (
  VOID
  )
{
  std::fprintf (stderr,
    "usage: frutool print [--json] FILE\n"
    "       frutool verify [--json] FILE\n"
    "       frutool dump FILE [OFFSET [LENGTH]]\n"
    "       frutool set [--size N] FILE NAME VALUE\n"
    "       frutool make [--json] DESCRIPTION OUT\n"
    "       frutool diff A B\n");
  return EXIT_USAGE;
}

bool
ReadImage (
  const char            *Path,
  std::vector<UINT8>    &Image
  )
{
  return FruToolReadFile (Path, Image, FRU_MAX_IMAGE_SIZE);
}

bool
WriteRange (
  const char                *Path,
  const std::vector<UINT8>  &Image,
  UINTN                     Start,
  UINTN                     Length
  )
{
  FILE  *File = std::fopen (Path, "r+b");
  bool  Ok    = (File != nullptr) && (std::fseek (File, static_cast<long>(Start), SEEK_SET) == 0) &&
                (std::fwrite (Image.data () + Start, 1, Length, File) == Length);

  if ((File != nullptr) && (std::fclose (File) != 0)) {
    Ok = false;
  }

  if (!Ok) {
    std::fprintf (stderr, "frutool: cannot write %s: %s\n", Path, std::strerror (errno));
  }

  return Ok;
}

int
Set (
  const char          *Path,
  std::vector<UINT8>  &Image,
  const char          *NameText,
  const char          *Value
  )
{
  FRU_NAME    Name;
  FRU_CHANGE  Change;
  FRU_ERROR   Error;
  FRU_LINE    Line;

  if (!FruParseName (NameText, &Name)) {
    std::fprintf (stderr, "frutool: unknown field name %s\n", NameText);
    return EXIT_USAGE;
  }

  if (FruSetValue (Image.data (), Image.size (), &Name, Value, &Change, &Error) != FruOk) {
    FruLineReset (&Line);
    FruLineAddError (&Line, &Error);
    std::fprintf (stderr, "frutool: %s not set: %s%s\n", NameText, Line.Text,
      ((Error.Status == FruErrNoRoom) && (Error.Limit == Image.size ())) ? " (--size N names a larger device)" : "");
    return EXIT_BAD_IMAGE;
  }

  if (!WriteRange (Path, Image, Change.Start, Change.Length)) {
    return EXIT_IO;
  }

  if (Change.Start == 0) {
    std::printf ("%s set: %s area grown, the areas after it moved up; 0x0000-0x%04X rewritten\n", NameText,
      FruAreaName (Name.Area), Change.Length);
  } else {
    std::printf ("%s set: %s area at 0x%04X re-laid, %u bytes rewritten\n", NameText, FruAreaName (Name.Area),
      Change.Start, Change.Length);
  }
  return 0;
}

}  // namespace

int
main (
  int   Argc,
  char  **Argv
  )
{
  if (Argc < 3) {
    return Usage ();
  }

  //
  // set --size N: the device the file stands for is N bytes, so areas may
  // grow past the end of the file.
  //
  UINT64  DeviceSize = 0;
  if (FruStrEq (Argv[1], "set") && FruStrEq (Argv[2], "--size")) {
    if ((Argc < 4) || !FruParseNumber (Argv[3], FRU_MAX_IMAGE_SIZE, &DeviceSize) || (DeviceSize < FRU_HEADER_SIZE)) {
      std::fprintf (stderr, "frutool: --size takes a device size from %zu to %zu bytes\n", static_cast<size_t>(FRU_HEADER_SIZE), static_cast<size_t>(FRU_MAX_IMAGE_SIZE));
      return EXIT_USAGE;
    }

    Argv[3] = Argv[1];
    Argv   += 2;
    Argc   -= 2;
  }

  //
  // print, verify and make --json: the option goes right after the command.
  //
  bool  Json = false;
  if ((FruStrEq (Argv[1], "print") || FruStrEq (Argv[1], "verify") || FruStrEq (Argv[1], "make")) &&
      FruStrEq (Argv[2], "--json"))
  {
    Json    = true;
    Argv[2] = Argv[1];
    Argv   += 1;
    Argc   -= 1;
  }

  if (FruStrEq (Argv[1], "make") || FruStrEq (Argv[1], "diff")) {
    if (Argc != 4) {
      return Usage ();
    }

    return FruStrEq (Argv[1], "make") ? FruToolMake (Argv[2], Argv[3], Json) : FruToolDiff (Argv[2], Argv[3]);
  }

  if (Argc < 3) {
    return Usage ();
  }

  const char          *Command = Argv[1];
  const char          *Path    = Argv[2];
  std::vector<UINT8>  Image;
  FRU_OUTPUT          Out = { PrintTo, stdout };

  bool  Known = FruStrEq (Command, "print") || FruStrEq (Command, "verify") ||
                FruStrEq (Command, "dump") || FruStrEq (Command, "set");
  if (!Known) {
    return Usage ();
  }

  if (!ReadImage (Path, Image)) {
    return EXIT_IO;
  }

  if (Json && (Argc == 3)) {
    size_t    Errors = 0;
    FRU_JSON  Document = FruStrEq (Command, "print") ? FruJsonPrint (Image.data (), Image.size (), &Errors)
                                                     : FruJsonVerify (Image.data (), Image.size (), Path, &Errors);
    std::printf ("%s\n", Document.dump (2).c_str ());
    return (Errors == 0) ? 0 : EXIT_BAD_IMAGE;
  }

  if (Json) {
    return Usage ();
  }

  if (FruStrEq (Command, "print") && (Argc == 3)) {
    return (FruPrintImage (Image.data (), Image.size (), &Out) == 0) ? 0 : EXIT_BAD_IMAGE;
  }

  if (FruStrEq (Command, "verify") && (Argc == 3)) {
    UINTN  Errors = FruVerifyImage (Image.data (), Image.size (), &Out);
    std::printf ("%s: %s\n", Path, (Errors == 0) ? "every checksum good" : "FAILED");
    return (Errors == 0) ? 0 : EXIT_BAD_IMAGE;
  }

  if (FruStrEq (Command, "dump") && (Argc <= 5)) {
    UINT64  Offset = 0;
    UINT64  Length = Image.size ();
    if (((Argc > 3) && !FruParseNumber (Argv[3], Image.size (), &Offset)) ||
        ((Argc > 4) && !FruParseNumber (Argv[4], Image.size () - Offset, &Length)))
    {
      std::fprintf (stderr, "frutool: offset and length must lie inside the %zu bytes of %s\n", Image.size (), Path);
      return EXIT_USAGE;
    }

    if (Argc == 4) {
      Length = Image.size () - Offset;
    }

    FruDumpBytes (Image.data () + Offset, Length, Offset, &Out);
    return 0;
  }

  if (FruStrEq (Command, "set") && (Argc == 5)) {
    if (DeviceSize != 0) {
      if (DeviceSize < Image.size ()) {
        std::fprintf (stderr, "frutool: %s has %zu bytes, more than --size %zu\n", Path, Image.size (), static_cast<size_t>(DeviceSize));
        return EXIT_USAGE;
      }

      Image.resize (DeviceSize, 0);
    }

    return Set (Path, Image, Argv[3], Argv[4]);
  }

  return Usage ();
}
