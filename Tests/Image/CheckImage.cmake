# SPDX-License-Identifier: BSD-2-Clause-Patent
# A driver image must be a PE32+ EFI boot-service driver for x86-64 with
# base relocations and no imports, linked at base 0, with a CodeView entry
# naming its own .pdb (TavriDxe.pdb for TavriDxe.efi: the name a DXE core's
# log prints).
get_filename_component(name "${IMAGE}" NAME_WE)
find_program(READOBJ NAMES llvm-readobj-14 llvm-readobj REQUIRED)
execute_process(COMMAND ${READOBJ} --file-headers --sections --coff-imports --coff-debug-directory ${IMAGE}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${IMAGE}")
endif()
foreach(want "IMAGE_FILE_MACHINE_AMD64" "IMAGE_SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER" "Magic: 0x20B" "Name: .reloc" "ImportTableRVA: 0x0" "ImageBase: 0x0\n" "PDBFileName: ${name}.pdb")
  string(FIND "${out}" "${want}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${IMAGE}: expected '${want}'\n${out}")
  endif()
endforeach()
string(FIND "${out}" "Import {" imp)
if(NOT imp EQUAL -1)
  message(FATAL_ERROR "${IMAGE} imports a DLL")
endif()
