// The host tests' stand-in for the platform operations: files on the host
// file system (backslashes mapped), other processes' handles on them under
// Windows's sharing rules, a clock that only Sleep moves, an in-memory
// registry, recorded message boxes and file calls, and Windows code pages
// through glibc's iconv tables.
// Read-only is the owner's write bit, checked here rather than left to the
// kernel, since tests may run as root.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dialog_layout.h"
#include "platform_api.h"
#include "standin.h"

using namespace standin;

namespace {

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

// 0 when there is nothing at the path.
mode_t Mode(const std::string &str)
{
    struct stat st;
    return stat(str.c_str(), &st) == 0 ? st.st_mode : 0;
}

bool IsReadOnly(const std::string &str)
{
    mode_t mode = Mode(str);
    return mode && !(mode & S_IWUSR);
}

// Whether two handles, each with its access and sharing, cannot be open on
// one file at once, as Windows decides it.
bool Clash(DWORD dwAccess, DWORD dwShareMode, DWORD dwOtherAccess, DWORD dwOtherShareMode)
{
    auto Bars = [](DWORD dwAccessOfOne, DWORD dwShareOfOther) {
        return ((dwAccessOfOne & GENERIC_READ) && !(dwShareOfOther & FILE_SHARE_READ)) ||
               ((dwAccessOfOne & GENERIC_WRITE) && !(dwShareOfOther & FILE_SHARE_WRITE)) ||
               ((dwAccessOfOne & DELETE) && !(dwShareOfOther & FILE_SHARE_DELETE));
    };
    return Bars(dwAccess, dwOtherShareMode) || Bars(dwOtherAccess, dwShareMode);
}

// Another process's handle on the file, while it holds it.
const Holder *HeldBy(const std::string &str)
{
    auto it = g_state.mapHeld.find(str);
    return it != g_state.mapHeld.end() && g_state.dwNowMs < it->second.dwUntilMs ? &it->second : nullptr;
}

// Whether an open of the file with this access and sharing meets a handle,
// another process's or the program's own, that it cannot share with.
bool Refused(const std::string &str, DWORD dwAccess, DWORD dwShareMode)
{
    const Holder *pHolder = HeldBy(str);
    return (pHolder && Clash(dwAccess, dwShareMode, GENERIC_READ, pHolder->dwShareMode)) ||
           std::any_of(g_state.setOpenFiles.begin(), g_state.setOpenFiles.end(), [&](const File *pFile) {
               return pFile->strPath == str && Clash(dwAccess, dwShareMode, pFile->dwAccess, pFile->dwShareMode);
           });
}

// Windows renames over no file that a handle is open on, whatever it shares.
bool IsOpen(const std::string &str)
{
    return HeldBy(str) || std::any_of(g_state.setOpenFiles.begin(), g_state.setOpenFiles.end(),
                                      [&](const File *pFile) { return pFile->strPath == str; });
}

// A failure, as GetLastError then tells it.
template <typename Result>
Result Fail(DWORD dwError, Result result)
{
    g_state.dwLastError = dwError;
    return result;
}

// One line of vecFileCalls.
__attribute__((format(printf, 1, 2))) void Record(const char *pszFormat, ...)
{
    char sz[1024];
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(sz, sizeof sz, pszFormat, args);
    va_end(args);
    g_state.vecFileCalls.push_back(sz);
}

// All of the bytes from one iconv encoding to another. Only a Windows code
// page's input can hold a byte it leaves undefined, which becomes the
// character of the same number, as on Windows. False when iconv lacks one of
// the encodings.
template <typename Char>
bool Convert(const char *pszTo, const char *pszFrom, const void *pv, size_t cb, std::basic_string<Char> &str)
{
    iconv_t cd = iconv_open(pszTo, pszFrom);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    str.clear();
    char *pIn = static_cast<char *>(const_cast<void *>(pv));
    while (cb > 0) {
        Char ach[256];
        char *pOut = reinterpret_cast<char *>(ach);
        size_t cbOut = sizeof ach;
        size_t uResult = iconv(cd, &pIn, &cb, &pOut, &cbOut);
        str.append(ach, reinterpret_cast<Char *>(pOut) - ach);
        if (uResult == static_cast<size_t>(-1) && errno != E2BIG) {
            str += static_cast<Char>(static_cast<unsigned char>(*pIn++));
            --cb;
        }
    }
    iconv_close(cd);
    return true;
}

bool Decode(UINT uCodePage, const char *pb, size_t cb, std::wstring &wstr)
{
    return Convert("WCHAR_T", ("CP" + std::to_string(uCodePage)).c_str(), pb, cb, wstr);
}

std::string Utf8(const wchar_t *pwsz)
{
    std::string str;
    Convert("UTF-8", "WCHAR_T", pwsz, wcslen(pwsz) * sizeof(wchar_t), str);
    return str;
}

// Records a call on a handle; returns the open file behind it, or null.
File *RecordHandleCall(const char *pszCall, HANDLE hFile)
{
    File *pFile = static_cast<File *>(hFile);
    if (!g_state.setOpenFiles.count(pFile))
        pFile = nullptr;
    Record("%s(%s)", pszCall, pFile ? pFile->strName.c_str() : "?");
    return pFile;
}

}

