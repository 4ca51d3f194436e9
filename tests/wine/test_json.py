#!/usr/bin/env python3
"""volsurvey /j, the document for scripts, against the text reports of the
same drives: in the NT family on the build under test and as Windows 98 on
the 32-bit build (no 64-bit Windows of that family exists), on an English
and a Japanese system (Wine takes the code pages from the locale).

The prefix's C: and Z: are joined by drives made here: two hard disks and a
network drive on tmpfs mounts, labelled in ASCII, in Hangul and in Japanese
with a character beyond the BMP, and a network drive served by stallfs
(see test_unanswered.py), held open by hold_drive from Wine's start on.

What the program must do:
- /a /j, with /v and /s too, prints one JSON document of pure ASCII that a
  strict parser takes, an object for each drive the text report of /a
  gives, in its order, each holding exactly the figures, flags, words and
  names of that report (the report's names as Shift-JIS shows them), no
  member the report would not give; nothing on standard error, exit code 0.
  Only the free space of C: and Z:, which other programs change between two
  runs, may differ.
- Labels arrive exact, where the text report shows "?": the NT family gives
  them in UTF-16; the 95 family gives them in its ANSI code page only, so in
  Windows 98 mode they are what that code page holds of them, "?" for each
  UTF-16 unit it lacks (all of a Hangul label on a Western or Japanese
  system, none of it on a Korean one).
- With the stallfs drive never answering its size query, /a /j /t3 with its
  output in a file ends after about the limit with a document that parses:
  that drive's object has its volume members and a no_answer error, every
  other drive is as in the run before; exit code 1, the stalled statfs
  given up, nothing of the run left running.
"""

import json
import os
import re
import subprocess
import sys

from report_model import TYPE_TEXT
from winelib import (LOCALES, MadeDrive, baseline_text, drive_suite, holding, make_drive, pe_bits,
                     run_to_file, shown, start_held, start_seconds, volume_label_file,
                     wine_processes)


MADE = [
    MadeDrive("D", "hd", "tmpfs", "SURVEY\n", "12ab34cd\n"),
    MadeDrive("E", "network", "stallfs", "GONE_E\n", "0000e0e0\n"),
    MadeDrive("H", "hd", "tmpfs", "한국어 라벨\n", "0000a5a5\n"),
    MadeDrive("N", "network", "tmpfs", "共有 \U0001F3B5\n", "5eed0042\n"),
]
DEAD = "E"

# The ANSI code page Wine gives a program in each locale.  Korean is asked
# for the labels alone: the one code page here that holds Hangul.
ANSI_CODEC = {"C.UTF-8": "cp1252", "ja_JP.UTF-8": "cp932", "ko_KR.UTF-8": "cp949"}
KOREAN = "ko_KR.UTF-8"

LIMIT = 3
# What the dead-drive run may take beyond its limit: Wine starting and
# ending the program.
SLACK = 3
# statfs requests answered before the stall: GetDriveType's, so that the
# volume is read and the size query is the one left waiting.
AFTER_DRIVE_TYPE = 1

# Members that follow the free space of the file system that holds the
# prefix (C:) and of / (Z:), which other programs change between runs.
FREE_MEMBERS = ("free_bytes", "free_clusters", "remaining_files", "caller_free_bytes")

TYPE_CODE = {word: code for code, word in TYPE_TEXT.items()}

# "1.9G(2147188736)バイト=524216クラスタ", "512バイト=1クラスタ"
CAPACITY = r"(?:\d+\.\d[KMG]\()?(\d+)\)?バイト=(\d+)クラスタ"
# "4K(4096)バイト", "512バイト"
SIZE = r"(?:\d+[KMG]\()?(\d+)\)?バイト"


def figures(pattern, *names, **fixed):
    """A report value read as whole numbers, one per name (None: read, not
    a member), plus fixed members."""
    def read(value):
        match = re.fullmatch(pattern, value)
        if not match:
            raise ValueError(f"not {pattern}: {value!r}")
        members = {name: int(n) for name, n in zip(names, match.groups()) if name}
        return dict(members, **fixed)
    return read


