// The product name read lazily from the version resource, and the Utils module's life cycle.
#include "support/Utils.h"

namespace rover {

// Filled in with the lock and the resource scan; the program carries no
// version resource, so the name is empty.
std::wstring GetProductName() {
    return std::wstring();
}

std::wstring FindVersionValue(const void*, const std::wstring&, DWORD) {
    return std::wstring();
}

void InitializeUtils() {}

void FinalizeUtils() {}

} // namespace rover
