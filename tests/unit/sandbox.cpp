#include "sandbox.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::optional<std::string> ReadFile(const std::string &strPath)
{
    if (!fs::is_regular_file(strPath))
        return std::nullopt;
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string &strPath, const std::string &strBytes)
{
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out << strBytes;
    ASSERT_TRUE(out.good()) << strPath;
}

std::optional<std::vector<std::string>> ListDir(const std::string &strDir)
{
    if (!fs::is_directory(strDir))
        return std::nullopt;
    std::vector<std::string> vec;
    for (const fs::directory_entry &entry : fs::directory_iterator(strDir))
        vec.push_back(entry.path().filename());
    std::sort(vec.begin(), vec.end());
    return vec;
}

void SandboxTest::SetUp()
{
    standin::Reset();
    m_strRoot = fs::temp_directory_path() / "mapinst-test-XXXXXX";
    ASSERT_NE(mkdtemp(m_strRoot.data()), nullptr);
    m_strGame = m_strRoot + "/game";
    m_strCwd = m_strRoot + "/cwd";
    ASSERT_TRUE(fs::create_directory(m_strGame));
    ASSERT_TRUE(fs::create_directory(m_strCwd));
    m_strSavedCwd = fs::current_path();
    fs::current_path(m_strCwd);
}

void SandboxTest::TearDown()
{
    // Whatever the outcome, nothing may stay open.
    EXPECT_TRUE(standin::g_state.setOpenKeys.empty());
    EXPECT_EQ(standin::g_state.nOpenStreams, 0);
    EXPECT_TRUE(standin::g_state.setOpenFiles.empty());
    fs::current_path(m_strSavedCwd);
    fs::remove_all(m_strRoot);
}

void SandboxTest::InstallGame()
{
    SetGamePath(m_strGame + kNul);
    WriteFile(DataFile(), "game data");
}
