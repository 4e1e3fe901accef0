// Platform operations of the Windows build: the real Win32 and C runtime
// calls, reached through plat:: so the same logic also builds on the host
// against the tests' stand-in in tests/standin/.
#pragma once

#include <windows.h>
#include <stdio.h>

namespace plat {
using ::RegOpenKeyExA;
using ::RegQueryValueExA;
using ::RegCloseKey;
using ::fopen;
using ::fclose;
using ::DeleteFileA;
using ::CreateDirectoryA;
using ::CopyFileA;
using ::MoveFileExA;
using ::GetFileAttributesA;
using ::SetFileAttributesA;
using ::CreateFileA;
using ::FlushFileBuffers;
using ::CloseHandle;
using ::GetCurrentProcessId;
using ::GetLastError;
using ::Sleep;
using ::MultiByteToWideChar;
using ::MessageBoxA;
using ::MessageBoxW;
using ::EndDialog;
}
