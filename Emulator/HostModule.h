/** @file
  A host module of a second driver (beside the one DriverImage loads), loaded
  with dlopen: a fresh image with its globals zero on every Load.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef HOST_MODULE_H_
#define HOST_MODULE_H_

#include <Uefi.h>

#include <string>

namespace Emu {

class HostModule {
public:
  explicit HostModule (std::string Path) : mPath (std::move (Path)) {}
  ~HostModule () { Unload (); }
  HostModule (const HostModule &) = delete;
  HostModule &operator= (const HostModule &) = delete;

  void  Load ();
  void  Unload ();

  template <typename FN>
  FN
  Symbol (const char *Name) const
  {
    return reinterpret_cast<FN>(RawSymbol (Name));
  }

private:
  VOID         *RawSymbol (const char *Name) const;
  std::string  mPath;
  VOID         *mHandle = nullptr;
};

}

#endif
