"""Running the Windows test cases: found by name in the modules of tests/wine, each given a
Context, each on its own (whatever a case raises fails that case only, and the programs it left
running are ended before the next one starts), counted in one summary line."""
import glob
import importlib
import os
import re
import sys
import time
import traceback

from .failures import BenchError, TestFailure
from .prefix import DEFAULT_PREFIX, ROOT, WineBench, kernel_runs_32bit_code, wine32_installed
from .programs import TIMEOUT

sys.path.insert(0, os.path.join(ROOT, "tests"))
import pe_check  # noqa: E402

CASE_FOLDER = os.path.join(ROOT, "tests", "wine")


def once(test):
    """Marks a case that the runner calls a single time, not once per build."""
    test.bench_scope = "once"
    return test


def every_build(test):
    """Marks a case for every build, also one whose programs cannot run here (it only inspects
    the build's files, or runs programs of another build)."""
    test.bench_scope = "every_build"
    return test


class Build:
    """One Windows build directory: its kind (win32/win64), its .scr and its test programs."""

    def __init__(self, directory):
        self.directory = os.path.abspath(directory)
        self.kind = pe_check.build_kind(self.directory)
        self.name = self.kind
        self.scr = os.path.join(self.directory, "screensaver.scr")
        self.launcher = self.program("launcher")

    def program(self, name):
        return os.path.join(self.directory, "tests", "win", name + ".exe")

    def why_not_runnable(self):
        """None when this build's programs run here, else the reason."""
        if self.kind == "win64":
            return None
        if not kernel_runs_32bit_code():
            return "this kernel runs no 32-bit code"
        if not wine32_installed():
            return "wine32 is not installed"
        return None


class Context:
    """What every case gets. A module may name a subclass with helpers of its own as CONTEXT."""

    def __init__(self, runner, build, name):
        self.runner = runner
        self.build = build  # None for a case run once
        self.builds = runner.builds
        self.name = name
        self.build_dir = build.directory if build else None
        self.launcher = build.launcher if build else None
        self.programs = os.path.dirname(build.launcher) if build else None  # the test programs' folder

    @property
    def bench(self):
        return self.runner.started_bench()

    def run(self, program, args=(), timeout=TIMEOUT, depth=24, cwd=None, build=None):
        """Runs a test program of the build (by name) or any program (by path) via the build's
        launcher; returns the RunResult."""
        build = build or self.build
        path = program if os.sep in program else build.program(program)
        return self.bench.run(build.launcher, path, args, timeout=timeout, depth=depth, cwd=cwd)

    def start(self, program, args=(), timeout=TIMEOUT, depth=24, cwd=None, build=None):
        """As run, but returns the RunningProgram at once."""
        build = build or self.build
        path = program if os.sep in program else build.program(program)
        return self.bench.start_program(build.launcher, path, args, timeout=timeout, depth=depth, cwd=cwd)

    def build_of_kind(self, kind):
        return next((build for build in self.builds if build.kind == kind), None)

    def artifact_path(self, file_name):
        """Where a case keeps a screenshot or log for a person to look at afterwards."""
        folder = os.path.join(ROOT, "build", "wine-artifacts", re.sub(r"[^\w.-]+", "_", self.name))
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, file_name)


def cases_of(module):
    """A module's cases in the order it defines them: (NAME, function) for each function test_NAME
    or case_NAME; a *_cases module's names carry its group ("host NAME")."""
    group = module.__name__[:-len("_cases")] + " " if module.__name__.endswith("_cases") else ""
    return [(group + attribute.split("_", 1)[1], function) for attribute, function in vars(module).items()
            if attribute.startswith(("test_", "case_")) and callable(function)]


