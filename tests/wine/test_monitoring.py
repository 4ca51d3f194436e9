#!/usr/bin/env python3
"""volsurvey /m, the answer of a monitoring check, over every drive of the
prefix: in the NT family on the build under test and as Windows 98 on the
32-bit build (no 64-bit Windows of that family exists); and the same answer
as a real Nagios Core (Debian's nagios4) reads it from the program run
under Wine as its check command.

The prefix's own C: and Z: are joined by drives made here on tmpfs mounts:
hard disks filled to 46 % and 85 % and one with not a byte in use, a
removable drive with 1.001 % in use (shown as 2 %, 1.00 % in the
performance data, past a 1 % level) and a RAM disk with 0.995 % (shown as
1 %, 0.99 %, short of it), a network drive at 75 %, a full CD-ROM drive
(a disc is full by nature and never past a level); and a network drive
and a fixed disk served by stallfs (see test_unanswered.py), held open by
hold_drive from Wine's start on, that stop answering their size query
when told.

What the program must do:
- /m prints, in UTF-8 with LF line ends and nothing on standard error, a
  first line "VOLSURVEY STATE - ..." naming the drives past a level worst
  first, then how many are fine, then those that failed, and after "|"
  the performance data of every drive with figures: its used bytes and
  total exactly as its own text report gives them, the levels in bytes
  and in percent; then one line for each drive.  The whole answer is
  worked out here from the drives' text reports and the levels of the
  command line, and must be that to the byte (only the free space of C:
  and Z:, which other programs change between two runs, may drift).
- The exit code is 2 when a drive is past its critical level, else 1 past
  a warning level, else 3 when a drive failed or did not answer, else 0:
  /m /u1 ends with 2, /m /u1,100 with 1 (no judged drive is full).
- With the two stallfs drives never answering, /m /t3 with its output in a
  file ends one limit after a plain run (not one per dead drive) with every
  healthy drive's figures and the dead ones "no answer": exit code 3, and
  2 when a healthy drive is past its own critical level, 1 when one is
  past a warning level; the stalled calls are given up and nothing of the
  run is left running.
- /d keeps the fixed disks and the RAM disk, leaves out the network,
  CD-ROM and removable drives: the dead fixed disk is "no answer" after
  one limit, the dead network drive is asked nothing beyond its type.
- A refused switch answers UNKNOWN on standard output, its line ended by
  LF alone as every answer's, exit code 3.
- Run by Nagios (--nagios, given for the 32-bit build as shipped), /m /d
  /u80,90 and the same with a per-drive critical level that fires leave in
  status.dat the state, text, performance data and long text that the
  program printed when run directly.
"""

import contextlib
import grp
import os
import pwd
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, replace
from typing import Optional

from test_json import report_members, text_reports
from test_list import DRIFT, scaled
from winelib import (MadeDrive, baseline_text, differing_lines, drive_suite, each_mode_held,
                     hang_guard, host_free, loader, make_drives, pe_bits, run_to_file,
                     start_held, start_seconds, wine_processes)

MADE = [
    MadeDrive("D", "hd", "tmpfs", "SURVEY\n", "12ab34cd\n"),
    MadeDrive("E", "network", "stallfs", "GONE_E\n", "0000e0e0\n"),
    # No label or serial either: not one byte of its file system in use.
    MadeDrive("F", "hd", "tmpfs"),
    MadeDrive("G", "floppy", "tmpfs", "CARD\n", "0000ca4d\n"),
    MadeDrive("J", "hd", "tmpfs", "NEARLY\n", "00008585\n"),
    MadeDrive("K", "ramdisk", "tmpfs", "RAM\n", "0000b6b6\n"),
    MadeDrive("N", "network", "tmpfs", "SHARE\n", "5eed0042\n"),
    # A fixed disk that stops answering: a failing disk.
    MadeDrive("P", "hd", "stallfs", "GONE_P\n", "0000f0f0\n"),
    MadeDrive("R", "cdrom", "tmpfs", "DISC\n", "0000c0c0\n"),
]
# Blocks of 4096 bytes each made drive's 64 MiB (16384 blocks) keeps free,
# once filled: 45.7 % in use; 85.0 % (past 80, short of 90, and 9.6 MiB
# free); 1.001 % and 0.995 %, only the first at a 1 % level; 75 %; full.
FREE_BLOCKS = {"D": 8900, "J": 2458, "G": 16384 - 164, "K": 16384 - 163, "N": 4096, "R": 0}
DEAD = ("E", "P")
# The drive types /d keeps over the whole machine.
LOCAL_TYPES = ("FIXED", "RAMDISK")

