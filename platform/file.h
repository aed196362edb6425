#pragma once
// Plain synchronous files: the update file (read only), the session log
// (append only) and the bench's settings (written whole). Each call goes
// straight to the OS; nothing is buffered here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor {

// Why a file the program writes was refused beyond the OS's own reasons.
enum class FileRefusal {
    None,
    RefusedLink,  // a symbolic link not to be followed, on the way or at the name
    SecondName,   // the file has a second name (a hard link)
    ForeignFile,  // another user's file in a sticky folder
    NotAFolder,   // something else where a folder must be
};

struct FileProblem {
    int error = 0;  // the OS's error code; the refusals give access denied
    FileRefusal refusal = FileRefusal::None;
    std::string at;  // the link or file refused, as walked; empty for an OS error
};

class File {
  public:
    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    File& operator=(File&& other) noexcept;

    // Existing regular file, read only, others may read it too. On failure
    // the result is closed and error holds the OS error code (EISDIR for a
    // directory, EINVAL for a pipe or device, which are never opened for
    // reading).
    static File openRead(const std::string& path, int& error);
    // Created when missing, kept when present; writes go to its end. Only a
    // regular file: anything else is refused without waiting (EISDIR for a
    // folder, ENXIO for a pipe nobody reads, EINVAL for other pipes and
    // devices). Never written through what another user may have planted on
    // the way (EACCES, with problem.refusal saying what and problem.at
    // where). POSIX: every folder of the path is walked from a descriptor,
    // and a symbolic link, there or at the name, is followed only when it
    // belongs to the effective user or to root; the file must have one name
    // only, and in a sticky folder (/tmp) belong to the user or the folder's
    // owner. Windows: no reparse point at the name (a symbolic link or
    // junction: ERROR_ACCESS_DENIED), and one name only.
    static File openAppend(const std::string& path, FileProblem& problem);
    static File openAppend(const std::string& path, int& error) {
        FileProblem problem;
        File f = openAppend(path, problem);
        error = problem.error;
        return f;
    }

    bool isOpen() const { return fd_ >= 0; }
    void close();

    // Size in bytes; false when the OS cannot tell.
    bool size(uint64_t& bytes) const;
    // Moves the position forward; going past the end is allowed.
    bool skip(uint64_t bytes);
    // Reads up to size bytes, retrying short reads until the end of the file.
    // got is what arrived; false on an OS error.
    bool read(void* buffer, size_t size, size_t& got);
    // Writes all bytes; false on an OS error.
    bool write(const void* data, size_t size);

  private:
    int fd_ = -1;
};

// Writes bytes to path whole: a new file beside it, flushed to the disk,
// then renamed over the name, so that a reader, or the disk after a crash,
// finds the old file or the new one, never part of either. makeFolders:
// missing folders on the way are made (POSIX with mode 0700). What stands on
// the way and at the name follows openAppend's rules: POSIX walks every
// folder from a descriptor and follows a symbolic link only when it belongs
// to the effective user or to root (one at the name leads to the file that
// is replaced); the file replaced must be a regular file with one name only,
// in a sticky folder the user's or the folder owner's, and keeps its
// permissions (a new one gets 0644 less the umask). Windows: no reparse
// point at the name, one name only. False with problem saying why; the old
// file is then as it was.
bool writeWholeFile(const std::string& path, const std::string& bytes, bool makeFolders,
                    FileProblem& problem);

// Makes sure a database may keep its file at path, which it opens itself:
// the file passes File::openAppend's rules (created empty when missing;
// with makeFolders, its missing folders made as the state folder is), and
// on POSIX each file the database keeps beside it (path + a suffix of
// beside, "-wal", ...), where one stands, is a regular file with one name,
// or a link of the user's or root's. False with problem saying why.
bool prepareDatabaseFile(const std::string& path, bool makeFolders,
                         const std::vector<std::string>& beside, FileProblem& problem);

// Whether error, from openRead, says that no file stands at the path (nor,
// perhaps, its folder).
bool isNoSuchFile(int error);

// Whether files can be made in folder as openAppend makes them: it is a
// folder, reached by the same rule for links on the way (POSIX). False with
// why in problem otherwise.
bool canWriteIn(const std::string& folder, FileProblem& problem);

// Paths and arguments are UTF-8 on every OS.

// Full path of the running program.
std::string programPath();

// The arguments after the program's path. POSIX: argv as given. Windows:
// taken from the wide command line, since argv holds only its rendering in
// the ANSI code page, which loses any letter outside it.
std::vector<std::string> programArguments(int argc, char** argv);

// Where the session log named besideProgram (a file beside the program)
// really goes: there when the program's folder is writable. A program
// installed in a system folder writes instead, under the same file name, to
// the user's state folder: POSIX (/usr/bin) $XDG_STATE_HOME/zorload/, else
// ~/.local/state/zorload/; Windows (Program Files, for a normal user)
// %LOCALAPPDATA%\Zorload\. besideProgram unchanged when no such variable
// names an absolute folder. POSIX touches nothing on disk; Windows tells a
// writable folder by making a temporary file there and deleting it.
std::string sessionLogPath(const std::string& besideProgram);

// The file name in the user's settings folder of the program: POSIX
// $XDG_CONFIG_HOME/zorload/name, else ~/.config/zorload/name; Windows
// %APPDATA%\Zorload\name (the roaming profile: settings follow the user).
// Empty when no such variable names an absolute folder. Nothing on disk is
// looked at or made.
std::string userConfigPath(const std::string& name);

// The file name in the user's state folder (what the program keeps of its
// own: logs, the history): POSIX $XDG_STATE_HOME/zorload/name, else
// ~/.local/state/zorload/name; Windows %LOCALAPPDATA%\Zorload\name. Empty
// as for userConfigPath; nothing on disk is looked at or made.
std::string userStatePath(const std::string& name);

// The value of the environment variable name, UTF-8 (Windows: read from the
// wide environment, so that a path outside the ANSI code page survives);
// empty when it is not set.
std::string environmentText(const char* name);

// Makes the state folder that sessionLogPath chose for logPath, and any
// missing folder above it (POSIX: with mode 0700; Windows: inheriting the
// permissions of %LOCALAPPDATA%); called only when a log is really opened.
// Nothing for any other path.
void makeSessionLogFolder(const std::string& logPath);

}  // namespace zor
