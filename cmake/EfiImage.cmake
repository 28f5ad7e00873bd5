# SPDX-License-Identifier: BSD-2-Clause-Patent
# add_efi_image(<name>
#   SUBSYSTEM <efi_application|efi_boot_service_driver>
#   ENTRY <symbol>
#   SOURCES <files...>
#   [INCLUDES <dirs...>] [DEFINES <flags...>] [EXTRA_DEPENDS <files...>])
#
# Compiles the sources with clang for the x86-64 UEFI target (freestanding, no
# red zone, 16-bit wchar_t, no exceptions or RTTI) and links them with lld-link
# into <name>.efi in the build tree: a PE32+ image with base relocations, no
# C or C++ runtime and no imports. The image is linked at base 0, so that a DXE
# core places it wherever it allocates pages instead of first asking for an
# address that is not RAM, and carries a CodeView debug entry naming
# <name>.pdb, from which the core's log prints the module's name.
#
# The same sources give the same bytes wherever and whenever they are built:
# /Brepro makes the PE time stamp and the CodeView record's PDB signature a
# hash of the image and of the PDB instead of the clock and a random GUID; the
# linker runs in the image's build folder with relative paths and a fixed
# /pdbsourcepath, so no folder of the build reaches the PDB or the image; the
# CodeView record names the PDB without a folder (/pdbaltpath); the compiler
# writes source paths relative to the repository (-ffile-prefix-map).

set(TAVRI_EFI_CFLAGS
  --target=x86_64-unknown-windows
  -std=c++17 -Os
  -ffreestanding -nostdlibinc -fno-builtin-printf -ffunction-sections -fdata-sections
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-stack-protector -mno-red-zone -fshort-wchar
  -fno-asynchronous-unwind-tables -fno-unwind-tables
  -mno-sse -mno-mmx -mno-80387 -msoft-float
  -Wall -Wextra -Werror
  # No path of the machine that built it in an image: __FILE__ and the like
  # name the source from the repository's root.
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)

function(add_efi_image NAME)
  cmake_parse_arguments(EFI "" "SUBSYSTEM;ENTRY" "SOURCES;INCLUDES;DEFINES;EXTRA_DEPENDS" ${ARGN})
  set(objects)
  set(include_flags)
  foreach(dir ${EFI_INCLUDES})
    list(APPEND include_flags "-I${dir}")
  endforeach()
  foreach(src ${EFI_SOURCES})
    get_filename_component(abs "${src}" ABSOLUTE)
    file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${abs}")
    string(REPLACE "/" "_" objname "${rel}")
    set(obj "${CMAKE_CURRENT_BINARY_DIR}/${NAME}.efiobj/${objname}.obj")
    add_custom_command(
      OUTPUT "${obj}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/${NAME}.efiobj"
      COMMAND ${TAVRI_EFI_CC} ${TAVRI_EFI_CFLAGS} ${EFI_DEFINES} ${include_flags} -c "${abs}" -o "${obj}"
      DEPENDS "${abs}" ${EFI_EXTRA_DEPENDS}
      IMPLICIT_DEPENDS CXX "${abs}"
      COMMENT "EFI compile ${rel}"
      VERBATIM)
    list(APPEND objects "${obj}")
  endforeach()
  set(image "${PROJECT_BINARY_DIR}/${NAME}.efi")
  set(relative_objects)
  foreach(obj ${objects})
    file(RELATIVE_PATH rel "${CMAKE_CURRENT_BINARY_DIR}" "${obj}")
    list(APPEND relative_objects "${rel}")
  endforeach()
  file(RELATIVE_PATH relative_image "${CMAKE_CURRENT_BINARY_DIR}" "${image}")
  add_custom_command(
    OUTPUT "${image}"
    COMMAND ${TAVRI_EFI_LINK} /nologo /nodefaultlib /dll /machine:x64
            /subsystem:${EFI_SUBSYSTEM} /entry:${EFI_ENTRY}
            /opt:ref /opt:icf /merge:.rdata=.text /base:0
            /debug /pdb:${NAME}.pdb /pdbaltpath:${NAME}.pdb /pdbsourcepath:/tavri /Brepro
            /map:${NAME}.map
            /out:${relative_image} ${relative_objects}
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    DEPENDS ${objects}
    COMMENT "EFI link ${NAME}.efi"
    VERBATIM)
  add_custom_target(${NAME}_efi ALL DEPENDS "${image}")
  set_property(TARGET ${NAME}_efi PROPERTY EFI_IMAGE "${image}")
endfunction()
