#!/usr/bin/python3
"""One bench/run.sh run as a Markdown table: each row of bench/table.py, its
ratio with the ratio's range over the samples, and whether that meets the
row's target. /usr/bin/python3: Debian's has pefile."""
import argparse
import math
import os
import statistics
import sys

from table import ROWS, SIZES, measure_of, read_inputs

# The driver's output: "<key>_ms value" and "<key>_ws value" lines, one per
# sample; "exit <code>" after each program; "box ..." after each install,
# which must have succeeded; "error: ..." where something went wrong.
INSTALLED = "box Instalátor | Instalace mapy byla úspěšně dokončena. | icon"
# A round runs every program once, back to back, so what else the machine
# does at the time slows all of them alike: a ratio is the median of the
# rounds' own ratios, and its range holds the true median with this
# confidence (whatever the samples' distribution).
CONFIDENCE = 0.90


def read_samples(path):
    samples, errors = {}, []
    for line in map(str.strip, open(path, encoding="utf-8")):
        key, _, value = line.rpartition(" ")
        if line.startswith("error") or (line.startswith("box ") and line != INSTALLED) or \
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


def sized_key(quantity, mb):
    """install_ms of the 64 MB map: install64_ms."""
    m = measure_of(quantity)
    name, _, unit = quantity.rpartition("_")
    return f"{name}{mb}_{unit}" if m and m.sized else quantity


def unit_of(quantity):
    """(format, scale) for the value and baseline columns."""
    return {"ms": ("{:.0f} ms", 1), "ws": ("{:.1f} MiB", 2**20)}.get(
        quantity.rpartition("_")[2] if measure_of(quantity) else "", ("{:.0f} B", 1))


def rows_per_size(sizes):
    """ROWS, those of a sized measure once per map size, each run of them together."""
    out, run = [], []
    for row in ROWS + [None]:
        if row and any(measure_of(q) and measure_of(q).sized for q in (row.value, row.baseline)):
            run.append(row)
            continue
        out += [(r, mb) for mb in sizes for r in run] + ([(row, None)] if row else [])
        run = []
    return out


def main():
    ap = argparse.ArgumentParser()
    for a in ("results", "inputs", "sizes", "wine-mode"):
        ap.add_argument("--" + a, required=True)
    for a in ("runs", "copy-runs", "quick"):
        ap.add_argument("--" + a, type=int, required=True)
    args = ap.parse_args()

    files = read_inputs(args.inputs)
    samples, errors = read_samples(args.results)
    facts = {name: size(files) for name, size in SIZES.items()}
    facts.update({key: statistics.median(v) for key, v in samples.items()})
    facts.update(picture_kb=facts["picture"] / 1024, exe_name=os.path.basename(files["program"]),
                 emulated=" by emulated code" if args.wine_mode == "emulated" else "")

    lines, notes = [], []
    for row, mb in rows_per_size(args.sizes.split()):
        key, what = row.key.format(mb=mb), row.what.format(mb=mb, **facts)
        qa, qb = sized_key(row.value, mb), sized_key(row.baseline, mb)
        fmt, scale = unit_of(row.value)
        timed = measure_of(row.value) is not None
        if timed and not (samples.get(qa) and samples.get(qb)):
            lines.append(f"| {key} | {what} | – | – | – | – | no samples |")
            errors.append(f"{key}: no samples of {qa} or {qb}")
            continue
        a, b = facts[qa], facts[qb]
        if timed:
            paired = measure_of(row.value).sized == measure_of(row.baseline).sized and \
                len(samples[qa]) == len(samples[qb])
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

    emulated = args.wine_mode == "emulated"
    print(f"## Benchmarks{' (quick mode: rough numbers)' if args.quick else ''}\n")
    print(f"Under Wine, 32-bit code {'emulated by qemu-i386' if emulated else 'run by the kernel itself'} "
          f"(headless, null graphics driver). Rounds, each running every program once: {args.runs} of "
          f"start-up (after one discarded), {args.copy_runs} of install per map size. "
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


if __name__ == "__main__":
    sys.exit(main())
