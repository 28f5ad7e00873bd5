/** @file
  A list of FRU reads and writes handed to the boot app by the harness, run
  through the FRU access protocol. Each operation reports one line:

    TAVRI op N read dev=DD offset=OOOO asked=A status=SSSSSSSSSSSSSSSS count=C tsc=T
    TAVRI op-data N OOOO XX XX ...     (the bytes read, 32 to a line)

  The status is the full 64-bit EFI_STATUS in hex, so that the harness checks
  the exact code.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruOps.h"

#include <IndustryStandard/IpmiFru.h>

#include <Library/BaseLib.h>
#include <Protocol/IpmiTransport.h>
#include "../Common/ReportPort.h"
#include "FwCfg.h"

constexpr UINTN   FRU_OPS_FILE_CAPACITY = 8192;
constexpr UINTN   FRU_OP_MAX_COUNT      = 1024;
constexpr UINT32  WAIT_BMC_TRIES        = 300;
constexpr UINTN   WAIT_BMC_STALL_US     = 100000;
constexpr UINT8   IPMI_NETFN_APP        = 0x06;
constexpr UINT8   IPMI_APP_GET_DEVICE_ID = 0x01;

STATIC UINT8  mOpsFile[FRU_OPS_FILE_CAPACITY];
STATIC UINT8  mOpData[FRU_OP_MAX_COUNT];

/**
  A cursor over one line of the operations file.
**/
typedef struct {
  CONST CHAR8  *At;
  CONST CHAR8  *End;
} OP_LINE;

STATIC
VOID
SkipBlanks (
  IN OUT OP_LINE  *Line
  )
{
  while ((Line->At < Line->End) && ((*Line->At == ' ') || (*Line->At == '\t') || (*Line->At == '\r'))) {
    Line->At++;
  }
}

/**
  TRUE and the cursor past Word when the line's next word is Word.
**/
STATIC
BOOLEAN
TakeWord (
  IN OUT OP_LINE      *Line,
  IN     CONST CHAR8  *Word
  )
{
  SkipBlanks (Line);
  CONST CHAR8  *At = Line->At;
  for ( ; *Word != 0; Word++, At++) {
    if ((At >= Line->End) || (*At != *Word)) {
      return FALSE;
    }
  }

  if ((At < Line->End) && (*At != ' ') && (*At != '\t') && (*At != '\r')) {
    return FALSE;
  }

  Line->At = At;
  return TRUE;
}

/**
  Take a hex number (an optional 0x, at most 8 digits) off the line.
**/
STATIC
BOOLEAN
TakeHex (
  IN OUT OP_LINE  *Line,
  OUT    UINT32   *Value
  )
{
  UINTN  Digits = 0;

  SkipBlanks (Line);
  if ((Line->End - Line->At >= 2) && (Line->At[0] == '0') && ((Line->At[1] == 'x') || (Line->At[1] == 'X'))) {
    Line->At += 2;
  }

  *Value = 0;
  for ( ; Line->At < Line->End; Line->At++, Digits++) {
    CHAR8   Char = *Line->At;
    UINT32  Nibble;
    if ((Char >= '0') && (Char <= '9')) {
      Nibble = static_cast<UINT32>(Char - '0');
    } else if ((Char >= 'a') && (Char <= 'f')) {
      Nibble = static_cast<UINT32>(Char - 'a' + 10);
    } else if ((Char >= 'A') && (Char <= 'F')) {
      Nibble = static_cast<UINT32>(Char - 'A' + 10);
    } else {
      break;
    }

    if (Digits == 8) {
      return FALSE;
    }

    *Value = (*Value << 4) | Nibble;
  }

  return Digits > 0;
}

STATIC
BOOLEAN
AtLineEnd (
  IN OUT OP_LINE  *Line
  )
{
  SkipBlanks (Line);
  return Line->At == Line->End;
}

STATIC
UINT8
OpPatternByte (
  IN UINT32  Seed,
  IN UINTN   Index
  )
{
  return static_cast<UINT8>(Seed + Index * 7);
}

STATIC
VOID
ReportOp (
  IN UINTN        Number,
  IN CONST CHAR8  *Kind,
  IN UINT32       Device,
  IN UINT32       Offset,
  IN UINT32       Asked,
  IN EFI_STATUS   Status,
  IN UINTN        Count,
  IN UINT64       Ticks
  )
{
  Put ("TAVRI op ");
  PutDec (Number);
  Put (" ");
  Put (Kind);
  Put (" dev=");
  PutHex (Device, 2);
  Put (" offset=");
  PutHex (Offset, 4);
  Put (" asked=");
  PutDec (Asked);
  Put (" status=");
  PutHex (Status, 16);
  Put (" count=");
  PutDec (Count);
  Put (" tsc=");
  PutDec (Ticks);
  Put ("\n");
}

STATIC
VOID
ReportOpData (
  IN UINTN  Number,
  IN UINTN  Count
  )
{
  for (UINTN Row = 0; Row < Count; Row += 32) {
    Put ("TAVRI op-data ");
    PutDec (Number);
    Put (" ");
    PutHex (Row, 4);
    for (UINTN Col = 0; (Col < 32) && (Row + Col < Count); Col++) {
      Put (" ");
      PutHex (mOpData[Row + Col], 2);
    }

    Put ("\n");
  }
}

