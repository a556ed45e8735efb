"""The reduction as the Windows builds run it: vector kernels, Windows stack and calling
convention, checked against the reference."""
from winebench import expect_checks_passed


def test_reduction_matches_the_reference(ctx):
    expect_checks_passed(ctx.run("render_reduce_test", [], timeout=120))
