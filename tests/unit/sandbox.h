// A throwaway game install and current directory for one test.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game_files.h"
#include "standin.h"

// UTF-8 to Windows-1250, to compare the program's bytes with readable text.
std::string Cp1250(const std::string &strUtf8);

std::string ReadFile(const std::string &strPath);
void WriteFile(const std::string &strPath, const std::string &strBytes);
bool FileExists(const std::string &strPath);
void MakeReadOnly(const std::string &strPath);
void MakeUnreadable(const std::string &strPath);
std::vector<std::string> ListDir(const std::string &strDir);

class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A game folder registered in HKLM with the game's data file in it, and
    // the map in the current directory.
    void InstallGame();
    void PutMap(const std::string &strBytes);

    std::string m_strRoot;     // the temporary folder
    std::string m_strGame;     // <root>/game
    std::string m_strCwd;      // <root>/cwd, the current directory
    std::string m_strTarget;   // the map in the game's map folder

private:
    std::string m_strSavedCwd;
};

extern const HWND khDlg;
