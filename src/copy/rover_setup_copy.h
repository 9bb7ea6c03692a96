// The copy dialog's entry point for the install loop.
#pragma once

#include <string>

namespace rover {

class TApplication;

// Runs a new copy dialog into dstDir; returns its modal result (OK 1 or Retry 4).
int RunCopyDialog(TApplication& owner, const std::wstring& dstDir);

} // namespace rover
