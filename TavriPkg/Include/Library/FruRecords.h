/** @file
  The records of the multi-record area as print shows them: a summary line
  per record (kind, format version, length, checksum state, end of list), its
  type and data as `multirecord.N.type` / `multirecord.N.data`, and the
  fields of the record types IPMI FRU defines decoded one a line.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#ifndef FRU_RECORDS_H_
#define FRU_RECORDS_H_

#include <Library/FruFormat.h>
#include <Library/FruText.h>

/**
  Name of a record type: "power supply", "DC output", ..., "OEM", or NULL
  for a type IPMI FRU leaves unassigned.
**/
CONST CHAR8 *
FruRecordTypeName (
  IN UINT8  Type
  );

/**
  Print the records from Start, as far as they can be followed inside
  [Start, Limit): each record's checksum state is shown, and the walk stops
  at the end-of-list record, a record header whose checksum is wrong, or a
  record that runs past Limit (said in a line of its own).
**/
VOID
FruPrintRecords (
  IN CONST UINT8       *Data,
  IN UINTN             Limit,
  IN UINTN             Start,
  IN CONST FRU_OUTPUT  *Output
  );

#endif
