/*
 * End-to-end test driver, run by Wine in the same prefix as the installer.
 * Reads a script (UTF-8, one command a line, its argument the rest of the
 * line; empty lines and lines starting with # skipped) and writes what it
 * saw to stdout (UTF-8, one line per observation). The commands, what they
 * take and what they write: g_aCommands, at the end.
 */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "game_files.h"
#include "glyphs.h"
#include "resource.h"

#define MSGBOX_TEXT_ID 0xFFFF
/* Emulated Wine starts slowly. */
#define WAIT_MS 180000

/* Up to two installers at once; "use" picks the one later commands address. */
static struct Installer {
    PROCESS_INFORMATION pi;
    HWND hDlg;
} g_aInst[2], *g_pInst = g_aInst;
/* The game's key as read: the last reg-* command's, for reg-check. */
static struct RegState {
    LONG lKey, lValue;
    DWORD dwType, cb;
    BYTE ab[4096];
} g_regKept;
static BOOL g_fAnyProcess;
/* Which of its commands called a function that serves several: g_aCommands's n. */
static int g_nVariant;
static wchar_t g_szInstaller[1024];
/* The player's temporary folder as the driver found it, for "temp". */
static wchar_t g_szTemp[1024], g_szTmp[1024];

/* One observation a line: line breaks in it are escaped. */
static void Say(const wchar_t *pszFormat, ...)
{
    wchar_t szWide[8192] = L"", szFlat[2 * 8192];
    char szUtf8[3 * 2 * 8192];
    int cch = 0;
    va_list args;
    va_start(args, pszFormat);
    _vsnwprintf(szWide, 8191, pszFormat, args);
    va_end(args);
    for (const wchar_t *p = szWide; *p; ++p) {
        if (*p == L'\n')
            szFlat[cch++] = L'\\';
        if (*p != L'\r')
            szFlat[cch++] = *p == L'\n' ? L'n' : *p;
    }
    szFlat[cch++] = L'\n';
    int cb = WideCharToMultiByte(CP_UTF8, 0, szFlat, cch, szUtf8, sizeof szUtf8, NULL, NULL);
    DWORD cbWritten;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), szUtf8, cb, &cbWritten, NULL);
}

/* The benchmarks poll every millisecond, as the interval bounds their
 * resolution, and take the time from the timed step's start to the window. */
static DWORD g_dwPollMs = 50;
static LARGE_INTEGER g_tMark, g_tFound;

/* The installer's visible dialog: its main one (fMain), or another, a box. */
static HWND WaitForWindow(BOOL fMain, DWORD dwMs)
{
    DWORD dwStart = GetTickCount(), dwPid;
    for (;;) {
        for (HWND hwnd = NULL; (hwnd = FindWindowExW(NULL, hwnd, L"#32770", NULL));) {
            GetWindowThreadProcessId(hwnd, &dwPid);
            if ((g_fAnyProcess ? dwPid != GetCurrentProcessId() : dwPid == g_pInst->pi.dwProcessId) &&
                IsWindowVisible(hwnd) && (GetDlgItem(hwnd, IDC_INSTALL) != NULL) == fMain) {
                QueryPerformanceCounter(&g_tFound);
                return hwnd;
            }
        }
        if (GetTickCount() - dwStart >= dwMs ||
            WaitForSingleObject(g_pInst->pi.hProcess, 0) == WAIT_OBJECT_0)
            return NULL;
        Sleep(g_dwPollMs);
    }
}

/* With hwnd, also the peak working set of the process that owns it (the package's child, say). */
static void SayTime(const wchar_t *pszKey, HWND hwnd)
{
    LARGE_INTEGER freq;
    DWORD dwPid = 0;
    PROCESS_MEMORY_COUNTERS pmc = {.cb = sizeof pmc};
    QueryPerformanceFrequency(&freq);
    Say(L"%ls_ms %.3f", pszKey, (double)(g_tFound.QuadPart - g_tMark.QuadPart) * 1000.0 / (double)freq.QuadPart);
    if (!hwnd)
        return;
    GetWindowThreadProcessId(hwnd, &dwPid);
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwPid);
    BOOL fOk = hProcess && GetProcessMemoryInfo(hProcess, &pmc, sizeof pmc);
    if (hProcess)
        CloseHandle(hProcess);
    Say(L"%ls_ws %.0f", pszKey, fOk ? (double)pmc.PeakWorkingSetSize : -1.0);
}

