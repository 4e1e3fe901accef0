// Resource and control identifiers shared by installer.rc and the code.
// The picture is the resource named "IDB_BITMAP1": a name, so no number here.
#pragma once

#define IDD_MAIN 101
#define IDI_APP 500

#define IDC_INSTALL 1000
#define IDC_ABOUT 1001
#define IDC_EXIT 1002
