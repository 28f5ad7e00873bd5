/** @file
  The KCS transport's sources (KcsInterface.cpp and the IPMI_TRANSPORT2 face)
  against the emulated KCS interface: the exchange as the BMC sees it, what
  the caller gets back, and every interface fault aborted back to idle.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "EmulatedKcs.h"

#include <Protocol/IpmiTransport2.h>
#include "../../TavriPkg/KcsIpmiDxe/KcsInterface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

extern "C" EFI_STATUS EFIAPI KcsIpmiTransport2EntryPoint (IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);

namespace KcsTest {
namespace {

//
// The boot services call the entry point makes, scripted.
//
EFI_HANDLE  mInstallHandle;
EFI_STATUS  mInstallStatus;
VOID        *mInstalled;

EFI_STATUS
EFIAPI
Install (
  IN OUT EFI_HANDLE        *Handle,
  IN EFI_GUID              *Protocol,
  IN EFI_INTERFACE_TYPE    InterfaceType,
  IN VOID                  *Interface
  )
{
  EXPECT_EQ (memcmp (Protocol, &gIpmiTransportProtocolGuid, sizeof (EFI_GUID)), 0);
  EXPECT_EQ (InterfaceType, EFI_NATIVE_INTERFACE);
  mInstalled = Interface;
  *Handle    = mInstallHandle;
  return mInstallStatus;
}

IPMI_TRANSPORT2 *
LoadTransport (
  EFI_HANDLE  Handle,
  EFI_STATUS  Status
  )
{
  EFI_BOOT_SERVICES  Bs{};
  EFI_SYSTEM_TABLE   St{};

  Bs.InstallProtocolInterface = Install;
  St.BootServices             = &Bs;
  mInstallHandle              = Handle;
  mInstallStatus              = Status;
  EXPECT_EQ (KcsIpmiTransport2EntryPoint (nullptr, &St), Status);
  return static_cast<IPMI_TRANSPORT2 *>(mInstalled);
}

/** The BMC's answer to any request: NetFn of a response, the command, CompletionCode, Data. */
std::function<Bytes (const Bytes &)>
Reply (
  UINT8  CompletionCode,
  Bytes  Data = {}
  )
{
  return [=] (const Bytes &Request) {
           Bytes  Response{ static_cast<UINT8>(Request[0] | 0x04), Request[1], CompletionCode };

           Response.insert (Response.end (), Data.begin (), Data.end ());
           return Response;
         };
}

Bytes
Sequence (
  size_t  Size,
  UINT8   First
  )
{
  Bytes  Out (Size);

  for (size_t Index = 0; Index < Size; Index++) {
    Out[Index] = static_cast<UINT8>(First + Index);
  }

  return Out;
}

class KcsTransport : public ::testing::Test {
protected:
  IPMI_TRANSPORT2  *Transport = nullptr;

  void
  SetUp (
    ) override
  {
    Kcs ()        = EmulatedKcs{};
    Kcs ().Answer = Reply (0x00, { 0x20, 0x81 });
    Transport     = LoadTransport (reinterpret_cast<EFI_HANDLE>(0x1000), EFI_SUCCESS);
    ASSERT_NE (Transport, nullptr);
    Transport->CompletionCode = 0xEE;
  }

  void
  TearDown (
    ) override
  {
    EXPECT_EQ (Kcs ().Faults, std::vector<std::string>{});
    EXPECT_EQ (Kcs ().DebugPort, "") << "only refused sizes are reported";
  }

  /** Get Device ID through IpmiSubmitCommand2; Response is resized to what came back. */
  EFI_STATUS
  Submit (
    Bytes   Request,
    Bytes   &Response,
    UINT32  Capacity
    )
  {
    UINT32  Size = Capacity;

    Response.assign (Capacity + 8, 0xAA);
    EFI_STATUS  Status = Transport->IpmiSubmitCommand2 (Transport, 0x06, 0, 0x01, Request.data (), static_cast<UINT32>(Request.size ()), Response.data (), &Size);

    if (Status == EFI_SUCCESS) {
      EXPECT_EQ (Bytes (Response.begin () + Size, Response.end ()), Bytes (Capacity + 8 - Size, 0xAA)) << "nothing past the size returned";
    }

    Response.resize (Status == EFI_SUCCESS ? Size : Capacity + 8);
    if (Status != EFI_SUCCESS) {
      EXPECT_EQ (Size, Capacity) << "the size is written on success only";
    }

    return Status;
  }
};

