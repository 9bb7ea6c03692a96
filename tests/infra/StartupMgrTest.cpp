// The staged start-up manager: stage order, priorities, failures, the background stage and the exit
// hook.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "infra/StartupMgr.h"
#include "support/DebugLog.h"
#include "support/Handles.h"

namespace rover {
namespace {

// What the events of one test did, in order.
struct TJournal {
    std::vector<int> Runs;
    std::vector<int> Deaths;
    std::vector<DWORD> Threads;
};

// An event that records its run and its destruction, and may fail.
struct TProbeEvent : TStartupEvent {
    TProbeEvent(TJournal* journal, int id, TStartupLoadMode mode, int32_t priority,
                bool fails = false, const std::wstring& text = L"")
        : TStartupEvent(mode, priority, text), Journal(journal), Id(id), Fails(fails) {}
    ~TProbeEvent() override { Journal->Deaths.push_back(Id); }
    void Execute() override {
        Journal->Runs.push_back(Id);
        Journal->Threads.push_back(GetCurrentThreadId());
        if (Fails)
            throw std::runtime_error("event failed");
    }
    TJournal* Journal;
    int Id;
    bool Fails;
};

std::vector<std::wstring> LoggedTexts;
void RecordLog(const std::wstring& text) {
    LoggedTexts.push_back(text);
}

class StartupManager : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeKestrelSyncObjs();
        LoggedTexts.clear();
        StartupDebugLog = &RecordLog;
    }
    void TearDown() override { StartupDebugLog = &LogDebug; }
    TJournal journal;
};

std::vector<int> ProcedureRuns;
void Run20050() {
    ProcedureRuns.push_back(20050);
}
void Run20040() {
    ProcedureRuns.push_back(20040);
}
void RunMethod(void* data) {
    ProcedureRuns.push_back(static_cast<int>(reinterpret_cast<intptr_t>(data)));
}

TEST_F(StartupManager, RunsAStageByAscendingPriority) {
    ProcedureRuns.clear();
    TStartupManager manager;
    manager.Register(&Run20050, slmShutdown, 20050, L"FinalizeUtils");
    manager.Register(&Run20040, slmShutdown, 20040, L"FinalizeHUtils");
    manager.Register(TMethod{&RunMethod, reinterpret_cast<void*>(19980)}, slmShutdown, 19980, L"");
    manager.Register(nullptr); // ignored
    EXPECT_EQ(manager.Count(), 3);
    manager.Execute(slmShutdown);
    EXPECT_EQ(ProcedureRuns, (std::vector<int>{19980, 20040, 20050}));
    EXPECT_EQ(LoggedTexts, (std::vector<std::wstring>{L"FinalizeHUtils", L"FinalizeUtils"}));
    EXPECT_EQ(manager.Count(), 0);
    EXPECT_EQ(manager.CurrentMode(), slmShutdown);
}

TEST_F(StartupManager, RefusesStagesThatAreNotLater) {
    struct Case {
        std::vector<TStartupLoadMode> Before;
        TStartupLoadMode Stage;
    };
    const Case cases[] = {{{}, slmNone},
                          {{slmMainFormCreated}, slmAppCreated},
                          {{slmAppCreated}, slmAppCreated},
                          {{slmShutdown}, slmShutdown},
                          {{slmStartImmediately, slmBeforeAppDestroy}, slmMainFormCreated}};
    for (const Case& c : cases) {
        TJournal journal;
        TStartupManager manager;
        for (TStartupLoadMode stage : c.Before)
            manager.Execute(stage);
        manager.Register(new TProbeEvent(&journal, 1, c.Stage, 0));
        const TStartupLoadMode before = manager.CurrentMode();
        try {
            manager.Execute(c.Stage);
            ADD_FAILURE() << "stage " << int(c.Stage) << " ran";
        } catch (const EKestrelError& e) {
            EXPECT_EQ(e.Message(), L"Attempting to execute events from a past stage");
            EXPECT_STREQ(e.what(), "Attempting to execute events from a past stage");
        }
        EXPECT_EQ(manager.CurrentMode(), before);
        EXPECT_EQ(manager.Count(), 1);
        EXPECT_TRUE(journal.Runs.empty());
    }
}

