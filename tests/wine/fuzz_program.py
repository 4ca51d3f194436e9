#!/usr/bin/env python3
"""Fuzzes the real Windows build under Wine for a number of seconds.

Each run is a case of fuzz_cases.py (arguments, environment, configuration
file beside the program) in one family of Windows (NT; the 32-bit build
also as Windows 98) and one locale (English, Japanese), started through
run_wide.exe with its exact UTF-16 command line and environment.  Each run
must end with exit code 0, 1 or 2 within its time, with standard output that
splits into whole Shift-JIS characters, and without a heap error.

Wherever the answer does not depend on the system's drives, the run must
also give exactly what the scripted build (volsurvey-sim) gives for the same
input: standard output and standard error (their CR LF line ends read as
LF) and the exit code.  The scripted platform is given the program's path,
its folder holding the same file, the same environment and the code page;
the answer does not depend on the drives when the scripted build gives the
same with no drive at all and with every drive the run may ask about.

Every failure is told with its case key and its input; --replay KEY runs
that case again, and the case is saved in the findings folder.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time

from fuzz_cases import (ANSI_CODE_PAGE, command_line, draw_case, drive_root, program_bytes,
                        whole_shift_jis)
from wide_runs import WideRunner
from winelib import (HANG_TIMES, LOCALES, Wine, empty_programs, hang_guard, pe_bits,
                     unless_wines_own, windows_path)

SHORT_LOCALE = {"C.UTF-8": "en", "ja_JP.UTF-8": "ja"}
# Run a family this long before the other takes its turn: switching costs a
# restart of Wine.
TURN_SECONDS = 60
# Seconds a run may take beyond HANG_TIMES the baseline (an empty program's
# run just before).
RUN_LIMIT = 20.0
# Failures of one kind told in full; the rest are counted.
TOLD_PER_KIND = 3


def case_key(family, locale, seed, index):
    return f"{family}-{SHORT_LOCALE[locale]}-{seed}-{index}"


def parse_key(key):
    family, short, _ = key.split("-", 2)
    locale = {v: k for k, v in SHORT_LOCALE.items()}[short]
    return family, locale


class Bed:
    """The program's folder, the scripted build and the runs of one build."""

    def __init__(self, opts, wine):
        self.wine = wine
        self.bits = pe_bits(opts.exe)
        empty_programs(opts.exe)
        self.sim = os.path.abspath(opts.sim)
        self.folder = os.path.join(os.path.dirname(wine.prefix), "fuzz")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.exe = os.path.join(self.folder, "volsurvey.exe")
        shutil.copy(opts.exe, self.exe)
        self.config = os.path.join(self.folder, "volsurvey.cfg")
        self.runner_exe = os.path.abspath(opts.runner)
        self.runners = {}

    def families(self):
        # No 64-bit Windows of the 95 family exists.
        return ["nt", "98"] if self.bits == 32 else ["nt"]

    def enter(self, family):
        """Wine as the family, a runner for each locale."""
        self.leave()
        self.wine.configure(version="win98" if family == "98" else None)
        for locale in LOCALES:
            self.runners[locale] = WideRunner(self.wine, self.runner_exe, locale,
                                              os.path.join(self.folder, "runs"))

    def leave(self):
        for runner in self.runners.values():
            runner.close()
        self.runners = {}

    def place_config(self, case):
        if os.path.isdir(self.config):
            os.rmdir(self.config)
        elif os.path.exists(self.config):
            os.remove(self.config)
        if case.config_is_folder:
            os.mkdir(self.config)
        elif case.config is not None:
            with open(self.config, "wb") as f:
                f.write(case.config)

    def run_real(self, case):
        args = [windows_path(self.exe)] + case.args
        line = command_line(args[0], args[1:])
        limit = hang_guard(RUN_LIMIT, self.wine.baseline(self.bits))

        def once():
            run = self.runners[case.locale].run(self.exe, line, case.env, limit)
            return run, run.trace
        return unless_wines_own(once, self.exe, dict(case.env))

    def scenario(self, case, roots):
        lines = ["os nt 6.1" if case.family == "nt" else "os 9x 4.10",
                 f"ansi {ANSI_CODE_PAGE[case.locale] if case.family == '98' else 932}",
                 f'module "{windows_path(self.exe)}"']
        for root in roots:
            escaped = "".join(f"\\x{{{b:02X}}}" for b in root)
            lines.append(f"drive {escaped} type=3 label=FUZZ serial=1234ABCD "
                         "free=8,512,1000,2000 freeex=4096000,8192000,4096000 ioctl=8,512")
        return "\n".join(lines) + "\n"

    def run_sim(self, case, args, env, roots):
        """The scripted build's (stdout, stderr, exit code) for the case, with
        a drive for each of roots and none besides."""
        path = os.path.join(self.folder, "drives.scn" if roots else "no-drives.scn")
        with open(path, "w") as f:
            f.write(self.scenario(case, roots))
        environment = {b"VOLSURVEY_SIM": path.encode()}
        environment.update(env)
        result = subprocess.run([self.sim] + args, env=environment, capture_output=True,
                                stdin=subprocess.DEVNULL, timeout=60)
        return result.stdout, result.stderr, result.returncode

    def expected(self, case):
        """What the scripted build gives, where it is known and does not
        depend on the drives; else None."""
        args = [program_bytes(a, case.family, case.locale) for a in case.args]
        env = [(program_bytes(n, case.family, case.locale),
                program_bytes(v, case.family, case.locale)) for n, v in case.env]
        if None in args or any(None in pair for pair in env):
            return None
        environment = {}
        for name, value in env:
            environment.setdefault(name, value)
        roots = [b"C:\\"] + [r for r in map(drive_root, args) if r]
        without = self.run_sim(case, args, environment, [])
        with_drives = self.run_sim(case, args, environment, roots)
        if without != with_drives:
            return None
        if without[2] not in (0, 1, 2):
            raise RuntimeError(f"the scripted build ended with {without[2]}: {without[1]!r}")
        return without


