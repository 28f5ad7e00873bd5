/** @file
  What a DXE module of this project needs from the PI specification: the UEFI
  definitions and the HOB headers. Inside EDK2, MdePkg's PiDxe.h takes its
  place.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef PI_DXE_H_
#define PI_DXE_H_

#include <Uefi.h>
#include <Pi/PiHob.h>

#endif
