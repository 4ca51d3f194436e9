#!/usr/bin/env python3
"""Assembles the release zips from the built programs (scripts/package).

The readme's manual is the program's own help, as the program prints it
when installed as C:\\Tools\\volsurvey.exe with the sample configuration
beside it, so that the two can never drift apart.  Both builds print the
same help; the 64-bit one is asked, since it runs wherever Wine does.
Everything a zip holds is Shift-JIS with CR LF line ends, as a Windows
editor expects.  Member order and times are fixed, the times from
SOURCE_DATE_EPOCH when it is set.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
from winelib import Wine, loader  # noqa: E402

MANUAL_HEADING = "■ 使用方法（volsurvey /? の表示）"
VERSION_HEADING = "■ バージョン"

SAMPLE_CONFIG = """\
# volsurvey.cfg: volsurvey の設定ファイルの見本
#
# このファイルは volsurvey.exe と同じフォルダーに置きます。名前はプログラムの
# ファイル名の拡張子を cfg にしたものです（volsurvey.exe なら volsurvey.cfg）。
# コマンドの起動時に上の行から順に読まれ、コマンドラインのオプションより先に
# 適用されます。相反するオプションは、最後に指定したものが有効です。
# この見本はすべて注釈行なので、このままでは何も変わりません。
#
# ■ 注釈
# 「#」または「;」から行末までは注釈です（行の途中からでも同じです）。
# 行の前後の空白と、空行は無視されます。
#
# ■ オプション行
# 「/」で始まる行はオプションとして適用されます。「/v-/s」のように続けて
# 書けますが、空白で区切ることはできません（1行に1つずつ書きます）。
# 使えるオプションは /v /v- /s /s- /w /w- /p /p- /a /a- /j /j- /l /l- /t秒数
# /u使用率 /u- /f空き容量 /f- /d /d- /m /m- /rファイル /r- /e日数 /e- です
# （/? と /help は不可）。
# 例（先頭の「#」を消すと有効になります）:
#/w          ; 簡易表示
#/p          ; 画面一時停止なし
#/t10        ; 10秒以内に応答しないドライブで中断
#/l          ; 1ドライブ1行の一覧表示
#/u90        ; 使用率 90%以上のドライブを警告（終了コード 2）
#/f10G       ; 空き容量 10Gバイト未満のドライブを警告（終了コード 2）
#/u80,90     ; 使用率 80%以上で注意、90%以上で警告
#/uD:=95,98  ; D: だけは 95%以上で注意、98%以上で警告（ドライブ毎の段階）
#/uE:=-      ; E: は使用率で警告しない
#/fC:\Data=50G,10G ; マウント先フォルダー C:\Data は空き容量 50G未満で注意
#/d          ; ドライブ指定なしの時、ローカル・ディスクのみ（監視用）
#/r%ProgramData%\volsurvey\history.csv ; 実行毎の容量を記録し、満杯までを予測
#/e14,3      ; 満杯まで 14日以内で注意、3日以内で警告（/r と共に）
# Windows 95/98/Me には ProgramData の環境変数がないため、記録ファイルは
# /rC:\WINDOWS\volsurvey.csv のように直接指定します（フォルダーは作られません）。
#
# ■ スイッチ文字
# 「switch=」の行で、「/」の他にオプションを始める文字を1つ指定できます。
# 次の例では -v や -w も使えるようになります。
#switch=-
#
# ■ 環境変数の参照
# %名前% と書いた部分は、その名前の環境変数の値に置き換えられます
# （名前の大文字・小文字は区別しません）。例:
#%VOLSURVEY_OPTIONS%
#
# ■ 受け付けない内容
# バイナリ・データ（制御文字など）を含むファイルや、改行コードが混在する
# ファイル（CR LF と LF など）は、その行番号を示すエラーになり、コマンドは
# 実行されません。このファイルは Shift-JIS、改行コード CR LF で保存します。
"""

README_HEAD = """\
volsurvey {version}  ディスク状態表示コマンド

■ 概要
volsurvey は、ディスクの状態を表示するコマンドです。ドライブ文字、ドライブ名
または \\\\コンピューター名\\共有名 で指定したドライブごとに、ボリューム情報
（ドライブ種別、ボリューム・ラベル名、ボリューム・シリアル番号、ファイル名の
最大長、ファイル・システム名など）とサイズ情報（全ディスク容量、空ディスク容量、
セクタ・サイズ、クラスタ・サイズ、格納可能ファイル数）を表示します。
すべてのドライブを表示できたときは終了コード 0、エラーのときは 1 で終了します。
/u（使用率）や /f（空き容量）の警告に当たるドライブがあったときは、エラーが
なければ終了コード 2 で終了するので、タスク スケジューラのバッチ ファイルから
「if errorlevel 2」でディスクの空き不足を知ることができます。