# The program's answer does not depend on the system's code pages: most
# runs pose as a Japanese system, one as an English one.
LOCALE, ENGLISH = "ja_JP.UTF-8", "C.UTF-8"

LIMIT = 3
# What a dead-drive run may take beyond the limit and the pace of the
# moment (the plain run before it, or an empty program's start): Wine's
# own starting and ending vary that much on a busy machine.
SLACK = 3
# statfs requests answered at once before the stall: GetDriveType's, so
# that the volume is read and the size query is the one left waiting.
AFTER_DRIVE_TYPE = 1

# Runs over every drive, all answering: the arguments, the drives the
# answer holds (all, or the local disks of /d), the locale, and the exit
# code the made drives give whatever C: and Z: hold (None: theirs count).
CASES = [
    (["/m"], "all", LOCALE, 0),
    (["/m", "/u80,90"], "all", ENGLISH, None),
    # Every drive with 1 % in use critical; warning alone below 100 %.
    (["/m", "/u1"], "all", LOCALE, 2),
    (["/m", "/u1,100"], "all", LOCALE, 1),
    # J: critical by its free space; its byte levels the lower of the used
    # share's and the free space's; D: without levels of its own.
    (["/m", "/u40", "/f20M,10M", "/uD:=-", "/uJ:=90,95"], "all", LOCALE, 2),
]
# Runs of /d, the drives all answering; Nagios runs the same command
# lines.  The second fires D:'s critical level.
LOCAL_CASES = [
    (["/m", "/d", "/u80,90"], None),
    (["/m", "/d", "/u80,90", "/uD:=1"], 2),
]
# Runs of /m /t3 with the dead drives not answering: more arguments, the
# drives the answer holds, the exit code as for CASES.  With no drive past
# a level the failed ones make it UNKNOWN; a critical drive outweighs them.
DEAD_CASES = [
    ([], "all", 3),
    (["/uD:=1"], "all", 2),
    (["/d", "/u80,90"], "local", None),
]
REFUSED = "/u90,80"

# --- Reading an answer ---------------------------------------------------

STATES = ("OK", "UNKNOWN", "WARNING", "CRITICAL")  # better to worse
EXIT_CODE = {"OK": 0, "WARNING": 1, "CRITICAL": 2, "UNKNOWN": 3}

NUMBER = r"-?(?:\d+(?:\.\d*)?|\.\d+)"
RANGE = rf"@?(?:~|{NUMBER})?(?::(?:{NUMBER})?)?"
# 'label'=value[UOM];[warn];[crit];[min];[max]: a label in quotes (a quote
# in it doubled) or without blanks, quotes or "=".
PERF_ITEM = re.compile(rf"('(?:[^']|'')+'|[^\s'=]+)=({NUMBER})([a-zA-Z%]*)"
                       rf"(?:;({RANGE}))?(?:;({RANGE}))?(?:;({NUMBER})?)?(?:;({NUMBER})?)?")


@dataclass
class PerfItem:
    """One item of performance data, its fields as written (None where
    the item stops before them)."""
    label: str
    value: str
    uom: str
    warn: Optional[str] = None
    crit: Optional[str] = None
    min: Optional[str] = None
    max: Optional[str] = None


@dataclass
class Answer:
    """A monitoring check's output: the first line's text before "|", the
    performance data (all after a "|", lines joined by a blank), its items,
    and the lines of long text."""
    text: str
    perfdata: str
    items: list
    long: list


def perf_items(text):
    """The items of performance data, parted by blanks; ValueError where
    the text holds anything else."""
    items, at = [], 0
    while True:
        while text[at:at + 1] == " ":
            at += 1
        if at == len(text):
            return items
        match = PERF_ITEM.match(text, at)
        if not match or match.end() < len(text) and text[match.end()] != " ":
            raise ValueError(f"no performance data item at {text[at:at + 40]!r}")
        label = match.group(1)
        if label.startswith("'"):
            label = label[1:-1].replace("''", "'")
        items.append(PerfItem(label, *match.groups()[1:]))
        at = match.end()


