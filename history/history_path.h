#pragma once
// Where the bench's history lives, and the checks a path passes before the
// database is opened there.
#include <string>

#include "history/history_store.h"

namespace zor {

// The history file's name in the user's state folder.
constexpr const char* HISTORY_FILE_NAME = "storico.sqlite";

// POSIX $XDG_STATE_HOME/zorload/storico.sqlite, else
// ~/.local/state/zorload/storico.sqlite; Windows
// %LOCALAPPDATA%\Zorload\storico.sqlite. Empty when no such variable names
// an absolute folder. Nothing on disk is looked at.
std::string defaultHistoryPath();

// The history a program uses: given (an option), else $ZORLOAD_HISTORY,
// else setting (the bench's settings file), else the default. isDefault
// says whether the default was taken.
std::string chosenHistoryPath(const std::string& given, bool& isDefault,
                              const std::string& setting = std::string());

// Makes sure path may hold the database by the rules for every file the
// program writes (platform/file.h, File::openAppend): no other user's link
// on the way or at the name, a regular file with one name, in a sticky
// folder the user's own. The file is created when missing (empty: the
// database starts in it). makeFolders: the missing folders on the way are
// made as the state folder is (POSIX 0700). POSIX also checks the files
// the database keeps beside it (-wal, -shm, -journal) by the same rules.
HistoryResult prepareHistoryFile(const std::string& path, bool makeFolders);

// Whether text names a server's history (postgresql://... or
// postgres://...) rather than a file.
bool isServerHistory(const std::string& text);
// A server's address for a person: without the password it may carry.
std::string serverForPeople(const std::string& url);

}  // namespace zor
