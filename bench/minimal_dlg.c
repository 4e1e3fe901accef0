/*
 * The benchmarks' baselines: the smallest dialog program a map author could
 * write by hand, built like the installer. It starts to a dialog (start-up
 * and memory) and, on Install, reads the game folder, installs the map and
 * shows the same result box: plainly (delete, CopyFileA) or, with DURABLE
 * (minimal_durable.exe), copied beside the target, flushed and renamed as
 * the installer does. In-memory template; Esc and Close end it as IDCANCEL
 * (the dialog manager's default).
 */
#include <windows.h>
#include <stdio.h>

#include "game_files.h"
#include "messages.h"
#include "resource.h"

static BOOL CopyMap(const char *pszGame, const char *pszTarget)
{
#ifdef DURABLE
    /* A copy beside the target, flushed to the disk and renamed over it. */
    char szTemp[300];
    snprintf(szTemp, sizeof szTemp, "%s\\" MAP_FOLDER "\\~%lX", pszGame, GetCurrentProcessId());
    if (!CopyFileA(MAP_FILE, szTemp, FALSE))
        return FALSE;
    HANDLE hFile = CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL fFlushed = FlushFileBuffers(hFile);
    CloseHandle(hFile);
    return fFlushed && MoveFileExA(szTemp, pszTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    (void)pszGame;
    DeleteFileA(pszTarget);
    return CopyFileA(MAP_FILE, pszTarget, TRUE);
#endif
}

static void Install(HWND hDlg)
{
    char szGame[256] = "", szTarget[300];
    DWORD cb = sizeof szGame - 1;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, GAME_KEY, 0, KEY_QUERY_VALUE, &hKey) == 0) {
        RegQueryValueExA(hKey, GAME_PATH_VALUE, NULL, NULL, (BYTE *)szGame, &cb);
        RegCloseKey(hKey);
    }
    snprintf(szTarget, sizeof szTarget, "%s\\" MAP_FOLDER "\\" MAP_FILE, szGame);
    if (CopyMap(szGame, szTarget))
        MessageBoxA(NULL, MSG_INSTALLED, CAPTION_INSTALLER, MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(NULL, MSG_COPY_FAILED, CAPTION_ERROR, MB_OK | MB_ICONERROR);
    EndDialog(hDlg, 0);
}

static INT_PTR CALLBACK DlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (uMsg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_INSTALL)
            Install(hDlg);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(hDlg, 0);
        return TRUE;
    }
    return FALSE;
}

/* DLGTEMPLATE + its DLGITEMTEMPLATEs, DWORD aligned, all strings UTF-16, in
 * a static buffer: what is not written is 0. */
static WORD *Put(WORD *p, const wchar_t *psz)
{
    wcscpy((wchar_t *)p, psz);
    return p + wcslen(psz) + 1;
}

static WORD *Item(WORD *p, DWORD dwStyle, short x, short y, short cx, WORD wId, WORD wClass,
                  const wchar_t *pszText)
{
    DLGITEMTEMPLATE *pItem = (DLGITEMTEMPLATE *)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
    *pItem = (DLGITEMTEMPLATE){WS_CHILD | WS_VISIBLE | dwStyle, 0, x, y, cx, 14, wId};
    p = (WORD *)(pItem + 1);
    *p++ = 0xFFFF;
    *p++ = wClass;
    return Put(p, pszText) + 1;     /* no creation data */
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrev, LPSTR pszCmd, int nShow)
{
    static DWORD adwBuf[128];
    (void)hPrev, (void)pszCmd, (void)nShow;
    DLGTEMPLATE *pDlg = (DLGTEMPLATE *)adwBuf;
    *pDlg = (DLGTEMPLATE){.style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                          .cdit = 2, .cx = 160, .cy = 40};
    WORD *p = Put((WORD *)(pDlg + 1) + 2, L"Minimal"); /* no menu, default class; the caption */
    p = Item(p, SS_LEFT, 10, 12, 60, (WORD)-1, 0x0082 /* Static */, L"Ahoj");
    Item(p, WS_TABSTOP | BS_DEFPUSHBUTTON, 90, 10, 60, IDC_INSTALL, 0x0080 /* Button */, L"Instalovat");
    return (int)DialogBoxIndirectParamW(hInst, pDlg, NULL, DlgProc, 0);
}
