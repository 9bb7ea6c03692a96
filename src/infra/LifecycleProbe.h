// A watch point on the program's start-up and shutdown steps, empty in the program itself.
#pragma once

namespace rover {

// Called with the name of each step and a figure the step reports (or -1).
// A test program sets it before start-up to record the order of the steps.
using TLifecycleProbe = void (*)(const wchar_t* step, int value);
extern TLifecycleProbe LifecycleProbe;

inline void NoteLifecycleStep(const wchar_t* step, int value = -1) {
    if (LifecycleProbe != nullptr)
        LifecycleProbe(step, value);
}

} // namespace rover
