#!/usr/bin/python3
"""The texts file's checks: one row per kind of bad input, each an edit of
the repository's texts.toml and the one line it must produce; that every key
shows where its table says; and that README.md's table is the tool's."""
import os
import subprocess
import sys
import unittest

from pe_files import ROOT, read
import texts

TOOL = [sys.executable, os.path.join(ROOT, "tools", "texts.py")]
DEFAULT = read(os.path.join(ROOT, "texts.toml")).decode("utf-8")
AUTHOR = os.path.join(ROOT, "tests", "release", "author.toml")
# (what, text replaced, replacement, the line expected)
CASES = [
    ("missing key", 'web2 = "www.example.org/duneveil"\n', "",
     "map.web2: missing"),
    ("unknown key", 'web2 =', 'not_a_key = "www.example.net"\nweb2 =',
     "map.not_a_key: unknown key"),
    ("unknown table", "[release]", '[extra]\nnote = "x"\n\n[release]',
     "extra.note: unknown key"),
    ("not Windows-1250", 'title = "Písečná brána"', 'title = "Peña brána"',
     'map.title: "ñ" (U+00F1) is not in Windows-1250'),
    ("too wide for the picture", 'title = "Písečná brána"', 'title = "Písečná brána a Velká solná poušť"',
     'map.title: "Písečná brána a Velká solná poušť (betaverze)" is 14 px wider than the picture allows'),
    ("too tall for its band", 'web2 = "www.example.org/duneveil"', 'web2 = "www.example.org/Ůjezd"',
     "map.contact, map.web1, map.web2: the lines are 1 px too tall for rows 260-297 with 2 black rows "
     "between them"),
    ("a thanks line missing", '    "a všem ostatním, kteří mi pomohli radou",\n', "",
     "credits.installer.thanks: 6 lines, the About box has 7 here"),
    ("a line of two", '"firmě Morvane za hru', '"firmě Morvane\\nza hru',
     "credits.mission.thanks[1]: more than one line"),
    ("an empty line", 'author = "Jan Vzorový"', 'author = " "',
     "credits.mission.author: empty"),
    ("About box too tall", "Marii Příkladné", "Marii Příkladné" + " a Petru" * 100,
     "credits: the About box would be 686 px tall, 116 px over the 570 px of an 800x600 "
     "screen with its task bar"),
    ("About box too wide", "(www.example.net/lis)", "(www.example.net/" + "lis" * 80 + ")",
     "credits: the About box would be 1108 px wide, 308 px over the 800 px of an 800x600 screen"),
    ("not true or false", "beta = true", 'beta = "ano"',
     "map.beta: want true or false"),
    ("version", 'version = "1.0.0"', 'version = "1.0"',
     "release.version: want major.minor.patch, numbers up to 65535: 1.0.0"),
    ("package name", 'package = "Duneveil-mapa-Am01.exe"', 'package = "mapy/Am01.exe"',
     "release.package: want a file name of letters, digits, '.', '-', '_' ending in .exe"),
    ("not TOML", "beta = true", "beta = ano",
     "not a valid TOML file: Invalid value (at line 8, column 8)"),
]


def check(text):
    """The checker's lines for a texts file of this text, less its name."""
    r = subprocess.run(TOOL + ["check", "/dev/stdin"], input=text, capture_output=True,
                       encoding="utf-8")
    return r.returncode, [line.removeprefix("/dev/stdin: ") for line in r.stderr.splitlines()]


class TextsFile(unittest.TestCase):
    def test_the_repository_file_passes(self):
        self.assertEqual(check(DEFAULT), (0, []))

    def test_each_bad_input_is_named(self):
        for what, old, new, line in CASES:
            with self.subTest(what):
                self.assertIn(old, DEFAULT)
                self.assertEqual(check(DEFAULT.replace(old, new, 1)), (1, [line]))

    def test_every_problem_gets_its_line(self):
        text = DEFAULT.replace('web2 = "www.example.org/duneveil"\n', 'not_a_key = "x"\n')
        self.assertEqual(check(text), (1, ["map.not_a_key: unknown key", "map.web2: missing"]))

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

    def test_readme_shows_the_tools_table(self):
        readme = read(os.path.join(ROOT, "README.md")).decode("utf-8")
        start = readme.find(texts.keys_table().split("\n")[0])
        self.assertEqual(readme[start:readme.find("\n\n", start) + 1] if start >= 0 else "", texts.keys_table(),
                         "README.md's key table: paste in the output of tools/texts.py keys-table")


if __name__ == "__main__":
    unittest.main()
