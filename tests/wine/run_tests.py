#!/usr/bin/python3
"""Runs the Windows tests under Wine and the PE check, for each build given.

Usage: run_tests.py [-k SUBSTRING] [--prefix DIR] [BUILD_DIR ...]
  default builds: build/win64 build/win32; -k runs only the cases whose name holds SUBSTRING;
  --prefix uses another Wine prefix than build/wineprefix (about 700 MB; made on first use).

The cases are the functions test_NAME(ctx) and case_NAME(ctx) of the modules tests/wine/test_*.py
and tests/wine/*_cases.py, found by name. Each gets a winebench.Context (or the subclass the module
names as CONTEXT): ctx.build is the build, ctx.builds all of them, ctx.bench the run's WineBench,
ctx.run and ctx.start run the build's programs. A case runs once per build whose programs can run
here; marked with @winebench.every_build it runs for every build, also one that is only inspected
(the PE check, reading the PE32's resources), and with @winebench.once a single time per run. A
case passes unless it raises; whatever it raises fails that case only.

The PE32 (build/win32) runs only where the kernel runs 32-bit code and wine32 is installed;
elsewhere it is built and inspected only, and the summary says so. One line per case: "PASS name
(T s)" or "FAIL name (T s): why", where name is "win64/NAME", or "win64/GROUP NAME" for a case of
GROUP_cases.py; the last line: "wine: N passed, M failed, R start retries", R counting the starts
that Wine failed and that were tried again.
"""
import os
import sys

import winebench


def main(argv):
    options = {"-k": None, "--prefix": winebench.DEFAULT_PREFIX}
    while len(argv) >= 2 and argv[0] in options:
        options[argv[0]] = argv[1]
        argv = argv[2:]
    build_dirs = argv or [os.path.join(winebench.ROOT, "build", "win64"), os.path.join(winebench.ROOT, "build", "win32")]
    return winebench.Runner(build_dirs, options["-k"], options["--prefix"]).run()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