/* With a key (time-install's), the time to the box first. */
static void Box(wchar_t *pszKey)
{
    wchar_t szCaption[256], szText[4096];
    BOOL fIcon = FALSE;
    HWND hBox = WaitForWindow(FALSE, WAIT_MS);
    if (!hBox) {
        Say(L"error: no message box");
        return;
    }
    if (*pszKey)
        SayTime(pszKey, hBox);
    /* The box can be visible a moment before its text is set. */
    for (int i = 0; i < 500 && !GetDlgItemTextW(hBox, MSGBOX_TEXT_ID, szText, 4096); ++i)
        Sleep(10);
    GetWindowTextW(hBox, szCaption, 256);
    for (HWND hwnd = NULL; (hwnd = FindWindowExW(hBox, hwnd, L"Static", NULL));)
        fIcon |= IsWindowVisible(hwnd) && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                 SendMessageW(hwnd, STM_GETICON, 0, 0);
    Say(L"box %ls | %ls | %ls", szCaption, szText, fIcon ? L"icon" : L"noicon");
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    /* Wait for it to go, so the next command sees the next window. */
    for (int i = 0; i < 2000 && IsWindow(hBox) && IsWindowVisible(hBox); ++i)
        Sleep(10);
}

static HWND Focused(void)
{
    GUITHREADINFO gti = {.cbSize = sizeof gti};
    return GetGUIThreadInfo(GetWindowThreadProcessId(g_pInst->hDlg, NULL), &gti) ? gti.hwndFocus : NULL;
}

/* Lets the installer handle what was posted before the next look. */
static void Settle(void)
{
    WaitForInputIdle(g_pInst->pi.hProcess, 2000);
    Sleep(300);
}

static void Key(wchar_t *pszKey)
{
    WORD wVk = !wcscmp(pszKey, L"enter") ? VK_RETURN : !wcscmp(pszKey, L"esc") ? VK_ESCAPE : VK_TAB;
    HWND hFocus = Focused();
    HWND hTarget = hFocus ? hFocus : g_pInst->hDlg;
    UINT uScan = MapVirtualKeyW(wVk, 0);
    PostMessageW(hTarget, WM_KEYDOWN, wVk, 1 | (uScan << 16));
    PostMessageW(hTarget, WM_CHAR, wVk == VK_RETURN ? L'\r' : wVk == VK_ESCAPE ? 27 : L'\t', 1 | (uScan << 16));
    PostMessageW(hTarget, WM_KEYUP, wVk, 1 | (uScan << 16) | 0xC0000000u);
    Settle();
}

static void ReadRegistry(struct RegState *p)
{
    HKEY hKey;
    *p = (struct RegState){.cb = sizeof p->ab};
    p->lKey = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"" GAME_KEY, 0, KEY_QUERY_VALUE, &hKey);
    if (p->lKey == ERROR_SUCCESS) {
        p->lValue = RegQueryValueExW(hKey, L"" GAME_PATH_VALUE, NULL, &p->dwType, p->ab, &p->cb);
        RegCloseKey(hKey);
    }
}

/* The key afresh (g_nVariant: 0 none, 1 a REG_SZ folder, 2 raw bytes), then
   kept as reg-check must find it. */
static void SetKey(wchar_t *pszArg)
{
    HKEY hKey;
    BYTE ab[4096];
    DWORD cb = 0, dwType = g_nVariant == 2 ? wcstoul(pszArg, &pszArg, 10) : REG_SZ;
    unsigned u;
    int cch;
    for (; g_nVariant == 2 && cb < sizeof ab && swscanf(pszArg, L"%2x%n", &u, &cch) == 1; pszArg += cch)
        ab[cb++] = (BYTE)u;
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"" GAME_KEY);
    if (g_nVariant && RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"" GAME_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL))
        Say(L"error: cannot create the registry key");
    else if (g_nVariant) {
        if (g_nVariant == 2 && RegSetValueExA(hKey, GAME_PATH_VALUE, 0, dwType, ab, cb))
            Say(L"error: cannot set the raw value");
        else if (g_nVariant == 1 && *pszArg)
            RegSetValueExW(hKey, L"" GAME_PATH_VALUE, 0, REG_SZ, (const BYTE *)pszArg,
                           (DWORD)((wcslen(pszArg) + 1) * sizeof(wchar_t)));
        RegCloseKey(hKey);
    }
    ReadRegistry(&g_regKept);
}

