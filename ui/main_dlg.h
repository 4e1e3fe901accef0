// The main dialog's procedure and the About box.
#pragma once

#include "platform_api.h"

INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// The credits, as Windows-1250 bytes.
extern const char g_szCredits[];
