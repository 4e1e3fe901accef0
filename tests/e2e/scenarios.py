"""The end-to-end scenarios: registry state, files before, what the player
does, the boxes and exit code the driver must report, files after.

Paths in `before` and `after` are relative to the scenario's own folder
C:\\e2e\\<name>; `after` lists only what changes (None: gone), everything else
must stay byte for byte as it was."""
import hashlib
import os
from dataclasses import dataclass, field

from pe_files import IDS

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
with open(os.path.join(REPO, "package", "sample", "Am01.dvp"), "rb") as _fh:
    SAMPLE_MAP = _fh.read()  # what the package built without a map argument holds

MAP = b"NEW MAP\x00\x01\x02\xff\r\n\x1a" + bytes(range(256)) * 8
OLD = b"old map, of other content and longer than the new one" * 200
DECOY = b"the map beside the program, which must not be used"
DATA = b"game data"


IDC_INSTALL, IDC_ABOUT, IDC_EXIT = IDS["IDC_INSTALL"], IDS["IDC_ABOUT"], IDS["IDC_EXIT"]

BOX_INSTALLED = "box Instalátor | Instalace mapy byla úspěšně dokončena. | icon"
BOX_NOT_INSTALLED = ("box Chyba | Hra není v pořádku nainstalována!\\n"
                     "Instalace nemůže pokračovat. | icon")
BOX_COPY_FAILED = ("box Chyba | Při instalaci se naskytla chyba.\\n"
                   "Nová mapa nebyla nainstalována. | icon")
# The About box shows the build's credits; see run_e2e.check_about.
BOX_ABOUT = "box O projektu | <credits> | noicon"
# Two installs at once: the one whose rename meets the other's may be refused,
# as on Windows; the map after is whole either way.
BOX_ONE_OF_TWO = "box <installed, or copy failed> | icon"
TITLE = "title Duneveil - instalace nové mapy"
# NSIS's own message, fixed English text in its stub; the package exits with 2.
BOX_DAMAGED = ("box NSIS Error | Installer integrity check has failed. Common causes include\\n"
               "incomplete download and damaged media. Contact the\\n"
               "installer's author to obtain a new copy.\\n\\n"
               "More information at:\\nhttp://nsis.sf.net/NSIS_Error | icon")
# The package's own boxes, when it fails before the program starts; they
# name the player's temporary folder.
BOX_NO_ROOM = ("box Duneveil - instalace nové mapy | Nepodařilo se rozbalit soubory instalace do "
               "dočasné složky.\\n\\nUvolněte místo na disku se složkou pro dočasné soubory "
               "({temp}) a spusťte instalaci znovu. | icon")
BOX_CANNOT_START = ("box Duneveil - instalace nové mapy | Instalační program se nepodařilo spustit."
                    "\\n\\nSpusťte instalaci znovu; pokud se to opakuje, stáhněte si ji znovu. | icon")
BOX_NO_FOLDER = ("box Duneveil - instalace nové mapy | Nepodařilo se vytvořit dočasnou složku pro "
                 "instalaci.\\n\\nZkontrolujte, že lze zapisovat do složky pro dočasné soubory "
                 "({temp}) a že je na jejím disku volné místo, a spusťte instalaci znovu. | icon")
# The dialog's rectangles, checked against the picture; see run_e2e.geometry_problems.
GEOMETRY = "geometry <as Windows draws it>"

GAME = {"game/data1.dvp": DATA, "cwd/Am01.dvp": MAP}
WITH_OLD = {**GAME, "game/Disk2/Am01.dvp": OLD}
INSTALLED = {"game/Disk2/Am01.dvp": MAP}


@dataclass
class Scenario:
    name: str
    actions: list
    expect: list
    before: dict = field(default_factory=lambda: dict(GAME))
    after: dict = field(default_factory=dict)
    reg: str = "set"            # set: Path names the game folder; key: no value; none: no key
    game: str = "game"          # the game folder, relative to the scenario folder
    args: str = ""              # command line given to the installer
    lock: str = ""              # a file held open by another program during the run
    chmod: dict = field(default_factory=dict)  # path -> mode, for the unprivileged group
    package: bool = False       # start the single-file package instead of the program
    reg_raw: tuple = ()         # (type, text): Path = text's cp1250 bytes as they are; {game}: the folder
    drive: tuple = ()           # (letter, tmpfs options): a drive mounted at "drive", game under it
    read_only: bool = False     # remount the drive read-only once laid out
    second: bool = False        # start a second installer too ("use 2" addresses it)
    damage: object = None       # package bytes -> the damaged download to start instead
    dialog: bool = True         # wait for the program's dialog (none shows if the package fails)
    temp: str = ""              # the player's TEMP and TMP (under "drive": on the drive)
    package_at: str = ""        # the package started from here, not from C:\\e2e\\bin
    not_a_program: bool = False  # start the package that holds no program in the program's place


