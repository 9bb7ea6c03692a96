// The copy dialog.
#include "copy/rover_setup_copy.h"

#include <windows.h>

namespace rover {

// No dialog yet: a chosen drive ends the install loop.
int RunCopyDialog(TApplication&, const std::wstring&) {
    return IDOK;
}

} // namespace rover
