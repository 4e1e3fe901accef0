// The dialog as the player's Windows draws it: the picture's pixels and the
// buttons in its empty band at any DPI, and Czech letters in any code page.
#pragma once

#include "platform_api.h"

// From WM_INITDIALOG: fits the window to the picture, places the buttons and
// gives them a font with Central European letters where the dialog's lacks them.
void LayOutDialog(HWND hDlg);

// Once the dialog has ended: frees what LayOutDialog made.
void FreeDialogLayout();
