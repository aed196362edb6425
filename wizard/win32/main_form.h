#pragma once
// TfrmZORMain on the Win32 API: the window of the update wizard. It builds
// its controls from the form table as real Win32 controls, shows what the
// wizard core tells it and hands every user action to the core.
//
// Contract for programs that drive the window from outside (test drivers):
//  - The top-level window's class is MAIN_WINDOW_CLASS
//    (platform/single_instance.h; FindWindowA finds it).
//  - Every control of the form table is a window for the whole life of the
//    form, with the control ID (GetDlgCtrlID) 1000 + static_cast<int>(Ctl::X).
//    Controls sit inside containers (the notebook Pagine, its nine page
//    windows, the panels), so search the form's descendants
//    (EnumChildWindows), not only its direct children (GetDlgItem). The page
//    windows, with the IDs 2000 + page index, are children of Pagine.
//  - Controls on pages not shown, and controls the wizard hides, are not
//    visible (IsWindowVisible is false).
//  - Class by kind: buttons and the check box "Button" (BM_CLICK, BM_GETCHECK),
//    labels "Static", the file name "Edit", memos read-only multi-line "Edit",
//    list views "SysListView32" (LVM_GETITEMCOUNT, LVM_GETNEXTITEM,
//    LVM_GETITEMSTATE; lvSelLang has a check box per row), progress bars
//    "msctls_progress32" (PBM_GETPOS, range 0..100), the animation
//    "SysAnimate32". Texts are read with WM_GETTEXT (the W variant gives the
//    Italian accents right).
//  - Keyboard: Tab follows the form's tab order; Enter clicks the focused
//    button, else "Avanti" when enabled; Esc clicks "Annulla" only while it is
//    enabled; Alt+letter works the '&' accelerators (a label's focuses the
//    control it names). In lvSelLang, Space toggles the focused row's check
//    box, and the wizard takes that like a mouse click on the box.
//  - WM_SHOWINSTANCE (platform/single_instance.h) with wParam 1 brings the
//    window, or the box it shows, to the front, un-minimised; wParam 2
//    changes nothing.
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "wizard/win32/wide_text.h"
#include "wizard/wizard.h"

namespace zor::win32ui {

constexpr int FIRST_CONTROL_ID = 1000;
constexpr int FIRST_PAGE_ID = 2000;
constexpr int controlId(wizard::Ctl control) {
    return FIRST_CONTROL_ID + static_cast<int>(control);
}

class TfrmZORMain : public wizard::WizardView {
  public:
    // Registers the window classes and creates the window, hidden, with all
    // its controls. instance holds the pictures and the transfer clip.
    TfrmZORMain(HINSTANCE instance, wizard::WizardEnvironment env);
    ~TfrmZORMain() override;
    TfrmZORMain(const TfrmZORMain&) = delete;
    TfrmZORMain& operator=(const TfrmZORMain&) = delete;

    // The core's construction (command line boxes included, shown before the
    // window); false when the program is to end with core().exitStatus().
    bool construct();
    wizard::Wizard& core() { return *core_; }
    HWND handle() const { return hwnd_; }
    HWND window(wizard::Ctl control) const { return items_[static_cast<int>(control)].hwnd; }

    // Centres the window on the work area and shows it with the keyboard
    // focus on the first control of the tab order.
    void show();
    // Runs the message loop until the window is gone; the WM_QUIT code.
    int run();
    // One message of any loop (the main one, processPendingEvents): the
    // form's keyboard interface first, then the dialog manager, then the
    // window procedure.
    void dispatch(MSG& msg);

    // A second start woke this instance: when the core's rule says so
    // (wizard::showInstanceAction) the window is minimised and restored and
    // it, or the box it shows, comes to the front.
    void WMShowInstance(WPARAM wParam);

    // ---- WizardView ----
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    void beep() override;
    void setBusy(bool on) override;
    void processPendingEvents() override;
    void showPage(wizard::Page page) override;
    void setVisible(wizard::Ctl control, bool visible) override;
    void setEnabled(wizard::Ctl control, bool enabled) override;
    void setCaption(wizard::Ctl control, const std::string& text) override;
    void setChecked(wizard::Ctl control, bool checked) override;
    bool isChecked(wizard::Ctl control) override;
    void setFocus(wizard::Ctl control) override;
    void clearPortRows() override;
    void addPortRow(const wizard::PortListRow& row) override;
    void focusPortRow(int row, bool select) override;
    void setComponentRows(const std::vector<wizard::ComponentListRow>& rows) override;
    void setBar(wizard::Ctl bar, int value) override;
    void repaintChart() override;
    void setAnimationPlaying(bool playing) override;
    void informationSound() override;
    bool openFileDialog(const wizard::FileDialogRequest& request, std::string& chosenPath) override;
    void closeWindow() override;
    void invokeAndWait(std::function<void()> fn) override;
    void post(std::function<void()> fn) override;

  private:
    // The notebook, its pages, the panels and the chart's paint box.
    static constexpr wchar_t PANE_CLASS[] = L"ZorloadPane";
    // From the transfer worker: run the std::function<void()> at lParam and
    // return (SendMessage), or run and delete it (PostMessage).
    static constexpr UINT WM_ZOR_INVOKE = WM_APP + 1;
    static constexpr UINT WM_ZOR_POST = WM_APP + 2;

    struct Item {
        HWND hwnd = nullptr;
        const wizard::ControlSpec* def = nullptr;
        RECT bounds{};  // in the parent's client area, scaled
        // A label lying over a picture paints its background from it.
        HBRUSH backdrop = nullptr;
        POINT backdropOrigin{};
    };

    // form_messages.cpp: window procedures, keys, the core's handlers.
    template <typename W>
    friend LRESULT CALLBACK win32ui::objectWindowProc(HWND, UINT, WPARAM, LPARAM);
    std::string exceptionTitle() const;
    static LRESULT CALLBACK paneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code);
    void onNotify(const NMHDR& header);
    void clickButton(wizard::Ctl button);
    bool handleKey(const MSG& msg);
    void keepFocusUsable();
    int selectedRow(HWND list) const;

    // form_controls.cpp and form_pictures.cpp: the controls and pictures.
    void createControls();
    HWND createControl(const wizard::ControlSpec& def, HWND parent, const RECT& r);
    void orderSiblings();
    void loadPictures();

    // form_painting.cpp: what the form paints.
    void paintPane(HWND pane);
    LRESULT colourStatic(HDC dc, HWND control);

    // main_form.cpp
    int scale(int pixels) const;
    HFONT font(int pixels, bool bold);
    // The control's index in the form table (0: the form), -1 when it is
    // none of ours.
    int indexOf(HWND control) const;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    DWORD thread_ = 0;
    int dpi_ = 96;
    std::wstring fontFace_;
    std::array<Item, wizard::CONTROL_COUNT> items_{};
    std::array<HWND, wizard::PAGE_COUNT> pages_{};
    std::array<HBITMAP, wizard::CONTROL_COUNT> pictures_{};
    std::array<HFONT, 8> fonts_{};
    std::array<std::pair<int, bool>, 8> fontKeys_{};
    int fontCount_ = 0;
    std::unique_ptr<wizard::Wizard> core_;
    wizard::Wizard* chartCore_ = nullptr;  // what the chart paints from; null once torn down
    HWND savedFocus_ = nullptr;
    int busy_ = 0;
    HCURSOR savedCursor_ = nullptr;
    bool animating_ = false;
    int quiet_ = 0;  // the core's own changes raise no events back
    bool destroyed_ = false;
};

}  // namespace zor::win32ui
