/*
 * The baseline for the start-up and memory benchmarks: the smallest dialog
 * program, built like instalator.exe (-static -s -mwindows, -Os), so that
 * "installer vs minimal" shows what the installer itself adds on top of
 * what any dialog costs (Wine/emulation, user32, the C runtime).
 * One static text in an in-memory template; closes on Esc/WM_CLOSE.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static INT_PTR CALLBACK DlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (uMsg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(hDlg, 0);
        return TRUE;
    case WM_CLOSE:
        EndDialog(hDlg, 0);
        return TRUE;
    }
    return FALSE;
}

/* DLGTEMPLATE + one DLGITEMTEMPLATE, DWORD aligned, all strings UTF-16. */
static WORD *Put(WORD *p, const wchar_t *psz)
{
    do
        *p++ = (WORD)*psz;
    while (*psz++);
    return p;
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrev, LPSTR pszCmd, int nShow)
{
    static DWORD adwBuf[128];
    (void)hPrev, (void)pszCmd, (void)nShow;
    DLGTEMPLATE *pDlg = (DLGTEMPLATE *)adwBuf;
    pDlg->style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    pDlg->cdit = 1;
    pDlg->cx = 160;
    pDlg->cy = 40;
    WORD *p = (WORD *)(pDlg + 1);
    *p++ = 0;                       /* no menu */
    *p++ = 0;                       /* default class */
    p = Put(p, L"Minimal");         /* caption */
    p = (WORD *)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
    DLGITEMTEMPLATE *pItem = (DLGITEMTEMPLATE *)p;
    pItem->style = WS_CHILD | WS_VISIBLE | SS_LEFT;
    pItem->x = 10;
    pItem->y = 10;
    pItem->cx = 140;
    pItem->cy = 12;
    pItem->id = (WORD)-1;
    p = (WORD *)(pItem + 1);
    *p++ = 0xFFFF;
    *p++ = 0x0082;                  /* Static */
    p = Put(p, L"Ahoj");
    *p++ = 0;                       /* no creation data */
    return (int)DialogBoxIndirectParamW(hInst, pDlg, NULL, DlgProc, 0);
}
