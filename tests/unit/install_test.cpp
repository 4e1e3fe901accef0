#include <filesystem>

#include <gtest/gtest.h>

#include "game_path.h"
#include "install_map.h"
#include "sandbox.h"
#include "standin.h"

namespace {

namespace fs = std::filesystem;

// The outcomes, by the box that reports them.
struct Outcome {
    const char *pszTextUtf8;
    const char *pszCaptionUtf8;
    UINT uType;
};

const Outcome kInstalled = {"Instalace mapy byla úspěšně dokončena.", "Instalátor", 0x40};
const Outcome kNotInstalled = {"Hra není v pořádku nainstalována!\nInstalace nemůže pokračovat.", "Chyba", 0x10};
const Outcome kCopyFailed = {"Při instalaci se naskytla chyba.\nNová mapa nebyla nainstalována.", "Chyba", 0x10};

const char kszNewMap[] = "NEW MAP \x01\x02\xFF\r\n\x1A end";
const char kszOldMap[] = "old map, longer than the new one, so a partial overwrite would show";

class InstallTest;

struct InstallCase : NamedCase {
    void (*pfnArrange)(InstallTest &);
    const Outcome &outcome;
    // nullopt, unless given: no target file, no map folder.
    std::optional<std::string> strTargetAfter = std::nullopt;
    std::optional<std::vector<std::string>> vecMapFolderAfter = std::nullopt;
    // Slept waiting for other processes to let go, on the stand-in's clock.
    DWORD dwWaitedMs = 0;
};

// The file at the path becomes an empty folder of that name.
void ReplaceWithFolder(const std::string &strPath)
{
    ASSERT_TRUE(fs::remove(strPath));
    ASSERT_TRUE(fs::create_directory(strPath));
}

class InstallTest : public SandboxTest, public ::testing::WithParamInterface<InstallCase> {
public:
    void MakeMapFolder() { ASSERT_TRUE(fs::create_directory(MapFolder())); }
    void OldTarget()
    {
        MakeMapFolder();
        WriteFile(Target(), kszOldMap);
    }
    // Moves the game to <root>/<name> and registers it there.
    void MoveGame(const std::string &strName)
    {
        std::string strDir = m_strRoot + "/" + strName;
        ASSERT_EQ(rename(m_strGame.c_str(), strDir.c_str()), 0);
        m_strGame = strDir;
        SetGamePath(m_strGame + kNul);
    }
};

const std::vector<std::string> kJustMap = {MAP_FILE};
const std::vector<std::string> kEmptyFolder;

TEST_P(InstallTest, ShowsOneBoxEndsTheDialogAndKeepsTheOldMapOnFailure)
{
    const InstallCase &c = GetParam();
    InstallGame();
    PutMap(kszNewMap);
    c.pfnArrange(*this);
    std::optional<std::string> strSource = ReadFile(Map());

    OnInstall(khDlg);

    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    const standin::MessageBoxCall &call = standin::g_state.vecBoxes[0];
    EXPECT_EQ(call.strText, c.outcome.pszTextUtf8);
    EXPECT_EQ(call.strCaption, c.outcome.pszCaptionUtf8);
    EXPECT_EQ(call.uType, c.outcome.uType);
    EXPECT_EQ(call.hwndOwner, nullptr) << "the box has no owner window";

    ASSERT_EQ(standin::g_state.vecEnds.size(), 1u);
    EXPECT_EQ(standin::g_state.vecEnds[0].hDlg, khDlg);
    EXPECT_EQ(standin::g_state.vecEnds[0].nResult, 2);
    EXPECT_LT(call.uSeq, standin::g_state.vecEnds[0].uSeq) << "the box shows before the dialog ends";

    EXPECT_EQ(ReadFile(Target()), c.strTargetAfter);
    // No map folder: nothing on disk touched. Otherwise no temporary file left behind.
    EXPECT_EQ(ListDir(MapFolder()), c.vecMapFolderAfter);
    EXPECT_EQ(ReadFile(Map()), strSource) << "the source stays";
    EXPECT_EQ(standin::g_state.dwNowMs, c.dwWaitedMs) << "milliseconds waited";
}

INSTANTIATE_TEST_SUITE_P(Outcomes, InstallTest, ::testing::Values(
    InstallCase{"TypicalCreatesDisk2", [](InstallTest &) {}, kInstalled, kszNewMap, kJustMap},
    InstallCase{"Disk2AlreadyThere", [](InstallTest &t) { t.MakeMapFolder(); }, kInstalled, kszNewMap, kJustMap},
    InstallCase{"ReplacesOtherContent", [](InstallTest &t) { t.OldTarget(); }, kInstalled, kszNewMap, kJustMap},
    InstallCase{"NoKey", [](InstallTest &) { standin::Reset(); }, kNotInstalled},
    InstallCase{"KeyWithoutValue", [](InstallTest &) { standin::Reset(); standin::AddKey(GAME_KEY); }, kNotInstalled},
    InstallCase{"NoDataFile", [](InstallTest &t) { fs::remove(t.DataFile()); }, kNotInstalled},
    InstallCase{"DataFileUnreadable", [](InstallTest &t) { MakeUnreadable(t.DataFile()); }, kNotInstalled},
    InstallCase{"DataFileIsAFolder", [](InstallTest &t) { ReplaceWithFolder(t.DataFile()); }, kNotInstalled},
    InstallCase{"ValueTooLong", [](InstallTest &t) { SetGamePath(t.m_strGame + std::string(300, '/')); },
                kNotInstalled},
    InstallCase{"MapMissingKeepsOldTarget", [](InstallTest &t) { t.OldTarget(); fs::remove(t.Map()); },
                kCopyFailed, kszOldMap, kJustMap},
    // A map lying in the game folder itself is not the one to install.
    InstallCase{"MapComesFromTheCurrentDirectoryNotTheGame",
                [](InstallTest &t) { fs::remove(t.Map()); WriteFile(t.m_strGame + "/" MAP_FILE, "wrong one"); },
                kCopyFailed, std::nullopt, kEmptyFolder},
    InstallCase{"ReadOnlyTargetKept", [](InstallTest &t) { t.OldTarget(); MakeReadOnly(t.Target()); },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ReadOnlyTargetKeptWhereRenameIgnoresIt",
                [](InstallTest &t) {
                    t.OldTarget();
                    MakeReadOnly(t.Target());
                    standin::g_state.fRenameIgnoresReadOnly = true;
                },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"TargetIsAFolderFailsAtOnce",
                [](InstallTest &t) { t.MakeMapFolder(); ASSERT_TRUE(fs::create_directory(t.Target())); },
                kCopyFailed, std::nullopt, kJustMap},
    // Held all along: two seconds of waiting, then the player is told.
    InstallCase{"LockedTargetKept", [](InstallTest &t) { t.OldTarget(); standin::LockFile(t.Target()); },
                kCopyFailed, kszOldMap, kJustMap, 2000},
    // Scanners and indexers. A reader of the old map, sharing all, still bars
    // the rename; readers of the new copy that let others read, or read and
    // write, bar the flush's open or the copy's rename until they let go; one
    // that shares all bars neither.
    InstallCase{"ReaderOfTheTargetWaitedOut",
                [](InstallTest &t) { t.OldTarget(); standin::LockFile(t.Target(), standin::kShareAll, 500); },
                kInstalled, kszNewMap, kJustMap, 500},
    InstallCase{"ReaderOfTheCopyWaitedOut",
                [](InstallTest &t) { standin::LockFile(t.MapFolder() + "/~4242", FILE_SHARE_READ, 500); },
                kInstalled, kszNewMap, kJustMap, 500},
    InstallCase{"ReaderAndWriterOfTheCopyWaitedOut",
                [](InstallTest &t) {
                    standin::LockFile(t.MapFolder() + "/~4242", FILE_SHARE_READ | FILE_SHARE_WRITE, 500);
                },
                kInstalled, kszNewMap, kJustMap, 500},
    InstallCase{"ReaderOfTheCopySharingAllNeedsNoWait",
                [](InstallTest &t) { standin::LockFile(t.MapFolder() + "/~4242", standin::kShareAll); },
                kInstalled, kszNewMap, kJustMap},
    // No waiting out a copy that is gone.
    InstallCase{"QuarantinedCopyFailsAtOnce",
                [](InstallTest &t) { t.OldTarget(); standin::g_state.fCopiesQuarantined = true; },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"DiskFullKeepsOldTarget", [](InstallTest &t) { t.OldTarget(); standin::g_state.cbDiskFree = 5; },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"DiskFullWithoutOldTarget", [](InstallTest &) { standin::g_state.cbDiskFree = 5; },
                kCopyFailed, std::nullopt, kEmptyFolder},
    InstallCase{"StaleTempOfEarlierRunDoesNotBlock",
                [](InstallTest &t) { t.MakeMapFolder(); WriteFile(t.MapFolder() + "/~4242", "stale half copy"); },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"ReadOnlyStaleTempFails",
                [](InstallTest &t) {
                    t.OldTarget();
                    WriteFile(t.MapFolder() + "/~4242", "stale");
                    MakeReadOnly(t.MapFolder() + "/~4242");
                },
                kCopyFailed, kszOldMap, std::vector<std::string>{MAP_FILE, "~4242"}},
    InstallCase{"OtherInstallersTempLeftAlone",
                [](InstallTest &t) {
                    standin::g_state.dwPid = 2;
                    t.MakeMapFolder();
                    WriteFile(t.MapFolder() + "/~1", "being written by another run");
                    standin::LockFile(t.MapFolder() + "/~1");
                },
                kInstalled, kszNewMap, std::vector<std::string>{MAP_FILE, "~1"}},
    InstallCase{"FlushFailsKeepsOldTarget", [](InstallTest &t) { t.OldTarget(); standin::g_state.fFlushFails = true; },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ReadOnlyMapInstalled", [](InstallTest &t) { MakeReadOnly(t.Map()); },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"EmptyMapCopiedAsIs", [](InstallTest &t) { t.OldTarget(); t.PutMap(""); },
                kInstalled, "", kJustMap},
    InstallCase{"MapIsAFolderKeepsOldTarget", [](InstallTest &t) { t.OldTarget(); ReplaceWithFolder(t.Map()); },
                kCopyFailed, kszOldMap, kJustMap},
    InstallCase{"ValueEndingInBackslash", [](InstallTest &t) { SetGamePath(t.m_strGame + "\\" + kNul); },
                kInstalled, kszNewMap, kJustMap},
    InstallCase{"RelativeValueIsNotTheGame", [](InstallTest &) { SetGamePath("game" + kNul); }, kNotInstalled},
    InstallCase{"GameFolderOf255CharsUsedWhole",
                [](InstallTest &t) { t.MoveGame(std::string(255 - t.m_strRoot.size() - 1, 'g')); },
                kInstalled, kszNewMap, kJustMap},
    // "Hry a věci – Duneveil, Česká edice" in Windows-1250.
    InstallCase{"GameFolderWithSpacesAndCzech",
                [](InstallTest &t) { t.MoveGame("Hry a v\xEC" "ci \x96 Duneveil, \xC8" "esk\xE1 edice"); },
                kInstalled, kszNewMap, kJustMap}),
    ::testing::PrintToStringParamName());

TEST_F(SandboxTest, CopyReachesTheDiskBeforeTheRename)
{
    InstallGame();
    PutMap(kszNewMap);

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
    SetGamePath(kNul);
    PutMap(kszNewMap);

    OnInstall(khDlg);

    EXPECT_EQ(standin::g_state.nOpenAttempts, 0) << "\"\\" GAME_DATA_FILE "\" must not be tried";
    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, kNotInstalled.pszTextUtf8);
}

TEST_F(SandboxTest, Disk2ThatIsAFileStaysAsItWas)
{
    InstallGame();
    PutMap(kszNewMap);
    WriteFile(MapFolder(), kszOldMap);

    OnInstall(khDlg);

    ASSERT_EQ(standin::g_state.vecBoxes.size(), 1u);
    EXPECT_EQ(standin::g_state.vecBoxes[0].strText, kCopyFailed.pszTextUtf8);
    EXPECT_EQ(ReadFile(MapFolder()), kszOldMap);
    EXPECT_EQ(ListDir(m_strGame), (std::vector<std::string>{MAP_FOLDER, GAME_DATA_FILE}));
}

TEST_F(SandboxTest, InstallMapUsesTheFolderItIsGiven)
{
    PutMap(kszNewMap);
    std::string strOther = m_strRoot + "/other";
    ASSERT_TRUE(fs::create_directory(strOther));

    InstallMap(strOther.c_str(), khDlg);

    EXPECT_EQ(ReadFile(strOther + "/" MAP_FOLDER "/" MAP_FILE), kszNewMap);
    ASSERT_EQ(standin::g_state.vecEnds.size(), 1u);
    EXPECT_EQ(standin::g_state.vecEnds[0].nResult, 2);
}

}
