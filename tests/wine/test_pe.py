"""The PE check of each build's screensaver.scr (tests/pe_check.py), the PE32 included where it
cannot run."""
import pe_check
from winebench import every_build, fail


@every_build
def test_pe_check(ctx):
    problems, _ = pe_check.check_scr(ctx.build.scr, ctx.build.kind)
    if problems:
        fail("; ".join(problems))
