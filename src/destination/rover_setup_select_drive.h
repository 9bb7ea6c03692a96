// The drive dialog's entry point for the install loop.
#pragma once

#include <string>

namespace rover {

class TApplication;

// Shows the drive dialog modally; returns a drive as a letter and a colon, or empty.
std::wstring SelectDestinationDrive(TApplication& owner);

} // namespace rover
