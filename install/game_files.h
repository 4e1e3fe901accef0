/* Where the game's own setup says the game is, and the files the install
 * reads and writes: written once for the program, its tests and its
 * baselines. Plain C literals, so C programs and wide strings (L"" GAME_KEY)
 * take them too. */
#ifndef GAME_FILES_H
#define GAME_FILES_H

/* Under HKEY_LOCAL_MACHINE\SOFTWARE (WOW6432Node's in the 64-bit view). */
#define GAME_SUBKEY "Morvane\\Duneveil"
#define GAME_KEY "SOFTWARE\\" GAME_SUBKEY
#define GAME_PATH_VALUE "Path"

#define GAME_DATA_FILE "data1.dvp"  /* in the game folder: proves the game is there */
#define MAP_FOLDER "Disk2"          /* in the game folder */
#define MAP_FILE "Am01.dvp"         /* in the current directory and in MAP_FOLDER */

#endif
