/*
 * End-to-end test driver, run by Wine in the same prefix as the installer.
 * Reads a script (UTF-8, one command a line) and writes what it saw to
 * stdout (UTF-8, one line per observation):
 *
 *   echo <text>             -> "<text>", to mark where a scenario starts
 *   reg-set <folder>        HKLM\SOFTWARE\Morvane\Duneveil, Path = folder (REG_SZ)
 *   reg-key                 the key with no Path value
 *   reg-none                no key
 *   reg-raw <type> <hex>    Path = these bytes, as given, of this type (RegSetValueExA)
 *   reg-check               -> "reg unchanged" if the key/value is still as last set
 *   reg-where               -> "reg-where" and the registry views that hold the key
 *                              ("SOFTWARE", "WOW6432Node"), or "none"
 *   program <exe>           start this one from now on (the package, say)
 *   any-process             its dialog may belong to a child process
 *   temp [<folder>]         the player's TEMP and TMP for what starts next;
 *                           without a folder, the driver's own again
 *   lock <file> / unlock    hold a file open without sharing, as another program would
 *   run <cwd> [args]        start the installer there; waits for its visible dialog
 *   start <cwd> [args]      the same without waiting (a damaged package shows no dialog)
 *   click <id>              press a button (BM_CLICK)
 *   key enter|esc|tab       a key to the focused control
 *   close                   close the window from its system menu
 *   focus                   -> "focus <control id>"
 *   title                   -> "title <window title>"
 *   codepage                -> "codepage <ANSI code page>"
 *   geometry                -> "geometry screen W H work L T R B window L T R B client L T R B
 *                              style HEX static L T R B <id> L T R B ..." (client: in
 *                              screen coordinates; static and buttons: in client coordinates)
 *   box                     -> "box <caption> | <text> | icon|noicon", then dismiss it
 *   nobox <ms>              -> "nobox" or "unexpected box <caption>"
 *   alive                   -> "alive" if the dialog is still open
 *   exit                    -> "exit <code>" once the installer has ended
 *   use 1|2                 later commands address this installer (two may run at once)
 *   click-all <id>          press a button in every running installer, back to back
 *
 * For the benchmarks (<key>_ms: milliseconds, <key>_ws: peak working set in
 * bytes of the process whose window was found, then "exit <code>"):
 *   time-start <key> <cwd>  -> <key>_ms, <key>_ws: start to visible dialog; then close it
 *   time-install <key> <cwd> -> <key>_ms, <key>_ws, "box ...": Install click to result box
 *   time-copy <key> <from> <to> -> <key>_ms: a plain CopyFileA, the target deleted first
 *   del <file>              DeleteFile
 *   own-process             undoes any-process
 *
 * Usage: driver.exe <installer.exe> <script>
 */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "resource.h"

#define MSGBOX_TEXT_ID 0xFFFF
/* Emulated Wine starts slowly. */
#define WAIT_MS 180000

static const wchar_t *g_pszInstaller;
/* Up to two installers; g_pi and g_hDlg name the one addressed now. */
static PROCESS_INFORMATION g_aPi[2];
static HWND g_aDlg[2];
static int g_iCur;
#define g_pi g_aPi[g_iCur]
#define g_hDlg g_aDlg[g_iCur]
/* What reg-* stored last, for reg-check. */
static int g_nRegMode; /* 0: no key, 1: key without value, 2: value */
static BOOL g_fRegAnsi;
static DWORD g_dwRegType, g_cbReg;
static BYTE g_abReg[4096];
static HANDLE g_hLocked = INVALID_HANDLE_VALUE;
static BOOL g_fAnyProcess;
static wchar_t g_szProgram[1024];
/* The player's temporary folder as the driver found it, for "temp". */
static wchar_t g_szTemp[1024], g_szTmp[1024];

static void Say(const wchar_t *pszFormat, ...)
{
    wchar_t szWide[8192];
    char szUtf8[3 * 8192];
    va_list args;
    va_start(args, pszFormat);
    _vsnwprintf(szWide, 8191, pszFormat, args);
    va_end(args);
    szWide[8191] = 0;
    int cb = WideCharToMultiByte(CP_UTF8, 0, szWide, -1, szUtf8, sizeof szUtf8 - 1, NULL, NULL);
    if (cb <= 0)
        return;
    szUtf8[cb - 1] = '\n';
    DWORD cbWritten;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), szUtf8, cb, &cbWritten, NULL);
}