def parse_answer(output):
    """A plugin's whole output read as the plugin interface lays it out:
    TEXT | PERFDATA, then lines of long text, the first "|" among them
    starting performance data that runs to the end."""
    if not output.endswith("\n"):
        raise ValueError(f"the last line has no line end: {output[-40:]!r}")
    lines = output[:-1].split("\n")
    text, bar, perf = lines[0].partition("|")
    perf_lines = [perf] if bar else []
    long, in_perf = [], False
    for line in lines[1:]:
        if in_perf:
            perf_lines.append(line)
            continue
        head, bar, tail = line.partition("|")
        long.append(head)
        if bar:
            perf_lines.append(tail)
            in_perf = True
    perfdata = " ".join(filter(None, (line.strip() for line in perf_lines)))
    return Answer(text, perfdata, perf_items(perfdata), long)


# --- The answer the drives and levels give -------------------------------

UNITS = {"": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30, "T": 1 << 40}


@dataclass
class Drive:
    """A drive as its text report gives it: its name, the report's type
    word, total and free bytes (None without figures: no medium), or why
    it could not be told ("no answer")."""
    name: str
    type: str = "FIXED"
    total: Optional[int] = None
    free: Optional[int] = None
    trouble: Optional[str] = None

    def used(self):
        return self.total - self.free if self.free < self.total else 0


def levels_given(args):
    """The levels of a command line: (kind "u" or "f", a drive's name
    upper-cased or None for the plain ones) -> (warning, critical), each a
    percent or a byte count, None where not set; the last one standing."""
    levels = {}
    for arg in args:
        match = re.fullmatch(r"/([uf])(?:(.+)=)?(.+)", arg, re.IGNORECASE)
        if not match:
            continue
        kind, drive, value = match.group(1).lower(), match.group(2), match.group(3)
        if value == "-":
            pair = (None, None)
        else:
            amounts = []
            for part in value.split(","):
                number, unit = re.fullmatch(r"(\d+)([KMGT]?)", part, re.IGNORECASE).groups()
                amounts.append(int(number) * (UNITS[unit.upper()] if kind == "f" else 1))
            pair = (None, amounts[0]) if len(amounts) == 1 else tuple(amounts)
        levels[(kind, drive.upper() if drive else None)] = pair
    return levels


def levels_of(levels, kind, drive):
    """A drive's levels of one kind: its own where given, else the plain."""
    return levels.get((kind, drive.name.upper()), levels.get((kind, None), (None, None)))


def state_of(drive, used_levels, free_levels):
    if drive.trouble:
        return "UNKNOWN"
    if drive.total is None or drive.type == "CD-ROM":
        return "OK"
    used = drive.used()

    def past(i):
        percent, free = used_levels[i], free_levels[i]
        return (percent is not None and drive.total > 0 and used * 100 >= percent * drive.total
                or free is not None and drive.free < free)
    return "CRITICAL" if past(1) else "WARNING" if past(0) else "OK"


