/** @file
  Runs the driver, boot by boot, on the emulated board with a board team's
  typical first boot: a power-management preset not in force, the IIO import
  switched on, an IIO source HOB, and a BMC with a FRU device 0 that answers
  busy once. Prints everything the driver did and what it left behind.

  Usage: TavriRun [--quiet]   (--quiet prints the summary only)
**/

#include <DriverImage.h>
#include <EmulatedBmc.h>
#include <EmulatedBoard.h>

#include <Guid/IioSourceHob.h>
#include <Guid/SocketIioConfig.h>
#include <Guid/SocketPowerManagementConfig.h>
#include <Protocol/FruAccess.h>

#include <cstdio>
#include <cstring>

using namespace Emu;

namespace {

constexpr UINT32  NV_BS_RT = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

void
HexDump (const UINT8 *Data, size_t Size)
{
  for (size_t Row = 0; Row < Size; Row += 16) {
    std::printf ("    %04zX ", Row);
    for (size_t Col = 0; Col < 16 && Row + Col < Size; Col++) {
      std::printf (" %02X", Data[Row + Col]);
    }

    std::printf ("\n");
  }
}

Bytes
FruImage ()
{
  //
  // A FRU device 0 in the IPMI FRU format: common header, then a board area
  // stub; the rest is erased flash.
  //
  Bytes  Image (256, 0xFF);
  UINT8  Header[8] = { 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00 };
  UINT8  Sum = 0;

  for (int Index = 0; Index < 7; Index++) {
    Sum = static_cast<UINT8>(Sum + Header[Index]);
  }

  Header[7] = static_cast<UINT8>(0 - Sum);
  std::memcpy (Image.data (), Header, sizeof (Header));
  const char  Board[] = "TAVRI-SRV-2S";
  std::memcpy (Image.data () + 8, Board, sizeof (Board) - 1);
  return Image;
}

}  // namespace

int
main (int argc, char **argv)
{
  bool           Quiet = (argc > 1) && (std::strcmp (argv[1], "--quiet") == 0);
  EmulatedBoard  Board;

  Board.SetMsr (0xCE, 0x20ull << 8);
  Board.Bmc ().SetFruDevice (0, FruImage ());
  Board.Bmc ().QueueBusy (1);

  Bytes  Pm (SOCKET_POWER_MANAGEMENT_CONFIG_SIZE, 0);
  Pm[PM_PRESET_SELECTOR_OFFSET] = 1;
  for (const PM_PRESET_ENTRY &Entry : PowerManagementPresetTable) {
    Pm[Entry.Offset] = Entry.Value[1];
  }

  Pm[87] = 14;
  Board.PutVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid, NV_BS_RT, Pm);

  Bytes  Iio (SOCKET_IIO_CONFIG_SIZE, 0);
  Iio[IIO_HOB_IMPORT_SWITCH_OFFSET] = 1;
  Board.PutVariable (SOCKET_IIO_CONFIG_NAME, gSocketIioConfigGuid, NV_BS_RT, Iio);

  Bytes  Hob (IIO_SOURCE_HOB_MIN_DATA_SIZE);
  for (size_t Index = 0; Index < Hob.size (); Index++) {
    Hob[Index] = static_cast<UINT8>(Index);
  }

  Board.SetHobList (HobListBuilder ().AddHob (EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48).AddGuidHob (gIioSourceHobGuid, Hob).End ());

  std::printf ("TavriDxe on the emulated board (driver image %s)\n\n", DriverImage::ModulePath ().c_str ());
  auto  Boots = Board.RunBoots ();
  for (const BootRecord &Boot : Boots) {
    std::printf ("Boot %u: %s", Boot.Number, BootEndName (Boot.End).c_str ());
    if (Boot.End == BootEnd::ResetByPortCf9) {
      std::printf (" (value 0x%02X)", Boot.ResetValue);
    }

    std::printf ("\n  entry point: %s; IPMI commands: %zu; busy waits: %llu x 30 ms; pool/page calls: %llu\n",
      StatusName (Boot.EntryStatus).c_str (),
      Board.Count ("IpmiCommand", Boot.TraceBegin) - Board.Count ("IpmiCommand", Boot.TraceEnd),
      static_cast<unsigned long long>(Board.Count ("ReadMsr", Boot.TraceBegin) - Board.Count ("ReadMsr", Boot.TraceEnd)),
      static_cast<unsigned long long>(Board.AllocationCalls ()));
    if (!Quiet) {
      std::printf ("%s", Board.FormatTrace (Boot.TraceBegin, Boot.TraceEnd).c_str ());
    }

    std::printf ("\n");
  }

  const Variable  *PmNow  = Board.FindVariable (SOCKET_POWER_MANAGEMENT_CONFIG_NAME, gSocketPowerManagementConfigGuid);
  const Variable  *IioNow = Board.FindVariable (SOCKET_IIO_CONFIG_NAME, gSocketIioConfigGuid);
  std::printf ("After %zu boots:\n", Boots.size ());
  std::printf ("  SocketPowerManagementConfig: selector %u, byte 87 = %u (preset 1 wants 15)\n", PmNow->Data[PM_PRESET_SELECTOR_OFFSET], PmNow->Data[87]);
  std::printf ("  SocketIioConfig bytes 9150..9157 from the HOB:");
  for (size_t Index = 9150; Index < 9158; Index++) {
    std::printf (" %02X", IioNow->Data[Index]);
  }

  std::printf ("\n  extended CMOS byte 0x81: 0x%02X\n", Board.ExtendedCmos (0x81));

  auto  *Fru = static_cast<FRU_ACCESS_PROTOCOL *>(Board.FindProtocol (gFruAccessProtocolGuid));
  if (Fru == nullptr) {
    std::printf ("  FRU access protocol: not installed\n");
    return 1;
  }

  UINT8  Data[64];
  UINTN  Size = sizeof (Data);
  EFI_STATUS  Status = Fru->ReadFruData (0, 0, &Size, Data);
  std::printf ("  FRU access protocol: installed; ReadFruData(device 0, offset 0, 64) -> %s, %llu bytes:\n", StatusName (Status).c_str (), static_cast<unsigned long long>(Size));
  HexDump (Data, Size);
  return (Boots.size () == 2 && Boots[1].End == BootEnd::Completed && Status == EFI_SUCCESS) ? 0 : 1;
}
