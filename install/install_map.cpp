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

// A copy can still sit in the write cache when the rename that follows is
// recorded; after a power cut the target's name could then stand over
// incomplete data. Flushing needs write access, and CopyFileA gives the copy
// the map's attributes: a read-only map yields a copy that is made writable.
bool FlushToDisk(const char *pszPath)
{
    DWORD dwAttributes = plat::GetFileAttributesA(pszPath);
    if (IsReadOnly(dwAttributes))
        plat::SetFileAttributesA(pszPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY);
    HANDLE hFile = plat::CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    bool fFlushed = plat::FlushFileBuffers(hFile) != FALSE;
    // Closed before the rename: a file open without sharing cannot be renamed.
    plat::CloseHandle(hFile);
    return fFlushed;
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

    // Windows refuses to rename over a read-only file but Wine does not.
    if (IsReadOnly(plat::GetFileAttributesA(targetFile.Get())))
        return false;

    // The name carries our process id, so a file by that name can only be a
    // leftover of an earlier, interrupted run.
    plat::DeleteFileA(tempFile.Get());
    if (plat::CopyFileA(kszMapFile, tempFile.Get(), TRUE) && FlushToDisk(tempFile.Get()) &&
        plat::MoveFileExA(tempFile.Get(), targetFile.Get(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
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
