/** @file
  The UEFI Shell protocol, as far as an application opens, reads, deletes and
  writes files by shell path (fs0:\dir\name, or relative to the current
  directory). Every slot is listed in order; the ones not called are opaque
  pointers, and the offsets of those called are pinned below.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef SHELL_PROTOCOL_H_
#define SHELL_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>
#include <Protocol/ShellParameters.h>
#include <Protocol/SimpleFileSystem.h>

#define EFI_SHELL_PROTOCOL_GUID \
  { 0x6302D008, 0x7F9B, 0x4F30, { 0x87, 0xAC, 0x60, 0xC9, 0xFE, 0xF5, 0xDA, 0x4E } }

extern EFI_GUID  gEfiShellProtocolGuid;


typedef EFI_STATUS (EFIAPI *EFI_SHELL_OPEN_FILE_BY_NAME)(IN CONST CHAR16 *FileName, OUT SHELL_FILE_HANDLE *FileHandle, IN UINT64 OpenMode);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_CLOSE_FILE)(IN SHELL_FILE_HANDLE FileHandle);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_CREATE_FILE)(IN CONST CHAR16 *FileName, IN UINT64 FileAttribs, OUT SHELL_FILE_HANDLE *FileHandle);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_READ_FILE)(IN SHELL_FILE_HANDLE FileHandle, IN OUT UINTN *ReadSize, IN OUT VOID *Buffer);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_WRITE_FILE)(IN SHELL_FILE_HANDLE FileHandle, IN OUT UINTN *BufferSize, IN VOID *Buffer);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_DELETE_FILE)(IN SHELL_FILE_HANDLE FileHandle);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_FLUSH_FILE)(IN SHELL_FILE_HANDLE FileHandle);
typedef EFI_STATUS (EFIAPI *EFI_SHELL_GET_FILE_SIZE)(IN SHELL_FILE_HANDLE FileHandle, OUT UINT64 *Size);

typedef struct {
  VOID                           *Execute;
  VOID                           *GetEnv;
  VOID                           *SetEnv;
  VOID                           *GetAlias;
  VOID                           *SetAlias;
  VOID                           *GetHelpText;
  VOID                           *GetDevicePathFromMap;
  VOID                           *GetMapFromDevicePath;
  VOID                           *GetDevicePathFromFilePath;
  VOID                           *GetFilePathFromDevicePath;
  VOID                           *SetMap;
  VOID                           *GetCurDir;
  VOID                           *SetCurDir;
  VOID                           *OpenFileList;
  VOID                           *FreeFileList;
  VOID                           *RemoveDupInFileList;
  VOID                           *BatchIsActive;
  VOID                           *IsRootShell;
  VOID                           *EnablePageBreak;
  VOID                           *DisablePageBreak;
  VOID                           *GetPageBreak;
  VOID                           *GetDeviceName;
  VOID                           *GetFileInfo;
  VOID                           *SetFileInfo;
  EFI_SHELL_OPEN_FILE_BY_NAME    OpenFileByName;
  EFI_SHELL_CLOSE_FILE           CloseFile;
  EFI_SHELL_CREATE_FILE          CreateFile;
  EFI_SHELL_READ_FILE            ReadFile;
  EFI_SHELL_WRITE_FILE           WriteFile;
  EFI_SHELL_DELETE_FILE          DeleteFile;
  VOID                           *DeleteFileByName;
  VOID                           *GetFilePosition;
  VOID                           *SetFilePosition;
  EFI_SHELL_FLUSH_FILE           FlushFile;
  VOID                           *FindFiles;
  VOID                           *FindFilesInDir;
  EFI_SHELL_GET_FILE_SIZE        GetFileSize;
  VOID                           *OpenRoot;
  VOID                           *OpenRootByHandle;
  VOID                           *ExecutionBreak;
  UINT32                         MajorVersion;
  UINT32                         MinorVersion;
} EFI_SHELL_PROTOCOL;

static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, OpenFileByName) == 192, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, CloseFile) == 200, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, CreateFile) == 208, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, ReadFile) == 216, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, WriteFile) == 224, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, DeleteFile) == 232, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, FlushFile) == 264, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, GetFileSize) == 288, "shell protocol");
static_assert (OFFSET_OF (EFI_SHELL_PROTOCOL, MajorVersion) == 320, "shell protocol: 2.0 members");

#endif
