// Process entry: run the main dialog, then leave with 0 whatever happened.
#include <windows.h>

#include "dialog_layout.h"
#include "main_dlg.h"
#include "resource.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// The program is run from wherever it was downloaded to; a DLL planted there
// must not be loaded in place of a system one. Both calls are looked up, as
// Windows XP lacks the first and early XP the second.
void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    if (!hKernel)
        return;
    // GetProcAddress returns a generic pointer; through void (*)() to the
    // documented signature.
    auto pfnDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "SetDefaultDllDirectories")));
    auto pfnDllDir = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "SetDllDirectoryA")));
    if (pfnDefault)
        pfnDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Takes the current directory out of the search.
    if (pfnDllDir)
        pfnDllDir("");
}

}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    // The wide entry point: the template's UTF-16 texts reach the buttons as
    // they are, not through the system's code page ("Ukončit" is "Ukoncit"
    // in code page 1252).
    DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
    FreeDialogLayout();
    return 0;
}
