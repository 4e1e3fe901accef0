/*
 * Benchmark driver, run by Wine in the benchmark prefix: one Wine start per
 * batch, since starting Wine under emulation costs seconds. Reads a script
 * (ASCII, one command a line, fields split by '|') and appends "key value"
 * lines to an output file (not stdout: Wine helpers hold pipes open).
 *
 *   reg|<folder>                      HKLM\SOFTWARE\Morvane\Duneveil Path = folder
 *   start|<key>|<exe>|<cwd>|own|any   start, time to its visible dialog, peak
 *                                     working set, then close it
 *                                     (any: the dialog may be a child's, the package)
 *   install|<key>|<exe>|<cwd>         start, click Install (1000), time until the
 *                                     result box, peak working set, dismiss, exit code
 *   copy|<key>|<from>|<to>            time a plain CopyFileA (the target deleted first)
 *   del|<file>                        DeleteFileA
 *
 * Keys written: <key>_ms, <key>_ws (bytes), <key>_exit.
 * Usage: bench_driver.exe <script> <output>
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#define IDC_INSTALL 1000
#define WAIT_MS 300000          /* emulated Wine is slow; a 256 MB copy too */

static FILE *g_out;
static LARGE_INTEGER g_freq;
static PROCESS_INFORMATION g_pi;

static double Ms(LARGE_INTEGER t0)
{
    LARGE_INTEGER t1;
    QueryPerformanceCounter(&t1);
    return (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / (double)g_freq.QuadPart;
}

static void Say(const char *key, const char *suffix, double v)
{
    fprintf(g_out, "%s%s %.3f\n", key, suffix, v);
    fflush(g_out);
}

struct Find { BOOL fAny; BOOL fMain; HWND hFound; };

/* A visible #32770 of the started process (or, fAny, of any other process
 * than ours); fMain: the one with the Install button, else one without. */
static BOOL CALLBACK FindDlg(HWND hwnd, LPARAM lParam)
{
    struct Find *f = (struct Find *)lParam;
    DWORD dwPid = 0;
    char szClass[16];
    GetWindowThreadProcessId(hwnd, &dwPid);
    if (f->fAny ? dwPid == GetCurrentProcessId() : dwPid != g_pi.dwProcessId)
        return TRUE;
    if (!IsWindowVisible(hwnd) || !GetClassNameA(hwnd, szClass, sizeof szClass) ||
        strcmp(szClass, "#32770"))
        return TRUE;
    if (f->fAny && (GetDlgItem(hwnd, IDC_INSTALL) != NULL) != f->fMain)
        return TRUE;
    f->hFound = hwnd;
    return FALSE;
}

/* Tight polling (1 ms): the poll interval bounds the resolution. */
static HWND WaitDlg(BOOL fAny, BOOL fMain, HWND hNot)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        struct Find f = {fAny, fMain, NULL};
        EnumWindows(FindDlg, (LPARAM)&f);
        if (f.hFound && f.hFound != hNot)
            return f.hFound;
        if (GetTickCount() - dwStart > WAIT_MS || WaitForSingleObject(g_pi.hProcess, 0) == WAIT_OBJECT_0)
            return NULL;
        Sleep(1);
    }
}

static BOOL Start(const char *pszExe, const char *pszCwd)
{
    STARTUPINFOA si;
    char szCmd[MAX_PATH + 2];
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    snprintf(szCmd, sizeof szCmd, "\"%s\"", pszExe);
    return CreateProcessA(pszExe, szCmd, NULL, NULL, FALSE, 0, NULL, pszCwd, &si, &g_pi);
}

/* Peak working set of the process that owns hwnd (the package's child, say). */
static double PeakWs(HWND hwnd)
{
    DWORD dwPid = 0;
    PROCESS_MEMORY_COUNTERS pmc;
    GetWindowThreadProcessId(hwnd, &dwPid);
    HANDLE h = dwPid == g_pi.dwProcessId ? g_pi.hProcess
        : OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwPid);
    memset(&pmc, 0, sizeof pmc);
    pmc.cb = sizeof pmc;
    BOOL ok = h && GetProcessMemoryInfo(h, &pmc, sizeof pmc);
    if (h && h != g_pi.hProcess)
        CloseHandle(h);
    return ok ? (double)pmc.PeakWorkingSetSize : -1;
}

