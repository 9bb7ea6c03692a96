// The drive dialog.
#include "destination/rover_setup_select_drive.h"

namespace rover {

// No dialog yet: no drive is chosen, so the install loop ends.
std::wstring SelectDestinationDrive(TApplication&) {
    return std::wstring();
}

} // namespace rover
