#include "game_path.h"

#include "game_files.h"

char g_szGamePath[256];
DWORD g_cbGamePath = sizeof(g_szGamePath);
HKEY g_hGameKey;

namespace {

const char kszGameKey[] = GAME_KEY;
const char kszPathValue[] = GAME_PATH_VALUE;

// Keeps what the query stored only if it is a string that fits the buffer
// with its NUL.
bool TerminateGamePath()
{
    DWORD cb = g_cbGamePath;
    if (cb > sizeof(g_szGamePath))
        return false;
    if (cb > 0 && g_szGamePath[cb - 1] == '\0')
        return true;
    if (cb == sizeof(g_szGamePath))
        return false;
    // In case RegQueryValueEx didn't supply one: values need not be stored
    // with their NUL.
    g_szGamePath[cb] = '\0';
    return true;
}

}

void ReadGamePath()
{
    // A failed lookup must not leave an earlier folder behind.
    g_szGamePath[0] = '\0';
    if (plat::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kszGameKey, 0, KEY_QUERY_VALUE, &g_hGameKey) != ERROR_SUCCESS)
        return;
    // The query shrinks the size to what it stored; reset it every time.
    g_cbGamePath = sizeof(g_szGamePath);
    LONG lStatus = plat::RegQueryValueExA(g_hGameKey, kszPathValue, nullptr, nullptr,
                                          reinterpret_cast<LPBYTE>(g_szGamePath), &g_cbGamePath);
    plat::RegCloseKey(g_hGameKey);
    g_hGameKey = nullptr;
    // On ERROR_MORE_DATA the buffer holds anything.
    if (lStatus != ERROR_SUCCESS || !TerminateGamePath())
        g_szGamePath[0] = '\0';
}
