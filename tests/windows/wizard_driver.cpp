// zor_wizard_driver: drives a running zorload.exe from another process, as a
// user would, through its window's own controls. Commands are given as
// arguments and run in order; several are separated by "--":
//
//   zor_wizard_driver wait-text lblStepTitle "Trasferimento dati" 30 -- bar barFase
//
// "bench" first drives the bench window (zorload.exe -banco) instead: its
// controls by the names of BENCH_CONTROLS, its tiles with "tile" and "retry".
//
// Controls are found by the names of the form definition: a control's ID is
// 1000 + its value in the wizard's control enumeration (Ctl). Waits take an
// optional time-out in seconds (default 20). The first expectation that fails
// or times out ends the run with a message on stderr and exit status 1; a
// usage error gives 2.
//
// Texts are compared with tests/support/window_texts.h. The chart and the
// icons of message boxes are read off the screen, so the wizard's window must
// lie uncovered on the display.
#include <windows.h>
// (the common controls' and shell's headers need windows.h first)
#include <commctrl.h>
#include <dlgs.h>
#include <shellapi.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "support/window_texts.h"
#include "wizard/form_layout.h"
#include "wizard/win32/bench_window.h"

namespace {

// The wizard's class, or the bench window's after "bench".
const char* CLASS_NAME = "TfrmZORMain";
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

namespace bench = zor::stationwin;
const struct {
    const char* name;
    int id;
} BENCH_CONTROLS[] = {{"file", bench::ID_FILE},
                      {"fileInfo", bench::ID_FILE_INFO},
                      {"all", bench::ID_ALL},
                      {"components", bench::ID_COMPONENTS},
                      {"start", bench::ID_START},
                      {"stop", bench::ID_STOP},
                      {"totals", bench::ID_TOTALS},
                      {"status", bench::ID_STATUS},
                      {"session", bench::ID_SESSION},
                      {"copy", bench::ID_COPY},
                      {"positions", bench::ID_POSITIONS}};
// The positions editor's, in its own dialog.
const struct {
    const char* name;
    int id;
} POSITIONS_CONTROLS[] = {
    {"posList", bench::ID_POSITIONS_LIST},     {"posName", bench::ID_POSITIONS_NAME},
    {"posPort", bench::ID_POSITIONS_PORT},     {"posAdd", bench::ID_POSITIONS_ADD},
    {"posRemove", bench::ID_POSITIONS_REMOVE}, {"posUp", bench::ID_POSITIONS_UP},
    {"posDown", bench::ID_POSITIONS_DOWN},     {"posSave", bench::ID_POSITIONS_SAVE}};

DWORD wizardProcess();
std::vector<HWND> dialogs(DWORD pid);

// A control of the positions editor, once the editor is open; null for a
// name that is not one.
HWND positionsControl(const std::string& name) {
    for (const auto& c : POSITIONS_CONTROLS) {
        if (name != c.name)
            continue;
        HWND found = nullptr;
        const DWORD pid = wizardProcess();
        waitFor(
            20,
            [&] {
                for (HWND d : dialogs(pid))
                    if ((found = GetDlgItem(d, c.id)) != nullptr)
                        return true;
                return false;
            },
            [] { return std::string("the positions editor is not open"); });
        return found;
    }
    return nullptr;
}

int controlId(const std::string& name) {
    for (const auto& c : zor::wizard::formControls())
        if (name == c.name)
            return CONTROL_ID_BASE + static_cast<int>(c.id);
    for (const auto& c : BENCH_CONTROLS)
        if (name == c.name)
            return c.id;
    fail("unknown control " + name);
}

// The control anywhere under the wizard's window (pages and panels may be
// windows of their own).
HWND control(const std::string& name) {
    if (HWND w = positionsControl(name))
        return w;
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

// A part of the bench window's tile (0 the first): "frame" is the tile's own
// text, what a screen reader says.
HWND tilePart(const std::string& tile, const std::string& part) {
    static const char* const parts[] = {"frame", "name",  "port",    "state", "serial",
                                        "bar",   "times", "failure", "step",  "retry"};
    HWND frame = GetDlgItem(wizard(), bench::FIRST_TILE_ID + std::atoi(tile.c_str()));
    if (!frame)
        fail("the bench has no tile " + tile);
    for (int i = 0; i < int(sizeof parts / sizeof *parts); ++i)
        if (part == parts[i])
            return i == 0 ? frame : GetDlgItem(frame, i);
    fail("a tile has no part " + part);
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

// ---- What the user reads -----------------------------------------------------

namespace texts = zor::test::window_texts;
using zor::wizard::Ctl;
using zor::wizard::Kind;
using zor::wizard::Page;

// Whether text reads as the printf format: %s stands for any text, %d for a
// whole number, %% for a percent sign.
bool matches(const char* f, const char* t) {
    if (f[0] == '%' && f[1] == 's') {
        for (;; ++t) {
            if (matches(f + 2, t))
                return true;
            if (!*t)
                return false;
        }
    }
    if (f[0] == '%' && f[1] == 'd') {
        if (*t == '-')
            ++t;
        if (*t < '0' || *t > '9')
            return false;
        while (*t >= '0' && *t <= '9')
            ++t;
        return matches(f + 2, t);
    }
    if (f[0] == '%' && f[1] == '%')
        return *t == '%' && matches(f + 2, t + 1);
    return *f == *t && (!*f || matches(f + 1, t + 1));
}

// The format with its first conversions replaced by args, in order; the
// conversions left over still stand for anything.
std::string fillIn(const char* format, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (const char* f = format; *f; ++f) {
        if (f[0] == '%' && (f[1] == 's' || f[1] == 'd') && next < args.size()) {
            for (char c : args[next++])
                out += c == '%' ? std::string("%%") : std::string(1, c);
            ++f;
        } else {
            out += *f;
        }
    }
    return out;
}

// The page a control lies on: -1 for the frame around the notebook; the
// start panel's controls are on Pres.
int pageOf(Ctl id) {
    for (const zor::wizard::ControlSpec* c = &zor::wizard::control(id);;
         c = &zor::wizard::control(c->parent)) {
        if (c->parent == Ctl::Pagine)
            return static_cast<int>(c->page);
        if (c->parent == Ctl::Form)
            return c->id == Ctl::pnlPresenta ? 0 : -1;
    }
}

int pageIndex(const std::string& name) {
    for (int i = 0; i < zor::wizard::PAGE_COUNT; ++i)
        if (name == zor::wizard::pageName(static_cast<Page>(i)))
            return i;
    fail("unknown page " + name);
}

// A text a list view copies out: the message carries a pointer to a query
// structure (LVCOLUMNW, LVITEMW) naming the buffer, so the structure and its
// text live in the wizard's memory for the moment.
template <class Query>
std::string listText(HWND list, UINT message, WPARAM wParam, Query query, const std::string& what) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        fail("cannot open the wizard's process");
    wchar_t text[128] = {};
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(Query) + sizeof text, MEM_COMMIT, PAGE_READWRITE));
    query.pszText = reinterpret_cast<wchar_t*>(remote + sizeof query);
    query.cchTextMax = 127;
    WriteProcessMemory(process, remote, &query, sizeof query, nullptr);
    WriteProcessMemory(process, remote + sizeof query, text, sizeof text, nullptr);
    // LVM_GETCOLUMNW answers TRUE, LVM_GETITEMTEXTW the length (0 when empty).
    const bool got =
        remote && (ask(list, message, wParam, LPARAM(remote)) != 0 || message != LVM_GETCOLUMNW) &&
        ReadProcessMemory(process, remote + sizeof query, text, sizeof text - 2, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!got)
        fail("cannot read " + what + " of a list");
    return utf8(text);
}