TEST_F(StartupManager, EventsOfSkippedAndPastStagesDieWithTheManager) {
    auto* manager = new TStartupManager;
    manager->Register(new TProbeEvent(&journal, 1, slmAppCreated, 5));
    manager->Register(new TProbeEvent(&journal, 2, slmShutdown, 9));
    manager->Register(new TProbeEvent(&journal, 3, slmBeforeAppDestroy, 1));
    manager->Execute(slmShutdown);
    manager->Register(new TProbeEvent(&journal, 4, slmShutdown, 0)); // its stage is past
    EXPECT_EQ(journal.Runs, (std::vector<int>{2}));
    EXPECT_EQ(journal.Deaths, (std::vector<int>{2}));
    delete manager;
    EXPECT_EQ(journal.Runs, (std::vector<int>{2}));
    // Last registered first; the list was sorted by priority at the stage.
    EXPECT_EQ(journal.Deaths, (std::vector<int>{2, 4, 1, 3}));
}

// Registers a further event for the running stage while it runs.
struct TRegisteringEvent : TProbeEvent {
    TRegisteringEvent(TJournal* journal, TStartupManager* manager)
        : TProbeEvent(journal, 1, slmAppCreated, 10), Manager(manager) {}
    void Execute() override {
        TProbeEvent::Execute();
        Manager->Register(new TProbeEvent(Journal, 3, slmAppCreated, 5));
    }
    TStartupManager* Manager;
};