def byte_level(total, percent, free):
    """A level in used bytes: the least count at or past the percent of the
    total, the total less the free bytes, the lower where both."""
    counts = []
    if percent is not None:
        counts.append(-(-total * percent // 100))
    if free is not None:
        counts.append(max(total - free, 0))
    return str(min(counts)) if counts else ""


def bytes_text(count):
    return scaled(count) + ("B" if count < 1024 else "")


def drive_text(drive, state):
    """What the answer says of a drive after its name."""
    if state == "UNKNOWN":
        return drive.trouble
    if drive.total is None:
        return "no medium"
    used = drive.used()
    percent = -(-used * 100 // drive.total) if drive.total else 0
    return f"{percent}% used, {bytes_text(drive.free)} free"


def performance(drive, used_levels, free_levels):
    # A CD-ROM drive is never judged: its figures carry no levels.
    if drive.type == "CD-ROM":
        used_levels = free_levels = (None, None)
    total, used = drive.total, drive.used()
    label = drive.name.replace("'", "''")
    warn, crit = (byte_level(total, used_levels[i], free_levels[i]) for i in (0, 1))
    hundredths = (used * 20000 + total) // (2 * total) if total else 0
    percent_levels = ";".join("" if p is None else str(p) for p in used_levels)
    return (f"'{label} used'={used}B;{warn};{crit};0;{total} "
            f"'{label} used %'={hundredths // 100}.{hundredths % 100:02}%;{percent_levels};0;100")


def expected_answer(drives, args):
    """(the output, the exit code) of /m with args over the drives."""
    levels = levels_given(args)
    judged = [(d, levels_of(levels, "u", d), levels_of(levels, "f", d)) for d in drives]
    states = [state_of(*j) for j in judged]
    worst = max(states, key=STATES.index, default="OK")
    parts = []
    for state in ("CRITICAL", "WARNING", "OK", "UNKNOWN"):
        if state == "OK":
            ok = states.count("OK")
            if ok or worst == "OK":
                parts.append(f"{ok} drive{'' if ok == 1 else 's'} OK")
            continue
        parts += [f"{d.name} {drive_text(d, s)}" for d, s in zip(drives, states) if s == state]
    perf = [performance(*j) for j in judged if j[0].total is not None]
    first = f"VOLSURVEY {worst} - " + ", ".join(parts) + (" | " + " ".join(perf) if perf else "")
    lines = [first]
    for (drive, _, _), state in zip(judged, states):
        line = f"{drive.name} {state}, {drive_text(drive, state)}"
        if drive.total is not None and state != "UNKNOWN":
            line += f" of {bytes_text(drive.total)}"
        lines.append(line)
    return "\n".join(lines) + "\n", EXIT_CODE[worst]


def nagios_view(output, code):
    """What Nagios Core 4 keeps of a check's answer in status.dat: the
    exit code as the state; the first line's text, blanks around it cut and
    each ";" made ":" (Nagios parts the fields of its log and commands with
    ";"); the performance data as given, blanks around it cut; the long
    text's lines, each backslash doubled and each line end written as
    \\n."""
    answer = parse_answer(output)
    return {"current_state": str(code),
            "plugin_output": answer.text.strip().replace(";", ":"),
            "performance_data": answer.perfdata,
            "long_plugin_output": "\\n".join(line.replace("\\", "\\\\")
                                              for line in answer.long)}


# --- The runs ------------------------------------------------------------

def as_sent(stdout):
    """A run's standard output as the program wrote it: its bytes."""
    return stdout


def steady(text, names):
    """An answer, or a part of it, with the figures that follow the free
    space of the named drives blotted out: what two runs a moment apart
    must share."""
    for name in names:
        text = re.sub(rf"(?<![A-Z]){re.escape(name)} ((?:[A-Z]+, )?)\d+% used, \S+ free",
                      lambda m: f"{name} {m.group(1)}#% used, # free", text)
        quoted = re.escape(name.replace("'", "''"))
        text = re.sub(rf"('{quoted} used(?: %)?')=[0-9.]+", r"\1=#", text)
    return text


class Bed:
    """The drives of one mode and the build under test."""

    def __init__(self, wine, check, exe, mode, stallfs):
        self.wine, self.check, self.exe, self.mode = wine, check, exe, mode
        self.bits = pe_bits(exe)
        self.stallfs = stallfs
        self.drives = []
        self.free_before = {}

    def what(self, text, locale=LOCALE):
        return f"{self.mode}, {locale}: {text} [{self.bits}-bit]"

    def read_reports(self):
        """Every drive's own text report, from /a."""
        self.free_before = self.host_free()
        out, err, code = self.wine.run(self.exe, ["/a"], locale=LOCALE)
        self.check.equal(self.what("/a: every drive reported"), (err, code), ("", 0))
        try:
            reports = {name: report_members(lines, self.mode == "NT")
                       for name, lines in text_reports(out).items()}
        except ValueError as e:
            self.check.equal(self.what("/a: the reports read"), str(e), "")
            reports = {}
        self.drives = [Drive(name, r["type"], r.get("total_bytes"), r.get("free_bytes"))
                       for name, r in reports.items()]
        self.check.equal(self.what("/a: the made drives among the reports, with figures"),
                         sorted(d.letter + ":" for d in MADE
                                if d.letter + ":" not in {r.name for r in self.drives
                                                          if r.total is not None}), [])

    def host_free(self):
        return host_free(self.wine, {drive.letter for drive in MADE})

    def expected_drives(self, which, dead=()):
        drives = [replace(d, total=None, free=None, trouble="no answer") if d.name[:1] in dead
                  else d for d in self.drives]
        return drives if which == "all" else [d for d in drives if d.type in LOCAL_TYPES]

    def settled(self, drives, items, free_after):
        """The drives, those not made here with the used bytes that the
        performance data items give them where that is as near their report
        as other programs' writes can have moved it since (sampled from
        Linux before the reports and after the run), and DRIFT more."""
        used = {item.label[:-len(" used")]: item.value for item in items
                if item.label.endswith(" used") and item.value.isdigit()}
        out = []
        for d in drives:
            name = d.name
            if (d.total is not None and not d.trouble and name in used and
                    name in free_after and name in self.free_before):
                moved = abs(free_after[name] - self.free_before[name])
                if abs(int(used[name]) - d.used()) <= DRIFT + moved:
                    d = replace(d, free=d.total - int(used[name]))
            out.append(d)
        return out

    def text(self, what, stdout):
        """A run's answer as text, checked to be UTF-8 with LF line ends."""
        try:
            text = stdout.decode("utf-8")
        except UnicodeDecodeError as e:
            self.check.equal(f"{what}: UTF-8", str(e), "")
            return stdout.decode("utf-8", errors="replace")
        self.check.equal(f"{what}: no CR", text.count("\r"), 0)
        return text

    def agrees(self, what, stdout, code, args, drives, exit_code=None):
        """An answer against the one the drives' reports and the levels of
        args give: the figures of its performance data drive by drive, then
        the whole answer line by line, and its exit code.  Returns the
        answer as text."""
        free_after = self.host_free()
        output = self.text(what, stdout)
        try:
            answer = parse_answer(output)
        except ValueError as e:
            self.check.equal(f"{what}: the answer read", str(e), "")
            return output
        drives = self.settled(drives, answer.items, free_after)
        figures = {item.label[:-len(" used")]: (item.value, item.uom, item.min, item.max)
                   for item in answer.items if item.label.endswith(" used")}
        self.check.equal(f"{what}: used bytes and total of each drive with figures, as its "
                         "report gives them", figures,
                         {d.name: (str(d.used()), "B", "0", str(d.total)) for d in drives
                          if d.total is not None and not d.trouble})
        expected, expected_code = expected_answer(drives, args)
        self.check.equal(f"{what}: the answer, lines differing (actual, expected)",
                         differing_lines(output, expected), [])
        self.check.equal(f"{what}: exit code", code, expected_code)
        if exit_code is not None:
            self.check.equal(f"{what}: exit code as the made drives give it", code, exit_code)
        return output

    def run(self, args, locale=LOCALE):
        out, err, code = self.wine.run(self.exe, args, locale=locale, output=as_sent)
        self.check.equal(self.what(f"{' '.join(args)}: standard error", locale), err, "")
        return out, code

    def cases(self):
        for args, which, locale, exit_code in CASES:
            out, code = self.run(args, locale)
            self.agrees(self.what(" ".join(args), locale), out, code, args,
                        self.expected_drives(which), exit_code)

    def refused(self):
        """A refused switch: UNKNOWN on standard output, the usual message
        on standard error, before any drive is asked."""
        args = ["/m", REFUSED]
        what = self.what(" ".join(args))
        out, err, code = self.wine.run(self.exe, args, locale=LOCALE, output=as_sent)
        answer = f"VOLSURVEY UNKNOWN - invalid option {REFUSED}"
        self.check.equal(what, (out.rstrip(b"\r\n"), err, code),
                         (answer.encode(), f"\n\a処理停止:無効オプション  {REFUSED}\n"
                          "※/?オプションで使用方法を表示します。\n\n", 3))
        self.check.equal(f"{what}: the answer's line end, LF alone", out[len(answer):], b"\n")

    def log_count(self, text):
        return {letter: fs.log_text().count(text) for letter, fs in self.stallfs.items()}

    def show(self, what, text, code):
        """An answer in the log, as an administrator sees it."""
        print(f"     {what}, exit code {code}:")
        for line in text.splitlines():
            print(f"     | {line}")

    def timed(self, args, dead, plain_seconds=None):
        """args with its output in a file, the dead drives stalled after
        their drive type: (what, its answer, exit code, seconds, the dead
        drives whose size query was left waiting and given up), its time
        checked against the plain run's where given."""
        what = self.what(f"{' '.join(args)}, {' and '.join(dead) or 'none'} dead")
        stalls, interrupts = self.log_count(b": stall\n"), self.log_count(b"interrupted")
        base = self.wine.baseline(self.bits, fresh=True)
        pace = max(plain_seconds or 0, start_seconds(base))
        try:
            for letter in dead:
                self.stallfs[letter].stall(after=AFTER_DRIVE_TYPE)
            out, err, code, seconds = run_to_file(self.wine, self.exe, args,
                                                  timeout=pace + LIMIT + SLACK + 10,
                                                  locale=LOCALE, output=as_sent)
        finally:
            for fs in self.stallfs.values():
                fs.ok()
        self.check.equal(f"{what}: standard error", err, "")
        if dead:
            self.check.equal(f"{what}: one limit after the plain run ({seconds:.1f} s; {LIMIT} "
                             f"s to {pace:.1f} + {LIMIT} + {SLACK} s allowed: the plain run "
                             f"took {plain_seconds:.1f} s, {baseline_text(base)})",
                             LIMIT <= seconds < pace + LIMIT + SLACK, True)
        self.check.equal(f"{what}: no process of the run left",
                         wine_processes(self.wine, "volsurvey"), [])
        print(f"     time: {what}: {seconds:.1f} s")
        # The server logs the interrupt before the program can end.
        given_up = sorted(letter for letter, n in self.log_count(b"interrupted").items()
                          if n > interrupts[letter] and
                          self.log_count(b": stall\n")[letter] > stalls[letter])
        return what, out, code, seconds, given_up

    def dead_drives(self):
        """/m /t3 over every drive: all answering, then with the dead
        drives stalled: the dead drives the answer holds asked their size and
        given up at the limit, the others (left out by /d) asked nothing
        beyond their type."""
        args = ["/m", f"/t{LIMIT}"]
        what, out, code, plain, _ = self.timed(args, ())
        self.agrees(what, out, code, args, self.expected_drives("all"), 0)
        for more, which, exit_code in DEAD_CASES:
            what, out, code, _, given_up = self.timed(args + more, DEAD, plain)
            drives = self.expected_drives(which, DEAD)
            self.check.equal(f"{what}: the dead drives asked their size and given up",
                             given_up, [d.name[:1] for d in drives if d.trouble])
            text = self.agrees(what, out, code, args + more, drives, exit_code)
            if which == "local":
                self.show(what, text, code)

    def local_disks(self):
        """/d over every drive, all answering: the local disks alone.
        Returns the answers, command line: (output, exit code)."""
        answers = {}
        for args, exit_code in LOCAL_CASES:
            what = self.what(" ".join(args))
            out, code = self.run(args)
            text = self.agrees(what, out, code, args, self.expected_drives("local"), exit_code)
            answers[" ".join(args)] = (text, code)
            self.show(what, text, code)
        return answers


# --- Nagios --------------------------------------------------------------

# How long Nagios may take to start and check every service once, beyond
# the pace of the moment: on a quiet machine a second or two.
NAGIOS_WAIT = 30

NAGIOS_CFG = """\
log_file={folder}/nagios.log
cfg_file={folder}/objects.cfg
object_cache_file={folder}/objects.cache
precached_object_file={folder}/objects.precache
status_file={folder}/status.dat
state_retention_file={folder}/retention.dat
lock_file={folder}/nagios.lock
temp_file={folder}/nagios.tmp
temp_path={folder}
check_result_path={folder}/checkresults
command_file={folder}/nagios.cmd
query_socket={folder}/nagios.qh
nagios_user={user}
nagios_group={group}
use_syslog=0
log_rotation_method=n
check_external_commands=0
retain_state_information=0
enable_notifications=0
enable_flap_detection=0
process_performance_data=0
interval_length=1
status_update_interval=1
check_result_reaper_frequency=1
max_service_check_spread=1
max_host_check_spread=1
service_inter_check_delay_method=n
host_inter_check_delay_method=n
service_check_timeout={timeout}
"""

# Every directive on a line of its own, every "}" too; a ";" in a value
# starts a comment unless written "\\;".
NAGIOS_OBJECTS = """\
define timeperiod {{
    timeperiod_name always
    alias always
    sunday 00:00-24:00
    monday 00:00-24:00
    tuesday 00:00-24:00
    wednesday 00:00-24:00
    thursday 00:00-24:00
    friday 00:00-24:00
    saturday 00:00-24:00
}}
define contact {{
    contact_name nobody
    host_notifications_enabled 0
    service_notifications_enabled 0
    host_notification_period always
    service_notification_period always
    host_notification_options n
    service_notification_options n
    host_notification_commands up
    service_notification_commands up
}}
define command {{
    command_name up
    command_line /bin/true
}}
define host {{
    host_name windows
    check_command up
    max_check_attempts 1
    check_period always
    contacts nobody
}}
"""

NAGIOS_SERVICE = """\
define command {{
    command_name {name}
    command_line {command}
}}
define service {{
    host_name windows
    service_description {name}
    check_command {name}
    max_check_attempts 1
    check_interval 3600
    retry_interval 3600
    notification_period always
    check_period always
    contacts nobody
}}
"""

# What status.dat must hold of each service, as the program answered.
NAGIOS_FIELDS = ("current_state", "plugin_output", "performance_data", "long_plugin_output")


def status_blocks(text, kind):
    """The blocks of one kind in a Nagios status.dat ("servicestatus {",
    "key=value" lines, "}"): a list of key -> value, the value as written."""
    blocks, block = [], None
    for line in text.splitlines():
        if line.strip() == kind + " {":
            block = {}
        elif line.strip() == "}" and block is not None:
            blocks.append(block)
            block = None
        elif block is not None:
            key, _, value = line.lstrip("\t").partition("=")
            block[key] = value
    return blocks


def processes_with(text):
    """(pid, command line) of this machine's processes whose command line
    holds text."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
        if text in command:
            found.append((int(pid), command))
    return found


class Nagios:
    """A Nagios Core of its own in a folder, checking each service (name:
    command line) once, in the foreground."""

    def __init__(self, binary, folder, services, timeout):
        self.binary, self.folder, self.services = binary, os.path.abspath(folder), services
        self.config = os.path.join(self.folder, "nagios.cfg")
        self.process = None
        self._stop_left_over()
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(os.path.join(self.folder, "checkresults"))
        user = pwd.getpwuid(os.getuid())
        with open(self.config, "w") as f:
            f.write(NAGIOS_CFG.format(folder=self.folder, user=user.pw_name,
                                      group=grp.getgrgid(user.pw_gid).gr_name,
                                      timeout=int(timeout)))
        with open(os.path.join(self.folder, "objects.cfg"), "w") as f:
            f.write(NAGIOS_OBJECTS.format())
            for name, command in services.items():
                f.write(NAGIOS_SERVICE.format(name=name, command=command.replace(";", "\\;")))

    def _stop_left_over(self):
        """Ends what is left of the Nagios of an earlier run of this suite
        that was itself ended before it could stop it: the processes whose
        command line names this folder's configuration."""
        left = processes_with(self.config)
        for pid, _ in left:
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 10
        while left and processes_with(self.config) and time.monotonic() < deadline:
            time.sleep(0.1)

    def start(self):
        with open(os.path.join(self.folder, "output.log"), "wb") as log:
            self.process = subprocess.Popen([self.binary, self.config], stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=log, cwd=self.folder)

    def status(self):
        """The services' status blocks once every one has been checked, or
        None."""
        try:
            with open(os.path.join(self.folder, "status.dat"), encoding="utf-8") as f:
                blocks = status_blocks(f.read(), "servicestatus")
        except OSError:
            return None
        checked = {b.get("service_description"): b for b in blocks
                   if b.get("has_been_checked") == "1"}
        return checked if set(checked) == set(self.services) else None

    def wait(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and self.process.poll() is None:
            status = self.status()
            if status:
                return status
            time.sleep(0.2)
        return None

    def log(self):
        text = ""
        for name in ("output.log", "nagios.log"):
            with contextlib.suppress(OSError), open(os.path.join(self.folder, name),
                                                    errors="replace") as f:
                text += f.read()
        return text

    def stop(self):
        """Ends Nagios as its service would (SIGTERM), and kills it where it
        does not end; True when it ended by itself."""
        if self.process is None or self.process.poll() is not None:
            return True
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
            return True
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return False


def check_command(wine, exe, args):
    """The command line of a Nagios service that runs the program under
    Wine on the suite's prefix, as an agent on the machine would."""
    env = {"WINEPREFIX": wine.prefix, "WINEDEBUG": "-all",
           "WINEDLLOVERRIDES": wine.env["WINEDLLOVERRIDES"], "LC_ALL": LOCALE}
    return " ".join(shlex.quote(word) for word in
                    ["/usr/bin/env"] + [f"{k}={v}" for k, v in env.items()] +
                    [loader(exe), exe] + args)


def through_nagios(binary, folder):
    """The check of the /d answers (command line: (output, exit code), as
    the program gave them run directly) as a real Nagios keeps them."""
    def check(bed, answers):
        what = bed.what("Nagios")
        services = {f"disks{i}": command for i, command in
                    enumerate(check_command(bed.wine, bed.exe, args.split()) for args in answers)}
        base = bed.wine.baseline(bed.bits, fresh=True)
        nagios = Nagios(binary, folder, services, hang_guard(60, base))
        wait = hang_guard(NAGIOS_WAIT, base)
        started = time.monotonic()
        try:
            nagios.start()
            status = nagios.wait(wait)
        finally:
            stopped = nagios.stop()
        print(f"     time: {what}: every service checked in {time.monotonic() - started:.1f} s")
        bed.check.equal(f"{what}: stopped by SIGTERM, nothing of it left running",
                        (stopped, processes_with(nagios.config),
                         wine_processes(bed.wine, "volsurvey")), (True, [], []))
        if status is None:
            bed.check.equal(f"{what}: every service checked within {wait:.0f} s "
                            f"({baseline_text(base)}); its log:\n{nagios.log()}", False, True)
            return
        drifting = [d.name for d in bed.drives if d.name[:1] not in {m.letter for m in MADE}]
        for (args, (output, code)), name in zip(answers.items(), services):
            kept = {field: status[name].get(field, "(none)") for field in NAGIOS_FIELDS}
            print(f"     {what}: status.dat of {args}:")
            for field in NAGIOS_FIELDS:
                print(f"     | {field}={kept[field]}")
            direct = nagios_view(output, code)
            bed.check.equal(f"{what}: {args}: kept as the program answered run directly "
                            f"(the free space of {', '.join(drifting)} aside)",
                            {k: steady(v, drifting) for k, v in kept.items()},
                            {k: steady(v, drifting) for k, v in direct.items()})
            try:
                items = perf_items(kept["performance_data"] or "")
            except ValueError as e:
                bed.check.equal(f"{what}: {args}: its performance data read", str(e), "")
                continue
            drives = bed.settled(bed.expected_drives("local"), items, bed.host_free())
            bed.check.equal(f"{what}: {args}: kept as the drives' reports give it",
                            kept, nagios_view(*expected_answer(drives, args.split())))
    return check


def main():
    def arguments(parser):
        parser.add_argument("--nagios", help="run the /m check through this Nagios Core too")

    opts, wine, check, modes = start_held(arguments)
    exe = os.path.abspath(opts.exe)
    nagios = None
    if not opts.nagios:
        print("     /m through Nagios: in the suite of the 32-bit build as shipped")
    elif not os.path.exists(opts.nagios):
        check.skip("/m through Nagios", f"{opts.nagios} is not installed "
                   "(scripts/install-deps test installs it)")
    elif opts.nagios:
        nagios = through_nagios(opts.nagios, os.path.join(
            os.path.dirname(os.path.abspath(opts.mounts)), "nagios"))
    letters = [drive.letter for drive in MADE]
    with drive_suite(opts, wine, check, letters, compare=False) as (_, mounts):
        stallfs = make_drives(MADE, mounts, wine, check, FREE_BLOCKS)
        for mode in each_mode_held(wine, opts.holder, modes, MADE, stallfs):
            bed = Bed(wine, check, exe, mode, stallfs)
            bed.read_reports()
            bed.cases()
            bed.dead_drives()
            answers = bed.local_disks()
            if nagios and mode == "NT":
                nagios(bed, answers)
            bed.refused()
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
