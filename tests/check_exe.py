#!/usr/bin/env python3
"""The shipped program stays small and self-contained: under 120 KiB and
importing nothing but KERNEL32.dll and msvcrt.dll, which every Windows has."""

import argparse
import os
import re
import subprocess
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True)
parser.add_argument("--objdump", required=True)
opts = parser.parse_args()

size = os.path.getsize(opts.exe)
dump = subprocess.run([opts.objdump, "-p", opts.exe], capture_output=True, text=True,
                      check=True).stdout
dlls = sorted(set(re.findall(r"DLL Name: (\S+)", dump)))
print(f"{opts.exe}: {size} bytes, imports {', '.join(dlls)}")
ok = size < 120 * 1024 and dlls == ["KERNEL32.dll", "msvcrt.dll"]
sys.exit(0 if ok else 1)
