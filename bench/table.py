"""The benchmark as one table: what is measured, and each row of the report,
declared once. bench/run.sh has the driver scripts written from MEASURES
("lay-out"), runs them under Wine, and bench/report.py turns the driver's
samples into ROWS.

A new row: one line in ROWS, and a line in MEASURES (or SIZES) for a
quantity no row measured before."""
import argparse
import os
import shutil
from dataclasses import dataclass
from pathlib import Path


@dataclass
class Measure:
    """Timed by the driver: "start", started until its dialog shows, then
    closed (<name>_ms, <name>_ws); "install", Install pressed until the result
    box, for each map size (<name><MB>_ms, _ws); "copy", the driver's own
    CopyFileW of the map, for each map size (<name><MB>_ms)."""
    how: str
    program: str = ""       # the file, by its name in build/win/built-files.sh
    process: str = "own"    # any: its dialog belongs to a child process (an NSIS package)
    where: str = "bin"      # the folder the program lies in: bin, or cwd beside the map
    cwd: str = "cwd"        # the folder it starts in

    @property
    def sized(self):
        return self.how != "start"


MEASURES = {
    "inst": Measure("start", "program", where="cwd"),
    "min": Measure("start", "minimal"),
    "pkg": Measure("start", "package", "any", cwd="bin"),
    "peer": Measure("start", "peer", "any", cwd="bin"),
    # In this order in a round, turned one place a round, the installer last
    # in the last round (run.sh checks the map it left).
    "plain": Measure("install", "minimal"),
    "durable": Measure("install", "durable"),
    "install": Measure("install", "program", where="cwd"),
    "copy": Measure("copy"),
}


def _pe(files):
    import pefile
    return pefile.PE(files["program"])


def _picture(files):
    from pe_files import RT_BITMAP, resources
    return sum(len(data) for _, data in resources(_pe(files)).get((RT_BITMAP, "IDB_BITMAP1"), []))


def _lzma(files):
    """What NSIS has to store, at best: the program and the map as one LZMA
    stream (the script packs each with lzma, not solid)."""
    import lzma
    payload = Path(files["program"]).read_bytes() + Path(files["map"]).read_bytes()
    return len(lzma.compress(payload, format=lzma.FORMAT_ALONE, preset=9 | lzma.PRESET_EXTREME))


# Sizes in bytes, from the built files.
SIZES = {
    "package": lambda f: os.path.getsize(f["package"]),
    "empty_package": lambda f: os.path.getsize(f["empty_package"]),
    "payload": lambda f: os.path.getsize(f["package"]) - os.path.getsize(f["empty_package"]),
    "lzma": _lzma,
    "exe": lambda f: os.path.getsize(f["program"]),
    "picture": _picture,
    "code": lambda f: sum(s.SizeOfRawData for s in _pe(f).sections if s.Name.rstrip(b"\0") == b".text"),
}


@dataclass
class Row:
    """value against baseline: a size of SIZES, or a measure's <name>_ms or
    <name>_ws. A row of a sized measure is one row per map size ({mb}).
    target: the highest ratio that meets it (over: the most bytes above the
    baseline); none, the row only informs. why: said under a missed target,
    with {value}, {baseline}, {diff}, any size or measure ({warm_inst_ms})."""
    key: str
    what: str
    value: str
    baseline: str
    target: float = None
    over: int = None
    why: str = ""
    share: bool = False     # the value as a share of the baseline


ROWS = [
    Row("package_overhead", "package − empty package vs LZMA(payload)", "payload", "lzma", over=1024,
        why="the package's own steps and texts, and NSIS's headers of its two files, take {diff:.0f} B "
            "beyond the payload's LZMA stream (`xz --format=lzma -9e` of the program and the map)."),
    Row("package_size", "package vs empty package (the same settings, no steps, no files)", "package",
        "empty_package"),
    Row("picture_share", "picture IDB_BITMAP1 in {exe_name}", "picture", "exe", share=True),
    Row("code_share", ".text (code) in {exe_name}", "code", "exe", share=True),
    Row("startup", "start-up to visible dialog: installer vs minimal", "inst_ms", "min_ms", 1.2,
        why="the installer needs {diff:.0f} ms more than the minimal dialog: the {picture_kb:.0f} KB "
            "24-bit picture is loaded and converted for the screen{emulated}; Wine's own start-up "
            "({baseline:.0f} ms) is common to both. The first, cold start in the prefix "
            "({warm_inst_ms:.0f} ms) is discarded as warm-up."),
    Row("package_startup", "start-up: package vs a plain NSIS package of the minimal dialog",
        "pkg_ms", "peer_ms", 1.1,
        why="the package takes {diff:.0f} ms more than its peer, a plain package (unpack, ExecWait, "
            "delete) of the minimal dialog: the installer's own start-up (the start-up row), the larger "
            "payload, and the package's own steps."),
    Row("install{mb}", "install {mb} MB: installer vs a minimal program's durable install and box",
        "install_ms", "durable_ms", 1.1,
        why="{diff:.0f} ms more than the minimal program doing the same copy beside the target, flush "
            "and write-through rename: what the installer does besides is checking for the game's data "
            "file, creating Disk2 if missing, looking at the target's and the copy's attributes and "
            "deleting a leftover temporary file."),
    Row("durability{mb}", "durability, {mb} MB: the minimal durable install vs the minimal plain one "
        "(delete, CopyFileA)", "durable_ms", "plain_ms"),
    Row("install_copy{mb}", "install {mb} MB vs the driver's own CopyFileW, no dialog", "install_ms", "copy_ms"),
    Row("memory", "peak working set at visible dialog: installer vs minimal", "inst_ws", "min_ws", 1.2,
        why="+{diff:.1f} MiB: mostly the picture (its resource mapped plus a screen bitmap of it); "
            "Wine's baseline dominates both."),
    Row("memory{mb}", "peak working set after installing {mb} MB vs minimal", "install_ws", "min_ws"),
]


