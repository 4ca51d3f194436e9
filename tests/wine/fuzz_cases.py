"""Inputs for the fuzzer of the Windows build (fuzz_program.py), and what
the program makes of them.

A case is an argument vector, an environment and a configuration file,
drawn from a seeded random generator for one family of Windows (NT or the
95 family) in one locale.  Texts are Python strings of UTF-16 code units:
they may hold unpaired surrogates, which only CreateProcessW can hand over
(run_wide.cpp).

What the program sees of them depends on the family.  The NT family gives it
UTF-16, which it turns into Shift-JIS itself, "?" for each character without
an exact form; the 95 family gives it the bytes of the system's ANSI code
page, which Wine makes with the code page's best-fit table: where a text has
a character the code page cannot spell exactly, what the program sees is not
known here, and such a case is checked for its invariants only.
"""

import random
from dataclasses import dataclass, field
from typing import List, Optional, Tuple

# --- Characters -------------------------------------------------------------

ASCII = "".join(chr(c) for c in range(0x20, 0x7F))
SPECIALS = ' "\\/-%=:?#;\t'
HALF_WIDTH_KANA = "".join(chr(c) for c in range(0xFF61, 0xFFA0))
# Shift-JIS characters whose second byte is 0x5C, the backslash.
BACKSLASH_TRAILS = "表ソ能予十貼ポ"
JAPANESE = "あいうえおアイウエオ日本語漢字設定山田、。・＼～" + BACKSLASH_TRAILS
WESTERN = "éñüßæø€™Œ¥"  # code page 1252 has them, Shift-JIS does not
NEITHER = ["한", "글", "ą", "ก", "א", "\u2016", "\ufffd", "\ufeff", "\U0001F600",
           "\U00020B9F"]
UNPAIRED = ["\ud800", "\udbff", "\udc00", "\udfff", "\udc00\ud800"]
CONTROLS = ["\x01", "\x1a", "\x7f", "\n", "\r", "\x1b"]
# Where the characters of a text come from, and how often.
POOLS = [ASCII, SPECIALS, HALF_WIDTH_KANA, JAPANESE, WESTERN, NEITHER, UNPAIRED, CONTROLS]
POOL_WEIGHTS = [40, 12, 6, 12, 8, 8, 4, 2]

ANSI_CODE_PAGE = {"C.UTF-8": 1252, "ja_JP.UTF-8": 932}
LONGEST_COMMAND_LINE = 32767
# Room on the command line for the program's own path.
PROGRAM_ROOM = "P" * 300


def _ibm_forms():
    """Code page 932 has two codes for the IBM extension characters; Python
    writes the NEC row (0xED, 0xEE), Windows and Wine the IBM one (0xFA to
    0xFC).  Measured under Wine: that is the only difference between the
    two tables of exact forms."""
    forms = {}
    for lead in (0xFA, 0xFB, 0xFC):
        for trail in range(0x40, 0xFD):
            code = bytes([lead, trail])
            try:
                character = code.decode("cp932")
            except UnicodeDecodeError:
                continue
            if character.encode("cp932")[0] in (0xED, 0xEE):
                forms[character] = code
    return forms


IBM_FORMS = _ibm_forms()


def code_points(text):
    """The characters of a text as Windows counts them: a high and a low
    surrogate in a row are one character; an unpaired one is one."""
    return text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "surrogatepass")


def exact_form(character, code_page):
    """The bytes of one character in code page 932 or 1252 when it has an
    exact form (one that converts back to it), else None."""
    if code_page == 932 and character in IBM_FORMS:
        return IBM_FORMS[character]
    codec = "cp932" if code_page == 932 else "cp1252"
    try:
        form = character.encode(codec)
        return form if form.decode(codec) == character else None
    except UnicodeError:
        return None


def shift_jis(text):
    """A text as the NT family's program narrows it: Shift-JIS, "?" for
    each character that has no exact form."""
    return b"".join(exact_form(c, 932) or b"?" for c in code_points(text))


def ansi(text, code_page):
    """A text as Wine gives it to a program of the 95 family in code page
    code_page; None where that depends on the best-fit table."""
    forms = [exact_form(c, code_page) for c in code_points(text)]
    return None if None in forms else b"".join(forms)


def program_bytes(text, family, locale):
    """What the program sees of a text given in UTF-16; None where it
    cannot be known here."""
    if family == "nt":
        return shift_jis(text)
    return ansi(text, ANSI_CODE_PAGE[locale])


def quote_argument(argument):
    """One argument as a command line holds it, for the runtime to split
    back: quoted where it is empty or holds a blank or a quote, backslashes
    doubled before a quote and at the end of a quoted argument."""
    if argument and not any(c in argument for c in ' \t\n\v"'):
        return argument
    out, backslashes = ['"'], 0
    for c in argument:
        if c == "\\":
            backslashes += 1
            continue
        out.append("\\" * (2 * backslashes + 1 if c == '"' else backslashes) + c)
        backslashes = 0
    out.append("\\" * (2 * backslashes) + '"')
    return "".join(out)


