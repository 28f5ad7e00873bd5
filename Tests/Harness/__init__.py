# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The QEMU and firmware harness: one package for every test that boots
TavriDxe on OVMF in QEMU.

  Qemu.py        the one QEMU runner: machine arguments, the BMCs, the ESP,
                 port captures and the I/O trace; boot() starts QEMU with a
                 time limit and stops it (and its process group) on every path
  Collect.py     the one result collector: port captures, the I/O trace split
                 into boots, the apps' report lines (port 0xE9), the DEBUG log,
                 and Checks, which gathers failed expectations and prints them
  Words.py       the bring-up log: EFI statuses by name, TSC ticks in
                 microseconds, FRU bytes decoded by frutool
  Esp.py         FAT images, startup.nsh, dmpstore files for shell sessions
  Fru.py         the FRU images the BMCs serve
  OpenIpmi.py    OpenIPMI's ipmi_sim and ipmitool as a second BMC and witness
  EfiSigning.py  sbsign/sbverify with Debian's snakeoil key
  FaultLink.py   the fault-injecting link between QEMU and ipmi_sim (a program)

The tests, each run as `python3 -m Harness.NAME BUILD_DIR ...` with Tests/
on the module path (CTest runs them from Tests/; Scripts/Run.sh sets
PYTHONPATH): BootOnOvmf, DeployOnStockOvmf, DeploySecureBoot, FruFaults,
FruToolOnShell, BootFirmware, SmbiosOnOvmf, DmidecodeOnOvmf.
"""
