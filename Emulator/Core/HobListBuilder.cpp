/** @file
  Builds HOB lists.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "HobListBuilder.h"

#include <algorithm>
#include <cstring>

namespace Emu {

HobListBuilder &
HobListBuilder::AddGuidHob (const EFI_GUID &Name, const Bytes &Data)
{
  size_t  Length = (sizeof (EFI_HOB_GUID_TYPE) + Data.size () + 7) & ~static_cast<size_t>(7);
  size_t  Start  = mData.size ();

  mData.resize (Start + Length, 0);
  EFI_HOB_GUID_TYPE  Hob {};
  Hob.Header.HobType   = EFI_HOB_TYPE_GUID_EXTENSION;
  Hob.Header.HobLength = static_cast<UINT16>(Length);
  Hob.Name             = Name;
  std::memcpy (&mData[Start], &Hob, sizeof (Hob));
  std::copy (Data.begin (), Data.end (), mData.begin () + static_cast<std::ptrdiff_t>(Start + sizeof (Hob)));
  return *this;
}

HobListBuilder &
HobListBuilder::AddHob (UINT16 Type, UINT16 Length)
{
  size_t  Start = mData.size ();

  mData.resize (Start + Length, 0);
  EFI_HOB_GENERIC_HEADER  Header { Type, Length, 0 };
  std::memcpy (&mData[Start], &Header, std::min<size_t>(sizeof (Header), Length));
  return *this;
}

HobListBuilder &
HobListBuilder::AddRaw (const Bytes &Raw)
{
  mData.insert (mData.end (), Raw.begin (), Raw.end ());
  return *this;
}

HobListBuilder &
HobListBuilder::End ()
{
  return AddHob (EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof (EFI_HOB_GENERIC_HEADER));
}

}