std::string columnText(HWND list, int column) {
    LVCOLUMNW query{};
    query.mask = LVCF_TEXT;
    return listText(list, LVM_GETCOLUMNW, column, query, "column " + std::to_string(column));
}

std::string cellText(HWND list, int row, int column) {
    LVITEMW query{};
    query.iSubItem = column;
    return listText(list, LVM_GETITEMTEXTW, row, query,
                    "row " + std::to_string(row) + " column " + std::to_string(column));
}

// Every text the user can read on the page, against the table of texts:
// the caption, the step title and text, the captions of the frame's and the
// page's controls and the list headers. A control that shows a text the
// table does not know is a failure too.
void checkTexts(int page) {
    std::vector<std::string> wrong;
    auto expect = [&](const std::string& what, const std::string& seen, const char* format) {
        if (!matches(format, seen.c_str()))
            wrong.push_back(what + " reads \"" + seen + "\", not \"" + format + "\"");
    };
    expect("the caption", textOf(wizard()), texts::WINDOW_TITLE);
    const bool start = page == 0;
    for (Ctl step : {Ctl::lblStepTitle, Ctl::lblStepText}) {
        if ((IsWindowVisible(control(zor::wizard::control(step).name)) != 0) == start)
            wrong.push_back(std::string(zor::wizard::control(step).name) +
                            (start ? " is visible" : " is hidden"));
    }
    if (!start) {
        expect("lblStepTitle", textOf(control("lblStepTitle")), texts::PAGES[page].title);
        expect("lblStepText", textOf(control("lblStepText")), texts::PAGES[page].text);
    }
    std::string help;
    for (const char* line : texts::HELP_LINES)
        help += (help.empty() ? "" : "\r\n") + std::string(line);
    for (const auto& c : zor::wizard::formControls()) {
        if (c.kind == Kind::Form || c.id == Ctl::lblStepTitle || c.id == Ctl::lblStepText)
            continue;
        const int on = pageOf(c.id);
        if (on != -1 && on != page)
            continue;
        HWND w = control(c.name);
        const std::string seen = textOf(w);
        const char* caption = texts::caption(c.name);
        if (c.kind == Kind::ListView) {
            int column = 0;
            for (const auto& header : texts::COLUMNS) {
                if (std::string(header.name) == c.name) {
                    expect(std::string(c.name) + " column " + std::to_string(column),
                           columnText(w, column), header.text);
                    ++column;
                }
            }
        } else if (c.id == Ctl::memPg2Help) {
            expect(c.name, seen, help.c_str());
        } else if (c.id == Ctl::btnAvanti) {
            expect(c.name, seen, page == int(Page::Done) ? texts::NEXT_ON_DONE.text : caption);
        } else if (c.id == Ctl::lblProgramVersion) {
            expect(c.name, seen, texts::PROGRAM_VERSION.text);
        } else if (c.id == Ctl::cbLogga) {
            expect(c.name, seen, IsWindowVisible(w) ? texts::LOG_BOX.text : caption);
        } else if (c.id == Ctl::lbProgresso || c.id == Ctl::lbFase) {
            const char* busy =
                c.id == Ctl::lbFase ? texts::PHASE_PROGRESS.text : texts::OVERALL_PROGRESS.text;
            if (!matches(caption, seen.c_str()))
                expect(c.name, seen, busy);
        } else if (c.id == Ctl::lbErroreLingua) {
            bool known = false;
            for (const auto& verdict : texts::VERDICTS)
                known = known || seen == verdict.text;
            if (!known)
                wrong.push_back(std::string(c.name) + " shows no verdict: \"" + seen + "\"");
        } else if (caption) {
            expect(c.name, seen, caption);
        } else if (c.kind == Kind::Label || c.kind == Kind::Button || c.kind == Kind::CheckBox) {
            wrong.push_back(std::string(c.name) + " shows \"" + seen +
                            "\", a text missing from the table");
        }
    }
    if (!wrong.empty()) {
        std::string all;
        for (const auto& w : wrong)
            all += "\n  " + w;
        fail(std::to_string(wrong.size()) + " texts differ:" + all);
    }
}

