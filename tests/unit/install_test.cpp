#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "game_path.h"
#include "install_map.h"
#include "sandbox.h"
#include "standin.h"

namespace {

enum Outcome { kInstalled, kNotInstalled, kCopyFailed };

struct ExpectedBox {
    const char *pszTextUtf8;
    const char *pszCaptionUtf8;
    UINT uType;
};

const ExpectedBox kBoxes[] = {
    {"Instalace mapy byla úspěšně dokončena.", "Instalátor", 0x40},
    {"Hra není v pořádku nainstalována!\nInstalace nemůže pokračovat.", "Chyba", 0x10},
    {"Při instalaci se naskytla chyba.\nNová mapa nebyla nainstalována.", "Chyba", 0x10},
};

const char kszNewMap[] = "NEW MAP \x01\x02\xFF\r\n\x1A end";
const char kszOldMap[] = "old map, longer than the new one, so a partial overwrite would show";

class InstallTest;
typedef void (*ArrangeFn)(InstallTest &);

struct InstallCase {
    const char *pszName;
    ArrangeFn pfnArrange;
    Outcome outcome;
    std::optional<std::string> strTargetAfter;   // nullopt: no target file
    std::vector<std::string> vecMapFolderAfter;  // nullopt-like: {"-"} means no map folder
};

class InstallTest : public SandboxTest, public ::testing::WithParamInterface<InstallCase> {
public:
    void MapFolder() { ASSERT_EQ(mkdir((m_strGame + "/" MAP_FOLDER).c_str(), 0755), 0); }
    void OldTarget()
    {
        MapFolder();
        WriteFile(m_strTarget, kszOldMap);
    }
    void Plant(const std::string &strName, const std::string &strBytes)
    {
        WriteFile(m_strGame + "/" MAP_FOLDER "/" + strName, strBytes);
    }
    // Moves the game to a folder whose path is exactly cch characters long.
    void GameFolderOfLength(size_t cch)
    {
        std::string strDir = m_strRoot + "/";
        strDir += std::string(cch - strDir.size(), 'g');
        ASSERT_EQ(strDir.size(), cch);
        MoveGame(strDir);
    }
    void GameFolderNamed(const std::string &strName) { MoveGame(m_strRoot + "/" + strName); }
    void MoveGame(const std::string &strDir)
    {
        ASSERT_EQ(rename(m_strGame.c_str(), strDir.c_str()), 0);
        m_strGame = strDir;
        m_strTarget = m_strGame + "/" MAP_FOLDER "/" MAP_FILE;
        standin::SetValue(GAME_KEY, GAME_PATH_VALUE, m_strGame + std::string(1, '\0'));
    }
    std::string Game() const { return m_strGame; }
    std::string Target() const { return m_strTarget; }
    std::string Cwd() const { return m_strCwd; }
};

// Keeps gtest from dumping the raw bytes of a case.
void PrintTo(const InstallCase &c, std::ostream *pos)
{
    *pos << c.pszName;
}

const std::vector<std::string> kNoMapFolder = {"-"};
const std::vector<std::string> kJustMap = {MAP_FILE};

TEST_P(InstallTest, ShowsOneBoxEndsTheDialogAndKeepsTheOldMapOnFailure)
{
    const InstallCase &c = GetParam();
    InstallGame();
    PutMap(kszNewMap);
    c.pfnArrange(*this);
    std::string strSource = ReadFile(m_strCwd + "/" MAP_FILE);

    OnInstall(khDlg);

    const ExpectedBox &box = kBoxes[c.outcome];
    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    const standin::MessageBoxCall &call = standin::g_state.vecBoxes[0];
    EXPECT_EQ(call.strText, box.pszTextUtf8);
    EXPECT_EQ(call.strCaption, box.pszCaptionUtf8);
    EXPECT_EQ(call.uType, box.uType);
    EXPECT_EQ(call.hwndOwner, nullptr) << "the box has no owner window";

    ASSERT_EQ(standin::g_state.vecEnds.size(), 1u);
    EXPECT_EQ(standin::g_state.vecEnds[0].hDlg, khDlg);
    EXPECT_EQ(standin::g_state.vecEnds[0].nResult, 2);
    EXPECT_LT(call.uSeq, standin::g_state.vecEnds[0].uSeq) << "the box shows before the dialog ends";

    if (c.strTargetAfter)
        EXPECT_EQ(ReadFile(m_strTarget), *c.strTargetAfter);
    else
        EXPECT_FALSE(FileExists(m_strTarget));
    std::string strMapFolder = m_strGame + "/" MAP_FOLDER;
    if (c.vecMapFolderAfter == kNoMapFolder)
        EXPECT_FALSE(FileExists(strMapFolder)) << "nothing on disk touched";
    else
        EXPECT_EQ(ListDir(strMapFolder), c.vecMapFolderAfter) << "no temporary file left behind";
    EXPECT_EQ(ReadFile(m_strCwd + "/" MAP_FILE), strSource) << "the source stays";
}

INSTANTIATE_TEST_SUITE_P(Outcomes, InstallTest, ::testing::Values(
    InstallCase{"TypicalCreatesDisk2", [](InstallTest &) {}, kInstalled, kszNewMap, kJustMap},
    InstallCase{"Disk2AlreadyThere", [](InstallTest &t) { t.MapFolder(); }, kInstalled, kszNewMap, kJustMap},
    InstallCase{"ReplacesOtherContent", [](InstallTest &t) { t.OldTarget(); }, kInstalled, kszNewMap, kJustMap},
    InstallCase{"NoKey", [](InstallTest &) { standin::Reset(); }, kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"KeyWithoutValue",
                [](InstallTest &) { standin::Reset(); standin::AddKey(GAME_KEY); },
                kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"NoDataFile", [](InstallTest &t) { unlink((t.Game() + "/" GAME_DATA_FILE).c_str()); },
                kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"DataFileUnreadable", [](InstallTest &t) { MakeUnreadable(t.Game() + "/" GAME_DATA_FILE); },
                kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"DataFileIsAFolder",
                [](InstallTest &t) {
                    unlink((t.Game() + "/" GAME_DATA_FILE).c_str());
                    mkdir((t.Game() + "/" GAME_DATA_FILE).c_str(), 0755);
                },
                kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"ValueTooLong",
                [](InstallTest &t) { standin::SetValue(GAME_KEY, GAME_PATH_VALUE, t.Game() + std::string(300, '/')); },
                kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"MapMissingKeepsOldTarget",
                [](InstallTest &t) { t.OldTarget(); unlink((t.Cwd() + "/" MAP_FILE).c_str()); },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ReadOnlyTargetKept",
                [](InstallTest &t) { t.OldTarget(); MakeReadOnly(t.Target()); },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ReadOnlyTargetKeptWhereRenameIgnoresIt",
                [](InstallTest &t) {
                    t.OldTarget();
                    MakeReadOnly(t.Target());
                    standin::g_state.fRenameIgnoresReadOnly = true;
                },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"LockedTargetKept",
                [](InstallTest &t) { t.OldTarget(); standin::LockFile(t.Target()); },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"DiskFullKeepsOldTarget",
                [](InstallTest &t) { t.OldTarget(); standin::g_state.cbDiskFree = 5; },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"DiskFullWithoutOldTarget", [](InstallTest &) { standin::g_state.cbDiskFree = 5; },
                kCopyFailed, std::nullopt, {}},
    InstallCase{"StaleTempOfEarlierRunDoesNotBlock",
                [](InstallTest &t) {
                    standin::g_state.dwPid = 0x4242;
                    t.MapFolder();
                    t.Plant("~4242", "stale half copy");
                },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"ReadOnlyStaleTempFails",
                [](InstallTest &t) {
                    standin::g_state.dwPid = 0x4242;
                    t.OldTarget();
                    t.Plant("~4242", "stale");
                    MakeReadOnly(t.Game() + "/" MAP_FOLDER "/~4242");
                },
                kCopyFailed, kszOldMap, {MAP_FILE, "~4242"}},
    InstallCase{"OtherInstallersTempLeftAlone",
                [](InstallTest &t) {
                    standin::g_state.dwPid = 2;
                    t.MapFolder();
                    t.Plant("~1", "being written by another run");
                    standin::LockFile(t.Game() + "/" MAP_FOLDER "/~1");
                },
                kInstalled, kszNewMap, {MAP_FILE, "~1"}},
    InstallCase{"FlushFailsKeepsOldTarget",
                [](InstallTest &t) { t.OldTarget(); standin::g_state.fFlushFails = true; },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ReadOnlyMapInstalled", [](InstallTest &t) { MakeReadOnly(t.Cwd() + "/" MAP_FILE); },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"EmptyMapCopiedAsIs", [](InstallTest &t) { t.OldTarget(); WriteFile(t.Cwd() + "/" MAP_FILE, ""); },
                kInstalled, "", kJustMap},
    InstallCase{"MapIsAFolderKeepsOldTarget",
                [](InstallTest &t) {
                    t.OldTarget();
                    unlink((t.Cwd() + "/" MAP_FILE).c_str());
                    mkdir((t.Cwd() + "/" MAP_FILE).c_str(), 0755);
                },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ValueEndingInBackslash",
                [](InstallTest &t) {
                    standin::SetValue(GAME_KEY, GAME_PATH_VALUE, t.Game() + "\\" + std::string(1, '\0'));
                },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"RelativeValueIsNotTheGame",
                [](InstallTest &) { standin::SetValue(GAME_KEY, GAME_PATH_VALUE, std::string("game", 5)); },
                kNotInstalled, std::nullopt, kNoMapFolder},
    InstallCase{"GameFolderOf255CharsUsedWhole", [](InstallTest &t) { t.GameFolderOfLength(255); },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"GameFolderWithSpacesAndCzech",
                [](InstallTest &t) { t.GameFolderNamed(Cp1250("Hry a věci – Duneveil, Česká edice")); },
                kInstalled, kszNewMap, kJustMap}),
    [](const ::testing::TestParamInfo<InstallCase> &info) { return std::string(info.param.pszName); });

TEST_F(SandboxTest, CopyReachesTheDiskBeforeTheRename)
{
    InstallGame();
    PutMap(kszNewMap);
    standin::g_state.dwPid = 0x4242;

    OnInstall(khDlg);

    std::string strTemp = m_strGame + "\\" MAP_FOLDER "\\~4242";
    std::vector<std::string> vecOrder;
    for (const std::string &str : standin::g_state.vecFileCalls)
        if (str.rfind("CopyFileA", 0) == 0 || str.rfind("FlushFileBuffers", 0) == 0 ||
            str.rfind("MoveFileExA", 0) == 0)
            vecOrder.push_back(str);
    EXPECT_EQ(vecOrder, (std::vector<std::string>{
                            "CopyFileA(" MAP_FILE ", " + strTemp + ", 1)",
                            "FlushFileBuffers(" + strTemp + ")",
                            // MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
                            "MoveFileExA(" + strTemp + ", " + m_strGame + "\\" MAP_FOLDER "\\" MAP_FILE ", 0x9)",
                        }));
}

TEST_F(SandboxTest, EmptyGameFolderNeverTestsTheDriveRoot)
{
    standin::SetValue(GAME_KEY, GAME_PATH_VALUE, std::string(1, '\0'));
    PutMap(kszNewMap);

    OnInstall(khDlg);

    EXPECT_EQ(standin::g_state.nOpenAttempts, 0) << "\"\\" GAME_DATA_FILE "\" must not be tried";
    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, kBoxes[kNotInstalled].pszTextUtf8);
}

