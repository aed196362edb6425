#pragma once
// What the wizard core asks of a window. The Qt form and the Win32 form each
// implement it; tests implement it with a recorder. Every text is UTF-8.
//
// The view reports the user's actions by calling the core's handlers
// (btnAvantiClick, fileNameOnChange, lwPorteOnchange, ...). A view never
// reports a change the core itself made through this interface.
#include <functional>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "text/outcome_text.h"
#include "wizard/form_layout.h"

namespace zor::wizard {

struct PortListRow {
    std::string port;    // the caption: one of COM_PORTS, or an adapter's device name
    std::string status;  // column "Informazioni"
};

struct ComponentListRow {
    std::string name;     // column "Componente"
    std::string version;  // column "Versione"
    int slot;             // item data: the component's slot in the update file
};

struct FileDialogRequest {
    std::string title;
    std::vector<FileFilter> filters;  // the first is the initial choice
    std::string initialDirectory;
};

class WizardView {
  public:
    virtual ~WizardView() = default;

    // A modal box with an OK button; returns when the user has closed it.
    virtual void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
    // The warning beep that precedes an error box.
    virtual void beep() {}
    // Hourglass cursor on (true) and back to what it was (false); nested.
    virtual void setBusy(bool) {}
    // Lets the window repaint during long work on its thread (port scan,
    // connection check).
    virtual void processPendingEvents() {}

    // The notebook shows this page.
    virtual void showPage(Page page) = 0;
    virtual void setVisible(Ctl control, bool visible) = 0;
    virtual void setEnabled(Ctl control, bool enabled) = 0;
    // Labels, buttons, the check box, the edit, memos (lines separated by
    // "\n") and Ctl::Form (the window caption).
    virtual void setCaption(Ctl control, const std::string& text) = 0;
    virtual void setChecked(Ctl control, bool checked) = 0;
    virtual bool isChecked(Ctl control) = 0;
    virtual void setFocus(Ctl control) = 0;
    // The port list, filled a row at a time while the ports are probed: it
    // is emptied, rows are appended, then one row gets the focus mark (the
    // list's current row, not the keyboard focus) and, when select is set,
    // becomes the selected row as well.
    virtual void clearPortRows() = 0;
    virtual void addPortRow(const PortListRow& row) = 0;
    virtual void focusPortRow(int row, bool select) = 0;
    // Replaces the component list's rows, all unchecked.
    virtual void setComponentRows(const std::vector<ComponentListRow>& rows) = 0;
    // A progress bar's position, 0..100.
    virtual void setBar(Ctl bar, int value) = 0;
    // The chart must be painted again, now (it shows the core's chartTable()).
    virtual void repaintChart() = 0;
    virtual void setAnimationPlaying(bool playing) = 0;
    // The system's information sound.
    virtual void informationSound() = 0;
    // The modal file-open dialog; false when the user cancelled.
    virtual bool openFileDialog(const FileDialogRequest& request, std::string& chosenPath) = 0;
    // Asks the toolkit to close the window; the close rule (FormCloseQuery)
    // and FormClose run through the core as for the title bar's close box.
    virtual void closeWindow() = 0;
    // From the transfer worker: run fn on the window's thread and return when
    // it has run.
    virtual void invokeAndWait(std::function<void()> fn) = 0;
    // From the transfer worker: run fn on the window's thread soon.
    virtual void post(std::function<void()> fn) = 0;
};

}  // namespace zor::wizard
