#!/usr/bin/python3
"""The map author's texts file (UTF-8 TOML, texts.toml at the root is the
sample): the map's title, the addresses, the credits and the release details.

  texts.py check TEXTS                 one line per problem; exit 1 if any
  texts.py get TEXTS KEY               one value, e.g. release.package
  texts.py credits TEXTS CPP TXT       the About text as C++ (Windows-1250) and as UTF-8
  texts.py picture TEXTS BMP           the installer picture
  texts.py rc TEXTS RC                 version information for the program
  texts.py nsh TEXTS NSH               and for the package
  texts.py icon ICO                    the program's icon (resources/installer.ico)

Every command with a texts file checks all of it first and stops on a
problem. The drawing is make_artwork's.
"""
import os
import re
import string
import sys
import tomllib

import make_artwork

# Every key, with what its value must be: "line" (one line of text), "bool",
# or a number of lines (a list of that many lines).
KEYS = {
    "map.title": "line", "map.beta": "bool", "map.contact": "line",
    "map.web1": "line", "map.web2": "line",
    "credits.installer.author": "line", "credits.installer.thanks": 7,
    "credits.mission.author": "line", "credits.mission.artist": "line",
    "credits.mission.advice": "line", "credits.mission.thanks": 2,
    "release.version": "line", "release.product": "line", "release.description": "line",
    "release.copyright": "line", "release.package": "line",
}
# Texts that end up in Windows-1250 (the About box) or in the picture's fonts.
CP1250_KEYS = [k for k, kind in KEYS.items() if k.startswith(("map.", "credits.")) and kind != "bool"]
CP1250 = set(bytes(range(256)).decode("cp1250", "ignore"))

THANKS = "Poděkování:"

# The About box, as Wine lays it out: the narrowest message box we know, so
# the tallest. Its text control is 176 dialog units wide in the 8-point
# message font, which Wine on Debian drew with DejaVu Sans at 11 px in lines
# of 13 px; a line wider than that is wrapped at its spaces, a longer word is
# not broken (the separator is one). The box is 34 px wider and 75 px taller
# than its text (Wine 8 at 96 dpi, where these numbers gave its size to the
# pixel). It must fit an 800 x 600 screen less a 30-px task bar.
ABOUT_FONT, ABOUT_UNITS, ABOUT_LINE, ABOUT_CHROME = "DejaVuSans.ttf", 176, 13, (34, 75)
SCREEN = (800, 570)


def flatten(table, prefix=""):
    """{"a": {"b": 1}} -> {"a.b": 1}"""
    out = {}
    for name, value in table.items():
        out.update(flatten(value, f"{prefix}{name}.") if isinstance(value, dict) else {prefix + name: value})
    return out


def credits(t):
    """The About box's text: the installer's section, the separator, the
    mission's section; 22 lines."""
    return "\n".join([
        "Instalátor:", "Autor: " + t["credits.installer.author"], "", THANKS,
        *t["credits.installer.thanks"],
        "", "-" * 110, "",  # the separator
        "Mise:", "Autor: " + t["credits.mission.author"], "Grafik: " + t["credits.mission.artist"],
        t["credits.mission.advice"], "", THANKS,
        *t["credits.mission.thanks"],
    ])


