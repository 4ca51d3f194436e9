"""The report the program must print for a drive, built from what the system
answers for it: the drive type, the volume information and the free-space
figures of each query.  The answers themselves come from the mount (see
winelib); this module only knows how the command turns them into lines.
"""

from dataclasses import dataclass
from typing import NamedTuple, Optional, Tuple

from winelib import capacity_text, size_text, win9x_disk_units, wine_disk_units

TYPE_TEXT = {2: "REMOVABLE", 3: "FIXED", 4: "REMOTE", 5: "CD-ROM", 6: "RAMDISK"}

# The drive-type code Windows gives for each of Wine's drive types.
WINE_DRIVE_TYPE = {"hd": 3, "floppy": 2, "cdrom": 5, "network": 4, "ramdisk": 6}

CASE_SENSITIVE, CASE_PRESERVED, UNICODE_ON_DISK, PERSISTENT_ACLS = 0x1, 0x2, 0x4, 0x8

# Wine's fixed answers per file system: (maximum component length, flags).
# Only the four flags the report shows are listed; a Unix folder that is no
# CD and has no device of a known file system behind it passes for NTFS.
WINE_FILE_SYSTEMS = {
    "NTFS": (255, CASE_PRESERVED | PERSISTENT_ACLS),
    "FAT": (255, CASE_PRESERVED),
    "FAT32": (255, CASE_PRESERVED),
    "CDFS": (221, 0),
}

REMOTE = 4


@dataclass
class Volume:
    drive_type: int
    label: str
    serial: int
    fs_name: str

    @property
    def max_component(self):
        return WINE_FILE_SYSTEMS[self.fs_name][0]

    @property
    def flags(self):
        return WINE_FILE_SYSTEMS[self.fs_name][1]


@dataclass
class Answers:
    """What the size report can ask for one drive on one system."""
    nt_family: bool
    # GetDiskFreeSpaceA: sectors per cluster, bytes per sector, free and
    # total clusters; None when it fails.
    classic: Optional[Tuple[int, int, int, int]]
    # GetDiskFreeSpaceExA: caller's free, total and free bytes; None on failure.
    extended: Optional[Tuple[int, int, int]]
    # The VWIN32 request: sectors per cluster, bytes per sector; None when
    # the request fails or cannot be sent.
    request: Optional[Tuple[int, int]]


def wine_answers(folder, win98, bits):
    """What Wine answers for a drive mapped to folder, as the NT family or as
    Windows 98, to a 32-bit or a 64-bit program.  The VWIN32 request is
    answered from the 95 family's free-space figures, and only to a 32-bit
    program."""
    units = wine_disk_units(folder)
    sectors_per_cluster, sector_size, free, total = units
    cluster = sectors_per_cluster * sector_size
    # No quotas: the caller's free space is the volume's.
    extended = (free * cluster, total * cluster, free * cluster)
    if not win98:
        # Wine keeps the low 32 bits of a count that needs more.
        cut = (sectors_per_cluster, sector_size, free & 0xFFFFFFFF, total & 0xFFFFFFFF)
        return Answers(True, cut, extended, None)
    classic = win9x_disk_units(units)
    return Answers(False, classic, extended, classic[:2] if bits == 32 else None)


class Unreadable(Exception):
    """The report stops with this message on standard error."""


def drive_name_line(name):
    return f"              ドライブ名:{name}"


def volume_lines(name, volume):
    def yes(bit):
        return "Yes" if volume.flags & bit == bit else "No"

    return [
        drive_name_line(name),
        f"            ドライブ種別:{TYPE_TEXT.get(volume.drive_type, '不明')}",
        f'    ボリューム・ラベル名:"{volume.label}"',
        f"ボリューム・シリアル番号:{volume.serial >> 16:04X}-{volume.serial & 0xFFFF:04X}",
        f"      ファイル名の最大長:{volume.max_component}バイト",
        f"    ファイル・システム名:{volume.fs_name}",
        f" ファイル参照時の大小文字区別:{yes(CASE_SENSITIVE)}",
        f"     ファイル名の大小文字格納:{yes(CASE_PRESERVED)}",
        f"      ファイル名のUnicode格納:{yes(UNICODE_ON_DISK)}",
        f"アクセス制御リスト(ACL)の使用:{yes(PERSISTENT_ACLS)}",
    ]