def flag(name):
    def read(value):
        if value not in ("Yes", "No"):
            raise ValueError(f"{name}: neither Yes nor No: {value!r}")
        return {name: value == "Yes"}
    return read


def quoted(value):
    if len(value) < 2 or value[0] != '"' or value[-1] != '"':
        raise ValueError(f"label not in quotes: {value!r}")
    return {"label": value[1:-1]}


# Each line of a drive's text report (its key, left of the first colon) and
# the document's members it gives.
REPORT_LINES = {
    "ドライブ名": lambda v: {"drive": v},
    "ドライブ種別": lambda v: {"type": v, "type_code": TYPE_CODE[v]},
    "ボリューム・ラベル名": quoted,
    "ボリューム・シリアル番号": lambda v: {"serial": v},
    "ファイル名の最大長": figures(r"(\d+)バイト", "max_component_length"),
    "ファイル・システム名": lambda v: {"file_system": v},
    "ファイル参照時の大小文字区別": flag("case_sensitive_search"),
    "ファイル名の大小文字格納": flag("case_preserved_names"),
    "ファイル名のUnicode格納": flag("unicode_on_disk"),
    "アクセス制御リスト(ACL)の使用": flag("persistent_acls"),
    "全ディスク容量": figures(CAPACITY, "total_bytes", "total_clusters"),
    "空ディスク容量": figures(CAPACITY, "free_bytes", "free_clusters"),
    # Its clusters are the caller's bytes over the cluster size: no member.
    "スレッド空ディスク容量": figures(CAPACITY, "caller_free_bytes", None),
    "セクタ・サイズ": figures(SIZE, "sector_size"),
    "クラスタ・サイズ": figures(SIZE + r"=(\d+)セクタ", "cluster_size", "sectors_per_cluster",
                            cluster_size_estimated=False),
    "クラスタ・サイズ(推定値)": figures(SIZE + r"=(\d+)セクタ", "cluster_size",
                                 "sectors_per_cluster", cluster_size_estimated=True),
    "格納可能最大ファイル数": figures(r"(\d+)個", "max_files"),
    "格納可能残りファイル数": figures(r"(\d+)個", "remaining_files"),
}


def report_members(lines, nt_family):
    """The members the document must give for a drive whose text report is
    lines; raises ValueError on a line that is not the report's."""
    members = {}
    for line in lines:
        if not line:
            continue
        key, colon, value = line.lstrip(" ").partition(":")
        if not colon or key not in REPORT_LINES:
            raise ValueError(f"not a line of the report: {line!r}")
        members.update(REPORT_LINES[key](value))
    if "total_bytes" in members:
        # The NT family's figures come from the classic query; the 95
        # family's, for a 32-bit file system (every drive here passes for
        # NTFS), from the 64-bit one, whose caller's share the report
        # shows only where it differs from the free space.
        members["size_query"] = "classic" if nt_family else "extended"
        if not nt_family:
            members.setdefault("caller_free_bytes", members["free_bytes"])
    return members


def text_reports(text):
    """An /a text report cut into drives: name -> lines."""
    reports, lines = {}, None
    for line in text.splitlines():
        key, _, value = line.lstrip(" ").partition(":")
        if key == "ドライブ名":
            lines = reports[value] = []
        if lines is None:
            raise ValueError(f"a line before the first drive: {line!r}")
        lines.append(line)
    return reports


def as_shown(drive):
    """A drive's object as the text report shows it: names in Shift-JIS."""
    return {key: shown(value) if key in ("label", "file_system") else value
            for key, value in drive.items()}


def typed(members):
    """Members with their JSON types, so that 1 is not taken for true nor
    4096.0 for 4096."""
    return {key: (type(value).__name__, value) for key, value in members.items()}


def differing(actual, expected):
    """The members two objects do not share alike: name -> (actual,
    expected), None for a member one of them lacks."""
    actual, expected = typed(actual), typed(expected)
    return {key: (actual.get(key), expected.get(key)) for key in {**expected, **actual}
            if actual.get(key) != expected.get(key)}


