#!/usr/bin/env python3
"""volsurvey /r, the record of runs, and the days until full it tells from
it: in the NT family on the build under test, and as Windows 98 on the
32-bit build (no 64-bit Windows of that family exists).

Six drives are made on tmpfs mounts, each filled to a set free space and
given a serial, so that their figures stay put between runs; C: and Z:,
whose free space other programs change, are not asked.  A record is seeded
with a year of hourly readings of ten drives (the six, and four names no
drive of the prefix has, one quoted as CSV quotes a comma and a quote, one
with D:'s serial): several megabytes, whose last week the program can only
find by reading back from the end in more than one block.  Before the last
week every reading is at random; in it each made drive follows a line of
its own with noise: filling within the warning level of /e7,2 (D:), within
the critical one (E:), emptying (F:), growing a quarter of a byte a day,
which rounds to no growth (G:), 0.7 of a byte a day, which rounds to one
and so to millions of days (J:); H: has two readings in the week, and a week
of readings of another disk under its name.  One reading of D: lies in the
future, as after a clock set back.

What the program must do:
- /j /rFILE appends one line for each drive after the seeded ones (none
  cut, none lost): its time in UTC, between the run's start and end, the
  drive's name and serial, the figures of the document; each drive's
  growth a day and days until full are those of the least-squares line
  this suite fits through the record's readings of the drive's series
  (same name and serial) in the 7 days up to the run's own time, that
  reading included: the growth rounded to the nearest byte, halves away
  from zero, the days the free bytes over it, rounded down, where it is
  above zero; both null with fewer than 3 readings or less than a day
  between the first and the last.  It reads no more of the record than
  twice its last 8 days and a block (where strace is there to count).
- /l and /m /e7,2 tell the same forecasts as /j: the list's last column,
  and the monitoring answer's state, "full in N days" and growth figure of
  each drive, exit code 2 for the drive within 2 days.
- Lines that cannot be read (a note written by hand, a line cut off at
  the end of the file) are skipped, each told by its line number, and a
  quoted line is read as any other; the run's lines start on a line of
  their own after the cut one.
- A drive whose serial changed (in the NT family, where it is changed
  once: it takes a restart of Wine) starts a new series: too short again,
  although its old series had a week.
- A record named in characters no code page of the system holds (NT
  family) is made under exactly that name, in either locale.
- The record in a folder that does not exist: the message naming it,
  exit code 1, and the same report as without /r (with /m, exit code 3
  and its first line saying so); the folder is not made.
- A run waits while another process holds the record's lock, and appends
  once it is let go.  Pairs of runs started at once on a new record (50 in
  the NT family, fewer as Windows 98 and on the checked builds: PAIRS)
  leave it with its heading, one mark of UTF-8 at its start, and exactly
  each run's lines, whole, every run's lines together.
"""

import calendar
import datetime
import fcntl
import functools
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from fractions import Fraction
from typing import Optional, Tuple

from test_json import strict_json
from test_list import line_for, scaled, width
from winelib import (LOCALES, MadeDrive, drive_suite, fill, hang_guard, loader, make_drive,
                     pe_bits, program_errors, start, test_modes, volume_serial_file, windows_path)

DAY = 86400
WEEK = 7 * DAY
HOUR = 3600
# The seeded readings stand half an hour off the hour, so that none of
# them lies at the week's edge for a run within half an hour of the seeding.
OFF_THE_HOUR = 1800
YEAR_HOURS = 365 * 24
WEEK_HOURS = 7 * 24
BOM = b"\xef\xbb\xbf"
HEADING = b"time,drive,volume_serial,total_bytes,free_bytes,caller_free_bytes\r\n"
BLOCK = 4096
# The first block the program reads back from the record's end.
FIRST_READ = 64 * 1024


@dataclass
class Plan:
    """A made drive and its last week in the seeded record: free blocks
    once filled, how its used bytes grew a day and the noise on them (either
    side); the hours ago of its readings in the week, every hour when None."""
    drive: MadeDrive
    free_blocks: int
    growth: float
    noise: int = 0
    week_hours: Optional[Tuple[int, ...]] = None


