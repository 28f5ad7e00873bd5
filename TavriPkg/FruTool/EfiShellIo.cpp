/** @file
  Console lines and whole-file reads and writes through the shell protocol.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EfiShellIo.h"

namespace {

constexpr UINTN  PRINT_CHUNK = 128;

struct STATUS_NAME {
  EFI_STATUS     Status;
  CONST CHAR8    *Name;
};

CONST STATUS_NAME  mStatusNames[] = {
  { EFI_SUCCESS,           "EFI_SUCCESS"           },
  { EFI_LOAD_ERROR,        "EFI_LOAD_ERROR"        },
  { EFI_INVALID_PARAMETER, "EFI_INVALID_PARAMETER" },
  { EFI_UNSUPPORTED,       "EFI_UNSUPPORTED"       },
  { EFI_BAD_BUFFER_SIZE,   "EFI_BAD_BUFFER_SIZE"   },
  { EFI_BUFFER_TOO_SMALL,  "EFI_BUFFER_TOO_SMALL"  },
  { EFI_NOT_READY,         "EFI_NOT_READY"         },
  { EFI_DEVICE_ERROR,      "EFI_DEVICE_ERROR"      },
  { EFI_WRITE_PROTECTED,   "EFI_WRITE_PROTECTED"   },
  { EFI_OUT_OF_RESOURCES,  "EFI_OUT_OF_RESOURCES"  },
  { EFI_VOLUME_CORRUPTED,  "EFI_VOLUME_CORRUPTED"  },
  { EFI_VOLUME_FULL,       "EFI_VOLUME_FULL"       },
  { EFI_NO_MEDIA,          "EFI_NO_MEDIA"          },
  { EFI_NOT_FOUND,         "EFI_NOT_FOUND"         },
  { EFI_ACCESS_DENIED,     "EFI_ACCESS_DENIED"     },
  { EFI_NO_RESPONSE,       "EFI_NO_RESPONSE"       },
  { EFI_TIMEOUT,           "EFI_TIMEOUT"           },
  { EFI_NOT_STARTED,       "EFI_NOT_STARTED"       },
  { EFI_ABORTED,           "EFI_ABORTED"           },
  { EFI_PROTOCOL_ERROR,    "EFI_PROTOCOL_ERROR"    },
  { EFI_CRC_ERROR,         "EFI_CRC_ERROR"         },
};

}  // namespace

VOID
ShellIoPrint (
  IN VOID         *Context,
  IN CONST CHAR8  *Line
  )
{
  EFI_SYSTEM_TABLE  *SystemTable = static_cast<EFI_SYSTEM_TABLE *>(Context);
  CHAR16            Wide[PRINT_CHUNK + 3];
  UINTN             Used = 0;

  if (SystemTable->ConOut == NULL) {
    return;
  }

  for (BOOLEAN End = FALSE; !End; ) {
    End = (*Line == 0);
    if (!End) {
      Wide[Used++] = static_cast<CHAR16>(static_cast<UINT8>(*Line++));
    } else {
      Wide[Used++] = u'\r';
      Wide[Used++] = u'\n';
    }

    if (End || (Used >= PRINT_CHUNK)) {
      Wide[Used] = 0;
      SystemTable->ConOut->OutputString (SystemTable->ConOut, Wide);
      Used = 0;
    }
  }
}

EFI_STATUS
ShellIoReadFile (
  IN  EFI_SHELL_PROTOCOL  *Shell,
  IN  CONST CHAR16        *Name,
  OUT UINT8               *Buffer,
  IN  UINTN               Capacity,
  OUT UINTN               *Size
  )
{
  SHELL_FILE_HANDLE  File = NULL;
  UINT64             FileSize = 0;
  EFI_STATUS         Status;

  *Size  = 0;
  Status = Shell->OpenFileByName (Name, &File, EFI_FILE_MODE_READ);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = Shell->GetFileSize (File, &FileSize);
  if (!EFI_ERROR (Status) && (FileSize > Capacity)) {
    Status = EFI_BUFFER_TOO_SMALL;
  }

  while (!EFI_ERROR (Status) && (*Size < FileSize)) {
    UINTN  Chunk = static_cast<UINTN>(FileSize) - *Size;
    Status = Shell->ReadFile (File, &Chunk, Buffer + *Size);
    if (!EFI_ERROR (Status) && (Chunk == 0)) {
      Status = EFI_DEVICE_ERROR;
    }

    if (!EFI_ERROR (Status)) {
      *Size += Chunk;
    }
  }

  Shell->CloseFile (File);
  return Status;
}

EFI_STATUS
ShellIoWriteFile (
  IN EFI_SHELL_PROTOCOL  *Shell,
  IN CONST CHAR16        *Name,
  IN CONST UINT8         *Buffer,
  IN UINTN               Size
  )
{
  CONST UINT64       Mode = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE;
  SHELL_FILE_HANDLE  File = NULL;
  EFI_STATUS         Status;

  //
  // Open (creating it), delete and create again: an older, longer file of
  // the same name leaves no bytes behind.
  //
  Status = Shell->OpenFileByName (Name, &File, Mode);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = Shell->DeleteFile (File);
  if (Status != EFI_SUCCESS) {
    return EFI_ERROR (Status) ? Status : EFI_ACCESS_DENIED;
  }

  Status = Shell->OpenFileByName (Name, &File, Mode);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  UINTN  Written = 0;
  while (!EFI_ERROR (Status) && (Written < Size)) {
    UINTN  Chunk = Size - Written;
    Status = Shell->WriteFile (File, &Chunk, const_cast<UINT8 *>(Buffer + Written));
    if (!EFI_ERROR (Status) && (Chunk == 0)) {
      Status = EFI_VOLUME_FULL;
    }

    Written += EFI_ERROR (Status) ? 0 : Chunk;
  }

  if (!EFI_ERROR (Status)) {
    Status = Shell->FlushFile (File);
  }

  EFI_STATUS  CloseStatus = Shell->CloseFile (File);
  return EFI_ERROR (Status) ? Status : CloseStatus;
}

CONST CHAR8 *
ShellIoStatusName (
  IN EFI_STATUS  Status
  )
{
  for (CONST STATUS_NAME &Entry : mStatusNames) {
    if (Entry.Status == Status) {
      return Entry.Name;
    }
  }

  return NULL;
}
