#!/usr/bin/env python3
"""A network drive whose server stops answering, or answers late, in the NT
family on the build under test, and as Windows 98 on the 32-bit build (no
64-bit Windows of that family exists).  The win32 and win64 suites run
side by side, each on its own build; the default limit of half a minute is
waited for once, by the 32-bit build.

The drive is a stallfs mount (stallfs.c) mapped as a network drive: its
statfs answers at once, late, or not at all until told.  Under Wine 8 a
program's questions about such a drive reach statfs from the program's own
thread: GetDriveType once (the device's kind), each free-space query once;
GetVolumeInformation does not.  Wine's server also asks when a file of the
drive is opened while no handle holds it, and a stall there would freeze
the whole prefix, so hold_drive keeps the root open for the whole mode.

What the program must do: give up on a drive that has not answered within
the limit (/t<seconds>, 30 by default, /t0 none) with the message on
standard error and exit code 1, everything reported before it (earlier
drives, and this drive's lines so far) in its standard output even when
that is a file, and nothing of it left running; a drive that answers within
the limit is reported in full.  The limit is the drive's, not each query's:
queries that each answer in time but together take longer are stopped.
"""

import os
import re
import subprocess
import sys

from report_model import (Volume, WINE_DRIVE_TYPE, drive_name_line, fatal, full_report,
                          volume_lines, wine_answers)
from winelib import (baseline_text, drive_suite, holding, pe_bits, run_to_file, start_held,
                     start_seconds, volume_label_file, volume_serial_file, wine_processes)

LETTER = "N"
NAME = LETTER + ":"
LABEL_FILE = "FAR_AWAY\n"
SERIAL_FILE = "5eed0042\n"
# 64 MiB with 16 MiB free, in 4096-byte blocks: one size report in both
# families, whichever query each build takes.
FIGURES = dict(block_size=4096, blocks=16384, free=4096)

# How late the slow server answers each statfs.
DELAY_MS = 2000
# What a run may take beyond its limit: Wine starting and ending the program.
SLACK = 5
# statfs requests answered before the stall or delay sets in: GetDriveType's,
# so that the volume report is printed and the size query is the one left
# waiting.
AFTER_DRIVE_TYPE = 1

# A limit that each of the drive's three statfs requests (its type and two
# size queries, in either family) answers well within when DELAY_MS late,
# and that all three together overrun.
SHARED_LIMIT = 5

# Lines whose figures follow the free space of C:, which other programs of
# this machine change between two runs.
FREE_LINES = ("空ディスク容量:", "スレッド空ディスク容量:", "格納可能残りファイル数:")


def stopped(seconds):
    return fatal(f"ディスク({NAME})が{seconds}秒以内に応答しません。")


def steady(text):
    """The output with the free-space figures of C: blotted out, and only
    those: the test drive's stay fixed."""
    c_part, n_name, n_part = text.partition(drive_name_line(NAME))
    return "".join(re.sub(r"[0-9.]+", "#", line) if line.lstrip().startswith(FREE_LINES)
                   else line for line in c_part.splitlines(keepends=True)) + n_name + n_part


class Bed:
    """The drive, its expected reports, and the checks every run shares."""

    def __init__(self, wine, check, fs, mode):
        self.wine, self.check, self.fs, self.mode = wine, check, fs, mode
        self.volume = Volume(WINE_DRIVE_TYPE["network"], volume_label_file(LABEL_FILE),
                             volume_serial_file(SERIAL_FILE), "NTFS")
        # Worked out while the drive still answers.
        self.answers = {bits: wine_answers(fs.folder, mode == "98", bits) for bits in (32, 64)}

    def full(self, bits):
        return full_report(NAME, self.volume, self.answers[bits])

    def volume_part(self):
        """The drive's lines up to its size report."""
        return "\n".join(volume_lines(NAME, self.volume) + [""]) + "\n"

    def c_report(self, exe, bits):
        """C:'s report as the program gives it on its own just now."""
        out, err, code = self.wine.run(exe, ["c"])
        self.check.equal(f"{self.mode}: C: on its own [{bits}-bit]", (err, code), ("", 0))
        return out

    def run(self, what, exe, bits, args, expected, limit=None, at_least=0.0):
        """Runs exe with args while the drive does what the caller set, and
        checks the output (the free space of C: aside), the time taken,
        and that nothing of the run is left.  With a limit, the run must
        stop at it (no sooner, and not much later) and the statfs it left
        waiting must have been given up; without, it must have taken at
        least at_least seconds (the server's delay) and may take its time."""
        what = f"{self.mode}: {what} [{bits}-bit]"
        interrupts = self.fs.log_text().count(b"interrupted")
        base = self.wine.baseline(bits, fresh=True)
        out, err, code, seconds = run_to_file(self.wine, exe, args,
                                              timeout=(limit or 30) + SLACK + 10)
        stdout, stderr, exit_code = expected
        self.check.equal(f"{what}: output", (steady(out), err, code),
                         (steady(stdout), stderr, exit_code))
        if limit:
            self.check.equal(f"{what}: stopped at the limit ({seconds:.1f} s, {limit} s "
                             f"allowed, {SLACK} s more and the start: {baseline_text(base)})",
                             limit <= seconds < limit + SLACK + start_seconds(base), True)
            # The server logs the interrupt before the caller can end.
            self.check.equal(f"{what}: the waiting statfs was given up",
                             self.fs.log_text().count(b"interrupted") > interrupts, True)
        else:
            self.check.equal(f"{what}: waited for the answer ({seconds:.1f} s, "
                             f"{at_least} s needed)", seconds >= at_least, True)
        self.check.equal(f"{what}: no process of the run left",
                         wine_processes(self.wine, "volsurvey"), [])


