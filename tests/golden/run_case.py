#!/usr/bin/env python3
"""Runs one end-to-end case of volsurvey and compares exactly what it did.

A case file (UTF-8) holds a few header lines and sections:

    # What the case shows (comment lines are free text)
    args: a "" \\server\share      words; "..." keeps blanks, "" is empty
    env: NAME=value                   an environment variable (repeatable)
    exit: 0                           the expected exit code
    time: 5000                        the milliseconds of scripted time the
                                      run took, on the scenario's clock
    stdout: file                      standard output is a file, read back after
    stdout: full                      standard output is /dev/full instead
    stdout: closed-after 1            a pipe whose reader takes 1 byte and goes
    stderr: full                      standard error is /dev/full (the case's
                                      stderr section stays empty)
    --- scenario                      what the scripted machine answers
    include fixed-c                   pulls in scenarios/fixed-c.scn
    drive A: type=2 ...
    --- stdout                        the exact standard output
    --- stderr                        the exact standard error
    --- json                          standard output is one JSON document,
                                      pure ASCII, parsed and compared field
                                      by field with this one (UTF-8, any
                                      layout); without a stdout section its
                                      bytes are not compared
    --- file volsurvey.cfg crlf       a file beside the scenario, as Shift-JIS;
                                      lines end in LF, or CR LF (crlf) or CR (cr),
                                      and noeol drops the last line end

The program runs with no environment but the case's env: lines and
VOLSURVEY_SIM, so that no variable of the machine leaks into a case.

The program writes Shift-JIS; it is decoded strictly (invalid bytes fail the
case) and control characters other than line feeds and tabs are shown as
<BEL>, <CR> or <0xNN>.  Output that does not end with a line feed ends with
the marker <no newline at end>.  In args and scenarios \\x{NN} is a raw byte.

In an expected stdout or stderr a line "..." stands for any number of lines,
so that a long output can be checked where it matters.

Anywhere in a case \\repeat{N}{TEXT} stands for TEXT written N times, for
inputs and outputs too long to write out.  A header line "bytes: raw" lets
the program's output hold bytes that are no valid Shift-JIS (as when it
echoes an argument that ends in a lead byte); they show as <0xNN>.  A file
section flagged unreadable is written without read permission.  A header line
"stdout-encoding: utf-8" reads standard output as UTF-8 (the monitoring
answer) instead of Shift-JIS.  A `--- result NAME` section is the file NAME
beside the scenario as the run left it (UTF-8; a byte-order mark shows as
<BOM>, a carriage return as <CR>).
"""

import argparse
import codecs
import difflib
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCENARIOS = os.path.join(HERE, "scenarios")
NAMED_CONTROLS = {"\a": "<BEL>", "\r": "<CR>", "\x1b": "<ESC>"}
REPEAT = re.compile(r"\\repeat\{(\d+)\}\{((?:[^{}]|\{[0-9A-Fa-f]{1,2}\})*)\}")


def expand_repeats(text):
    return REPEAT.sub(lambda m: m.group(2) * int(m.group(1)), text)


def to_bytes(text):
    """UTF-8 case text to the Shift-JIS bytes a Japanese Windows would pass."""
    out = bytearray()
    pos = 0
    for m in re.finditer(r"\\x\{([0-9A-Fa-f]{1,2})\}", text):
        out += text[pos:m.start()].encode("cp932")
        out.append(int(m.group(1), 16))
        pos = m.end()
    out += text[pos:].encode("cp932")
    return bytes(out)


def split_args(line):
    args = []
    for m in re.finditer(r'"([^"]*)"|(\S+)', line):
        args.append(m.group(1) if m.group(1) is not None else m.group(2))
    return args


def parse_case(path):
    case = {"args": [], "env": {}, "exit": None, "sections": {}, "raw": False, "stdout": None,
            "encoding": "cp932",
            "stderr_full": False, "time": None}
    section = None
    with open(path, encoding="utf-8", newline="") as f:
        for line in f.read().splitlines(keepends=True):
            line = expand_repeats(line)
            if line.startswith("--- "):
                section = line[4:].strip()
                case["sections"][section] = ""
            elif section is not None:
                case["sections"][section] += line
            elif line.startswith("args:"):
                case["args"] += split_args(line[5:])
            elif line.startswith("env:"):
                name, _, value = line[4:].strip().partition("=")
                case["env"][name] = value
            elif line.startswith("exit:"):
                case["exit"] = int(line[5:])
            elif line.startswith("time:"):
                case["time"] = int(line[5:])
            elif line.strip() == "stderr: full":
                case["stderr_full"] = True
            elif line.startswith("stdout:"):
                case["stdout"] = line[7:].split()
            elif line.strip() == "bytes: raw":
                case["raw"] = True
            elif line.strip() == "stdout-encoding: utf-8":
                case["encoding"] = "utf-8"
            elif line.strip() and not line.startswith("#"):
                raise SystemExit(f"{path}: unknown header line: {line!r}")
    if case["exit"] is None:
        raise SystemExit(f"{path}: no exit: line")
    return case


