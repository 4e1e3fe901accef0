#!/usr/bin/python3
"""Runs the installer under Wine, the way a player does, and checks every
outcome: the boxes a player reads, the exit code and the files after.

"template" makes a Wine prefix, or keeps the one there if Wine and
testbed/wine-env.sh are as they were; a group does the same with its --template,
copies it, lays out its scenarios' files under C:\\e2e, runs one driver
script for all and compares.
--only runs the named scenarios of the group alone (shell patterns work).
--arch says what the template is (32-bit Windows, or 64-bit Windows where the
program runs under WoW64); --locale picks the ANSI code page."""
import argparse
import fnmatch
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import picture_layout as L
from scenarios import (DECOY, GROUPS, BOX_ABOUT, BOX_COPY_FAILED, BOX_INSTALLED, BOX_ONE_OF_TWO,
                       GEOMETRY, GLYPHS_EXIT, IDC_ABOUT, IDC_EXIT, IDC_INSTALL, WORK_NAMES, Link)

WINE_ENV = str(Path(__file__).resolve().parents[2] / "testbed" / "wine-env.sh")
# The programs' folder, as Windows names it.
BIN = "C:\\e2e\\bin\\"
UNPRIVILEGED_USER = "e2e-player"
CODE_PAGES = {"cs_CZ.UTF-8": 1250, "en_US.UTF-8": 1252}
# Where a 32-bit setup's key lands, as the 64-bit view sees it.
REGISTRY_VIEW = {"win32": "SOFTWARE", "win64": "WOW6432Node"}
# As the driver's geometry line names the buttons.
BUTTONS = tuple(str(i) for i in (IDC_INSTALL, IDC_ABOUT, IDC_EXIT))


def sh(script, user=None, work=None, locale=None):
    """Runs bash with wine-env.sh sourced. Output goes through files: Wine's
    helper processes may hold a pipe open long after the program ended."""
    # An ordinary user reads the copy in its own work folder (see run_group).
    env = os.path.join(work, "wine-env.sh") if user else WINE_ENV
    cmd = ["bash", "-c", f'source "{env}" && {script}']
    if user:
        cmd = ["runuser", "-u", user, "--"] + cmd
    environ = dict(os.environ, WINE_LOCALE=locale) if locale else None
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=environ).returncode
        out.seek(0)
        err.seek(0)
        result = subprocess.CompletedProcess(cmd, code, out.read(), err.read())
    # Something the set-up provides is missing: that one line says it all.
    for line in result.stderr.decode(errors="replace").splitlines():
        if line.startswith("wine-env: missing:"):
            sys.exit(line)
    return result


def make_template(path, arch):
    r = sh(f'wine_template "{path}" {arch}')
    for line in r.stderr.decode(errors="replace").splitlines():
        if line.startswith("wine-env:"):
            print(line, file=sys.stderr)
    if r.returncode != 0:
        sys.exit("cannot make the Wine prefix")


def snapshot(root):
    """{relative path: bytes} for files, {relative dir + '/': b''} for folders,
    {relative path: b'-> ' + target} for links, which it does not follow."""
    out = {}
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        for names, kind in ((dirs, "/"), (files, "")):
            for name in names:
                path, key = os.path.join(base, name), os.path.normpath(os.path.join(rel, name))
                if os.path.islink(path):
                    out[key] = b"-> " + os.fsencode(os.readlink(path))
                else:
                    out[key + kind] = Path(path).read_bytes() if not kind else b""
    return out


def expected_after(before_snap, changes):
    want = dict(before_snap)
    for path, data in changes.items():
        parts = path.rstrip("/").split("/")
        want.update(("/".join(parts[:i]) + "/", b"") for i in range(1, len(parts)))
        want[path] = data
    return {path: data for path, data in want.items() if data is not None}