def delay_cases(bed, builds):
    """A server that answers each statfs after DELAY_MS: in time for /t6,
    too late for /t1, and waited for without limit."""
    for bits, exe in sorted(builds.exes.items()):
        for args, expected, limit in [
            (["/t6", "n"], bed.full(bits), None),
            (["/t1", "n"], (bed.volume_part(), stopped(1), 1), 1),
            (["/t0", "n"], bed.full(bits), None),
        ]:
            bed.fs.delay(DELAY_MS, after=AFTER_DRIVE_TYPE)
            try:
                bed.run(f"server answering after {DELAY_MS} ms, {' '.join(args)}", exe, bits,
                        args, expected, limit=limit, at_least=DELAY_MS / 1000)
            finally:
                bed.fs.ok()


def shared_limit_cases(bed, builds):
    """A server that answers every statfs DELAY_MS late, the drive type's
    too: no query of the drive waits as long as the limit, but together they
    do, and the drive is stopped there; its volume report, all that came in
    time, is kept."""
    for bits, exe in sorted(builds.exes.items()):
        bed.fs.delay(DELAY_MS)
        try:
            bed.run(f"every statfs {DELAY_MS} ms late, the limit shared, /t{SHARED_LIMIT} n",
                    exe, bits, [f"/t{SHARED_LIMIT}", "n"],
                    (bed.volume_part(), stopped(SHARED_LIMIT), 1), limit=SHARED_LIMIT)
        finally:
            bed.fs.ok()


def stall_cases(bed, builds, first_query_too):
    """A server that does not answer at all, after C: has been reported in
    full: the size query left waiting, and (first_query_too) the drive's
    very first question."""
    table = [("size query unanswered", AFTER_DRIVE_TYPE, bed.volume_part())]
    if first_query_too:
        table.append(("drive type unanswered", 0, drive_name_line(NAME) + "\n"))
    for bits, exe in sorted(builds.exes.items()):
        for what, after, n_lines in table:
            c = bed.c_report(exe, bits)
            bed.fs.stall(after=after)
            try:
                bed.run(f"{what}, /t3 c n", exe, bits, ["/t3", "c", "n"],
                        (c + "\n\n" + n_lines, stopped(3), 1), limit=3)
            finally:
                bed.fs.ok()


def default_limit_case(bed, exe, bits):
    c = bed.c_report(exe, bits)
    bed.fs.stall(after=AFTER_DRIVE_TYPE)
    try:
        bed.run("size query unanswered, no /t: 30 s", exe, bits, ["c", "n"],
                (c + "\n\n" + bed.volume_part(), stopped(30), 1), limit=30)
    finally:
        bed.fs.ok()


def server_stops(bed):
    """With the drive stalled, Wine's server and every program of the
    prefix end when told to: nothing waits on the drive."""
    bed.fs.stall()
    try:
        try:
            for argv in (["wineserver", "-k"], ["wineserver", "-w"]):
                subprocess.run(argv, env=bed.wine.env, capture_output=True, timeout=20)
            stopped_in_time = True
        except subprocess.TimeoutExpired:
            stopped_in_time = False
        left = [p for p in wine_processes(bed.wine, "") if p[0] != os.getpid()]
        bed.check.equal(f"{bed.mode}: Wine's server stops with the drive stalled",
                        (stopped_in_time, left), (True, []))
        # Told to the suite's Wine, so that the next mode starts it anew.
        bed.wine.stop()
    finally:
        bed.fs.ok()


def main():
    opts, wine, check, modes = start_held()
    bits = pe_bits(opts.exe)
    with drive_suite(opts, wine, check, [LETTER], compare=False) as (builds, mounts):
        fs = mounts.stall_fs(LABEL_FILE, serial=SERIAL_FILE, **FIGURES)
        wine.map_drive(LETTER, fs.folder)
        for mode, version in modes:
            wine.configure({LETTER: "network"}, version=version)
            bed = Bed(wine, check, fs, mode)
            # Held while the drive still answers: opening it is what makes
            # Wine's server ask.
            with holding(wine, opts.holder, LETTER):
                try:
                    delay_cases(bed, builds)
                    shared_limit_cases(bed, builds)
                    stall_cases(bed, builds, first_query_too=mode == "NT")
                    if mode == "NT" and bits == 32:
                        # Once in all: it takes half a minute.
                        default_limit_case(bed, os.path.abspath(opts.exe), bits)
                    server_stops(bed)
                finally:
                    # Whatever failed, nothing may stay waiting on the drive.
                    fs.ok()
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
