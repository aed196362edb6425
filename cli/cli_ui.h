#pragma once
// The command line's UI sink: every box becomes a message on stderr.
#include <string>

#include "app/ui_sink.h"

namespace zor::cli {

class StderrUi : public UiSink {
  public:
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;

    // While held, boxes are kept instead of printed: the caller says them
    // again with what it knows more (the port, a hint).
    void hold(bool on) { hold_ = on; }
    // The last box as printed (or as it would have been), without line end.
    const std::string& lastMessage() const { return last_; }
    int messages() const { return messages_; }

  private:
    bool hold_ = false;
    std::string last_;
    int messages_ = 0;
};

// Message texts use "\r\n" like the boxes; a terminal wants "\n".
std::string terminalText(const std::string& text);

// "Caption: text". A caption that ends with its own colon ("Errore:") gets no
// second one.
std::string captioned(const std::string& caption, const std::string& text);

}  // namespace zor::cli
