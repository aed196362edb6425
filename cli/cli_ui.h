#pragma once
// The command line's UI sink: every box becomes a message on stderr.
#include "app/ui_sink.h"

namespace zor::cli {

class StderrUi : public UiSink {
  public:
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
};

// Message texts use "\r\n" like the boxes; a terminal wants "\n".
std::string terminalText(const std::string& text);

}  // namespace zor::cli