def fs_bits(volume):
    if volume.fs_name == "FAT" or volume.fs_name == "FAT12":
        return 16
    if volume.drive_type != REMOTE and volume.fs_name == "CDFS":
        return 16
    return 32


def estimate_cluster_size(total_bytes):
    mib = total_bytes // 1024 // 1024
    for limit, size in ((8191, 4096), (16383, 8192), (32767, 16384)):
        if mib <= limit:
            return size
    return 32768


def size_lines(name, volume, answers):
    """The size report; raises Unreadable with the message where a query
    fails."""
    root = name
    classic = fs_bits(volume) < 32 or answers.nt_family
    estimated = False
    if classic:
        if answers.classic is None:
            raise Unreadable(f"ディスク({root})を参照できません。")
        sectors_per_cluster, sector_size, free_clusters, total_clusters = answers.classic
        cluster = (sectors_per_cluster * sector_size) & 0xFFFFFFFF
        # The NT family's counts are 32-bit; where the volume has more
        # clusters the 64-bit query's bytes give them.
        if answers.nt_family and answers.extended and answers.extended[1] // cluster > 0xFFFFFFFF:
            total_clusters = answers.extended[1] // cluster
            free_clusters = answers.extended[0] // cluster
        total_bytes, free_bytes = total_clusters * cluster, free_clusters * cluster
    else:
        if answers.extended is None:
            raise Unreadable(f"ディスク({root})の容量を参照できません。")
        caller_free, total_bytes, free_bytes = answers.extended
        if answers.request is not None:
            sectors_per_cluster, sector_size = answers.request
            cluster = (sectors_per_cluster * sector_size) & 0xFFFFFFFF
            if volume.drive_type == REMOTE and cluster > 4096 and volume.fs_name != "CDFS":
                cluster, estimated = estimate_cluster_size(total_bytes), True
        else:
            if answers.classic is None:
                raise Unreadable(f"ディスク({root})を参照できません。")
            sector_size = answers.classic[1]
            cluster, estimated = estimate_cluster_size(total_bytes), True
        free_clusters = free_bytes // cluster
        total_clusters = total_bytes // cluster
        sectors_per_cluster = (cluster // sector_size) & 0xFFFFFFFF
    lines = [
        f"        全ディスク容量:{capacity_text(total_bytes)}バイト={total_clusters}クラスタ",
        f"        空ディスク容量:{capacity_text(free_bytes)}バイト={free_clusters}クラスタ",
    ]
    if not classic and caller_free != free_bytes:
        lines.append(f"スレッド空ディスク容量:{capacity_text(caller_free)}バイト="
                     f"{caller_free // cluster}クラスタ")
    label = "クラスタ・サイズ(推定値)" if estimated else "クラスタ・サイズ"
    lines += [
        f"        セクタ・サイズ:{size_text(sector_size)}バイト",
        f"      {label}:{size_text(cluster)}バイト={sectors_per_cluster}セクタ",
        f"格納可能最大ファイル数:{total_clusters}個",
        f"格納可能残りファイル数:{free_clusters}個",
    ]
    return lines


class Expected(NamedTuple):
    stdout: str
    stderr: str
    exit_code: int


def fatal(message):
    return f"\n\a処理停止:{message}\n"


def unreadable_volume(name, drive_type):
    """A drive whose type is known but whose volume cannot be read."""
    return Expected(drive_name_line(name) + "\n" + volume_lines(name, Volume(
        drive_type, "", 0, "NTFS"))[1] + "\n", fatal(f"ディスク({name})を参照できません。"), 1)


def full_report(name, volume, answers):
    """The default report (volume and size) of one drive argument."""
    if volume.drive_type in (0, 1):
        return Expected(drive_name_line(name) + "\n",
                        fatal(f"ドライブ({name})を参照できません。"), 1)
    lines = volume_lines(name, volume) + [""]
    try:
        lines += size_lines(name, volume, answers)
    except Unreadable as e:
        return Expected("\n".join(lines) + "\n", fatal(str(e)), 1)
    return Expected("\n".join(lines) + "\n", "", 0)
