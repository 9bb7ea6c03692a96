// Debug log that discards everything: the program writes no log.
#include "support/DebugLog.h"

namespace rover {

void LogDebug(const std::wstring&) {}

void LogException(const std::wstring&, const std::wstring&, const std::exception&) {}

void InitializeDebugLog() {
    LogDebug(L"---Start---------------------------");
}

} // namespace rover