// ---- Message boxes and dialogs of the wizard ---------------------------------

// The wizard's process: the one behind a window of its class, shown or not
// (the command line's boxes come before the window shows).
DWORD wizardProcess() {
    DWORD pid = 0;
    waitFor(
        20,
        [&] {
            for (HWND w : classWindows()) {
                char title[64] = {};
                GetWindowTextA(w, title, sizeof title);
                if (std::string(title) != LISTENER_TITLE) {
                    GetWindowThreadProcessId(w, &pid);
                    return true;
                }
            }
            return false;
        },
        [] { return std::string("no window of class ") + CLASS_NAME; });
    return pid;
}

// The dialog boxes (class "#32770") the wizard's process shows.
std::vector<HWND> dialogs(DWORD pid) {
    std::vector<HWND> all, found;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all) {
        char name[16] = {};
        DWORD owner = 0;
        GetClassNameA(w, name, sizeof name);
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w) && std::string(name) == "#32770")
            found.push_back(w);
    }
    return found;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool isIconStatic(HWND w) {
    char name[16] = {};
    GetClassNameA(w, name, sizeof name);
    return std::string(name) == "Static" && (GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

// The message box the wizard shows: a dialog of its process with an icon.
HWND findMessageBox(DWORD pid) {
    for (HWND d : dialogs(pid))
        for (HWND c : children(d))
            if (isIconStatic(c))
                return d;
    return nullptr;
}

HWND messageBoxWindow(double seconds) {
    const DWORD pid = wizardProcess();
    HWND found = nullptr;
    waitFor(
        seconds, [&] { return (found = findMessageBox(pid)) != nullptr; },
        [] { return std::string("the wizard shows no message box"); });
    return found;
}

// Screen pixels (0x00RRGGBB), read from the display as the user sees them.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[std::size_t(y) * width + x]; }
};

// Paints with paint() into a memory bitmap of width x height, or copies the
// screen at (left, top) when paint is empty.
Pixels pixels(int width, int height, const std::function<void(HDC)>& paint, int left = 0,
              int top = 0) {
    Pixels out;
    out.width = width;
    out.height = height;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    if (paint)
        paint(dc);
    else
        BitBlt(dc, 0, 0, width, height, screen, left, top, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    out.px.assign(p, p + std::size_t(width) * height);
    for (uint32_t& v : out.px)
        v &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return out;
}

Pixels onScreen(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    return pixels(r.right, r.bottom, nullptr, origin.x, origin.y);
}

uint32_t rgb(COLORREF c) {
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", unsigned(v));
    return text;
}

// Which system icon the box shows: its pixels against the three icons drawn
// on the box's own background, the closest one.
texts::Icon boxIcon(HWND box) {
    HWND icon = nullptr;
    for (HWND c : children(box))
        if (isIconStatic(c))
            icon = c;
    const Pixels seen = onScreen(icon);
    static const struct {
        texts::Icon icon;
        int id;
    } kinds[] = {{texts::Icon::Information, 32516},  // IDI_INFORMATION
                 {texts::Icon::Exclamation, 32515},  // IDI_EXCLAMATION
                 {texts::Icon::Error, 32513}};       // IDI_ERROR
    texts::Icon best = texts::Icon::Information;
    double bestDistance = -1;
    for (const auto& k : kinds) {
        const Pixels drawn = pixels(seen.width, seen.height, [&](HDC dc) {
            HBRUSH back = CreateSolidBrush(
                RGB(seen.at(0, 0) >> 16, (seen.at(0, 0) >> 8) & 0xFF, seen.at(0, 0) & 0xFF));
            RECT all{0, 0, seen.width, seen.height};
            FillRect(dc, &all, back);
            DeleteObject(back);
            DrawIconEx(dc, 0, 0, LoadIconW(nullptr, MAKEINTRESOURCEW(k.id)), 0, 0, 0, nullptr,
                       DI_NORMAL);
        });
        double distance = 0;
        for (std::size_t i = 0; i < seen.px.size(); ++i)
            for (int shift : {0, 8, 16})
                distance += std::abs(int((seen.px[i] >> shift) & 0xFF) -
                                     int((drawn.px[i] >> shift) & 0xFF));
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = k.icon;
        }
    }
    return best;
}

const char* iconName(texts::Icon icon) {
    return icon == texts::Icon::Information   ? "information"
           : icon == texts::Icon::Exclamation ? "exclamation"
                                              : "error";
}

// The box named in the table of texts, with args filling in its formats:
// caption, text and icon as the user sees them.
void checkBox(const std::vector<std::string>& a) {
    const texts::Box* want = nullptr;
    for (const auto& b : texts::BOXES)
        if (a[0] == b.name)
            want = &b;
    if (!want)
        fail("the table has no box " + a[0]);
    HWND box = messageBoxWindow(20);
    const std::vector<std::string> args(a.begin() + 1, a.end());
    // What the box shows, read off the screen: a box just opened may not
    // have painted its icon yet, so a mismatch is read again for a while.
    const auto differences = [&] {
        std::string text;
        for (HWND c : children(box)) {
            char name[16] = {};
            GetClassNameA(c, name, sizeof name);
            if (std::string(name) == "Static" && !isIconStatic(c) && !textOf(c).empty())
                text = textOf(c);
        }
        std::string wrong;
        if (!matches(fillIn(want->caption, args).c_str(), textOf(box).c_str()))
            wrong += " caption \"" + textOf(box) + "\", not \"" + want->caption + "\";";
        if (!matches(fillIn(want->text, args).c_str(), text.c_str()))
            wrong += " text \"" + text + "\", not \"" + fillIn(want->text, args) + "\";";
        const texts::Icon icon = boxIcon(box);
        if (icon != want->icon)
            wrong += std::string(" the ") + iconName(icon) + " icon, not the " +
                     iconName(want->icon) + ";";
        return wrong;
    };
    std::string wrong;
    waitFor(
        3, [&] { return (wrong = differences()).empty(); },
        [&] { return "the box shows" + wrong; });
}

// Presses a box's OK (or a dialog's Cancel) and waits until it is gone.
void dismiss(HWND box, int button) {
    HWND b = GetDlgItem(box, button);
    if (b)
        PostMessageW(b, BM_CLICK, 0, 0);
    else
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    // Gone, not only hidden: until then its modal loop takes the wizard's
    // messages, keys included.
    waitFor(
        10, [&] { return !IsWindow(box); }, [] { return std::string("the box does not close"); });
}

// The file dialog of "Sfoglia...": its title, and the filters of its file
// type list with the first one chosen; then cancelled.
void checkFileDialog() {
    const DWORD pid = wizardProcess();
    HWND dialog = nullptr;
    waitFor(
        20,
        [&] {
            for (HWND d : dialogs(pid))
                if (GetDlgItem(d, cmb1))
                    return (dialog = d) != nullptr;
            return false;
        },
        [] { return std::string("the wizard shows no file dialog"); });
    std::string wrong;
    if (textOf(dialog) != texts::OPEN_DIALOG_TITLE)
        wrong += " title \"" + textOf(dialog) + "\";";
    HWND types = GetDlgItem(dialog, cmb1);
    const int count = int(ask(types, CB_GETCOUNT));
    const int n = int(sizeof texts::OPEN_DIALOG_FILTERS / sizeof texts::OPEN_DIALOG_FILTERS[0]);
    if (count != n)
        wrong += " " + std::to_string(count) + " file types;";
    for (int i = 0; i < count && i < n; ++i) {
        std::wstring item(ask(types, CB_GETLBTEXTLEN, i) + 1, L'\0');
        item.resize(ask(types, CB_GETLBTEXT, i, LPARAM(&item[0])));
        if (utf8(item) != texts::OPEN_DIALOG_FILTERS[i].text)
            wrong += " type " + std::to_string(i) + " \"" + utf8(item) + "\";";
    }
    if (ask(types, CB_GETCURSEL) != 0)
        wrong += " type " + std::to_string(ask(types, CB_GETCURSEL)) + " chosen;";
    dismiss(dialog, IDCANCEL);
    if (!wrong.empty())
        fail("the file dialog shows" + wrong);
}

// ---- The allocation chart ----------------------------------------------------

int CALLBACK fontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// The form's font as the window makes it: "MS Sans Serif" where the system
// has it, else the face of its dialogs; 8 points.
HFONT formFont(bool bold) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    std::wcscpy(lf.lfFaceName, L"MS Sans Serif");
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &lf, fontFound, LPARAM(&found), 0);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (!found) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        std::wcscpy(lf.lfFaceName, metrics.lfMessageFont.lfFaceName);
    }
    lf.lfHeight = -MulDiv(8, dpi, 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    return CreateFontIndirectW(&lf);
}

