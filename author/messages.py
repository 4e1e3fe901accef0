"""What the author's build says, from messages.tsv: the one table of its
messages, Czech and English side by side, which messages.sh reads too."""
import os
import re

TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "messages.tsv")


def language(env=os.environ):
    """Czech, unless the locale asks for English; the first of these that is
    set decides, as it does for every program."""
    for name in ("LC_ALL", "LC_MESSAGES", "LANG"):
        if env.get(name):
            return "en" if env[name].startswith("en") else "cs"
    return "cs"


def table():
    """{id: {"cs": text, "en": text}}"""
    with open(TABLE, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]
    return {r[0]: {"cs": r[1], "en": r[2]} for r in rows}


TABLE_ROWS = table()


def plural(n, forms):
    """The noun's form for n, from "1|2-4|5 and more" (Czech counts so)."""
    one, few, many = forms.split("|")
    return one if n == 1 else few if 2 <= n <= 4 else many


def text(id, lang=None, **fields):
    """The message in the author's language, its {fields} filled in."""
    s = TABLE_ROWS[id][lang or language()]
    return re.sub(r"\{(\w+)\}", lambda m: str(fields[m.group(1)]), s)


def count(n, id, lang=None):
    """"5 pixelů": n with its noun."""
    return f"{n} {plural(n, TABLE_ROWS[id][lang or language()])}"
