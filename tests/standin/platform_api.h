// The few Win32 types, constants and calls the install logic uses, as the
// host tests' stand-in, standin.cpp, provides them.
#pragma once

#include <cstdint>
#include <cstdio>

typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef uint8_t *LPBYTE;
typedef void *HANDLE;
typedef wchar_t WCHAR;

typedef struct HWND__ *HWND;
typedef struct HKEY__ *HKEY;
struct SECURITY_ATTRIBUTES;

#define CALLBACK
#define TRUE 1
#define FALSE 0

#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x0001

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define DELETE 0x00010000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define OPEN_EXISTING 3

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONINFORMATION 0x00000040u

#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define IDOK 1
#define IDCANCEL 2
#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xffff))

namespace plat {
LONG RegOpenKeyExA(HKEY hKey, const char *pszSubKey, DWORD dwOptions, DWORD samDesired, HKEY *phkResult);
LONG RegQueryValueExA(HKEY hKey, const char *pszValueName, DWORD *pdwReserved, DWORD *pdwType, LPBYTE pbData,
                      DWORD *pcbData);
LONG RegCloseKey(HKEY hKey);
FILE *fopen(const char *pszPath, const char *pszMode);
int fclose(FILE *pf);
BOOL DeleteFileA(const char *pszPath);
BOOL CreateDirectoryA(const char *pszPath, SECURITY_ATTRIBUTES *psa);
BOOL CopyFileA(const char *pszFrom, const char *pszTo, BOOL fFailIfExists);
BOOL MoveFileExA(const char *pszFrom, const char *pszTo, DWORD dwFlags);
DWORD GetFileAttributesA(const char *pszPath);
BOOL SetFileAttributesA(const char *pszPath, DWORD dwAttributes);
HANDLE CreateFileA(const char *pszPath, DWORD dwAccess, DWORD dwShareMode, SECURITY_ATTRIBUTES *psa,
                   DWORD dwDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplate);
BOOL FlushFileBuffers(HANDLE hFile);
BOOL CloseHandle(HANDLE hObject);
DWORD GetCurrentProcessId();
DWORD GetLastError();
void Sleep(DWORD dwMilliseconds);
int MultiByteToWideChar(UINT uCodePage, DWORD dwFlags, const char *psz, int cb, WCHAR *pwsz, int cch);
int MessageBoxA(HWND hWnd, const char *pszText, const char *pszCaption, UINT uType);
int MessageBoxW(HWND hWnd, const WCHAR *pwszText, const WCHAR *pwszCaption, UINT uType);
BOOL EndDialog(HWND hDlg, INT_PTR nResult);
}