def win_path(scenario, rel):
    """A path of the scenario's folder as Windows names it: under "drive/" on
    the scenario's own drive (mounted there), else under C:\\e2e."""
    if scenario.drive and rel.startswith("drive/"):
        return scenario.drive[0].upper() + ":\\" + rel[len("drive/"):].replace("/", "\\")
    return f"C:\\e2e\\{scenario.name}\\" + rel.replace("/", "\\")


def entries(folder):
    try:
        return list(os.scandir(folder))
    except OSError:
        return []


def watch_work_folders(folders, seen, stop):
    """Notes each new work folder of the package's in these folders, until
    stop is set: the folders last only while the program runs."""
    old = {e.path for f in folders for e in entries(f)}
    while not stop.wait(0.05):
        for e in (e for f in folders for e in entries(f)):
            try:
                if e.path not in old and e.name in WORK_NAMES and e.is_dir(follow_symlinks=False):
                    seen.add(e.path)
            except OSError:
                pass


def unmount_under(path):
    """Leftover mounts of an interrupted run, deepest first."""
    points = [line.split()[1] for line in Path("/proc/mounts").read_text().splitlines()]
    for m in sorted((m for m in points if m.startswith(path.rstrip("/") + "/")), reverse=True):
        subprocess.run(["umount", "-l", m])


def install_programs(drive_c, args, scenarios):
    """C:\\e2e\\bin: the program, the driver, the package and what starts instead of it."""
    bindir = os.path.join(drive_c, "e2e", "bin")
    os.makedirs(bindir)
    for path, name in ((args.installer, ""), (args.driver, "driver.exe"), (args.package, "package.exe"),
                       (os.path.join(os.path.dirname(args.driver), "glyphs.dll"), "")):
        shutil.copy(path, os.path.join(bindir, name))
    package = Path(args.package).read_bytes()
    for s in scenarios:
        if s.damage:
            Path(bindir, s.name + ".exe").write_bytes(s.damage(package))
        elif s.not_a_program:
            shutil.copy(args.not_a_program, os.path.join(bindir, s.name + ".exe"))
    # A map beside the program: the one in the current directory is the one to use.
    Path(bindir, "Am01.dvp").write_bytes(DECOY)
    return bindir


