#pragma once
// User-interface services the core reports through. The wizard installs a Qt
// sink, the command line a stderr sink, tests a recorder. The core never
// prints and never shows a box itself.
#include <functional>
#include <string>

namespace zor {

enum class BoxIcon { Information, Exclamation, Error };

class UiSink {
  public:
    virtual ~UiSink() = default;
    // A modal box with an OK button; returns when the user has closed it.
    virtual void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
    // The warning beep that precedes an error box.
    virtual void beep() {}
    // Hourglass cursor on (true) and back to what it was (false).
    virtual void setBusy(bool) {}
    // Lets the window repaint during long main-thread work (port scan, check).
    virtual void processPendingEvents() {}
};

// The beep, then a modal box with an exclamation icon.
void showError(UiSink& ui, const std::string& text, const std::string& caption);

// The OS's text for the error code in a box captioned "Errore apertura file".
void showSystemError(UiSink& ui, int osError);

// A line writer for the diagnostic blocks of the session log; an empty
// function writes nothing.
using LogWriter = std::function<void(const std::string&)>;

}  // namespace zor