namespace standin {

State g_state;

void Reset()
{
    for (File *pFile : g_state.setOpenFiles)
        delete pFile;
    g_state = State{};
}

void AddKey(const std::string &strKey)
{
    g_state.mapKeys[Lower(strKey)];
}

void SetValue(const std::string &strKey, const std::string &strName, const std::string &strBytes)
{
    g_state.mapKeys[Lower(strKey)][Lower(strName)] = strBytes;
}

void LockFile(const std::string &strPath, DWORD dwShareMode, DWORD dwUntilMs)
{
    g_state.mapHeld[HostPath(strPath.c_str())] = {dwShareMode, dwUntilMs};
}

}

namespace plat {

LONG RegOpenKeyExA(HKEY hKey, const char *pszSubKey, DWORD, DWORD samDesired, HKEY *phkResult)
{
    if (hKey != HKEY_LOCAL_MACHINE || !(samDesired & KEY_QUERY_VALUE))
        return ERROR_FILE_NOT_FOUND;
    auto it = g_state.mapKeys.find(Lower(pszSubKey));
    if (it == g_state.mapKeys.end())
        return ERROR_FILE_NOT_FOUND;
    g_state.setOpenKeys.insert(&it->second);
    *phkResult = reinterpret_cast<HKEY>(&it->second);
    return ERROR_SUCCESS;
}

// Only what the program asks for: the data, into its buffer, without the type.
LONG RegQueryValueExA(HKEY hKey, const char *pszValueName, DWORD *, DWORD *, LPBYTE pbData, DWORD *pcbData)
{
    const Key *pKey = reinterpret_cast<const Key *>(hKey);
    if (!g_state.setOpenKeys.count(pKey))
        return 6;  // ERROR_INVALID_HANDLE
    auto it = pKey->find(Lower(pszValueName));
    if (it == pKey->end())
        return ERROR_FILE_NOT_FOUND;
    const std::string &strData = it->second;
    DWORD cbHave = *pcbData;
    *pcbData = static_cast<DWORD>(strData.size());
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
    return g_state.setOpenKeys.erase(reinterpret_cast<const Key *>(hKey)) ? ERROR_SUCCESS : 6;
}

FILE *fopen(const char *pszPath, const char *pszMode)
{
    ++g_state.nOpenAttempts;
    std::string str = HostPath(pszPath);
    // Root reads anything; an unreadable file must still fail to open. Only
    // reading is modelled: the program opens nothing else.
    mode_t mode = Mode(str);
    if (Refused(str, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE) || S_ISDIR(mode) || !(mode & S_IRUSR))
        return nullptr;
    FILE *pf = ::fopen(str.c_str(), pszMode);
    if (pf)
        ++g_state.nOpenStreams;
    return pf;
}

int fclose(FILE *pf)
{
    --g_state.nOpenStreams;
    return ::fclose(pf);
}

BOOL DeleteFileA(const char *pszPath)
{
    Record("DeleteFileA(%s)", pszPath);
    std::string str = HostPath(pszPath);
    if (Refused(str, DELETE, kShareAll) || IsReadOnly(str) || S_ISDIR(Mode(str)))
        return FALSE;
    return unlink(str.c_str()) == 0;
}

BOOL CreateDirectoryA(const char *pszPath, SECURITY_ATTRIBUTES *)
{
    Record("CreateDirectoryA(%s)", pszPath);
    return mkdir(HostPath(pszPath).c_str(), 0755) == 0;
}

BOOL CopyFileA(const char *pszFrom, const char *pszTo, BOOL fFailIfExists)
{
    Record("CopyFileA(%s, %s, %d)", pszFrom, pszTo, fFailIfExists);
    std::string strFrom = HostPath(pszFrom), strTo = HostPath(pszTo);
    if ((Mode(strTo) && (fFailIfExists || Refused(strTo, GENERIC_WRITE, 0) || IsReadOnly(strTo) ||
                         S_ISDIR(Mode(strTo)))) ||
        Refused(strFrom, GENERIC_READ, FILE_SHARE_READ) || S_ISDIR(Mode(strFrom)))
        return FALSE;
    std::ifstream in(strFrom, std::ios::binary);
    if (!in)
        return FALSE;
    std::string strData{std::istreambuf_iterator<char>(in), {}};
    // The disk may fill part way; the part written stays, as Wine leaves it.
    bool fFits = g_state.cbDiskFree < 0 || strData.size() <= static_cast<size_t>(g_state.cbDiskFree);
    std::ofstream out(strTo, std::ios::binary);
    out.write(strData.data(), fFits ? strData.size() : g_state.cbDiskFree);
    out.close();
    // Windows copies the attributes along, read-only among them.
    if (IsReadOnly(strFrom))
        chmod(strTo.c_str(), 0444);
    if (g_state.fCopiesQuarantined)
        unlink(strTo.c_str());
    return fFits && out.good();
}

// The errors are Windows's. Whoever holds the file renamed holds it under its new name.
BOOL MoveFileExA(const char *pszFrom, const char *pszTo, DWORD dwFlags)
{
    Record("MoveFileExA(%s, %s, 0x%X)", pszFrom, pszTo, dwFlags);
    std::string strFrom = HostPath(pszFrom), strTo = HostPath(pszTo);
    if (!Mode(strFrom))
        return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    if (Refused(strFrom, DELETE, kShareAll))
        return Fail(ERROR_SHARING_VIOLATION, FALSE);
    if (Mode(strTo) && !(dwFlags & MOVEFILE_REPLACE_EXISTING))
        return Fail(ERROR_ALREADY_EXISTS, FALSE);
    if (Mode(strTo) && (IsOpen(strTo) || S_ISDIR(Mode(strTo)) ||
                        (IsReadOnly(strTo) && !g_state.fRenameIgnoresReadOnly)))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (rename(strFrom.c_str(), strTo.c_str()) != 0)
        return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    auto it = g_state.mapHeld.find(strFrom);
    if (it != g_state.mapHeld.end()) {
        g_state.mapHeld[strTo] = it->second;
        g_state.mapHeld.erase(it);
    }
    return TRUE;
}

// Only what the program asks for: whether the path exists, is a folder or is read-only.
DWORD GetFileAttributesA(const char *pszPath)
{
    mode_t mode = Mode(HostPath(pszPath));
    if (!mode)
        return INVALID_FILE_ATTRIBUTES;
    if (S_ISDIR(mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return (mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL SetFileAttributesA(const char *pszPath, DWORD dwAttributes)
{
    Record("SetFileAttributesA(%s, 0x%X)", pszPath, dwAttributes);
    std::string str = HostPath(pszPath);
    mode_t mode = Mode(str);
    if (!mode)
        return FALSE;
    mode = (dwAttributes & FILE_ATTRIBUTE_READONLY) ? mode & ~0222 : mode | S_IWUSR;
    return chmod(str.c_str(), mode & 07777) == 0;
}

// Only what the program asks for: an existing file, opened for writing or
// for reading. Nothing is read or written through the handle.
HANDLE CreateFileA(const char *pszPath, DWORD dwAccess, DWORD dwShareMode, SECURITY_ATTRIBUTES *, DWORD dwDisposition,
                   DWORD, HANDLE)
{
    Record("CreateFileA(%s, 0x%X)", pszPath, dwAccess);
    std::string str = HostPath(pszPath);
    mode_t mode = Mode(str);
    if (dwDisposition != OPEN_EXISTING || !mode)
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (S_ISDIR(mode) || ((dwAccess & GENERIC_WRITE) && IsReadOnly(str)))
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (Refused(str, dwAccess, dwShareMode))
        return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    File *pFile = new File{str, pszPath, dwAccess, dwShareMode};
    g_state.setOpenFiles.insert(pFile);
    return pFile;
}

BOOL FlushFileBuffers(HANDLE hFile)
{
    File *pFile = RecordHandleCall("FlushFileBuffers", hFile);
    // Windows asks for a handle with write access. No fsync: what the tests
    // check is that the call is made, and when.
    return pFile && (pFile->dwAccess & GENERIC_WRITE) && !g_state.fFlushFails;
}

BOOL CloseHandle(HANDLE hObject)
{
    File *pFile = RecordHandleCall("CloseHandle", hObject);
    if (!pFile)
        return FALSE;
    g_state.setOpenFiles.erase(pFile);
    delete pFile;
    return TRUE;
}

DWORD GetCurrentProcessId()
{
    return g_state.dwPid;
}

// Set by the calls whose errors the program reads: CreateFileA and MoveFileExA.
DWORD GetLastError()
{
    return g_state.dwLastError;
}

// Only moves the fake clock. A minute of it means a wait without a bound,
// which would otherwise hang the test that meets it.
void Sleep(DWORD dwMilliseconds)
{
    g_state.dwNowMs += dwMilliseconds;
    if (g_state.dwNowMs > 60000) {
        fprintf(stderr, "stand-in: slept a minute: a wait without a bound\n");
        abort();
    }
}

int MultiByteToWideChar(UINT uCodePage, DWORD, const char *psz, int cb, WCHAR *pwsz, int cch)
{
    std::wstring wstr;
    size_t cbIn = cb < 0 ? strlen(psz) + 1 : static_cast<size_t>(cb);
    if (g_state.fConversionFails || !Decode(uCodePage, psz, cbIn, wstr))
        return 0;
    if (cch == 0)
        return static_cast<int>(wstr.size());
    if (wstr.size() > static_cast<size_t>(cch))
        return 0;  // ERROR_INSUFFICIENT_BUFFER
    std::copy(wstr.begin(), wstr.end(), pwsz);
    return static_cast<int>(wstr.size());
}

int MessageBoxA(HWND hWnd, const char *pszText, const char *pszCaption, UINT uType)
{
    std::wstring wstrText, wstrCaption;
    if (!Decode(g_state.uAnsiCodePage, pszText, strlen(pszText), wstrText) ||
        !Decode(g_state.uAnsiCodePage, pszCaption, strlen(pszCaption), wstrCaption))
        abort();  // a code page the tests set but the host lacks
    return MessageBoxW(hWnd, wstrText.c_str(), wstrCaption.c_str(), uType);
}

int MessageBoxW(HWND hWnd, const WCHAR *pwszText, const WCHAR *pwszCaption, UINT uType)
{
    g_state.vecBoxes.push_back({++g_state.uSeq, hWnd, Utf8(pwszText), Utf8(pwszCaption), uType});
    return IDOK;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult)
{
    g_state.vecEnds.push_back({++g_state.uSeq, hDlg, nResult});
    return TRUE;
}

}

// The dialog's on-screen layout is the real window's alone: only that
// WM_INITDIALOG asks for it is seen here.
void LayOutDialog(HWND)
{
    ++standin::g_state.nDialogLayouts;
}