static void CheckRegistry(wchar_t *)
{
    struct RegState now;
    ReadRegistry(&now);
    Say(memcmp(&now, &g_regKept, sizeof now) ? L"reg changed" : L"reg unchanged");
}

static void WhereIsRegistry(wchar_t *)
{
    static const wchar_t *apszKey[] = {L"" GAME_KEY, L"SOFTWARE\\WOW6432Node\\" GAME_SUBKEY};
    wchar_t sz[64] = L"reg-where";
    HKEY hKey;
    for (int i = 0; i < 2; ++i)
        if (!RegOpenKeyExW(HKEY_LOCAL_MACHINE, apszKey[i], 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey)) {
            RegCloseKey(hKey);
            wcscat(sz, i ? L" WOW6432Node" : L" SOFTWARE");
        }
    Say(L"%ls", sz[9] ? sz : L"reg-where none");
}

/* The geometry line; its last character stays 0. */
static wchar_t g_szGeometry[2048];

static void AddRect(const wchar_t *pszName, const RECT *prc)
{
    size_t n = wcslen(g_szGeometry);
    _snwprintf(g_szGeometry + n, 2047 - n, L" %ls %ld %ld %ld %ld", pszName, prc->left, prc->top, prc->right,
               prc->bottom);
}

static void Geometry(wchar_t *)
{
    HWND hDlg = g_pInst->hDlg;
    RECT rcWork, rcWindow, rcClient, rc;
    wchar_t szName[32];
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    GetWindowRect(hDlg, &rcWindow);
    GetClientRect(hDlg, &rcClient);
    MapWindowPoints(hDlg, NULL, (POINT *)&rcClient, 2);
    _snwprintf(g_szGeometry, 2047, L"geometry screen %d %d", GetSystemMetrics(SM_CXSCREEN),
               GetSystemMetrics(SM_CYSCREEN));
    AddRect(L"work", &rcWork);
    AddRect(L"window", &rcWindow);
    AddRect(L"client", &rcClient);
    size_t n = wcslen(g_szGeometry);
    _snwprintf(g_szGeometry + n, 2047 - n, L" style %08lX", (unsigned long)GetWindowLongW(hDlg, GWL_STYLE));
    for (HWND hwnd = GetWindow(hDlg, GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        GetWindowRect(hwnd, &rc);
        MapWindowPoints(NULL, hDlg, (POINT *)&rc, 2);
        if (GetClassNameW(hwnd, szName, 32) && !_wcsicmp(szName, L"Static"))
            wcscpy(szName, L"static");
        else
            _snwprintf(szName, 31, L"%d", GetDlgCtrlID(hwnd));
        AddRect(szName, &rc);
    }
    Say(L"%ls", g_szGeometry);
}

/* "<word> <rest>": the first word, and the rest in *ppszRest. */
static wchar_t *SplitWord(wchar_t *pszArgs, wchar_t **ppszRest)
{
    wchar_t *pszEnd = pszArgs + wcscspn(pszArgs, L" ");
    *ppszRest = *pszEnd ? pszEnd + 1 : pszEnd;
    *pszEnd = 0;
    return pszArgs;
}

static void Start(wchar_t *pszArgs)
{
    wchar_t szCmd[2048] = L"";
    wchar_t *pszRest, *pszCwd = SplitWord(pszArgs, &pszRest);
    STARTUPINFOW si = {.cb = sizeof si};
    _snwprintf(szCmd, 2047, L"\"%ls\" %ls", g_szInstaller, pszRest);
    if (!CreateProcessW(NULL, szCmd, NULL, NULL, FALSE, 0, NULL, pszCwd, &si, &g_pInst->pi)) {
        Say(L"error: cannot start the installer (%lu)", GetLastError());
        g_pInst->pi.hProcess = NULL;
    }
}

static void Run(wchar_t *pszArgs)
{
    Start(pszArgs);
    if (g_pInst->pi.hProcess && !(g_pInst->hDlg = WaitForWindow(TRUE, WAIT_MS)))
        Say(L"error: no dialog");
}

static void Exit(wchar_t *)
{
    DWORD dwCode = 0;
    HANDLE hProcess = g_pInst->pi.hProcess;
    if (!hProcess)
        return;
    if (WaitForSingleObject(hProcess, WAIT_MS) != WAIT_OBJECT_0) {
        Say(L"error: still running");
        TerminateProcess(hProcess, 99);
        WaitForSingleObject(hProcess, 5000);
    }
    GetExitCodeProcess(hProcess, &dwCode);
    CloseHandle(hProcess);
    CloseHandle(g_pInst->pi.hThread);
    memset(g_pInst, 0, sizeof *g_pInst);
    Say(L"exit %lu", dwCode);
}

static void Echo(wchar_t *pszText)
{
    Say(L"%ls", pszText);
}

static void Program(wchar_t *pszArgs)
{
    g_fAnyProcess = !wcsncmp(pszArgs, L"any ", 4);
    wcsncpy(g_szInstaller, pszArgs + (g_fAnyProcess ? 4 : 0), 1023);
}

static void Temp(wchar_t *pszFolder)
{
    SetEnvironmentVariableW(L"TEMP", *pszFolder ? pszFolder : g_szTemp[0] ? g_szTemp : NULL);
    SetEnvironmentVariableW(L"TMP", *pszFolder ? pszFolder : g_szTmp[0] ? g_szTmp : NULL);
}

/* Where Windows keeps the Program Files folder's name; the first name, for "program-files". */
#define CURRENT_VERSION_KEY L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
static wchar_t g_szProgramFiles[1024];

static void ProgramFiles(wchar_t *pszFolder)
{
    HKEY hKey;
    DWORD cb = sizeof g_szProgramFiles - sizeof(wchar_t);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &hKey)) {
        Say(L"error: cannot open the key of Program Files");
        return;
    }
    if (!g_szProgramFiles[0])
        RegQueryValueExW(hKey, L"ProgramFilesDir", NULL, NULL, (BYTE *)g_szProgramFiles, &cb);
    const wchar_t *pszName = *pszFolder ? pszFolder : g_szProgramFiles;
    if (RegSetValueExW(hKey, L"ProgramFilesDir", 0, REG_SZ, (const BYTE *)pszName,
                       (DWORD)((wcslen(pszName) + 1) * sizeof(wchar_t))))
        Say(L"error: cannot set the Program Files folder");
    RegCloseKey(hKey);
}