PLANS = [
    # 16 MiB free, 5 MiB a day: full in 3 days, within 7.
    Plan(MadeDrive("D", "hd", "tmpfs", "FILLING\n", "0d0d0001\n"), 4096, 5 << 20, 256 << 10),
    # 4 MiB free, 3 MiB a day: full in a day, within 2.
    Plan(MadeDrive("E", "hd", "tmpfs", "URGENT\n", "0e0e0002\n"), 1024, 3 << 20, 128 << 10),
    Plan(MadeDrive("F", "hd", "tmpfs", "EMPTYING\n", "0f0f0003\n"), 10240, -(2 << 20),
         256 << 10),
    Plan(MadeDrive("G", "hd", "tmpfs", "STEADY\n", "06060004\n"), 8192, 0.25),
    Plan(MadeDrive("H", "hd", "tmpfs", "NEWDISK\n", "08080005\n"), 8192, 1 << 20,
         week_hours=(23, 10)),
    # Rounded to the nearest, 0.7 bytes a day is a byte: filling.
    Plan(MadeDrive("J", "hd", "tmpfs", "CREEPING\n", "0a0a0006\n"), 4096, 0.7),
]
MADE = [plan.drive for plan in PLANS]
LETTERS = [drive.letter for drive in MADE]
NAMES = [letter + ":" for letter in LETTERS]
# The serial under which H: had a week of readings: another disk before.
OLD_DISK = 0xBEEF0005
# The drive whose serial changes, and what it changes to: once, in the NT
# family (it takes a restart of Wine); H: stands for it in both.
CHANGED = "G"
NEW_SERIAL = "1234abcd\n"
# Names no drive of the prefix has, with their totals: the other four of a
# machine's ten.
ABSENT = [("K:", 2000398934016), ("\\\\srv\\logs", 4398046511104),
          ("C:\\Data", 512110190592), ('ログ,"2"', 1000204886016)]
# A name among them that shares D:'s serial: not D:'s series.
SHARES_D_SERIAL = "K:"

# Pairs of runs started at once on one record, in each mode: fewer as
# Windows 98, whose record is read and written by the same calls but for
# its opening, and on the checked builds, whose own code is what their
# other checks are for.
PAIRS = {"NT": 50, "98": 20}
CHECKED_PAIRS = {"NT": 20, "98": 10}
# The drives the pairs ask: enough for each run to write several lines.
PAIR_LETTERS = LETTERS[:3]
LEVELS = "/e7,2"
# Shown in the list where a drive does not fill, or its record is short.
NOT_FILLING, TOO_SHORT = "増加なし", "記録不足"
DAYS_MOST = 99999
DAYS_WIDTH = 8

TIME_TEXT = re.compile(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)Z")
FIELD = r'"(?:[^"]|"")*"|[^,"\r\n]*'
LINE = re.compile(rf"({FIELD}),({FIELD}),({FIELD}),({FIELD}),({FIELD}),({FIELD})\r\n")
COUNT = re.compile(r"0|[1-9][0-9]*")
SERIAL = re.compile(r"[0-9A-F]{8}")


@functools.lru_cache(maxsize=4096)
def utc_text(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(seconds))


def quoted(field):
    """A field as RFC 4180 writes it: quoted where it holds a comma, a
    quote or a line end."""
    if any(ch in field for ch in ',"\r\n'):
        return '"' + field.replace('"', '""') + '"'
    return field


def record_line(seconds, name, serial, total, free):
    return (f"{utc_text(seconds)},{quoted(name)},{serial:08X},{total},{free},{free}\r\n"
            ).encode("utf-8")


@dataclass
class Reading:
    time: int
    drive: str
    serial: int
    total: int
    free: int
    caller_free: int

    @property
    def used(self):
        return self.total - self.free if self.free < self.total else 0


@functools.lru_cache(maxsize=4096)
def utc_seconds(text):
    """The seconds of a time as the record writes it, or None."""
    match = TIME_TEXT.fullmatch(text)
    if not match:
        return None
    try:
        return calendar.timegm(datetime.datetime(*map(int, match.groups())).timetuple())
    except ValueError:
        return None


