/** @file
  TavriRun's bring-up log: each boot in words, and the FRU device decoded.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "BootStory.h"

#include <Library/FruPrint.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

namespace TavriRun {

namespace {

/**
  The lines of Trace that begin (after their indent) with Prefix.
**/
std::vector<std::string>
Lines (const std::string &Trace, const std::string &Prefix)
{
  std::vector<std::string>  Found;
  std::istringstream        In (Trace);
  std::string               Line;

  while (std::getline (In, Line)) {
    size_t  Start = Line.find_first_not_of (' ');
    if ((Start != std::string::npos) && (Line.compare (Start, Prefix.size (), Prefix) == 0)) {
      Found.push_back (Line.substr (Start));
    }
  }

  return Found;
}

/**
  The status a trace line reports after "-> ", e.g. EFI_SUCCESS.
**/
std::string
Outcome (const std::string &Line)
{
  size_t  At = Line.find ("-> ");
  if (At == std::string::npos) {
    return "no status";
  }

  std::string  Rest = Line.substr (At + 3);
  return Rest.substr (0, Rest.find (' '));
}

void
Say (const std::string &Sentence)
{
  std::printf ("  %s.\n", Sentence.c_str ());
}

VOID
CollectLine (
  VOID         *Context,
  CONST CHAR8  *Line
  )
{
  static_cast<std::vector<std::string> *>(Context)->push_back (Line);
}

}  // namespace

void
PrintBootStory (
  const std::string  &Trace,
  bool               ResetByCf9,
  UINT8              ResetValue
  )
{
  auto  PmRead   = Lines (Trace, "GetVariable SocketPowerManagementConfig");
  auto  PmStore  = Lines (Trace, "SetVariable SocketPowerManagementConfig");
  auto  IioRead  = Lines (Trace, "GetVariable SocketIioConfig");
  auto  IioStore = Lines (Trace, "SetVariable SocketIioConfig");
  auto  Ipmi     = Lines (Trace, "IpmiCommand");
  auto  Busy     = Lines (Trace, "ReadMsr");
  auto  Fru      = Lines (Trace, "InstallProtocolInterface 6AF735B6");
  auto  Marker   = Lines (Trace, "IoWrite8 port 0x73 <- 0x55");

  if (!PmRead.empty ()) {
    if (!PmStore.empty ()) {
      Say ("The driver read SocketPowerManagementConfig (" + Outcome (PmRead.front ()) + "), found the selected preset "
           "not in force and stored it (SetVariable " + Outcome (PmStore.front ()) + ")");
    } else {
      Say ("The driver read SocketPowerManagementConfig (" + Outcome (PmRead.front ()) + ") and had nothing to store");
    }
  }

  if (ResetByCf9) {
    char  Value[8];
    std::snprintf (Value, sizeof (Value), "0x%02X", ResetValue);
    Say (std::string ("It reset the board through port 0xCF9 (") + Value + ")" + (Ipmi.empty () ? " before any IPMI command" : "")
         + (PmStore.empty () ? "" : ", so that the stored preset takes effect"));
    return;
  }

  if (!Fru.empty ()) {
    Say ("It installed the FRU access protocol and read FRU device 0 from the BMC: " + std::to_string (Ipmi.size ())
         + " IPMI commands, " + std::to_string (Busy.size ()) + " busy repl" + (Busy.size () == 1 ? "y" : "ies") + " waited out");
  }

  if (!Marker.empty ()) {
    Say ("It wrote its marker to extended CMOS: byte 0x81 <- 0x55");
  }

  if (!IioStore.empty ()) {
    Say ("It imported the IIO source HOB into SocketIioConfig (SetVariable " + Outcome (IioStore.front ()) + ")");
  } else if (!IioRead.empty ()) {
    Say ("It read SocketIioConfig (" + Outcome (IioRead.front ()) + ") and left it unchanged");
  }
}

bool
PrintFruDevice (
  const UINT8  *Data,
  size_t       Size
  )
{
  std::vector<std::string>  Verdict;
  std::vector<std::string>  Fields;
  FRU_OUTPUT                ToVerdict = { CollectLine, &Verdict };
  FRU_OUTPUT                ToFields  = { CollectLine, &Fields };

  UINTN  Errors = FruVerifyImage (Data, Size, &ToVerdict);
  FruPrintImage (Data, Size, &ToFields);
  std::printf ("    (checksums and fields by the FRU format library, as frutool verify and print give them)\n");
  size_t  Row = 0;
  for ( ; Row * 16 < Size; Row++) {
    std::printf ("    %04zX ", Row * 16);
    for (size_t Col = 0; Col < 16 && Row * 16 + Col < Size; Col++) {
      std::printf (" %02X", Data[Row * 16 + Col]);
    }

    for (size_t Col = std::min<size_t> (16, Size - Row * 16); Col < 16; Col++) {
      std::printf ("   ");
    }

    std::printf ("%s%s\n", (Row < Verdict.size ()) ? "   " : "", (Row < Verdict.size ()) ? Verdict[Row].c_str () : "");
  }

  for ( ; Row < Verdict.size (); Row++) {
    std::printf ("    %s\n", Verdict[Row].c_str ());
  }

  std::printf ("    verdict: %s\n", (Errors == 0) ? "every checksum good" : "the image does not verify");
  for (const std::string &Field : Fields) {
    if ((Field.rfind ("error:", 0) != 0) && (Field.back () != ' ')) {
      std::printf ("    %s\n", Field.c_str ());
    }
  }

  return Errors == 0;
}

}  // namespace TavriRun
