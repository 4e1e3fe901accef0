"""The benchmark as one table: what is measured, and each row of the report,
declared once. bench/run.sh has the driver scripts written from MEASURES
("lay-out"), runs them under Wine, and has the driver's samples turned into
ROWS ("report": a Markdown table, each row's ratio with the ratio's range over
the samples, and whether that meets the row's target). /usr/bin/python3:
Debian's has pefile.

A new row: one line in ROWS, and a line in MEASURES (or SIZES) for a
quantity no row measured before."""
import argparse
import math
import os
import shutil
import statistics
import sys
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
                lines += [f"program {'any ' * (m.process == 'any')}{exe[name]}",
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

# A round runs every program once, back to back, so what else the machine
# does at the time slows all of them alike: a ratio is the median of the
# rounds' own ratios, and its range holds the true median with this
# confidence (whatever the samples' distribution).
CONFIDENCE = 0.90


def read_samples(path):
    """The driver's output: "<key>_ms value" and "<key>_ws value" lines, one per
    sample; "exit <code>" after each program; "box ..." after each install,
    which must have succeeded; "error: ..." where something went wrong."""
    from scenarios import BOX_INSTALLED
    samples, errors = {}, []
    for line in map(str.strip, open(path, encoding="utf-8")):
        key, _, value = line.rpartition(" ")
        if line.startswith("error") or (line.startswith("box ") and line != BOX_INSTALLED) or \
                (key == "exit" and value != "0"):
            errors.append(line)
        elif key.endswith(("_ms", "_ws")):
            samples.setdefault(key, []).append(float(value))
    return samples, errors


def median_range(values):
    """The median and the order statistics around it that hold the true median
    with CONFIDENCE: the k-th lowest and highest, k from the binomial law.
    Too few values for any: an unbounded range."""
    v, n = sorted(values), len(values)
    ks = [k for k in range(1, n // 2 + 1) if 1 - 2 * sum(math.comb(n, i) for i in range(k)) / 2**n >= CONFIDENCE]
    return (statistics.median(v),) + ((v[ks[-1] - 1], v[n - ks[-1]]) if ks else (0, math.inf))


def ratio(a, b, paired):
    """(ratio, low, high): of the rounds' ratios when a and b come from the
    same rounds; else of the medians, its range from theirs."""
    if paired:
        return median_range([x / y for x, y in zip(a, b)])
    (ma, la, ha), (mb, lb, hb) = median_range(a), median_range(b)
    return (ma / mb,) + ((la / hb, ha / lb) if math.inf not in (ha, hb) else (0, math.inf))


def sized(quantity):
    """Whether the quantity is one of a sized measure, one per map size."""
    return bool(measure_of(quantity)) and measure_of(quantity).sized


def sized_key(quantity, mb):
    """install_ms of the 64 MB map: install64_ms."""
    name, _, unit = quantity.rpartition("_")
    return f"{name}{mb}_{unit}" if sized(quantity) else quantity


def rows_per_size(sizes):
    """ROWS, those of a sized measure once per map size, each run of them together."""
    out, run = [], []
    for row in ROWS + [None]:
        if row and (sized(row.value) or sized(row.baseline)):
            run.append(row)
            continue
        out += [(r, mb) for mb in sizes for r in run] + ([(row, None)] if row else [])
        run = []
    return out


def report(files, results, runs, copy_runs, sizes, quick, wine_mode):
    """The table, on stdout; 1 if anything went wrong."""
    samples, errors = read_samples(results)
    facts = {name: size(files) for name, size in SIZES.items()}
    facts.update({key: statistics.median(v) for key, v in samples.items()})
    emulated = wine_mode == "emulated"
    facts.update(picture_kb=facts["picture"] / 1024, exe_name=os.path.basename(files["program"]),
                 emulated=" by emulated code" if emulated else "")

    lines, notes = [], []
    for row, mb in rows_per_size(sizes):
        key, what = row.key.format(mb=mb), row.what.format(mb=mb, **facts)
        qa, qb = sized_key(row.value, mb), sized_key(row.baseline, mb)
        timed = measure_of(row.value) is not None
        # (format, scale) for the value and baseline columns
        fmt, scale = {"ms": ("{:.0f} ms", 1), "ws": ("{:.1f} MiB", 2**20)}.get(
            row.value.rpartition("_")[2] if timed else "", ("{:.0f} B", 1))
        if timed and not (samples.get(qa) and samples.get(qb)):
            lines.append(f"| {key} | {what} | – | – | – | – | no samples |")
            errors.append(f"{key}: no samples of {qa} or {qb}")
            continue
        a, b = facts[qa], facts[qb]
        if timed:
            paired = sized(row.value) == sized(row.baseline) and len(samples[qa]) == len(samples[qb])
            r, lo, hi = ratio(samples[qa], samples[qb], paired)
            shown = f"{r:.2f}x " + (f"({lo:.2f}–{hi:.2f})" if hi < math.inf else "(too few rounds)")
        else:
            r = lo = hi = a / b
            shown = f"{r:.1%}" if row.share else f"{r:.3f}x ({a - b:+.0f} B)"
        if row.over is not None:
            target, verdict = f"≤ +{row.over} B", "yes" if a - b <= row.over else "**no**"
        elif row.target is not None:
            target = f"≤ {row.target}x"
            verdict = "yes" if hi <= row.target else "**no**" if lo > row.target else "unresolved"
        else:
            target, verdict = "info", "–"
        lines.append(f"| {key} | {what} | {fmt.format(a / scale)} | {fmt.format(b / scale)} | {shown} "
                     f"| {target} | {verdict} |")
        if verdict == "**no**":
            notes.append(f"- {key}: " + row.why.format(value=a / scale, baseline=b / scale,
                                                       diff=(a - b) / scale, **facts))
        elif verdict == "unresolved":
            notes.append(f"- {key}: unresolved: the ratio's range {lo:.2f}–{hi:.2f}x spans the target "
                         f"{row.target}x; the rounds vary more than the target tells apart (more rounds, "
                         "or a quieter machine)." if hi < math.inf else
                         f"- {key}: unresolved: too few rounds for a range ({CONFIDENCE:.0%} needs "
                         f"{next(n for n in range(1, 64) if 1 - 2 / 2**n >= CONFIDENCE)}).")

    print(f"## Benchmarks{' (quick mode: rough numbers)' if quick else ''}\n")
    print(f"Under Wine, 32-bit code {'emulated by qemu-i386' if emulated else 'run by the kernel itself'} "
          f"(headless, null graphics driver). Rounds, each running every program once: {runs} of "
          f"start-up (after one discarded), {copy_runs} of install per map size. "
          "Value and baseline are medians; a ratio is the median of the rounds' own ratios, in "
          f"brackets the range that holds it with {CONFIDENCE:.0%} confidence. A target is met (yes) "
          "when the whole range meets it, missed (no) when none of it does, and unresolved when the "
          "range spans it.\n")
    print("| row | measure | value | baseline | ratio | target | met |", "|---|---|---|---|---|---|---|",
          *lines, sep="\n")
    if notes:
        print("\nTargets missed or unresolved:\n", *notes, sep="\n")
    if errors:
        print("\nProblems: " + "; ".join(errors))
    return 1 if errors else 0


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
    ap = argparse.ArgumentParser(description="Lays out the benchmark's files and driver scripts, reports "
                                 "a run's samples as the table, or reports the package's sizes.")
    ap.add_argument("what", choices=["lay-out", "report", "sizes"])
    ap.add_argument("root", nargs="?", help="the folder that Windows names --win-root")
    ap.add_argument("--inputs", required=True, help="build/win/built-files.sh")
    ap.add_argument("--sizes", help="map sizes in MB, as one word each")
    for a in ("win-root", "results", "wine-mode", "runs", "copy-runs", "quick"):
        ap.add_argument("--" + a, type=int if a in ("runs", "copy-runs", "quick") else str)
    args = ap.parse_args()
    files = read_inputs(args.inputs)
    needs = {"lay-out": ["root", "win_root"], "report": ["results", "wine_mode"], "sizes": None}[args.what]
    if needs is None:
        return size_report(files)
    needs += ["runs", "copy_runs", "sizes"]
    if any(getattr(args, n) is None for n in needs):
        ap.error(f"{args.what} needs " + ", ".join(n if n == "root" else "--" + n.replace("_", "-") for n in needs))
    if args.what == "report":
        return report(files, args.results, args.runs, args.copy_runs, args.sizes.split(), args.quick or 0,
                      args.wine_mode)
    needed = {"map", "driver"} | {m.program for m in MEASURES.values() if m.program}
    missing = [files.get(n, n) for n in sorted(needed) if not os.path.isfile(files.get(n, ""))]
    if missing:
        raise SystemExit(f"no {missing[0]}: run ./build.sh, then cmake --build build/win --target bench_files")
    lay_out(args.root, args.win_root, files, args.runs, args.copy_runs, args.sizes.split())


if __name__ == "__main__":
    sys.exit(main())
