#include "install_map.h"

#include "game_files.h"
#include "game_path.h"
#include "message_box.h"
#include "messages.h"
#include "path_buffer.h"

namespace {

const char kszMapFile[] = MAP_FILE;

void ShowError(const char *pszText)
{
    ShowMessage(pszText, CAPTION_ERROR, MB_OK | MB_ICONERROR);
}

bool GameDataOpens(const char *pszGamePath)
{
    // An empty folder would make this "\data1.dvp", the root of the current
    // drive, where a stray file must not pass for the game.
    if (pszGamePath[0] == '\0')
        return false;
    PathBuffer dataFile;
    if (!dataFile.Format("%s\\" GAME_DATA_FILE, pszGamePath))
        return false;
    FILE *pf = plat::fopen(dataFile.Get(), "rb");
    if (!pf)
        return false;
    plat::fclose(pf);
    return true;
}

bool IsReadOnly(DWORD dwAttributes)
{
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY);
}

// Scanners and indexers open a new file as soon as it is closed, and a
// rename over a file that any process holds open fails whatever that
// process shares. Both let go within moments: a sharing violation or an
// access denial is waited out, up to kcRetries waits of kdwRetryMs in the
// whole install (about two seconds), before the player is told. Other
// errors fail at once.
const int kcRetries = 20;
const DWORD kdwRetryMs = 100;

// After a failed call: whether to make it again, having waited.
bool WaitToRetry(int *pcWaits)
{
    DWORD dwError = plat::GetLastError();
    if ((dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_ACCESS_DENIED) || *pcWaits >= kcRetries)
        return false;
    ++*pcWaits;
    plat::Sleep(kdwRetryMs);
    return true;
}

// A copy can still sit in the write cache when the rename that follows is
// recorded; after a power cut the target's name could then stand over
// incomplete data. Flushing needs write access, and CopyFileA gives the copy
// the map's attributes: a read-only map yields a copy that is made writable.
// Readers, a scanner's among them, may share the copy; writers and deleters
// may not, as nothing but this program may change it before it is in place.
bool FlushToDisk(const char *pszPath, int *pcWaits)
{
    DWORD dwAttributes = plat::GetFileAttributesA(pszPath);
    if (IsReadOnly(dwAttributes))
        plat::SetFileAttributesA(pszPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY);
    HANDLE hFile;
    while ((hFile = plat::CreateFileA(pszPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE)
        if (!WaitToRetry(pcWaits))
            return false;
    bool fFlushed = plat::FlushFileBuffers(hFile) != FALSE;
    // Closed before the rename: a file open without FILE_SHARE_DELETE cannot be renamed.
    plat::CloseHandle(hFile);
    return fFlushed;
}

bool RenameOver(const char *pszFrom, const char *pszTo, int *pcWaits)
{
    while (!plat::MoveFileExA(pszFrom, pszTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        if (!WaitToRetry(pcWaits))
            return false;
    return true;
}

// Copies the map beside the target under a name of this process's own and
// renames it over the target only when complete and on the disk, so a
// failure at any point, or a power cut after success, leaves a whole map.
// The name is no longer than "Am01.dvp" for any real process id, so it fits
// wherever the target's path does.
bool CopyMapIntoGame(const char *pszGamePath)
{
    PathBuffer targetFile, targetFolder, tempFile;
    if (!targetFolder.Format("%s\\" MAP_FOLDER, pszGamePath) ||
        !targetFile.Format("%s\\" MAP_FILE, targetFolder.Get()) ||
        !tempFile.Format("%s\\~%lX", targetFolder.Get(),
                         static_cast<unsigned long>(plat::GetCurrentProcessId())))
        return false;

    // Usually there already.
    plat::CreateDirectoryA(targetFolder.Get(), nullptr);

    // A read-only target, which Windows and Wine 10 refuse to rename over
    // (Wine 8 does not), or a folder in its place: refused at once, as
    // waiting would not lift that denial.
    DWORD dwTarget = plat::GetFileAttributesA(targetFile.Get());
    if (dwTarget != INVALID_FILE_ATTRIBUTES && (dwTarget & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;

    // The name carries our process id, so a file by that name can only be a
    // leftover of an earlier, interrupted run.
    plat::DeleteFileA(tempFile.Get());
    int cWaits = 0;
    if (plat::CopyFileA(kszMapFile, tempFile.Get(), TRUE) && FlushToDisk(tempFile.Get(), &cWaits) &&
        RenameOver(tempFile.Get(), targetFile.Get(), &cWaits))
        return true;
    // A copy that failed half way may have left part of the file.
    plat::DeleteFileA(tempFile.Get());
    return false;
}

}

void InstallMap(const char *pszGamePath, HWND hDlg)
{
    if (CopyMapIntoGame(pszGamePath))
        ShowMessage(MSG_INSTALLED, CAPTION_INSTALLER, MB_OK | MB_ICONINFORMATION);
    else
        ShowError(MSG_COPY_FAILED);
    plat::EndDialog(hDlg, kDialogResult);
}

void OnInstall(HWND hDlg)
{
    ReadGamePath();
    if (!GameDataOpens(g_szGamePath)) {
        ShowError(MSG_NOT_INSTALLED);
        plat::EndDialog(hDlg, kDialogResult);
        return;
    }
    InstallMap(g_szGamePath, hDlg);
}