TEST_F (KcsTransport, InstallsItsInterfaceUnderTheTransportGuid)
{
  EXPECT_EQ (Transport->Revision, 0x0002000000000000ULL);
  EXPECT_EQ (Transport->InterfaceType, UINT32 (Ipmi2InterfaceKcs));
  EXPECT_EQ (Transport->BmcStatus, UINT32 (Ipmi2BmcStatusOk));
  EXPECT_EQ (Transport->IpmiHandle, reinterpret_cast<EFI_HANDLE>(0x1000));
  // A refused install leaves the handle of the interface alone.
  EXPECT_EQ (LoadTransport (reinterpret_cast<EFI_HANDLE>(0x2000), EFI_OUT_OF_RESOURCES), Transport);
  EXPECT_EQ (Transport->IpmiHandle, reinterpret_cast<EFI_HANDLE>(0x1000));
}

//
// Requests of every size class, responses of every length, a BMC that takes
// its bytes at once or after a few polls: the BMC sees NetFn/LUN, command and
// data, the caller gets completion code and data.
//
TEST_F (KcsTransport, ExchangesRequestAndResponseByTheProtocol)
{
  struct {
    size_t  RequestSize;
    size_t  ResponseData;
    int     Delay;
  } const  Cases[] = {
    { 0, 0, 0 }, { 0, 2, 3 }, { 1, 1, 0 }, { 2, 20, 5 }, { 255, 255, 3 }
  };

  for (const auto &C : Cases) {
    SCOPED_TRACE (testing::Message () << "request " << C.RequestSize << ", response data " << C.ResponseData << ", delay " << C.Delay);
    Kcs ()        = EmulatedKcs{};
    Kcs ().Delay  = C.Delay;
    Kcs ().Answer = Reply (0x00, Sequence (C.ResponseData, 0x40));
    Bytes  Request = Sequence (C.RequestSize, 0x90);
    Bytes  Response;

    ASSERT_EQ (Submit (Request, Response, 256), EFI_SUCCESS);
    Bytes  Expected{ 0x06 << 2, 0x01 };

    Expected.insert (Expected.end (), Request.begin (), Request.end ());
    EXPECT_EQ (Kcs ().Requests, std::vector<Bytes>{ Expected });
    Bytes  Data = Sequence (C.ResponseData, 0x40);

    Data.insert (Data.begin (), 0x00);
    EXPECT_EQ (Response, Data);
    EXPECT_EQ (Transport->CompletionCode, 0);
    EXPECT_TRUE (Kcs ().Quiet ());
    EXPECT_EQ (Kcs ().Aborts, 0);
  }

  // The LUN in the low two bits, through the face that names the interface.
  UINT8   Response[8];
  UINT32  Size = sizeof (Response);

  Kcs () = EmulatedKcs{};
  Kcs ().Answer = Reply (0x00);
  EXPECT_EQ (Transport->IpmiSubmitCommand2Ex (Transport, 0x0A, 0x07, 0x11, nullptr, 0, Response, &Size, Ipmi2InterfaceKcs), EFI_SUCCESS);
  EXPECT_EQ (Kcs ().Requests, (std::vector<Bytes>{ { 0x0A << 2 | 3, 0x11 } }));
  EXPECT_EQ (Size, 1u);
}

//
// A completion code is an error with nothing stored; the capacity is the
// caller's room plus the one byte of slack the published transport takes.
//
TEST_F (KcsTransport, StoresOnlyWhatTheCallerHasRoomFor)
{
  Bytes  Response;

  Kcs ().Answer = Reply (0xC1, { 1, 2, 3 });
  EXPECT_EQ (Submit ({}, Response, 16), EFI_DEVICE_ERROR);
  EXPECT_EQ (Response, Bytes (24, 0xAA));
  EXPECT_EQ (Transport->CompletionCode, 0xC1);
  EXPECT_TRUE (Kcs ().Quiet ());

  const struct {
    UINT32      Capacity;
    EFI_STATUS  Status;
  } Cases[] = {
    { 5, EFI_SUCCESS }, { 4, EFI_SUCCESS }, { 3, EFI_BUFFER_TOO_SMALL }, { 0, EFI_BUFFER_TOO_SMALL }
  };

  Kcs ().Answer = Reply (0x00, { 1, 2, 3, 4 });
  for (const auto &C : Cases) {
    SCOPED_TRACE (C.Capacity);
    EXPECT_EQ (Submit ({}, Response, C.Capacity), C.Status);
    EXPECT_EQ (Response, (C.Status == EFI_SUCCESS ? Bytes{ 0, 1, 2, 3, 4 } : Bytes (C.Capacity + 8, 0xAA)));
    EXPECT_EQ (Transport->CompletionCode, 0);
    EXPECT_TRUE (Kcs ().Quiet ());
  }
}

