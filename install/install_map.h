// The install action: what the Install button does.
#pragma once

#include "platform_api.h"

// Every outcome ends the dialog with this result; nobody reads it.
const INT_PTR kDialogResult = 2;

// Looks up the game, checks its data file, installs the map, reports the
// outcome and ends the dialog.
void OnInstall(HWND hDlg);

// Puts "Am01.dvp" from the current directory into <game>\Disk2, replacing
// the file there only once the new copy is complete, reports the outcome
// and ends the dialog.
void InstallMap(const char *pszGamePath, HWND hDlg);
