/** @file
  FruSmbiosDxe on the emulated board: the board's SMBIOS protocol with the
  platform's structures, the driver's host module, a boot that runs
  FruSmbiosDxe, TavriDxe and the IPMI transport, and FRU images.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_SMBIOS_BOARD_H_
#define FRU_SMBIOS_BOARD_H_

#include <Board/EmulatedBoard.h>
#include <Core/EmulatedSmbios.h>
#include <Core/DriverImage.h>

#include "../FruFormat/FruTestImages.h"
#include "../../TavriPkg/FruSmbiosDxe/FruSmbiosDxe.h"

#include <gtest/gtest.h>

namespace FruSmbiosTest {

using Emu::Bytes;
using FruTest::Text;
using Emu::EmulatedSmbios;

constexpr UINT16  TYPE1_HANDLE = 0x0100;
constexpr UINT16  TYPE2_HANDLE = 0x0200;
constexpr UINT16  TYPE3_HANDLE = 0x0300;

//
// String field offsets, as the driver's map gives them.
//
constexpr UINT8  T1_MANUFACTURER = 0x04, T1_PRODUCT = 0x05, T1_VERSION = 0x06, T1_SERIAL = 0x07, T1_SKU = 0x19, T1_FAMILY = 0x1A;
constexpr UINT8  T2_MANUFACTURER = 0x04, T2_PRODUCT = 0x05, T2_VERSION = 0x06, T2_SERIAL = 0x07, T2_ASSET = 0x08;
constexpr UINT8  T3_MANUFACTURER = 0x04, T3_TYPE = 0x05, T3_VERSION = 0x06, T3_SERIAL = 0x07, T3_ASSET = 0x08;

/**
  Type 1 with string numbers for manufacturer, product, version, serial, SKU
  and family (0: no string) and the strings.
**/
inline Bytes
Type1 (std::array<UINT8, 6> Numbers, const std::vector<std::string> &Strings)
{
  Bytes  F (0x1B, 0);
  F[T1_MANUFACTURER] = Numbers[0];
  F[T1_PRODUCT]      = Numbers[1];
  F[T1_VERSION]      = Numbers[2];
  F[T1_SERIAL]       = Numbers[3];
  F[T1_SKU]          = Numbers[4];
  F[T1_FAMILY]       = Numbers[5];
  F[0x18]            = 6;     // wake-up type: power switch
  return Emu::EmulatedSmbios::Structure (1, TYPE1_HANDLE, F, Strings);
}

inline Bytes
Type3 (UINT8 ChassisType, std::array<UINT8, 4> Numbers, const std::vector<std::string> &Strings)
{
  Bytes  F (0x16, 0);
  F[T3_MANUFACTURER] = Numbers[0];
  F[T3_TYPE]         = ChassisType;
  F[T3_VERSION]      = Numbers[1];
  F[T3_SERIAL]       = Numbers[2];
  F[T3_ASSET]        = Numbers[3];
  F[0x09]            = 3;     // boot-up state: safe
  return Emu::EmulatedSmbios::Structure (3, TYPE3_HANDLE, F, Strings);
}

inline Bytes
Type2 (const std::vector<std::string> &Strings)
{
  Bytes  F (0x0F, 0);
  for (UINT8 Index = 0; Index < 5; Index++) {
    F[T2_MANUFACTURER + Index] = static_cast<UINT8>(Index + 1);
  }

  F[0x0B] = TYPE3_HANDLE & 0xFF;
  F[0x0C] = TYPE3_HANDLE >> 8;
  F[0x0D] = 0x0A;
  return Emu::EmulatedSmbios::Structure (2, TYPE2_HANDLE, F, Strings);
}

///
/// The platform as QEMU's tables leave it: no serial, SKU or asset tag
/// strings, no type 2.
///
inline void
StockPlatform (Emu::EmulatedSmbios &Smbios)
{
  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 0, 0, 0 }, { "QEMU", "Standard PC", "pc-q35" }));
  Smbios.AddPlatform (Type3 (0x81, { 1, 2, 0, 0 }, { "QEMU", "pc-q35" }));
}