/* The held file; for a scanner's hold, what it saw of the installer's copy
   (~<its pid>, beside the file). */
static struct Hold {
    HANDLE hFile, hThread;
    DWORD dwMs;
    wchar_t szCopy[1024];
    BOOL fAppeared, fWaited;
} g_hold;

static DWORD WINAPI LetGo(void *)
{
    DWORD dwStart = GetTickCount();
    while (!(g_hold.fAppeared = GetFileAttributesW(g_hold.szCopy) != INVALID_FILE_ATTRIBUTES) &&
           GetTickCount() - dwStart < WAIT_MS)
        Sleep(5);
    Sleep(g_hold.dwMs);
    g_hold.fWaited = GetFileAttributesW(g_hold.szCopy) != INVALID_FILE_ATTRIBUTES;
    CloseHandle(g_hold.hFile);
    return 0;
}

static void Hold(wchar_t *pszArgs)
{
    wchar_t *pszFile, *pszMs = SplitWord(pszArgs, &pszFile), *pszSlash;
    BOOL fLock = !wcscmp(pszMs, L"lock");
    g_hold.dwMs = wcstoul(pszMs, NULL, 10);
    DWORD dwShare = fLock ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    g_hold.hFile = CreateFileW(pszFile, GENERIC_READ, dwShare, NULL, OPEN_EXISTING, 0, NULL);
    wcsncpy(g_hold.szCopy, pszFile, 1000);
    if (g_hold.hFile == INVALID_HANDLE_VALUE || !(pszSlash = wcsrchr(g_hold.szCopy, L'\\'))) {
        Say(L"error: cannot hold %ls", pszFile);
        return;
    }
    if (fLock)
        return;
    _snwprintf(pszSlash, 23, L"\\~%lX", g_pInst->pi.dwProcessId);
    g_hold.hThread = CreateThread(NULL, 0, LetGo, NULL, 0, NULL);
}

