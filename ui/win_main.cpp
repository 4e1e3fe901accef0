// Process entry: run the main dialog, then leave with 0 whatever happened.
#include <windows.h>

#include "main_dlg.h"
#include "resource.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
    return 0;
}
