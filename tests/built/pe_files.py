"""What the checks on the built files, the release's and the benchmark's
share: reading the resources of a PE file (as pefile loads it) and
resources/resource.h, the failure count and the command line. Standard
library only: the callers load the PE files with pefile."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24


# {name: number} of resources/resource.h's "#define NAME number" lines.
with open(os.path.join(ROOT, "resources", "resource.h"), encoding="utf-8") as _f:
    IDS = {name: int(value, 0) for name, value
           in re.findall(r"^#define\s+(\w+)\s+(0x[0-9a-fA-F]+|\d+)\s*$", _f.read(), re.M)}


def resources(pe):
    """{(type, name): [(lang, bytes)]} with names as int ids or str names."""
    out = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for t in root.entries if root else []:
        for n in t.directory.entries:
            name = str(n.name) if n.name is not None else n.id
            for lang in n.directory.entries:
                d = lang.data.struct
                out.setdefault((t.id, name), []).append(
                    (lang.id, pe.get_data(d.OffsetToData, d.Size)))
    return out


def version_tables(pe):
    """[(language and code page, {key: text})] of the version information."""
    return [(st.LangID, {k.decode(): v.decode() for k, v in st.entries.items()})
            for fi in getattr(pe, "FileInfo", [[]])[0] for st in getattr(fi, "StringTable", [])]


def read(path):
    with open(path, "rb") as f:
        return f.read()


# Failures are printed as they come and counted for the exit status.
failures = []


def check(ok, what):
    """Prints and counts a failed check; returns whether it passed."""
    if not ok:
        print("FAIL:", what)
        failures.append(what)
    return bool(ok)


def expect(what, got, want):
    return got == want or check(False, f"{what}: got {got!r}, want {want!r}")


def run(main, usage, *counts):
    """A check script's command line: main(*arguments) makes the checks and
    returns what to say if all of them passed."""
    args = sys.argv[1:]
    if len(args) not in counts:
        sys.exit(usage)
    try:
        summary = main(*args)
    except OSError as e:  # a file it checks is missing or unreadable
        check(False, f"{e.filename}: {e.strerror}")
    print(f"{len(failures)} check(s) failed" if failures else summary)
    sys.exit(1 if failures else 0)
