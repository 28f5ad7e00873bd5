/** @file
  The KCS system interface: one write transfer (WRITE_START, the request
  bytes, WRITE_END before the last byte) and one read transfer (each byte
  acknowledged with READ until the interface goes idle) per request, with
  every wait bounded. On an error state the transfer is aborted with
  GET_STATUS/ABORT.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "KcsInterface.h"

extern "C" {
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
}

constexpr UINT16  KCS_DATA_PORT   = 0xCA2;
constexpr UINT16  KCS_STATUS_PORT = 0xCA3;
constexpr UINT16  KCS_COMMAND_PORT = 0xCA3;

constexpr UINT8   KCS_STATUS_OBF   = 0x01;
constexpr UINT8   KCS_STATUS_IBF   = 0x02;
constexpr UINT8   KCS_STATE_MASK   = 0xC0;
constexpr UINT8   KCS_STATE_IDLE   = 0x00;
constexpr UINT8   KCS_STATE_READ   = 0x40;
constexpr UINT8   KCS_STATE_WRITE  = 0x80;

constexpr UINT8   KCS_CONTROL_GET_STATUS_ABORT = 0x60;
constexpr UINT8   KCS_CONTROL_WRITE_START      = 0x61;
constexpr UINT8   KCS_CONTROL_WRITE_END        = 0x62;
constexpr UINT8   KCS_CONTROL_READ             = 0x68;

constexpr UINT32  KCS_WAIT_LIMIT     = 10000000;   ///< status polls before a wait gives up

STATIC
BOOLEAN
WaitStatus (
  IN UINT8  Mask,
  IN UINT8  Value
  )
{
  for (UINT32 Poll = 0; Poll < KCS_WAIT_LIMIT; Poll++) {
    if ((IoRead8 (KCS_STATUS_PORT) & Mask) == Value) {
      return TRUE;
    }

    CpuPause ();
  }

  return FALSE;
}

STATIC
UINT8
KcsState (
  VOID
  )
{
  return IoRead8 (KCS_STATUS_PORT) & KCS_STATE_MASK;
}

STATIC
VOID
ClearObf (
  VOID
  )
{
  if ((IoRead8 (KCS_STATUS_PORT) & KCS_STATUS_OBF) != 0) {
    (VOID)IoRead8 (KCS_DATA_PORT);
  }
}

/**
  Take the interface out of an error or half-done transfer back to idle.
**/
STATIC
VOID
KcsAbort (
  VOID
  )
{
  if (!WaitStatus (KCS_STATUS_IBF, 0)) {
    return;
  }

  IoWrite8 (KCS_COMMAND_PORT, KCS_CONTROL_GET_STATUS_ABORT);
  if (!WaitStatus (KCS_STATUS_IBF, 0)) {
    return;
  }

  ClearObf ();
  IoWrite8 (KCS_DATA_PORT, 0);
  if (!WaitStatus (KCS_STATUS_IBF, 0)) {
    return;
  }

  if (KcsState () == KCS_STATE_READ) {
    if (WaitStatus (KCS_STATUS_OBF, KCS_STATUS_OBF)) {
      (VOID)IoRead8 (KCS_DATA_PORT);       // the error code
      IoWrite8 (KCS_DATA_PORT, KCS_CONTROL_READ);
      if (WaitStatus (KCS_STATUS_IBF, 0) && WaitStatus (KCS_STATUS_OBF, KCS_STATUS_OBF)) {
        (VOID)IoRead8 (KCS_DATA_PORT);     // the dummy byte of the idle phase
      }
    }
  }
}

STATIC
EFI_STATUS
KcsWrite (
  IN CONST UINT8  *Message,
  IN UINTN        Length
  )
{
  if (!WaitStatus (KCS_STATUS_IBF, 0)) {
    return EFI_TIMEOUT;
  }

  ClearObf ();
  IoWrite8 (KCS_COMMAND_PORT, KCS_CONTROL_WRITE_START);
  for (UINTN Index = 0; Index < Length; Index++) {
    if (!WaitStatus (KCS_STATUS_IBF, 0)) {
      return EFI_TIMEOUT;
    }

    if (KcsState () != KCS_STATE_WRITE) {
      return EFI_DEVICE_ERROR;
    }

    ClearObf ();
    if (Index == Length - 1) {
      IoWrite8 (KCS_COMMAND_PORT, KCS_CONTROL_WRITE_END);
      if (!WaitStatus (KCS_STATUS_IBF, 0)) {
        return EFI_TIMEOUT;
      }

      if (KcsState () != KCS_STATE_WRITE) {
        return EFI_DEVICE_ERROR;
      }

      ClearObf ();
    }

    IoWrite8 (KCS_DATA_PORT, Message[Index]);
  }

  return EFI_SUCCESS;
}

STATIC
EFI_STATUS
KcsRead (
  OUT UINT8  *Message,
  IN  UINTN  Capacity,
  OUT UINTN  *Length
  )
{
  *Length = 0;
  for (;;) {
    if (!WaitStatus (KCS_STATUS_IBF, 0)) {
      return EFI_TIMEOUT;
    }

    UINT8  State = KcsState ();
    if (State == KCS_STATE_READ) {
      if (!WaitStatus (KCS_STATUS_OBF, KCS_STATUS_OBF)) {
        return EFI_TIMEOUT;
      }

      UINT8  Byte = IoRead8 (KCS_DATA_PORT);
      if (*Length >= Capacity) {
        return EFI_BUFFER_TOO_SMALL;
      }

      Message[(*Length)++] = Byte;
      IoWrite8 (KCS_DATA_PORT, KCS_CONTROL_READ);
    } else if (State == KCS_STATE_IDLE) {
      if (!WaitStatus (KCS_STATUS_OBF, KCS_STATUS_OBF)) {
        return EFI_TIMEOUT;
      }

      (VOID)IoRead8 (KCS_DATA_PORT);
      return EFI_SUCCESS;
    } else {
      return EFI_DEVICE_ERROR;
    }
  }
}

EFI_STATUS
KcsExchange (
  IN  UINT8        NetFunction,
  IN  UINT8        Lun,
  IN  UINT8        Command,
  IN  CONST UINT8  *CommandData,
  IN  UINTN        CommandDataSize,
  OUT UINT8        (&Message)[KCS_MAX_MESSAGE],
  OUT UINTN        *Length
  )
{
  EFI_STATUS  Status;

  if ((CommandDataSize > KCS_MAX_REQUEST_DATA) || ((CommandDataSize > 0) && (CommandData == NULL))) {
    return EFI_INVALID_PARAMETER;
  }

  Message[0] = static_cast<UINT8>((NetFunction << 2) | (Lun & 0x3));
  Message[1] = Command;
  for (UINTN Index = 0; Index < CommandDataSize; Index++) {
    Message[2 + Index] = CommandData[Index];
  }

  Status = KcsWrite (Message, 2u + CommandDataSize);
  if (!EFI_ERROR (Status)) {
    Status = KcsRead (Message, sizeof (Message), Length);
  }

  if (EFI_ERROR (Status)) {
    KcsAbort ();
    return (Status == EFI_BUFFER_TOO_SMALL) ? Status : EFI_DEVICE_ERROR;
  }

  if ((*Length < KCS_RESPONSE_HEADER + 1) || (Message[1] != Command)) {
    return EFI_DEVICE_ERROR;
  }

  return EFI_SUCCESS;
}
