// The autorun file on the destination drive's root: its path, its bytes and its writing.
#pragma once

#include <windows.h>

#include <string>

namespace rover {

// X: for X:\Rover, \\server\share for \\server\share\Rover, empty otherwise.
std::wstring AutorunDrivePart(const std::wstring& dstDir);

// The four lines, each ending in CR LF, in the system's ANSI code page.
std::string AutorunBytes(const std::wstring& relativeFolder);

// An existing file (also a locked one) counts; a folder of that name does not.
bool AutorunFileExists(const std::wstring& path);

enum class TAutorunStatus { Written, CreateFailed, WriteFailed };

struct TAutorunOutcome {
    TAutorunStatus Status = TAutorunStatus::Written;
    DWORD Error = 0; // the failing call's code
};

// Creates the file and writes every byte. A file that cannot be written to
// the end is deleted again: a partial file would be taken as "already there"
// by every later installation.
TAutorunOutcome WriteAutorunFile(const std::wstring& path, const std::string& bytes);

} // namespace rover