/* Escapes line breaks so one observation stays on one line. */
static void Flatten(const wchar_t *pszIn, wchar_t *pszOut, size_t cchOut)
{
    size_t i = 0;
    for (; *pszIn && i + 2 < cchOut; ++pszIn) {
        if (*pszIn == L'\n') {
            pszOut[i++] = L'\\';
            pszOut[i++] = L'n';
        } else if (*pszIn != L'\r') {
            pszOut[i++] = *pszIn;
        }
    }
    pszOut[i] = 0;
}

struct Find {
    BOOL fMain;
    HWND hFound;
};

static BOOL CALLBACK FindWindowOfInstaller(HWND hwnd, LPARAM lParam)
{
    struct Find *pFind = (struct Find *)lParam;
    DWORD dwPid = 0;
    wchar_t szClass[32];
    GetWindowThreadProcessId(hwnd, &dwPid);
    BOOL fOurs = g_fAnyProcess ? dwPid != GetCurrentProcessId() : dwPid == g_pi.dwProcessId;
    if (!fOurs || !IsWindowVisible(hwnd))
        return TRUE;
    if (!GetClassNameW(hwnd, szClass, 32) || wcscmp(szClass, L"#32770") != 0)
        return TRUE;
    BOOL fMain = GetDlgItem(hwnd, IDC_INSTALL) != NULL;
    if (fMain == pFind->fMain) {
        pFind->hFound = hwnd;
        return FALSE;
    }
    return TRUE;
}

/* Benchmarks poll every millisecond, as the interval bounds the resolution;
 * g_tMark is when the timed step began, g_tFound when its window appeared. */
static DWORD g_dwPollMs = 50;
static LARGE_INTEGER g_tMark, g_tFound;

static HWND WaitForWindow(BOOL fMain, DWORD dwMs)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        struct Find find = {fMain, NULL};
        EnumWindows(FindWindowOfInstaller, (LPARAM)&find);
        if (find.hFound) {
            QueryPerformanceCounter(&g_tFound);
            return find.hFound;
        }
        if (GetTickCount() - dwStart >= dwMs ||
            WaitForSingleObject(g_pi.hProcess, 0) == WAIT_OBJECT_0)
            return NULL;
        Sleep(g_dwPollMs);
    }
}

