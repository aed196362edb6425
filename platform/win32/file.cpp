// Files through the Win32 calls. The handle lives behind a C runtime
// descriptor (_open_osfhandle), so File keeps one int on every OS; closing
// the descriptor closes the handle.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/text.h"

namespace zor {

namespace {

HANDLE handleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// A descriptor for a freshly opened handle, or -1 with error set. Only disk
// files: a console, a COM port, NUL or a pipe would make a read wait for
// input, or a write wait for a reader.
int adopt(HANDLE handle, int crtFlags, int& error) {
    if (handle == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(::GetLastError());
        return -1;
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        error = ERROR_INVALID_PARAMETER;
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags);
    if (fd < 0) {
        ::CloseHandle(handle);
        error = ERROR_TOO_MANY_OPEN_FILES;
        return -1;
    }
    error = 0;
    return fd;
}

}  // namespace

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

File File::openRead(const std::string& path, int& error) {
    // Others may read the update file meanwhile; it must exist. A folder
    // cannot be opened this way (access denied, error 5).
    HANDLE h = ::CreateFileW(win32::toUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    File f;
    f.fd_ = adopt(h, _O_RDONLY | _O_BINARY, error);
    return f;
}

namespace {

// Opens path for writing, created when missing, kept when present, shared
// with others as share says. A symbolic link or junction someone planted at
// the name is opened itself, not followed, and then refused: nothing is
// ever written through one. Nor through a second name (a hard link) of some
// other file. INVALID_HANDLE_VALUE with the last error set on failure, and
// problem's refusal and place for a refused name.
HANDLE openWritable(const std::string& path, DWORD share, FileProblem& problem) {
    HANDLE h = ::CreateFileW(win32::toUtf16(path).c_str(), GENERIC_WRITE, share, nullptr,
                             OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (h != INVALID_HANDLE_VALUE) {
        const bool known = ::GetFileInformationByHandle(h, &info) != 0;
        if (!known || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            info.nNumberOfLinks > 1) {
            if (known) {
                problem.refusal = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                      ? FileRefusal::RefusedLink
                                      : FileRefusal::SecondName;
                problem.at = path;
            }
            ::CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
            ::SetLastError(ERROR_ACCESS_DENIED);
        }
    }
    return h;
}

}  // namespace

File File::openAppend(const std::string& path, FileProblem& problem) {
    problem = FileProblem();
    // Readable by others while we write (a technician may look at the log
    // during a session).
    HANDLE h = openWritable(path, FILE_SHARE_READ, problem);
    File f;
    f.fd_ = adopt(h, _O_WRONLY | _O_BINARY, problem.error);
    if (f.isOpen() &&
        ::SetFilePointer(handleOf(f.fd_), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
        problem.error = static_cast<int>(::GetLastError());
        f.close();
    }
    return f;
}

bool canWriteIn(const std::string& folder, FileProblem& problem) {
    problem = FileProblem();
    const DWORD attributes = ::GetFileAttributesW(win32::toUtf16(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        problem.error = static_cast<int>(::GetLastError());
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        problem.error = ERROR_DIRECTORY;
        problem.refusal = FileRefusal::NotAFolder;
        return false;
    }
    return true;
}

void File::close() {
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
}

bool File::size(uint64_t& bytes) const {
    if (fd_ < 0)
        return false;
    DWORD high = 0;
    const DWORD low = ::GetFileSize(handleOf(fd_), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        return false;
    bytes = (uint64_t{high} << 32) | low;
    return true;
}

bool File::skip(uint64_t bytes) {
    if (fd_ < 0 || bytes > 0x7FFFFFFFFFFFFFFFull)
        return false;
    LONG high = static_cast<LONG>(bytes >> 32);
    const DWORD low = ::SetFilePointer(handleOf(fd_), static_cast<LONG>(bytes & 0xFFFFFFFFu), &high,
                                       FILE_CURRENT);
    return !(low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR);
}

bool File::read(void* buffer, size_t size, size_t& got) {
    got = 0;
    if (fd_ < 0)
        return false;
    auto* p = static_cast<char*>(buffer);
    while (got < size) {
        const size_t left = size - got;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!::ReadFile(handleOf(fd_), p + got, chunk, &n, nullptr))
            return false;
        if (n == 0)
            break;  // end of file
        got += n;
    }
    return true;
}

// Only the log is written, and always at its end: another program appending
// to the same file meanwhile never has its lines overwritten.
bool File::write(const void* data, size_t size) {
    if (fd_ < 0)
        return false;
    const HANDLE h = handleOf(fd_);
    if (::SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR)
        return false;
    const auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const size_t left = size - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!::WriteFile(h, p + done, chunk, &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

std::string programPath() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return std::string();
    return win32::toUtf8(std::wstring(buffer, n));
}

namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The program's folder in the user's folder the variable names (Zorload
// under it); empty when the variable does not name an absolute folder
// (C:\... or \\server\...).
std::string programFolderIn(const wchar_t* variable) {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetEnvironmentVariableW(variable, buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return std::string();
    std::wstring folder(buffer, n);
    const bool drive = folder.size() >= 3 && folder[1] == L':' && isSeparator(folder[2]);
    const bool share = folder.size() >= 3 && isSeparator(folder[0]) && isSeparator(folder[1]);
    if (!drive && !share)
        return std::string();
    while (isSeparator(folder.back()))
        folder.pop_back();
    return win32::toUtf8(folder) + "\\Zorload";
}

// %LOCALAPPDATA%\Zorload, the user's own folder on this machine.
std::string stateFolder() {
    return programFolderIn(L"LOCALAPPDATA");
}

// Makes every missing folder of path up to its last separator; one that
// exists is left as it is. A new one inherits the permissions of the folder
// it is made in.
void makeFoldersOf(const std::wstring& path) {
    for (size_t at = 3; at < path.size(); ++at) {
        if (isSeparator(path[at]))
            ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

// Whether the user may make files in the folder that ends at its closing
// separator: a hidden file of this process is made there and goes again as
// it is closed, also when the process dies meanwhile. The folder's access
// control list alone would not tell a read-only medium or share. The
// manifest asks for no elevation, so Windows never redirects the file into
// the user's VirtualStore instead.
bool folderTakesFiles(const std::string& folderWithSeparator) {
    const std::wstring probe = win32::toUtf16(folderWithSeparator) + L"zorload-" +
                               std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    const HANDLE h = ::CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

}  // namespace

std::string sessionLogPath(const std::string& besideProgram) {
    const size_t slash = besideProgram.find_last_of("\\/");
    if (besideProgram.empty() || slash == std::string::npos ||
        folderTakesFiles(besideProgram.substr(0, slash + 1)))
        return besideProgram;
    const std::string logFolder = stateFolder();
    return logFolder.empty() ? besideProgram : logFolder + "\\" + besideProgram.substr(slash + 1);
}

void makeSessionLogFolder(const std::string& logPath) {
    const std::string logFolder = stateFolder();
    if (logFolder.empty() || logPath.compare(0, logFolder.size() + 1, logFolder + "\\") != 0 ||
        logPath.find_first_of("\\/", logFolder.size() + 1) != std::string::npos)
        return;
    // Every missing folder on the way, inheriting the permissions of
    // %LOCALAPPDATA%, the user's own.
    makeFoldersOf(win32::toUtf16(logPath));
}

std::string userStatePath(const std::string& name) {
    const std::string folder = stateFolder();
    return folder.empty() ? folder : folder + "\\" + name;
}

bool prepareDatabaseFile(const std::string& path, bool makeFolders, const std::vector<std::string>&,
                         FileProblem& problem) {
    problem = FileProblem();
    if (makeFolders)
        makeSessionLogFolder(path);
    // Shared as the database shares it: another program may have it open
    // (the bench window while `history` reads it).
    HANDLE h = openWritable(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, problem);
    if (h == INVALID_HANDLE_VALUE) {
        problem.error = static_cast<int>(::GetLastError());
        return false;
    }
    // A device's name (NUL, COM1) is no file to keep a database in.
    const bool disk = ::GetFileType(h) == FILE_TYPE_DISK;
    ::CloseHandle(h);
    if (!disk)
        problem.error = ERROR_INVALID_PARAMETER;
    return disk;
}

std::string userConfigPath(const std::string& name) {
    const std::string folder = programFolderIn(L"APPDATA");
    return folder.empty() ? folder : folder + "\\" + name;
}

std::string environmentText(const char* name) {
    const std::wstring wide = win32::toUtf16(name);
    const DWORD n = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (n == 0)
        return std::string();
    std::wstring value(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wide.c_str(), &value[0], n);
    if (got == 0 || got >= n)
        return std::string();
    value.resize(got);
    return win32::toUtf8(value);
}

bool writeWholeFile(const std::string& path, const std::string& bytes, bool makeFolders,
                    FileProblem& problem) {
    problem = FileProblem();
    const std::wstring name = win32::toUtf16(path);
    const auto failed = [&](DWORD error, FileRefusal refusal = FileRefusal::None) {
        problem.error = static_cast<int>(error);
        problem.refusal = refusal;
        problem.at = refusal == FileRefusal::None ? std::string() : path;
        return false;
    };
    if (name.empty())
        return failed(ERROR_INVALID_NAME);
    if (makeFolders)
        makeFoldersOf(name);
    // What stands at the name is looked at, not followed: a symbolic link
    // or junction, a folder or a file with a second name is refused, as
    // openAppend refuses it.
    const HANDLE old = ::CreateFileW(
        name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (old != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        const bool known = ::GetFileInformationByHandle(old, &info) != 0;
        const DWORD error = ::GetLastError();
        const DWORD type = ::GetFileType(old);
        ::CloseHandle(old);
        if (!known)
            return failed(error);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return failed(ERROR_ACCESS_DENIED, FileRefusal::RefusedLink);
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || type != FILE_TYPE_DISK)
            return failed(ERROR_ACCESS_DENIED);
        if (info.nNumberOfLinks > 1)
            return failed(ERROR_ACCESS_DENIED, FileRefusal::SecondName);
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return failed(::GetLastError());
    }
    // The new file beside it, under a name of this process's, never one
    // that already stands there.
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temp = name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(attempt) + L".tmp";
        h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return failed(::GetLastError());
    }
    if (h == INVALID_HANDLE_VALUE)
        return failed(ERROR_FILE_EXISTS);
    DWORD error = NO_ERROR;
    for (size_t done = 0; error == NO_ERROR && done < bytes.size();) {
        const size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!::WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0)
            error = n == 0 && ::GetLastError() == NO_ERROR ? ERROR_WRITE_FAULT : ::GetLastError();
        done += n;
    }
    // Its bytes on the disk before it takes the name; the move, too, is
    // on the disk when it returns.
    if (error == NO_ERROR && !::FlushFileBuffers(h))
        error = ::GetLastError();
    ::CloseHandle(h);
    if (error == NO_ERROR && !::MoveFileExW(temp.c_str(), name.c_str(),
                                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error != NO_ERROR) {
        ::DeleteFileW(temp.c_str());
        return failed(error);
    }
    return true;
}

bool isNoSuchFile(int error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::vector<std::string> programArguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(win32::toUtf8(argv[i]));
    ::LocalFree(argv);
    return args;
}

}  // namespace zor
