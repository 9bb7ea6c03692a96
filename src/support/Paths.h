// Full paths and the extended-length form that the file system calls take for long paths.
#pragma once

#include <string>

namespace rover {

// Paths from this length on go to the file system in the \\?\ form: CreateDirectoryW refuses
// plain paths from 248 characters and most other calls from 260, and a few characters more
// may be joined on (a find pattern's "\*.*") before the path reaches a call.
constexpr size_t kExtendedPathFrom = 240;

// The system's full form of a path (GetFullPathNameW: taken from the current folder when
// relative, "." and ".." resolved). Empty when the system cannot form it, with the thread's
// last error telling why; never the input handed back, which could pass a relative path on as
// if it were full.
std::wstring FullPathName(const std::wstring& path);

// The form to hand a file system call: the path itself while it is short, else its full form
// with doubled backslashes removed and the prefix \\?\ (\\?\UNC\ for \\server\share paths),
// which lifts the length limit but also turns off every normalisation. A path already in a
// \\?\ or \\.\ form, or one the system cannot make full, is handed back as it is.
std::wstring ExtendedPath(const std::wstring& path);

// The form shown to the user: without a \\?\ or \\?\UNC\ prefix.
std::wstring PlainPath(const std::wstring& path);

// Whether two paths name the same place, compared without regard to case as the file
// system does; both must be in the same (full) form.
bool SamePathText(const std::wstring& a, const std::wstring& b);

} // namespace rover