static BOOL CALLBACK FindIcon(HWND hwnd, LPARAM lParam)
{
    wchar_t szClass[32];
    if (GetClassNameW(hwnd, szClass, 32) && !_wcsicmp(szClass, L"Static") && IsWindowVisible(hwnd) &&
        (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(hwnd, STM_GETICON, 0, 0)) {
        *(BOOL *)lParam = TRUE;
        return FALSE;
    }
    return TRUE;
}

static void ReadBox(HWND hBox)
{
    wchar_t szCaption[256], szText[4096], szFlat[8192];
    BOOL fIcon = FALSE;
    /* The box can be visible a moment before its text is set. */
    for (int i = 0; i < 500 && !GetDlgItemTextW(hBox, MSGBOX_TEXT_ID, szText, 4096); ++i)
        Sleep(10);
    GetWindowTextW(hBox, szCaption, 256);
    Flatten(szText, szFlat, 8192);
    EnumChildWindows(hBox, FindIcon, (LPARAM)&fIcon);
    Say(L"box %ls | %ls | %ls", szCaption, szFlat, fIcon ? L"icon" : L"noicon");
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    /* Wait for it to go, so the next command sees the next window. */
    for (int i = 0; i < 2000 && IsWindow(hBox) && IsWindowVisible(hBox); ++i)
        Sleep(10);
}

static HWND Focused(void)
{
    GUITHREADINFO gti;
    memset(&gti, 0, sizeof gti);
    gti.cbSize = sizeof gti;
    DWORD dwThread = GetWindowThreadProcessId(g_hDlg, NULL);
    return GetGUIThreadInfo(dwThread, &gti) ? gti.hwndFocus : NULL;
}

static void PostKey(WORD wVk)
{
    HWND hFocus = Focused();
    HWND hTarget = hFocus ? hFocus : g_hDlg;
    UINT uScan = MapVirtualKeyW(wVk, 0);
    PostMessageW(hTarget, WM_KEYDOWN, wVk, 1 | (uScan << 16));
    if (wVk == VK_RETURN || wVk == VK_ESCAPE || wVk == VK_TAB)
        PostMessageW(hTarget, WM_CHAR, wVk == VK_RETURN ? L'\r' : wVk == VK_ESCAPE ? 27 : L'\t',
                     1 | (uScan << 16));
    PostMessageW(hTarget, WM_KEYUP, wVk, 1 | (uScan << 16) | 0xC0000000u);
}

/* Lets the installer handle what was posted before the next look. */
static void Settle(void)
{
    if (g_pi.hProcess)
        WaitForInputIdle(g_pi.hProcess, 2000);
    Sleep(300);
}

static void SetRegistry(const wchar_t *pszMode, const wchar_t *pszFolder)
{
    const wchar_t *pszKey = L"SOFTWARE\\Morvane\\Duneveil";
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, pszKey);
    g_nRegMode = 0;
    if (!wcscmp(pszMode, L"reg-none"))
        return;
    HKEY hKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL)) {
        Say(L"error: cannot create the registry key");
        return;
    }
    g_nRegMode = 1;
    if (!wcscmp(pszMode, L"reg-set")) {
        g_fRegAnsi = FALSE;
        g_dwRegType = REG_SZ;
        g_cbReg = (DWORD)((wcslen(pszFolder) + 1) * sizeof(wchar_t));
        memcpy(g_abReg, pszFolder, g_cbReg);
        RegSetValueExW(hKey, L"Path", 0, REG_SZ, g_abReg, g_cbReg);
        g_nRegMode = 2;
    } else if (!wcscmp(pszMode, L"reg-raw")) {
        /* "<type> <hex bytes>": the bytes exactly, no NUL added. */
        wchar_t *pszHex = NULL;
        g_fRegAnsi = TRUE;
        g_dwRegType = wcstoul(pszFolder, &pszHex, 10);
        for (g_cbReg = 0; pszHex && pszHex[0] == L' ';)
            ++pszHex;
        while (pszHex && iswxdigit(pszHex[0]) && iswxdigit(pszHex[1]) && g_cbReg < sizeof g_abReg) {
            wchar_t sz[3] = {pszHex[0], pszHex[1], 0};
            g_abReg[g_cbReg++] = (BYTE)wcstoul(sz, NULL, 16);
            pszHex += 2;
        }
        if (RegSetValueExA(hKey, "Path", 0, g_dwRegType, g_abReg, g_cbReg))
            Say(L"error: cannot set the raw value");
        g_nRegMode = 2;
    }
    RegCloseKey(hKey);
}

/* The installer only reads the key: it must be as the script left it. */
static void CheckRegistry(void)
{
    HKEY hKey;
    BYTE ab[4096];
    DWORD dwType = 0, cb = sizeof ab;
    LONG l = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Morvane\\Duneveil", 0, KEY_QUERY_VALUE, &hKey);
    BOOL fSame;
    if (l != ERROR_SUCCESS) {
        fSame = g_nRegMode == 0;
    } else {
        l = g_fRegAnsi ? RegQueryValueExA(hKey, "Path", NULL, &dwType, ab, &cb)
                       : RegQueryValueExW(hKey, L"Path", NULL, &dwType, ab, &cb);
        RegCloseKey(hKey);
        fSame = g_nRegMode == 1 ? l == ERROR_FILE_NOT_FOUND
                                : g_nRegMode == 2 && l == ERROR_SUCCESS && dwType == g_dwRegType &&
                                      cb == g_cbReg && !memcmp(ab, g_abReg, cb);
    }
    Say(fSame ? L"reg unchanged" : L"reg changed");
}

/* Which views hold the key: a 32-bit setup on 64-bit Windows writes it
   under WOW6432Node, and the 32-bit installer must find it there. */
static BOOL KeyIn64BitView(const wchar_t *pszKey)
{
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey))
        return FALSE;
    RegCloseKey(hKey);
    return TRUE;
}

static void WhereIsRegistry(void)
{
    BOOL fSoftware = KeyIn64BitView(L"SOFTWARE\\Morvane\\Duneveil");
    BOOL fWow = KeyIn64BitView(L"SOFTWARE\\WOW6432Node\\Morvane\\Duneveil");
    Say(L"reg-where%ls%ls%ls", fSoftware ? L" SOFTWARE" : L"", fWow ? L" WOW6432Node" : L"",
        fSoftware || fWow ? L"" : L" none");
}

static void AddRect(wchar_t *psz, size_t cch, const wchar_t *pszName, const RECT *prc)
{
    size_t n = wcslen(psz);
    _snwprintf(psz + n, cch - n - 1, L" %ls %ld %ld %ld %ld", pszName, prc->left, prc->top, prc->right,
               prc->bottom);
    psz[cch - 1] = 0;
}

