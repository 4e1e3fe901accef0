"""The end-to-end scenarios: registry state, files before, what the player
does, the boxes and exit code the driver must report, files after.

Paths in `before` and `after` are relative to the scenario's own folder
C:\\e2e\\<name>; `after` lists only what changes (None: gone), everything else
must stay byte for byte as it was."""
import hashlib
import re
from dataclasses import dataclass, field
from pathlib import Path

from pe_files import IDS

PACKAGE = Path(__file__).resolve().parents[2] / "package"
# What the package built without a map argument holds.
SAMPLE_MAP = PACKAGE.joinpath("sample", "Am01.dvp").read_bytes()


def nsis_defines(*scripts):
    """The package scripts' !define NAME "text" lines: ${...} expanded, line
    breaks as the driver reports them."""
    defines = {}
    for script in scripts:
        for key, text in re.findall(r'^!define (\w+) "(.*)"$', PACKAGE.joinpath(script).read_text("utf-8"), re.M):
            defines[key] = re.sub(r"\$\{(\w+)\}", lambda m: defines[m.group(1)], text).replace("$\\r$\\n", "\\n")
    return defines


NSIS = nsis_defines("installer.nsi", "messages.nsh")
# The package's work folders under Program Files: WORK_NAME.tmp, or
# WORK_NAME-<n>.tmp for n from 2 to NAME_TRIES.
WORK_NAME, NAME_TRIES = NSIS["WORK_NAME"], int(NSIS["NAME_TRIES"])
WORK_NAMES = [f"{WORK_NAME}.tmp"] + [f"{WORK_NAME}-{n}.tmp" for n in range(2, NAME_TRIES + 1)]

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
# The About box shows the build's credits; see run_e2e.run_scenarios.
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
# The package's own boxes, when it fails before the program starts, as
# package/messages.nsh has them; {programs} stands for the player's Program
# Files folder.
BOX_NO_ROOM, BOX_CANNOT_START, BOX_NEED_ADMIN, BOX_ALL_TAKEN = (
    f"box {NSIS['CAPTION']} | " + NSIS[key].replace("$PROGRAMFILES", "{programs}") + " | icon"
    for key in ("MSG_NO_ROOM", "MSG_CANNOT_START", "MSG_NEED_ADMIN", "MSG_ALL_TAKEN"))
# The dialog's rectangles, checked against the picture; see run_e2e.geometry_problems.
GEOMETRY = "geometry <as Windows draws it>"
# The Exit button's font has every letter of "Ukončit", whatever the code page.
GLYPHS_EXIT = f"glyphs {IDC_EXIT} <a font that has every letter> missing 0"

GAME = {"game/data1.dvp": DATA, "cwd/Am01.dvp": MAP}
WITH_OLD = {**GAME, "game/Disk2/Am01.dvp": OLD}
# The old map, and no new one in the current directory (the package brings its own).
ON_C = {"game/data1.dvp": DATA, "game/Disk2/Am01.dvp": OLD}


class Link(str):
    """In `before`: a symbolic link to this path of the scenario's folder."""


@dataclass
class Scenario:
    name: str
    actions: list
    expect: list
    before: dict = None         # default: ON_C for the package, else data1.dvp in the game folder and the map
    after: dict = field(default_factory=dict)
    reg: str = "set"            # set: Path names the game folder; key: no value; none: no key
    game: str = "game"          # the game folder, relative to the scenario folder
    args: str = ""              # command line given to the installer
    lock: str = ""              # a file held open by another program during the run
    hold: tuple = ()            # (file, ms): held open for reading, sharing all, as a scanner would, from
                                # before the actions until ms after the program's copy appears beside it
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
    dpi: int = 0                # the screen's DPI while it runs (0: the prefix's, 96)
    program_files: str = ""     # the folder Windows names as Program Files (under "drive": on the drive)

    def __post_init__(self):
        if self.before is None:
            self.before = ON_C if self.package else {self.game + "/data1.dvp": DATA, "cwd/Am01.dvp": MAP}


def install(name, box, via=f"click {IDC_INSTALL}", **kw):
    """Install pressed: this box, then the program ends with 0."""
    return Scenario(name, [via, "box", "exit"], [box, "exit 0"], **kw)


def installs(name, data=MAP, **kw):
    """Installed: the game's Disk2 holds the map (data) after."""
    return install(name, BOX_INSTALLED, after={kw.get("game", "game") + "/Disk2/Am01.dvp": data}, **kw)


