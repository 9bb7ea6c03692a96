// The staged start-up manager, its background stage and the program-exit hook that runs the
// shutdown stage.
#include "infra/StartupMgr.h"

#include <process.h>

#include <cstdlib>

#include "infra/HUtils.h"
#include "infra/LifecycleProbe.h"
#include "support/ClassesUtils.h"
#include "support/DebugLog.h"
#include "support/Utils.h"

namespace rover {

void (*StartupDebugLog)(const std::wstring& text) = &LogDebug;

namespace {

TStartupManager* StartupManager = nullptr;
bool StartupShutDown = false;
bool ExitHookInstalled = false;

} // namespace

EKestrelError::EKestrelError(const wchar_t* message) : message_(message) {
    narrow_.reserve(message_.size());
    for (wchar_t c : message_)
        narrow_.push_back(c < 0x80 ? static_cast<char>(c) : '?');
}

// ---- Events ----

TStartupEvent::TStartupEvent(TProcedure aEvent, TStartupLoadMode aMode, int32_t aPriority,
                             const std::wstring& aDebugMsg)
    : fEvent(aEvent), fMode(aMode), fPriority(aPriority), fDebugMsg(aDebugMsg) {}

TStartupEvent::TStartupEvent(TStartupLoadMode aMode, int32_t aPriority,
                             const std::wstring& aDebugMsg)
    : fMode(aMode), fPriority(aPriority), fDebugMsg(aDebugMsg) {}

void TStartupEvent::Execute() {
    if (fEvent != nullptr)
        fEvent();
}

TStartupEventMethod::TStartupEventMethod(TMethod aEvent, TStartupLoadMode aMode, int32_t aPriority,
                                         const std::wstring& aDebugMsg)
    : TStartupEvent(aMode, aPriority, aDebugMsg), fEventMethod(aEvent) {}

void TStartupEventMethod::Execute() {
    if (fEventMethod.Code != nullptr)
        fEventMethod.Code(fEventMethod.Data);
}

// ---- Background stage ----

TStartupBkThread::TStartupBkThread(TColl* aEvents) : fEvents(aEvents) {
    // The C runtime's own thread start, so that the events may use it freely.
    fThread.Reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadProc, this, 0, nullptr)));
}

TStartupBkThread::~TStartupBkThread() {
    WaitFor();
    // The thread has ended, so nothing touches the events any more.
    delete fEvents;
}

void TStartupBkThread::WaitFor() {
    if (fThread)
        WaitForSingleObject(fThread.Get(), INFINITE);
}

unsigned __stdcall TStartupBkThread::ThreadProc(void* self) {
    static_cast<TStartupBkThread*>(self)->Run();
    return 0;
}

void TStartupBkThread::Run() {
    // An exception may not leave the thread; it ends the background run.
    try {
        for (int32_t i = 0; i < fEvents->Count(); ++i)
            static_cast<TStartupEvent*>(fEvents->At(i))->Execute();
    } catch (const std::exception& e) {
        LogException(L"StartupMgr", L"BkLoad", e);
    } catch (...) {
    }
}

// ---- Manager ----

int32_t ComparePriority(void* left, void* right) {
    const int32_t l = static_cast<TStartupEvent*>(left)->Priority();
    const int32_t r = static_cast<TStartupEvent*>(right)->Priority();
    return l < r ? -1 : (l > r ? 1 : 0);
}

TStartupManager::TStartupManager() : fItems(new TColl) {}

TStartupManager::~TStartupManager() {
    FinishBackgroundStage();
    for (int32_t i = fItems->Count() - 1; i >= 0; --i)
        delete static_cast<TStartupEvent*>(fItems->At(i));
    fItems->DeleteAll();
    delete fItems;
}

void TStartupManager::FinishBackgroundStage() {
    InterlockedFreeAndNil(fBkThread);
}

void TStartupManager::Register(TStartupEvent* aEvent) {
    if (aEvent == nullptr)
        return;
    fItems->Add(static_cast<TObject*>(aEvent));
    fSorted = false;
}

void TStartupManager::Register(TProcedure aEvent, TStartupLoadMode aMode, int32_t aPriority,
                               const std::wstring& aDebugMsg) {
    Register(new TStartupEvent(aEvent, aMode, aPriority, aDebugMsg));
}

void TStartupManager::Register(TMethod aEvent, TStartupLoadMode aMode, int32_t aPriority,
                               const std::wstring& aDebugMsg) {
    Register(new TStartupEventMethod(aEvent, aMode, aPriority, aDebugMsg));
}

void TStartupManager::Execute(TStartupLoadMode aMode) {
    if (aMode <= fMode)
        throw EKestrelError(kPastStageMessage);
    fMode = aMode;
    if (!fSorted) {
        fItems->Sort(&ComparePriority);
        fSorted = true;
    }
    if (aMode == slmBkLoad) {
        TColl* events = new TColl;
        for (int32_t i = 0; i < fItems->Count();) {
            auto* event = static_cast<TStartupEvent*>(fItems->At(i));
            if (event->Mode() == slmBkLoad) {
                events->Add(static_cast<TObject*>(event));
                fItems->AtDelete(i);
            } else {
                ++i;
            }
        }
        if (events->Count() > 0)
            fBkThread = new TStartupBkThread(events);
        else
            delete events;
        return;
    }
    // The shutdown procedures free what background work may still be using,
    // so a background stage still running is waited for first.
    if (aMode == slmShutdown)
        FinishBackgroundStage();
    // Events registered meanwhile are appended, so the count is read anew each step.
    for (int32_t i = 0; i < fItems->Count();) {
        auto* event = static_cast<TStartupEvent*>(fItems->At(i));
        if (event->Mode() != aMode) {
            ++i;
            continue;
        }
        const std::wstring message = event->DebugMsg();
        event->Execute();
        delete event;
        if (!message.empty())
            StartupDebugLog(message);
        fItems->AtDelete(i);
    }
}

TStartupManager* GetStartupManager() {
    if (StartupShutDown)
        return nullptr;
    if (StartupManager == nullptr)
        StartupManager = new TStartupManager;
    return StartupManager;
}

void __cdecl RunShutdownStage() {
    NoteLifecycleStep(L"RunShutdownStage");
    TStartupManager* manager = GetStartupManager();
    if (manager == nullptr)
        return;
    // An exception may not leave an exit procedure. A failed stage ends the
    // hook here; the manager stays, as the stage cannot run again anyway.
    try {
        manager->Execute(slmShutdown);
    } catch (const std::exception& e) {
        LogException(L"StartupMgr", L"RunShutdownStage", e);
        NoteLifecycleStep(L"RunShutdownStage failed");
        return;
    } catch (...) {
        NoteLifecycleStep(L"RunShutdownStage failed");
        return;
    }
    StartupShutDown = true;
    InterlockedFreeAndNil(StartupManager);
    NoteLifecycleStep(L"Start-up manager freed");
}

void InitializeStartupMgr() {
    if (!ExitHookInstalled) {
        ExitHookInstalled = true;
        atexit(&RunShutdownStage);
    }
    // The first registration makes the manager.
    if (TStartupManager* manager = GetStartupManager()) {
        manager->Register(&FinalizeUtils, slmShutdown, 20050, L"FinalizeUtils");
        manager->Register(&FinalizeHUtils, slmShutdown, 20040, L"FinalizeHUtils");
    }
}

} // namespace rover
