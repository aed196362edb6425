// zor_wizard_driver: drives a running zorload.exe from another process, as a
// user would, through its window's own controls. Commands are given as
// arguments and run in order; several are separated by "--":
//
//   zor_wizard_driver wait-text lblStepTitle "Trasferimento dati" 30 -- bar barFase
//
// Controls are found by the names of the form definition: a control's ID is
// 1000 + its value in the wizard's control enumeration (Ctl). Waits take an
// optional time-out in seconds (default 20). The first expectation that fails
// or times out ends the run with a message on stderr and exit status 1; a
// usage error gives 2.
#include <windows.h>
// (the common controls' and shell's headers need windows.h first)
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "wizard/form_layout.h"

namespace {

const char* const CLASS_NAME = "TfrmZORMain";
constexpr UINT WM_SHOWINSTANCE = WM_USER + 1;
constexpr int CONTROL_ID_BASE = 1000;

struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) {
    throw Failure{message};
}

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

BOOL CALLBACK collect(HWND w, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
    return TRUE;
}

// Top-level windows of the wizard's class, in Z order.
std::vector<HWND> classWindows() {
    std::vector<HWND> all, ours;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all) {
        char name[256] = {};
        GetClassNameA(w, name, sizeof name);
        if (std::string(name) == CLASS_NAME)
            ours.push_back(w);
    }
    return ours;
}

// The title of our own window of the wizard's class (see listen).
const char* const LISTENER_TITLE = "zor_wizard_driver";

// The wizard's window: a visible top-level window of its class, not ours.
HWND findWizard() {
    for (HWND w : classWindows()) {
        char title[64] = {};
        GetWindowTextA(w, title, sizeof title);
        if (IsWindowVisible(w) && std::string(title) != LISTENER_TITLE)
            return w;
    }
    return nullptr;
}

// Polls until check() holds or the time-out passes; then fails with what()
// (which may describe the state last seen).
void waitFor(double seconds, const std::function<bool()>& check,
             const std::function<std::string()>& what) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (check())
            return;
        if (GetTickCount() - start > DWORD(seconds * 1000))
            fail(what() + " (after " + std::to_string(int(seconds * 1000)) + " ms)");
        Sleep(50);
    }
}

HWND wizard(double seconds = 20) {
    HWND w = nullptr;
    waitFor(
        seconds, [&] { return (w = findWizard()) != nullptr; },
        [] { return std::string("no visible window of class ") + CLASS_NAME; });
    return w;
}

int controlId(const std::string& name) {
    for (const auto& c : zor::wizard::formControls())
        if (name == c.name)
            return CONTROL_ID_BASE + static_cast<int>(c.id);
    fail("unknown control " + name);
}

// The control anywhere under the wizard's window (pages and panels may be
// windows of their own).
HWND control(const std::string& name) {
    const int id = controlId(name);
    std::vector<HWND> all;
    EnumChildWindows(wizard(), collect, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all)
        if (GetDlgCtrlID(w) == id)
            return w;
    fail("the window has no control " + name + " (ID " + std::to_string(id) + ")");
}

