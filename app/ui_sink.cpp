#include "app/ui_sink.h"

#include "platform/system_error.h"

namespace zor {

void showError(UiSink& ui, const std::string& text, const std::string& caption) {
    ui.beep();
    ui.messageBox(text, caption, BoxIcon::Exclamation);
}

void showSystemError(UiSink& ui, int osError) {
    showError(ui, systemErrorText(osError), "Errore apertura file");
}

}  // namespace zor
