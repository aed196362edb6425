#pragma once
// One running wizard per session: a named mutex, and a second start wakes the
// running window with WM_SHOWINSTANCE instead of opening another.

namespace zor::win32ui {

// The message a second start sends to the running window (WM_USER + 1), with
// wParam 1 and lParam 0.
constexpr unsigned WM_SHOWINSTANCE = 0x401;

// The class the main window is registered under; a second start finds the
// running window by it.
extern const char* const MAIN_WINDOW_CLASS;

// True when this process now owns the mutex "MorvantiZorloadMutex" and may
// run. False when another instance runs: every top-level window of class
// MAIN_WINDOW_CLASS has then been sent WM_SHOWINSTANCE (wParam 1) and has
// handled it.
bool CheckSingleInstance();

// Releases and closes the mutex if this process owns it; safe otherwise.
void ReleaseSingleInstance();

}  // namespace zor::win32ui
