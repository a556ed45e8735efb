"""How the bench and the cases say that something failed."""


class BenchError(Exception):
    """The bench itself could not do its part (no prefix, no display)."""


class TestFailure(AssertionError):
    """A check of a test failed; the message says why."""


def fail(why):
    raise TestFailure(why)
