// Message boxes with the program's Windows-1250 texts.
#pragma once

#include "platform_api.h"

// Shows a box with no owner window, so the dialog stays as it is under it.
// MessageBoxA would read the bytes in the system's code page, 1252 on a
// Western Windows, and garble every Czech letter: the texts are converted
// from Windows-1250 themselves and shown by the wide-character box.
void ShowMessage(const char *pszText, const char *pszCaption, UINT uType);