def parse_line(line):
    """A line of the record, its CR LF included, as the format has it: a
    Reading, or None for anything else."""
    try:
        text = line.decode("utf-8")
    except UnicodeDecodeError:
        return None
    match = LINE.fullmatch(text)
    if not match:
        return None
    fields = [f[1:-1].replace('""', '"') if f.startswith('"') else f for f in match.groups()]
    when, drive, serial, *counts = fields
    seconds = utc_seconds(when)
    if seconds is None or not SERIAL.fullmatch(serial) or not drive or "\0" in drive or \
            not all(COUNT.fullmatch(c) and int(c) < 1 << 64 for c in counts):
        return None
    return Reading(seconds, drive, int(serial, 16), *map(int, counts))


@dataclass
class Record:
    """A record read the way the format defines it: its readings and where
    each line of them starts, and the numbers of the lines that are none
    (the heading aside)."""
    readings: list
    starts: list
    unreadable: list

    @staticmethod
    def read(data, first_line=1):
        """data: whole lines, the file's start (mark and heading) where
        first_line is 1."""
        readings, starts, unreadable = [], [], []
        at = 0
        for number, line in enumerate(data.splitlines(keepends=True), first_line):
            reading = parse_line(line)
            if reading:
                readings.append(reading)
                starts.append(at)
            elif line != b"\r\n" and not (number == 1 and line == BOM + HEADING):
                unreadable.append(number)
            at += len(line)
        return Record(readings, starts, unreadable)


def round_half_away(value):
    whole = int(value)  # towards zero
    rest = value - whole
    if rest >= Fraction(1, 2):
        whole += 1
    elif rest <= Fraction(-1, 2):
        whole -= 1
    return whole