def package_installs(name, **kw):
    """The package's map installed, and no window of the package's own beside the dialog."""
    after = {"game/Disk2/Am01.dvp": SAMPLE_MAP, **kw.pop("after", {})}
    return Scenario(name, ["nobox 1000", f"click {IDC_INSTALL}", "box", "exit"],
                    ["nobox", BOX_INSTALLED, "exit 0"], package=True, after=after, **kw)


def package_fails(name, box, **kw):
    """The package fails before the program starts: its box (or NSIS's), exit code 2."""
    return Scenario(name, ["box", "exit"], [box, "exit 2"], package=True, dialog=False, **kw)


def nsis_data(package):
    """Where NSIS's data starts (after the stub) and ends (its CRC included; a signature may follow)."""
    start = package.index(b"\xef\xbe\xad\xdeNullsoftInst") - 4
    return start, start + int.from_bytes(package[start + 24:start + 28], "little")


def byte_changed(data, at):
    return data[:at] + bytes([data[at] ^ 0x20]) + data[at + 1:]


REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4
BIG = hashlib.sha256(b"big").digest() * (64 << 15)   # 64 MB: large, yet quick enough under qemu
ON_G = {"drive/game/data1.dvp": DATA, "drive/game/Disk2/Am01.dvp": OLD}


def sized(length, name):
    """A game folder under C:\\e2e\\<name>\\ whose full path has this many characters
    (folders of at most 200 characters each, as Linux allows 255)."""
    rest = length - len(f"C:\\e2e\\{name}\\")
    return "/".join(c * min(200, rest - 201 * i) for i, c in enumerate("LMN") if rest - 201 * i > 0)


