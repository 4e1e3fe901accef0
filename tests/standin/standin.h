// What tests set up in, and read back from, the stand-in.
#pragma once

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

// Forget the registry, the records, locks and failure switches.
void Reset();

// Registry under HKEY_LOCAL_MACHINE; key paths compare case-insensitively,
// as on Windows. The value's bytes are stored exactly as given.
void AddKey(const std::string &strKey);
void SetValue(const std::string &strKey, const std::string &strName, const std::string &strBytes);
bool KeyExists(const std::string &strKey);

const std::vector<MessageBoxCall> &MessageBoxes();
const std::vector<EndDialogCall> &EndDialogs();

// The calls that change files or reach the disk, in the order made, one
// line each: "Name(argument, ...)", paths as passed, flags in hex.
const std::vector<std::string> &FileCalls();

// Handles and streams handed out and not yet closed.
int OpenKeyCount();
int OpenStreamCount();
int OpenHandleCount();

// Every fopen, whether or not it found a file.
int OpenAttemptCount();

// A file held open by another process without sharing: it cannot be
// deleted, replaced or written.
void LockFile(const std::string &strPath);

// Wine renames over a read-only file where Windows refuses.
void SetRenameIgnoresReadOnly(bool fIgnore);

// The disk fills after this many bytes of a copy; the partial target stays,
// as Wine leaves it. Negative: unlimited.
void SetDiskSpace(long cbFree);

// The data of an open file cannot be brought to the disk (a failing drive).
void SetFlushFails(bool fFails);

void SetProcessId(DWORD dwPid);

// The system's ANSI code page: 1252, a Western Windows, unless set.
void SetAnsiCodePage(UINT uCodePage);

// MultiByteToWideChar fails, as on a system without the code page asked for.
void SetConversionFails(bool fFails);

}
