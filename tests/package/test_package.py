#!/usr/bin/env python3
"""The release as a Windows user gets it: scripts/package with a fixed
SOURCE_DATE_EPOCH, then each zip unpacked and checked under Wine, and a
second packaging from a fresh clone of the committed sources, which must
give the same bytes.

    tests/package/test_package.py [--no-clone]
"""

import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from release import MANUAL_HEADING, VERSION_HEADING, project_version, run_installed  # noqa: E402,E501
from winelib import WINE64, Checks, Wine, program_errors, windows_path  # noqa: E402

EPOCH = "1113868800"  # 19 April 2005, the date of the end-to-end cases
MEMBERS = ["volsurvey.exe", "volsurvey.cfg", "readme.txt", "LICENSE.txt"]
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}
MANIFEST_TAGS = {"assembly", "trustInfo", "security", "requestedPrivileges",
                 "requestedExecutionLevel", "compatibility", "application", "supportedOS"}


def package(root, env):
    subprocess.run([os.path.join(root, "scripts", "package")], cwd=root, check=True,
                   env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH, **env),
                   stdout=subprocess.DEVNULL)
    return os.path.join(root, "build", "dist")


def digests(dist):
    return {name: hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest()
            for name in sorted(os.listdir(dist))}


def is_shift_jis_crlf(data):
    try:
        data.decode("cp932")
    except UnicodeDecodeError:
        return False
    return b"\r" not in data.replace(b"\r\n", b"") and b"\n" not in data.replace(b"\r\n", b"")


def probe(wine, exe):
    result = subprocess.run([WINE64, os.path.join(ROOT, "build", "win64", "version_probe.exe"),
                             windows_path(exe)], env=wine.run_env(), capture_output=True,
                            timeout=60)
    return dict(line.split("=", 1) for line in result.stdout.decode("utf-8").splitlines())


def manifest_facts(text):
    root = ET.fromstring(text)
    tags = {element.tag.split("}")[1] for element in root.iter()}
    levels = [e.get("level") for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
    ids = {e.get("Id") for e in root.iter() if e.tag.endswith("supportedOS")}
    return tags, levels, ids


def drive_report(wine, files):
    """The volume report of C: by the program installed with `files`."""
    result = run_installed(wine, files, ["/s", "c"])
    return result.stdout, program_errors(result.stderr), result.returncode


def check_zip(check, wine, path, bits):
    with zipfile.ZipFile(path) as z:
        check.equal(f"{bits}: members in order", z.namelist(), MEMBERS)
        times = {info.date_time for info in z.infolist()}
        check.equal(f"{bits}: member times from SOURCE_DATE_EPOCH", times, {(2005, 4, 19, 0, 0, 0)})
        files = {name: z.read(name) for name in z.namelist()}
    for name in ("readme.txt", "volsurvey.cfg", "LICENSE.txt"):
        check.equal(f"{bits}: {name} is Shift-JIS with CR LF only", is_shift_jis_crlf(files[name]),
                    True)
    sample = files["volsurvey.cfg"].decode("cp932").split("\r\n")[:-1]
    check.equal(f"{bits}: every line of the sample a comment",
                [line for line in sample if not line.startswith("#")], [])

    with tempfile.TemporaryDirectory(dir=os.path.join(ROOT, "build")) as folder:
        exe = os.path.join(folder, "volsurvey.exe")
        with open(exe, "wb") as f:
            f.write(files["volsurvey.exe"])
        check.equal(f"{bits}: program under 120 KiB", os.path.getsize(exe) < 120 * 1024, True)
        facts = probe(wine, exe)
        version = project_version()
        expected = {"FILEVERSION": version + ".0.0", "PRODUCTVERSION": version + ".0.0",
                    "Translation": "041104b0", "FileDescription": "ディスク状態表示コマンド",
                    "ProductName": "volsurvey", "FileVersion": version, "ProductVersion": version,
                    "OriginalFilename": "volsurvey.exe", "InternalName": "volsurvey.exe",
                    "LegalCopyright": "Copyright (C) 2005 The volsurvey Authors."}
        check.equal(f"{bits}: version resource",
                    {k: facts.get(k) for k in expected}, expected)
        tags, levels, ids = manifest_facts(facts.get("manifest", "<none/>"))
        check.equal(f"{bits}: manifest holds nothing else", tags, MANIFEST_TAGS)
        check.equal(f"{bits}: manifest asks to run as the invoker", levels, ["asInvoker"])
        check.equal(f"{bits}: manifest names Vista to 10/11", ids, SUPPORTED_OS)

    without_sample = {k: v for k, v in files.items() if k != "volsurvey.cfg"}
    check.equal(f"{bits}: the sample changes no report", drive_report(wine, files),
                drive_report(wine, without_sample))
    result = run_installed(wine, files, ["/?"])
    manual, code = result.stdout, result.returncode
    text = manual.decode("cp932").replace("\r\n", "\n")
    check.contains(f"{bits}: the help lists the sample as empty", text,
                   "・設定ファイル=C:\\Tools\\volsurvey.cfg\n・現在設定=\n・スイッチ文字=")
    readme = files["readme.txt"]
    head = (MANUAL_HEADING + "\r\n\r\n").encode("cp932")
    start = readme.find(head) + len(head)
    end = readme.find(("\r\n" + VERSION_HEADING).encode("cp932"))
    check.equal(f"{bits}: the readme's manual is the help", (readme[start:end], code),
                (manual, 1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--no-clone", action="store_true",
                        help="skip the second packaging from a clean clone")
    opts = parser.parse_args()
    check = Checks()
    prefix = os.path.join(ROOT, "build", "wineprefix")
    dist = package(ROOT, {})
    print("packaged:", digests(dist))
    if not opts.no_clone:
        with tempfile.TemporaryDirectory() as clone:
            subprocess.run(["git", "clone", "-q", ROOT, clone], check=True)
            again = digests(package(clone, {"VOLSURVEY_WINEPREFIX": prefix}))
            print("from a clean clone:", again)
            check.equal("two packagings give the same bytes", again, digests(dist))

    version = project_version()
    wine = Wine(prefix)
    for bits in ("win32", "win64"):
        path = os.path.join(dist, f"volsurvey-{version}-{bits}.zip")
        check.equal(f"{bits}: zip written", os.path.exists(path), True)
        check_zip(check, wine, path, bits)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
