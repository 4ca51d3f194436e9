#!/usr/bin/env python3
"""The checks of the Windows builds catch the faults they are there for,
planted on purpose in a program of their own (planted_faults.cpp):

- Wine's heap checks, in every build: a block written past its end is
  reported, both where the Wine checks run a program (winelib, whose next
  check then fails) and where the fuzzer does (run_wide); a run without a
  fault is not.  Damage the program made is never taken for Wine's own
  (wine_heap), neither in its C runtime's heap nor in the one block of
  Wine's process heap it holds, its environment block.
- The checked build (--checked): an undefined-behaviour trap, a smashed
  stack and an overflow that a fortified call sees each end the run at once
  with an exception's code, never with 0 or 1.
"""

import os
import select
import subprocess
import sys
import time

import wine_heap
from wide_runs import WideRunner
from winelib import heap_lines, loader, start, take_heap_errors, windows_path

HEAP_DAMAGE = "invalid block tail"
# (fault, bytes past the end), each caught by the checked build alone.
TRAPS = [("undefined", 1), ("stack", 4), ("stack", 32), ("fortify", 1), ("fortify", 16)]


def caught(errors):
    return any(HEAP_DAMAGE in line for line in errors)


def winelib_cases(wine, check, planted):
    out, err, code = wine.run(planted, ["none"])
    check.equal("no fault: runs clean, no heap error",
                (out, err, code, take_heap_errors()), ("done\n", "", 0, []))
    for over in (1, 4, 16):
        wine.run(planted, ["heap-tail", str(over)])
        check.equal(f"a block written {over} byte(s) past its end: reported",
                    caught(take_heap_errors()), True)


def traced_run(wine, exe, args, linger=2.0, limit=120):
    """The whole standard error of a run, heap trace and all.  Damage in
    the process heap leaves Wine asserting again and again in the heap it
    found damaged, never ending: the run is ended once Wine has said so."""
    process = subprocess.Popen([loader(exe), exe] + args, env=wine.run_env(),
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    trace, deadline = b"", time.monotonic() + limit
    while time.monotonic() < deadline:
        if not select.select([process.stderr], [], [], 1)[0]:
            continue
        piece = os.read(process.stderr.fileno(), 1 << 16)
        if not piece:
            break
        trace += piece
        if b"Assertion failed" in trace:
            deadline = min(deadline, time.monotonic() + linger)
    process.kill()
    process.wait()
    process.stderr.close()
    return trace


def owner_cases(wine, check, planted):
    imports = wine_heap.imported_functions(planted)
    environment = wine_heap.environment_floor(wine.run_env())
    for fault, over in (("heap-tail", 4), ("environment-tail", 16)):
        trace = traced_run(wine, planted, [fault, str(over)])
        _, errors = heap_lines(trace)
        found = wine_heap.verdict(trace, errors, imports, environment)
        check.equal(f"{fault} {over}: reported, and told as the program's damage "
                    f"({found.reason})", (bool(errors), found.wines_own), (True, False))


def runner_cases(wine, check, runner_exe, planted, folder):
    runner = WideRunner(wine, runner_exe, "C.UTF-8", folder)
    try:
        run = runner.run(planted, f"{windows_path(planted)} none", [])
        check.equal("fuzzer's runs: no fault, no heap error",
                    (run.stdout, run.exit_code, run.heap_errors), (b"done\r\n", 0, []))
        run = runner.run(planted, f"{windows_path(planted)} heap-tail 4", [])
        check.equal("fuzzer's runs: a block written past its end is reported",
                    caught(run.heap_errors), True)
    finally:
        runner.close()


def trap_cases(wine, check, planted):
    for fault, over in TRAPS:
        out, err, code = wine.run(planted, [fault, str(over)], timeout=30)
        check.equal(f"checked build: {fault} fault, {over} byte(s) over: ends the run with "
                    f"an exception's code (it gave {code})", code not in (0, 1), True)


def main():
    def arguments(parser):
        parser.add_argument("--planted", required=True, help="planted_faults.exe of this build")
        parser.add_argument("--runner", required=True, help="run_wide.exe of this build")
        parser.add_argument("--checked", action="store_true", help="the build is checked")

    opts, wine, check = start(arguments)
    planted = os.path.abspath(opts.planted)
    winelib_cases(wine, check, planted)
    owner_cases(wine, check, planted)
    runner_cases(wine, check, os.path.abspath(opts.runner), planted,
                 os.path.join(os.path.dirname(wine.prefix), "checks-catch"))
    if opts.checked:
        trap_cases(wine, check, planted)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