TEST_F(StartupManager, AnEventRegisteredDuringItsStageRunsInTheSamePass) {
    TStartupManager manager;
    manager.Register(new TRegisteringEvent(&journal, &manager));
    manager.Register(new TProbeEvent(&journal, 2, slmAppCreated, 20));
    manager.Register(new TProbeEvent(&journal, 4, slmShutdown, 0));
    manager.Execute(slmAppCreated);
    // The newcomer comes after every event registered before the stage began,
    // whatever its priority.
    EXPECT_EQ(journal.Runs, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(manager.Count(), 1);
}

TEST_F(StartupManager, AnEventWithoutProcedureStillLogsItsText) {
    TStartupManager manager;
    manager.Register(static_cast<TProcedure>(nullptr), slmStartImmediately, 2, L"empty event");
    manager.Register(new TStartupEvent(slmStartImmediately, 1, L"bare event"));
    manager.Register(TMethod{nullptr, nullptr}, slmStartImmediately, 3, L"empty method");
    manager.Register(new TProbeEvent(&journal, 1, slmStartImmediately, 4, false, L""));
    manager.Execute(slmStartImmediately);
    EXPECT_EQ(LoggedTexts,
              (std::vector<std::wstring>{L"bare event", L"empty event", L"empty method"}));
    EXPECT_EQ(journal.Runs, (std::vector<int>{1}));
    EXPECT_EQ(manager.Count(), 0);
}

TEST_F(StartupManager, AFailingEventStopsTheStageAndStaysRegistered) {
    auto* manager = new TStartupManager;
    manager->Register(new TProbeEvent(&journal, 1, slmShutdown, 1, false, L"first"));
    manager->Register(new TProbeEvent(&journal, 2, slmShutdown, 2, true, L"second"));
    manager->Register(new TProbeEvent(&journal, 3, slmShutdown, 3, false, L"third"));
    EXPECT_THROW(manager->Execute(slmShutdown), std::runtime_error);
    EXPECT_EQ(journal.Runs, (std::vector<int>{1, 2}));
    EXPECT_EQ(journal.Deaths, (std::vector<int>{1}));
    EXPECT_EQ(LoggedTexts, (std::vector<std::wstring>{L"first"}));
    EXPECT_EQ(manager->CurrentMode(), slmShutdown);
    ASSERT_EQ(manager->Count(), 2);
    EXPECT_EQ(static_cast<TProbeEvent*>(manager->Event(0))->Id, 2);
    EXPECT_THROW(manager->Execute(slmShutdown), EKestrelError);
    delete manager;
    EXPECT_EQ(journal.Runs, (std::vector<int>{1, 2}));
    EXPECT_EQ(journal.Deaths, (std::vector<int>{1, 3, 2}));
}

// A background event that waits until the test lets it go.
struct TGatedEvent : TProbeEvent {
    TGatedEvent(TJournal* journal, int id, HANDLE gate, bool fails = false)
        : TProbeEvent(journal, id, slmBkLoad, id, fails), Gate(gate) {}
    void Execute() override {
        WaitForSingleObject(Gate, 30000);
        TProbeEvent::Execute();
    }
    HANDLE Gate;
};

TEST_F(StartupManager, BackgroundStageWithoutEventsMakesNoThread) {
    TStartupManager manager;
    manager.Register(new TProbeEvent(&journal, 1, slmMainFormCreated, 0));
    manager.Execute(slmBkLoad);
    EXPECT_FALSE(manager.HasBackgroundThread());
    EXPECT_EQ(manager.Count(), 1);
    EXPECT_TRUE(journal.Runs.empty());
}

TEST_F(StartupManager, BackgroundStageRunsOnItsOwnThreadAndShutdownWaitsForIt) {
    TKernelHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto* manager = new TStartupManager;
    manager->Register(new TGatedEvent(&journal, 2, gate.Get()));
    manager->Register(new TProbeEvent(&journal, 9, slmShutdown, 0));
    manager->Register(new TGatedEvent(&journal, 1, gate.Get()));
    manager->Execute(slmBkLoad);
    // Returned while the background events still wait at the gate.
    EXPECT_TRUE(manager->HasBackgroundThread());
    EXPECT_EQ(manager->Count(), 1);
    EXPECT_TRUE(journal.Runs.empty());
    SetEvent(gate.Get());
    manager->Execute(slmShutdown);
    EXPECT_FALSE(manager->HasBackgroundThread());
    EXPECT_EQ(journal.Runs, (std::vector<int>{1, 2, 9}));
    ASSERT_EQ(journal.Threads.size(), 3u);
    EXPECT_NE(journal.Threads[0], GetCurrentThreadId());
    EXPECT_EQ(journal.Threads[1], journal.Threads[0]);
    EXPECT_EQ(journal.Threads[2], GetCurrentThreadId());
    // The background events went with their thread, the shutdown event after its run.
    EXPECT_EQ(journal.Deaths, (std::vector<int>{1, 2, 9}));
    delete manager;
    EXPECT_EQ(journal.Deaths.size(), 3u);
}

TEST_F(StartupManager, AFailingBackgroundEventEndsTheRunAndNothingLeaks) {
    TKernelHandle gate(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    auto* manager = new TStartupManager;
    manager->Register(new TGatedEvent(&journal, 1, gate.Get(), true));
    manager->Register(new TGatedEvent(&journal, 2, gate.Get()));
    manager->Execute(slmBkLoad);
    delete manager; // waits for the thread
    EXPECT_EQ(journal.Runs, (std::vector<int>{1}));
    EXPECT_EQ(journal.Deaths, (std::vector<int>{1, 2}));
}

TEST_F(StartupManager, TheExitHookRunsTheShutdownStageAndFreesTheManager) {
    TStartupManager* manager = GetStartupManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(GetStartupManager(), manager);
    manager->Register(new TProbeEvent(&journal, 1, slmShutdown, 7, false, L"shutdown"));
    manager->Register(new TProbeEvent(&journal, 2, slmAppCreated, 1));
    RunShutdownStage();
    EXPECT_EQ(journal.Runs, (std::vector<int>{1}));
    EXPECT_EQ(journal.Deaths, (std::vector<int>{1, 2}));
    EXPECT_EQ(GetStartupManager(), nullptr);
    EXPECT_EQ(GetStartupManager(), nullptr);
    RunShutdownStage(); // a second run finds no manager and makes none
    EXPECT_EQ(GetStartupManager(), nullptr);
}

} // namespace
} // namespace rover
