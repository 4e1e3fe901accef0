// Win32 only: the host tests' stand-in has its own LayOutDialog, and the
// end-to-end suite measures this one at 96, 120 and 144 DPI.
#include "dialog_layout.h"

#include <windows.h>

namespace {

// The picture was drawn for the template at 8-point "MS Sans Serif" at 96 DPI:
// 6 x 13 pixels per 4 x 8 dialog units put the buttons into its empty band.
// At a larger DPI the font grows and the template with it, the picture not.
const int kcxBase96 = 6, kcyBase96 = 13;

HFONT g_hButtonFont;

SIZE PictureSize(HWND hPicture)
{
    SIZE size = {0, 0};
    BITMAP bm;
    HBITMAP hbm = reinterpret_cast<HBITMAP>(SendMessageW(hPicture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (hbm && GetObjectW(hbm, sizeof bm, &bm)) {
        size.cx = bm.bmWidth;
        size.cy = bm.bmHeight;
    }
    return size;
}

// A rectangle of the template as laid out now, as 96 DPI would lay it out.
RECT At96Dpi(const RECT &rc, int cxBase, int cyBase)
{
    RECT out = {MulDiv(rc.left, kcxBase96, cxBase), MulDiv(rc.top, kcyBase96, cyBase),
                MulDiv(rc.right, kcxBase96, cxBase), MulDiv(rc.bottom, kcyBase96, cyBase)};
    return out;
}

// The window shrinks to the picture about its own centre, where DS_CENTER
// put it; the buttons go where 96 DPI puts them. At 96 DPI nothing moves.
void FitToPicture(HWND hDlg)
{
    HWND hPicture = GetWindow(hDlg, GW_CHILD);
    SIZE picture = PictureSize(hPicture);
    RECT rcBase = {0, 0, 4, 8};
    if (!picture.cx || !MapDialogRect(hDlg, &rcBase) || !rcBase.right || !rcBase.bottom)
        return;

    RECT rcClient, rcWindow;
    GetClientRect(hDlg, &rcClient);
    GetWindowRect(hDlg, &rcWindow);
    int cx = rcClient.right < picture.cx ? rcClient.right : picture.cx;
    int cy = rcClient.bottom < picture.cy ? rcClient.bottom : picture.cy;
    if (cx != rcClient.right || cy != rcClient.bottom) {
        int cxWindow = rcWindow.right - rcWindow.left - rcClient.right + cx;
        int cyWindow = rcWindow.bottom - rcWindow.top - rcClient.bottom + cy;
        int x = (rcWindow.left + rcWindow.right - cxWindow) / 2;
        int y = (rcWindow.top + rcWindow.bottom - cyWindow) / 2;
        SetWindowPos(hDlg, nullptr, x, y, cxWindow, cyWindow, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetWindowPos(hPicture, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (HWND hButton = GetWindow(hPicture, GW_HWNDNEXT); hButton; hButton = GetWindow(hButton, GW_HWNDNEXT)) {
        RECT rc;
        GetWindowRect(hButton, &rc);
        MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT *>(&rc), 2);
        RECT rc96 = At96Dpi(rc, rcBase.right, rcBase.bottom);
        if (!EqualRect(&rc, &rc96))
            SetWindowPos(hButton, nullptr, rc96.left, rc96.top, rc96.right - rc96.left, rc96.bottom - rc96.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Whether Windows really chose this face (any, if null) with Central
// European letters for a font.
bool HasCentralEuropean(HFONT hFont, const WCHAR *pwszFace)
{
    WCHAR wszFace[LF_FACESIZE];
    HDC hdc = GetDC(nullptr);
    HGDIOBJ hOld = SelectObject(hdc, hFont);
    bool fOk = GetTextCharset(hdc) == EASTEUROPE_CHARSET && GetTextFaceW(hdc, LF_FACESIZE, wszFace) &&
               (!pwszFace || !lstrcmpiW(wszFace, pwszFace));
    SelectObject(hdc, hOld);
    ReleaseDC(nullptr, hdc);
    return fOk;
}

HFONT CentralEuropean(LOGFONTW lf, const WCHAR *pwszFace, bool fFaceMatters)
{
    lf.lfCharSet = EASTEUROPE_CHARSET;
    lstrcpynW(lf.lfFaceName, pwszFace, LF_FACESIZE);
    HFONT hFont = CreateFontIndirectW(&lf);
    if (hFont && !HasCentralEuropean(hFont, fFaceMatters ? pwszFace : nullptr)) {
        DeleteObject(hFont);
        hFont = nullptr;
    }
    return hFont;
}

// "MS Sans Serif" is a bitmap font made per character set, and the dialog
// asks for the system's: on a Western Windows the buttons would draw "č"
// as a box. Its Central European variant, where the system has it loaded,
// draws what a Czech Windows draws. A Western Windows (and Wine) loads only
// its own variant: then Tahoma, the TrueType face of Windows' own dialogs
// since 2000, else whatever font the system has with these letters.
void UseCentralEuropeanFont(HWND hDlg)
{
    HFONT hDialogFont = reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0));
    LOGFONTW lf;
    if (!hDialogFont || HasCentralEuropean(hDialogFont, nullptr) || !GetObjectW(hDialogFont, sizeof lf, &lf))
        return;
    g_hButtonFont = CentralEuropean(lf, lf.lfFaceName, true);
    if (!g_hButtonFont)
        g_hButtonFont = CentralEuropean(lf, L"Tahoma", true);
    if (!g_hButtonFont)
        g_hButtonFont = CentralEuropean(lf, L"Tahoma", false);
    if (!g_hButtonFont)
        return;
    for (HWND hChild = GetWindow(hDlg, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
        SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(g_hButtonFont), FALSE);
}

}

void LayOutDialog(HWND hDlg)
{
    FitToPicture(hDlg);
    UseCentralEuropeanFont(hDlg);
}

void FreeDialogLayout()
{
    if (g_hButtonFont)
        DeleteObject(g_hButtonFont);
    g_hButtonFont = nullptr;
}
