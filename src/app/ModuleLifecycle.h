// Start-up and finalisation of the program's modules, in one fixed order.
#pragma once

namespace rover {

// Initialises every module in order and registers their finalisation, in
// reverse order, as the first (and so the last to run) exit procedure.
void InitializeModules();

} // namespace rover
