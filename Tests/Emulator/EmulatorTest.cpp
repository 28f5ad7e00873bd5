/** @file
  The emulated board's own firmware semantics, which the driver tests lean on:
  events and groups, protocol notification, the variable store and its fault
  injection, the chipset's ports and the reset that ends a boot.
**/

#include <EmulatedBmc.h>
#include <EmulatedBoard.h>

#include <gtest/gtest.h>

using namespace Emu;

namespace {

int  gNotified;

VOID EFIAPI
CountNotify (EFI_EVENT, VOID *)
{
  gNotified++;
}

VOID EFIAPI
CloseSelf (EFI_EVENT Event, VOID *)
{
  gNotified++;
  EmulatedBoard::Active ()->SystemTable ()->BootServices->CloseEvent (Event);
}

const EFI_GUID  TestProtocol = { 0xAAAA0001, 1, 2, { 3, 4, 5, 6, 7, 8, 9, 10 } };
const EFI_GUID  TestGroup    = { 0xAAAA0002, 1, 2, { 3, 4, 5, 6, 7, 8, 9, 10 } };

}  // namespace

TEST (EmulatedBoard, ProtocolNotifyFiresOnlyForLaterInstallsAndNeverAfterClose) {
  EmulatedBoard      Board;
  EFI_BOOT_SERVICES  *Bs = Board.SystemTable ()->BootServices;
  EFI_EVENT          Event = nullptr;
  VOID               *Key = nullptr;
  EFI_GUID           Guid = TestProtocol;
  static UINT8       First, Second, Third;

  gNotified = 0;
  Board.InstallProtocol (TestProtocol, &First);
  ASSERT_EQ (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CountNotify, nullptr, &Event), EFI_SUCCESS);
  ASSERT_EQ (Bs->RegisterProtocolNotify (&Guid, Event, &Key), EFI_SUCCESS);
  EXPECT_EQ (gNotified, 0) << "an earlier install does not signal";

  Board.InstallProtocol (TestProtocol, &Second);
  EXPECT_EQ (gNotified, 1);
  VOID  *Found = nullptr;
  EXPECT_EQ (Bs->LocateProtocol (&Guid, nullptr, &Found), EFI_SUCCESS);
  EXPECT_EQ (Found, &First) << "LocateProtocol answers the first installed interface";

  EXPECT_EQ (Bs->CloseEvent (Event), EFI_SUCCESS);
  Board.InstallProtocol (TestProtocol, &Third);
  EXPECT_EQ (gNotified, 1);
  EXPECT_EQ (Bs->CloseEvent (Event), EFI_INVALID_PARAMETER) << "a closed event is gone";
  EXPECT_EQ (Bs->CreateEvent (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, nullptr, nullptr, &Event), EFI_INVALID_PARAMETER);
}

TEST (EmulatedBoard, EventGroupsSignalTogetherAtCallbackLevel) {
  EmulatedBoard      Board;
  EFI_BOOT_SERVICES  *Bs = Board.SystemTable ()->BootServices;
  EFI_EVENT          A = nullptr, B = nullptr;

  gNotified = 0;
  ASSERT_EQ (Bs->CreateEventEx (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CloseSelf, nullptr, &TestGroup, &A), EFI_SUCCESS);
  ASSERT_EQ (Bs->CreateEventEx (EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CloseSelf, nullptr, &TestGroup, &B), EFI_SUCCESS);

  //
  // Raised to TPL_CALLBACK, the signal waits until the TPL drops.
  //
  EFI_TPL  Old = Bs->RaiseTPL (TPL_CALLBACK);
  EXPECT_EQ (Bs->SignalEvent (A), EFI_SUCCESS);
  EXPECT_EQ (gNotified, 0);
  Bs->RestoreTPL (Old);
  EXPECT_EQ (gNotified, 2);
  EXPECT_EQ (Board.LiveEventCount (), 0u);
  EXPECT_EQ (Board.Count ("Notify"), 2u);
}

TEST (EmulatedBoard, VariableStoreSemanticsAndFaults) {
  EmulatedBoard         Board;
  EFI_RUNTIME_SERVICES  *Rt = Board.SystemTable ()->RuntimeServices;
  EFI_GUID              Guid = TestProtocol;
  UINT8                 Data[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
  UINT8                 Out[8] = {};
  UINTN                 Size = 4;
  UINT32                Attributes = 0;

  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_NOT_FOUND);
  EXPECT_EQ (Rt->SetVariable (u"V", &Guid, EFI_VARIABLE_RUNTIME_ACCESS, 8, Data), EFI_INVALID_PARAMETER);
  ASSERT_EQ (Rt->SetVariable (u"V", &Guid, EFI_VARIABLE_BOOTSERVICE_ACCESS, 8, Data), EFI_SUCCESS);
  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Size, 8u);
  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_SUCCESS);
  EXPECT_EQ (Attributes, EFI_VARIABLE_BOOTSERVICE_ACCESS);
  EXPECT_EQ (Out[7], 8);

  Board.FailNext ("SetVariable", EFI_WRITE_PROTECTED);
  Data[0] = 9;
  EXPECT_EQ (Rt->SetVariable (u"V", &Guid, EFI_VARIABLE_BOOTSERVICE_ACCESS, 8, Data), EFI_WRITE_PROTECTED);
  EXPECT_EQ (Board.FindVariable (u"V", Guid)->Data[0], 1) << "a failed store changes nothing";
  Board.FailNext ("GetVariable", EFI_WARN_STALE_DATA);
  EXPECT_EQ (Rt->GetVariable (u"V", &Guid, &Attributes, &Size, Out), EFI_WARN_STALE_DATA);
  EXPECT_EQ (Out[0], 1) << "a warning still reads";

  //
  // A new boot keeps only non-volatile variables.
  //
  Board.PutVariable (u"NV", Guid, EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS, { 1 });
  Board.ResetPlatformState ();
  EXPECT_EQ (Board.FindVariable (u"V", Guid), nullptr);
  EXPECT_NE (Board.FindVariable (u"NV", Guid), nullptr);
}

TEST (EmulatedBoard, ResetRequestEndsTheBootWhereItHappens) {
  EmulatedBoard  Board;
  bool           After = false;

  EXPECT_EQ (Board.RunUntilReset ([&]() { Board.PortWrite (0xCF9, 0x02); After = true; }), BootEnd::Completed) << "bit 2 clear: no reset";
  After = false;
  EXPECT_EQ (Board.RunUntilReset ([&]() { Board.PortWrite (0xCF9, 0x0E); After = true; }), BootEnd::ResetByPortCf9);
  EXPECT_FALSE (After);

  //
  // The two CMOS banks are separate.
  //
  Board.PortWrite (0x72, 0x81);
  Board.PortWrite (0x73, 0x99);
  Board.PortWrite (0x70, 0x01);
  EXPECT_EQ (Board.PortRead (0x71), 0x00);
  EXPECT_EQ (Board.ExtendedCmos (0x81), 0x99);
}