def lines_apart(actual, expected):
    """The first line where two outputs part, for a report."""
    a, e = actual.split(b"\n"), expected.split(b"\n")
    for i, (x, y) in enumerate(zip(a, e)):
        if x != y:
            return f"line {i + 1}: {x[:300]!r}, expected {y[:300]!r}"
    return f"{len(a)} lines, expected {len(e)}"


def failures_of(run, expected):
    """What is wrong with a run: (kind, detail) pairs."""
    found = []
    if run.exit_code is None:
        found.append(("no end within its time", f"{run.limit:.0f} s: {RUN_LIMIT:.0f} s and "
                                                f"{HANG_TIMES} times an empty program's start"))
    elif run.exit_code not in (0, 1, 2):
        found.append((f"exit code {run.exit_code:#x}", "; ".join(run.wine_notes)))
    if run.heap_errors:
        found.append(("heap error", "\n    ".join(run.heap_errors[:5])))
    split = whole_shift_jis(run.stdout)
    if split is not None:
        found.append(("standard output splits a Shift-JIS character",
                      f"at byte {split}: {run.stdout[max(0, split - 40):split + 2]!r}"))
    if b"\n" in run.stdout.replace(b"\r\n", b""):
        found.append(("a bare LF in standard output", ""))
    if expected is not None and run.exit_code is not None:
        out, err = run.stdout.replace(b"\r\n", b"\n"), run.stderr.replace(b"\r\n", b"\n")
        for what, actual, wanted in (("standard output", out, expected[0]),
                                     ("standard error", err, expected[1])):
            if actual != wanted:
                found.append((f"{what} differs from the scripted build's",
                              lines_apart(actual, wanted)))
        if run.exit_code != expected[2]:
            found.append(("exit code differs from the scripted build's",
                          f"{run.exit_code}, expected {expected[2]}"))
    return found


