# SPDX-License-Identifier: BSD-2-Clause-Patent
"""The FRU format cross-checks and the FRU images they and the harness share."""
