"""The project's Wine test bench: runs Windows programs under Wine in private X displays, and the
Windows test cases with them. One module per job:

  prefix    the run's Wine prefix, wineserver and environment, Wine's own tools, Windows 98 for
            one program, win.ini edits (WineBench)
  display   the private Xvfb of each colour depth: windows, keys, mouse, screenshots (Display)
  programs  starting programs through the launcher, their results and debug output (RunResult,
            RunningProgram, expect_ran, expect_checks_passed)
  cases     finding and running the cases, each on its own, and the summary (Runner, Context)
"""
# The names the cases and the scripts use, from whichever module does the job.
from .cases import Context, Runner, every_build, once  # noqa: F401
from .display import SCREEN_SIZE, write_bmp  # noqa: F401
from .failures import BenchError, TestFailure, fail  # noqa: F401
from .prefix import DEFAULT_PREFIX, ROOT, SAVER_SECTION, WineBench  # noqa: F401
from .programs import (TIMEOUT, WINE, RunningProgram, command_line, expect_checks_passed, expect_ran,  # noqa: F401
                       quote_argument, windows_path)