def install(expect_box, via=f"click {IDC_INSTALL}"):
    return [via, "box", "exit"], [expect_box, "exit 0"]


# The package brings the map: the current directory has none. No window of
# the package's own may show beside the program's dialog.
ON_C = {"game/data1.dvp": DATA, "game/Disk2/Am01.dvp": OLD}
PACKAGE_INSTALLS = (["nobox 1000"] + install(BOX_INSTALLED)[0], ["nobox"] + install(BOX_INSTALLED)[1])


def nsis_data(package):
    """Where NSIS's first header starts, after the stub."""
    return package.index(b"\xef\xbe\xad\xdeNullsoftInst") - 4


def nsis_end(package):
    """Where NSIS's data ends (its CRC included): a signature may follow."""
    start = nsis_data(package)
    return start + int.from_bytes(package[start + 24:start + 28], "little")


def middle_of_data(package):
    return (nsis_data(package) + nsis_end(package)) // 2


def byte_changed(data, at):
    return data[:at] + bytes([data[at] ^ 0x20]) + data[at + 1:]


def damaged(name, damage):
    return Scenario(name, ["box", "exit"], [BOX_DAMAGED, "exit 2"], package=True, damage=damage,
                    dialog=False, before=ON_C)


REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4
BIG = hashlib.sha256(b"big").digest() * (64 << 15)   # 64 MB: large, yet quick enough under qemu
ON_G = {"drive/game/data1.dvp": DATA, "drive/game/Disk2/Am01.dvp": OLD}


def sized(length, name):
    """A game folder under C:\\e2e\\<name>\\ whose full path has this many characters
    (folders of at most 200 characters each, as Linux allows 255)."""
    rest = length - len(f"C:\\e2e\\{name}\\")
    parts = [c * min(200, rest - 201 * i) for i, c in enumerate("LMN") if rest - 201 * i > 0]
    return "/".join(parts)