static void Finish(const char *pszKey)
{
    DWORD dwCode = 999;
    if (WaitForSingleObject(g_pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(g_pi.hProcess, 998);
        WaitForSingleObject(g_pi.hProcess, 5000);
    }
    GetExitCodeProcess(g_pi.hProcess, &dwCode);
    Say(pszKey, "_exit", dwCode);
    CloseHandle(g_pi.hThread);
    CloseHandle(g_pi.hProcess);
    memset(&g_pi, 0, sizeof g_pi);
}

static void CmdStart(char **a, int n)
{
    LARGE_INTEGER t0;
    if (n < 5) return;
    BOOL fAny = !strcmp(a[4], "any");
    QueryPerformanceCounter(&t0);
    if (!Start(a[2], a[3])) { Say(a[1], "_error", GetLastError()); return; }
    HWND hDlg = WaitDlg(fAny, TRUE, NULL);
    if (!hDlg) { Say(a[1], "_error", -1); Finish(a[1]); return; }
    Say(a[1], "_ms", Ms(t0));
    Say(a[1], "_ws", PeakWs(hDlg));
    /* Close it the way a player would (title bar X = WM_CLOSE). */
    PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    Finish(a[1]);
}

static void CmdInstall(char **a, int n)
{
    LARGE_INTEGER t0;
    if (n < 4) return;
    if (!Start(a[2], a[3])) { Say(a[1], "_error", GetLastError()); return; }
    HWND hDlg = WaitDlg(FALSE, TRUE, NULL);
    if (!hDlg) { Say(a[1], "_error", -1); Finish(a[1]); return; }
    WaitForInputIdle(g_pi.hProcess, 5000);
    QueryPerformanceCounter(&t0);
    PostMessageA(GetDlgItem(hDlg, IDC_INSTALL), BM_CLICK, 0, 0);
    HWND hBox = WaitDlg(FALSE, TRUE, hDlg);   /* the second #32770: the result box */
    if (!hBox) { Say(a[1], "_error", -2); Finish(a[1]); return; }
    Say(a[1], "_ms", Ms(t0));
    Say(a[1], "_ws", PeakWs(hBox));
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    Finish(a[1]);
}

static void CmdCopy(char **a, int n)
{
    LARGE_INTEGER t0;
    if (n < 4) return;
    DeleteFileA(a[3]);
    QueryPerformanceCounter(&t0);
    BOOL ok = CopyFileA(a[2], a[3], FALSE);
    Say(a[1], ok ? "_ms" : "_error", ok ? Ms(t0) : GetLastError());
}

static void CmdReg(char **a, int n)
{
    HKEY hKey;
    if (n < 2) return;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Duneveil", 0, NULL, 0,
                        KEY_ALL_ACCESS, NULL, &hKey, NULL)) {
        Say("reg", "_error", 1);
        return;
    }
    RegSetValueExA(hKey, "Path", 0, REG_SZ, (const BYTE *)a[1], (DWORD)strlen(a[1]) + 1);
    RegCloseKey(hKey);
}

int main(int argc, char **argv)
{
    char szLine[2048];
    if (argc < 3) { fprintf(stderr, "usage: bench_driver <script> <output>\n"); return 2; }
    FILE *in = fopen(argv[1], "r");
    g_out = fopen(argv[2], "a");
    if (!in || !g_out) return 2;
    QueryPerformanceFrequency(&g_freq);
    while (fgets(szLine, sizeof szLine, in)) {
        char *a[8];
        int n = 0;
        szLine[strcspn(szLine, "\r\n")] = 0;
        for (char *p = strtok(szLine, "|"); p && n < 8; p = strtok(NULL, "|"))
            a[n++] = p;
        if (!n) continue;
        if (!strcmp(a[0], "reg")) CmdReg(a, n);
        else if (!strcmp(a[0], "start")) CmdStart(a, n);
        else if (!strcmp(a[0], "install")) CmdInstall(a, n);
        else if (!strcmp(a[0], "copy")) CmdCopy(a, n);
        else if (!strcmp(a[0], "del") && n > 1) DeleteFileA(a[1]);
    }
    fputs("done 1\n", g_out);
    fclose(g_out);
    return 0;
}
