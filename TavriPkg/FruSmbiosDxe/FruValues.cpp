/** @file
  Reading and decoding the FRU fields that go into SMBIOS.

  Only what SMBIOS takes is read: the 8-byte common header, then each of the
  chassis, board and product areas in full. Their starts and lengths are at
  most 255 * 8 bytes each, so all of them lie in the first 4080 bytes of the
  device and one static buffer of 4 KiB holds them at their own offsets.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruValues.h"

#include <Library/FruDevice.h>
#include <Library/FruText.h>
#include <Library/FruValue.h>

namespace {

constexpr UINTN  FRU_INFO_EXTENT = FRU_MAX_AREA_SIZE * 2;

static_assert (FRU_INFO_EXTENT <= 4096, "header-named info areas end within 4 KiB");

UINT8  mFruBytes[FRU_INFO_EXTENT];

constexpr FRU_AREA  mInfoAreas[] = { FruAreaChassis, FruAreaBoard, FruAreaProduct };

/**
  Read one info area into mFruBytes at its own offset: its version and
  length bytes, then the rest of the length they give.

  @param[in,out]  Device  The FRU device.
  @param[in]      Start   The area's first byte, from the checked header.
  @param[out]     End     One past its last byte.
**/
EFI_STATUS
ReadInfoArea (
  IN OUT FRU_DEVICE  *Device,
  IN     UINTN       Start,
  OUT    UINTN       *End
  )
{
  UINTN       Done;
  EFI_STATUS  Status;

  Status = FruDeviceRead (Device, Start, 2, mFruBytes + Start, &Done);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  UINTN  Length = static_cast<UINTN>(mFruBytes[Start + 1]) * 8;
  *End = Start + 2;
  if (Length <= 2) {
    return EFI_SUCCESS;       // FruCheckArea refuses it
  }

  Status = FruDeviceRead (Device, Start + 2, Length - 2, mFruBytes + Start + 2, &Done);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  *End = Start + Length;
  return EFI_SUCCESS;
}

/**
  Decode one field of a checked info area into an SMBIOS string: text kept
  as the FRU tools print it (bytes outside printable ASCII and the backslash
  as \xHH), trailing spaces dropped. Binary fields are not text.
**/
VOID
DecodeField (
  IN  CONST FRU_SPAN    *Span,
  IN  FRU_AREA          Area,
  IN  UINT8             Index,
  OUT FRU_SMBIOS_VALUE  *Value
  )
{
  FRU_FIELD_CURSOR  Cursor;
  FRU_FIELD         Field;
  FRU_LINE          Line;

  Value->State = FruValueAbsent;
  FruFirstField (Span, Area, &Cursor);
  do {
    if (!FruNextField (mFruBytes, &Cursor, &Field)) {
      return;
    }
  } while (Field.Index != Index);

  if ((Field.Type == FRU_TYPE_BINARY) || (Field.Length == 0)) {
    return;
  }

  FruLineReset (&Line);
  FruLineAddFieldValue (&Line, mFruBytes, &Field);
  while ((Line.Length > 0) && (Line.Text[Line.Length - 1] == ' ')) {
    Line.Length--;
  }

  if (Line.Length == 0) {
    return;
  }

  if (Line.Length > SMBIOS_STRING_MAX_LENGTH) {
    Value->State = FruValueTooLong;
    return;
  }

  for (UINTN Char = 0; Char < Line.Length; Char++) {
    Value->Text[Char] = Line.Text[Char];
  }

  Value->Text[Line.Length] = '\0';
  Value->State             = FruValueSet;
}

}  // namespace

EFI_STATUS
FruValuesRead (
  IN  CONST FRU_ACCESS_PROTOCOL  *Fru,
  IN  UINT8                      DeviceId,
  OUT FRU_SMBIOS_VALUES              *Values
  )
{
  FRU_DEVICE  Device;
  FRU_HEADER  Header;
  FRU_ERROR   Error;
  UINTN       Done;
  UINTN       Extent = FRU_HEADER_SIZE;
  EFI_STATUS  Status;

  for (UINTN Entry = 0; Entry < FRU_SMBIOS_MAP_COUNT; Entry++) {
    Values->Value[Entry].State   = FruValueAbsent;
    Values->Value[Entry].Text[0] = '\0';
  }

  Values->ChassisType = 0;
  for (UINTN Area = 0; Area < FruAreaCount; Area++) {
    Values->AreaStatus[Area] = FruErrAreaAbsent;
  }

  Device.Fru      = Fru;
  Device.DeviceId = DeviceId;
  Device.FailedAt = 0;
  Status          = FruDeviceRead (&Device, 0, FRU_HEADER_SIZE, mFruBytes, &Done);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  //
  // Every offset a header can hold lies inside the 64 KiB a device
  // addresses: checked against that, the header fails only on its version
  // and checksum.
  //
  Values->AreaStatus[FruAreaHeader] = FruReadHeader (mFruBytes, FRU_MAX_IMAGE_SIZE, &Header, &Error);
  if (Values->AreaStatus[FruAreaHeader] != FruOk) {
    return EFI_VOLUME_CORRUPTED;
  }

  for (FRU_AREA Area : mInfoAreas) {
    UINTN  End;
    if (Header.Start[Area] == 0) {
      continue;
    }

    Status = ReadInfoArea (&Device, Header.Start[Area], &End);
    if (EFI_ERROR (Status)) {
      return Status;
    }

    Extent = (End > Extent) ? End : Extent;
  }

  for (FRU_AREA Area : mInfoAreas) {
    FRU_SPAN  Span;

    Values->AreaStatus[Area] = FruCheckArea (mFruBytes, Extent, &Header, Area, &Span, &Error);
    if (Values->AreaStatus[Area] != FruOk) {
      continue;
    }

    for (UINTN Entry = 0; Entry < FRU_SMBIOS_MAP_COUNT; Entry++) {
      if (mFruSmbiosMap[Entry].Area == Area) {
        DecodeField (&Span, Area, mFruSmbiosMap[Entry].FieldIndex, &Values->Value[Entry]);
      }
    }

    if (Area == FruAreaChassis) {
      UINT8  Type = mFruBytes[Span.Start + 2];
      if ((Type != 0) && (Type != FRU_CHASSIS_TYPE_UNKNOWN) && (Type <= FRU_CHASSIS_TYPE_LAST)) {
        Values->ChassisType = Type;
      }
    }
  }

  return EFI_SUCCESS;
}