// A message to a window of the other process, which must answer within 5 s.
LRESULT ask(HWND w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(w, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
        fail("the window does not answer message " + std::to_string(message));
    return LRESULT(result);
}

std::string textOf(HWND w) {
    std::wstring text(ask(w, WM_GETTEXTLENGTH) + 1, L'\0');
    text.resize(ask(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
    return utf8(text);
}

// A key press and release posted to the control, with the scan code and
// repeat count that a keyboard gives.
void postKey(HWND w, UINT vk) {
    const LPARAM scan = LPARAM(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(w, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(w, WM_KEYUP, vk, scan | 1 | (LPARAM(3) << 30));
}

// Keyboard focus to a control of another process: share its thread's input
// state for the moment.
void focus(HWND w) {
    const DWORD target = GetWindowThreadProcessId(w, nullptr);
    const DWORD self = GetCurrentThreadId();
    AttachThreadInput(self, target, TRUE);
    SetFocus(w);
    AttachThreadInput(self, target, FALSE);
}

HWND focused() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(wizard(), nullptr), &info);
    return info.hwndFocus ? info.hwndFocus : wizard();
}

UINT virtualKey(const std::string& name) {
    static const struct {
        const char* name;
        UINT vk;
    } keys[] = {{"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"SPACE", VK_SPACE}, {"TAB", VK_TAB},
                {"HOME", VK_HOME},     {"DOWN", VK_DOWN},     {"UP", VK_UP}};
    for (const auto& k : keys)
        if (name == k.name)
            return k.vk;
    char* end = nullptr;
    const long vk = std::strtol(name.c_str(), &end, 0);
    if (name.empty() || *end || vk <= 0 || vk > 0xfe)
        fail("unknown key " + name);
    return UINT(vk);
}

bool rowChecked(HWND list, int row) {
    return ((ask(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12) & 0xf) == 2;
}

bool isFront(HWND w) {
    HWND front = GetForegroundWindow();
    return front && (front == w || GetAncestor(front, GA_ROOTOWNER) == w);
}

// A window of the wizard's class of our own, so that a second start of the
// program has two windows to wake. It takes the foreground from the wizard,
// prints "listening", then waits for a WM_SHOWINSTANCE that asks to come
// forward (wParam other than 2).
bool woken = false;

LRESULT CALLBACK listenerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m != WM_SHOWINSTANCE)
        return DefWindowProcA(w, m, wp, lp);
    std::printf("received 0x401 wParam %u\n", unsigned(wp));
    std::fflush(stdout);
    woken = woken || wp != 2;
    return 0;
}

void listen(double seconds) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = listenerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = CLASS_NAME;
    HWND w = nullptr;
    if (RegisterClassA(&wc))
        w = CreateWindowA(CLASS_NAME, LISTENER_TITLE, WS_OVERLAPPEDWINDOW, 0, 0, 200, 80, nullptr,
                          nullptr, wc.hInstance, nullptr);
    if (!w)
        fail("cannot create the listening window");
    ShowWindow(w, SW_SHOWNORMAL);
    SetForegroundWindow(w);
    std::printf("listening\n");
    std::fflush(stdout);
    const DWORD start = GetTickCount();
    while (!woken && GetTickCount() - start < DWORD(seconds * 1000)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    if (!woken)
        fail("the listening window got no 0x401 with wParam 1");
}

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    int minArgs, maxArgs;
    const char* usage;
    void (*run)(const Args&);
};

double seconds(const Args& a, std::size_t at) {
    return a.size() > at ? std::atof(a[at].c_str()) : 20;
}

const Command COMMANDS[] = {
    {"wait-window", 0, 1, "[s]", [](const Args& a) { wizard(seconds(a, 0)); }},
    {"wait-visible", 1, 2, "CONTROL [s]",
     [](const Args& a) {
         waitFor(
             seconds(a, 1), [&] { return IsWindowVisible(control(a[0])) != 0; },
             [&] { return a[0] + " is not visible"; });
     }},
    {"wait-text", 2, 3, "CONTROL TEXT [s]",
     [](const Args& a) {
         std::string seen;
         waitFor(
             seconds(a, 2), [&] { return (seen = textOf(control(a[0]))) == a[1]; },
             [&] { return a[0] + " reads \"" + seen + "\", not \"" + a[1] + "\""; });
     }},
    {"text", 1, 1, "CONTROL",
     [](const Args& a) { std::printf("%s\n", textOf(control(a[0])).c_str()); }},
    {"click", 1, 2, "BUTTON [s]",
     [](const Args& a) {
         // Only what a user can click: a visible, enabled button.
         HWND b = nullptr;
         waitFor(
             seconds(a, 1),
             [&] {
                 b = control(a[0]);
                 return IsWindowVisible(b) && IsWindowEnabled(b);
             },
             [&] { return a[0] + " is not visible and enabled"; });
         PostMessageW(b, BM_CLICK, 0, 0);
     }},
    {"key", 1, 2, "KEY [CONTROL]",
     [](const Args& a) {
         HWND target = a.size() > 1 ? control(a[1]) : focused();
         if (a.size() > 1)
             focus(target);
         postKey(target, virtualKey(a[0]));
     }},
    {"list-count", 1, 3, "LIST [N [s]]",
     [](const Args& a) {
         if (a.size() == 1) {
             std::printf("%ld\n", long(ask(control(a[0]), LVM_GETITEMCOUNT)));
             return;
         }
         long n = -1;
         waitFor(
             seconds(a, 2),
             [&] {
                 return (n = long(ask(control(a[0]), LVM_GETITEMCOUNT))) == std::atol(a[1].c_str());
             },
             [&] { return a[0] + " has " + std::to_string(n) + " rows, not " + a[1]; });
     }},
    {"check-row", 2, 2, "LIST ROW",
     [](const Args& a) {
         // As on the keyboard: focus the list, Home, Down to the row, Space.
         HWND list = control(a[0]);
         const int row = std::atoi(a[1].c_str());
         if (row < 0 || row >= ask(list, LVM_GETITEMCOUNT))
             fail(a[0] + " has no row " + a[1]);
         const bool before = rowChecked(list, row);
         focus(list);
         postKey(list, VK_HOME);
         for (int i = 0; i < row; ++i)
             postKey(list, VK_DOWN);
         postKey(list, VK_SPACE);
         waitFor(
             5, [&] { return rowChecked(list, row) != before; },
             [&] { return "Space did not toggle row " + a[1] + " of " + a[0]; });
     }},
    {"bar", 1, 1, "BAR",
     [](const Args& a) { std::printf("%ld\n", long(ask(control(a[0]), PBM_GETPOS))); }},
    {"wait-bar", 2, 3, "BAR MIN [s]",
     [](const Args& a) {
         long pos = 0;
         waitFor(
             seconds(a, 2),
             [&] {
                 return (pos = long(ask(control(a[0]), PBM_GETPOS))) >= std::atol(a[1].c_str());
             },
             [&] { return a[0] + " stands at " + std::to_string(pos) + ", below " + a[1]; });
     }},
    {"minimise", 0, 0, "",
     [](const Args&) {
         HWND w = wizard();
         ShowWindowAsync(w, SW_MINIMIZE);
         waitFor(
             5, [&] { return IsIconic(w) != 0; }, [] { return std::string("not minimised"); });
     }},
    {"wait-minimised", 1, 2, "yes|no [s]",
     [](const Args& a) {
         const bool want = a[0] == "yes";
         waitFor(
             seconds(a, 1), [&] { return (IsIconic(wizard()) != 0) == want; },
             [&] {
                 return std::string(want ? "the window is not minimised"
                                         : "the window is minimised");
             });
     }},
    {"is-front", 1, 2, "yes|no [s]",
     [](const Args& a) {
         const bool want = a[0] == "yes";
         waitFor(
             seconds(a, 1), [&] { return isFront(wizard()) == want; },
             [&] {
                 return std::string(want ? "the wizard is not in front" : "the wizard is in front");
             });
     }},
    {"activate", 0, 0, "",
     [](const Args&) {
         // What a click on its title bar does: nothing else activates a
         // window on a display without a window manager.
         HWND w = wizard();
         SetForegroundWindow(w);
         waitFor(
             5, [&] { return isFront(w); },
             [] { return std::string("the wizard cannot be brought to the front"); });
     }},
    {"window-count", 1, 1, "N",
     [](const Args& a) {
         const int n = int(classWindows().size());
         if (n != std::atoi(a[0].c_str()))
             fail(std::to_string(n) + " windows of class " + CLASS_NAME + ", not " + a[0]);
     }},
    {"notify", 1, 1, "WPARAM",
     [](const Args& a) { ask(wizard(), WM_SHOWINSTANCE, std::strtoul(a[0].c_str(), nullptr, 0)); }},
    {"rect", 0, 0, "",
     [](const Args&) {
         RECT r{};
         GetWindowRect(wizard(), &r);
         std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
     }},
    {"listen", 0, 1, "[s]", [](const Args& a) { listen(seconds(a, 0)); }},
};

const Command* command(const Args& step) {
    for (const auto& c : COMMANDS) {
        const int n = int(step.size()) - 1;
        if (!step.empty() && step[0] == c.name && n >= c.minArgs && n <= c.maxArgs)
            return &c;
    }
    return nullptr;
}

}  // namespace

int main() {
    // The arguments as UTF-8, whatever the ANSI code page.
    int argc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<Args> steps(1);
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(wargv[i]) == L"--")
            steps.emplace_back();
        else
            steps.back().push_back(utf8(wargv[i]));
    }
    LocalFree(wargv);

    for (const Args& step : steps) {
        if (command(step))
            continue;
        std::fprintf(stderr, "usage: zor_wizard_driver COMMAND [ARGS] [-- COMMAND [ARGS]]...\n");
        for (const auto& c : COMMANDS)
            std::fprintf(stderr, "  %s %s\n", c.name, c.usage);
        return 2;
    }
    for (const Args& step : steps) {
        try {
            command(step)->run(Args(step.begin() + 1, step.end()));
        } catch (const Failure& f) {
            std::string line;
            for (const auto& s : step)
                line += (line.empty() ? "" : " ") + s;
            std::fprintf(stderr, "FAIL: %s: %s\n", line.c_str(), f.message.c_str());
            return 1;
        }
    }
    return 0;
}