def about_box(text):
    """The About box's width and height in pixels for this text."""
    font = make_artwork.font(ABOUT_FONT, 11)

    def width(s):  # whole pixels a character, as Windows adds them up
        return sum(round(font.getlength(c)) for c in s)
    # Dialog units from the font's average character width, as Windows does.
    wrap = ABOUT_UNITS * ((width(string.ascii_uppercase + string.ascii_lowercase) // 26 + 1) // 2) // 4
    shown, widest = 0, wrap
    lines = text.split("\n")
    for i, line in enumerate(lines):
        words = line.split(" ")
        current = width(words[0])
        for word in words[1:]:
            if current + width(" " + word) > wrap:
                shown, widest, current = shown + 1, max(widest, current), width(word)
            else:
                current += width(" " + word)
        shown, widest = shown + 1, max(widest, current)
        # Wine leaves the line break after an overlong word as a line of its own.
        if current > wrap and i < len(lines) - 1:
            shown += 1
    return widest + ABOUT_CHROME[0], shown * ABOUT_LINE + ABOUT_CHROME[1]


def value_problems(t):
    """Missing keys, wrong kinds of value, empty or multi-line texts."""
    found = []
    for key, kind in KEYS.items():
        value = t.get(key)
        if key not in t:
            found.append((key, "missing"))
        elif kind == "bool":
            if not isinstance(value, bool):
                found.append((key, "want true or false"))
        elif kind == "line" and not isinstance(value, str):
            found.append((key, "want a text in double quotes"))
        elif kind != "line" and not (isinstance(value, list) and all(isinstance(v, str) for v in value)):
            found.append((key, f'want a list of {kind} texts: ["...", "..."]'))
        elif kind != "line" and len(value) != kind:
            found.append((key, f"{len(value)} lines, the About box has {kind} here"))
        else:  # texts, each to be one line
            lines = [(key, value)] if kind == "line" else [(f"{key}[{i}]", v) for i, v in enumerate(value, 1)]
            found += [(k, "more than one line" if v.strip() else "empty") for k, v in lines
                      if not v.strip() or "\n" in v or "\r" in v]
    return found


def encoding_problems(t):
    found = []
    for key in (k for k in CP1250_KEYS if k in t):
        for v in t[key] if isinstance(t[key], list) else [t[key]]:
            found += [(key, f'"{ch}" (U+{ord(ch):04X}) is not in Windows-1250')
                      for ch in dict.fromkeys(v) if ch not in CP1250]
    return found


def release_problems(t):
    found = []
    parts = t.get("release.version", "1.0.0").split(".")
    if not (len(parts) == 3 and all(re.fullmatch(r"0|[1-9][0-9]{0,4}", p) and int(p) <= 65535
                                    for p in parts)):
        found.append(("release.version", "want major.minor.patch, numbers up to 65535: 1.0.0"))
    if not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9._-]*\.exe", t.get("release.package", "x.exe")):
        found.append(("release.package", "want a file name of letters, digits, '.', '-', '_' "
                                         "ending in .exe"))
    return found


def about_problems(t):
    """The About box must fit the screen. (Its shape, the headings and the
    separator, is the build's; value_problems sees to the lines.)"""
    found = []
    for size, limit, what, where in zip(about_box(credits(t)), SCREEN, ("wide", "tall"),
                                        ("an 800x600 screen", "an 800x600 screen with its task bar")):
        if size > limit:
            found.append(("credits", f"the About box would be {size} px {what}, "
                                     f"{size - limit} px over the {limit} px of {where}"))
    return found


def problems(path):
    """(values, ["key: problem", ...]) for the texts file at path."""
    try:
        with open(path, "rb") as f:
            t = flatten(tomllib.loads(f.read().decode("utf-8")))
    except OSError as e:
        return None, [f"cannot read: {e.strerror}"]
    except UnicodeDecodeError as e:
        return None, [f"not UTF-8 (byte {e.start})"]
    except tomllib.TOMLDecodeError as e:
        return None, [f"not a valid TOML file: {e}"]
    found = [(k, "unknown key") for k in t if k not in KEYS]
    bad = value_problems(t)
    found += bad
    # The rest with the keys that hold what they should: every problem at once.
    good = {k: v for k, v in t.items() if k in KEYS and k not in {b.split("[")[0] for b, _ in bad}}
    found += encoding_problems(good) + release_problems(good)
    for table, more in (("credits.", about_problems), ("map.", make_artwork.misfits)):
        if all(k in good for k in KEYS if k.startswith(table)):
            found += more(good)
    return t, [f"{key}: {what}" for key, what in found]


def load_or_exit(path):
    t, found = problems(path)
    if found:
        sys.exit("\n".join(f"{path}: {p}" for p in found))
    return t


# How C source writes each Windows-1250 byte in a string literal.
C_ESCAPES = {b: chr(b) if 0x20 <= b < 0x7F else f"\\{b:03o}" for b in range(256)}
C_ESCAPES.update({0x0A: "\\n", 0x22: '\\"', 0x5C: "\\\\"})


def c_string(data):
    """Windows-1250 bytes as a C string literal, a line per source line."""
    return "\n".join('    "' + "".join(C_ESCAPES[b] for b in line) + '"'
                     for line in data.splitlines(keepends=True))


def write(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def write_credits(t, cpp, txt):
    text = credits(t)
    write(cpp, ("// Generated by tools/texts.py from the texts file: the About box text.\n"
                '#include "main_dlg.h"\n\nconst char g_szCredits[] =\n'
                + c_string(text.encode("cp1250")) + ";\n").encode("ascii"))
    write(txt, text.encode("utf-8"))


def rc_string(s):
    """UTF-16 escapes, so the template does not depend on a code page."""
    return 'L"' + "".join(c if 0x20 <= ord(c) < 0x7F and c not in '"\\' else f"\\x{ord(c):04X}"
                          for c in s) + '"'


def nsis_string(s):
    """Version keys take no variables: only a quote needs escaping."""
    return '"' + s.replace('"', '$\\"') + '"'


def version_fields(t):
    version = t["release.version"] + ".0"
    return version, [("FileDescription", t["release.description"]),
                     ("ProductName", t["release.product"]), ("FileVersion", version),
                     ("ProductVersion", version), ("LegalCopyright", t["release.copyright"])]


def write_rc(t, rc):
    """The program's version information, in Czech."""
    version, fields = version_fields(t)
    numbers = version.replace(".", ",")
    write(rc, ("// Generated by tools/texts.py from the texts file.\n"
               "#include <windows.h>\n\nLANGUAGE LANG_CZECH, SUBLANG_DEFAULT\n\n"
               f"VS_VERSION_INFO VERSIONINFO\nFILEVERSION {numbers}\nPRODUCTVERSION {numbers}\n"
               "FILEOS VOS_NT_WINDOWS32\nFILETYPE VFT_APP\nBEGIN\n"
               '    BLOCK "StringFileInfo"\n    BEGIN\n        BLOCK "040504E2"\n        BEGIN\n'
               + "".join(f'            VALUE "{k}", {rc_string(v)}\n' for k, v in fields)
               + "        END\n    END\n"
               '    BLOCK "VarFileInfo"\n    BEGIN\n        VALUE "Translation", 0x405, 1250\n'
               "    END\nEND\n").encode("ascii"))


def write_nsh(t, nsh):
    """The same for the package, as defines for package/installer.nsi."""
    version, fields = version_fields(t)
    write(nsh, ("; Generated by tools/texts.py from the texts file.\n"
                f"!define VI_VERSION {version}\n"
                + "".join(f"!define VI_{k} {nsis_string(v)}\n" for k, v in fields
                          if not k.endswith("Version"))).encode("utf-8"))


def main(argv):
    commands = {"check": (0, lambda t: None), "get": (1, lambda t, key: print(t[key])),
                "credits": (2, write_credits), "rc": (1, write_rc), "nsh": (1, write_nsh),
                "picture": (1, lambda t, bmp: write(bmp, make_artwork.make_bmp(t)))}
    if argv[:1] == ["icon"] and len(argv) == 2:
        return write(argv[1], make_artwork.make_ico())
    if len(argv) < 2 or argv[0] not in commands or len(argv) - 2 != commands[argv[0]][0]:
        sys.exit(__doc__.split("\n\n")[1])
    commands[argv[0]][1](load_or_exit(argv[1]), *argv[2:])


if __name__ == "__main__":
    main(sys.argv[1:])
