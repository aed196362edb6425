#pragma once
// The optional diagnostic session log kept beside the program file. Lines go
// straight to the OS, unbuffered, so the file is complete up to the last line
// even if the program is killed. The file is only ever appended to.
#include <string>

#include "app/outcome.h"
#include "platform/file.h"

namespace zor {

class SessionLog {
  public:
    // The log at logPath. Nothing is opened yet.
    explicit SessionLog(std::string logPath);
    // Closes an open log with its end banner.
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // The program path with the extension of its file name replaced by ".LOG",
    // or ".LOG" appended when the file name has none. A dot in a folder name
    // or a file name's leading dot is not an extension. Empty for an empty
    // path, so that an unknown program path opens nothing.
    static std::string logPathFor(const std::string& programPath);

    const std::string& path() const { return path_; }
    bool isOpen() const { return file_.isOpen(); }

    // Closes an open log first (with its end banner), then opens the file for
    // appending, creating it when missing, and writes the start banner. On
    // failure stays closed: LogNotOpened.
    Outcome OpenLog();
    // The text's bytes as given (it may hold CR LF and tabs), then CR LF.
    // Nothing while closed; failed writes are ignored.
    void AddLogLine(const std::string& text);
    // The end banner and an empty line, then closes. Nothing while closed.
    void CloseLog();

    // A line writer that calls AddLogLine; valid while this object lives.
    LogWriter writer();

  private:
    std::string path_;
    File file_;
};

}  // namespace zor
