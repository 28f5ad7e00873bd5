/** @file
  TavriRun's command line and the board team's files it names: FRU device
  images, setup variables (raw, or as efivarfs keeps them) and the IIO source
  HOB's data. Every problem with them is one line of text, never a crash.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef TAVRI_RUN_OPTIONS_H_
#define TAVRI_RUN_OPTIONS_H_

#include <Uefi.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace TavriRun {

using Bytes = std::vector<UINT8>;

struct VariableFile {
  std::u16string  Name;
  EFI_GUID        Guid {};
  UINT32          Attributes = 0;
  Bytes           Data;
};

struct Options {
  bool                        Quiet = false;
  bool                        Help = false;
  std::map<UINT8, Bytes>      Fru;            ///< device ID -> image
  std::vector<VariableFile>   Variables;
  std::optional<Bytes>        HobData;        ///< IIO source HOB data
  unsigned                    Busy = 1;       ///< busy replies before the first command is served
  unsigned                    Boots = 4;      ///< at most this many boots
  std::optional<UINT32>       Revision;
  unsigned                    Transport = 1;  ///< 1: one-byte sizes; 2: IPMI_TRANSPORT2; 3: IPMI_PROTOCOL and the bridge
};

///
/// Read the command line and every file it names. On a problem, Error holds
/// one line saying what and where, and the result is empty.
///
std::optional<Options>  Parse (int Argc, char **Argv, std::string &Error);

const char             *Usage ();

}

#endif