/**
  Ask the BMC for its device ID until it answers with completion code 0x00:
  after a BMC restart, the interface answers an error until it is back.
**/
STATIC
VOID
WaitForBmc (
  IN EFI_BOOT_SERVICES        *BootServices,
  IN IPMI_TRANSPORT_PROTOCOL  *Ipmi,
  IN UINTN                    Number
  )
{
  EFI_STATUS  Status = EFI_NOT_READY;
  UINT32      Tries  = 0;
  EFI_STATUS  FirstStatus = EFI_SUCCESS;
  UINT8       FirstCode   = 0;
  UINT64      Start = AsmReadTsc ();

  while (Tries < WAIT_BMC_TRIES) {
    UINT8   Response[32 + 1];
    UINT32  Size = 32;

    Tries++;
    Response[0] = 0xFF;
    Status      = IpmiSendAnyShape (Ipmi, IPMI_NETFN_APP, 0, IPMI_APP_GET_DEVICE_ID, NULL, 0, Response, &Size);
    if (Tries == 1) {
      FirstStatus = Status;
      FirstCode   = Response[0];
    }

    if (!EFI_ERROR (Status) && (Size >= 1) && (Response[0] == IPMI_COMP_CODE_NORMAL)) {
      break;
    }

    Status = EFI_NOT_READY;
    BootServices->Stall (WAIT_BMC_STALL_US);
  }

  Put ("TAVRI op ");
  PutDec (Number);
  Put (" wait-bmc status=");
  PutHex (Status, 16);
  Put (" tries=");
  PutDec (Tries);
  Put (" first-status=");
  PutHex (FirstStatus, 16);
  Put (" first-code=");
  PutHex (FirstCode, 2);
  Put (" tsc=");
  PutDec (AsmReadTsc () - Start);
  Put ("\n");
}

/**
  Run one line of the operations file.
**/
STATIC
VOID
RunOp (
  IN EFI_BOOT_SERVICES        *BootServices,
  IN FRU_ACCESS_PROTOCOL      *Fru,
  IN IPMI_TRANSPORT_PROTOCOL  *Ipmi,
  IN OP_LINE                  *Line,
  IN UINTN                    Number
  )
{
  UINT32  Device;
  UINT32  Offset;
  UINT32  Count;
  UINT32  Seed = 0;
  BOOLEAN IsWrite;

  if (TakeWord (Line, "wait-bmc") && AtLineEnd (Line)) {
    WaitForBmc (BootServices, Ipmi, Number);
    return;
  }

  IsWrite = TakeWord (Line, "write");
  if ((!IsWrite && !TakeWord (Line, "read")) ||
      !TakeHex (Line, &Device) || !TakeHex (Line, &Offset) || !TakeHex (Line, &Count) ||
      (IsWrite && !TakeHex (Line, &Seed)) || !AtLineEnd (Line) ||
      (Device > 0xFF) || (Offset > 0xFFFF) || (Count > FRU_OP_MAX_COUNT))
  {
    Put ("TAVRI op ");
    PutDec (Number);
    Put (" malformed\n");
    return;
  }

  for (UINTN Index = 0; Index < FRU_OP_MAX_COUNT; Index++) {
    mOpData[Index] = IsWrite ? OpPatternByte (Seed, Index) : 0;
  }

  UINTN       Size  = Count;
  UINT64      Start = AsmReadTsc ();
  EFI_STATUS  Status = IsWrite ? Fru->WriteFruData (static_cast<UINT8>(Device), static_cast<UINT16>(Offset), &Size, mOpData)
                               : Fru->ReadFruData (static_cast<UINT8>(Device), static_cast<UINT16>(Offset), &Size, mOpData);
  UINT64      Ticks = AsmReadTsc () - Start;

  ReportOp (Number, IsWrite ? "write" : "read", Device, Offset, Count, Status, Size, Ticks);
  if (!IsWrite) {
    ReportOpData (Number, (Size <= Count) ? Size : Count);
  }
}

VOID
RunFruOps (
  IN EFI_BOOT_SERVICES        *BootServices,
  IN FRU_ACCESS_PROTOCOL      *Fru,
  IN IPMI_TRANSPORT_PROTOCOL  *Ipmi
  )
{
  UINTN       Size = 0;
  EFI_STATUS  Status = FwCfgReadFile ("opt/tavri/fru-ops", mOpsFile, FRU_OPS_FILE_CAPACITY, &Size);

  if (Status == EFI_NOT_FOUND) {
    return;
  }

  Put ("TAVRI fru-ops ");
  PutStatus ("status", Status);
  Put (" size=");
  PutDec (Size);
  Put ("\n");
  if (EFI_ERROR (Status) || (Ipmi == NULL)) {
    return;
  }

  CONST CHAR8  *Text   = reinterpret_cast<CONST CHAR8 *>(mOpsFile);
  CONST CHAR8  *End    = Text + Size;
  UINTN        Number = 0;

  while (Text < End) {
    OP_LINE  Line = { Text, Text };
    while ((Line.End < End) && (*Line.End != '\n')) {
      Line.End++;
    }

    Text = (Line.End < End) ? Line.End + 1 : End;
    SkipBlanks (&Line);
    if ((Line.At == Line.End) || (*Line.At == '#')) {
      continue;
    }

    RunOp (BootServices, Fru, Ipmi, &Line, ++Number);
  }

  Put ("TAVRI fru-ops done ops=");
  PutDec (Number);
  Put ("\n");
}
