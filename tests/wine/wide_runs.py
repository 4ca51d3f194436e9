"""Many runs of a Windows program under Wine, each with an exact UTF-16
command line and environment, through one process of run_wide.exe (see
run_wide.cpp) that starts them one after another.

Wine's heap checks are on for each run (HEAP_CHECKS in its environment).
Wine writes its notes on a run to the standard error of run_wide, before
run_wide's answer for it: the heap channel's lines and, when the program
faults, its "wine: Unhandled ..." line.  They are kept with the run.
"""

import os
import select
import struct
import subprocess
import time
from dataclasses import dataclass, field
from typing import List, Optional

from winelib import HEAP_CHECKS, heap_lines, loader, windows_path

# How long run_wide may take beyond a run's own limit to answer for it.
ANSWER_SLACK = 30


@dataclass
class Run:
    stdout: bytes
    stderr: bytes
    exit_code: Optional[int]  # None: ended at its time limit
    seconds: float
    heap_errors: List[str] = field(default_factory=list)
    wine_notes: List[str] = field(default_factory=list)  # Wine's own "wine: ..." lines
    trace: bytes = b""  # Wine's notes on the run whole, its heap trace among them
    limit: float = 0.0  # the seconds it was given


def request_text(text):
    units = text.encode("utf-16-le", "surrogatepass")
    return struct.pack("<I", len(units) // 2) + units


def environment_block(env):
    """The block CreateProcessW takes: (name, value) pairs, in order."""
    return "".join(f"{name}={value}\0" for name, value in env) + "\0"


class WideRunner:
    """run_wide.exe under Wine in `locale`, ready for runs; the folder holds
    the files that take each run's output."""

    def __init__(self, wine, runner_exe, locale, folder):
        self.folder = os.path.abspath(folder)
        os.makedirs(self.folder, exist_ok=True)
        self.out = os.path.join(self.folder, f"stdout-{locale}")
        self.err = os.path.join(self.folder, f"stderr-{locale}")
        # run_wide itself without the heap trace: each run has its own
        # WINEDEBUG, from the environment it is given.
        env = dict(wine.run_env(locale), WINEDEBUG="-all")
        self.process = subprocess.Popen([loader(runner_exe), runner_exe], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        self.pending = b""

    def run(self, exe, command_line, env, limit=20.0):
        """Runs exe (a Linux path) with the command line and the environment
        ((name, value) pairs; HEAP_CHECKS is added last) from its own folder."""
        for path in (self.out, self.err):
            if os.path.exists(path):
                os.remove(path)
        request = struct.pack("<I", int(limit * 1000))
        for text in (windows_path(exe), command_line,
                     environment_block(list(env) + [("WINEDEBUG", HEAP_CHECKS)]),
                     windows_path(self.out), windows_path(self.err),
                     windows_path(os.path.dirname(exe))):
            request += request_text(text)
        started = time.monotonic()
        self.process.stdin.write(request)
        self.process.stdin.flush()
        notes, answer = self._answer(limit + ANSWER_SLACK)
        seconds = time.monotonic() - started
        kind, _, value = answer.partition(" ")
        if kind == "error":
            raise RuntimeError(f"run_wide could not start {exe}: error {value}")
        run = Run(self._read(self.out), self._read(self.err),
                  int(value) if kind == "exit" else None, seconds)
        run.trace = notes
        run.limit = limit
        rest, run.heap_errors = heap_lines(notes)
        run.wine_notes = [line for line in rest.decode(errors="replace").splitlines()
                          if line.startswith("wine:")]
        return run

    def _answer(self, timeout):
        """Wine's notes on the run, and run_wide's answer for it."""
        deadline = time.monotonic() + timeout
        while True:
            end = self.pending.find(b"run_wide: ")
            if end >= 0 and self.pending.find(b"\n", end) >= 0:
                line_end = self.pending.find(b"\n", end)
                notes, answer = self.pending[:end], self.pending[end + 10:line_end]
                self.pending = self.pending[line_end + 1:]
                return notes, answer.decode().strip()
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stderr], [], [], left)[0]:
                raise RuntimeError(f"run_wide gave no answer within {timeout:.0f} s")
            piece = os.read(self.process.stderr.fileno(), 1 << 16)
            if not piece:
                raise RuntimeError(f"run_wide ended: {self.pending[-2000:]!r}")
            self.pending += piece

    @staticmethod
    def _read(path):
        if not os.path.exists(path):
            return b""
        with open(path, "rb") as f:
            return f.read()

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stderr.close()