///
/// A platform that gives every string a placeholder, type 2 included.
///
inline void
PlaceholderPlatform (Emu::EmulatedSmbios &Smbios)
{
  Smbios.AddPlatform (Type1 ({ 1, 2, 3, 4, 5, 6 }, { "OEM", "Box", "0.1", "To be filled", "SKU0", "Family" }));
  Smbios.AddPlatform (Type2 ({ "OEM", "Board", "0.2", "BB-0", "Board Asset" }));
  Smbios.AddPlatform (Type3 (0x01, { 1, 2, 3, 4 }, { "OEM", "0.3", "CH-0", "No Asset Tag" }));
}

//
// The FRU image's values.
//
inline Bytes ChassisArea (UINT8 Type = 0x17) { return FruTest::InfoArea ({ Type }, { Text ("CH-PART-01"), Text ("CH-SN-0001") }); }
inline Bytes BoardArea ()
{
  return FruTest::InfoArea ({ 25, 0x10, 0x20, 0x30 }, { Text ("Tavri Systems"), Text ("TVR-2S-MB"), Text ("BRD-SN-000123"), Text ("BRD-PN-77"), Text ("fru-v1") });
}

inline Bytes ProductArea ()
{
  return FruTest::InfoArea ({ 25 }, { Text ("Tavri Systems"), Text ("TVR Server"), Text ("TVR-SRV-2S"), Text ("A01"), Text ("PRD-SN-4242"), Text ("ASSET-0007"), Text ("fru-v1") });
}

inline Bytes GoodImage () { return FruTest::Image ({ {}, ChassisArea (), BoardArea (), ProductArea () }); }

///
/// A FRU access protocol over an image in memory, without the BMC: reads
/// past the image give 0xFF, read number FailAt (from 1; 0: none) fails
/// with FailWith, writes are refused.
///
struct ScriptedFru {
  static inline Bytes       Image;
  static inline size_t      Reads    = 0;
  static inline size_t      FailAt   = 0;
  static inline EFI_STATUS  FailWith = EFI_DEVICE_ERROR;
  static inline std::vector<std::pair<UINT16, UINTN>>  Log;    ///< offset and size of every read

  static EFI_STATUS EFIAPI
  Read (UINT8, UINT16 Offset, UINTN *Size, UINT8 *Buffer)
  {
    Log.emplace_back (Offset, *Size);
    if (++Reads == FailAt) {
      *Size = 0;
      return FailWith;
    }

    for (UINTN Index = 0; Index < *Size; Index++) {
      Buffer[Index] = (Offset + Index < Image.size ()) ? Image[Offset + Index] : 0xFF;
    }

    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI
  RefuseWrite (UINT8, UINT16, UINTN *Size, UINT8 *)
  {
    *Size = 0;
    return EFI_WRITE_PROTECTED;
  }

  static FRU_ACCESS_PROTOCOL
  Protocol (const Bytes &Device)
  {
    Image  = Device;
    Reads  = 0;
    FailAt = 0;
    Log.clear ();
    return { Read, RefuseWrite };
  }
};

///
/// One board with the SMBIOS protocol installed by the platform and
/// FruSmbiosDxe started before TavriDxe.
///
class FruSmbiosBoot : public ::testing::Test {
protected:
  Emu::EmulatedBoard    Board;
  Emu::EmulatedSmbios   Smbios { 2, 8 };
  Emu::DriverImage      Driver { FRU_SMBIOS_DXE_HOST_MODULE, reinterpret_cast<EFI_HANDLE>(0x5A5A0000) };
  EFI_STATUS            EntryStatus = EFI_NOT_STARTED;