class Findings:
    def __init__(self, folder, bits, reproduce):
        self.folder = folder
        self.bits = bits
        self.reproduce = reproduce
        self.kinds = {}
        self.runs = {}  # family: runs
        self.compared = 0

    def add(self, key, case, problems):
        for kind, detail in problems:
            count = self.kinds.get(kind, 0) + 1
            self.kinds[kind] = count
            if count <= TOLD_PER_KIND:
                print(f"FAIL fuzz [{self.bits}-bit] {kind}: case {key}\n    {detail}\n"
                      f"{case.shown()}\n  again: {self.reproduce} --replay {key}")
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.folder, f"{key}.json"), "w") as f:
            json.dump({"key": key, "problems": problems, "family": case.family,
                       "locale": case.locale,
                       "args": [a.encode("utf-16-le", "surrogatepass").hex() for a in case.args],
                       "env": [[n.encode("utf-16-le", "surrogatepass").hex(),
                                v.encode("utf-16-le", "surrogatepass").hex()]
                               for n, v in case.env],
                       "config": None if case.config is None else case.config.hex(),
                       "config_is_folder": case.config_is_folder}, f, indent=1)

    def summary(self):
        families = ", ".join(f"{n} as {'NT' if f == 'nt' else 'Windows 98'}"
                             for f, n in self.runs.items())
        print(f"fuzz [{self.bits}-bit]: {sum(self.runs.values())} runs of the program "
              f"({families}), {self.compared} compared with the scripted build, "
              f"{sum(self.kinds.values())} failure(s)")
        for kind, count in sorted(self.kinds.items()):
            print(f"  {count} x {kind}")
        return 1 if self.kinds else 0


def one_case(bed, findings, key, case):
    bed.place_config(case)
    expected = bed.expected(case)
    try:
        run = bed.run_real(case)
    except RuntimeError:
        # Wine, busy, now and then fails to start a process (CreateProcessW:
        # ERROR_INTERNAL_ERROR) where the same case starts the next time:
        # once more with runners started afresh, and then it is the case's
        # failure.
        bed.enter(case.family)
        try:
            run = bed.run_real(case)
        except RuntimeError as e:
            findings.add(key, case, [("the run could not be made", str(e))])
            bed.enter(case.family)
            return
    findings.runs[case.family] = findings.runs.get(case.family, 0) + 1
    findings.compared += expected is not None
    problems = failures_of(run, expected)
    if problems:
        findings.add(key, case, problems)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--mounts", required=True)  # taken like every Wine check's
    parser.add_argument("--runner", required=True, help="run_wide.exe of this build")
    parser.add_argument("--sim", required=True, help="volsurvey-sim of the host build")
    parser.add_argument("--seconds", type=float, default=25)
    parser.add_argument("--seed", help="the seed of the case keys (default: from the clock)")
    parser.add_argument("--replay", help="runs the case of this key alone")
    opts = parser.parse_args()
    if not os.path.exists(opts.sim):
        print(f"SKIP: the scripted build {opts.sim} is not built (cmake --build --preset host)")
        return 77

    reproduce = " ".join([sys.argv[0]] + [f"--{k} {getattr(opts, k)}" for k in
                                           ("exe", "prefix", "mounts", "runner", "sim")])
    wine = Wine(opts.prefix)
    bed = Bed(opts, wine)
    findings = Findings(os.path.join(os.path.dirname(wine.prefix), "fuzz-findings"), bed.bits,
                        reproduce)
    try:
        if opts.replay:
            family, locale = parse_key(opts.replay)
            bed.enter(family)
            one_case(bed, findings, opts.replay, draw_case(opts.replay, family, locale))
            return findings.summary()
        seed = opts.seed or str(int(time.time()))
        print(f"fuzz [{bed.bits}-bit]: seed {seed}, {opts.seconds:.0f} s")
        deadline = time.monotonic() + opts.seconds
        families = bed.families()
        turn = min(TURN_SECONDS, opts.seconds / len(families))
        index = 0
        while time.monotonic() < deadline:
            for family in families:
                bed.enter(family)
                turn_end = min(deadline, time.monotonic() + turn)
                while time.monotonic() < turn_end:
                    locale = LOCALES[index % len(LOCALES)]
                    key = case_key(family, locale, seed, index)
                    one_case(bed, findings, key, draw_case(key, family, locale))
                    index += 1
                if time.monotonic() >= deadline:
                    break
        return findings.summary()
    finally:
        bed.leave()
        wine.configure(version=None)


if __name__ == "__main__":
    sys.exit(main())
