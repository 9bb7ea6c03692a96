// The application object: a hidden window that carries the title and icon and owns every dialog.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/Handles.h"

namespace rover {

class TForm;

class TApplication {
  public:
    explicit TApplication(HINSTANCE instance);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    HINSTANCE Instance() const { return instance_; }
    HWND Handle() const { return handle_; }

    void SetTitle(const std::wstring& title);
    std::wstring Title() const;
    // Loads the program's icon group at the system's large and small sizes.
    void LoadIcons(const wchar_t* name);
    HICON Icon() const { return icon_.Get(); }
    HICON SmallIcon() const { return smallIcon_.Get(); }

    // Initialises COM for this (the user-interface) thread.
    void Initialize();

    // Runs every message that is waiting, then returns.
    void ProcessMessages();

    // The cursor shown over every dialog of the program; null for each window's own.
    void SetScreenCursor(HCURSOR cursor);
    HCURSOR ScreenCursor() const { return screenCursor_; }

    // Dialog ownership: forms register themselves; Release destroys a form
    // the next time messages are processed.
    void AddForm(TForm* form);
    void RemoveForm(TForm* form);
    void ReleaseForm(TForm* form);
    bool OwnsForm(const TForm* form) const;
    size_t FormCount() const { return forms_.size(); }

    // Hides owned windows and destroys every form still owned.
    void Cleanup();
    // Registers the clean-up of the global application object as an exit procedure.
    static void RegisterCleanupAtExit();

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool TranslateDialogMessage(MSG& msg);

    HINSTANCE instance_;
    HWND handle_ = nullptr;
    TIconHandle icon_;
    TIconHandle smallIcon_;
    HCURSOR screenCursor_ = nullptr;
    bool comInitialized_ = false;
    std::vector<TForm*> forms_;
};

// The program's one application object; null outside the main block's run.
extern TApplication* Application;

} // namespace rover
