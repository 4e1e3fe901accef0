#!/usr/bin/python3
"""The texts file's checks: one row per kind of bad input, each an edit of
the repository's texts.toml and the one line it must produce; that every key
shows where its table says; that files as Windows editors save them read
the same; that every message is in both languages; and that docs/authors.md's
table is the tool's."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

from pe_files import ROOT, read
import messages
import texts

TOOL = [sys.executable, os.path.join(ROOT, "author", "texts.py")]
DEFAULT = read(os.path.join(ROOT, "texts.toml")).decode("utf-8")
AUTHOR = os.path.join(ROOT, "tests", "release", "author.toml")
NAME = "moje mapa.toml"   # as the author typed it
# (what, text replaced, replacement, the line expected, less the file's name;
# None: it passes)
CASES = [
    ("the sample as it is", "", "", None),
    ("missing key", 'web2 = "www.example.org/duneveil"\n', "",
     "map.web2: missing. Add it under [map] as the sample texts.toml has it."),
    ("unknown key", 'web2 =', 'not_a_key = "www.example.net"\nweb2 =',
     "line 16: map.not_a_key: unknown key. Correct its name or delete the line; docs/authors.md lists the keys."),
    ("unknown table", "[release]", '[extra]\nnote = "x"\n\n[release]',
     "line 46: extra.note: unknown key. Correct its name or delete the line; docs/authors.md lists the keys."),
    ("not Windows-1250", 'title = "Písečná brána"', 'title = "Peña brána"',
     'line 9: map.title: the character "ñ" (U+00F1) is not in Windows-1250, in which the installer shows it. '
     "Replace it."),
    ("too wide for the picture", 'title = "Písečná brána"', 'title = "Písečná brána a Velká solná poušť"',
     'line 9: map.title: "Písečná brána a Velká solná poušť (betaverze)" is 14 pixels wider than the picture '
     "allows. Shorten it."),
    ("too tall for its band", 'web2 = "www.example.org/duneveil"', 'web2 = "www.example.org/Ůjezd"',
     "line 13: map.contact, map.web1, map.web2: the lines are 1 pixel too tall for rows 260-297 of the picture "
     "with 2 black rows between them. Avoid capitals with accents (such as Ů) and letters that reach below the "
     "line (g, j, p, y)."),
    ("a thanks line missing", '    "a všem ostatním, kteří mi pomohli radou",\n', "",
     "line 22: credits.installer.thanks: the list has 6 lines; the About box has exactly 7 lines here. "
     "Add or delete lines."),
    ("a line of two", '"firmě Morvane za hru', '"firmě Morvane\\nza hru',
     "line 41: credits.mission.thanks[1]: the text has more than one line; it must be one. "
     "Remove the line break (\\n) from it."),
    ("an empty line", 'author = "Jan Vzorový"', 'author = " "',
     "line 34: credits.mission.author: the text is empty. Write it."),
    ("About box too tall", "Marii Příkladné", "Marii Příkladné" + " a Petru" * 100,
     "credits: the About box would be 686 px tall, 116 pixels more than fits an 800×600 screen with its task "
     "bar. Shorten the texts under [credits]."),
    ("About box too wide", "(www.example.net/lis)", "(www.example.net/" + "lis" * 80 + ")",
     "credits: the About box would be 1108 px wide, 308 pixels more than fits an 800×600 screen. "
     "Shorten the longest line; a word without spaces is not wrapped."),
    ("not true or false", "beta = true", 'beta = "ano"',
     'line 11: map.beta: the value must be true or false, without quotes (not "ano").'),
    ("version", 'version = "1.0.0"', 'version = "1.0"',
     'line 47: release.version: the version must be major.minor.patch, three numbers up to 65535, '
     'such as "1.0.0" (not "1.0").'),
    ("package name", 'package = "Duneveil-mapa-Am01.exe"', 'package = "mapy/Am01.exe"',
     "line 56: release.package: the file name may hold only letters without accents, digits, dots, hyphens "
     'and underscores and must end in .exe, such as "My-map.exe" (not "mapy/Am01.exe").'),
    ("ano for true", "beta = true", "beta = ano",
     "line 11: this line cannot be read (beta = ano). Yes or no (ano, ne) cannot be written here: "
     "write true or false, without quotes."),
    ("Czech quotation marks", 'title = "Písečná brána"', "title = „Písečná brána“",
     'line 9: this line cannot be read (title = „Písečná brána“). „…“ are not quotes in this file. '
     'Put the text in straight double quotes "…".'),
    ("ANSI, from the title on", 'title = "Písečná brána"', b'title = "P\xedse\xe8n\xe1 br\xe1na"',
     "line 9: the file is not UTF-8 (Notepad probably saved it as ANSI). "
     "Open it in Notepad and save it with File → Save as… → Encoding: UTF-8."),
]
# What Windows editors write, and must read as the file itself.
SAVED_AS = [
    ("UTF-8 with a byte-order mark, CRLF", lambda s: b"\xef\xbb\xbf" + s.replace("\n", "\r\n").encode()),
    ("UTF-16 with its byte-order mark", lambda s: s.encode("utf-16")),
]


def check(text, env=(("LANG", "en_GB.UTF-8"),)):
    """The checker's lines for a texts file of this text (or bytes), each
    less the file's name, as the author named it, and its comma or colon."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, NAME), "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode())
        env = dict({k: v for k, v in os.environ.items() if not k.startswith(("LANG", "LC_"))}, **dict(env))
        r = subprocess.run(TOOL + ["check", NAME], cwd=folder, env=env, capture_output=True, encoding="utf-8")
    return r.returncode, [line.removeprefix(NAME)[2:] for line in r.stderr.splitlines()]


