#!/usr/bin/env python3
"""Unit tests of the Wine checks' own helpers that decide a check's result
without Wine: reading Wine's heap channel out of a standard error, and the
fuzzer's models of what the program makes of its input (run by the host
preset: ctest --preset host -R wine_helpers)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fuzz_cases  # noqa: E402
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


if __name__ == "__main__":
    unittest.main()