def forecast(readings, own):
    """(growth a day, days until full) of the drive of the run's own
    reading `own`, from the readings of its series (its name and serial)
    in the 7 days up to own's time, own among them: None for what is not
    told."""
    points = [(r.time - own.time, r.used) for r in readings
              if r.drive == own.drive and r.serial == own.serial and
              -WEEK <= r.time - own.time <= 0]
    if len(points) < 3 or -min(t for t, _ in points) < DAY:
        return None, None
    n = len(points)
    mean_t = Fraction(sum(t for t, _ in points), n)
    mean_u = Fraction(sum(u for _, u in points), n)
    sxx = sum((t - mean_t) ** 2 for t, _ in points)
    sxy = sum((t - mean_t) * (u - mean_u) for t, u in points)
    growth = round_half_away(sxy / sxx * DAY)
    return growth, (own.free // growth if growth > 0 else None)


def days_text(growth, days):
    """The list's column for a forecast."""
    if growth is None:
        return TOO_SHORT
    if days is None:
        return NOT_FILLING
    return f">{DAYS_MOST}日" if days > DAYS_MOST else f"{days}日"


def list_line(drive, growth, days):
    """A drive's line of /l with a record, from its /j object: the bar's
    place holds the days until full."""
    total, free = drive["total_bytes"], drive["free_bytes"]
    used = total - free if free < total else 0
    percent = f"{-(-used * 100 // total)}%"
    days = days_text(growth, days)
    figures = (f"{scaled(total):>8} {scaled(free):>8} {percent:>6} " +
               " " * (DAYS_WIDTH - width(days)) + days)
    return line_for(drive, word=figures)


def seeded_record(plans, totals, serials, now, seed):
    """A year of hourly readings of the made drives and the absent ones,
    ending half an hour before now, and one reading of D: a day after now:
    the record's bytes."""
    rng = random.Random(seed)
    used_now = {p.drive.letter: totals[p.drive.letter] - p.free_blocks * BLOCK for p in plans}
    out = [BOM + HEADING]
    for hours in range(YEAR_HOURS, 0, -1):
        at = now - hours * HOUR + OFF_THE_HOUR
        age = Fraction(hours * HOUR - OFF_THE_HOUR, DAY)
        for p in plans:
            letter, total = p.drive.letter, totals[p.drive.letter]
            if letter == "H" and hours <= WEEK_HOURS:
                used = round(used_now["H"] - (1 << 20) * age) + rng.randint(-4096, 4096)
                out.append(record_line(at, "H:", OLD_DISK, total,
                                       total - min(max(used, 0), total)))
            if hours > WEEK_HOURS:
                used = rng.randrange(total + 1)
            elif p.week_hours is None or hours in p.week_hours:
                used = round(used_now[letter] - p.growth * age) + rng.randint(-p.noise, p.noise)
            else:
                continue
            used = min(max(used, 0), total)
            out.append(record_line(at, letter + ":", serials[letter], total, total - used))
        for name, total in ABSENT:
            serial = serials["D"] if name == SHARES_D_SERIAL else 0x5EED0000 + len(name)
            out.append(record_line(at, name, serial, total, total - rng.randrange(total + 1)))
    total = totals["D"]
    out.append(record_line(now + DAY, "D:", serials["D"], total, total // 2))
    return b"".join(out)


def planned(expected, own):
    """Whether each drive's forecast is of the kind its plan is for."""
    def days_within(name, low, high):
        days = expected[name][1]
        return days is not None and low <= days <= high
    return {"D:": days_within("D:", 3, 7), "E:": days_within("E:", 0, 2),
            "F:": (expected["F:"][0] or 0) < 0 and expected["F:"][1] is None,
            "G:": expected["G:"] == (0, None), "H:": expected["H:"] == (None, None),
            "J:": expected["J:"] == (1, own["J:"].free)}


def tracer():
    """strace, where it is installed and may trace (ptrace allowed)."""
    strace = shutil.which("strace")
    if strace and subprocess.run([strace, "-o", os.devnull, "true"],
                                 capture_output=True).returncode == 0:
        return strace
    return None


def read_bytes(trace, path):
    """Bytes read from path in an strace -y log of read and pread64 calls."""
    pattern = re.compile(r"\b(?:read|pread64)\(\d+<" + re.escape(path) + r">.*= (\d+)$")
    return sum(int(m.group(1)) for m in map(pattern.search, trace.splitlines()) if m)


class Bed:
    """The made drives in one mode, the build under test, and a folder for
    records."""

    def __init__(self, wine, check, exe, mode, folders, work):
        self.wine, self.check, self.exe, self.mode = wine, check, exe, mode
        self.bits = pe_bits(exe)
        self.folders = folders
        self.work = work
        self.serials = {}
        self.totals = {}
        self.drives = {}  # the /j objects of the last forecast run

    def what(self, text):
        return f"{self.mode}: {text} [{self.bits}-bit]"

    def path(self, name):
        return os.path.join(self.work, f"{self.mode}-{name}")

    def read_serials(self):
        for letter, folder in self.folders.items():
            with open(os.path.join(folder, ".windows-serial")) as f:
                self.serials[letter] = volume_serial_file(f.read())
            s = os.statvfs(folder)
            self.totals[letter] = s.f_blocks * s.f_frsize

    def run(self, args, record, wrapper=()):
        """A run with its record: (out, err, code, the run's start and end
        in seconds of UTC)."""
        started = time.time()
        out, err, code = self.wine.run(self.exe, args + [f"/r{windows_path(record)}"] + LETTERS,
                                       wrapper=wrapper, monitor="/m" in args)
        return out, err, code, started, time.time()

    def own_lines(self, what, record, before, started, ended, drives=None):
        """The run's lines, after the record's first `before` bytes: one for
        each drive named, in order, at one time within the run, each the
        drive's serial and (with drives, its /j objects) its figures.  The
        run's own readings (name: Reading), or None."""
        with open(record, "rb") as f:
            f.seek(before)
            added = f.read()
        own = Record.read(added, 2)
        self.check.equal(self.what(f"{what}: the run's lines, whole"),
                         (own.unreadable, added.endswith(b"\r\n")), ([], True))
        readings = own.readings
        self.check.equal(self.what(f"{what}: the run's lines, a drive each, in order"),
                         [(r.drive, r.serial) for r in readings],
                         [(name, self.serials[name[0]]) for name in NAMES])
        if len(readings) != len(NAMES):
            return None
        times = {r.time for r in readings}
        self.check.equal(self.what(f"{what}: one time in UTC, within the run "
                                   f"({utc_text(started)} to {utc_text(ended)})"),
                         [int(started) <= t <= ended for t in times], [True])
        if drives:
            self.check.equal(self.what(f"{what}: the figures of the document"),
                             [(r.total, r.free, r.caller_free) for r in readings],
                             [(d["total_bytes"], d["free_bytes"],
                               d.get("caller_free_bytes", d["free_bytes"])) for d in drives])
        return {r.drive: r for r in readings}

    def document(self, what, out):
        try:
            drives = strict_json(out)["drives"]
        except (ValueError, KeyError, TypeError) as e:
            self.check.equal(self.what(f"{what}: a document"), str(e), "")
            return None
        self.check.equal(self.what(f"{what}: the drives named"),
                         [d.get("drive") for d in drives], NAMES)
        return drives if [d.get("drive") for d in drives] == NAMES else None

    def forecasts(self, what, record, seeded, before, args=("/j",), expected_err="",
                  wrapper=()):
        """A run of args with the record, seeded with `seeded` (a Record of
        its first `before` bytes): its output, its own readings and the
        forecasts worked out from the record, or None where its lines are
        not whole."""
        out, err, code, started, ended = self.run(list(args), record, wrapper)
        self.check.equal(self.what(f"{what}: standard error, exit code"), (err, code),
                         (expected_err, 2 if "/m" in args else 0))
        drives = self.document(what, out) if "/j" in args else None
        own = self.own_lines(what, record, before, started, ended, drives)
        if not own:
            return out, None, None
        ran = own[NAMES[0]].time
        week = [r for r in seeded.readings if ran - WEEK <= r.time <= ran] + list(own.values())
        expected = {name: forecast(week, own[name]) for name in NAMES}
        if drives:
            self.check.equal(
                self.what(f"{what}: growth a day and days until full of each drive"),
                {d["drive"]: (d.get("growth_bytes_per_day"), d.get("days_until_full"))
                 for d in drives}, expected)
            self.drives = {d["drive"]: d for d in drives}
        return out, own, expected

    def seed(self):
        """The seeded record, as a Record and its bytes."""
        data = seeded_record(PLANS, self.totals, self.serials, int(time.time()), self.mode)
        seeded = Record.read(data)
        # The suite's own parser must take every seeded line: the program
        # has nothing to tell about them.
        if seeded.unreadable:
            raise AssertionError(f"seeded lines not read back: {seeded.unreadable[:5]}")
        return data, seeded

    def forecast_run(self, data, seeded):
        """/j with the year-long record: the forecasts, and how much of the
        record the run read.  Returns the record's path and the run's time."""
        record = self.path("forecast.csv")
        with open(record, "wb") as f:
            f.write(data)
        strace = tracer()
        trace = self.path("strace.log")
        # Each read of the record counted where strace is there; a machine
        # without it still checks the rest.
        wrapper = [strace, "-f", "-y", "-qq", "-e", "trace=read,pread64", "-e", "signal=none",
                   "-o", trace] if strace else []
        _, own, expected = self.forecasts("/j, a year of records", record, seeded, len(data),
                                          wrapper=wrapper)
        if expected:
            print(f"     {self.what('forecasts')}: " +
                  ", ".join(f"{name} {growth} B/day, {days} days"
                            for name, (growth, days) in expected.items()))
            self.check.equal(self.what("/j: the cases the record was seeded for (D: within 7 "
                                       "days, E: within 2, F: emptying, G: no growth, H: too "
                                       "short, J: a byte a day)"),
                             [planned(expected, own)[name] for name in NAMES],
                             [True] * len(NAMES))
        ran = own["D:"].time if own else int(time.time())
        if not strace:
            self.check.skip(self.what("/j: the bytes of the record read"),
                            "no strace here that can trace")
            return record, ran
        with open(trace, errors="replace") as f:
            read = read_bytes(f.read(), os.path.realpath(record))
        if not read:
            # The forecasts show that the record was read: the trace missed it.
            self.check.skip(self.what("/j: the bytes of the record read"),
                            "strace saw no read of the record")
            return record, ran
        # The seeded lines are in the order of their times, but for the
        # last one, a day ahead.
        last_days = len(data) - next(at for r, at in zip(seeded.readings, seeded.starts)
                                     if r.time >= ran - 8 * DAY)
        most = 2 * last_days + FIRST_READ
        self.check.equal(self.what(f"/j: the record read back from its end only ({read} of "
                                   f"{len(data)} bytes; at most twice the last 8 days and a "
                                   f"block, {most})"), read <= most, True)
        return record, ran

    def list_and_monitor(self, data, seeded):
        """/l and /m /e7,2, each with its own copy of the seeded record:
        their forecasts as /j tells them."""
        for name, args in (("list", ["/l"]), ("monitor", ["/m", LEVELS])):
            record = self.path(f"{name}.csv")
            with open(record, "wb") as f:
                f.write(data)
            what = " ".join(args)
            out, own, expected = self.forecasts(what, record, seeded, len(data), args)
            print(f"     {self.what(what + ' /rFILE ' + ' '.join(LETTERS))}, exit code "
                  f"{2 if name == 'monitor' else 0}:")
            for line in out.splitlines():
                print(f"     | {line}")
            if not expected or not self.drives:
                continue
            if name == "list":
                self.check.equal(self.what(f"{what}: the lines, days until full in the last "
                                           "column"), out.splitlines(),
                                 [LIST_HEADING] + [list_line(self.drives[n], *expected[n])
                                                   for n in NAMES])
            else:
                self.monitor(what, out, expected)

    def monitor(self, what, out, expected):
        lines = out.splitlines() or [""]
        growth = dict(re.findall(r"'([^']+) growth'=(-?\d+)B", lines[0] if lines else ""))
        self.check.equal(self.what(f"{what}: each drive's growth in the performance data"),
                         {name: int(value) for name, value in growth.items()},
                         {name: g for name, (g, _) in expected.items() if g is not None})
        states = {}
        for name, (_, days) in expected.items():
            state = "CRITICAL" if days is not None and days <= 2 else \
                "WARNING" if days is not None and days <= 7 else "OK"
            full = f", full in {days} day{'s' if days != 1 else ''}" if state != "OK" else ""
            states[name] = (state, full)
        self.check.equal(self.what(f"{what}: each drive's state and days until full"),
                         {m.group(1): (m.group(2), m.group(3) or "")
                          for m in (re.fullmatch(r"(\S+) (\w+), .*?(, full in \d+ days?)?",
                                                 line) for line in lines[1:]) if m},
                         states)
        # The first line: the worst state, then the drives past a level,
        # worst first, and how many are OK.
        state, _, told = lines[0].partition(" |")[0].partition(" - ")
        # Items are parted by commas, as a drive's own figures are: each is
        # read by its shape.
        items = re.findall(r"(\S+) \d+% used, \S+ free(, full in \d+ days?)?|(\d+ drives? OK)",
                           told)
        drives = [(name, full) if name else count for name, full, count in items]
        ok = sum(s == "OK" for s, _ in states.values())
        self.check.equal(self.what(f"{what}: the first line"), (state, drives),
                         ("VOLSURVEY CRITICAL",
                          [(n, full) for level in ("CRITICAL", "WARNING")
                           for n, (s, full) in states.items() if s == level] +
                          [f"{ok} drives OK"]))

    def unreadable_lines(self, record, ran):
        """After the lines of the run at `ran`: a note written by hand, a
        quoted reading of E: a minute before and a line cut off at the
        end."""
        stamp = ran - 60
        with open(record, "ab") as f:
            f.write("# 手で書いたメモ\r\n".encode("utf-8"))
            total = self.totals["E"]
            f.write(f'{utc_text(stamp)},"E:","{self.serials["E"]:08X}","{total}",'
                    f'"{total // 8}","{total // 8}"\r\n'.encode())
            f.write(utc_text(stamp)[:13].encode())
        return record

    def after_unreadable(self, record, change_serial):
        """A run after unreadable lines: each told by its number and skipped,
        a quoted line read as any other, the run's lines after the cut one.
        With change_serial, the changed drive has a new serial by then: a
        series of its own, too short."""
        with open(record, "rb") as f:
            data = f.read()
        seeded = Record.read(data)
        what = "/j after unreadable lines"
        if change_serial:
            with open(os.path.join(self.folders[CHANGED], ".windows-serial"), "w") as f:
                f.write(NEW_SERIAL)
            self.read_serials()
            # The server reads a volume's serial when it starts.
            self.wine.restart()
            what += f", {CHANGED}: with a new serial"
        told = "".join(f"\n\a記録ファイル\"{windows_path(record)}\"の{n}行目を読めません。\n"
                       for n in seeded.unreadable)
        _, own, expected = self.forecasts(what, record, seeded, len(data), expected_err=told)
        if expected and change_serial:
            self.check.equal(self.what(f"{what}: {CHANGED}: a series of its own"),
                             expected[f"{CHANGED}:"], (None, None))
        with open(record, "rb") as f:
            f.seek(len(data))
            added = f.read()
        self.check.equal(self.what(f"{what}: the run's lines after the cut one"),
                         (added[:2], Record.read(added[2:]).unreadable), (b"\r\n", []))

    def named_record(self):
        """A record whose folder and name hold what no code page of the
        system holds (Hangul on an English or a Japanese system), kana of
        both widths, a blank and a comma: the NT family gives the program
        its name in UTF-16, and the file must be made under exactly it."""
        folder = self.path("フォルダ")
        os.makedirs(folder)
        record = os.path.join(folder, "기록 ﾛｸﾞ,記録.csv")
        for locale in LOCALES:
            out, err, code = self.wine.run(self.exe, ["/l", f"/r{windows_path(record)}"] +
                                           LETTERS, locale=locale)
            made = os.listdir(folder)
            data = b""
            for name in made:
                with open(os.path.join(folder, name), "rb") as f:
                    data += f.read()
                os.remove(os.path.join(folder, name))
            self.check.equal(self.what(f"/l, the record named in Hangul and kana, {locale}: "
                                       "the file of that name, its lines"),
                             (err, code, made, data[:len(BOM + HEADING)],
                              [r.drive for r in Record.read(data).readings]),
                             ("", 0, [os.path.basename(record)], BOM + HEADING, NAMES))

    def missing_folder(self):
        """The record in a folder that does not exist: the report as without
        /r, the message naming the record, exit code 1; the monitoring
        answer unknown (3), saying so on its first line."""
        folder = self.path("nowhere")
        record = os.path.join(folder, "record.csv")
        told = f"\n\a記録ファイル\"{windows_path(record)}\"を開けません。\n"
        ok = f"VOLSURVEY OK - {len(NAMES)} drives OK |"
        unknown = f"VOLSURVEY UNKNOWN - {len(NAMES)} drives OK, record of runs unusable |"
        for args, code, as_told in [
            (["/l"], 1, lambda out: out),
            (["/m"], 3, lambda out: out.replace(ok, unknown, 1) if out.startswith(ok) else ""),
        ]:
            plain = self.wine.run(self.exe, args + LETTERS, monitor="/m" in args)
            out, err, exit_code, _, _ = self.run(args, record)
            what = f"{' '.join(args)}, the record's folder missing"
            self.check.equal(self.what(f"{what}: the report as without /r, the message, exit "
                                       f"code {code}, no folder made; without /r, exit code 0"),
                             (out, err, exit_code, os.path.exists(folder), plain[1:]),
                             (as_told(plain[0]), told, code, False, ("", 0)))

    def lock_held(self):
        """The record's lock held by another process: the run appends
        nothing while it is, and all its lines once it is let go."""
        record = self.path("locked.csv")
        base = self.wine.baseline(self.bits, fresh=True)
        # Long enough for the run to reach the record, below the five
        # seconds a run waits for its turn.
        hold = min(4.0, max(1.0, 3 * base.seconds if base else 1.0))
        with open(record, "wb") as held:
            lock_turn(held, True)
            with tempfile.TemporaryFile() as errors:
                process = self.start(["/l"], record, errors)
                time.sleep(hold)
                during = (os.path.getsize(record), process.poll())
                lock_turn(held, False)
                code = process.wait(timeout=hang_guard(30, base))
                errors.seek(0)
                err = program_errors(errors.read())
        with open(record, "rb") as f:
            data = f.read()
        after = Record.read(data)
        self.check.equal(self.what(f"/l with the record's lock held {hold:.1f} s: nothing "
                                   "written and the run waiting while held; then its lines, "
                                   "exit code 0"),
                         (during, data[:len(BOM + HEADING)], [r.drive for r in after.readings],
                          after.unreadable, err, code),
                         ((0, None), BOM + HEADING, NAMES, [], "", 0))

    def start(self, args, record, errors, letters=LETTERS):
        """A run started, not waited for: standard error to `errors`."""
        return subprocess.Popen([loader(self.exe), self.exe] + args +
                                [f"/r{windows_path(record)}"] + letters,
                                env=self.wine.run_env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=errors)

    def pairs(self, count):
        """count pairs of /l runs, each pair started at once on one record
        that does not exist before: whole lines only."""
        record = self.path("pairs.csv")
        base = self.wine.baseline(self.bits, fresh=True)
        began = time.monotonic()
        outcomes = []
        for _ in range(count):
            with tempfile.TemporaryFile() as a, tempfile.TemporaryFile() as b:
                runs = [(self.start(["/l"], record, f, PAIR_LETTERS), f) for f in (a, b)]
                for process, f in runs:
                    code = process.wait(timeout=hang_guard(30, base))
                    f.seek(0)
                    outcomes.append((program_errors(f.read()), code))
        seconds = time.monotonic() - began
        with open(record, "rb") as f:
            data = f.read()
        lines = data.splitlines(keepends=True)
        parsed = Record.read(data)
        names = [letter + ":" for letter in PAIR_LETTERS]
        drives = [r.drive for r in parsed.readings]
        runs = [drives[i:i + len(names)] for i in range(0, len(drives), len(names))]
        times = [{r.time for r in parsed.readings[i:i + len(names)]}
                 for i in range(0, len(drives), len(names))]
        what = f"{count} pairs of /l runs started at once on one record ({seconds:.1f} s)"
        self.check.equal(self.what(f"{what}: each run's standard error and exit code"),
                         sorted(set(outcomes)), [("", 0)])
        self.check.equal(self.what(f"{what}: the heading once, one mark of UTF-8 at the "
                                   "start, every line whole and ended with CR LF, "
                                   f"{2 * count} runs' lines, each run's together"),
                         (lines[:1], data.count(BOM), data.count(HEADING), parsed.unreadable,
                          all(line.endswith(b"\r\n") for line in lines), len(lines),
                          [run for run in runs if run != names],
                          [sorted(t) for t in times if len(t) != 1]),
                         ([BOM + HEADING], 1, 1, [], True, 1 + 2 * count * len(names), [], []))
        print(f"     time: {self.what(what)}")


LIST_HEADING = "  ドライブ 種別      FS     ラベル         全容量   空容量 使用率 満杯まで"


def lock_turn(f, take):
    """Takes or lets go the byte that runs lock while they read or append:
    Wine's server takes a Windows program's LockFile as a POSIX lock too."""
    fcntl.lockf(f, fcntl.LOCK_EX if take else fcntl.LOCK_UN, 1, 0xFFFFFFF0)


def main():
    opts, wine, check = start(lambda parser: parser.add_argument(
        "--checked", action="store_true", help="the build is a checked one"))
    exe = os.path.abspath(opts.exe)
    pairs = CHECKED_PAIRS if opts.checked else PAIRS
    with drive_suite(opts, wine, check, LETTERS, compare=False) as (_, mounts):
        folders = {}
        for plan in PLANS:
            folder, _ = make_drive(plan.drive, mounts, wine)
            check.equal(f"{plan.drive.letter}: filled", fill(folder, plan.free_blocks),
                        plan.free_blocks)
            folders[plan.drive.letter] = folder
        work = tempfile.mkdtemp(dir=opts.mounts, prefix="records-")
        try:
            for mode, version in test_modes(exe):
                wine.configure({drive.letter: drive.kind for drive in MADE}, version=version)
                bed = Bed(wine, check, exe, mode, folders, work)
                bed.read_serials()
                began = time.monotonic()
                data, seeded = bed.seed()
                record, ran = bed.forecast_run(data, seeded)
                with open(record, "rb") as f:
                    f.seek(-4096, os.SEEK_END)
                    print("     the record's last lines:")
                    for line in f.read().splitlines()[-2 * len(NAMES):]:
                        print(f"     | {line.decode('utf-8')}")
                bed.list_and_monitor(data, seeded)
                bed.unreadable_lines(record, ran)
                bed.after_unreadable(record, change_serial=mode == "NT")
                if mode == "NT":
                    bed.named_record()
                bed.missing_folder()
                bed.lock_held()
                bed.pairs(pairs[mode])
                print(f"     time: {bed.what('the mode')}: {time.monotonic() - began:.1f} s")
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
