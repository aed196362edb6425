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

File File::openAppend(const std::string& path, FileProblem& problem) {
    problem = FileProblem();
    // Created when missing, kept when present, readable by others while we
    // write (a technician may look at the log during a session). A symbolic
    // link or junction someone planted at the name is opened itself, not
    // followed, and then refused: nothing is ever written through one. Nor
    // through a second name (a hard link) of some other file.
    HANDLE h = ::CreateFileW(win32::toUtf16(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
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

// %LOCALAPPDATA%\Zorload, the user's own folder on this machine; empty when
// the variable does not name an absolute folder (C:\... or \\server\...).
std::string stateFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH + 1);
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
    // Every missing folder on the way; one that exists is left as it is. A
    // new one inherits the permissions of %LOCALAPPDATA%, the user's own.
    const std::wstring folder = win32::toUtf16(logFolder);
    for (size_t at = 3; at <= folder.size(); ++at) {
        if (at == folder.size() || isSeparator(folder[at]))
            ::CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
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
