/** @file
  Built against EDK2's MdePkg headers (and MdeModulePkg's IPMI_PROTOCOL) on the host: prints, as a header of
  #defines, the offsets, sizes and values that our own UEFI and PI
  definitions must match (the list is UefiLayout.def). LayoutCheck.cpp then
  compares ours with them at compile time.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include <PiDxe.h>
#include <Guid/HobList.h>
#include <Guid/EventGroup.h>
#include <Guid/GlobalVariable.h>
#include <Guid/SmBios.h>
#include <Protocol/Smbios.h>
#include <Protocol/IpmiProtocol.h>

//
// The C library's printf, declared here: its headers and MdePkg's do not mix.
// MdePkg makes symbols hidden by default on GCC; this one comes from libc.
//
__attribute__ ((visibility ("default")))
int
printf (
  const char  *Format,
  ...
  );

#define PRINT_GUID(Name, Guid) \
  printf ("#define MDE_GUID_%s { 0x%08XU, 0x%04XU, 0x%04XU, { 0x%02XU, 0x%02XU, 0x%02XU, 0x%02XU, 0x%02XU, 0x%02XU, 0x%02XU, 0x%02XU } }\n", \
    Name, (Guid).Data1, (Guid).Data2, (Guid).Data3, (Guid).Data4[0], (Guid).Data4[1], (Guid).Data4[2], \
    (Guid).Data4[3], (Guid).Data4[4], (Guid).Data4[5], (Guid).Data4[6], (Guid).Data4[7])

int
main (
  void
  )
{
  EFI_GUID  HobList     = HOB_LIST_GUID;
  EFI_GUID  ReadyToBoot = EFI_EVENT_GROUP_READY_TO_BOOT;
  EFI_GUID  Global      = EFI_GLOBAL_VARIABLE;
  EFI_GUID  SmbiosProtocol = EFI_SMBIOS_PROTOCOL_GUID;
  EFI_GUID  Smbios3Table   = SMBIOS3_TABLE_GUID;
  EFI_GUID  SmbiosTable    = SMBIOS_TABLE_GUID;
  EFI_GUID  IpmiProtocol   = IPMI_PROTOCOL_GUID;

  printf ("/* Generated from EDK2's MdePkg by MdePkgLayoutProbe.c. */\n");
#define BS_SLOT(Member)        printf ("#define MDE_BS_%s %lluULL\n", #Member, (unsigned long long)OFFSET_OF (EFI_BOOT_SERVICES, Member));
#define RT_SLOT(Member)        printf ("#define MDE_RT_%s %lluULL\n", #Member, (unsigned long long)OFFSET_OF (EFI_RUNTIME_SERVICES, Member));
#define SIZE(Type)             printf ("#define MDE_SIZE_%s %lluULL\n", #Type, (unsigned long long)sizeof (Type));
#define FIELD(Type, Member)    printf ("#define MDE_FIELD_%s_%s %lluULL\n", #Type, #Member, (unsigned long long)OFFSET_OF (Type, Member));
#define VALUE(Name)            printf ("#define MDE_VALUE_%s %lluULL\n", #Name, (unsigned long long)(Name));
#include "UefiLayout.def"
  PRINT_GUID ("HobList", HobList);
  PRINT_GUID ("ReadyToBoot", ReadyToBoot);
  PRINT_GUID ("GlobalVariable", Global);
  PRINT_GUID ("SmbiosProtocol", SmbiosProtocol);
  PRINT_GUID ("Smbios3Table", Smbios3Table);
  PRINT_GUID ("SmbiosTable", SmbiosTable);
  PRINT_GUID ("IpmiProtocol", IpmiProtocol);
  //
  // A load option: the packed EFI_LOAD_OPTION header, then the description.
  //
  printf ("#define MDE_LOAD_OPTION_FILE_PATH_LENGTH_OFFSET %lluULL\n", (unsigned long long)OFFSET_OF (EFI_LOAD_OPTION, FilePathListLength));
  printf ("#define MDE_LOAD_OPTION_DESCRIPTION_OFFSET %lluULL\n", (unsigned long long)sizeof (EFI_LOAD_OPTION));
  printf ("#define MDE_LOAD_OPTION_ACTIVE %lluULL\n", (unsigned long long)LOAD_OPTION_ACTIVE);
  return 0;
}