def command_line(program, args):
    return " ".join([quote_argument(program)] + [quote_argument(a) for a in args])


def whole_shift_jis(data):
    """None when data splits into whole characters of code page 932 (no
    lead byte without its second byte); otherwise the offset of the first
    lead byte that has none."""
    i = 0
    while i < len(data):
        b = data[i]
        if 0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC:
            if i + 1 >= len(data) or not (0x40 <= data[i + 1] <= 0xFC and data[i + 1] != 0x7F):
                return i
            i += 2
        else:
            i += 1
    return None


def drive_root(argument):
    """The root the program makes of a drive argument (its bytes): a share
    root with its backslash, or the first byte, ":" and a backslash; None
    where it makes none."""
    if argument[:1] == b"\\":
        if argument[1:2] != b"\\":
            return None
        server_end = argument.find(b"\\", 2)
        if server_end < 0:
            return None
        share_end = argument.find(b"\\", server_end + 1)
        return argument[:share_end + 1] if share_end >= 0 else argument + b"\\"
    if not argument:
        return None
    return bytes([argument[0] - 32 if 0x61 <= argument[0] <= 0x7A else argument[0]]) + b":\\"


# --- Cases -------------------------------------------------------------------

@dataclass
class Case:
    family: str  # "nt" or "98"
    locale: str
    args: List[str] = field(default_factory=list)
    env: List[Tuple[str, str]] = field(default_factory=list)
    config: Optional[bytes] = None  # None: no file
    config_is_folder: bool = False

    def shown(self, limit=600):
        """The input, each text cut to `limit` characters, for a report."""
        def cut(value):
            r = repr(value)
            return r if len(r) <= limit else f"{r[:limit]}... ({len(value)} in all)"
        lines = [f"  family {self.family}, locale {self.locale}",
                 f"  args {cut(self.args)}",
                 f"  env {cut(self.env)}"]
        if self.config_is_folder:
            lines.append("  volsurvey.cfg is a folder")
        else:
            lines.append(f"  volsurvey.cfg {cut(self.config) if self.config is not None else 'none'}")
        return "\n".join(lines)


