/** @file
  TavriRun's command line and the files it names.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "RunOptions.h"

#include <Core/Names.h>

#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Pi/PiHob.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <Library/TavriBaseLib.h>

namespace TavriRun {

namespace {

constexpr UINT32  KNOWN_ATTRIBUTES = 0x7F;

///
/// A FRU device is addressed with 16-bit offsets.
///
constexpr size_t  FRU_DEVICE_MAX = 0x10000;

///
/// A GUID HOB's length is 16 bits and a multiple of 8, its header 24 bytes.
///
constexpr size_t  HOB_DATA_MAX = 0xFFF8 - sizeof (EFI_HOB_GUID_TYPE);

bool
ReadFile (const std::string &Path, Bytes &Data, std::string &Error)
{
  std::ifstream  In (Path, std::ios::binary);

  if (!In) {
    Error = "cannot read " + Path + ": " + std::strerror (errno);
    return false;
  }

  Data.assign (std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  if (In.bad ()) {
    Error = "cannot read " + Path + ": read error";
    return false;
  }

  return true;
}

bool
ParseNumber (const std::string &Text, unsigned long long Max, unsigned long long &Value)
{
  char  *End = nullptr;

  if (Text.empty () || (Text[0] == '-') || (Text[0] == '+')) {
    return false;
  }

  errno = 0;
  Value = std::strtoull (Text.c_str (), &End, 0);
  return (errno == 0) && (*End == 0) && (Value <= Max);
}

//
// FILE or FILE@ID.
//
bool
ParseFru (const std::string &Arg, Options &Out, std::string &Error)
{
  std::string         Path = Arg;
  unsigned long long  Id   = 0;
  size_t              At   = Arg.rfind ('@');

  if ((At != std::string::npos) && ParseNumber (Arg.substr (At + 1), 0xFF, Id)) {
    Path = Arg.substr (0, At);
  }

  Bytes  Image;
  if (!ReadFile (Path, Image, Error)) {
    return false;
  }

  if (Image.empty () || (Image.size () > FRU_DEVICE_MAX)) {
    Error = Path + ": a FRU device image holds 1 to 65,536 bytes, this file " + std::to_string (Image.size ());
    return false;
  }

  Out.Fru[static_cast<UINT8>(Id)] = Image;
  return true;
}

//
// NAME=FILE. A file named as efivarfs names it (NAME-GUID) holds 4 attribute
// bytes, then the data; any other file is the data alone.
//
bool
ParseVariable (const std::string &Arg, Options &Out, std::string &Error)
{
  size_t  Equals = Arg.find ('=');

  if ((Equals == std::string::npos) || (Equals == 0) || (Equals + 1 == Arg.size ())) {
    Error = "--var takes NAME=FILE, not '" + Arg + "'";
    return false;
  }

  std::string   Name = Arg.substr (0, Equals);
  std::string   Path = Arg.substr (Equals + 1);
  VariableFile  Var;
  if (Name == "SocketPowerManagementConfig") {
    Var.Name = SOCKET_POWER_MANAGEMENT_CONFIG_NAME;
    Var.Guid = gSocketPowerManagementConfigGuid;
  } else if (Name == "SocketIioConfig") {
    Var.Name = SOCKET_IIO_CONFIG_NAME;
    Var.Guid = gSocketIioConfigGuid;
  } else {
    Error = "--var: the driver reads SocketPowerManagementConfig and SocketIioConfig, not '" + Name + "'";
    return false;
  }

  Bytes  Raw;
  if (!ReadFile (Path, Raw, Error)) {
    return false;
  }

  static const std::regex  EfivarfsName (".*-[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$");
  std::string              Base = Path.substr (Path.find_last_of ('/') == std::string::npos ? 0 : Path.find_last_of ('/') + 1);
  if (std::regex_match (Base, EfivarfsName)) {
    if (Raw.size () < 5) {
      Error = Path + ": an efivarfs file holds 4 attribute bytes and at least one data byte, this one " + std::to_string (Raw.size ()) + " bytes";
      return false;
    }

    Var.Attributes = Raw[0] | (Raw[1] << 8) | (Raw[2] << 16) | (static_cast<UINT32>(Raw[3]) << 24);
    if (((Var.Attributes & ~KNOWN_ATTRIBUTES) != 0) || ((Var.Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS) == 0)) {
      Error = Path + ": attribute bytes " + Emu::Hex (Var.Attributes, 8) + " are not a variable's (efivarfs layout: 4 attribute bytes, then the data)";
      return false;
    }

    Var.Data.assign (Raw.begin () + 4, Raw.end ());
  } else {
    if (Raw.empty ()) {
      Error = Path + ": empty; a variable holds at least one byte";
      return false;
    }

    Var.Attributes = TAVRI_VARIABLE_NV_BS_RT;
    Var.Data       = Raw;
  }

  Out.Variables.push_back (Var);
  return true;
}

}  // namespace

const char *
Usage ()
{
  return "usage: TavriRun [--quiet] [--fru FILE[@ID]]... [--var NAME=FILE]... [--hob FILE]\n"
         "                [--busy N] [--boots N] [--revision 0xHEX] [--transport 1|2|3]\n"
         "  --fru FILE[@ID]   FRU device ID's image (device 0 without @ID), 1 to 65,536 bytes\n"
         "  --var NAME=FILE   SocketPowerManagementConfig or SocketIioConfig: the raw data, or an\n"
         "                    efivarfs file (named NAME-GUID: 4 attribute bytes, then the data)\n"
         "  --hob FILE        the IIO source HOB's data (after its GUID)\n"
         "  --busy N          the BMC answers busy N times before serving (default 1)\n"
         "  --boots N         boot at most N times, until a boot completes (default 4)\n"
         "  --revision 0xHEX  the system table's revision (default 0x00020046)\n"
         "  --transport 1|2|3 the IPMI transport's shape: 1 one-byte sizes (default), 2 IPMI_TRANSPORT2\n"
         "                    (32-bit sizes; any completion code but 0x00 is EFI_DEVICE_ERROR),\n"
         "                    3 EDK2's IPMI_PROTOCOL with IpmiProtocolBridgeDxe over it\n"
         "  --quiet           print the summary of each boot only\n"
         "Whatever is not given is a typical first boot: preset 1 not in force, the IIO import on.\n";
}

std::optional<Options>
Parse (int Argc, char **Argv, std::string &Error)
{
  Options  Out;

  for (int Index = 1; Index < Argc; Index++) {
    std::string  Arg = Argv[Index];
    if (Arg == "--quiet") {
      Out.Quiet = true;
      continue;
    }

    if ((Arg == "--help") || (Arg == "-h")) {
      Out.Help = true;
      continue;
    }

    static const char *const  Valued[] = { "--fru", "--var", "--hob", "--busy", "--boots", "--revision", "--transport" };
    if (std::find (std::begin (Valued), std::end (Valued), Arg) == std::end (Valued)) {
      Error = "unknown option '" + Arg + "' (--help lists them)";
      return std::nullopt;
    }

    if (Index + 1 >= Argc) {
      Error = Arg + " needs a value (--help lists them)";
      return std::nullopt;
    }

    std::string         Value = Argv[++Index];
    unsigned long long  Number = 0;
    bool                Good   = true;
    if (Arg == "--fru") {
      Good = ParseFru (Value, Out, Error);
    } else if (Arg == "--var") {
      Good = ParseVariable (Value, Out, Error);
    } else if (Arg == "--hob") {
      Bytes  Data;
      Good = ReadFile (Value, Data, Error);
      if (Good && (Data.empty () || (Data.size () > HOB_DATA_MAX))) {
        Error = Value + ": a GUID HOB carries 1 to " + std::to_string (HOB_DATA_MAX) + " data bytes, this file " + std::to_string (Data.size ());
        Good  = false;
      }

      Out.HobData = Data;
    } else if (Arg == "--busy") {
      Good = ParseNumber (Value, 1000, Number);
      Out.Busy = static_cast<unsigned>(Number);
      Error = Good ? Error : "--busy takes a count from 0 to 1000, not '" + Value + "'";
    } else if (Arg == "--boots") {
      Good = ParseNumber (Value, 100, Number) && (Number >= 1);
      Out.Boots = static_cast<unsigned>(Number);
      Error = Good ? Error : "--boots takes a count from 1 to 100, not '" + Value + "'";
    } else if (Arg == "--transport") {
      Good = (Value == "1") || (Value == "2") || (Value == "3");
      Out.Transport = static_cast<unsigned>(Good ? Value[0] - '0' : 1);
      Error = Good ? Error : "--transport takes 1, 2 or 3, not '" + Value + "'";
    } else {
      Good = (Value.rfind ("0x", 0) == 0 || Value.rfind ("0X", 0) == 0) && ParseNumber (Value, 0xFFFFFFFFull, Number);
      Out.Revision = static_cast<UINT32>(Number);
      Error = Good ? Error : "--revision takes a 32-bit hex value such as 0x00020046, not '" + Value + "'";
    }

    if (!Good) {
      return std::nullopt;
    }
  }

  return Out;
}

}
