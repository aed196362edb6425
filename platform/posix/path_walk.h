#pragma once
// Reaching a file the program writes without being led elsewhere by what
// another local user planted on the way (a bench PC is shared, and its
// programs may run as root).
//
// The path is walked one component at a time from a descriptor: each folder
// is opened relative to the one before (openat with O_NOFOLLOW and
// O_DIRECTORY), so renaming or swapping a folder already passed gains
// nothing. A symbolic link met on the way is followed only when it belongs
// to the effective user or to root: the rule the kernel's protected_symlinks
// applies in sticky folders, applied here in every folder and whatever the
// system's setting. Any other link is refused (EACCES), and the walk names it.
#include <string>

#include "platform/file.h"

namespace zor::posix {

// An open folder descriptor, closed with the object.
class FolderFd {
  public:
    FolderFd() = default;
    explicit FolderFd(int fd) : fd_(fd) {}
    ~FolderFd() { reset(); }
    FolderFd(const FolderFd&) = delete;
    FolderFd& operator=(const FolderFd&) = delete;
    FolderFd(FolderFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FolderFd& operator=(FolderFd&& other) noexcept;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// The folder that holds path's last component, and that component's name.
struct FolderOf {
    FolderFd folder;   // open (O_PATH) when the walk succeeded
    std::string leaf;  // the last component: never empty, ".", ".." or with a '/'
};

// Walks to the folder of path (absolute, or relative to the current folder).
// makeMissing: folders that do not exist are made on the way, with mode 0700
// (the user's own: a state folder). On failure the folder is closed and
// problem says why: the OS error, and for a refused link its kind and the
// path of the link as walked. A path ending in '/' names a folder (EISDIR).
FolderOf openFolderOf(const std::string& path, bool makeMissing, FileProblem& problem);

// Opens leaf in folder for appending, created when missing (mode 0644).
// Beyond the walk's rule for a link at leaf, the file itself must be a
// regular file (EISDIR for a folder, ENXIO or EINVAL for a pipe or device,
// never waited for), have one name only, and, in a sticky folder, belong to
// the user or to the folder's owner; these refusals give EACCES with their
// kind. shownFolder is the folder's path as the user gave it, for problem.at.
// -1 on failure.
int openAppendIn(const FolderFd& folder, const std::string& leaf, const std::string& shownFolder,
                 FileProblem& problem);

// Puts a new file holding bytes in place of leaf in folder: written beside
// it under a fresh name, flushed, then renamed over leaf, and the folder
// flushed. A link at leaf is followed by the walk's rule, and what stands
// there must pass openAppendIn's checks on the file; it keeps its
// permissions. False with problem saying why; the old file is then as it
// was.
bool replaceIn(const FolderFd& folder, const std::string& leaf, const std::string& shownFolder,
               const std::string& bytes, FileProblem& problem);

}  // namespace zor::posix