// One box of the chart as the user sees it: the partition over blocks
// first..first+count-1 of the 8, filled in its type's colour, in a raised
// outer edge (highlight top and left, dark shadow bottom and right) around
// an inner one (shadow bottom and right, light top and left), labelled in
// bold or regular type. Returns what differs.
std::string chartBoxProblems(const std::vector<std::string>& a) {
    static const struct {
        const char* type;
        uint32_t fill;
    } fills[] = {{"PGM", 0x00FF00}, {"DATAREL", 0xFFFF00}, {"MILO", 0xFF0000}, {"FREE", 0x00FFFF}};
    uint32_t fill = 0x1000000;
    for (const auto& f : fills)
        if (a[2] == f.type)
            fill = f.fill;
    if (fill > 0xFFFFFF || (a[4] != "bold" && a[4] != "regular"))
        fail("usage: chart-box FIRST COUNT PGM|DATAREL|MILO|FREE LABEL bold|regular");
    const int first = std::atoi(a[0].c_str()), count = std::atoi(a[1].c_str());
    const Pixels chart = onScreen(control("pbSelLang"));
    const int width = chart.width, h = chart.height, w = width - 5;
    const int x0 = first * w / 8 + 5, x1 = (first + count) * w / 8, mid = (x0 + x1) / 2, ym = h / 2;
    const uint32_t highlight = rgb(GetSysColor(COLOR_BTNHIGHLIGHT)),
                   dark = rgb(GetSysColor(COLOR_3DDKSHADOW)),
                   shadow = rgb(GetSysColor(COLOR_BTNSHADOW)),
                   light = rgb(GetSysColor(COLOR_3DLIGHT));
    const struct {
        const char* what;
        int x, y;
        uint32_t want;
    } points[] = {
        {"fill", x0 + 3, h - 9, fill},         {"outer top", mid, 4, highlight},
        {"outer left", x0 - 1, ym, highlight}, {"outer bottom", mid, h - 4, dark},
        {"outer right", x1 + 1, ym, dark},     {"inner bottom", mid, h - 5, shadow},
        {"inner right", x1, ym, shadow},       {"inner top", mid, 5, light},
        {"inner left", x0, ym, light},
    };
    std::string wrong;
    for (const auto& p : points) {
        if (chart.at(p.x, p.y) != p.want)
            wrong += std::string(" ") + p.what + " " + hex(chart.at(p.x, p.y)) + ", not " +
                     hex(p.want) + ";";
    }
    // The label, against the same text drawn here in the form's font, regular
    // and bold, on the box's fill; the black outline of the fill is left out.
    const int lw = x1 - x0 - 2, lh = h - 17;
    std::wstring label;
    label.resize(MultiByteToWideChar(CP_UTF8, 0, a[3].c_str(), -1, nullptr, 0));
    MultiByteToWideChar(CP_UTF8, 0, a[3].c_str(), -1, &label[0], int(label.size()));
    label.pop_back();
    int differ[2] = {0, 0};
    for (int bold = 0; bold < 2; ++bold) {
        HFONT font = formFont(bold != 0);
        const Pixels drawn = pixels(lw, lh, [&](HDC dc) {
            HBRUSH back = CreateSolidBrush(RGB(fill >> 16, (fill >> 8) & 0xFF, fill & 0xFF));
            RECT r{0, 0, lw, lh};
            FillRect(dc, &r, back);
            DeleteObject(back);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(0, 0, 0));
            SelectObject(dc, font);
            DrawTextW(dc, label.c_str(), int(label.size()), &r, DT_CENTER | DT_WORDBREAK);
        });
        DeleteObject(font);
        for (int y = 0; y < lh - 1; ++y)
            for (int x = 1; x < lw - 1; ++x)
                differ[bold] += drawn.at(x, y) != chart.at(x0 + 1 + x, 11 + y);
    }
    const bool bold = a[4] == "bold";
    if (differ[bold] != 0 || differ[!bold] == 0)
        wrong += " the label differs from \"" + a[3] + "\" in regular type in " +
                 std::to_string(differ[0]) + " pixels, in bold in " + std::to_string(differ[1]) +
                 ";";
    return wrong;
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

