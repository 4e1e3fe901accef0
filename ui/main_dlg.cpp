#include "main_dlg.h"

#include "dialog_layout.h"
#include "install_map.h"
#include "message_box.h"
#include "resource.h"

namespace {

const char kszAboutCaption[] = "O projektu";

void ShowAbout()
{
    ShowMessage(g_szCredits, kszAboutCaption, MB_OK);
}

void OnCommand(HWND hDlg, WORD wId)
{
    switch (wId) {
    case IDC_INSTALL:
        OnInstall(hDlg);
        break;
    case IDC_ABOUT:
        ShowAbout();
        break;
    case IDC_EXIT:
    case IDCANCEL:
        plat::EndDialog(hDlg, kDialogResult);
        break;
    }
}

}

INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        LayOutDialog(hDlg);
        // Let the dialog manager focus the first tab stop, Install.
        return TRUE;
    case WM_COMMAND:
        OnCommand(hDlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