GROUPS = {
    "install": [
        Scenario("typical", *install(BOX_INSTALLED), after=INSTALLED),
        Scenario("replaces_old", *install(BOX_INSTALLED), before=WITH_OLD, after=INSTALLED),
        Scenario("disk2_present", *install(BOX_INSTALLED),
                 before={**GAME, "game/Disk2/other.dvp": b"kept"}, after=INSTALLED),
        Scenario("enter_installs", *install(BOX_INSTALLED, via="key enter"), after=INSTALLED),
        Scenario("args_ignored", *install(BOX_INSTALLED), args="/S /D=C:\\elsewhere Am01.dvp",
                 after=INSTALLED),
        Scenario("spaces_in_folder", *install(BOX_INSTALLED), game="Moje hry/Duneveil 2",
                 before={"Moje hry/Duneveil 2/data1.dvp": DATA, "cwd/Am01.dvp": MAP},
                 after={"Moje hry/Duneveil 2/Disk2/Am01.dvp": MAP}),
        Scenario("czech_folder", *install(BOX_INSTALLED), game="Hry/Česká Duneveil – žluťoučký",
                 before={"Hry/Česká Duneveil – žluťoučký/data1.dvp": DATA, "cwd/Am01.dvp": MAP},
                 after={"Hry/Česká Duneveil – žluťoučký/Disk2/Am01.dvp": MAP}),
        # C:\e2e\long244\ + 229 characters: the longest folder whose target,
        # "<folder>\Disk2\Am01.dvp", the ANSI calls still take (259 characters).
        Scenario("long244", *install(BOX_INSTALLED), game="L" * 229,
                 before={"L" * 229 + "/data1.dvp": DATA, "cwd/Am01.dvp": MAP},
                 after={"L" * 229 + "/Disk2/Am01.dvp": MAP}),
    ],
    "refuse": [
        Scenario("no_key", *install(BOX_NOT_INSTALLED), reg="none"),
        Scenario("key_without_path", *install(BOX_NOT_INSTALLED), reg="key"),
        Scenario("no_data_file", *install(BOX_NOT_INSTALLED), before={"cwd/Am01.dvp": MAP, "game/x": b""}),
        Scenario("data_file_is_folder", *install(BOX_NOT_INSTALLED),
                 before={"game/data1.dvp/x": b"", "cwd/Am01.dvp": MAP}),
        Scenario("map_missing_old_kept", *install(BOX_COPY_FAILED),
                 before={"game/data1.dvp": DATA, "game/Disk2/Am01.dvp": OLD, "cwd/readme.txt": b"x"}),
        Scenario("map_missing_disk2_made", *install(BOX_COPY_FAILED),
                 before={"game/data1.dvp": DATA, "cwd/readme.txt": b"x"}, after={"game/Disk2/": b""}),
        # C:\e2e\long255\ + 240 characters: the longest value the registry
        # lookup keeps. Its paths pass MAX_PATH, which the ANSI calls refuse: the
        # player is told and nothing is touched. (Windows already refuses
        # data1.dvp and says "not installed"; Wine opens it, then refuses "Disk2".)
        Scenario("long255", *install(BOX_COPY_FAILED), game="L" * 240,
                 before={"L" * 240 + "/data1.dvp": DATA, "cwd/Am01.dvp": MAP}),
        Scenario("locked_target_kept", *install(BOX_COPY_FAILED), before=WITH_OLD,
                 lock="game/Disk2/Am01.dvp"),
    ],
    "window": [
        Scenario("esc_leaves", ["title", "focus", "key esc", "nobox 1500", "exit"],
                 [TITLE, f"focus {IDC_INSTALL}", "nobox", "exit 0"], before=WITH_OLD),
        Scenario("close_leaves", ["close", "nobox 1500", "exit"], ["nobox", "exit 0"], before=WITH_OLD),
        Scenario("exit_button", [f"click {IDC_EXIT}", "nobox 1500", "exit"], ["nobox", "exit 0"],
                 before=WITH_OLD),
        Scenario("about_repeatedly",
                 [f"click {IDC_ABOUT}", "box", "alive", f"click {IDC_ABOUT}", "box", "alive",
                  f"click {IDC_ABOUT}", "box", "alive", f"click {IDC_EXIT}", "exit"],
                 [BOX_ABOUT, "alive"] * 3 + ["exit 0"], before=WITH_OLD),
        Scenario("tab_order", ["focus", "key tab", "focus", "key tab", "focus", "key tab", "focus",
                               "key esc", "exit"],
                 [f"focus {IDC_INSTALL}", f"focus {IDC_ABOUT}", f"focus {IDC_EXIT}",
                  f"focus {IDC_INSTALL}", "exit 0"], before=WITH_OLD),
        Scenario("geometry", ["geometry", "key esc", "exit"], [GEOMETRY, "exit 0"], before=WITH_OLD),
    ],
    # The single-file package: it brings the map, so the current directory has none.
    # Beside the program's dialog no window of the package's own may show.
    "package": [
        Scenario("package_installs", *PACKAGE_INSTALLS, package=True, before=ON_C,
                 after={"game/Disk2/Am01.dvp": SAMPLE_MAP}),
        Scenario("package_exit", [f"click {IDC_EXIT}", "nobox 1500", "exit"], ["nobox", "exit 0"],
                 package=True, before={"game/data1.dvp": DATA}),
        Scenario("package_about", [f"click {IDC_ABOUT}", "box", f"click {IDC_EXIT}", "exit"],
                 [BOX_ABOUT, "exit 0"], package=True, before={"game/data1.dvp": DATA}),
        # A damaged download: the player is told, and nothing is written.
        damaged("cut_in_first_header", lambda p: p[:nsis_data(p) + 14]),
        damaged("cut_in_data", lambda p: p[:middle_of_data(p)]),
        damaged("cut_last_byte", lambda p: p[:nsis_end(p) - 1]),
        damaged("byte_changed", lambda p: byte_changed(p, middle_of_data(p))),
    ],
    # Run as an ordinary user: as root, Wine reads and writes whatever it likes.
    "unprivileged": [
        Scenario("read_only_target_kept", *install(BOX_COPY_FAILED), before=WITH_OLD,
                 chmod={"game/Disk2/Am01.dvp": 0o444}),
        Scenario("data_file_unreadable", *install(BOX_NOT_INSTALLED), chmod={"game/data1.dvp": 0o000}),
        Scenario("disk2_unwritable", *install(BOX_COPY_FAILED), before=WITH_OLD,
                 chmod={"game/Disk2": 0o555}),
    ],
    # The package on an awkward machine: its temporary folder full, read-only
    # or missing, the package on a read-only medium or in a Czech folder.
    "awkward": [
        *(Scenario(name, ["box", "exit"], [box.format(temp=letter.upper() + ":\\temp"), "exit 2"],
                   package=True, dialog=False, drive=(letter, size), read_only=read_only,
                   temp="drive/temp", before={**ON_C, "drive/temp/": b""})
          for name, letter, size, read_only, box in (
              ("temp_nearly_full", "t", "size=200k", False, BOX_NO_ROOM),
              ("temp_full", "u", "size=4k", False, BOX_NO_ROOM),
              ("temp_read_only", "v", "size=1m", True, BOX_NO_FOLDER))),
        Scenario("program_cannot_start", ["box", "exit"], [BOX_CANNOT_START, "exit 2"], package=True,
                 dialog=False, not_a_program=True, before=ON_C),
        # NSIS's stub makes the missing folder, and it stays, empty.
        Scenario("temp_missing", *PACKAGE_INSTALLS, package=True, temp="gone", before=ON_C,
                 after={"game/Disk2/Am01.dvp": SAMPLE_MAP, "gone/": b""}),
        Scenario("package_on_read_only_drive", *PACKAGE_INSTALLS, package=True, drive=("r", "size=1m"),
                 read_only=True, package_at="drive/Duneveil-mapa-Am01.exe", before=ON_C,
                 after={"game/Disk2/Am01.dvp": SAMPLE_MAP}),
        Scenario("package_in_czech_folder", *PACKAGE_INSTALLS, package=True,
                 package_at="Stažené soubory Jiří/Duneveil-mapa-Am01.exe", before=ON_C,
                 after={"game/Disk2/Am01.dvp": SAMPLE_MAP}),
    ],
    # Faults around the copy, odd registry values, two installers at once.
    "faults": [
        Scenario("disk_full", *install(BOX_COPY_FAILED), drive=("g", "size=1m"), game="drive/game",
                 before={**ON_G, "cwd/Am01.dvp": MAP * 800}),        # 2 MB map onto 1 MB
        Scenario("disk2_is_file", *install(BOX_COPY_FAILED),
                 before={**GAME, "game/Disk2": b"a file named Disk2"}),
        Scenario("read_only_drive", *install(BOX_COPY_FAILED), drive=("h", "size=1m"), read_only=True,
                 game="drive/game", before={**ON_G, "cwd/Am01.dvp": MAP}),
        Scenario("game_folder_missing", *install(BOX_NOT_INSTALLED), reg_raw=(REG_SZ, "{game}\\gone\0"),
                 before={"cwd/Am01.dvp": MAP}),
        Scenario("map_is_folder", *install(BOX_COPY_FAILED),
                 before={"game/data1.dvp": DATA, "game/Disk2/Am01.dvp": OLD, "cwd/Am01.dvp/x": b""}),
        Scenario("map_empty", *install(BOX_INSTALLED), before={**WITH_OLD, "cwd/Am01.dvp": b""},
                 after={"game/Disk2/Am01.dvp": b""}),
        Scenario("map_64mb", *install(BOX_INSTALLED), before={**WITH_OLD, "cwd/Am01.dvp": BIG},
                 after={"game/Disk2/Am01.dvp": BIG}),
        # The program reads any type as bytes and adds the NUL it lacks.
        Scenario("reg_dword", *install(BOX_NOT_INSTALLED), reg_raw=(REG_DWORD, "\x01\0\0\0")),
        Scenario("reg_binary_no_nul", *install(BOX_INSTALLED), reg_raw=(REG_BINARY, "{game}"),
                 after=INSTALLED),
        Scenario("reg_expand_sz", *install(BOX_INSTALLED), reg_raw=(REG_EXPAND_SZ, "{game}\0"),
                 after=INSTALLED),
        Scenario("reg_trailing_backslash", *install(BOX_INSTALLED), reg_raw=(REG_SZ, "{game}\\\0"),
                 after=INSTALLED),
        Scenario("reg_relative", *install(BOX_NOT_INSTALLED), reg_raw=(REG_SZ, "game\0")),
        # 255 characters fit with the NUL but the paths pass MAX_PATH (see long255).
        Scenario("reg_255", *install(BOX_COPY_FAILED), game=sized(255, "reg_255"),
                 before={sized(255, "reg_255") + "/data1.dvp": DATA, "cwd/Am01.dvp": MAP}),
        Scenario("reg_256", *install(BOX_NOT_INSTALLED), game=sized(256, "reg_256"),
                 before={sized(256, "reg_256") + "/data1.dvp": DATA, "cwd/Am01.dvp": MAP}),
        Scenario("reg_300", *install(BOX_NOT_INSTALLED), game=sized(300, "reg_300"),
                 before={sized(300, "reg_300") + "/data1.dvp": DATA, "cwd/Am01.dvp": MAP}),
        Scenario("two_at_once", [f"click-all {IDC_INSTALL}", "box", "exit", "use 2", "box", "exit"],
                 [BOX_ONE_OF_TWO, "exit 0", BOX_ONE_OF_TWO, "exit 0"], second=True,
                 before={**WITH_OLD, "cwd/Am01.dvp": BIG[:8 << 20]},
                 after={"game/Disk2/Am01.dvp": BIG[:8 << 20]}),
    ],
}

# The texts a player reads, for a run under another ANSI code page.
GROUPS["texts"] = [s for g in ("install", "refuse", "window") for s in GROUPS[g]
                   if s.name in ("typical", "no_key", "map_missing_old_kept", "esc_leaves",
                                 "about_repeatedly")]