def read_result(folder, name):
    """A file the program wrote, UTF-8, as a `--- result NAME` section holds
    it: its byte-order mark as <BOM>, line ends shown."""
    path = os.path.join(folder.encode(), to_bytes(name))
    if not os.path.exists(path):
        return "<no such file>\n"
    with open(path, "rb") as f:
        data = f.read()
    bom = data.startswith(b"\xef\xbb\xbf")
    return ("<BOM>" if bom else "") + render(data[3:] if bom else data, name, encoding="utf-8")


def write_file(folder, words, text):
    """A `--- file NAME [crlf|cr] [noeol] [utf-8] [bom] [readonly]` section as
    the bytes of that file: Shift-JIS, or UTF-8 (with its byte-order mark)."""
    name, flags = words[0], set(words[1:])
    end = "\r\n" if "crlf" in flags else "\r" if "cr" in flags else "\n"
    lines = text.split("\n")[:-1] if text else []
    content = end.join(lines) + ("" if "noeol" in flags or not lines else end)
    path = os.path.join(folder.encode(), to_bytes(name))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        if "utf-8" in flags:
            f.write((b"\xef\xbb\xbf" if "bom" in flags else b"") + content.encode("utf-8"))
        else:
            f.write(to_bytes(content))
    if "unreadable" in flags:
        os.chmod(path, 0)
    if "readonly" in flags:
        os.chmod(path, 0o444)


def expand_includes(text):
    lines = []
    for line in text.splitlines():
        if line.startswith("include "):
            with open(os.path.join(SCENARIOS, line.split()[1] + ".scn"), encoding="utf-8") as f:
                lines.append(expand_includes(f.read()))
        else:
            lines.append(line)
    return "\n".join(lines) + "\n"


def show_invalid_bytes(error):
    return "".join("<0x%02X>" % b for b in error.object[error.start:error.end]), error.end


codecs.register_error("volsurvey-show", show_invalid_bytes)


def render(data, stream, raw=False, encoding="cp932"):
    """Program bytes as the readable text the case files hold."""
    try:
        text = data.decode(encoding, errors="volsurvey-show" if raw else "strict")
    except UnicodeDecodeError as e:
        raise SystemExit(f"{stream} is not valid {encoding}: {e}: {data[max(0, e.start - 20):e.end + 20]!r}")
    out = []
    for ch in text:
        if ch in NAMED_CONTROLS:
            out.append(NAMED_CONTROLS[ch])
        elif (ord(ch) < 0x20 and ch not in "\n\t") or ord(ch) == 0x7F:
            out.append("<0x%02X>" % ord(ch))
        else:
            out.append(ch)
    rendered = "".join(out)
    if rendered and not rendered.endswith("\n"):
        rendered += "<no newline at end>\n"
    return rendered


def matches(expected, actual):
    """Exact, or in order around "..." lines (each any number of lines)."""
    if "...\n" not in expected.splitlines(keepends=True):
        return expected == actual
    chunks = [[]]
    for line in expected.splitlines(keepends=True):
        if line == "...\n":
            chunks.append([])
        else:
            chunks[-1].append(line)
    lines = actual.splitlines(keepends=True)
    first, last = chunks[0], chunks[-1]
    if lines[:len(first)] != first or len(lines) < len(first) + len(last):
        return False
    if last and lines[len(lines) - len(last):] != last:
        return False
    pos, end = len(first), len(lines) - len(last)
    for chunk in chunks[1:-1]:
        while pos + len(chunk) <= end and lines[pos:pos + len(chunk)] != chunk:
            pos += 1
        if pos + len(chunk) > end:
            return False
        pos += len(chunk)
    return True


def compare(name, expected, actual):
    if matches(expected, actual):
        return True
    print(f"--- {name} differs (expected vs actual):")
    sys.stdout.writelines(difflib.unified_diff(
        expected.splitlines(keepends=True), actual.splitlines(keepends=True),
        "expected", "actual"))
    return False