def steady(drive):
    """A drive's object without the figures that may change between runs:
    those of the free space, for the drives not made here."""
    if drive.get("drive", "")[:1] in {d.letter for d in MADE}:
        return drive
    return {key: value for key, value in drive.items() if key not in FREE_MEMBERS}


def strict_json(text):
    """RFC 8259 and nothing more: no NaN or Infinity, no member named twice;
    and figures are integers, so no number with a fraction or exponent."""
    def no_repeats(pairs):
        keys = [key for key, _ in pairs]
        if len(keys) != len(set(keys)):
            raise ValueError(f"a member named twice: {keys}")
        return dict(pairs)

    def refused(text):
        raise ValueError(f"not an integer: {text}")

    return json.loads(text, object_pairs_hook=no_repeats, parse_constant=refused,
                      parse_float=refused)


def label_given(label, nt_family, locale):
    """A label as the system gives it to the program: whole in UTF-16 by the
    NT family; by the 95 family in its ANSI code page, where Wine makes each
    UTF-16 unit of a character the code page lacks a "?"."""
    if nt_family:
        return label
    codec = ANSI_CODEC[locale]
    out = []
    for ch in label:
        try:
            ch.encode(codec)
            out.append(ch)
        except UnicodeEncodeError:
            out.append("?" * (2 if ord(ch) > 0xFFFF else 1))
    return "".join(out)


# What a drive answers before its size query.
VOLUME_MEMBERS = ("drive", "type", "type_code", "label", "serial", "max_component_length",
                  "file_system", "case_sensitive_search", "case_preserved_names",
                  "unicode_on_disk", "persistent_acls")


def unanswered(drive):
    """A drive's object in a run where it answers its volume query and then
    nothing within the limit."""
    return dict({key: value for key, value in drive.items() if key in VOLUME_MEMBERS},
                error={"code": "no_answer",
                       "message": f"ディスク({drive['drive']})が{LIMIT}秒以内に応答しません。"})


