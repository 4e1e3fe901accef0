// Host substitute for the platform operations: files on the host file system
// (backslashes mapped), an in-memory registry, recorded message boxes.
// Read-only is the owner's write bit, checked here rather than left to the
// kernel, since tests may run as root.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host_control.h"
#include "platform_api.h"

namespace {

struct Key {
    std::map<std::string, std::string> values;
};

std::map<std::string, Key> g_mapKeys;
std::set<const Key *> g_setOpenKeys;
int g_nOpenStreams;
int g_nOpenAttempts;
unsigned g_uSeq;
std::vector<host::MessageBoxCall> g_vecBoxes;
std::vector<host::EndDialogCall> g_vecEnds;
std::set<std::string> g_setLocked;
bool g_fRenameIgnoresReadOnly;
long g_cbDiskFree = -1;
DWORD g_dwPid = 4242;

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char c) { return std::tolower(c); });
    return str;
}

std::string HostPath(const char *psz)
{
    std::string str(psz);
    std::replace(str.begin(), str.end(), '\\', '/');
    return str;
}

bool Exists(const std::string &str)
{
    struct stat st;
    return lstat(str.c_str(), &st) == 0;
}

bool IsDir(const std::string &str)
{
    struct stat st;
    return stat(str.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsReadOnly(const std::string &str)
{
    struct stat st;
    return stat(str.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

bool IsLocked(const std::string &str)
{
    return g_setLocked.count(str) != 0;
}

bool CopyContents(const std::string &strFrom, const std::string &strTo, bool fFailIfExists)
{
    if (IsLocked(strFrom) || IsDir(strFrom))
        return false;
    int fdIn = open(strFrom.c_str(), O_RDONLY);
    if (fdIn < 0)
        return false;
    int fdOut = open(strTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | (fFailIfExists ? O_EXCL : 0), 0644);
    if (fdOut < 0) {
        close(fdIn);
        return false;
    }
    bool fOk = true;
    long cbWritten = 0;
    char buf[4096];
    ssize_t cb;
    while (fOk && (cb = read(fdIn, buf, sizeof buf)) > 0) {
        if (g_cbDiskFree >= 0 && cbWritten + cb > g_cbDiskFree) {
            cb = g_cbDiskFree - cbWritten;
            fOk = false;
        }
        if (cb > 0 && write(fdOut, buf, cb) != cb)
            fOk = false;
        cbWritten += cb;
    }
    if (cb < 0)
        fOk = false;
    close(fdIn);
    close(fdOut);
    return fOk;
}

}

namespace host {

void Reset()
{
    g_mapKeys.clear();
    g_setOpenKeys.clear();
    g_nOpenStreams = 0;
    g_nOpenAttempts = 0;
    g_uSeq = 0;
    g_vecBoxes.clear();
    g_vecEnds.clear();
    g_setLocked.clear();
    g_fRenameIgnoresReadOnly = false;
    g_cbDiskFree = -1;
    g_dwPid = 4242;
}

void AddKey(const std::string &strKey)
{
    g_mapKeys[Lower(strKey)];
}

void SetValue(const std::string &strKey, const std::string &strName, const std::string &strBytes)
{
    g_mapKeys[Lower(strKey)].values[Lower(strName)] = strBytes;
}

bool KeyExists(const std::string &strKey)
{
    return g_mapKeys.count(Lower(strKey)) != 0;
}

const std::vector<MessageBoxCall> &MessageBoxes()
{
    return g_vecBoxes;
}

const std::vector<EndDialogCall> &EndDialogs()
{
    return g_vecEnds;
}

int OpenKeyCount()
{
    return static_cast<int>(g_setOpenKeys.size());
}

int OpenStreamCount()
{
    return g_nOpenStreams;
}

int OpenAttemptCount()
{
    return g_nOpenAttempts;
}

void LockFile(const std::string &strPath)
{
    g_setLocked.insert(HostPath(strPath.c_str()));
}

void SetRenameIgnoresReadOnly(bool fIgnore)
{
    g_fRenameIgnoresReadOnly = fIgnore;
}

void SetDiskSpace(long cbFree)
{
    g_cbDiskFree = cbFree;
}

void SetProcessId(DWORD dwPid)
{
    g_dwPid = dwPid;
}

}

namespace plat {

LONG RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (hKey != HKEY_LOCAL_MACHINE || !(samDesired & KEY_QUERY_VALUE))
        return ERROR_FILE_NOT_FOUND;
    auto it = g_mapKeys.find(Lower(pszSubKey));
    if (it == g_mapKeys.end())
        return ERROR_FILE_NOT_FOUND;
    g_setOpenKeys.insert(&it->second);
    *phkResult = reinterpret_cast<HKEY>(const_cast<Key *>(&it->second));
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD, LPDWORD pdwType, LPBYTE pbData, LPDWORD pcbData)
{
    const Key *pKey = reinterpret_cast<const Key *>(hKey);
    if (!g_setOpenKeys.count(pKey))
        return 6;  // ERROR_INVALID_HANDLE
    auto it = pKey->values.find(Lower(pszValueName));
    if (it == pKey->values.end())
        return ERROR_FILE_NOT_FOUND;
    if (pdwType)
        *pdwType = 1;  // REG_SZ
    const std::string &strData = it->second;
    DWORD cbHave = pcbData ? *pcbData : 0;
    if (pcbData)
        *pcbData = static_cast<DWORD>(strData.size());
    if (!pbData)
        return ERROR_SUCCESS;
    if (strData.size() > cbHave) {
        // Windows leaves the buffer undefined here; make that visible.
        memset(pbData, 'X', cbHave);
        return ERROR_MORE_DATA;
    }
    memcpy(pbData, strData.data(), strData.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey)
{
    return g_setOpenKeys.erase(reinterpret_cast<const Key *>(hKey)) ? ERROR_SUCCESS : 6;
}

FILE *fopen(const char *pszPath, const char *pszMode)
{
    ++g_nOpenAttempts;
    std::string str = HostPath(pszPath);
    if (IsLocked(str) || IsDir(str))
        return nullptr;
    FILE *pf = ::fopen(str.c_str(), pszMode);
    // Root reads anything; an unreadable file must still fail to open.
    struct stat st;
    if (pf && stat(str.c_str(), &st) == 0 && !(st.st_mode & S_IRUSR)) {
        ::fclose(pf);
        pf = nullptr;
    }
    if (pf)
        ++g_nOpenStreams;
    return pf;
}

int fclose(FILE *pf)
{
    --g_nOpenStreams;
    return ::fclose(pf);
}

BOOL DeleteFileA(LPCSTR pszPath)
{
    std::string str = HostPath(pszPath);
    if (IsLocked(str) || IsReadOnly(str) || IsDir(str))
        return FALSE;
    return unlink(str.c_str()) == 0;
}

BOOL CreateDirectoryA(LPCSTR pszPath, LPSECURITY_ATTRIBUTES)
{
    return mkdir(HostPath(pszPath).c_str(), 0755) == 0;
}

BOOL CopyFileA(LPCSTR pszFrom, LPCSTR pszTo, BOOL fFailIfExists)
{
    std::string strTo = HostPath(pszTo);
    if (Exists(strTo) && (fFailIfExists || IsLocked(strTo) || IsReadOnly(strTo) || IsDir(strTo)))
        return FALSE;
    return CopyContents(HostPath(pszFrom), strTo, fFailIfExists);
}

BOOL MoveFileExA(LPCSTR pszFrom, LPCSTR pszTo, DWORD dwFlags)
{
    std::string strFrom = HostPath(pszFrom), strTo = HostPath(pszTo);
    if (!Exists(strFrom) || IsLocked(strFrom))
        return FALSE;
    if (Exists(strTo)) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING) || IsLocked(strTo) || IsDir(strTo))
            return FALSE;
        if (IsReadOnly(strTo) && !g_fRenameIgnoresReadOnly)
            return FALSE;
    }
    return rename(strFrom.c_str(), strTo.c_str()) == 0;
}

DWORD GetFileAttributesA(LPCSTR pszPath)
{
    struct stat st;
    if (stat(HostPath(pszPath).c_str(), &st) != 0)
        return INVALID_FILE_ATTRIBUTES;
    DWORD dw = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (!(st.st_mode & S_IWUSR))
        dw |= FILE_ATTRIBUTE_READONLY;
    return dw ? dw : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetCurrentProcessId()
{
    return g_dwPid;
}

int MessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType)
{
    g_vecBoxes.push_back({++g_uSeq, hWnd, pszText, pszCaption, uType});
    return IDOK;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult)
{
    g_vecEnds.push_back({++g_uSeq, hDlg, nResult});
    return TRUE;
}

}
