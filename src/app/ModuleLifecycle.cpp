// Start-up and finalisation of the program's modules, in one fixed order.
#include "app/ModuleLifecycle.h"

#include <cstdlib>

#include "support/DebugLog.h"
#include "support/Utils.h"

namespace rover {

namespace {

void __cdecl FinalizeModules() {
    // Reverse order of InitializeModules; nothing to release yet.
}

} // namespace

void InitializeModules() {
    // Exit procedures run last registered first, so this one runs after every
    // procedure registered below and after the application's clean-up.
    atexit(&FinalizeModules);
    InitializeUtils();
    InitializeDebugLog();
}

} // namespace rover