■ 動作環境
volsurvey-{version}-win32.zip の 32ビット版は Windows 95/98/Me と
Windows NT 4.0/2000/XP 以降（Windows 10/11 を含む）で、
volsurvey-{version}-win64.zip の 64ビット版は 64ビット版 Windows で動作します。
必要なのは C ランタイムの MSVCRT.DLL だけで、Windows 98/Me と Windows NT 4.0
以降には Windows に含まれています。Windows 95 には含まれていないため、これを
組み込むアプリケーション（Visual C++ 4.2～6.0 で作られたものなど）がインストール
されていなければ、MSVCRT.DLL を C:\\WINDOWS\\SYSTEM にコピーしてください。

■ インストール
1. zip ファイルを任意のフォルダー（例: C:\\Tools）に展開します。
2. そのフォルダーを環境変数 PATH に追加します。
3. コマンド プロンプトで volsurvey と入力すると、現在のドライブの状態が
   表示されます。
設定ファイル volsurvey.cfg は volsurvey.exe と同じフォルダーに置きます。添付の
volsurvey.cfg は説明だけの見本で、そのままでは何も変わりません。

{manual_heading}

"""

README_TAIL = """
{version_heading}
volsurvey {version}（ビルド日 {date}）

■ ライセンス
MIT ライセンスです。全文は LICENSE.txt にあります。
{copyright}
"""


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(volsurvey VERSION ([0-9.]+)", f.read()).group(1)


def run_installed(wine, files, args):
    """Runs the program installed as C:\\Tools\\volsurvey.exe, that folder
    holding `files` (name: bytes) and nothing else; the finished process,
    its output as bytes."""
    tools = os.path.join(wine.prefix, "drive_c", "Tools")
    shutil.rmtree(tools, ignore_errors=True)
    os.makedirs(tools)
    try:
        for name, data in files.items():
            with open(os.path.join(tools, name), "wb") as f:
                f.write(data)
        return subprocess.run([loader(os.path.join(tools, "volsurvey.exe")),
                               "C:\\Tools\\volsurvey.exe"] + args, env=wine.run_env(),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    finally:
        shutil.rmtree(tools, ignore_errors=True)


def program_help(exe, config):
    """The help of the program installed with `config` beside it: its exact
    bytes."""
    # A packaging of another checkout may share this one's Wine prefix.
    prefix = os.environ.get("VOLSURVEY_WINEPREFIX") or os.path.join(ROOT, "build", "wineprefix")
    with open(exe, "rb") as f:
        program = f.read()
    result = run_installed(Wine(prefix), {"volsurvey.exe": program, "volsurvey.cfg": config},
                           ["/?"])
    if result.returncode != 1 or not result.stdout:
        raise SystemExit(f"the help did not come out: exit code {result.returncode}")
    return result.stdout


def zip_time():
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    moment = time.gmtime(int(epoch)) if epoch else time.localtime()
    return max(moment[:6], (1980, 1, 1, 0, 0, 0))


def write_zip(path, members, when):
    with zipfile.ZipFile(path, "w") as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=when)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS and Windows
            info.external_attr = 0x20  # the archive attribute
            z.writestr(info, data, compresslevel=9)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--builds", required=True, help="folder with win32/ and win64/ builds")
    parser.add_argument("--out", required=True)
    opts = parser.parse_args()
    version = project_version()
    config = crlf(SAMPLE_CONFIG).encode("cp932")
    manual = program_help(os.path.join(opts.builds, "win64", "volsurvey.exe"), config)
    banner = manual.decode("cp932").splitlines()
    date = re.search(r"第[0-9.]+  (\d{4}-\d\d-\d\d)$", banner[1]).group(1)
    copyright_line = banner[2]
    with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as f:
        license_text = re.sub(r"(?m)^Copyright \(C\) .*$", copyright_line, f.read())
    readme = (crlf(README_HEAD.format(version=version, manual_heading=MANUAL_HEADING))
              .encode("cp932") + manual +
              crlf(README_TAIL.format(version_heading=VERSION_HEADING, version=version,
                                      date=date, copyright=copyright_line)).encode("cp932"))
    os.makedirs(opts.out, exist_ok=True)
    when = zip_time()
    for bits in ("win32", "win64"):
        with open(os.path.join(opts.builds, bits, "volsurvey.exe"), "rb") as f:
            exe = f.read()
        path = os.path.join(opts.out, f"volsurvey-{version}-{bits}.zip")
        write_zip(path, [("volsurvey.exe", exe), ("volsurvey.cfg", config),
                         ("readme.txt", readme),
                         ("LICENSE.txt", crlf(license_text).encode("cp932"))], when)
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
