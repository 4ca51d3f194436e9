#!/usr/bin/env python3
"""Unit tests of the Wine checks' own helpers that decide a check's result
without Wine: reading Wine's heap channel out of a standard error, the
fuzzer's models of what the program makes of its input, the suites'
models of a /l line and of a /m answer, and the record suite's reading of
a record and its forecasts (run by the host preset: ctest --preset host -R
wine_helpers)."""

import io
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "golden"))

import fuzz_cases  # noqa: E402
import run_case  # noqa: E402
import test_list  # noqa: E402
import test_monitoring  # noqa: E402
import test_record  # noqa: E402
import wine_heap  # noqa: E402
import winelib  # noqa: E402

TRACE = b"0024:trace:heap:RtlAllocateHeap handle 00C80000, flags 0, size 0x10\n"
DAMAGE = b"0150:err:heap:validate_used_block heap 00C80000, block 00C82138: invalid block tail\n"


def split_like_the_runtime(line):
    """A command line split as the C runtime splits it (after the program
    name): blanks part arguments outside quotes; 2n backslashes before a
    quote give n and the quote opens or closes, 2n+1 give n and a quote."""
    args, current, quoted, pending, i = [], [], False, False, 0
    while i < len(line):
        c = line[i]
        if c == "\\":
            n = len(line[i:]) - len(line[i:].lstrip("\\"))
            if i + n < len(line) and line[i + n] == '"':
                current.append("\\" * (n // 2))
                if n % 2:
                    current.append('"')
                    i += n + 1
                    pending = True
                    continue
                i += n
                continue
            current.append("\\" * n)
            i += n
            pending = True
            continue
        if c == '"':
            quoted = not quoted
            pending = True
        elif c in " \t" and not quoted:
            if pending or current:
                args.append("".join(current))
            current, pending = [], False
        else:
            current.append(c)
            pending = True
        i += 1
    if pending or current:
        args.append("".join(current))
    return args


class HeapChannel(unittest.TestCase):
    def setUp(self):
        winelib.take_heap_errors()

    def test_trace_and_errors_leave_the_program_text_whole(self):
        cases = [
            (b"", "", 0),
            (TRACE * 3, "", 0),
            (b"\r\n\a" + TRACE + "処理停止".encode("cp932") + b"\r\n", "\n\a処理停止\n", 0),
            # A line of Wine's inside a line of the program's.
            ("処理".encode("cp932") + DAMAGE + "停止\r\n".encode("cp932"), "処理停止\n", 1),
            (TRACE + DAMAGE + DAMAGE, "", 2),
            (b"1234:5678:err:heap:x\n", "", 1),  # with the process id
            (b"no tid:err:heap: here\n", "no tid:err:heap: here\n", 0),
        ]
        for stderr, text, errors in cases:
            with self.subTest(stderr=stderr):
                self.assertEqual(winelib.program_errors(stderr), text)
                self.assertEqual(len(winelib.take_heap_errors()), errors)

    def test_a_check_after_a_damaged_run_fails(self):
        winelib.program_errors(DAMAGE)
        checks = winelib.Checks()
        with open(os.devnull, "w") as quiet:
            stdout, sys.stdout = sys.stdout, quiet
            try:
                checks.equal("after the run", 1, 1)
                checks.equal("the next", 1, 1)
            finally:
                sys.stdout = stdout
        self.assertEqual(len(checks.failures), 1)
        self.assertIn("invalid block tail", checks.failures[0])


# A run's heap trace as Wine 8 writes it: the process heap made first, the
# C runtime's heap later, a block of each allocated.
HEAP_TRACE = b"""\
0024:trace:heap:RtlCreateHeap flags 0x2, addr 0000000000000000, total_size 0, commit_size 0
0024:trace:heap:RtlAllocateHeap handle 0000000000340000, flags 0x8, size 0x2000, return 0000000000340370, status 0.
0024:trace:heap:RtlAllocateHeap handle 0000000000340000, flags 0, size 0x28, return 000000000035D380, status 0.
0024:trace:heap:RtlAllocateHeap handle 0000000000340000, flags 0, size 0x1596, return 00000000003612E0, status 0.
0024:trace:heap:RtlCreateHeap flags 0, addr 0000000000000000, total_size 0, commit_size 0
0024:trace:heap:RtlAllocateHeap handle 0000000000C80000, flags 0, size 0x10, return 0000000000C838A0, status 0.
0024:trace:heap:RtlFreeHeap handle 0000000000340000, flags 0, ptr 000000000035D380, return 1, status 0.
"""
# Wine's message for a freed block of its own written to, as the suite met
# it, and the planted overflow of a block the program's malloc gave.
FREED_BLOCK = ("0024:err:heap:validate_used_block heap 0000000000340000, "
               "block 000000000035D378: free block overwritten")
PROGRAM_BLOCK = ("0024:err:heap:validate_used_block heap 0000000000C80000, "
                 "block 0000000000C83898: invalid block tail")
ENVIRONMENT_BLOCK = ("0024:err:heap:validate_used_block heap 0000000000340000, "
                     "block 00000000003612D8: invalid block tail")
UNKNOWN_BLOCK = ("0024:err:heap:validate_used_block heap 0000000000340000, "
                 "block 0000000000399990: free block overwritten")
IMPORTS = {"GetEnvironmentStringsW", "FreeEnvironmentStringsW", "malloc", "free",
           "GetVolumeInformationW"}


class HeapDamageOwner(unittest.TestCase):
    def test_imports_of_a_file_that_is_no_program(self):
        self.assertIsNone(wine_heap.imported_functions(os.path.abspath(__file__)))

    def test_wines_own_only_when_proven(self):
        environment = wine_heap.environment_floor({"PATH": "/usr/bin", "LANG": "C"})
        cases = [
            ("a freed block of Wine's own", HEAP_TRACE, [FREED_BLOCK], IMPORTS, True),
            ("the program's malloc block overrun", HEAP_TRACE, [PROGRAM_BLOCK], IMPORTS, False),
            ("Wine's and the program's at once", HEAP_TRACE, [FREED_BLOCK, PROGRAM_BLOCK],
             IMPORTS, False),
            ("the environment block the program holds", HEAP_TRACE, [ENVIRONMENT_BLOCK],
             IMPORTS, False),
            ("a block the trace does not show", HEAP_TRACE, [UNKNOWN_BLOCK], IMPORTS, False),
            ("a program that allocates from the process heap", HEAP_TRACE, [FREED_BLOCK],
             IMPORTS | {"HeapAlloc"}, False),
            ("a program that takes FormatMessage's buffer", HEAP_TRACE, [FREED_BLOCK],
             IMPORTS | {"FormatMessageW"}, False),
            ("a trace cut at its start", HEAP_TRACE.split(b"\n", 1)[1], [FREED_BLOCK],
             IMPORTS, False),
            ("a message naming no block", HEAP_TRACE, ["0024:err:heap:x heap 340000"],
             IMPORTS, False),
            ("no error at all", HEAP_TRACE, [], IMPORTS, False),
            ("a program whose imports cannot be read", HEAP_TRACE, [FREED_BLOCK], None, False),
        ]
        for what, trace, errors, imports, owned in cases:
            with self.subTest(what):
                found = wine_heap.verdict(trace, errors, imports, environment)
                self.assertEqual(found.wines_own, owned, found.reason)
                self.assertTrue(found.reason)

    def test_the_environment_floor_grows_with_the_environment(self):
        cases = [({}, 0), ({"A": "b"}, 8), ({"A": "b", "WINEDEBUG": "+heap"}, 8),
                 ({"A": "b", "LANG": "ja_JP.UTF-8"}, 8 + 34)]
        for env, floor in cases:
            with self.subTest(env=env):
                self.assertEqual(wine_heap.environment_floor(env), floor)

    def test_a_wine_damaged_run_is_told_and_run_again(self):
        runs = []

        def once(trace):
            def run():
                runs.append(trace)
                return len(runs), trace
            return run

        cases = [
            ("Wine's own damage: told, run again", HEAP_TRACE + FREED_BLOCK.encode(), 2, True),
            ("the program's: its run stands", HEAP_TRACE + PROGRAM_BLOCK.encode(), 1, False),
            ("no damage", HEAP_TRACE, 1, False),
        ]
        exe = os.path.abspath(__file__)  # any file: imports are looked up below
        for what, trace, count, told in cases:
            with self.subTest(what):
                del runs[:]
                output = io.StringIO()
                imports = wine_heap.imported_functions
                wine_heap.imported_functions = lambda _: IMPORTS
                stdout, sys.stdout = sys.stdout, output
                try:
                    result = winelib.unless_wines_own(once(trace), exe,
                                                      {"PATH": "/usr/local/bin:/usr/bin:/bin"})
                finally:
                    sys.stdout = stdout
                    wine_heap.imported_functions = imports
                self.assertEqual(result, count)
                self.assertEqual("Wine's own heap damage, not the program's" in
                                 output.getvalue(), told)
                if told:
                    self.assertIn("free block overwritten", output.getvalue())
                    self.assertIn("process heap (0x340000)", output.getvalue())


class PrefixUpkeep(unittest.TestCase):
    """Prefixes copied from the template, and the restarts that make Wine
    see what a suite changed."""

    def test_a_copy_links_only_the_dll_folders(self):
        with tempfile.TemporaryDirectory() as top:
            template = os.path.join(top, "template")
            files = {"system.reg": "registry", "drive_c/users/root/note.txt": "note",
                     "drive_c/windows/system32/kernel32.dll": "MZ32",
                     "drive_c/windows/syswow64/c_932.nls": "932",
                     "drive_c/windows/system32/c_932.nls": "932"}
            for name, text in files.items():
                path = os.path.join(template, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as f:
                    f.write(text)
            os.makedirs(os.path.join(template, "dosdevices"))
            os.symlink("../drive_c", os.path.join(template, "dosdevices", "c:"))
            copy = os.path.join(top, "copy")
            winelib.copy_prefix(template, copy, leave_out=["c_932.nls"])

            def same_file(name):
                return os.path.samefile(os.path.join(template, name), os.path.join(copy, name))
            self.assertTrue(same_file("drive_c/windows/system32/kernel32.dll"))
            for name in ("system.reg", "drive_c/users/root/note.txt"):
                with open(os.path.join(copy, name)) as f:
                    self.assertEqual((f.read(), same_file(name)), (files[name], False), name)
            for dlls in ("system32", "syswow64"):
                name = f"drive_c/windows/{dlls}/c_932.nls"
                self.assertEqual((os.path.exists(os.path.join(template, name)),
                                  os.path.exists(os.path.join(copy, name))), (True, False), name)
            self.assertEqual(os.readlink(os.path.join(copy, "dosdevices", "c:")), "../drive_c")

    def test_restarts_only_when_the_server_has_not_seen_a_change(self):
        class Recorded(winelib.Wine):
            def __init__(self, prefix):
                # Wine's own commands answer at once; a restart is counted.
                self.prefix, self._current, self._drive_types = prefix, True, {}
                self.restarts = 0

            def command(self, argv, timeout=120, check=True):
                return subprocess.CompletedProcess(argv, 0, b"", b"")

            def restart(self):
                self.restarts += 1
                self._current = True

        steps = [
            ("a drive type not written before", lambda w: w.configure({"q": "hd"}), 1),
            ("the same type, another version", lambda w: w.configure({"q": "hd"}, "win98"), 0),
            ("the version alone", lambda w: w.set_version(None), 0),
            ("another type", lambda w: w.configure({"q": "cdrom"}), 1),
            ("a drive mapped, then the version",
             lambda w: (w.map_drive("q", "/nowhere"), w.set_version("win98")), 1),
            ("a type removed", lambda w: w.configure({"q": None}), 1),
            ("the server stopped, then the version",
             lambda w: (w.stop(), w.configure(version=None)), 1),
        ]
        with tempfile.TemporaryDirectory() as top:
            wine = Recorded(os.path.join(top, "prefix"))
            for what, step, restarts in steps:
                before = wine.restarts
                step(wine)
                self.assertEqual(wine.restarts - before, restarts, what)


class ProgramModels(unittest.TestCase):
    def test_whole_shift_jis(self):
        cases = [(b"", None), (b"abc\r\n", None), ("表示ｱ".encode("cp932"), None),
                 (b"\x80\xa0\xfd", None), (b"ab\x82", 2), (b"\x82:", 0), (b"a\x9f\r\n", 1),
                 (b"\x95\x5c\x82\x7f", 2), (b"\xfc\xfc", None), (b"\xe0\x3f", 0)]
        for data, split in cases:
            with self.subTest(data=data):
                self.assertEqual(fuzz_cases.whole_shift_jis(data), split)

    def test_the_program_text_of_each_family(self):
        cases = [
            ("a表ｱ", "nt", "C.UTF-8", "a表ｱ".encode("cp932")),
            ("é한\U0001F600", "nt", "C.UTF-8", b"???"),  # a surrogate pair is one character
            ("\ud800\udc00", "nt", "C.UTF-8", b"?"),  # ... even written as two
            ("\udc00\ud800", "nt", "C.UTF-8", b"??"),  # unpaired, each one
            ("\u2170", "nt", "C.UTF-8", b"\xfa\x40"),  # the IBM code, as Windows writes it
            ("é", "98", "C.UTF-8", b"\xe9"),
            ("é", "98", "ja_JP.UTF-8", None),  # best fit: not known here
            ("表", "98", "ja_JP.UTF-8", "表".encode("cp932")),
            ("表", "98", "C.UTF-8", None),
            ("\ud800", "98", "C.UTF-8", None),
        ]
        for text, family, locale, expected in cases:
            with self.subTest(text=text, family=family, locale=locale):
                self.assertEqual(fuzz_cases.program_bytes(text, family, locale), expected)

    def test_drive_roots(self):
        cases = [(b"c", b"C:\\"), (b"q:\\x", b"Q:\\"), (b"\x82\xa0", b"\x82:\\"), (b"", None),
                 (b"\\\\srv\\sh", b"\\\\srv\\sh\\"), (b"\\\\srv\\sh\\a\\b", b"\\\\srv\\sh\\"),
                 (b"\\\\srv", None), (b"\\srv\\sh", None), (b"\\\\srv\\", b"\\\\srv\\\\")]
        for argument, root in cases:
            with self.subTest(argument=argument):
                self.assertEqual(fuzz_cases.drive_root(argument), root)

    def test_arguments_come_back_as_written(self):
        cases = ["", "a", "a b", "\t", '"', 'a"b', "a\\", "a\\\\", "a b\\", "a b\\\\", '\\"',
                 '\\\\"', 'x\\\\\\"y z', "\\\\srv\\share", '""', "\ud800 \\", "%a b%"]
        for argument in cases:
            with self.subTest(argument=argument):
                line = fuzz_cases.command_line("prog", ["first", argument, "last"])
                self.assertEqual(split_like_the_runtime(line.split(" ", 1)[1]),
                                 ["first", argument, "last"])

    def test_cases_follow_their_keys(self):
        first = fuzz_cases.draw_case("nt-en-1-1", "nt", "C.UTF-8")
        self.assertEqual(first, fuzz_cases.draw_case("nt-en-1-1", "nt", "C.UTF-8"))
        others = [fuzz_cases.draw_case(f"nt-en-1-{i}", "nt", "C.UTF-8") for i in range(2, 40)]
        self.assertGreater(len({repr(c) for c in others}), 35)


def members(drive, kind, fs, label, total, free):
    return dict(drive=drive, type=kind, file_system=fs, label=label, total_bytes=total,
                free_bytes=free)


class ListModel(unittest.TestCase):
    """The list suite's model of a /l line, against lines of the golden
    cases, and its reading of the console's colours."""

    def test_lines_of_the_golden_cases(self):
        cases = [
            (members("B:", "REMOVABLE", "FAT", "ｱｲｳｴｵｶｷｸｹｺｻｼｽ", 512, 0),
             "  B:       REMOVABLE FAT    ｱｲｳｴｵｶｷｸｹｺ..      512        0   100% [##########]"),
            (members("C:", "FIXED", "NTFS", "システム", 10 << 30, 1 << 30),
             "  C:       FIXED     NTFS   システム        10.0G     1.0G    90% [#########.]"),
            (members("E:", "FIXED", "NTFS", "データベース用ボリューム", 10 << 30, 0),
             "  E:       FIXED     NTFS   データベー..    10.0G        0   100% [##########]"),
            (members("G:", "RAMDISK", "FAT32", "Aデータベース", 10 << 30, 10 << 30),
             "  G:       RAMDISK   FAT32  Aデータベ..     10.0G    10.0G     0% [..........]"),
            (members("H:", "不明", "VeryLongFsName", "ODD", 4096000, 36864),
             "  H:       不明      Very.. ODD              3.9M    36.0K   100% [#########.]"),
            (members("R:", "REMOTE", "NTFS", "12345678901", 4096000, 4096),
             "  R:       REMOTE    NTFS   12345678901      3.9M     4.0K   100% [#########.]"),
            (members("Z:", "FIXED", "NTFS", "", 1024, 1024),
             "  Z:       FIXED     NTFS                    1.0K     1.0K     0% [..........]"),
            (members("D:", "FIXED", "NTFS", "DATA", 1000000009, 100000001),
             "  D:       FIXED     NTFS   DATA           953.6M    95.3M    90% [########..]"),
        ]
        for report, line in cases:
            with self.subTest(drive=report["drive"]):
                self.assertEqual(test_list.line_for(report), line)
        self.assertEqual(test_list.line_for(members("N:", "REMOTE", "NTFS", "FAR", 1, 1),
                                            word="応答なし"),
                         "  N:       REMOTE    NTFS   FAR          応答なし")

    def test_free_space_drifts_only_so_far(self):
        report = members("Z:", "FIXED", "NTFS", "", 100 << 30, 40 << 30)
        expected = test_list.line_for(report)

        def at(free, **changes):
            return test_list.line_for(dict(report, free_bytes=free, **changes))

        cases = [
            (expected, expected),
            # 10 MiB taken since the report: the same tenth of a G.
            (at((40 << 30) - (10 << 20)), expected),
            # 200 MiB later, a percent further on; 1 GiB later, too far.
            (at((40 << 30) - (200 << 20)), expected),
            (at((40 << 30) + (200 << 20)), expected),
            (at(39 << 30), None),
            # A share or a bar that no free space near the report's gives.
            (at(40 << 30).replace("60%", "59%"), None),
            (at(40 << 30).replace("[######....]", "[####......]"), None),
            # A total that differs, figures out of their columns, another
            # drive: never.
            (at(40 << 30, total_bytes=101 << 30), None),
            (expected.replace("  40.0G", " 40.0G "), None),
            (expected.replace("Z:", "Y:"), None),
        ]
        for actual, settled in cases:
            with self.subTest(actual=actual):
                self.assertEqual(test_list.drifted(actual, expected, report, 256 << 20),
                                 settled or actual)

    def test_colours_carry_from_row_to_row(self):
        own, red = (None, None), ("91", None)
        cases = [
            ("plain \x1b[91mRED\x1b[39m back", [("plain RED back", {own, red})]),
            ("\x1b[91m! C:\x1b[39m\n  D:", [("! C:", {red}), ("  D:", {own})]),
            # A colour left on reaches the next command's text.
            ("\x1b[91m! C:\nAFTER", [("! C:", {red}), ("AFTER", {red})]),
            ("\x1b[1;38;5;9;44mX\x1b[0m Y\x1b[97;49mZ",
             [("X YZ", {("38;5;9", "44"), own, ("97", None)})]),
            ("\x1b[91m   \x1b[mA", [("   A", {own})]),
        ]
        for capture, rows in cases:
            with self.subTest(capture=capture):
                self.assertEqual(test_list.colours(capture), rows)

    def test_text_drawn_in(self):
        own, red = (None, None), ("91", None)
        after = test_list.AFTER_RUN
        cases = [
            (f"\x1b[91m! C: 10G\x1b[39m\n{after}", {own}),
            # The run ended in the middle of a red line: the text after it
            # on the same row is in its own colours, the row is not.
            (f"\x1b[91m! C: 1\x1b[39m{after}", {own}),
            (f"\x1b[91m! C: 10G\n{after}", {red}),
            (f"{after[:3]}\x1b[91m{after[3:]}", {own, red}),
            ("\x1b[91m! C: 10G", set()),
        ]
        for capture, drawn in cases:
            with self.subTest(capture=capture):
                self.assertEqual(test_list.drawn_in(capture, after), drawn)

    def test_figures_columns_count_as_a_terminal_does(self):
        heading = test_list.HEADING
        # The report's lines as test_list.line_for lays them out.
        j = test_list.line_for(members("J:", "FIXED", "NTFS", "Aデータベース用ボリューム",
                                       64 << 20, 4096))
        k = test_list.line_for(members("K:", "RAMDISK", "NTFS", "ｱｲｳｴｵｶｷｸｹｺｻｼｽ",
                                       64 << 20, 63 << 20))
        at = (49, 66)
        cases = [
            ([heading, j, k], {"heading": at, "J:": at, "K:": at}),
            # "…" is one column in a UTF-8 terminal, two bytes in Shift-JIS.
            ([heading, j.replace("..", "…"), k],
             {"heading": at, "J:": (48, 65), "K:": at}),
            # The heading as a console without code page 932 shows it:
            # found by its place, counted all the same.
            ([heading.encode("cp932").decode("cp437"), k], {"heading": at, "K:": at}),
            # A drive without figures, a row before the list, a wrapped row.
            (["C:\\>volsurvey /l", heading,
              "  E:       REMOTE    NTFS   GONE_E       応答なし", k[:40], k[40:]],
             {"heading": at}),
            # The second drive's row is no heading when the first has none.
            (["  X:       FIXED     NTFS   A  1 2 3 4", k], {"K:": at}),
        ]
        for rows, columns in cases:
            with self.subTest(rows=rows):
                self.assertEqual(test_list.figures_columns(rows), columns)


class MonitoringModel(unittest.TestCase):
    """The monitoring suite's reading of a plugin's output, and its model of
    the /m answer against the golden cases of the scripted build."""

    def test_output_read_as_the_plugin_interface_lays_it_out(self):
        item = test_monitoring.PerfItem
        output = ("X OK - fine | 'a b'=1B;2;3;0;4 'It''s %'=5.50%;;;0;100 c=-1\n"
                  "line 1\nline 2 | d=2;@1:2;~:3\ne=.5s\n")
        answer = test_monitoring.parse_answer(output)
        self.assertEqual((answer.text, answer.long), ("X OK - fine ", ["line 1", "line 2 "]))
        self.assertEqual(answer.perfdata, "'a b'=1B;2;3;0;4 'It''s %'=5.50%;;;0;100 c=-1 "
                                          "d=2;@1:2;~:3 e=.5s")
        self.assertEqual(answer.items, [
            item("a b", "1", "B", "2", "3", "0", "4"),
            item("It's %", "5.50", "%", "", "", "0", "100"),
            item("c", "-1", ""), item("d", "2", "", "@1:2", "~:3"), item("e", ".5", "s")])
        self.assertEqual(test_monitoring.parse_answer("X OK\n"),
                         test_monitoring.Answer("X OK", "", [], []))
        for bad in ("X OK", "X | 'a=1\n", "X | a=\n", "X | a=1;2;3;4;5;6\n", "X | a=1 b\n",
                    "X | 'a'b'=1\n", "X | a=1B;x\n", "X | a=1;;;0;y\n", "X | a=1,5\n"):
            with self.subTest(output=bad), self.assertRaises(ValueError):
                test_monitoring.parse_answer(bad)

    def test_answers_of_the_golden_cases(self):
        """Each case's drives, as its answer tells them (figures from the
        performance data, what failed from the long text), give its answer
        and exit code again: the states and their order, the levels in
        bytes and percent, the rounding of every figure."""
        folder = os.path.join(os.path.dirname(HERE), "golden", "cases")
        for name in ("monitor-all-ok", "monitor-dead-beside-critical", "monitor-levels",
                     "monitor-names", "monitor-unknown", "monitor-wins"):
            with self.subTest(case=name):
                case = run_case.parse_case(os.path.join(folder, name + ".test"))
                output = case["sections"]["stdout"]
                answer = test_monitoring.parse_answer(output)
                figures = {i.label[:-len(" used")]: (int(i.max), int(i.value))
                           for i in answer.items if i.label.endswith(" used")}
                drives = []
                for line in answer.long:
                    drive, state, told = re.fullmatch(
                        r"(.+) (OK|WARNING|CRITICAL|UNKNOWN), (.*)", line).groups()
                    if state == "UNKNOWN":
                        drives.append(test_monitoring.Drive(drive, trouble=told))
                    elif drive in figures:
                        total, used = figures[drive]
                        drives.append(test_monitoring.Drive(drive, total=total,
                                                            free=total - used))
                    else:
                        drives.append(test_monitoring.Drive(drive))
                self.assertEqual(test_monitoring.expected_answer(drives, case["args"]),
                                 (output, case["exit"]))

    def test_a_cd_is_never_past_a_level(self):
        """Nor do its figures carry levels that a graph would draw it past."""
        disc = test_monitoring.Drive("D:", "CD-ROM", 2048, 0)
        self.assertEqual(test_monitoring.expected_answer([disc], ["/u1,2"]),
                         ("VOLSURVEY OK - 1 drive OK | 'D: used'=2048B;;;0;2048 "
                          "'D: used %'=100.00%;;;0;100\nD: OK, 100% used, 0B free of 2.0K\n", 0))

    def test_figures_rounded_as_the_answer_rounds_them(self):
        """The share in use: up to a whole percent in the text, to the
        nearest hundredth (a half up) in the performance data; levels in
        bytes the least count at or past the share."""
        cases = [
            (2, 3, "CRITICAL, 67% used, 1B free of 3B", "=2B;1;1;0;3", "=66.67%"),
            (1, 20000, "OK, 1% used, 19.5K free of 19.5K", "=1B;200;400;0;20000", "=0.01%"),
            (1, 200000, "OK, 1% used, 195.3K free of 195.3K", "=1B;2000;4000;0;200000", "=0.00%"),
            (1999, 200000, "OK, 1% used, 193.3K free of 195.3K", "=1999B;2000;4000;0;200000",
             "=1.00%"),
            (0, 1 << 40, "OK, 0% used, 1024.0G free of 1024.0G", "=0B;10995116278;21990232556;0;"
             "1099511627776", "=0.00%"),
        ]
        for used, total, told, used_item, share_item in cases:
            with self.subTest(used=used, total=total):
                drive = test_monitoring.Drive("C:", "FIXED", total, total - used)
                output, code = test_monitoring.expected_answer([drive], ["/u1,2"])
                self.assertEqual(output.splitlines()[1], "C: " + told)
                self.assertIn(f"'C: used'{used_item} 'C: used %'{share_item};1;2;0;100",
                              output)

    def test_levels_of_a_command_line(self):
        self.assertEqual(test_monitoring.levels_given(
            ["/m", "/u80,90", "/f20G,5G", "/uD:=95", "/Fc:\\Data=1t,10K", "/uE:=-", "/u70"]),
            {("u", None): (None, 70), ("f", None): (20 << 30, 5 << 30), ("u", "D:"): (None, 95),
             ("f", "C:\\DATA"): (1 << 40, 10 << 10), ("u", "E:"): (None, None)})

    def test_what_nagios_keeps(self):
        """Answers as Nagios Core 4.4.6 kept them in status.dat (measured,
        see NOTES.md)."""
        cases = [
            ("X WARNING - a; b  | 'C: used'=1B;2;3;0;4   'It''s %'=5%;;;0;100  \n"
             "line; one \nline two \u00e9\n\n", 1,
             ("X WARNING - a: b", "'C: used'=1B;2;3;0;4   'It''s %'=5%;;;0;100",
              "line; one \\nline two \u00e9\\n")),
            ("X OK - C:\\Data; a | x=1\nC:\\Data OK, 5% used\nL2\n", 0,
             ("X OK - C:\\Data: a", "x=1", "C:\\\\Data OK, 5% used\\nL2")),
            ("VOLSURVEY UNKNOWN - invalid option /u90,80\r\n", 3,
             ("VOLSURVEY UNKNOWN - invalid option /u90,80", "", "")),
        ]
        for output, code, (text, perfdata, long) in cases:
            with self.subTest(output=output):
                self.assertEqual(test_monitoring.nagios_view(output, code),
                                 {"current_state": str(code), "plugin_output": text,
                                  "performance_data": perfdata, "long_plugin_output": long})

    def test_two_answers_a_moment_apart(self):
        names = ["C:", "Z:"]
        a = ("VOLSURVEY WARNING - C: 85% used, 1.5G free; 1 drive OK | 'C: used'=85B;1;2;0;100 "
             "'C: used %'=85.00%;80;90;0;100 'D: used'=5B;;;0;10\nC: WARNING, 85% used, 1.5G "
             "free of 10.0G\nD: OK, 50% used, 5B free of 10B\n")
        b = a.replace("85B", "86B").replace("85.00%", "86.00%").replace("1.5G", "1.4G")
        self.assertEqual(test_monitoring.steady(a, names), test_monitoring.steady(b, names))
        for other in (a.replace("'D: used'=5B", "'D: used'=6B"), a.replace("WARNING, 85", "OK, 85"),
                      a.replace("of 10.0G", "of 9.0G")):
            self.assertNotEqual(test_monitoring.steady(a, names),
                                test_monitoring.steady(other, names))
        # As Nagios keeps the long text: its lines parted by "\n" as written.
        kept = "C: OK, 5% used, 9.5G free of 10.0G\\nZ: OK, 1% used, 1.0G free of 1.0G"
        self.assertEqual(test_monitoring.steady(kept, names),
                         "C: OK, #% used, # free of 10.0G\\nZ: OK, #% used, # free of 1.0G")


def series(earlier, used_now, now="2026-12-10T03:15:00Z", total=10 << 30):
    """A drive's readings: (seconds before now, used bytes) each, then now's;
    (earlier readings and now's, now's)."""
    base = test_record.utc_seconds(now)

    def at(seconds, used, drive="C:", serial=0x1C2D3E4F):
        return test_record.Reading(base - seconds, drive, serial, total, total - used,
                                   total - used)
    own = at(0, used_now)
    return [at(*point) for point in earlier] + [own], own


class RecordModel(unittest.TestCase):
    """The record suite's reading of a line and its least-squares forecast,
    against the golden cases and the edges of the definition."""

    def test_lines_read_as_the_format_has_them(self):
        good = b"2026-12-09T03:15:00Z,C:,1C2D3E4F,10737418240,2147483648,2147483648\r\n"
        cases = [
            (good, ("C:", 0x1C2D3E4F, 10737418240, 2147483648)),
            (b'"2026-12-09T03:15:00Z","C:","1C2D3E4F","1","0","0"\r\n',
             ("C:", 0x1C2D3E4F, 1, 0)),
            ('2026-12-09T03:15:00Z,"ログ,""2""",0000ABCD,1,0,0\r\n'.encode(),
             ('ログ,"2"', 0xABCD, 1, 0)),
            (good[:-2], None),  # cut before its line end
            (good.replace(b"1C2D3E4F", b"1c2d3e4f"), None),
            (good.replace(b"12-09", b"02-30"), None),
            (good.replace(b"03:15", b"24:15"), None),
            (good.replace(b",2147483648\r", b",02147483648\r"), None),
            (good.replace(b"10737418240", b"18446744073709551616"), None),
            (good.replace(b",C:,", b",,"), None),
            (good.replace(b"\r\n", b",0\r\n"), None),
            (b'2026-12-09T03:15:00Z,"C:,1C2D3E4F,1,0,0\r\n', None),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                r = test_record.parse_line(line)
                self.assertEqual(r and (r.drive, r.serial, r.total, r.free), expected)

    def test_forecasts(self):
        day, gib, total = 86400, 1 << 30, 10 << 30
        golden_c = [(3 * day, 6 * gib), (2 * day, 7 * gib), (day, 8 * gib)]
        used = 9 * gib
        cases = [
            # The golden cases: a gigabyte a day with one left; too short;
            # emptying.
            ("golden C:", golden_c, used, (gib, 1)),
            ("golden D:", [(day, 5 * gib)], 5 * gib, (None, None)),
            ("golden E:", [(2 * day, 5 * gib), (day, 4 * gib)], 3 * gib, (-gib, None)),
            ("three readings less than a day apart", [(day - 1, gib), (60, 2 * gib)], 3 * gib,
             (None, None)),
            # A byte a day, counted only with the reading at the week's edge;
            # the one a second before it would make it much more.
            ("the week's edge counts, a second past it not",
             [(7 * day + 1, 0), (7 * day, used - 7), (day, used - 1)], used, (1, total - used)),
            ("a reading ahead of the run left out", golden_c + [(-day, 0)], used, (gib, 1)),
            # Slopes of exactly half a byte a day, rounded away from zero.
            ("half a byte a day more", [(2 * day, used - 1), (day, used - 1)], used,
             (1, total - used)),
            ("half a byte a day less", [(2 * day, used + 1), (day, used + 1)], used, (-1, None)),
            # Free counts above the total: nothing in use, not less.
            ("no use below nothing", [(2 * day, -2), (day, -1)], 0, (0, None)),
        ]
        for what, earlier, used_now, expected in cases:
            with self.subTest(what=what):
                readings, own = series(earlier, used_now)
                self.assertEqual(test_record.forecast(readings, own), expected)
        # Other series under the same name or with the same serial.
        readings, own = series(golden_c, used)
        others = [test_record.Reading(own.time - day, name, serial, total, total, total)
                  for name, serial in (("C:", 1), ("D:", own.serial))]
        self.assertEqual(test_record.forecast(readings + others, own), (gib, 1))


if __name__ == "__main__":
    unittest.main()
