// Debug-log entry points; this program keeps no log, so both discard what they get.
#pragma once

#include <exception>
#include <string>

namespace rover {

void LogDebug(const std::wstring& text);
void LogException(const std::wstring& module, const std::wstring& tag, const std::exception& e);

// The log module's start-up: hands its start line to LogDebug.
void InitializeDebugLog();

} // namespace rover
