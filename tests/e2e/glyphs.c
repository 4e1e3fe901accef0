/*
 * Loaded into the installer by the driver's hook ("glyphs" in driver.c): a
 * font belongs to the process that made it, so only there can the letters
 * of a control's text be looked up in the font the control draws with.
 * Writes "<face> <charset> missing <n>" into the driver's shared memory.
 */
#include <windows.h>
#include <stdio.h>

#include "glyphs.h"

static void Report(HWND hwnd)
{
    wchar_t szText[256] = L"", szFace[LF_FACESIZE] = L"";
    WORD aw[256];
    int n = 0, cch = GetWindowTextW(hwnd, szText, 256);
    HANDLE hMap = OpenFileMappingW(FILE_MAP_WRITE, FALSE, GLYPHS_MAPPING);
    wchar_t *pszOut = hMap ? MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, GLYPHS_CB) : NULL;
    HDC hdc = GetDC(hwnd);
    HGDIOBJ hOld = SelectObject(hdc, (HFONT)SendMessageW(hwnd, WM_GETFONT, 0, 0));
    GetTextFaceW(hdc, LF_FACESIZE, szFace);
    if (GetGlyphIndicesW(hdc, szText, cch, aw, GGI_MARK_NONEXISTING_GLYPHS) == (DWORD)cch)
        for (int i = 0; i < cch; ++i)
            n += aw[i] == 0xFFFF;
    else
        n = -1;
    if (pszOut)
        _snwprintf(pszOut, GLYPHS_CB / sizeof(wchar_t) - 1, L"%ls %d missing %d", szFace, GetTextCharset(hdc), n);
    SelectObject(hdc, hOld);
    ReleaseDC(hwnd, hdc);
    if (pszOut)
        UnmapViewOfFile(pszOut);
    if (hMap)
        CloseHandle(hMap);
}

__declspec(dllexport) LRESULT CALLBACK GlyphsHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *p = (const CWPSTRUCT *)lParam;
    if (nCode == HC_ACTION && p->message == RegisterWindowMessageW(GLYPHS_MESSAGE))
        Report(p->hwnd);
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}