class Generator:
    """Draws one case from a seeded random generator."""

    def __init__(self, rng, family, locale):
        self.r = rng
        self.case = Case(family, locale)
        self.switch = "/"  # the switch character the file sets, if it does

    def chance(self, p):
        return self.r.random() < p

    def character(self):
        pool = self.r.choices(POOLS, weights=POOL_WEIGHTS)[0]
        return self.r.choice(pool)

    def length(self):
        kind = self.r.random()
        if kind < 0.8:
            return self.r.randint(0, 10)
        if kind < 0.97:
            return self.r.randint(10, 400)
        return self.r.randint(400, 12000)

    def text(self, n=None):
        return "".join(self.character() for _ in range(self.length() if n is None else n))

    def name(self):
        """A share's server or share name."""
        if self.chance(0.6):
            return self.r.choice(["srv", "share", "サーバ", "café", "한글", "a", ""])
        return self.text(self.r.randint(0, 12))

    def share(self):
        well_formed = "\\\\" + self.name() + "\\" + self.name()
        return self.r.choice([
            well_formed, well_formed + "\\" + self.text(), "\\\\", "\\\\" + self.name(),
            "\\\\" + self.name() + "\\", "\\\\\\" + self.name(), "\\" + self.name() + "\\x",
            "\\\\" + self.text()])

    def switch_letter(self):
        return self.r.choice([
            "v", "v-", "s", "s-", "w", "w-", "p", "p-", "V", "S-", "?", "help", "HeLp", "x",
            "", "t", "t0", "t1", "t30", "t86400", "t86401", "t4294967296", "t-1", "t1x",
            "t" + "9" * self.r.randint(5, 40), "t007", "v--", "?x", "l", "l-", "L", "u1",
            "u90", "u100", "u0", "u101", "u-", "f0", "f10G", "f1k", "f16777216T", "f-", "j",
            self.text(2)])

    def option(self, switch=None):
        switch = switch or self.r.choice(["/", "/", self.switch, "-"])
        group = [self.switch_letter() for _ in range(self.r.choice([1, 1, 1, 2, 3, 8]))]
        return switch + switch.join(group) if self.chance(0.8) else switch + "/".join(group)

    def drive(self):
        letter = self.r.choice("abcqzCQXYZ19" + "ｃあé한")
        return self.r.choice([letter, letter + ":", letter + ":\\", letter + ":" + self.text(),
                              self.text()])

    def argument(self):
        kind = self.r.choices(["option", "share", "drive", "help", "text", "long"],
                              weights=[40, 20, 12, 4, 16, 4])[0]
        if kind == "option":
            return self.option()
        if kind == "share":
            return self.share()
        if kind == "drive":
            return self.drive()
        if kind == "help":
            return self.r.choice(["/?", "/help", "-?", "/HELP", "/?/x", "-help"])
        if kind == "long":
            unit = self.r.choice(["/v", "a", "表", "\\", "%", self.character()])
            return unit * self.r.randint(300, 12000)
        return self.text()

    # --- the environment ---

    def variable_name(self):
        kind = self.r.random()
        if kind < 0.7:
            return "VSFZ" + "".join(self.r.choice("ABCXYZ_019") for _ in range(self.r.randint(0, 6)))
        if kind < 0.85:
            return self.r.choice(["漢字", "é", "한", "ｶﾅ", "\ud800"]) + str(self.r.randint(0, 9))
        # Around the longest name the file's references may have.
        return "VSFZ" + "N" * self.r.randint(1010, 1030)

    def variable_value(self):
        kind = self.r.random()
        if kind < 0.4:
            return self.option()
        if kind < 0.5:
            return " ".join(self.option() for _ in range(self.r.randint(2, 4)))
        if kind < 0.6:
            return "%" + self.variable_name() + "%"
        if kind < 0.65:
            return self.r.choice(["/v", "x", "%"]) * self.r.randint(1000, 12000)
        return self.text()

    def environment(self):
        names = set()
        for _ in range(self.r.choice([0, 1, 2, 3, 5])):
            name = self.variable_name()
            if name.upper() in names:
                continue
            names.add(name.upper())
            self.case.env.append((name, self.variable_value()))

    # --- the configuration file ---

    def reference(self):
        """A %NAME% reference, as the file holds it: to a variable of the
        case, to none, overlong or unclosed."""
        kind = self.r.random()
        known = [name for name, _ in self.case.env]
        if kind < 0.5 and known:
            name = program_bytes(self.r.choice(known), self.case.family, self.case.locale)
            if name is not None:
                return b"%" + name + b"%"
        if kind < 0.7:
            return b"%VSFZ_MISSING%"
        if kind < 0.8:
            return b"%" + b"L" * self.r.randint(1015, 1030) + b"%"
        if kind < 0.9:
            return b"%" + self.r.choice([b"", b"VSFZ", b"%"])
        return b"%%"

    def file_text(self, text):
        """A text as the file would hold it in Shift-JIS, "?" for the rest."""
        return shift_jis(text)

    def config_line(self):
        kind = self.r.choices(
            ["option", "switch", "comment", "blank", "reference", "text", "bytes", "long",
             "lead at end"],
            weights=[30, 10, 8, 6, 14, 8, 8, 3, 6])[0]
        if kind == "option":
            line = self.file_text(self.option(self.r.choice(["/", self.switch])))
        elif kind == "switch":
            value = self.r.choice([b"-", b"-", b" -", b"#", b";", b"", b"/", b"x", b"\x82",
                                   "表".encode("cp932")])
            line = self.r.choice([b"switch=", b"switch = ", b"switch", b"SWITCH=", b"switchx=",
                                  b" switch="]) + value
            if value.strip() == b"-" and line.startswith(b"switch"):
                self.switch = "-"
        elif kind == "comment":
            line = self.file_text(self.r.choice(["#", ";", "/v ;", "/s#"]) + self.text())
        elif kind == "blank":
            line = self.r.choice([b"", b" ", b"\t \t"])
        elif kind == "reference":
            parts = [self.r.choice([b"", b"/", b"-", self.file_text(self.option())])]
            for _ in range(self.r.randint(1, 3)):
                parts += [self.reference(), self.r.choice([b"", b"/v", b" ", b"x"])]
            line = b"".join(parts)
        elif kind == "text":
            line = self.file_text(self.text())
        elif kind == "bytes":
            line = bytes(self.r.randrange(256) for _ in range(self.r.randint(1, 40)))
        elif kind == "long":
            line = self.r.choice([b"/v", b"x", b"\x95\x5c", b" "]) * self.r.randint(2000, 40000)
        else:
            line = self.file_text(self.option()) + bytes([self.r.choice([0x81, 0x82, 0x9F, 0xE0,
                                                                          0xFC])])
        return line

    def config(self):
        kind = self.r.random()
        if kind < 0.25:
            return
        if kind < 0.27:
            self.case.config_is_folder = True
            return
        ends = [b"\r\n", b"\n", b"\r"]
        end = self.r.choice(ends)
        out = []
        for _ in range(self.r.choice([1, 2, 3, 5, 8, 20])):
            out.append(self.config_line())
            out.append(end if not self.chance(0.05) else self.r.choice(ends))
        if self.chance(0.3):
            out.pop()  # no line end after the last line
        if self.chance(0.1):
            out.append(self.r.choice([b"\x82", b"\x1a", b"\x00", b"\xff"]))
        self.case.config = b"".join(out)

    def draw(self):
        self.environment()
        self.config()
        args = [self.argument() for _ in range(self.r.choice([0, 1, 1, 2, 2, 3, 4, 6]))]
        # Windows takes a command line of at most 32767 characters.
        while len(command_line(PROGRAM_ROOM, args)) >= LONGEST_COMMAND_LINE:
            longest = max(range(len(args)), key=lambda i: len(args[i]))
            args[longest] = args[longest][:len(args[longest]) // 2]
        self.case.args = args
        return self.case


def draw_case(key, family, locale):
    """The case of a key (any text), always the same one."""
    return Generator(random.Random(key), family, locale).draw()
