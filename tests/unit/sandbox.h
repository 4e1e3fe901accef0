// A throwaway game install and current directory for one test.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "game_files.h"
#include "standin.h"

// A row of a table of cases: gtest prints it by its name, not its bytes.
struct NamedCase {
    const char *pszName;
};
inline std::ostream &operator<<(std::ostream &os, const NamedCase &c) { return os << c.pszName; }

const std::string kNul(1, '\0');
const HWND khDlg = reinterpret_cast<HWND>(0x1234);

// nullopt when there is no such file (a folder is not one).
std::optional<std::string> ReadFile(const std::string &strPath);
void WriteFile(const std::string &strPath, const std::string &strBytes);
inline void MakeReadOnly(const std::string &strPath) { ASSERT_EQ(chmod(strPath.c_str(), 0444), 0); }
inline void MakeUnreadable(const std::string &strPath) { ASSERT_EQ(chmod(strPath.c_str(), 0200), 0); }
// The names in a folder, sorted; nullopt when there is no such folder.
std::optional<std::vector<std::string>> ListDir(const std::string &strDir);
// The game's registry value, its bytes as given.
inline void SetGamePath(const std::string &strBytes) { standin::SetValue(GAME_KEY, GAME_PATH_VALUE, strBytes); }

// Public, as the cases of a table arrange their set-up through it.
class SandboxTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // A game folder registered in HKLM with the game's data file in it, and
    // the map in the current directory.
    void InstallGame();
    void PutMap(const std::string &strBytes) { WriteFile(Map(), strBytes); }

    std::string MapFolder() const { return m_strGame + "/" MAP_FOLDER; }
    std::string Target() const { return MapFolder() + "/" MAP_FILE; }
    std::string DataFile() const { return m_strGame + "/" GAME_DATA_FILE; }
    std::string Map() const { return m_strCwd + "/" MAP_FILE; }

    std::string m_strRoot;  // the temporary folder
    std::string m_strGame;  // <root>/game
    std::string m_strCwd;   // <root>/cwd, the current directory

private:
    std::string m_strSavedCwd;
};
