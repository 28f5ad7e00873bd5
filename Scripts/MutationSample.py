#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""An evenly spread sample of one file's mutants, for mutate.py's MUT_ONLY_IDS.

Usage: MutationSample.py [--exclude IDS] MUTATE_PY FILE:COUNT...
  Lists each FILE's mutants with `mutate.py list -v` (MUT_WORK/MUT_SRC as
  set in the environment; MUT_FILES is set to the file alone, as the run
  over that file must set it) and prints COUNT ids taken at even steps in
  the tool's order (file, line, operator), one a line. With --exclude, the
  ids in the file IDS (an earlier sample) are left out before the choice.
"""

import os
import subprocess
import sys


def sample(tool, path, count, exclude):
    env = dict(os.environ, MUT_FILES=path)
    out = subprocess.run([sys.executable, tool, "list", "-v"], env=env, check=True,
                         capture_output=True, text=True).stdout
    ids = [f[0] for f in (line.split() for line in out.splitlines())
           if len(f) > 1 and f[1].startswith(path + ":") and f[0] not in exclude]
    count = min(count, len(ids))
    if count == 0:
        return []
    return [ids[i] for i in sorted({int((j + 0.5) * len(ids) / count) for j in range(count)})]


def main():
    args = sys.argv[1:]
    exclude = set()
    if args[:1] == ["--exclude"] and len(args) > 1:
        with open(args[1]) as ids:
            exclude = set(ids.read().split())
        args = args[2:]
    if len(args) < 2:
        sys.exit(__doc__)
    for arg in args[1:]:
        path, count = arg.rsplit(":", 1)
        print("\n".join(sample(args[0], path, int(count), exclude)))


if __name__ == "__main__":
    main()
