#include "sandbox.h"

#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

const HWND khDlg = reinterpret_cast<HWND>(0x1234);

std::string Cp1250(const std::string &strUtf8)
{
    iconv_t cd = iconv_open("CP1250", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string strOut(strUtf8.size() * 2 + 1, '\0');
    char *pIn = const_cast<char *>(strUtf8.data());
    char *pOut = &strOut[0];
    size_t cbIn = strUtf8.size(), cbOut = strOut.size();
    EXPECT_NE(iconv(cd, &pIn, &cbIn, &pOut, &cbOut), static_cast<size_t>(-1));
    iconv_close(cd);
    strOut.resize(strOut.size() - cbOut);
    return strOut;
}

std::string ReadFile(const std::string &strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &strPath, const std::string &strBytes)
{
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out << strBytes;
    ASSERT_TRUE(out.good()) << strPath;
}

bool FileExists(const std::string &strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}

void MakeReadOnly(const std::string &strPath)
{
    ASSERT_EQ(chmod(strPath.c_str(), 0444), 0);
}

void MakeUnreadable(const std::string &strPath)
{
    ASSERT_EQ(chmod(strPath.c_str(), 0200), 0);
}

std::vector<std::string> ListDir(const std::string &strDir)
{
    std::vector<std::string> vec;
    if (DIR *pDir = opendir(strDir.c_str())) {
        while (dirent *pEnt = readdir(pDir)) {
            std::string str = pEnt->d_name;
            if (str != "." && str != "..")
                vec.push_back(str);
        }
        closedir(pDir);
    }
    std::sort(vec.begin(), vec.end());
    return vec;
}

static void RemoveTree(const std::string &strPath)
{
    struct stat st;
    if (lstat(strPath.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        chmod(strPath.c_str(), 0755);
        for (const std::string &str : ListDir(strPath))
            RemoveTree(strPath + "/" + str);
        rmdir(strPath.c_str());
    } else {
        unlink(strPath.c_str());
    }
}

void SandboxTest::SetUp()
{
    standin::Reset();
    char szTemplate[] = "/tmp/mapinst-test-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    m_strRoot = szTemplate;
    m_strGame = m_strRoot + "/game";
    m_strCwd = m_strRoot + "/cwd";
    m_strTarget = m_strGame + "/" MAP_FOLDER "/" MAP_FILE;
    ASSERT_EQ(mkdir(m_strGame.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(m_strCwd.c_str(), 0755), 0);
    char szCwd[4096];
    ASSERT_NE(getcwd(szCwd, sizeof szCwd), nullptr);
    m_strSavedCwd = szCwd;
    ASSERT_EQ(chdir(m_strCwd.c_str()), 0);
}

void SandboxTest::TearDown()
{
    // Whatever the outcome, nothing may stay open.
    EXPECT_TRUE(standin::g_state.setOpenKeys.empty());
    EXPECT_EQ(standin::g_state.nOpenStreams, 0);
    EXPECT_TRUE(standin::g_state.setOpenFiles.empty());
    EXPECT_EQ(chdir(m_strSavedCwd.c_str()), 0);
    RemoveTree(m_strRoot);
}

void SandboxTest::InstallGame()
{
    standin::SetValue(GAME_KEY, GAME_PATH_VALUE, m_strGame + std::string(1, '\0'));
    WriteFile(m_strGame + "/" GAME_DATA_FILE, "game data");
}

void SandboxTest::PutMap(const std::string &strBytes)
{
    WriteFile(m_strCwd + "/" MAP_FILE, strBytes);
}
