// Start-up and finalisation of the program's modules, in one fixed order.
#pragma once

namespace rover {

// Initialises the modules in order: KestrelSyncObjs, Utils, the debug log,
// HUtils, StartupMgr. Their finalisation, in reverse order, is registered
// first of all exit procedures, so it runs last: after the application's
// clean-up and after the start-up manager's shutdown stage.
void InitializeModules();

} // namespace rover