GROUPS = {
    "install": [
        installs("typical"),
        installs("replaces_old", before=WITH_OLD),
        installs("disk2_present", before={**GAME, "game/Disk2/other.dvp": b"kept"}),
        installs("enter_installs", via="key enter"),
        installs("args_ignored", args="/S /D=C:\\elsewhere Am01.dvp"),
        installs("spaces_in_folder", game="Moje hry/Duneveil 2"),
        installs("czech_folder", game="Hry/Česká Duneveil – žluťoučký"),
        # C:\e2e\long244\ + 229 characters: the longest folder whose target,
        # "<folder>\Disk2\Am01.dvp", the ANSI calls still take (259 characters).
        installs("long244", game="L" * 229),
    ],
    "refuse": [
        install("no_key", BOX_NOT_INSTALLED, reg="none"),
        install("key_without_path", BOX_NOT_INSTALLED, reg="key"),
        install("no_data_file", BOX_NOT_INSTALLED, before={"cwd/Am01.dvp": MAP, "game/x": b""}),
        install("data_file_is_folder", BOX_NOT_INSTALLED, before={"game/data1.dvp/x": b"", "cwd/Am01.dvp": MAP}),
        install("map_missing_old_kept", BOX_COPY_FAILED, before={**ON_C, "cwd/readme.txt": b"x"}),
        install("map_missing_disk2_made", BOX_COPY_FAILED,
                before={"game/data1.dvp": DATA, "cwd/readme.txt": b"x"}, after={"game/Disk2/": b""}),
        # C:\e2e\long255\ + 240 characters: the longest value the registry
        # lookup keeps. Its paths pass MAX_PATH, which the ANSI calls refuse: the
        # player is told and nothing is touched. (Windows already refuses
        # data1.dvp and says "not installed"; Wine opens it, then refuses "Disk2".)
        install("long255", BOX_COPY_FAILED, game="L" * 240),
        install("locked_target_kept", BOX_COPY_FAILED, before=WITH_OLD, lock="game/Disk2/Am01.dvp"),
    ],
    "window": [Scenario(name, actions, expect, before=WITH_OLD) for name, actions, expect in (
        ("esc_leaves", ["title", f"text {IDC_EXIT}", f"glyphs {IDC_EXIT}", "focus", "key esc", "nobox 1500", "exit"],
         [TITLE, f"text {IDC_EXIT} Ukončit", GLYPHS_EXIT, f"focus {IDC_INSTALL}", "nobox", "exit 0"]),
        ("close_leaves", ["close", "nobox 1500", "exit"], ["nobox", "exit 0"]),
        ("exit_button", [f"click {IDC_EXIT}", "nobox 1500", "exit"], ["nobox", "exit 0"]),
        ("about_repeatedly", [f"click {IDC_ABOUT}", "box", "alive"] * 3 + [f"click {IDC_EXIT}", "exit"],
         [BOX_ABOUT, "alive"] * 3 + ["exit 0"]),
        ("tab_order", ["focus", "key tab"] * 3 + ["focus", "key esc", "exit"],
         [f"focus {i}" for i in (IDC_INSTALL, IDC_ABOUT, IDC_EXIT, IDC_INSTALL)] + ["exit 0"]))] + [
        # At the prefix's DPI; Windows XP's "large fonts", Vista and 7 at 125 %; and 150 %.
        Scenario(f"geometry{dpi or ''}", ["geometry", "key esc", "exit"], [GEOMETRY, "exit 0"], before=WITH_OLD,
                 dpi=dpi) for dpi in (0, 120, 144)],
    "package": [
        package_installs("package_installs"),
        Scenario("package_exit", [f"click {IDC_EXIT}", "nobox 1500", "exit"], ["nobox", "exit 0"], package=True,
                 before={"game/data1.dvp": DATA}),
        Scenario("package_about", [f"click {IDC_ABOUT}", "box", f"click {IDC_EXIT}", "exit"],
                 [BOX_ABOUT, "exit 0"], package=True, before={"game/data1.dvp": DATA}),
        # A damaged download: the player is told, and nothing is written.
        *(package_fails(name, BOX_DAMAGED, damage=damage) for name, damage in (
            ("cut_in_first_header", lambda p: p[:nsis_data(p)[0] + 14]),
            ("cut_in_data", lambda p: p[:sum(nsis_data(p)) // 2]),
            ("cut_last_byte", lambda p: p[:nsis_data(p)[1] - 1]),
            ("byte_changed", lambda p: byte_changed(p, sum(nsis_data(p)) // 2)))),
    ],
    # Run as an ordinary user: as root, Wine reads and writes whatever it likes.
    "unprivileged": [
        install("read_only_target_kept", BOX_COPY_FAILED, before=WITH_OLD, chmod={"game/Disk2/Am01.dvp": 0o444}),
        install("data_file_unreadable", BOX_NOT_INSTALLED, chmod={"game/data1.dvp": 0o000}),
        install("disk2_unwritable", BOX_COPY_FAILED, before=WITH_OLD, chmod={"game/Disk2": 0o555}),
    ],
    # The package on an awkward machine: its temporary folder full, read-only
    # or missing, the package on a read-only medium or in a Czech folder,
    # names of its work folder taken, Program Files read-only or full.
    "awkward": [
        # Nothing of the package's goes to TEMP; the stub only checks it.
        *(package_installs(name, drive=(letter, size), read_only=read_only, temp="drive/temp",
                           before={**ON_C, "drive/temp/": b""})
          for name, letter, size, read_only in (
              ("temp_full", "u", "size=4k", False),
              ("temp_read_only", "v", "size=1m", True))),
        package_fails("program_cannot_start", BOX_CANNOT_START, not_a_program=True),
        # NSIS's stub makes the missing folder, and it stays, empty.
        package_installs("temp_missing", temp="gone", after={"gone/": b""}),
        package_installs("package_on_read_only_drive", drive=("r", "size=1m"), read_only=True,
                         package_at="drive/Duneveil-mapa-Am01.exe"),
        package_installs("package_in_czech_folder", package_at="Stažené soubory Jiří/Duneveil-mapa-Am01.exe"),
        # The first name the package tries under Program Files is taken, by a
        # link or by a folder left with someone's file in it: neither it nor
        # what it leads to is used or changed, and the map installed is the
        # package's own.
        package_installs("first_name_a_link", program_files="pf", before={
            **ON_C, f"pf/{WORK_NAMES[0]}": Link("decoy"), "decoy/Am01.dvp": DECOY}),
        package_installs("first_name_a_leftover", program_files="pf", before={
            **ON_C, f"pf/{WORK_NAMES[0]}/Am01.dvp": DECOY}),
        # Every name taken, by folders, a file and a link: the player is told
        # which to remove, and none is touched.
        package_fails("every_name_taken", BOX_ALL_TAKEN.format(programs="C:\\e2e\\every_name_taken\\pf"),
                      program_files="pf", before={
                          **ON_C, "decoy/": b"", f"pf/{WORK_NAMES[1]}": DECOY, f"pf/{WORK_NAMES[2]}": Link("decoy"),
                          **{f"pf/{n}/": b"" for n in WORK_NAMES[:1] + WORK_NAMES[3:]}}),
        # The work folder goes under Program Files, which only an administrator
        # may write: when it cannot, the player is told to run the package as
        # one. On a full disk there, the two files cannot be unpacked.
        *(package_fails(name, box.format(programs=letter.upper() + ":\\pf"), drive=(letter, size),
                        read_only=read_only, program_files="drive/pf", before={**ON_C, "drive/pf/": b""})
          for name, letter, size, read_only, box in (
              ("not_administrator", "p", "size=1m", True, BOX_NEED_ADMIN),
              ("program_files_full", "q", "size=4k", False, BOX_NO_ROOM))),
    ],
    # Faults around the copy, odd registry values, two installers at once.
    "faults": [
        install("disk_full", BOX_COPY_FAILED, drive=("g", "size=1m"), game="drive/game",
                before={**ON_G, "cwd/Am01.dvp": MAP * 800}),        # 2 MB map onto 1 MB
        install("disk2_is_file", BOX_COPY_FAILED, before={**GAME, "game/Disk2": b"a file named Disk2"}),
        install("read_only_drive", BOX_COPY_FAILED, drive=("h", "size=1m"), read_only=True, game="drive/game",
                before={**ON_G, "cwd/Am01.dvp": MAP}),
        install("game_folder_missing", BOX_NOT_INSTALLED, reg_raw=(REG_SZ, "{game}\\gone\0"),
                before={"cwd/Am01.dvp": MAP}),
        install("map_is_folder", BOX_COPY_FAILED, before={**ON_C, "cwd/Am01.dvp/x": b""}),
        installs("map_empty", b"", before={**WITH_OLD, "cwd/Am01.dvp": b""}),
        installs("map_64mb", BIG, before={**WITH_OLD, "cwd/Am01.dvp": BIG}),
        # The program reads any type as bytes and adds the NUL it lacks.
        install("reg_dword", BOX_NOT_INSTALLED, reg_raw=(REG_DWORD, "\x01\0\0\0")),
        installs("reg_binary_no_nul", reg_raw=(REG_BINARY, "{game}")),
        installs("reg_expand_sz", reg_raw=(REG_EXPAND_SZ, "{game}\0")),
        installs("reg_trailing_backslash", reg_raw=(REG_SZ, "{game}\\\0")),
        install("reg_relative", BOX_NOT_INSTALLED, reg_raw=(REG_SZ, "game\0")),
        # 255 characters fit with the NUL but the paths pass MAX_PATH (see long255).
        install("reg_255", BOX_COPY_FAILED, game=sized(255, "reg_255")),
        install("reg_256", BOX_NOT_INSTALLED, game=sized(256, "reg_256")),
        install("reg_300", BOX_NOT_INSTALLED, game=sized(300, "reg_300")),
        # A scanner reading the old map, sharing all, which still bars a rename
        # over it on Windows and on Wine, lets go half a second after the
        # program's copy appears: the program waits it out.
        Scenario("scanned_target_waited_out", [f"click {IDC_INSTALL}", "box", "exit", "held"],
                 [BOX_INSTALLED, "exit 0", "held: the copy waited"], before=WITH_OLD,
                 hold=("game/Disk2/Am01.dvp", 500), after={"game/Disk2/Am01.dvp": MAP}),
        Scenario("two_at_once", [f"click-all {IDC_INSTALL}", "box", "exit", "use 2", "box", "exit"],
                 [BOX_ONE_OF_TWO, "exit 0", BOX_ONE_OF_TWO, "exit 0"], second=True,
                 before={**WITH_OLD, "cwd/Am01.dvp": BIG[:8 << 20]},
                 after={"game/Disk2/Am01.dvp": BIG[:8 << 20]}),
    ],
}

# The texts a player reads, and the dialog's layout, for a run under another
# ANSI code page.
GROUPS["texts"] = [s for g in ("install", "refuse", "window") for s in GROUPS[g]
                   if s.name in ("typical", "no_key", "map_missing_old_kept", "esc_leaves",
                                 "about_repeatedly", "geometry", "geometry120", "geometry144")]
