#include "app/session_log.h"

#include <utility>

#include "app/command_line.h"

namespace zor {

namespace {
const char kSessionStart[] = "Session start ---------------------------";
const char kSessionEnd[] = "Session end -----------------------------";
const char kLineEnd[] = "\r\n";
}  // namespace

SessionLog::SessionLog(std::string logPath) : path_(std::move(logPath)) {}

SessionLog::~SessionLog() {
    CloseLog();
}

std::string SessionLog::logPathFor(const std::string& programPath) {
    if (programPath.empty())
        return std::string();
    const size_t nameStart = programPath.size() - programFileName(programPath).size();
    const size_t dot = programPath.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart)
        return programPath + ".LOG";
    return programPath.substr(0, dot) + ".LOG";
}

Outcome SessionLog::OpenLog() {
    CloseLog();
    int error = 0;
    // The OS appends every write at the end, so a session can never
    // overwrite an earlier one, even with another writer on the file.
    // The user's state folder is made only now, for a log really asked for.
    if (!path_.empty())
        makeSessionLogFolder(path_);
    file_ = path_.empty() ? File() : File::openAppend(path_, error);
    if (!file_.isOpen())
        return Outcome::logNotOpened();
    AddLogLine(kSessionStart);
    return Outcome::success();
}

void SessionLog::AddLogLine(const std::string& text) {
    if (!file_.isOpen())
        return;
    // Two writes, as the line and its end arrive: a killed program leaves at
    // most one line without its CR LF.
    file_.write(text.data(), text.size());
    file_.write(kLineEnd, 2);
}

void SessionLog::CloseLog() {
    if (!file_.isOpen())
        return;
    AddLogLine(kSessionEnd);
    AddLogLine(std::string());
    file_.close();
}

LogWriter SessionLog::writer() {
    return [this](const std::string& text) { AddLogLine(text); };
}

}  // namespace zor
