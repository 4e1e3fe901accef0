// Where the game's own setup says the game is installed.
#pragma once

#include "platform_api.h"

// The game folder: a NUL-terminated Windows-1250 string of at most 255
// characters, empty when the lookup found nothing usable.
extern char g_szGamePath[256];
extern DWORD g_cbGamePath;
extern HKEY g_hGameKey;

// Reads the folder afresh from the game's registry value (game_files.h).
void ReadGamePath();