// Dispatches this thread's messages for ms milliseconds, or until done().
void pumpMessages(DWORD ms, const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
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
    pumpMessages(DWORD(seconds * 1000), [] { return woken; });
    if (!woken)
        fail("the listening window got no 0x401 with wParam 1");
    // A second start walks on from this window to the next of the class:
    // gone too soon, it would end that walk before the wizard is reached.
    pumpMessages(2000, [] { return false; });
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
         // Right after a box has closed the focus may still be on the box's
         // button: the key goes to the window then. A dialog the window owns
         // (the positions editor) takes its own keys.
         if (target != wizard() && !IsChild(wizard(), target) &&
             GetWindow(GetAncestor(target, GA_ROOT), GW_OWNER) != wizard())
             target = wizard();
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
    {"row-text", 2, 3, "LIST ROW [COLUMN]",
     [](const Args& a) {
         std::printf("%s\n", cellText(control(a[0]), std::atoi(a[1].c_str()),
                                      a.size() > 2 ? std::atoi(a[2].c_str()) : 0)
                                 .c_str());
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
    {"checked-rows", 2, 3, "LIST none|ROW,ROW... [s]",
     [](const Args& a) {
         // Exactly these rows ticked, every other one not.
         std::string want = a[1] == "none" ? "" : a[1], seen;
         waitFor(
             seconds(a, 2),
             [&] {
                 HWND list = control(a[0]);
                 seen.clear();
                 for (int row = 0; row < ask(list, LVM_GETITEMCOUNT); ++row) {
                     if (rowChecked(list, row))
                         seen += (seen.empty() ? "" : ",") + std::to_string(row);
                 }
                 return seen == want;
             },
             [&] {
                 return a[0] + " has " + (seen.empty() ? "none" : seen) + " ticked, not " + a[1];
             });
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
    {"texts", 1, 1, "PAGE", [](const Args& a) { checkTexts(pageIndex(a[0])); }},
    {"box", 1, 4, "NAME [ARG]...", [](const Args& a) { checkBox(a); }},
    {"ok", 0, 0, "", [](const Args&) { dismiss(messageBoxWindow(20), IDOK); }},
    {"no-box", 1, 1, "s",
     [](const Args& a) {
         const DWORD pid = wizardProcess();
         const DWORD start = GetTickCount();
         do {
             if (HWND box = findMessageBox(pid))
                 fail("the wizard shows a box: " + textOf(box));
             Sleep(50);
         } while (GetTickCount() - start < DWORD(seconds(a, 0) * 1000));
     }},
    {"close", 0, 0, "",
     [](const Args&) {
         // The title bar's close box.
         PostMessageW(wizard(), WM_SYSCOMMAND, SC_CLOSE, 0);
     }},
    {"is", 2, 3, "CONTROL visible|hidden|enabled|disabled [s]",
     [](const Args& a) {
         const bool visible = a[1] == "visible" || a[1] == "hidden";
         const bool want = a[1] == "visible" || a[1] == "enabled";
         if (!visible && a[1] != "enabled" && a[1] != "disabled")
             fail("usage: is CONTROL visible|hidden|enabled|disabled [s]");
         waitFor(
             seconds(a, 2),
             [&] {
                 HWND w = control(a[0]);
                 return ((visible ? IsWindowVisible(w) : IsWindowEnabled(w)) != 0) == want;
             },
             [&] { return a[0] + " is not " + a[1]; });
     }},
    {"focus", 1, 1, "CONTROL", [](const Args& a) { focus(control(a[0])); }},
    {"focused", 1, 2, "CONTROL [s]",
     [](const Args& a) {
         HWND want = control(a[0]);
         waitFor(
             seconds(a, 1), [&] { return focused() == want; },
             [&] {
                 return "the focus is on control ID " + std::to_string(GetDlgCtrlID(focused())) +
                        ", not on " + a[0];
             });
     }},
    {"alt", 1, 1, "LETTER",
     [](const Args& a) {
         // Alt held with the letter: system keys, with the context bit.
         HWND target = focused();
         const UINT vk = UINT(std::toupper(static_cast<unsigned char>(a[0][0])));
         const LPARAM scan = LPARAM(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16 | (LPARAM(1) << 29);
         PostMessageW(target, WM_SYSKEYDOWN, vk, scan | 1);
         PostMessageW(target, WM_SYSKEYUP, vk, scan | 1 | (LPARAM(3) << 30));
     }},
    {"file-dialog", 0, 0, "", [](const Args&) { checkFileDialog(); }},
    {"chart-box", 5, 6, "FIRST COUNT TYPE LABEL bold|regular [s]",
     [](const Args& a) {
         std::string wrong;
         waitFor(
             seconds(a, 5), [&] { return (wrong = chartBoxProblems(a)).empty(); },
             [&] { return "the chart's box over blocks " + a[0] + "+" + a[1] + " shows" + wrong; });
     }},
    {"bench", 0, 0, "", [](const Args&) { CLASS_NAME = bench::BENCH_WINDOW_CLASS; }},
    {"tile", 3, 4, "TILE PART TEXT [s]",
     [](const Args& a) {
         std::string seen;
         waitFor(
             seconds(a, 3),
             [&] { return (seen = textOf(tilePart(a[0], a[1]))).find(a[2]) != std::string::npos; },
             [&] {
                 return "tile " + a[0] + "'s " + a[1] + " reads \"" + seen + "\", not \"" + a[2] +
                        "\"";
             });
     }},
    {"contains", 2, 3, "CONTROL TEXT [s]",
     [](const Args& a) {
         std::string seen;
         waitFor(
             seconds(a, 2),
             [&] { return (seen = textOf(control(a[0]))).find(a[1]) != std::string::npos; },
             [&] { return a[0] + " reads \"" + seen + "\", without \"" + a[1] + "\""; });
     }},
    {"clipboard", 1, 2, "TEXT [s]",
     [](const Args& a) {
         // The Unicode text on the clipboard, as a spreadsheet pasting it
         // would read it.
         std::string seen;
         waitFor(
             seconds(a, 3),
             [&] {
                 seen.clear();
                 if (OpenClipboard(nullptr)) {
                     if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                         seen = utf8(static_cast<const wchar_t*>(GlobalLock(data)));
                         GlobalUnlock(data);
                     }
                     CloseClipboard();
                 }
                 return seen.find(a[0]) != std::string::npos;
             },
             [&] { return "the clipboard holds \"" + seen + "\", without \"" + a[0] + "\""; });
     }},
    {"retry", 1, 2, "TILE [s]",
     [](const Args& a) {
         HWND b = nullptr;
         waitFor(
             seconds(a, 1),
             [&] {
                 b = tilePart(a[0], "retry");
                 return IsWindowVisible(b) && IsWindowEnabled(b);
             },
             [&] { return "tile " + a[0] + "'s Riprova is not visible and enabled"; });
         PostMessageW(b, BM_CLICK, 0, 0);
     }},
    {"bar-moves", 1, 2, "BAR [s]",
     [](const Args& a) {
         const long start = long(ask(control(a[0]), PBM_GETPOS));
         long pos = start;
         waitFor(
             seconds(a, 1), [&] { return (pos = long(ask(control(a[0]), PBM_GETPOS))) != start; },
             [&] { return a[0] + " stays at " + std::to_string(pos); });
     }},
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