def unique_keys(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError(f"a key twice in one object: {keys}")
    return dict(pairs)


def json_differences(expected, actual, path="$"):
    """The places where two parsed documents differ, one line each."""
    if type(expected) is not type(actual):
        return [f"{path}: expected {expected!r}, actual {actual!r}"]
    if isinstance(expected, dict):
        lines = [f"{path}.{k}: missing" for k in expected if k not in actual]
        lines += [f"{path}.{k}: not expected ({actual[k]!r})" for k in actual if k not in expected]
        for k in expected:
            if k in actual:
                lines += json_differences(expected[k], actual[k], f"{path}.{k}")
        return lines
    if isinstance(expected, list):
        if len(expected) != len(actual):
            return [f"{path}: {len(expected)} elements expected, {len(actual)} actual"]
        return [line for i, (e, a) in enumerate(zip(expected, actual))
                for line in json_differences(e, a, f"{path}[{i}]")]
    return [] if expected == actual else [f"{path}: expected {expected!r}, actual {actual!r}"]


def compare_json(expected_text, stdout):
    """Standard output as a JSON document: ASCII only, parsed strictly, and
    equal to the expected one field by field."""
    if any(b > 0x7F for b in stdout):
        print("--- the JSON document holds bytes beyond ASCII")
        return False
    try:
        actual = json.loads(stdout.decode("ascii"), object_pairs_hook=unique_keys)
    except ValueError as e:
        print(f"--- standard output is no JSON document: {e}")
        return False
    differences = json_differences(json.loads(expected_text), actual)
    for line in differences:
        print(f"--- json {line}")
    return not differences


def update_case(path, stdout, stderr, code, results):
    """Rewrites the expectations of a case; read the diff before committing."""
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    head = re.split(r"\n--- (?:stdout|stderr|result .*)\n", text)[0]
    head = re.sub(r"(?m)^exit:.*$", f"exit: {code}", head)
    if not head.endswith("\n"):
        head += "\n"
    tail = "".join(f"--- {section}\n{text}" for section, text in results.items())
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(head + "--- stdout\n" + stdout + "--- stderr\n" + stderr + tail)


def run_program(argv, env, stdout, stderr_full):
    """Runs the program with its standard output captured, or sent where
    the case's stdout: line says; the result as subprocess.run gives it."""
    if stderr_full:
        if stdout is not None:
            raise SystemExit("stderr: full goes with a captured standard output only")
        with open("/dev/full", "wb") as full:
            result = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=full, timeout=20)
        result.stderr = b""
        return result
    if stdout is None:
        return subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=20)
    if stdout in (["file"], ["full"]):
        with tempfile.TemporaryFile() if stdout == ["file"] else open("/dev/full", "wb") as f:
            result = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=f,
                                    stderr=subprocess.PIPE, timeout=20)
            result.stdout = b""
            if stdout == ["file"]:
                f.seek(0)
                result.stdout = f.read()
        return result
    if len(stdout) == 2 and stdout[0] == "closed-after":
        p = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        taken = p.stdout.read(int(stdout[1]))
        p.stdout.close()
        err = p.stderr.read()
        p.wait(timeout=20)
        return subprocess.CompletedProcess(argv, p.returncode, taken, err)
    raise SystemExit(f"unknown stdout: {' '.join(stdout)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--update", action="store_true",
                        help="rewrite the case's stdout, stderr and exit with what the program did")
    parser.add_argument("case")
    opts = parser.parse_args()
    case = parse_case(opts.case)

    env = {b"ASAN_OPTIONS": b"detect_leaks=1"}
    for name, value in case["env"].items():
        env[name.encode()] = to_bytes(value)
    with tempfile.TemporaryDirectory() as tmp:
        for section, text in case["sections"].items():
            if section.startswith("file "):
                write_file(tmp, section.split()[1:], text)
        scenario = os.path.join(tmp, "scenario.scn")
        with open(scenario, "w", encoding="utf-8") as f:
            f.write(expand_includes(case["sections"].get("scenario", "")))
        env[b"VOLSURVEY_SIM"] = scenario.encode()
        time_file = os.path.join(tmp, "time")
        if case["time"] is not None:
            env[b"VOLSURVEY_SIM_TIME"] = time_file.encode()
        argv = [opts.program.encode()] + [to_bytes(a) for a in case["args"]]
        try:
            result = run_program(argv, env, case["stdout"], case["stderr_full"])
        except subprocess.TimeoutExpired:
            raise SystemExit("the program did not finish within 20 seconds")
        took = None
        if case["time"] is not None and os.path.exists(time_file):
            with open(time_file) as f:
                took = int(f.read())
        results = {section: read_result(tmp, section.split()[1])
                   for section in case["sections"] if section.startswith("result ")}

    if opts.update:
        update_case(opts.case, render(result.stdout, "stdout", case["raw"], case["encoding"]),
                    render(result.stderr, "stderr", case["raw"]),
                    result.returncode, results)
        return 0
    ok = True
    if "json" in case["sections"]:
        ok = compare_json(case["sections"]["json"], result.stdout)
    if "json" not in case["sections"] or "stdout" in case["sections"]:
        ok = compare("stdout", case["sections"].get("stdout", ""),
                     render(result.stdout, "stdout", case["raw"], case["encoding"])) and ok
    ok = compare("stderr", case["sections"].get("stderr", ""), render(result.stderr, "stderr", case["raw"])) and ok
    for section, actual in results.items():
        ok = compare(section, case["sections"][section], actual) and ok
    if case["time"] is not None and took != case["time"]:
        print(f"--- scripted time {took} ms, expected {case['time']} ms")
        ok = False
    if result.returncode != case["exit"]:
        print(f"--- exit code {result.returncode}, expected {case['exit']}")
        ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
