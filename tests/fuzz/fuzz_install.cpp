// Arbitrary registry contents through the lookup and the install action.
// The first byte chooses the registry state; the rest is the value's bytes,
// optionally after the real game folder so that paths near it are reached.
// After every input: a terminated folder of at most 255 characters, one box,
// one dialog end with 2, nothing left open, and the map never lands anywhere
// but the map folder in <folder>.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "game_files.h"
#include "game_path.h"
#include "install_map.h"
#include "standin.h"

namespace {

std::string g_strRoot;

void Fail(const char *psz)
{
    fprintf(stderr, "invariant broken: %s\n", psz);
    abort();
}

}

// Called by libFuzzer once, before the first input.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string strTemplate = std::filesystem::temp_directory_path() / "mapinst-fuzz-XXXXXX";
    if (!mkdtemp(strTemplate.data()))
        Fail("no temporary folder");
    g_strRoot = strTemplate;
    // libFuzzer ends with exit(): take our folder with us.
    atexit([] { std::filesystem::remove_all(g_strRoot); });
    std::filesystem::create_directory(g_strRoot + "/game");
    std::filesystem::create_directory(g_strRoot + "/cwd");
    std::ofstream(g_strRoot + "/game/" GAME_DATA_FILE) << "data";
    std::ofstream(g_strRoot + "/cwd/" MAP_FILE) << "map";
    std::filesystem::current_path(g_strRoot + "/cwd");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    standin::Reset();
    if (cb == 0)
        return 0;
    uint8_t bMode = pb[0];
    std::string strValue(reinterpret_cast<const char *>(pb + 1), cb - 1);
    if (bMode & 1)
        strValue = g_strRoot + "/game" + strValue;
    if (bMode & 2)
        standin::AddKey(GAME_KEY);
    if (bMode & 4)
        standin::SetValue(GAME_KEY, GAME_PATH_VALUE, strValue);
    if (bMode & 8)
        standin::g_state.cbDiskFree = bMode >> 4;

    OnInstall(reinterpret_cast<HWND>(0x10));

    if (!memchr(g_szGamePath, '\0', sizeof g_szGamePath))
        Fail("game folder not terminated");
    if (standin::g_state.vecBoxes.size() != 1 || standin::g_state.vecEnds.size() != 1 ||
        standin::g_state.vecEnds[0].nResult != 2)
        Fail("not exactly one box and one dialog end");
    if (!standin::g_state.setOpenKeys.empty() || standin::g_state.nOpenStreams != 0 ||
        !standin::g_state.setOpenFiles.empty())
        Fail("key, stream or file handle left open");
    // The only folder that could ever receive the map is the game's map folder;
    // remove it so the next input starts clean.
    std::string strMapFolder = g_strRoot + "/game/" MAP_FOLDER;
    unlink((strMapFolder + "/" MAP_FILE).c_str());
    if (rmdir(strMapFolder.c_str()) != 0 && errno != ENOENT)
        Fail("something besides the map was left in the map folder");
    return 0;
}