class Bed:
    """The drives of one mode and the build under test."""

    def __init__(self, wine, check, exe, mode, stallfs):
        self.wine, self.check, self.exe, self.mode = wine, check, exe, mode
        self.bits = pe_bits(exe)
        self.nt_family = mode == "NT"
        self.stallfs = stallfs

    def what(self, text, locale):
        return f"{self.mode}, {locale}: {text} [{self.bits}-bit]"

    def document(self, what, out, err):
        """The drives of a /j run's output, checked to be one document of
        pure ASCII and nothing else; None when it is not."""
        self.check.equal(f"{what}: pure ASCII", [ch for ch in out if not ch.isascii()], [])
        self.check.equal(f"{what}: nothing on standard error", err, "")
        try:
            document = strict_json(out)
        except ValueError as e:
            self.check.equal(f"{what}: parses", str(e), "")
            return None
        if not isinstance(document, dict):
            self.check.equal(f"{what}: an object", document, {"drives": "..."})
            return None
        self.check.equal(f"{what}: a document of drives only", list(document), ["drives"])
        return document.get("drives", [])

    def against_text(self, locale, switches):
        """/a with switches, then at once /a /j with them: the document is
        the text report's drives, member for member.  Returns its drives."""
        what = self.what(f"/a /j {' '.join(switches)}".rstrip(), locale)
        text, text_err, text_code = self.wine.run(self.exe, ["/a"] + switches, locale=locale)
        out, err, code = self.wine.run(self.exe, ["/a", "/j"] + switches, locale=locale)
        self.check.equal(f"{what}: exit codes (text, /j)", (text_code, code), (0, 0))
        self.check.equal(f"{what}: the text report's standard error", text_err, "")
        drives = self.document(what, out, err) or []
        try:
            reports = {name: report_members(lines, self.nt_family)
                       for name, lines in text_reports(text).items()}
        except ValueError as e:
            self.check.equal(f"{what}: the text report read", str(e), "")
            return drives
        self.check.equal(f"{what}: the drives of the text report, in its order",
                         [d.get("drive") for d in drives], list(reports))
        for drive in drives:
            name = drive.get("drive")
            if name in reports:
                self.check.equal(f"{what}: {name} as its text report, members differing",
                                 differing(steady(as_shown(drive)), steady(reports[name])), {})
        return drives

    def named(self, locale, letters):
        """/j with the letters named: the document's drives."""
        what = self.what(f"/j {' '.join(letters)}", locale)
        out, err, code = self.wine.run(self.exe, ["/j"] + letters, locale=locale)
        self.check.equal(f"{what}: exit code", code, 0)
        return self.document(what, out, err) or []

    def labels(self, locale, drives):
        """The made drives' labels in a document: exact as the system gives
        them."""
        self.check.equal(self.what("labels as the system gives them", locale),
                         {d["drive"]: d.get("label") for d in drives
                          if d.get("drive", "")[:1] in {m.letter for m in MADE}},
                         {m.letter + ":": label_given(volume_label_file(m.label_file),
                                                      self.nt_family, locale)
                          for m in MADE})

    def dead_drive(self, locale, whole):
        """/a /j /t3 with the stallfs drive answering its drive type and then
        nothing, its output in a file: the document of the run before, that
        drive's size members replaced by its error."""
        what = self.what(f"/a /j /t{LIMIT}, {DEAD}: dead", locale)
        fs = self.stallfs
        interrupts = fs.log_text().count(b"interrupted")
        fs.stall(after=AFTER_DRIVE_TYPE)
        base = self.wine.baseline(pe_bits(self.exe), fresh=True)
        try:
            out, err, code, seconds = run_to_file(self.wine, self.exe, ["/a", "/j", f"/t{LIMIT}"],
                                                  timeout=LIMIT + SLACK + 10, locale=locale)
        finally:
            fs.ok()
        self.check.equal(f"{what}: exit code", code, 1)
        self.check.equal(f"{what}: stopped at the limit ({seconds:.1f} s, "
                         f"{LIMIT} s to {LIMIT + SLACK} s allowed and the start: "
                         f"{baseline_text(base)})",
                         LIMIT <= seconds < LIMIT + SLACK + start_seconds(base), True)
        # The server logs the interrupt before the program can end.
        self.check.equal(f"{what}: the waiting statfs given up",
                         fs.log_text().count(b"interrupted") > interrupts, True)
        self.check.equal(f"{what}: no process of the run left",
                         wine_processes(self.wine, "volsurvey"), [])
        drives = self.document(what, out, err)
        if drives is None:
            return
        expected = [unanswered(d) if d["drive"] == DEAD + ":" else d for d in whole]
        self.check.equal(f"{what}: the drives of the run before",
                         [d.get("drive") for d in drives], [d["drive"] for d in expected])
        self.check.equal(f"{what}: the others whole, {DEAD} up to its size query; "
                         "members differing",
                         {d.get("drive"): differing(steady(d), steady(e))
                          for d, e in zip(drives, expected) if differing(steady(d), steady(e))},
                         {})


def locale_missing(locale):
    """Wine cannot pose as a system whose locale Linux lacks."""
    def plain(name):
        return name.lower().replace("-", "")

    listed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    return plain(locale) not in {plain(name) for name in listed}


def main():
    opts, wine, check, modes = start_held()
    exe = os.path.abspath(opts.exe)
    letters = [drive.letter for drive in MADE]
    with drive_suite(opts, wine, check, letters, compare=False) as (_, mounts):
        made = {drive.letter: make_drive(drive, mounts, wine) for drive in MADE}
        _, fs = made[DEAD]
        for mode, version in modes:
            wine.configure({drive.letter: drive.kind for drive in MADE}, version=version)
            bed = Bed(wine, check, exe, mode, fs)
            # Held from Wine's start on, while the drive still answers:
            # opening a drive is what makes Wine's server ask it.
            with holding(wine, opts.holder, DEAD):
                for locale in LOCALES:
                    whole = bed.against_text(locale, [])
                    for switches in (["/v"], ["/s"]):
                        bed.against_text(locale, switches)
                    bed.labels(locale, whole)
                    bed.dead_drive(locale, whole)
                if locale_missing(KOREAN):
                    check.skip(bed.what("labels", KOREAN), "the locale is not generated")
                else:
                    bed.labels(KOREAN, bed.named(KOREAN, letters))
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