class Runner:
    """One run of the cases over the given builds, sharing one bench; out takes each output line."""

    def __init__(self, build_dirs, selection=None, prefix=DEFAULT_PREFIX, out=None):
        self.builds = [Build(directory) for directory in build_dirs]
        self.selection = selection
        self.prefix = prefix
        self.out = out or (lambda line: print(line, flush=True))
        self.bench = None
        self.bench_failure = None
        self.passed = 0
        self.failed = 0

    def started_bench(self):
        if self.bench is None:
            if self.bench_failure:
                raise BenchError(self.bench_failure)
            bench = WineBench(self.prefix)
            try:
                bench.start()
            except Exception as error:
                bench.stop()
                self.bench_failure = "the bench did not start: %s: %s" % (type(error).__name__, error)
                raise BenchError(self.bench_failure)
            self.bench = bench
        return self.bench

    def report(self, name, why=None, seconds=None):
        name += " (%.1f s)" % seconds if seconds is not None else ""
        if why is None:
            self.passed += 1
            self.out("PASS %s" % name)
        else:
            self.failed += 1
            self.out("FAIL %s: %s" % (name, " ".join(str(why).split())))

    def run_case(self, function, context_class, build, name):
        started = time.monotonic()
        programs_before = len(self.bench.programs) if self.bench else 0
        why = None
        try:
            function(context_class(self, build, name))
        except (TestFailure, BenchError) as failure:
            why = failure
        except Exception as error:  # a bug of the case or the bench, or a wait cut short
            traceback.print_exc(file=sys.stderr)
            why = "%s: %s" % (type(error).__name__, error)
        self.end_programs_left_running(programs_before)
        self.report(name, why, time.monotonic() - started)

    def end_programs_left_running(self, kept):
        """A case that fails half-way may leave programs running: the next case must not meet them."""
        if self.bench:
            for running in self.bench.programs[kept:]:
                running.kill()
                running.wait()
            del self.bench.programs[kept:]

    def builds_for(self, function):
        scope = getattr(function, "bench_scope", "runnable_builds")
        if scope == "once":
            return [None]
        return [build for build in self.builds if scope == "every_build" or not build.why_not_runnable()]

    def run_module(self, module):
        context_class = getattr(module, "CONTEXT", Context)
        for base, function in cases_of(module):
            for build in self.builds_for(function):
                name = "%s/%s" % (build.name, base) if build else base
                if not self.selection or self.selection in name:
                    self.run_case(function, context_class, build, name)

    def run(self):
        """Runs the cases of tests/wine: test_*.py, then *_cases.py; returns the exit status."""
        started = time.monotonic()
        for build in self.builds:
            if not os.path.exists(build.scr) or not os.path.exists(build.launcher):
                self.report("%s/build" % build.name, "%s has no screensaver.scr or launcher.exe" % build.directory)
        self.builds = [b for b in self.builds if os.path.exists(b.scr) and os.path.exists(b.launcher)]
        for build in self.builds:
            reason = build.why_not_runnable()
            if reason == "wine32 is not installed":  # scripts/setup installs it where 32-bit code runs
                self.report("%s/runs" % build.name, "the kernel runs 32-bit code but " + reason)
        paths = sorted(glob.glob(os.path.join(CASE_FOLDER, "test_*.py"))) + \
            sorted(glob.glob(os.path.join(CASE_FOLDER, "*_cases.py")))
        try:
            for path in paths:
                name = os.path.basename(path)[:-len(".py")]
                try:
                    module = importlib.import_module(name)
                except Exception as error:
                    traceback.print_exc(file=sys.stderr)
                    self.report(name, "%s: %s" % (type(error).__name__, error))
                    continue
                self.run_module(module)
        finally:
            if self.bench:
                self.bench.stop()
        if self.bench and self.bench.prefix_seconds is not None:
            self.out("wine: prefix ready in %.1f s, all cases in %.1f s"
                     % (self.bench.prefix_seconds, time.monotonic() - started))
        for build in self.builds:
            reason = build.why_not_runnable()
            if build.kind == "win32" and reason == "this kernel runs no 32-bit code":
                self.out("PE32 not run: %s (built and inspected only)" % reason)
        retries = self.bench.start_retries if self.bench else 0
        self.out("wine: %d passed, %d failed, %d start retries" % (self.passed, self.failed, retries))
        return 1 if self.failed else 0