//
// Calls refused before anything goes to the BMC.
//
TEST_F (KcsTransport, RefusesBadCallsWithoutTouchingTheInterface)
{
  UINT8   Data[4] = { 0 };
  UINT8   Response[8];
  UINT32  Size = sizeof (Response);

  EXPECT_EQ (Transport->IpmiSubmitCommand2 (nullptr, 6, 0, 1, Data, 0, Response, &Size), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Transport->IpmiSubmitCommand2 (Transport, 6, 0, 1, Data, 0, nullptr, &Size), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Transport->IpmiSubmitCommand2 (Transport, 6, 0, 1, Data, 0, Response, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Transport->IpmiSubmitCommand2 (Transport, 6, 0, 1, nullptr, 1, Response, &Size), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Transport->IpmiSubmitCommand2Ex (Transport, 6, 0, 1, Data, 0, Response, &Size, Ipmi2InterfaceBt), EFI_UNSUPPORTED);
  EXPECT_EQ (Kcs ().StatusReads, 0);

  // A size with stale upper bytes: refused and named on the debug port.
  for (UINT32 Bad : { 0x100u, 0xFEDCBA98u }) {
    Kcs ().DebugPort.clear ();
    EXPECT_EQ (Transport->IpmiSubmitCommand2 (Transport, 6, 0, 1, Data, Bad, Response, &Size), EFI_INVALID_PARAMETER);
    char  Line[96];
    snprintf (Line, sizeof (Line), "KcsIpmiDxeTransport2: refused, request size with non-zero upper bytes: 0x%08X\n", Bad);
    EXPECT_EQ (Kcs ().DebugPort, Line);
  }

  Kcs ().DebugPort.clear ();
  EXPECT_EQ (Kcs ().StatusReads, 0);
  EXPECT_EQ (Size, sizeof (Response));
}

//
// KcsExchange's own bounds: a full request and a full response fit, one byte
// more does not.
//
TEST_F (KcsTransport, ExchangeBounds)
{
  UINT8  Message[KCS_MAX_MESSAGE];
  UINTN  Length = 0;
  Bytes  Data   = Sequence (KCS_MAX_REQUEST_DATA + 1, 0);

  EXPECT_EQ (KcsExchange (6, 0, 1, Data.data (), KCS_MAX_REQUEST_DATA + 1, Message, &Length), EFI_INVALID_PARAMETER);
  EXPECT_EQ (KcsExchange (6, 0, 1, nullptr, 1, Message, &Length), EFI_INVALID_PARAMETER);
  EXPECT_EQ (Kcs ().StatusReads, 0);

  Kcs ().Answer = Reply (0x00, Sequence (KCS_MAX_MESSAGE - 3, 0));
  EXPECT_EQ (KcsExchange (6, 0, 1, Data.data (), KCS_MAX_REQUEST_DATA, Message, &Length), EFI_SUCCESS);
  EXPECT_EQ (Length, KCS_MAX_MESSAGE);
  EXPECT_EQ (Kcs ().Requests.back ().size (), KCS_MAX_MESSAGE);
  EXPECT_EQ (Message[KCS_MAX_MESSAGE - 1], static_cast<UINT8>(KCS_MAX_MESSAGE - 4));
  EXPECT_EQ (KcsExchange (6, 0, 1, nullptr, 0, Message, &Length), EFI_SUCCESS);
  EXPECT_EQ (Kcs ().Requests.back (), Bytes ({ 6 << 2, 1 }));
  EXPECT_TRUE (Kcs ().Quiet ());
  EXPECT_EQ (Kcs ().Aborts, 0);
}

//
// Every fault of the interface or of the response: the caller gets an error,
// the transfer is aborted when it was left half-done, the interface is left
// idle and the next request goes through.
//
TEST_F (KcsTransport, FaultsLeaveTheInterfaceIdle)
{
  const struct {
    const char                            *Name;
    std::function<void (EmulatedKcs &)>   Script;
    EFI_STATUS                            Status;
    int                                   Aborts;
  } Cases[] = {
    { "error on the first request byte",  [] (EmulatedKcs &K) { K.ErrorAfter = 0; }, EFI_DEVICE_ERROR, 1 },
    { "error in the middle of a request", [] (EmulatedKcs &K) { K.ErrorAfter = 2; }, EFI_DEVICE_ERROR, 1 },
    { "error on the last request byte",   [] (EmulatedKcs &K) { K.ErrorAfter = 3; }, EFI_DEVICE_ERROR, 1 },
    { "error on the first READ",          [] (EmulatedKcs &K) { K.ErrorAtRead = 1; }, EFI_DEVICE_ERROR, 1 },
    { "error on the last READ",           [] (EmulatedKcs &K) { K.ErrorAtRead = 5; }, EFI_DEVICE_ERROR, 1 },
    { "no response byte",                 [] (EmulatedKcs &K) { K.NeverAnswer = true; }, EFI_DEVICE_ERROR, 1 },
    { "no byte at the end of the read",   [] (EmulatedKcs &K) { K.NoIdleByte = true; }, EFI_DEVICE_ERROR, 1 },
    { "response too long",                [] (EmulatedKcs &K) { K.Answer = Reply (0, Bytes (KCS_MAX_MESSAGE - 2, 7)); }, EFI_BUFFER_TOO_SMALL, 1 },
    { "response to another command",      [] (EmulatedKcs &K) { K.Answer = [] (const Bytes &R) { return Bytes{ static_cast<UINT8>(R[0] | 4), 0x02, 0, 1 }; }; }, EFI_DEVICE_ERROR, 0 },
    { "response without completion code", [] (EmulatedKcs &K) { K.Answer = [] (const Bytes &R) { return Bytes{ static_cast<UINT8>(R[0] | 4), R[1] }; }; }, EFI_DEVICE_ERROR, 0 },
    { "empty response",                   [] (EmulatedKcs &K) { K.Answer = [] (const Bytes &) { return Bytes{}; }; }, EFI_DEVICE_ERROR, 0 },
  };

  //
  // Lag 2: the BMC sets OBF two status reads after it clears IBF, as a slow
  // one does; the host must wait for OBF, not for IBF alone.
  //
  for (int Lag : { 0, 2 }) {
    for (const auto &C : Cases) {
      SCOPED_TRACE (std::string (C.Name) + ", OBF lag " + std::to_string (Lag));
      Kcs ()        = EmulatedKcs{};
      Kcs ().ObfLag = Lag;
      Kcs ().Answer = Reply (0x00, { 1, 2, 3 });
      C.Script (Kcs ());
      Transport->CompletionCode = 0xEE;
      Bytes  Response;

      EXPECT_EQ (Submit ({ 0x11, 0x22 }, Response, 300), C.Status);
      EXPECT_EQ (Response, Bytes (308, 0xAA));
      EXPECT_EQ (Transport->CompletionCode, 0xEE);
      EXPECT_EQ (Kcs ().Aborts, C.Aborts);
      EXPECT_TRUE (Kcs ().Quiet ());

      Kcs ().NeverAnswer = false;
      Kcs ().NoIdleByte  = false;
      Kcs ().Answer      = Reply (0x00, { 9 });
      EXPECT_EQ (Submit ({ 0x33 }, Response, 8), EFI_SUCCESS);
      EXPECT_EQ (Response, (Bytes{ 0, 9 }));
      EXPECT_EQ (Kcs ().Requests.back (), (Bytes{ 0x06 << 2, 0x01, 0x33 }));
      EXPECT_TRUE (Kcs ().Quiet ());
      EXPECT_EQ (Kcs ().Faults, std::vector<std::string>{}) << "the next case starts a fresh interface";
    }
  }
}

//
// A BMC that stops taking bytes, at the start, in the middle or at the end
// of a request: the transfer gives up after one wait limit (ten million
// status reads), the abort after one more, and nothing more is written to
// the interface.
//
TEST_F (KcsTransport, GivesUpOnASilentInterface)
{
  constexpr long  WAIT_LIMIT = 10000000;      // status reads before a wait gives up
  Bytes           Response;
  auto            ExpectTwoWaits = [] {
                    EXPECT_GE (Kcs ().StatusReads, 2 * WAIT_LIMIT);
                    EXPECT_LT (Kcs ().StatusReads, 2 * WAIT_LIMIT + 100) << "two waits given up, not three";
                  };

  for (int Taken : { 0, 2, 3 }) {
    SCOPED_TRACE (Taken);
    Kcs ()          = EmulatedKcs{};
    Kcs ().TakeOnly = Taken;
    EXPECT_EQ (Submit ({ 1 }, Response, 8), EFI_DEVICE_ERROR);
    EXPECT_TRUE (Kcs ().Ibf);
    EXPECT_EQ (Kcs ().Input, (Taken == 0) ? 0x61 : (Taken == 3) ? 0x62 : 0x01) << "WRITE_START, a byte, WRITE_END; nothing after it";
    EXPECT_EQ (Kcs ().Aborts, 0);
    ExpectTwoWaits ();

    // IBF still set when the next request starts: nothing is written at all.
    Kcs ().StatusReads = 0;
    EXPECT_EQ (Submit ({ 1 }, Response, 8), EFI_DEVICE_ERROR);
    ExpectTwoWaits ();
    EXPECT_EQ (Kcs ().Requests.size (), 0u);
  }
}

}
}