  void
  SetUp () override
  {
    Board.Cpu.SetMsr (0xCE, 0x20ull << 8);
    Driver.Load ();
  }

  void
  StartDriver ()
  {
    auto  Entry = Driver.Function<EFI_IMAGE_ENTRY_POINT>("FruSmbiosDxeEntryPoint");
    EntryStatus = Entry (Driver.Handle (), Board.Tables.SystemTable ());
  }

  ///
  /// Boot with Fru as device 0: the platform's SMBIOS protocol (unless
  /// SmbiosLater), FruSmbiosDxe, TavriDxe, the IPMI transport; with
  /// SmbiosLater the SMBIOS protocol comes after the hooks.
  ///
  Emu::BootRecord
  Boot (const Bytes &Fru, bool SmbiosLater = false)
  {
    Emu::BootScript  Script;
    Board.Bmc.SetFruDevice (0, Fru);
    Script.BeforeEntry = [this, SmbiosLater]() {
      if (!SmbiosLater) {
        Board.Protocols.Install (gEfiSmbiosProtocolGuid, Smbios.Protocol ());
      }

      StartDriver ();
    };
    Script.AfterHooks = [this, SmbiosLater]() {
      if (SmbiosLater) {
        Board.Protocols.Install (gEfiSmbiosProtocolGuid, Smbios.Protocol ());
      }
    };
    return Board.Runner.RunBoot (Script);
  }

  ///
  /// A fresh driver image and a boot with Fru as device 0, then the image's
  /// FruSmbiosUpdate applied to Platform through the FRU access protocol
  /// that boot installed.
  ///
  void
  UpdateAfterBoot (EmulatedSmbios &Platform, const Bytes &Fru)
  {
    FRU_SMBIOS_OUTCOME  Result;
    Driver.Load ();
    Board.Bmc.SetFruDevice (0, Fru);
    auto  Update = UpdateFunction ();
    Board.Runner.RunBoot ();
    Update (InstalledFru (), Platform.Protocol (), nullptr, &Result);
  }

  ///
  /// The FRU access protocol TavriDxe installed in the last boot, or NULL.
  ///
  FRU_ACCESS_PROTOCOL *
  InstalledFru () const
  {
    return static_cast<FRU_ACCESS_PROTOCOL *>(Board.Protocols.Find (gFruAccessProtocolGuid));
  }

  ///
  /// Run the loaded image's update once on a platform whose types 1 and 3
  /// hold long strings shared between fields, so that the structures it
  /// copies and builds fill its buffers with non-zero bytes: a structure it
  /// builds later must end where it should, not where the buffer is zero.
  ///
  void
  DirtyTheDriversBuffers ()
  {
    std::string          Long (60, 'x');
    EmulatedSmbios       Dirty { 2, 8 };
    FRU_ACCESS_PROTOCOL  Fru = ScriptedFru::Protocol (GoodImage ());
    FRU_SMBIOS_OUTCOME   Result;
    Dirty.AddPlatform (Type1 ({ 1, 1, 2, 2, 3, 3 }, { Long, Long, Long }));
    Dirty.AddPlatform (Type3 (0x01, { 1, 1, 2, 2 }, { Long, Long }));
    UpdateFunction ()(&Fru, Dirty.Protocol (), nullptr, &Result);
    ASSERT_EQ (Dirty.String (1, T1_SERIAL), "PRD-SN-4242");
  }

  ///
  /// The loaded image's FruSmbiosUpdate: the one place its name is looked up.
  ///
  decltype (&FruSmbiosUpdate)
  UpdateFunction () const
  {
    return Driver.Function<decltype (&FruSmbiosUpdate)>("FruSmbiosUpdate");
  }

  const FRU_SMBIOS_OUTCOME *
  Outcome ()
  {
    return Driver.Function<const FRU_SMBIOS_OUTCOME *(*)()>("FruSmbiosLastOutcome")();
  }
};

}  // namespace FruSmbiosTest

#endif
