// What tests set up in, and read back from, the stand-in: its state, whose
// fields they set and read directly, and the few calls that do more.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform_api.h"

namespace standin {

// uSeq orders boxes and dialog ends among each other. The texts are what
// the player reads, in UTF-8: a wide box's characters, or a single-byte
// box's bytes read in the system's ANSI code page.
struct MessageBoxCall {
    unsigned uSeq;
    HWND hwndOwner;
    std::string strText;
    std::string strCaption;
    UINT uType;
};

struct EndDialogCall {
    unsigned uSeq;
    HWND hDlg;
    INT_PTR nResult;
};

// Values by lower-case name; the bytes exactly as given.
typedef std::map<std::string, std::string> Key;

// Another process's handle on a file, open for reading: what it lets others
// do (FILE_SHARE_*), and when it lets go, on the fake clock.
struct Holder {
    DWORD dwShareMode;
    DWORD dwUntilMs;
};
const DWORD kForever = 0xFFFFFFFF;
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct File {
    std::string strPath;  // host path
    std::string strName;  // as passed
    DWORD dwAccess;
    DWORD dwShareMode;
};

struct State {
    // Registry under HKEY_LOCAL_MACHINE, by lower-case path: key paths
    // compare case-insensitively, as on Windows.
    std::map<std::string, Key> mapKeys;
    // Keys, handles and streams handed out and not yet closed.
    std::set<const Key *> setOpenKeys;
    std::set<File *> setOpenFiles;
    int nOpenStreams = 0;
    // Every fopen, whether or not it found a file.
    int nOpenAttempts = 0;
    // The calls that change files or reach the disk, in the order made, one
    // line each: "Name(argument, ...)", paths as passed, flags in hex.
    std::vector<std::string> vecFileCalls;
    unsigned uSeq = 0;
    std::vector<MessageBoxCall> vecBoxes;
    std::vector<EndDialogCall> vecEnds;
    int nDialogLayouts = 0;
    std::map<std::string, Holder> mapHeld;  // by host path; see LockFile
    // Milliseconds slept since Reset: only Sleep moves this clock.
    DWORD dwNowMs = 0;
    DWORD dwLastError = 0;
    // Wine 8 renames over a read-only file where Windows and Wine 10 refuse.
    bool fRenameIgnoresReadOnly = false;
    // The disk fills after this many bytes of a copy; the partial target
    // stays, as Wine leaves it. Negative: unlimited.
    long cbDiskFree = -1;
    // A scanner takes every copy away (into quarantine) once it is written.
    bool fCopiesQuarantined = false;
    // The data of an open file cannot be brought to the disk (a failing drive).
    bool fFlushFails = false;
    DWORD dwPid = 0x4242;  // the temporary file is then "~4242"
    // The system's ANSI code page: 1252, a Western Windows, unless set.
    UINT uAnsiCodePage = 1252;
    // MultiByteToWideChar fails, as on a system without the code page asked for.
    bool fConversionFails = false;
};

extern State g_state;

// Closes what is still open and puts every field back to its default.
void Reset();

void AddKey(const std::string &strKey);
void SetValue(const std::string &strKey, const std::string &strName, const std::string &strBytes);

// The file at the path, there now or made later, held open for reading by
// another process until the fake clock reaches dwUntilMs. Without sharing it
// cannot be read, written or deleted; with sharing, what the mode bars. It
// can never be replaced by a rename, as on Windows; renamed, it stays held.
void LockFile(const std::string &strPath, DWORD dwShareMode = 0, DWORD dwUntilMs = kForever);

}
