/** @file
  The emulated processor as a driver reaches it: model-specific registers,
  the time-stamp counter and PAUSE.

  The counter moves by a fixed step at every reading, so a busy wait of T
  ticks costs T / step readings of host time whatever T stands for in real
  time: with the default step of 1,000,000 ticks, a 30 ms wait at ratio 0x20
  (96,000,000 ticks) is 96 readings.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef EMU_PROCESSOR_H_
#define EMU_PROCESSOR_H_

#include <Uefi.h>

#include <map>

namespace Emu {

class TraceLog;

class Processor {
public:
  explicit Processor (TraceLog &Log) : mTrace (Log) {}

  void    SetMsr (UINT32 Index, UINT64 Value) { mMsrs[Index] = Value; }
  void    SetTsc (UINT64 Value) { mTsc = Value; }
  void    SetTscStep (UINT64 Step) { mTscStep = Step; }
  void    SetTraceTsc (bool On) { mTraceTsc = On; }

  UINT64  Tsc () const { return mTsc; }
  UINT64  PauseCount () const { return mPauseCount; }
  UINT64  TscReadCount () const { return mTscReads; }

  //
  // The instructions.
  //
  UINT64  ReadMsr (UINT32 Index);
  UINT64  ReadTsc ();
  VOID    Pause () { mPauseCount++; }

private:
  TraceLog                 &mTrace;
  std::map<UINT32, UINT64>  mMsrs;
  UINT64                    mTsc = 0x1000;
  UINT64                    mTscStep = 1000000;
  UINT64                    mTscReads = 0;
  UINT64                    mPauseCount = 0;
  bool                      mTraceTsc = false;
};

}

#endif