def measure_of(quantity):
    """The measure behind "<name>_ms" or "<name>_ws", or None for a size."""
    return MEASURES.get(quantity.rpartition("_")[0])


def read_inputs(path):
    """build/win/built-files.sh: name='path' lines."""
    files = {}
    for line in Path(path).read_text().splitlines():
        name, _, value = line.partition("=")
        files[name] = value.strip("'")
    return files


def lay_out(root, win_root, files, runs, copy_runs, sizes):
    """The files under root (C:\\bench as win_root names it): bin (the driver,
    the programs, the packages), cwd (the installer and the map, as the
    package unpacks them), game (data1.dvp, Disk2); and the driver scripts
    start.txt and copy<MB>.txt in bin."""
    bin_dir, cwd, game = (os.path.join(root, d) for d in ("bin", "cwd", "game"))
    for d in (bin_dir, cwd, os.path.join(game, "Disk2")):
        os.makedirs(d, exist_ok=True)
    Path(game, "data1.dvp").write_bytes(b"data")
    shutil.copy(files["map"], os.path.join(cwd, "Am01.dvp"))
    shutil.copy(files["driver"], bin_dir)
    exe = {}
    for name, m in MEASURES.items():
        if m.program:
            shutil.copy(files[m.program], os.path.join(root, m.where))
            exe[name] = f"{win_root}\\{m.where}\\{os.path.basename(files[m.program])}"
    w_cwd, target = f"{win_root}\\cwd", f"{win_root}\\game\\Disk2\\Am01.dvp"

    # One discarded start each: the first process in a fresh prefix pays for
    # loading Wine's DLLs from disk and qemu's first translations.
    # Interleaved, so slow drift (caches, host load) hits all alike.
    lines = [f"reg-set {win_root}\\game"]
    for warm in ["warm_"] + [""] * runs:
        for name, m in MEASURES.items():
            if m.how == "start":
                lines += [f"program {exe[name]}", f"process {m.process}",
                          f"time-start {warm}{name} {win_root}\\{m.cwd}"]
    Path(bin_dir, "start.txt").write_text("\n".join(lines) + "\n")

    installs = [name for name, m in MEASURES.items() if m.how == "install"]
    copies = [name for name, m in MEASURES.items() if m.how == "copy"]
    for mb in sizes:
        lines = []
        for k in range(copy_runs):
            turn = (copy_runs - 1 - k) % len(installs)
            for name in installs[turn:] + installs[:turn]:
                # The plain copy's data, written back later, would be paid for by
                # whichever install flushes next: flushed here, untimed.
                lines += [f"program {exe[name]}", f"time-install {name}{mb} {w_cwd}", f"flush {target}"]
            for name in copies:
                copy = f"{win_root}\\game\\Disk2\\{name}.dvp"
                lines += [f"time-copy {name}{mb} {w_cwd}\\Am01.dvp {copy}", f"del {copy}"]
        Path(bin_dir, f"copy{mb}.txt").write_text("\n".join(lines) + "\n")


def size_report(files):
    """The package's size rows, without running anything (the target size_report)."""
    f = {name: size(files) for name, size in SIZES.items() if name in ("package", "empty_package", "lzma")}
    for name in ("package", "empty_package"):
        print(f"{f[name]:8} B  {name}: {files[name]}")
    print(f"{f['lzma']:8} B  LZMA of the program and the map")
    over = f["package"] - f["empty_package"] - f["lzma"]
    row = next(r for r in ROWS if r.key == "package_overhead")
    print(f"{over:8} B  overhead: package − empty package − LZMA ({'within' if over <= row.over else 'OVER'} "
          f"{row.over} B)")


def main():
    ap = argparse.ArgumentParser(description="Lays out the benchmark's files and driver scripts, or "
                                 "reports the package's sizes.")
    ap.add_argument("what", choices=["lay-out", "sizes"])
    ap.add_argument("root", nargs="?", help="the folder that Windows names --win-root")
    ap.add_argument("--win-root")
    ap.add_argument("--inputs", required=True, help="build/win/built-files.sh")
    ap.add_argument("--runs", type=int)
    ap.add_argument("--copy-runs", type=int)
    ap.add_argument("--sizes", help="map sizes in MB, as one word each")
    args = ap.parse_args()
    files = read_inputs(args.inputs)
    if args.what == "sizes":
        return size_report(files)
    if None in (args.root, args.win_root, args.runs, args.copy_runs, args.sizes):
        ap.error("lay-out needs root, --win-root, --runs, --copy-runs and --sizes")
    needed = {"map", "driver"} | {m.program for m in MEASURES.values() if m.program}
    missing = [files.get(n, n) for n in sorted(needed) if not os.path.isfile(files.get(n, ""))]
    if missing:
        raise SystemExit(f"no {missing[0]}: run ./build.sh, then cmake --build build/win --target bench_files")
    lay_out(args.root, args.win_root, files, args.runs, args.copy_runs, args.sizes.split())


if __name__ == "__main__":
    main()
