#!/usr/bin/python3
"""One bench/run.sh run as a Markdown table of ratios against their baselines,
with a reason under each missed target. /usr/bin/python3: Debian's has pefile."""
import argparse
import lzma
import os
import statistics
import sys

import pefile

from pe_files import RT_BITMAP, resources

ap = argparse.ArgumentParser()
for a in ("results", "installer", "map", "package", "empty-package", "mb", "wine-mode"):
    ap.add_argument("--" + a, required=True)
for a in ("runs", "copy-runs", "quick"):
    ap.add_argument("--" + a, type=int, required=True)
args = ap.parse_args()

package, empty = os.path.getsize(args.package), os.path.getsize(args.empty_package)
exe = open(args.installer, "rb").read()
# What NSIS has to store: the installer and the map, each LZMA-compressed
# (the script uses SetCompressor lzma, not solid). Best-effort LZMA of both
# together as reference.
payload = exe + open(args.map, "rb").read()
lz = len(lzma.compress(payload, format=lzma.FORMAT_ALONE, preset=9 | lzma.PRESET_EXTREME))
pe = pefile.PE(data=exe)
bitmap = sum(len(data) for _, data in resources(pe).get((RT_BITMAP, "IDB_BITMAP1"), []))
code = sum(s.SizeOfRawData for s in pe.sections if s.Name.rstrip(b"\0") == b".text")

# The driver's output: "<key>_ms value" and "<key>_ws value" lines, repeated
# per run; "exit <code>" after each program; "box ..." after each install,
# which must have succeeded; "error: ..." where something went wrong.
INSTALLED = "box Instalátor | Instalace mapy byla úspěšně dokončena. | icon"
vals, errors = {}, []
for line in map(str.strip, open(args.results, encoding="utf-8")):
    key, _, value = line.rpartition(" ")
    if line.startswith("error") or (line.startswith("box ") and line != INSTALLED) or \
            (key == "exit" and value != "0"):
        errors.append(line)
    elif key.endswith(("_ms", "_ws")):
        vals.setdefault(key, []).append(float(value))


def med(key):
    v = vals.get(key)
    return statistics.median(v) if v else float("nan")


rows, notes = [], []


def row(what, value, base, ratio, target="info", ok=True, note=""):
    rows.append(f"| {what} | {value} | {base} | {ratio} | {target} | {'yes' if ok else '**no**'} |")
    if not ok:
        notes.append(f"- {what}: {note}")


def compare(what, a, b, fmt, limit=None, note=""):
    """a against its baseline b; limit: the target ratio, none for a row that only informs."""
    row(what, fmt.format(a), fmt.format(b), f"{a / b:.2f}x", f"≤ {limit}x" if limit else "info",
        not limit or a / b <= limit, note)


MS, MIB = "{:.0f} ms", "{:.1f} MiB"
over = package - empty - lz
row("package − empty package vs LZMA(payload)", f"{package - empty} B", f"{lz} B",
    f"{(package - empty) / lz:.3f}x ({over:+d} B)", "≤ +4096 B", over <= 4096,
    "NSIS stores more than the payload's LZMA stream (file headers, a weaker "
    "LZMA setting); compare `xz --format=lzma -9e` with makensis's lzma.")
row("package vs empty package", f"{package} B", f"{empty} B", f"{package / empty:.3f}x")
name = os.path.basename(args.installer)
for what, part in ((f"picture IDB_BITMAP1 in {name}", bitmap), (f".text (code) in {name}", code)):
    row(what, f"{part} B", f"{len(exe)} B", f"{part / len(exe):.1%} of the exe")

emulated = args.wine_mode == "emulated"
i, m, p, q = med("inst_ms"), med("min_ms"), med("pkg_ms"), med("peer_ms")
compare(f"start-up to visible dialog: installer vs minimal (median of {args.runs})", i, m, MS, 1.2,
        f"the installer needs {i - m:.0f} ms more than the minimal dialog: the "
        f"{bitmap // 1024} KB 24-bit picture is loaded and converted for the screen"
        f"{' by emulated code' if emulated else ''}; Wine's own start-up ({m:.0f} ms) is "
        f"common to both. The first, cold start in the prefix ({med('warm_inst_ms'):.0f} ms) "
        "is discarded as warm-up.")
compare(f"start-up: package vs the same NSIS package of the minimal dialog (median of {args.runs})",
        p, q, MS, 1.1,
        f"the package takes {p - q:.0f} ms more than its peer; both are an NSIS stub that "
        "unpacks and starts a dialog program, so the difference is the installer's own "
        "start-up (previous row) and the larger payload to unpack.")
for mb in args.mb.split():
    a, d, n, c = (med(f"{k}{mb}_ms") for k in ("install", "durable", "plain", "copy"))
    compare(f"install {mb} MB: installer vs a minimal program's durable install and box "
            f"(median of {args.copy_runs})", a, d, MS, 1.1,
            f"{a - d:.0f} ms more than the minimal program doing the same copy beside the "
            "target, flush and write-through rename: what the installer does besides is "
            "checking for the game's data file, creating Disk2 if missing, looking at the "
            "target's and the copy's attributes and deleting a leftover temporary file.")
    compare(f"durability, {mb} MB: the minimal durable install vs the minimal plain one "
            "(delete, CopyFileA)", d, n, MS)
    compare(f"install {mb} MB vs the driver's own CopyFileW, no dialog", a, c, MS)

wi, wm = med("inst_ws") / 2**20, med("min_ws") / 2**20
compare("peak working set at visible dialog: installer vs minimal", wi, wm, MIB, 1.2,
        f"+{wi - wm:.1f} MiB: mostly the picture (its resource mapped plus a "
        "screen bitmap of it); Wine's baseline dominates both.")
for mb in args.mb.split():
    compare(f"peak working set after installing {mb} MB vs minimal",
            med(f"install{mb}_ws") / 2**20, wm, MIB)

print(f"## Benchmarks{' (quick mode: rough numbers)' if args.quick else ''}\n")
print(f"Under Wine, 32-bit code {'emulated by qemu-i386' if emulated else 'run by the kernel itself'} "
      "(headless, null graphics driver).\n")
print("| measure | value | baseline | ratio | target | met |", "|---|---|---|---|---|---|", *rows, sep="\n")
if notes:
    print("\nWhy targets were missed:\n", *notes, sep="\n")
if errors:
    print("\nProblems: " + "; ".join(errors))
sys.exit(1 if errors else 0)