def lay_out(drive_c, scenario, package):
    root = os.path.join(drive_c, "e2e", scenario.name)
    if scenario.drive:
        # A small tmpfs at <scenario>/drive, seen by Wine as its own drive letter.
        letter, options = scenario.drive
        point = os.path.join(root, "drive")
        os.makedirs(point)
        subprocess.run(["mount", "-t", "tmpfs", "-o", options, "e2e-" + scenario.name, point], check=True)
        os.symlink(point, os.path.join(os.path.dirname(drive_c), "dosdevices", letter + ":"))
    files = {"cwd/": b"", scenario.game + "/": b"", **scenario.before}
    if scenario.package_at:
        files[scenario.package_at] = Path(package).read_bytes()
    for rel, data in files.items():
        p = os.path.join(root, rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        if isinstance(data, Link):
            os.symlink(os.path.join(root, data), p)
        elif not rel.endswith("/"):
            Path(p).write_bytes(data)
    return root


def script_for(scenario):
    lines = [f"echo # {scenario.name}"]
    if scenario.reg_raw:
        kind, text = scenario.reg_raw
        value = text.format(game=win_path(scenario, scenario.game)).encode("cp1250")
        lines.append(f"reg-raw {kind} {value.hex()}")
    elif scenario.reg == "set":
        lines.append("reg-set " + win_path(scenario, scenario.game))
    else:
        lines.append(f"reg-{scenario.reg}")
    lines.append("reg-where")
    if scenario.package:
        exe = scenario.name + ".exe" if scenario.damage or scenario.not_a_program else "package.exe"
        at = win_path(scenario, scenario.package_at) if scenario.package_at else BIN + exe
        lines.append("program any " + at)
    # What the scenario sets for its run, and the line that puts it back after.
    around = [(scenario.lock, "hold lock " + win_path(scenario, scenario.lock), "held"),
              (scenario.temp, "temp " + win_path(scenario, scenario.temp), "temp"),
              (scenario.dpi, f"dpi {scenario.dpi}", "dpi 96"),
              (scenario.program_files, "program-files " + win_path(scenario, scenario.program_files), "program-files")]
    lines += [on for when, on, _ in around if when]
    run = ("run " if scenario.dialog else "start ") + win_path(scenario, "cwd")
    lines.append(run + (" " + scenario.args if scenario.args else ""))
    lines += ["use 2", run, "use 1"] if scenario.second else []
    lines += [f"hold {scenario.hold[1]} {win_path(scenario, scenario.hold[0])}"] if scenario.hold else []
    return lines + scenario.actions + [off for when, _, off in around if when] + ["reg-check"]


def geometry_problems(line):
    """What in the driver's geometry line differs from the dialog as Windows
    draws it, at any DPI: a client area as wide as the picture and as tall as
    the rows it shows, with a thin border and no caption bar, centred in the
    work area, the picture over all of it and the buttons side by side in its
    empty band."""
    words = line.split()
    if words[:1] != ["geometry"]:
        return ["no geometry"]
    rects = {words[i]: [int(v) for v in words[i + 1:i + 5]] for i in range(len(words))
             if words[i] in ("work", "window", "client", "static") + BUTTONS}
    if len(rects) != 7:
        return ["not every rectangle: " + line]
    work, window, client, static = (rects[k] for k in ("work", "window", "client", "static"))
    width, height = client[2] - client[0], client[3] - client[1]
    problems = []
    if abs(width - L.W) > 2 or abs(height - L.SHOWN) > 3:
        problems.append(f"client area {width} x {height}, not {L.W} x {L.SHOWN}")
    if window != [client[0] - 1, client[1] - 1, client[2] + 1, client[3] + 1]:
        problems.append(f"window {window} is not the client area {client} and a 1-pixel border")
    if any(abs((window[axis] + window[axis + 2]) - (work[axis] + work[axis + 2])) > 2 for axis in (0, 1)):
        problems.append(f"window {window} not centred in the work area {work}")
    if static[0] > 0 or static[1] > 0 or static[2] < width or static[3] < height:
        problems.append(f"picture {static} does not cover the client area")
    for button in BUTTONS:
        left, top, right, bottom = rects[button]
        if left < static[0] or right > static[2] or top < L.BUTTONS[0] or bottom > L.BUTTONS[1] + 1:
            problems.append(f"button {button} {rects[button]} outside the picture's band")
    for a, b in zip(BUTTONS, BUTTONS[1:]):
        if rects[a][2] > rects[b][0] or rects[a][1::2] != rects[b][1::2]:
            problems.append(f"buttons {a} {rects[a]} and {b} {rects[b]} not side by side")
    return problems


def scenario_failures(s, lines, root, before, args, checks):
    # Where the key went, as a setup of the game's writes it; reg-check's
    # line: the installer must leave the key as it found it.
    regs = [g for g in lines if g.startswith(("reg ", "reg-where"))]
    got = [g for g in lines if g not in regs]
    want_regs = ["reg-where " + ("none" if s.reg == "none" else REGISTRY_VIEW[args.arch]), "reg unchanged"]
    failures = [f"{s.name}: registry: {regs}, expected {want_regs}"] if regs != want_regs else []
    for g, e in zip(got, s.expect):
        if e == GEOMETRY:
            print(f"{s.name}: {g}", *geometry_problems(g), sep="\n  ")
        elif e == GLYPHS_EXIT:
            print(f"{s.name}: {g}")
    if len(got) != len(s.expect) or not all(checks.get(e, e.__eq__)(g) for g, e in zip(got, s.expect)):
        failures.append(f"{s.name}: driver saw\n    " + "\n    ".join(got) +
                        "\n  expected\n    " + "\n    ".join(s.expect))
    for rel in s.chmod:
        os.chmod(os.path.join(root, rel), 0o755)
    after, want = snapshot(root), expected_after(before, s.after)
    if after != want:
        changed = sorted(k for k in set(after) & set(want) if after[k] != want[k])
        failures.append(f"{s.name}: files after differ: extra {sorted(set(after) - set(want))}, "
                        f"missing {sorted(set(want) - set(after))}, changed {changed}")
    return failures


def run_group(name, args):
    user = UNPRIVILEGED_USER if name == "unprivileged" else None
    if user:
        # The sources may lie in a private home that an ordinary user cannot
        # enter: work in a temporary folder of the group's own instead.
        work = tempfile.mkdtemp(prefix=f"e2e-{name}-")
        os.chmod(work, 0o755)
        shutil.copy(WINE_ENV, work)
    else:
        work = args.work
        unmount_under(work)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
    prefix = os.path.join(work, "prefix")
    try:
        result = run_scenarios(name, args, work, prefix, user)
    finally:
        unmount_under(work)
        if user:
            shutil.rmtree(work, ignore_errors=True)
    # A copy of a 64-bit template takes over a gigabyte: keep only a failed one.
    if result == 0:
        shutil.rmtree(prefix, ignore_errors=True)
    return result


def chosen(name, only):
    """The group's scenarios, or those of them that --only names."""
    scenarios = GROUPS[name]
    unknown = [p for p in only if not fnmatch.filter((s.name for s in scenarios), p)]
    if unknown:
        sys.exit(f"no scenario {', '.join(unknown)} in the group {name}; it has: "
                 + " ".join(s.name for s in scenarios))
    return [s for s in scenarios if not only or any(fnmatch.fnmatchcase(s.name, p) for p in only)]


def run_scenarios(name, args, work, prefix, user):
    scenarios = chosen(name, args.only)
    if sh(f'wine_clone_prefix "{args.template}" "{prefix}"').returncode != 0:
        sys.exit("cannot copy the template prefix")
    drive_c = os.path.join(prefix, "drive_c")
    bindir = install_programs(drive_c, args, scenarios)
    # The package unpacks into a folder under Program Files, nothing into the
    # temporary folders, and it must leave nothing in either.
    temps = [os.path.join(base, d) for base, dirs, _ in os.walk(os.path.join(drive_c, "users"))
             for d in dirs if d.lower() == "temp"] + [os.path.join(drive_c, "windows", "temp")]
    programs = [p for p in (os.path.join(drive_c, d) for d in ("Program Files", "Program Files (x86)"))
                if os.path.isdir(p)]
    temps_before = {t: snapshot(t) for t in temps + programs}
    roots = {s.name: lay_out(drive_c, s, args.package) for s in scenarios}
    if user:
        if user not in {p.pw_name for p in pwd.getpwall()}:
            sys.exit(f"missing: the user {user}; run: sudo testbed/setup.sh test")
        subprocess.run(["chown", "-R", user, prefix], check=True)
    befores = {}
    for s in scenarios:
        for rel, mode in s.chmod.items():
            os.chmod(os.path.join(roots[s.name], rel), mode)
        if s.read_only:
            subprocess.run(["mount", "-o", "remount,ro", os.path.join(roots[s.name], "drive")], check=True)
        befores[s.name] = snapshot(roots[s.name])
    script = ["codepage"] + [line for s in scenarios for line in script_for(s)]
    Path(bindir, "script.txt").write_text("\n".join(script) + "\n", encoding="utf-8")
    bin_before = snapshot(bindir)

    # Where the package's work folders may lie: Program Files as each scenario
    # names it; watched in the temporary folders too, where none may appear.
    own_programs = programs + [os.path.join(roots[s.name], s.program_files) for s in scenarios if s.program_files]
    work_folders, stop = set(), threading.Event()
    watcher = threading.Thread(target=watch_work_folders, args=(
        own_programs + temps + [os.path.join(roots[s.name], s.temp) for s in scenarios if s.temp], work_folders, stop))
    watcher.start()
    start = time.time()
    r = sh(f'wine_run "{prefix}" "{BIN}driver.exe" "{BIN}{os.path.basename(args.installer)}" "{BIN}script.txt"',
           user, work, args.locale)
    elapsed = time.time() - start
    stop.set()
    watcher.join()
    sh(f'wine_stop "{prefix}"', user, work)
    out = r.stdout.decode("utf-8", errors="replace").splitlines()

    code_page = f"codepage {CODE_PAGES[args.locale]}"
    failures = [] if out[:1] == [code_page] else [
        f"{out[:1]}, not {code_page}: the group ran under another code page"]
    # The driver's lines per scenario, after the "# name" each echoes first.
    chunks = ("\n" + "\n".join(out)).split("\n# ")[1:]
    per = {title: lines for title, *lines in (chunk.split("\n") for chunk in chunks)}
    about = f"box O projektu | {Path(args.credits).read_text(encoding='utf-8')} | noicon".replace("\n", "\\n")
    # Lines checked by more than equality.
    checks = {BOX_ABOUT: about.__eq__, BOX_ONE_OF_TWO: (BOX_INSTALLED, BOX_COPY_FAILED).__contains__,
              GEOMETRY: lambda line: not geometry_problems(line),
              GLYPHS_EXIT: lambda line: line.startswith(f"glyphs {IDC_EXIT} ") and line.endswith(" missing 0")}
    for s in scenarios:
        failures += scenario_failures(s, per.get(s.name, []), roots[s.name], befores[s.name], args, checks)
    if snapshot(bindir) != bin_before:
        failures.append("C:\\e2e\\bin changed")
    for t, snap in temps_before.items():
        if any(s.package for s in scenarios) and snapshot(t) != snap:
            failures.append(f"left behind in {t}: {sorted(set(snapshot(t)) - set(snap))}")
    failures += [f"work folder outside Program Files: {p}" for p in sorted(work_folders)
                 if os.path.dirname(p) not in own_programs]
    if any(s.package and s.dialog for s in scenarios) and not work_folders & {
            os.path.join(p, n) for p in own_programs for n in WORK_NAMES}:
        failures.append("no work folder of the package's seen under Program Files while its program ran")
    print(f"group {name}: {len(scenarios)} scenarios in {elapsed:.1f} s")
    if r.returncode != 0 or failures:
        print(f"wine exit {r.returncode}; stderr:\n{r.stderr.decode(errors='replace')[-3000:]}")
        print("\n".join(failures))
        return 1
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("what", choices=["template", "group"])
    ap.add_argument("name")
    for option in ("--template", "--installer", "--driver", "--package", "--work"):
        ap.add_argument(option)
    ap.add_argument("--credits", help="the About text the build made (UTF-8)")
    ap.add_argument("--not-a-program", help="the package with a file that is no program in its place")
    ap.add_argument("--arch", choices=sorted(REGISTRY_VIEW), default="win32")
    ap.add_argument("--locale", choices=sorted(CODE_PAGES), default="cs_CZ.UTF-8")
    ap.add_argument("--only", nargs="+", action="extend", default=[], metavar="SCENARIO",
                    help="run these scenarios of the group alone (names or shell patterns)")
    args = ap.parse_args()
    if args.what == "template":
        return make_template(args.name, args.arch)
    if not (args.template and args.credits and args.package):
        ap.error("a group needs --template, --credits and --package")
    if args.name not in GROUPS:
        ap.error(f"no group {args.name}; there are: {' '.join(GROUPS)}")
    chosen(args.name, args.only)
    files = (args.installer, args.driver, args.package, args.credits) + (
        (args.not_a_program,) if any(s.not_a_program for s in GROUPS[args.name]) else ())
    missing = [f for f in files if not (f and os.path.exists(f))]
    if missing:
        sys.exit(f"missing: {missing[0]} (build the tree first)")
    make_template(args.template, args.arch)
    return run_group(args.name, args)


if __name__ == "__main__":
    sys.exit(main())
