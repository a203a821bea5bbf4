// Drives the real filter dialog from inside its own modal loop, as a user would: a thread timer
// runs a script of steps, each after the messages the step before it posted have been handled
// (timer messages come only when the queue holds nothing else). The dialog runs in the host
// library, so a test sees what a host sees.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/FilterHost.h"

class CDialogDriver {
public:
    // A step returns true when done; false runs it again at the next tick.
    using Step = std::function<bool()>;

    CDialogDriver();
    ~CDialogDriver();
    CDialogDriver(const CDialogDriver&) = delete;
    CDialogDriver& operator=(const CDialogDriver&) = delete;

    // Appends to the script. The script starts by waiting for the dialog to appear.
    void Then(Step step, std::string what = "step");
    void Do(std::function<void()> action);
    void Until(std::function<bool()> condition, std::string what);
    // Lets `ms` milliseconds of the dialog's own timers pass.
    void Sleep(int ms);

    // A step that waits for a message box of the plug-in (caption "Varen Glaze 2"), keeps its
    // text in `text` and presses its OK button.
    void AnswerMessageBox(std::string* text);

    // Runs the filter with the script; a script that has not ended the dialog within the
    // time budget cancels it (and the test fails).
    vg::host::RunResult Run(vg::host::CFilterHost& host, vg::host::CHostImage& image,
                            vg::host::RunOptions options);
    // Steps that never completed (each a failure of the test).
    const std::vector<std::string>& Failures() const { return m_failures; }

    // The dialog and its controls (valid while it runs).
    HWND Dialog() const { return m_dialog; }
    HWND Item(int id) const;
    // A control of page 0, 1 or 2 (Clean, Edges, Texture).
    HWND PageItem(int page, int id) const;
    HWND Page(int page) const;
    std::string Text(HWND window) const;
    std::string Text(int id) const { return Text(Item(id)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    RECT ClientRectOf(HWND window) const;

    // Input as the system delivers it, posted.
    void Click(int id) const;
    void Key(UINT vk, bool ctrl = false, bool alt = false, HWND target = nullptr) const;
    void KeyUp(UINT vk, HWND target = nullptr) const;
    void Type(HWND edit, const std::string& text) const;
    // Mouse in the dialog's client coordinates.
    void MouseDown(POINT at) const;
    void MouseMove(POINT at) const;
    void MouseUp(POINT at) const;
    // A point of a control, in the dialog's client coordinates.
    POINT PointIn(HWND control, int x, int y) const;
    // A menu command, posted to the dialog as the menu sends it.
    void Command(int id) const;

    // A visible dialog of this thread other than the filter dialog with this caption (a
    // message box has the caption "Varen Glaze 2"), or null.
    HWND FindPopup(const char* caption) const;
    // Waits for a message box, checks its text and answers it with `button` (IDOK, IDYES,
    // IDNO).
    void ExpectMessage(std::string text, int button);
    // Waits for a dialog with this caption and runs `action` on it.
    void OnPopup(std::string caption, std::function<void(HWND)> action);

private:
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD);
    // The visible windows of this thread, for the report of a step that timed out.
    static std::string VisibleWindows();
    void Tick();
    void CloseEverything();

    struct Entry {
        Step step;
        std::string what;
    };
    std::vector<Entry> m_steps;
    size_t m_next = 0;
    HWND m_dialog = nullptr;
    bool m_inTick = false;
    // After a failure: every window of the thread is closed at each tick, message boxes and
    // choosers first, so that a test fails instead of waiting in a nested loop.
    HWND m_abandoned = nullptr;
    DWORD m_deadline = 0;
    DWORD m_stepStarted = 0;
    UINT_PTR m_timer = 0;
    std::vector<std::string> m_failures;
};

// The caption of the filter dialog.
extern const char kDialogCaption[];
