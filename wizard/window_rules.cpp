#include "wizard/window_rules.h"

namespace zor::wizard {
namespace {

Ctl flaggedButton(bool ControlSpec::*flag) {
    for (const ControlSpec& def : formControls()) {
        if (def.kind == Kind::Button && def.*flag)
            return def.id;
    }
    return Ctl::Form;
}

}  // namespace

Ctl defaultButton() {
    static const Ctl button = flaggedButton(&ControlSpec::defaultButton);
    return button;
}

Ctl cancelButton() {
    static const Ctl button = flaggedButton(&ControlSpec::cancelButton);
    return button;
}

Ctl keyTarget(FormKey key, Ctl focused) {
    if (key == FormKey::Escape)
        return cancelButton();
    if (focused != Ctl::Form && control(focused).kind == Kind::Button)
        return focused;
    return defaultButton();
}

ShowInstanceAction showInstanceAction(uint32_t wParam, bool windowShown) {
    if (wParam == 2 || !windowShown)
        return ShowInstanceAction::Ignore;
    return ShowInstanceAction::BringToFront;
}

ListChange listChange(const RowState& before, const RowState& after) {
    const bool same = before.checked == after.checked && before.selected == after.selected &&
                      before.focused == after.focused;
    return same ? ListChange::Text : ListChange::State;
}

}  // namespace zor::wizard
