// Start-up and finalisation of the program's modules, in one fixed order.
#include "app/ModuleLifecycle.h"

#include <cstdlib>

#include "infra/HUtils.h"
#include "infra/KestrelSyncObjs.h"
#include "infra/LifecycleProbe.h"
#include "infra/StartupMgr.h"
#include "support/DebugLog.h"
#include "support/Utils.h"

namespace rover {

namespace {

// The modules' own objects are freed by their shutdown procedures, which the
// start-up manager has run by now; what nobody freed, KestrelSyncObjs
// destroys, so it comes last.
void __cdecl FinalizeModules() {
    NoteLifecycleStep(L"StartupMgr finalised");
    NoteLifecycleStep(L"HUtils finalised");
    NoteLifecycleStep(L"Utils finalised");
    FinalizeKestrelSyncObjs();
}

} // namespace

void InitializeModules() {
    // Exit procedures run last registered first, so this one runs after every
    // procedure registered below and after the application's clean-up.
    atexit(&FinalizeModules);
    InitializeKestrelSyncObjs();
    NoteLifecycleStep(L"KestrelSyncObjs initialised");
    InitializeUtils();
    NoteLifecycleStep(L"Utils initialised");
    InitializeDebugLog();
    NoteLifecycleStep(L"DebugLog initialised");
    InitializeHUtils();
    NoteLifecycleStep(L"HUtils initialised");
    InitializeStartupMgr();
    NoteLifecycleStep(L"StartupMgr initialised");
}

} // namespace rover