static void Held(wchar_t *)
{
    if (!g_hold.hThread) {
        CloseHandle(g_hold.hFile);
        return;
    }
    WaitForSingleObject(g_hold.hThread, INFINITE);
    CloseHandle(g_hold.hThread);
    Say(!g_hold.fAppeared ? L"held: no copy appeared" : g_hold.fWaited ? L"held: the copy waited"
                                                                            : L"held: the copy did not wait");
    g_hold.hThread = NULL;
}

/* g_nVariant 1: in every running installer, then one wait. */
static void Click(wchar_t *pszId)
{
    for (int i = 0; i < 2; ++i)
        if (g_aInst[i].hDlg && (g_nVariant || g_pInst == &g_aInst[i]))
            PostMessageW(GetDlgItem(g_aInst[i].hDlg, _wtoi(pszId)), BM_CLICK, 0, 0);
    Settle();
}

static void Close(wchar_t *)
{
    PostMessageW(g_pInst->hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
}

static void SayFocus(wchar_t *)
{
    HWND hFocus = Focused();
    Say(L"focus %d", hFocus ? GetDlgCtrlID(hFocus) : -1);
}

/* g_nVariant 1: the window's title. */
static void SayText(wchar_t *pszId)
{
    wchar_t szText[256] = L"";
    if (g_nVariant)
        GetWindowTextW(g_pInst->hDlg, szText, 256);
    else
        GetDlgItemTextW(g_pInst->hDlg, _wtoi(pszId), szText, 256);
    Say(g_nVariant ? L"title %ls" : L"text %ls %ls", g_nVariant ? szText : pszId, szText);
}

static void SayGlyphs(wchar_t *pszId)
{
    wchar_t szDll[MAX_PATH], *pszOut = NULL;
    HWND hwnd = GetDlgItem(g_pInst->hDlg, _wtoi(pszId));
    HANDLE hMap = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, GLYPHS_CB, GLYPHS_MAPPING);
    GetModuleFileNameW(NULL, szDll, MAX_PATH);
    wcscpy(wcsrchr(szDll, L'\\') + 1, L"glyphs.dll");
    HMODULE hDll = LoadLibraryW(szDll);
    HOOKPROC pfnHook = hDll ? (HOOKPROC)(void (*)(void))GetProcAddress(hDll, "GlyphsHook") : NULL;
    HHOOK hHook = pfnHook && hwnd ? SetWindowsHookExW(WH_CALLWNDPROC, pfnHook, hDll, GetWindowThreadProcessId(hwnd, NULL))
                                  : NULL;
    if (hHook && hMap && (pszOut = MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, GLYPHS_CB))) {
        SendMessageW(hwnd, RegisterWindowMessageW(GLYPHS_MESSAGE), 0, 0);
        Say(L"glyphs %ls %ls", pszId, *pszOut ? pszOut : L"not reported");
    } else
        Say(L"error: cannot look into the installer's fonts (%lu)", GetLastError());
    if (pszOut)
        UnmapViewOfFile(pszOut);
    if (hHook)
        UnhookWindowsHookEx(hHook);
    if (hDll)
        FreeLibrary(hDll);
    if (hMap)
        CloseHandle(hMap);
}

static void Dpi(wchar_t *pszDpi)
{
    DWORD dwDpi = (DWORD)_wtoi(pszDpi);
    HKEY hKey;
    LONG l = RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL);
    if (!l) {
        l = RegSetValueExW(hKey, L"LogPixels", 0, REG_DWORD, (const BYTE *)&dwDpi, sizeof dwDpi);
        RegCloseKey(hKey);
    }
    if (l)
        Say(L"error: cannot set the DPI (%ld)", l);
}

static void SayCodePage(wchar_t *)
{
    Say(L"codepage %u", GetACP());
}

static void NoBox(wchar_t *pszMs)
{
    HWND hBox = WaitForWindow(FALSE, (DWORD)_wtoi(pszMs));
    wchar_t szCaption[256] = L"";
    GetWindowTextW(hBox, szCaption, 256);
    Say(hBox ? L"unexpected box %ls" : L"nobox", szCaption);
}

static void Alive(wchar_t *)
{
    BOOL fAlive = IsWindowVisible(g_pInst->hDlg) && WaitForSingleObject(g_pInst->pi.hProcess, 0) == WAIT_TIMEOUT;
    Say(fAlive ? L"alive" : L"gone");
}

