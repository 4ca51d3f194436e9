#!/usr/bin/env python3
"""apt-get as it answers while a package mirror is in the middle of a sync,
for the tests of scripts/apt-install.  Each call is logged (FAKE_APT_LOG,
one JSON line: the arguments and, for a pinned install, the preferences
folder and its files).

FAKE_APT_UPDATE_FAILS: how many updates fail as the mirror did (one index of
the size the mirror had not finished writing), "always" for every one.
FAKE_APT_INSTALL: "ok"; "broken" (held broken packages, whatever is
pinned); "pinned" (broken unless the suite whose index failed is pinned
below 500 in the preferences folder given with -o Dir::Etc::PreferencesParts).
"""

import json
import os
import re
import sys

STALE_SUITE = "bookworm-security"
STALE_INDEX = (f"http://mirror.invalid/debian-security/dists/{STALE_SUITE}/main/binary-i386/"
               "Packages.xz")
MIRROR_SYNC = f"""\
W: an unrelated warning
E: Failed to fetch {STALE_INDEX}  File has unexpected size (374820 != 376004). \
Mirror sync in progress? [IP: 192.0.2.1 80]
   Hashes of expected file:
    - Filesize:376004 [weak]
    - SHA256:0f2c
E: Some index files failed to download. They have been ignored, or old ones used instead.
"""
BROKEN = """\
Some packages could not be installed. This may mean that you have
requested an impossible situation or if you are using the unstable
distribution that some required packages have not yet been created
or been moved out of Incoming.
The following information may help to resolve the situation:

The following packages have unmet dependencies:
 libssl3:i386 : Depends: libssl3 (= 3.0.20-1~deb12u1) but 3.0.22-1~deb12u1 is to be installed
 wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed
E: Unable to correct problems, you have held broken packages.
"""


def log(entry):
    with open(os.environ["FAKE_APT_LOG"], "a") as f:
        f.write(json.dumps(entry) + "\n")


def count(kind):
    with open(os.environ["FAKE_APT_LOG"]) as f:
        return sum(1 for line in f if json.loads(line)["args"][:1] == [kind])


def pinned_low(folder):
    """Whether a file of folder pins the stale suite below the release's 500."""
    for name in os.listdir(folder):
        with open(os.path.join(folder, name)) as f:
            text = f.read()
        for stanza in text.split("\n\n"):
            priority = re.search(r"^Pin-Priority: (-?\d+)$", stanza, re.M)
            if f"Pin: release n={STALE_SUITE}" in stanza and priority and \
                    int(priority.group(1)) < 500:
                return True
    return False


def main(args):
    options = [a for i, a in enumerate(args) if i and args[i - 1] == "-o"]
    words = [a for i, a in enumerate(args) if a != "-o" and (not i or args[i - 1] != "-o")
             and not a.startswith("-")]
    entry = {"args": words, "options": options}
    parts = [o.split("=", 1)[1] for o in options if o.startswith("Dir::Etc::PreferencesParts=")]
    if parts:
        entry["preferences"] = parts[0]
        entry["files"] = sorted(os.listdir(parts[0]))
    log(entry)
    if words[0] == "update":
        fails = os.environ.get("FAKE_APT_UPDATE_FAILS", "0")
        if fails == "always" or count("update") <= int(fails):
            sys.stderr.write(MIRROR_SYNC)
            return 100
        return 0
    if words[0] == "install":
        mode = os.environ.get("FAKE_APT_INSTALL", "ok")
        if mode == "ok" or (mode == "pinned" and parts and pinned_low(parts[0])):
            print("Setting up " + " ".join(words[1:]))
            return 0
        sys.stdout.write(BROKEN)
        return 100
    sys.stderr.write(f"fake apt-get: {words[0]} not known\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
