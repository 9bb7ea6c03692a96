// Creating a folder together with every missing folder above it.
#pragma once

#include <string>

namespace rover {

// True when the path names an existing folder or a usable drive root on
// return. On false the thread's last error code is never 0: it is the code of
// the call that failed, or one whose system text says what is wrong.
bool CreateDirChain(const std::wstring& path);

// 1: an existing folder or the root of a drive of known type; 0: not found;
// -1: empty, unknown drive, not a folder, or the query failed otherwise.
int GetDirState(const std::wstring& path);

// Case-sensitive; an empty suffix always matches.
bool EndsWith(const std::wstring& text, const std::wstring& suffix);

} // namespace rover