def edit(old, new):
    if isinstance(new, bytes):
        return DEFAULT.encode().replace(old.encode(), new, 1)
    return DEFAULT.replace(old, new, 1)


class TextsFile(unittest.TestCase):
    def test_each_bad_input_is_named(self):
        for what, old, new, line in CASES:
            with self.subTest(what):
                self.assertIn(old, DEFAULT)
                self.assertEqual(check(edit(old, new)), (1, [line]) if line else (0, []))

    def test_every_problem_gets_its_line(self):
        """In one run, measuring the title although a key of its table is
        missing; in Czech unless the locale asks for English."""
        text = DEFAULT.replace('web2 = "www.example.org/duneveil"\n', 'not_a_key = "x"\n').replace(
            'title = "Písečná brána"', 'title = "Písečná brána a Velká solná poušť"')
        self.assertEqual(check(text, ()), (1, [
            "řádek 16: map.not_a_key: takový klíč neznám. Opravte jeho název, nebo řádek smažte; "
            "klíče vypisuje docs/authors.md.",
            "map.web2: klíč chybí. Doplňte ho do tabulky [map] podle vzoru v texts.toml.",
            "řádek 9: map.title: „Písečná brána a Velká solná poušť (betaverze)“ je o 14 pixelů širší, než se "
            "vejde do obrázku. Text zkraťte."]))

    def test_windows_editors_files_build_the_same(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, NAME)
            for what, save in SAVED_AS:
                with self.subTest(what):
                    with open(path, "wb") as f:
                        f.write(save(DEFAULT))
                    self.assertEqual(texts.made(texts.load_or_exit(path)),
                                     texts.made(texts.load_or_exit(os.path.join(ROOT, "texts.toml"))))

    def test_each_message_in_both_languages(self):
        """Both languages with the same fields, and every message the
        build's scripts name is in the table."""
        code = "".join(read(os.path.join(ROOT, *p)).decode() for p in (
            ("build.sh",), ("testbed", "setup.sh"), ("author", "texts.py")))
        named = set(re.findall(r"\bmsg(?:_count \S+)? (\w+)", code) + re.findall(r'"(\w+)", \{', code)
                    + re.findall(r'text\("(\w+)"', code) + re.findall(r'count\(\S+, "(\w+)"\)', code))
        self.assertEqual(named - set(messages.TABLE_ROWS), set())
        rows = [r for r in read(messages.TABLE).decode().splitlines() if r and not r.startswith("#")]
        self.assertEqual([r for r in rows if r.count("\t") != 2], [], "rows of other than id, Czech, English")
        for id, row in messages.TABLE_ROWS.items():
            with self.subTest(id):
                fields = [sorted(re.findall(r"\{(\w+)\}", row[lang])) for lang in ("cs", "en")]
                self.assertEqual(fields[0], fields[1])
                self.assertTrue(row["cs"] and row["en"])

    def test_each_key_shows_where_its_table_says(self):
        """A key the check accepts but nothing draws: each key in turn takes
        another author's value, and just the part of the release it names
        must change."""
        default = texts.load_or_exit(os.path.join(ROOT, "texts.toml"))
        other = texts.load_or_exit(AUTHOR)
        made = texts.made(default)
        for key, row in texts.KEYS.items():
            with self.subTest(key):
                t = dict(default, **{key: other[key]})
                self.assertEqual(texts.value_checks(t), [])
                now = texts.made(t)
                self.assertEqual({part for part in made if now[part] != made[part]}, {row.part})

    def test_the_guide_shows_the_tools_table(self):
        readme = read(os.path.join(ROOT, "docs", "authors.md")).decode("utf-8")
        start = readme.find(texts.keys_table().split("\n")[0])
        self.assertEqual(readme[start:readme.find("\n\n", start) + 1] if start >= 0 else "", texts.keys_table(),
                         "docs/authors.md's key table: paste in the output of author/texts.py keys-table")


if __name__ == "__main__":
    unittest.main()