static void Use(wchar_t *pszWhich)
{
    g_pInst = &g_aInst[_wtoi(pszWhich) == 2];
}

/* ---- The benchmarks' commands ---------------------------------------------
 * They write <key>_ms, milliseconds, and <key>_ws, the peak working set in
 * bytes of the process whose window was found. */

/* g_nVariant 1: timed from the Install click, not from the start. */
static void TimeRun(wchar_t *pszArgs)
{
    wchar_t *pszCwd, *pszKey = SplitWord(pszArgs, &pszCwd);
    g_dwPollMs = g_nVariant ? 50 : 1;
    QueryPerformanceCounter(&g_tMark);
    Run(pszCwd);
    if (g_pInst->hDlg && !g_nVariant) {
        SayTime(pszKey, g_pInst->hDlg);
        /* Closed the way a player would: the system menu's Close. */
        PostMessageW(g_pInst->hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (g_pInst->hDlg) {
        WaitForInputIdle(g_pInst->pi.hProcess, 5000);
        g_dwPollMs = 1;
        QueryPerformanceCounter(&g_tMark);
        PostMessageW(GetDlgItem(g_pInst->hDlg, IDC_INSTALL), BM_CLICK, 0, 0);
        Box(pszKey);
    }
    g_dwPollMs = 50;
    Exit(NULL);
}

static void TimeCopy(wchar_t *pszArgs)
{
    wchar_t *pszRest, *pszKey = SplitWord(pszArgs, &pszRest);
    wchar_t *pszTo, *pszFrom = SplitWord(pszRest, &pszTo);
    DeleteFileW(pszTo);
    QueryPerformanceCounter(&g_tMark);
    BOOL fCopied = CopyFileW(pszFrom, pszTo, FALSE);
    QueryPerformanceCounter(&g_tFound);
    if (fCopied)
        SayTime(pszKey, NULL);
    else
        Say(L"error: %ls: CopyFile failed (%lu)", pszKey, GetLastError());
}

static void Del(wchar_t *pszFile)
{
    DeleteFileW(pszFile);
}

static void Flush(wchar_t *pszFile)
{
    HANDLE hFile = CreateFileW(pszFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE || !FlushFileBuffers(hFile))
        Say(L"error: cannot flush %ls (%lu)", pszFile, GetLastError());
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
}

/* ---- The script's commands ------------------------------------------------
 * What each takes and, after "->", what it writes. */
static const struct Command {
    const wchar_t *pszName;
    void (*pfn)(wchar_t *pszArg); /* the rest of the line, "" if none */
    int n;                        /* for pfn, as g_nVariant */
} g_aCommands[] = {
    {L"echo", Echo, 0},                     /* <text> -> "<text>", to mark where a scenario starts */
    {L"reg-set", SetKey, 1},                /* <folder>: the game's key, Path = folder (REG_SZ) */
    {L"reg-key", SetKey, 1},                /* the key with no Path value */
    {L"reg-none", SetKey, 0},               /* no key */
    {L"reg-raw", SetKey, 2},                /* <type> <hex>: Path = these bytes, no NUL added (RegSetValueExA) */
    {L"reg-check", CheckRegistry, 0},       /* -> "reg unchanged" if still as last set, else "reg changed" */
    {L"reg-where", WhereIsRegistry, 0},     /* -> "reg-where [SOFTWARE] [WOW6432Node]": the views that hold
                                               the key, or "reg-where none" */
    {L"program", Program, 0},               /* [any] <exe>: start this one from now on (the package, say);
                                               any: its dialog may belong to a child process */
    {L"temp", Temp, 0},                     /* [<folder>]: TEMP and TMP for what starts next (or ours again) */
    {L"program-files", ProgramFiles, 0},    /* [<folder>]: the Program Files folder, as the registry names it
                                               (or the first one again) */
    {L"hold", Hold, 0},                     /* lock <file>: hold it open unshared, as another program would,
                                               until "held"; <ms> <file>: open for reading, sharing all, as a
                                               scanner would, until <ms> after the installer's copy appears */
    {L"held", Held, 0},                     /* a lock: let it go; else wait for the let-go -> "held: the copy
                                               waited" when the copy was still there then, "held: the copy did
                                               not wait" or "held: no copy appeared" */
    {L"run", Run, 0},                       /* <cwd> [args]: start the installer there, wait for its dialog */
    {L"start", Start, 0},                   /* as run, without waiting (a damaged package shows no dialog) */
    {L"click", Click, 0},                   /* <id>: press a button (BM_CLICK) */
    {L"click-all", Click, 1},               /* <id>: press it in each running installer, then one wait: the
                                               copies overlap */
    {L"key", Key, 0},                       /* enter|esc|tab: a key to the focused control */
    {L"close", Close, 0},                   /* close the window from its system menu */
    {L"focus", SayFocus, 0},                /* -> "focus <control id>" */
    {L"title", SayText, 1},                 /* -> "title <window title>" */
    {L"text", SayText, 0},                  /* <id> -> "text <id> <the control's text>", whatever the code page */
    {L"glyphs", SayGlyphs, 0},              /* <id> -> "glyphs <id> <face> <charset> missing <letters of its
                                               text that font lacks>" */
    {L"dpi", Dpi, 0},                       /* <dpi>: the screen's DPI for what starts next */
    {L"codepage", SayCodePage, 0},          /* -> "codepage <ANSI code page>" */
    {L"geometry", Geometry, 0},             /* -> "geometry screen W H work L T R B window L T R B client
                                               L T R B style HEX static L T R B <id> L T R B ..." (client:
                                               on the screen; static and buttons: in the client area) */
    {L"box", Box, 0},                       /* -> "box <caption> | <text> | icon|noicon", then dismiss it */
    {L"nobox", NoBox, 0},                   /* <ms> -> "nobox" or "unexpected box <caption>" */
    {L"alive", Alive, 0},                   /* -> "alive" if the dialog is still open, else "gone" */
    {L"exit", Exit, 0},                     /* -> "exit <code>" once the installer has ended */
    {L"use", Use, 0},                       /* 1|2: the installer later commands address (two may run) */
    /* The benchmarks' */
    {L"time-start", TimeRun, 0},            /* <key> <cwd> -> <key>_ms, <key>_ws: start to visible dialog;
                                               then close it, "exit <code>" */
    {L"time-install", TimeRun, 1},          /* <key> <cwd> -> <key>_ms, <key>_ws, "box ...": Install click
                                               to result box, "exit <code>" */
    {L"time-copy", TimeCopy, 0},            /* <key> <from> <to> -> <key>_ms: delete <to>, time CopyFileW */
    {L"del", Del, 0},                       /* <file>: DeleteFileW */
    {L"flush", Flush, 0},                   /* <file>: FlushFileBuffers, so the next timed step does not pay */
};

static void Command(wchar_t *pszLine)
{
    wchar_t *pszArg;
    SplitWord(pszLine, &pszArg);
    if (!*pszLine || *pszLine == L'#')
        return;
    for (const struct Command *pc = g_aCommands; pc < g_aCommands + ARRAYSIZE(g_aCommands); ++pc) {
        if (!wcscmp(pszLine, pc->pszName)) {
            g_nVariant = pc->n;
            pc->pfn(pszArg);
            return;
        }
    }
    Say(L"error: unknown command %ls", pszLine);
}

int wmain(int argc, wchar_t **argv)
{
    FILE *pf = argc == 3 ? _wfopen(argv[2], L"rb") : NULL;
    if (!pf) {
        Say(L"usage: driver.exe <installer.exe> <script>, a script it can read");
        return 2;
    }
    Program(argv[1]);
    GetEnvironmentVariableW(L"TEMP", g_szTemp, 1024);
    GetEnvironmentVariableW(L"TMP", g_szTmp, 1024);
    char szLine[4096];
    wchar_t szWide[4096];
    while (fgets(szLine, sizeof szLine, pf)) {
        szLine[strcspn(szLine, "\r\n")] = 0;
        if (MultiByteToWideChar(CP_UTF8, 0, szLine, -1, szWide, 4096))
            Command(szWide);
    }
    fclose(pf);
    for (int i = 0; i < 2; ++i)
        if (g_aInst[i].pi.hProcess) {
            Say(L"error: installer left running");
            TerminateProcess(g_aInst[i].pi.hProcess, 99);
        }
    return 0;
}
