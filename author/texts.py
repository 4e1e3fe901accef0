#!/usr/bin/python3
"""The map author's texts file (UTF-8 TOML, texts.toml at the root is the
sample): the map's title, the addresses, the credits and the release details.

  texts.py check TEXTS                 one line per problem; exit 1 if any
  texts.py get TEXTS KEY               one value, e.g. release.package
  texts.py credits TEXTS CPP TXT       the About text as C++ (Windows-1250) and as UTF-8
  texts.py picture TEXTS BMP           the installer picture
  texts.py preview TEXTS PNG           the picture with the buttons, and the About box
  texts.py rc TEXTS RC                 version information for the program
  texts.py nsh TEXTS NSH               and for the package
  texts.py icon ICO                    the program's icon (resources/installer.ico)
  texts.py keys-table                  the table of the keys in docs/authors.md

Every command with a texts file checks all of it first and stops on a
problem. The drawing is make_artwork's.
"""
import codecs
import collections
import errno
import io
import itertools
import os
import re
import string
import sys
import tomllib

import make_artwork
import messages

# Every key of the texts file, the one place each is named and described:
# what its value must be ("line", one line of text; "bool"; or a number of
# lines, a list of that many), the part of the release that shows it (a key
# of made()), and where it shows and what it must be in English and Czech,
# for docs/authors.md's table (keys_table()).
Key = collections.namedtuple("Key", "kind part where rule")
ONE_LINE = ("one line", "jeden řádek")
KEYS = {
    "map.title": Key("line", "picture", (
        'picture, second line of the title band, below "Instalace nové mapy:"',
        "obrázek, pod „Instalace nové mapy:“"), (
        'one line that fits the picture\'s width in the 13-px bold font, with " (betaverze)" when `beta`',
        "jeden řádek, který se i s „ (betaverze)“ vejde do šířky obrázku (tučné písmo 13 px)")),
    "map.beta": Key("bool", "picture", (
        '`true` adds " (betaverze)" to the title', "`true` přidá k názvu „ (betaverze)“"), (
        "`true` or `false`", "`true`, nebo `false`")),
    "map.contact": Key("line", "picture", (
        'picture, after "Připomínky k mapě pište na:"', "obrázek, za „Připomínky k mapě pište na:“"), (
        "the whole line must fit the picture's width", "celý řádek se musí vejít do šířky obrázku")),
    **{key: Key("line", "picture", (
        "picture, the two lines below the contact", "obrázek, dva řádky pod kontaktem"), (
        "each fits the picture's width; the three lines fit their band with 2 black rows of pixels "
        "between them and around them",
        "každý se musí vejít do šířky obrázku; všechny tři do svého pásu, s dvěma černými řádky "
        "pixelů mezi sebou i kolem sebe")) for key in ("map.web1", "map.web2")},
    "credits.installer.author": Key("line", "about", (
        'About box, "Autor: …" of the installer section', "okno O projektu, „Autor:“ instalátoru"),
        ONE_LINE),
    "credits.installer.thanks": Key(7, "about", (
        "the seven thanks of the installer section, in this order: a guide to programming for "
        "Windows, a guide to launching programs, the development environment, its compiler, the "
        "executable compressor (with its web address), the self-extracting-archive maker, everybody else",
        "sedm poděkování instalátoru v tomto pořadí: návod k programování pro Windows, návod ke "
        "spouštění programů, vývojové prostředí, jeho překladač, kompresor spustitelných souborů "
        "(s webovou adresou), program pro samorozbalovací archiv, všem ostatním"), (
        "a list of exactly 7 lines", "seznam přesně sedmi řádků")),
    "credits.mission.author": Key("line", "about", (
        'About box, "Autor: …" of the mission section', "okno O projektu, „Autor:“ mise"), ONE_LINE),
    "credits.mission.artist": Key("line", "about", (
        'About box, "Grafik: …"', "okno O projektu, „Grafik:“"), ONE_LINE),
    "credits.mission.advice": Key("line", "about", (
        "the line on advice in the mission-scripting language",
        "řádek o radách ke skriptovacímu jazyku misí"), ONE_LINE),
    "credits.mission.thanks": Key(2, "about", (
        "the two thanks of the mission section, in this order: the game's maker, the person who "
        "provided the editor",
        "dvě poděkování mise v tomto pořadí: výrobci hry, tomu, kdo poskytl editor"), (
        "a list of exactly 2 lines", "seznam přesně dvou řádků")),
    "release.version": Key("line", "version", (
        "version information of the program and the package", "informace o verzi programu i balíku"), (
        "`major.minor.patch`, numbers up to 65535, e.g. `1.0.0`",
        "`hlavní.vedlejší.oprava`, čísla nejvýše 65535, např. `1.0.0`")),
    "release.product": Key("line", "version", ("ProductName", "název produktu"), ONE_LINE),
    "release.description": Key("line", "version", (
        "FileDescription (Explorer shows it as the file's description)",
        "Průzkumník ho ukazuje jako popis souboru"), ONE_LINE),
    "release.copyright": Key("line", "version", ("LegalCopyright", "autorská práva"), ONE_LINE),
    "release.package": Key("line", "package", (
        "the package's file name in `dist/`", "název souboru balíku v `dist/`"), (
        "letters, digits, `.`, `-`, `_`, ending in `.exe`",
        "písmena, číslice, `.`, `-`, `_`, na konci `.exe`")),
}
# Texts that end up in Windows-1250 (the About box) or in the picture's fonts.
CP1250_KEYS = [k for k, key in KEYS.items() if k.startswith(("map.", "credits.")) and key.kind != "bool"]
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
    """The About box's lines as it breaks them, and its width and height in
    pixels, for this text."""
    font = make_artwork.font(ABOUT_FONT, 11)

    def width(s):  # whole pixels a character, as Windows adds them up
        return sum(round(font.getlength(c)) for c in s)
    # Dialog units from the font's average character width, as Windows does.
    wrap = ABOUT_UNITS * ((width(string.ascii_uppercase + string.ascii_lowercase) // 26 + 1) // 2) // 4
    shown = []
    lines = text.split("\n")
    for i, line in enumerate(lines):
        words = line.split(" ")
        current = words[0]
        for word in words[1:]:
            if width(current + " " + word) > wrap:
                shown.append(current)
                current = word
            else:
                current += " " + word
        shown.append(current)
        # Wine leaves the line break after an overlong word as a line of its own.
        if width(current) > wrap and i < len(lines) - 1:
            shown.append("")
    widest = max([wrap] + [width(s) for s in shown])
    return shown, (widest + ABOUT_CHROME[0], len(shown) * ABOUT_LINE + ABOUT_CHROME[1])


def value_problems(t):
    """Missing keys, wrong kinds of value, empty or multi-line texts."""
    found = []
    for key, entry in KEYS.items():
        kind, value = entry.kind, t.get(key)
        if key not in t:
            found.append((key, "key_missing", {"table": key.rpartition(".")[0]}))
        elif kind == "bool":
            if not isinstance(value, bool):
                found.append((key, "want_bool", {"value": toml_value(value)}))
        elif kind == "line" and not isinstance(value, str):
            found.append((key, "want_text", {}))
        elif kind != "line" and not (isinstance(value, list) and all(isinstance(v, str) for v in value)):
            found.append((key, "want_list", {"n": messages.count(kind, "lines")}))
        elif kind != "line" and len(value) != kind:
            found.append((key, "list_length", {"got": messages.count(len(value), "lines"),
                                               "n": messages.count(kind, "lines")}))
        else:  # texts, each to be one line
            lines = [(key, value)] if kind == "line" else [(f"{key}[{i}]", v) for i, v in enumerate(value, 1)]
            found += [(k, "multi_line" if v.strip() else "empty", {}) for k, v in lines
                      if not v.strip() or "\n" in v or "\r" in v]
    return found


def toml_value(v):
    """A value as the file writes it."""
    return str(v).lower() if isinstance(v, bool) else f'"{v}"' if isinstance(v, str) else str(v)


def encoding_problems(t):
    found = []
    for key in (k for k in CP1250_KEYS if k in t):
        for v in t[key] if isinstance(t[key], list) else [t[key]]:
            found += [(key, "not_cp1250", {"ch": ch, "code": f"{ord(ch):04X}"})
                      for ch in dict.fromkeys(v) if ch not in CP1250]
    return found


def release_problems(t):
    found = []
    version = t.get("release.version", "1.0.0")
    parts = version.split(".")
    if not (len(parts) == 3 and all(re.fullmatch(r"0|[1-9][0-9]{0,4}", p) and int(p) <= 65535
                                    for p in parts)):
        found.append(("release.version", "bad_version", {"value": toml_value(version)}))
    package = t.get("release.package", "x.exe")
    if not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9._-]*\.exe", package):
        found.append(("release.package", "bad_package", {"value": toml_value(package)}))
    return found


def about_problems(t):
    """The About box must fit the screen. (Its shape, the headings and the
    separator, is the build's; value_problems sees to the lines.)"""
    found = []
    for size, limit, what in zip(about_box(credits(t))[1], SCREEN, ("about_wide", "about_tall")):
        if size > limit:
            found.append(("credits", what, {"size": size, "over": messages.count(size - limit, "px")}))
    return found


def picture_problems(t):
    found = []
    for key, (kind, *numbers) in make_artwork.misfits(t):
        if kind == "wide":
            found.append((key, "too_wide", {"text": numbers[0], "n": messages.count(numbers[1], "px")}))
        else:
            first, last = numbers[1]
            found.append((key, "too_tall", {"n": messages.count(numbers[0], "px"), "first": first,
                                            "last": last, "gap": numbers[2]}))
    return found


def stand_in(kind):
    """A value for a key that is missing or wrong, so that the others are
    still measured: every problem in one run."""
    return False if kind == "bool" else "." if kind == "line" else ["."] * kind


def value_checks(t):
    """[(key, message id, fields)] for the texts' values, {key: value}."""
    found = [(k, "key_unknown", {}) for k in t if k not in KEYS]
    bad = value_problems(t)
    found += bad
    good = {k: v for k, v in t.items() if k in KEYS and k not in {b.split("[")[0] for b, _, _ in bad}}
    found += encoding_problems(good) + release_problems(good)
    whole = {k: good[k] if k in good else stand_in(key.kind) for k, key in KEYS.items()}
    return found + about_problems(whole) + picture_problems(whole)


def key_lines(text):
    """{key: its line number} as the file writes it; a list's items on the
    lines that follow its key, where each has a line of its own."""
    found, table, lines = {}, "", text.splitlines()
    for n, line in enumerate(lines, 1):
        s = line.strip()
        header = re.match(r"\[\s*([\w.\- ]+?)\s*\]\s*(#.*)?$", s)
        if header:
            table = header.group(1).replace(" ", "") + "."
            continue
        key = re.match(r'([\w.\-"]+)\s*=', s)
        if key:
            name = table + key.group(1).replace('"', "")
            found.setdefault(name, n)
            for i, item in enumerate(lines[n:n + 8], 1):
                if item.strip().startswith('"'):
                    found.setdefault(f"{name}[{i}]", n + i)
    return found


def decode(data):
    """The text of a file as Windows editors save it: UTF-8 with or without
    a byte-order mark, or UTF-16 with one (Notepad's "Unicode")."""
    if data[:2] in (codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE):
        return data.decode("utf-16")
    return data.decode("utf-8-sig")


def syntax_problem(text, error):
    """Where the TOML parser stopped, the line itself and the likely fix."""
    lines = text.splitlines()
    at = re.search(r"at line (\d+)", str(error))
    n = min(int(at.group(1)), len(lines)) if at else len(lines)
    line = lines[n - 1].strip() if lines else ""
    if re.search("[„“”]", line):
        hint = "syntax_quotes"
    elif re.search(r"=\s*(ano|ne|yes|no)\s*(#.*)?$", line, re.IGNORECASE):
        hint = "syntax_bool"
    else:
        hint = "syntax_other"
    return n, messages.text("syntax", text=line) + " " + messages.text(hint)


def where(name, line):
    return messages.text("at_line", file=name, line=line) if line else name


def problems(path, name=None):
    """(values, ["file, line: key: problem", ...]) for the texts file at
    path, named as the author named it."""
    name = name or path
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        return None, [file_problem(name, e)]
    try:
        text = decode(data)
    except UnicodeDecodeError as e:
        line = data[:e.start].count(b"\n") + 1
        return None, [f"{where(name, line)}: {messages.text('not_utf8')}"]
    try:
        t = flatten(tomllib.loads(text))
    except tomllib.TOMLDecodeError as e:
        line, what = syntax_problem(text, e)
        return None, [f"{where(name, line)}: {what}"]
    lines = key_lines(text)
    return t, [f"{where(name, lines.get(key.split(', ')[0]))}: {key}: {messages.text(id, **fields)}"
               for key, id, fields in value_checks(t)]


def file_problem(name, error):
    ids = {errno.ENOENT: "file_missing", errno.EISDIR: "file_is_folder", errno.EACCES: "file_no_access"}
    return messages.text(ids.get(error.errno, "file_unreadable"), file=name, cwd=os.getcwd(),
                         reason=error.strerror)


def load_or_exit(path, name=None):
    t, found = problems(path, name)
    if found:
        sys.exit("\n".join(found))
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
    write(cpp, ("// Generated by author/texts.py from the texts file: the About box text.\n"
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


def rc_file(t):
    """The program's version information, in Czech."""
    version, fields = version_fields(t)
    numbers = version.replace(".", ",")
    return (("// Generated by author/texts.py from the texts file.\n"
               "#include <windows.h>\n\nLANGUAGE LANG_CZECH, SUBLANG_DEFAULT\n\n"
               f"VS_VERSION_INFO VERSIONINFO\nFILEVERSION {numbers}\nPRODUCTVERSION {numbers}\n"
               "FILEOS VOS_NT_WINDOWS32\nFILETYPE VFT_APP\nBEGIN\n"
               '    BLOCK "StringFileInfo"\n    BEGIN\n        BLOCK "040504E2"\n        BEGIN\n'
               + "".join(f'            VALUE "{k}", {rc_string(v)}\n' for k, v in fields)
               + "        END\n    END\n"
               '    BLOCK "VarFileInfo"\n    BEGIN\n        VALUE "Translation", 0x405, 1250\n'
               "    END\nEND\n").encode("ascii"))


def nsh_file(t):
    """The same for the package, as defines for package/installer.nsi."""
    version, fields = version_fields(t)
    return (("; Generated by author/texts.py from the texts file.\n"
                f"!define VI_VERSION {version}\n"
                + "".join(f"!define VI_{k} {nsis_string(v)}\n" for k, v in fields
                          if not k.endswith("Version"))).encode("utf-8"))


# The dialog's base units at 96 DPI in its font, "MS Sans Serif" 8: a dialog
# unit is a quarter of 6 px across and an eighth of 13 px down.
DIALOG_BASE = (6, 13)
PREVIEW_MARGIN, OUTLINE = 10, (0, 120, 215)


def source(*path):
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", *path), encoding="utf-8") as f:
        return f.read()


def dialog_buttons():
    """[(text, (left, top, right, bottom))]: the dialog's buttons as its
    template places them, in pixels at 96 DPI (as MulDiv rounds)."""
    found = []
    for text, *units in re.findall(r'PUSHBUTTON\s+L?"([^"]*)",\s*\w+,\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)',
                                   source("resources", "installer.rc")):
        x, y, w, h = (int(u) for u in units)
        bx, by = DIALOG_BASE
        px = [(x * bx + 2) // 4, (y * by + 4) // 8, (w * bx + 2) // 4, (h * by + 4) // 8]
        text = re.sub(r"\\x([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), text)
        found.append((text, (px[0], px[1], px[0] + px[2], px[1] + px[3])))
    return found


def preview(t):
    """The picture as the program carries it, the buttons outlined where the
    dialog puts them at 96 DPI, and the About box beside it with its lines
    broken as the box breaks them: a PNG."""
    from PIL import Image, ImageDraw
    m, (lines, (w, h)) = PREVIEW_MARGIN, about_box(credits(t))
    picture = Image.open(io.BytesIO(make_artwork.make_bmp(t)))
    im = Image.new("RGB", (m + picture.width + 2 * m + w + m, 2 * m + max(picture.height, h)), (240, 240, 240))
    im.paste(picture, (m, m))
    d = ImageDraw.Draw(im)
    small = make_artwork.font(ABOUT_FONT, 11)
    for text, (left, top, right, bottom) in dialog_buttons():
        d.rectangle((m + left, m + top, m + right - 1, m + bottom - 1), outline=OUTLINE)
        d.text((m + (left + right) / 2, m + (top + bottom) / 2), text, font=small, fill=OUTLINE, anchor="mm")
    x, caption = 3 * m + picture.width, 20
    d.rectangle((x, m, x + w - 1, m + h - 1), fill=(255, 255, 255), outline=(100, 100, 100))
    d.rectangle((x, m, x + w - 1, m + caption - 1), fill=(0, 84, 166))
    title = re.search(r'kszAboutCaption\[\] = "([^"]*)"', source("ui", "main_dlg.cpp")).group(1)
    d.text((x + 6, m + caption // 2), title, font=small, fill=(255, 255, 255), anchor="lm")
    for i, line in enumerate(lines):
        d.text((x + 17, m + caption + 12 + i * ABOUT_LINE), line, font=small, fill=(0, 0, 0))
    d.rectangle((x + (w - 75) // 2, m + h - 31, x + (w + 75) // 2, m + h - 8), outline=(100, 100, 100))
    d.text((x + w // 2, m + h - 20), "OK", font=small, fill=(0, 0, 0), anchor="mm")
    out = io.BytesIO()
    im.save(out, "PNG")
    return out.getvalue()


def made(t):
    """What the build makes of the texts, by the part of the release that
    shows them (KEYS' parts): CMake names the package after `get`'s answer."""
    return {"picture": make_artwork.make_bmp(t), "about": credits(t),
            "version": rc_file(t) + nsh_file(t), "package": t["release.package"]}


def keys_table():
    """docs/authors.md's table of the keys, in Markdown: keys described alike
    share a row."""
    rows = ["| key | where it shows / kde se ukáže | what it must be / co musí splňovat |", "|---|---|---|"]
    for (where, rule), keys in itertools.groupby(KEYS, lambda k: (KEYS[k].where, KEYS[k].rule)):
        rows.append(f"| {', '.join(f'`{k}`' for k in keys)} | {' / '.join(where)} | {' / '.join(rule)} |")
    return "\n".join(rows) + "\n"


def main(argv):
    commands = {"check": (0, lambda t: None), "get": (1, lambda t, key: print(t[key])),
                "credits": (2, write_credits), "rc": (1, lambda t, rc: write(rc, rc_file(t))),
                "nsh": (1, lambda t, nsh: write(nsh, nsh_file(t))),
                "picture": (1, lambda t, bmp: write(bmp, make_artwork.make_bmp(t))),
                "preview": (1, lambda t, png: write(png, preview(t)))}
    if argv[:1] == ["icon"] and len(argv) == 2:
        return write(argv[1], make_artwork.make_ico())
    if argv == ["keys-table"]:
        return print(keys_table(), end="")
    if len(argv) < 2 or argv[0] not in commands or len(argv) - 2 != commands[argv[0]][0]:
        sys.exit(__doc__.split("\n\n")[1])
    commands[argv[0]][1](load_or_exit(argv[1]), *argv[2:])


if __name__ == "__main__":
    main(sys.argv[1:])