static BOOL CALLBACK AddControlRect(HWND hwnd, LPARAM lParam)
{
    wchar_t szClass[32], szName[16];
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(NULL, g_hDlg, (POINT *)&rc, 2);
    if (GetClassNameW(hwnd, szClass, 32) && !_wcsicmp(szClass, L"Static"))
        wcscpy(szName, L"static");
    else
        _snwprintf(szName, 15, L"%d", GetDlgCtrlID(hwnd));
    szName[15] = 0;
    AddRect((wchar_t *)lParam, 2048, szName, &rc);
    return TRUE;
}

/* The dialog as the platform laid it out, from the real window. */
static void Geometry(void)
{
    wchar_t sz[2048];
    RECT rcWork, rcWindow, rcClient;
    POINT ptOrigin = {0, 0};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    GetWindowRect(g_hDlg, &rcWindow);
    GetClientRect(g_hDlg, &rcClient);
    ClientToScreen(g_hDlg, &ptOrigin);
    OffsetRect(&rcClient, ptOrigin.x, ptOrigin.y);
    _snwprintf(sz, 2047, L"geometry screen %d %d", GetSystemMetrics(SM_CXSCREEN),
               GetSystemMetrics(SM_CYSCREEN));
    AddRect(sz, 2048, L"work", &rcWork);
    AddRect(sz, 2048, L"window", &rcWindow);
    AddRect(sz, 2048, L"client", &rcClient);
    size_t n = wcslen(sz);
    _snwprintf(sz + n, 2047 - n, L" style %08lX", (unsigned long)GetWindowLongW(g_hDlg, GWL_STYLE));
    sz[2047] = 0;
    EnumChildWindows(g_hDlg, AddControlRect, (LPARAM)sz);
    Say(L"%ls", sz);
}

static void Run(wchar_t *pszArgs, BOOL fWait)
{
    wchar_t szCwd[1024], szCmd[2048];
    const wchar_t *pszRest = L"";
    wchar_t *pszSpace = wcschr(pszArgs, L' ');
    if (pszSpace) {
        *pszSpace = 0;
        pszRest = pszSpace + 1;
    }
    wcsncpy(szCwd, pszArgs, 1023);
    szCwd[1023] = 0;
    _snwprintf(szCmd, 2047, L"\"%ls\" %ls", g_pszInstaller, pszRest);
    szCmd[2047] = 0;
    STARTUPINFOW si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessW(NULL, szCmd, NULL, NULL, FALSE, 0, NULL, szCwd, &si, &g_pi)) {
        Say(L"error: cannot start the installer (%lu)", GetLastError());
        return;
    }
    if (!fWait)
        return;
    g_hDlg = WaitForWindow(TRUE, WAIT_MS);
    if (!g_hDlg)
        Say(L"error: no dialog");
}

static void Exit(void)
{
    DWORD dwCode = 0;
    if (!g_pi.hProcess)
        return;
    if (WaitForSingleObject(g_pi.hProcess, WAIT_MS) != WAIT_OBJECT_0) {
        Say(L"error: still running");
        TerminateProcess(g_pi.hProcess, 99);
        WaitForSingleObject(g_pi.hProcess, 5000);
    }
    GetExitCodeProcess(g_pi.hProcess, &dwCode);
    CloseHandle(g_pi.hProcess);
    CloseHandle(g_pi.hThread);
    memset(&g_pi, 0, sizeof g_pi);
    g_hDlg = NULL;
    Say(L"exit %lu", dwCode);
}

/* Peak working set of the process that owns hwnd (the package's child, say). */
static double PeakWorkingSet(HWND hwnd)
{
    DWORD dwPid = 0;
    PROCESS_MEMORY_COUNTERS pmc;
    GetWindowThreadProcessId(hwnd, &dwPid);
    HANDLE hProcess = dwPid == g_pi.dwProcessId ? g_pi.hProcess
        : OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwPid);
    memset(&pmc, 0, sizeof pmc);
    pmc.cb = sizeof pmc;
    BOOL fOk = hProcess && GetProcessMemoryInfo(hProcess, &pmc, sizeof pmc);
    if (hProcess && hProcess != g_pi.hProcess)
        CloseHandle(hProcess);
    return fOk ? (double)pmc.PeakWorkingSetSize : -1;
}

