// Entry point of rover_setup.exe.
#include <windows.h>

#include <cstdlib>

#include "app/DllSearch.h"
#include "app/Rover_Setup.h"

// The runtime's default handler prints the demangled exception type, which
// links a demangler as large as the whole program. Exceptions never leave the
// handlers that catch them, so ending at once is enough here.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything of the program can load a DLL by name.
    rover::RestrictDllSearchToSystemFolder();
    return rover::RoverSetupMain(instance);
}
