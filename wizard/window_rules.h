#pragma once
// Rules of the main window that both toolkits follow: which button a key
// presses, what a second start's message does, which changes of the
// component list count as a change of its state. Each window translates its
// toolkit's events into these terms and acts on the answer.
#include <cstdint>

#include "wizard/form_layout.h"

namespace zor::wizard {

enum class FormKey { Enter, Escape };

// The button a key presses: Enter the focused button, else the form's
// default button; Esc the form's cancel button. focused is the control
// holding the focus (Ctl::Form when none does). The window presses it only
// when it is visible and enabled.
Ctl keyTarget(FormKey key, Ctl focused);

// The form's default and cancel buttons, from the control table.
Ctl defaultButton();
Ctl cancelButton();

// What the main window does with the message a second start sends it
// (WM_SHOWINSTANCE): wParam 2 is ignored, any other brings the window, or the
// box it shows, to the front; a window not shown yet (the command line's
// boxes are still up) stays as it is.
enum class ShowInstanceAction { Ignore, BringToFront };
ShowInstanceAction showInstanceAction(uint32_t wParam, bool windowShown);

// A row of the component list as the user sees its state.
struct RowState {
    bool checked = false;
    bool selected = false;
    bool focused = false;
};

// A change of the component list that touches the check mark, the selection
// or the focus changes the list's state (the plan is made again); any other
// (the row's text, its data) does not.
enum class ListChange { State, Text };
ListChange listChange(const RowState& before, const RowState& after);

}  // namespace zor::wizard