TEST_F(SandboxTest, MapComesFromTheCurrentDirectoryNotTheGame)
{
    InstallGame();
    // A map lying in the game folder itself is not the one to install.
    WriteFile(m_strGame + "/" MAP_FILE, "wrong one");

    OnInstall(khDlg);

    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, kBoxes[kCopyFailed].pszTextUtf8);
    EXPECT_FALSE(FileExists(m_strTarget));
}

TEST_F(SandboxTest, Disk2ThatIsAFileStaysAsItWas)
{
    InstallGame();
    PutMap(kszNewMap);
    WriteFile(m_strGame + "/" MAP_FOLDER, kszOldMap);

    OnInstall(khDlg);

    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, kBoxes[kCopyFailed].pszTextUtf8);
    EXPECT_EQ(ReadFile(m_strGame + "/" MAP_FOLDER), kszOldMap);
    EXPECT_EQ(ListDir(m_strGame), (std::vector<std::string>{MAP_FOLDER, GAME_DATA_FILE}));
}

TEST_F(SandboxTest, InstallMapUsesTheFolderItIsGiven)
{
    PutMap(kszNewMap);
    std::string strOther = m_strRoot + "/other";
    ASSERT_EQ(mkdir(strOther.c_str(), 0755), 0);

    InstallMap(strOther.c_str(), khDlg);

    EXPECT_EQ(ReadFile(strOther + "/" MAP_FOLDER "/" MAP_FILE), kszNewMap);
    ASSERT_EQ(standin::g_state.vecEnds.size(), 1u);
    EXPECT_EQ(standin::g_state.vecEnds[0].nResult, 2);
}

}