static void SayTime(const wchar_t *pszKey, HWND hwnd)
{
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    Say(L"%ls_ms %.3f", pszKey, (double)(g_tFound.QuadPart - g_tMark.QuadPart) * 1000.0 / (double)freq.QuadPart);
    if (hwnd)
        Say(L"%ls_ws %.0f", pszKey, PeakWorkingSet(hwnd));
}

/* "<key> <rest>": the key, and the rest in *ppszRest. */
static wchar_t *SplitKey(wchar_t *pszArgs, wchar_t **ppszRest)
{
    wchar_t *pszSpace = wcschr(pszArgs, L' ');
    *ppszRest = pszSpace ? pszSpace + 1 : L"";
    if (pszSpace)
        *pszSpace = 0;
    return pszArgs;
}

static void TimeStart(wchar_t *pszArgs)
{
    wchar_t *pszCwd, *pszKey = SplitKey(pszArgs, &pszCwd);
    g_dwPollMs = 1;
    QueryPerformanceCounter(&g_tMark);
    Run(pszCwd, TRUE);
    g_dwPollMs = 50;
    if (g_hDlg) {
        SayTime(pszKey, g_hDlg);
        /* Closed the way a player would: the system menu's Close. */
        PostMessageW(g_hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    Exit();
}

static void TimeInstall(wchar_t *pszArgs)
{
    wchar_t *pszCwd, *pszKey = SplitKey(pszArgs, &pszCwd);
    Run(pszCwd, TRUE);
    if (g_hDlg) {
        WaitForInputIdle(g_pi.hProcess, 5000);
        g_dwPollMs = 1;
        QueryPerformanceCounter(&g_tMark);
        PostMessageW(GetDlgItem(g_hDlg, IDC_INSTALL), BM_CLICK, 0, 0);
        HWND hBox = WaitForWindow(FALSE, WAIT_MS);
        g_dwPollMs = 50;
        if (hBox) {
            SayTime(pszKey, hBox);
            ReadBox(hBox);
        } else {
            Say(L"error: no message box");
        }
    }
    Exit();
}

static void TimeCopy(wchar_t *pszArgs)
{
    wchar_t *pszRest, *pszKey = SplitKey(pszArgs, &pszRest);
    wchar_t *pszTo, *pszFrom = SplitKey(pszRest, &pszTo);
    DeleteFileW(pszTo);
    QueryPerformanceCounter(&g_tMark);
    BOOL fCopied = CopyFileW(pszFrom, pszTo, FALSE);
    QueryPerformanceCounter(&g_tFound);
    if (fCopied)
        SayTime(pszKey, NULL);
    else
        Say(L"error: %ls: CopyFile failed (%lu)", pszKey, GetLastError());
}

static void Command(wchar_t *pszLine)
{
    wchar_t *pszArg = wcschr(pszLine, L' ');
    if (pszArg)
        *pszArg++ = 0;
    else
        pszArg = L"";

    if (!wcscmp(pszLine, L"echo")) {
        Say(L"%ls", pszArg);
    } else if (!wcscmp(pszLine, L"reg-where")) {
        WhereIsRegistry();
    } else if (!wcsncmp(pszLine, L"reg-", 4) && wcscmp(pszLine, L"reg-check")) {
        SetRegistry(pszLine, pszArg);
    } else if (!wcscmp(pszLine, L"program")) {
        wcsncpy(g_szProgram, pszArg, 1023);
        g_pszInstaller = g_szProgram;
    } else if (!wcscmp(pszLine, L"any-process") || !wcscmp(pszLine, L"own-process")) {
        g_fAnyProcess = !wcscmp(pszLine, L"any-process");
    } else if (!wcscmp(pszLine, L"temp")) {
        SetEnvironmentVariableW(L"TEMP", *pszArg ? pszArg : g_szTemp[0] ? g_szTemp : NULL);
        SetEnvironmentVariableW(L"TMP", *pszArg ? pszArg : g_szTmp[0] ? g_szTmp : NULL);
    } else if (!wcscmp(pszLine, L"lock")) {
        g_hLocked = CreateFileW(pszArg, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (g_hLocked == INVALID_HANDLE_VALUE)
            Say(L"error: cannot lock %ls", pszArg);
    } else if (!wcscmp(pszLine, L"unlock")) {
        CloseHandle(g_hLocked);
        g_hLocked = INVALID_HANDLE_VALUE;
    } else if (!wcscmp(pszLine, L"run") || !wcscmp(pszLine, L"start")) {
        Run(pszArg, !wcscmp(pszLine, L"run"));
    } else if (!wcscmp(pszLine, L"click")) {
        PostMessageW(GetDlgItem(g_hDlg, _wtoi(pszArg)), BM_CLICK, 0, 0);
        Settle();
    } else if (!wcscmp(pszLine, L"key")) {
        PostKey(!wcscmp(pszArg, L"enter") ? VK_RETURN : !wcscmp(pszArg, L"esc") ? VK_ESCAPE : VK_TAB);
        Settle();
    } else if (!wcscmp(pszLine, L"close")) {
        PostMessageW(g_hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        Settle();
    } else if (!wcscmp(pszLine, L"focus")) {
        HWND hFocus = Focused();
        Say(L"focus %d", hFocus ? GetDlgCtrlID(hFocus) : -1);
    } else if (!wcscmp(pszLine, L"title")) {
        wchar_t szTitle[256];
        GetWindowTextW(g_hDlg, szTitle, 256);
        Say(L"title %ls", szTitle);
    } else if (!wcscmp(pszLine, L"codepage")) {
        Say(L"codepage %u", GetACP());
    } else if (!wcscmp(pszLine, L"geometry")) {
        Geometry();
    } else if (!wcscmp(pszLine, L"box")) {
        HWND hBox = WaitForWindow(FALSE, WAIT_MS);
        if (hBox)
            ReadBox(hBox);
        else
            Say(L"error: no message box");
    } else if (!wcscmp(pszLine, L"nobox")) {
        HWND hBox = WaitForWindow(FALSE, (DWORD)_wtoi(pszArg));
        wchar_t szCaption[256] = L"";
        if (hBox)
            GetWindowTextW(hBox, szCaption, 256);
        if (hBox)
            Say(L"unexpected box %ls", szCaption);
        else
            Say(L"nobox");
    } else if (!wcscmp(pszLine, L"alive")) {
        if (g_hDlg && IsWindow(g_hDlg) && IsWindowVisible(g_hDlg) &&
            WaitForSingleObject(g_pi.hProcess, 0) == WAIT_TIMEOUT)
            Say(L"alive");
        else
            Say(L"gone");
    } else if (!wcscmp(pszLine, L"exit")) {
        Exit();
    } else if (!wcscmp(pszLine, L"reg-check")) {
        CheckRegistry();
    } else if (!wcscmp(pszLine, L"use")) {
        g_iCur = _wtoi(pszArg) == 2;
    } else if (!wcscmp(pszLine, L"time-start")) {
        TimeStart(pszArg);
    } else if (!wcscmp(pszLine, L"time-install")) {
        TimeInstall(pszArg);
    } else if (!wcscmp(pszLine, L"time-copy")) {
        TimeCopy(pszArg);
    } else if (!wcscmp(pszLine, L"del")) {
        DeleteFileW(pszArg);
    } else if (!wcscmp(pszLine, L"click-all")) {
        /* Both clicks first, then the wait: the two copies overlap. */
        for (int i = 0; i < 2; ++i)
            if (g_aDlg[i])
                PostMessageW(GetDlgItem(g_aDlg[i], _wtoi(pszArg)), BM_CLICK, 0, 0);
        Settle();
    } else if (*pszLine && *pszLine != L'#') {
        Say(L"error: unknown command %ls", pszLine);
    }
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        Say(L"usage: driver.exe <installer.exe> <script>");
        return 2;
    }
    g_pszInstaller = argv[1];
    GetEnvironmentVariableW(L"TEMP", g_szTemp, 1024);
    GetEnvironmentVariableW(L"TMP", g_szTmp, 1024);
    FILE *pf = _wfopen(argv[2], L"rb");
    if (!pf) {
        Say(L"error: cannot read %ls", argv[2]);
        return 2;
    }
    char szLine[4096];
    wchar_t szWide[4096];
    while (fgets(szLine, sizeof szLine, pf)) {
        szLine[strcspn(szLine, "\r\n")] = 0;
        if (!MultiByteToWideChar(CP_UTF8, 0, szLine, -1, szWide, 4096))
            continue;
        Command(szWide);
    }
    fclose(pf);
    for (g_iCur = 0; g_iCur < 2; ++g_iCur)
        if (g_pi.hProcess) {
            Say(L"error: installer left running");
            TerminateProcess(g_pi.hProcess, 99);
        }
    return 0;
}
