#!/usr/bin/python3
"""Runs the Windows tests under Wine and the PE check, for each build given.

Usage: run_tests.py [-k SUBSTRING] [--prefix DIR] [BUILD_DIR ...]
  default builds: build/win64 build/win32; -k runs only the cases whose name holds SUBSTRING;
  --prefix uses another Wine prefix than build/wineprefix (about 700 MB; made on first use).

Two kinds of test modules in tests/wine are found by name:
  - test_*.py: functions test_NAME(ctx), run once per build whose programs can run here; marked
    with @winebench.every_build they run for every build, also one that is only inspected (the
    PE check, reading the PE32's resources), and with @winebench.once a single time per run.
    ctx.build is the build, ctx.builds all of them, ctx.bench the shared WineBench.
  - *_cases.py: a run_cases(bench, build_dir, names=None, report=print) function returning
    (passed, failed), called once per build whose programs can run.
The PE32 (build/win32) runs only where the kernel runs 32-bit code and wine32 is installed; elsewhere
it is built and inspected only, and the summary says so. One line per case: "PASS name" or
"FAIL name: why"; the last line: "wine: N passed, M failed".
"""
import glob
import importlib
import os
import re
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winebench  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import pe_check  # noqa: E402


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
        if not winebench.kernel_runs_32bit_code():
            return "this kernel runs no 32-bit code"
        if not winebench.wine32_installed():
            return "wine32 is not installed"
        return None


class Context:
    """What a test function gets."""

    def __init__(self, runner, build, name):
        self.runner = runner
        self.build = build
        self.builds = runner.builds
        self.name = name

    @property
    def bench(self):
        return self.runner.started_bench()

    def run(self, program, args=(), timeout=30.0, depth=24, cwd=None, build=None):
        """Runs a test program of the build (by name) or any program (by path) via the build's
        launcher; returns the RunResult."""
        build = build or self.build
        path = program if os.sep in program else build.program(program)
        return self.bench.run(build.launcher, path, args, timeout=timeout, depth=depth, cwd=cwd)

    def start(self, program, args=(), timeout=30.0, depth=24, cwd=None, build=None):
        build = build or self.build
        path = program if os.sep in program else build.program(program)
        return self.bench.start_program(build.launcher, path, args, timeout=timeout, depth=depth, cwd=cwd)

    def build_of_kind(self, kind):
        return next((build for build in self.builds if build.kind == kind), None)

    def artifact_path(self, file_name):
        """Where a test keeps a screenshot or log for a person to look at afterwards."""
        folder = os.path.join(winebench.ROOT, "build", "wine-artifacts", re.sub(r"[^\w.-]+", "_", self.name))
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, file_name)


class Runner:
    def __init__(self, build_dirs, selection, prefix):
        self.builds = [Build(directory) for directory in build_dirs]
        self.selection = selection
        self.prefix = prefix
        self.bench = None
        self.passed = 0
        self.failed = 0

    def started_bench(self):
        if self.bench is None:
            self.bench = winebench.WineBench(self.prefix)
            self.bench.start()
        return self.bench

    def report(self, passed, name, why=None):
        if passed:
            self.passed += 1
            print("PASS %s" % name, flush=True)
        else:
            self.failed += 1
            print("FAIL %s: %s" % (name, " ".join(str(why).split())), flush=True)

    def run_function(self, function, build, name):
        try:
            function(Context(self, build, name))
        except (winebench.TestFailure, winebench.BenchError) as failure:
            self.report(False, name, failure)
        except Exception as error:  # a bug in the test or the bench: still one failed case
            traceback.print_exc(file=sys.stderr)
            self.report(False, name, "%s: %s" % (type(error).__name__, error))
        else:
            self.report(True, name)

    def run_test_module(self, module):
        for attribute, function in vars(module).items():
            if not attribute.startswith("test_") or not callable(function):
                continue
            scope = getattr(function, "bench_scope", "runnable_builds")
            base = attribute[len("test_"):]
            if scope == "once":
                if self.selected(base):
                    self.run_function(function, None, base)
                continue
            for build in self.builds:
                if scope == "runnable_builds" and build.why_not_runnable():
                    continue
                name = "%s/%s" % (build.name, base)
                if self.selected(name):
                    self.run_function(function, build, name)

    def run_case_module(self, module):
        for build in self.builds:
            if build.why_not_runnable():
                continue
            prefix = build.name + "/"
            if not self.selected(prefix + module.__name__):
                continue

            def report(line, prefix=prefix):
                print(re.sub(r"^(PASS|FAIL) ", r"\1 " + prefix, line), flush=True)

            try:
                passed, failed = module.run_cases(self.started_bench(), build.directory, report=report)
            except Exception as error:  # the module itself broke: one failed case
                traceback.print_exc(file=sys.stderr)
                self.report(False, prefix + module.__name__, "%s: %s" % (type(error).__name__, error))
                continue
            self.passed += passed
            self.failed += failed

    def selected(self, name):
        return not self.selection or self.selection in name

    def run(self):
        started = time.monotonic()
        for build in self.builds:
            if not os.path.exists(build.scr) or not os.path.exists(build.launcher):
                self.report(False, "%s/build" % build.name, "%s has no screensaver.scr or launcher.exe" % build.directory)
        present = [b for b in self.builds if os.path.exists(b.scr) and os.path.exists(b.launcher)]
        self.builds = present
        for build in self.builds:
            reason = build.why_not_runnable()
            if reason == "wine32 is not installed":  # scripts/setup installs it where 32-bit code runs
                self.report(False, "%s/runs" % build.name, "the kernel runs 32-bit code but " + reason)
        try:
            for path in sorted(glob.glob(os.path.join(HERE, "test_*.py"))):
                self.run_test_module(importlib.import_module(os.path.basename(path)[:-3]))
            for path in sorted(glob.glob(os.path.join(HERE, "*_cases.py"))):
                self.run_case_module(importlib.import_module(os.path.basename(path)[:-3]))
        finally:
            if self.bench:
                self.bench.stop()
        elapsed = time.monotonic() - started
        if self.bench and self.bench.prefix_seconds is not None:
            print("wine: prefix ready in %.1f s, all cases in %.1f s" % (self.bench.prefix_seconds, elapsed))
        for build in self.builds:
            reason = build.why_not_runnable()
            if build.kind == "win32" and reason == "this kernel runs no 32-bit code":
                print("PE32 not run: %s (built and inspected only)" % reason)
        print("wine: %d passed, %d failed" % (self.passed, self.failed), flush=True)
        return 1 if self.failed else 0


def main(argv):
    options = {"-k": None, "--prefix": winebench.DEFAULT_PREFIX}
    while len(argv) >= 2 and argv[0] in options:
        options[argv[0]] = argv[1]
        argv = argv[2:]
    build_dirs = argv or [os.path.join(winebench.ROOT, "build", "win64"), os.path.join(winebench.ROOT, "build", "win32")]
    return Runner(build_dirs, options["-k"], options["--prefix"]).run()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
