// The staged start-up manager: work registered for a stage of the program's life runs in priority
// order.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "infra/KestrelSyncObjs.h"
#include "support/Handles.h"

namespace rover {

// The stages in their order of execution.
enum TStartupLoadMode : uint8_t {
    slmNone = 0, // nothing executed yet; cannot itself be executed
    slmStartImmediately = 1,
    slmAppCreated = 2,
    slmBkLoad = 3, // runs on a thread of its own
    slmMainFormCreated = 4,
    slmBeforeAppDestroy = 5,
    slmShutdown = 6,
};

using TProcedure = void (*)();

// A parameterless method bound to an object: Code is called with Data.
struct TMethod {
    void (*Code)(void* data);
    void* Data;
};

// The general exception of the support library. The message is kept as the
// program's UTF-16 text; what() gives its ASCII rendering.
class EKestrelError : public std::exception {
  public:
    explicit EKestrelError(const wchar_t* message);
    const char* what() const noexcept override { return narrow_.c_str(); }
    const std::wstring& Message() const { return message_; }

  private:
    std::wstring message_;
    std::string narrow_;
};

constexpr wchar_t kPastStageMessage[] = L"Attempting to execute events from a past stage";

class TStartupEvent : public TObject {
  public:
    TStartupEvent(TProcedure aEvent, TStartupLoadMode aMode, int32_t aPriority,
                  const std::wstring& aDebugMsg);
    // Without a procedure, for subclasses.
    TStartupEvent(TStartupLoadMode aMode, int32_t aPriority, const std::wstring& aDebugMsg);

    virtual void Execute();

    TStartupLoadMode Mode() const { return fMode; }
    void SetMode(TStartupLoadMode mode) { fMode = mode; }
    int32_t Priority() const { return fPriority; }
    void SetPriority(int32_t priority) { fPriority = priority; }
    const std::wstring& DebugMsg() const { return fDebugMsg; }

  protected:
    TProcedure fEvent = nullptr;
    TStartupLoadMode fMode;
    int32_t fPriority;
    std::wstring fDebugMsg;
};

class TStartupEventMethod : public TStartupEvent {
  public:
    TStartupEventMethod(TMethod aEvent, TStartupLoadMode aMode, int32_t aPriority,
                        const std::wstring& aDebugMsg);
    void Execute() override;

  private:
    TMethod fEventMethod;
};

// Runs the background stage's events, first to last, on a thread of its own
// that starts at construction. It owns the list and the events in it: the
// destructor waits for the thread to end, then destroys them.
class TStartupBkThread : public TObject {
  public:
    explicit TStartupBkThread(TColl* aEvents);
    ~TStartupBkThread() override;
    // Waits until every event has run (or one has failed).
    void WaitFor();
    bool Started() const { return static_cast<bool>(fThread); }

  private:
    static unsigned __stdcall ThreadProc(void* self);
    void Run();

    TColl* fEvents;
    TKernelHandle fThread;
};

// -1, 0 or 1 by ascending signed priority of two TStartupEvent items.
int32_t ComparePriority(void* left, void* right);

class TStartupManager : public TObject {
  public:
    TStartupManager();
    // Waits for a background stage still running, then destroys every event
    // not run, last to first.
    ~TStartupManager() override;

    // Takes ownership; a null event is ignored.
    void Register(TStartupEvent* aEvent);
    void Register(TProcedure aEvent, TStartupLoadMode aMode, int32_t aPriority,
                  const std::wstring& aDebugMsg);
    void Register(TMethod aEvent, TStartupLoadMode aMode, int32_t aPriority,
                  const std::wstring& aDebugMsg);

    // Runs a stage later than every stage before; throws EKestrelError otherwise.
    void Execute(TStartupLoadMode aMode);

    TStartupLoadMode CurrentMode() const { return fMode; }
    void SetCurrentMode(TStartupLoadMode aMode) { Execute(aMode); }
    // Events registered and not yet run or handed to the background stage.
    int32_t Count() const { return fItems->Count(); }
    TStartupEvent* Event(int32_t index) const {
        return static_cast<TStartupEvent*>(fItems->At(index));
    }
    bool HasBackgroundThread() const { return fBkThread != nullptr; }
    // Waits for the background stage, if one runs, and frees its thread and events.
    void FinishBackgroundStage();

  private:
    TColl* fItems;
    TStartupLoadMode fMode = slmNone;
    bool fSorted = false;
    TStartupBkThread* fBkThread = nullptr;
};

// The one manager, made on first use; null for good once the shutdown stage has run.
TStartupManager* GetStartupManager();

// The program-exit hook: runs slmShutdown, then frees the manager.
void __cdecl RunShutdownStage();

// Where the manager writes an event's debug text; the debug log unless a test looks.
extern void (*StartupDebugLog)(const std::wstring& text);

// Module start-up: installs RunShutdownStage as an exit procedure and
// registers the shutdown procedures of Utils and HUtils.
void InitializeStartupMgr();

} // namespace rover
