/** @file
  Builds a HOB list the way earlier boot phases leave one: a sequence of
  HOBs, each 8-byte aligned, closed by an end-of-list HOB.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_HOB_LIST_BUILDER_H_
#define EMU_HOB_LIST_BUILDER_H_

#include <Uefi.h>
#include <Pi/PiHob.h>

#include <vector>

namespace Emu {

using Bytes = std::vector<UINT8>;

class HobListBuilder {
public:
  HobListBuilder &AddGuidHob (const EFI_GUID &Name, const Bytes &Data);
  HobListBuilder &AddHob (UINT16 Type, UINT16 Length);      ///< a HOB of another type, zero-filled
  HobListBuilder &AddRaw (const Bytes &Raw);                ///< raw bytes, for malformed lists
  HobListBuilder &End ();
  const Bytes    &Data () const { return mData; }

private:
  Bytes  mData;
};

}

#endif
