#pragma once
// One running GUI per user.
//
// On Windows: a named mutex; a second start finds the running window by its
// class (MAIN_WINDOW_CLASS) and sends it WM_SHOWINSTANCE with SendMessage.
//
// Elsewhere the same roles are played by two files named after the mutex name
// in a private runtime folder:
//
//   <dir>/<name>.lock  held with flock(LOCK_EX|LOCK_NB) by the running
//                      instance. The kernel drops the lock when its owner dies,
//                      however it dies, so a crash never blocks a new start.
//                      The file itself is never removed: unlinking a flock file
//                      lets two processes lock two different inodes at once.
//   <dir>/<name>.sock  AF_UNIX stream socket the owner listens on. A second
//                      start connects, sends one message and waits for a
//                      one-byte acknowledgement, which makes the send
//                      synchronous the way SendMessage is.
//
// Wire format, one message per connection: message, wParam, lParam as three
// little-endian uint32 (MESSAGE_SIZE bytes); the owner answers with one byte after its
// handler has returned, then closes.
//
// The folder must be a directory owned by the effective user with no group or
// world write permission. Anything else may have been made by another user to
// answer for us or to keep us from starting: it is not used, and the program
// runs without the one-instance rule (see CheckSingleInstance).
#include <cstdint>
#include <functional>
#include <string>
#ifndef _WIN32
#include <sys/types.h>
#endif

namespace zor {

// The name of the one-instance mutex.
constexpr char SINGLE_INSTANCE_NAME[] = "MorvantiZorloadMutex";
// The message a second start sends to the running instance, with wParam 1, lParam 0.
constexpr uint32_t WM_SHOWINSTANCE = 0x401;
// The class the main window is registered under (Windows), by which a second
// start finds it.
constexpr char MAIN_WINDOW_CLASS[] = "TfrmZORMain";

class SingleInstance {
  public:
    using Handler = std::function<void(uint32_t message, uint32_t wParam, uint32_t lParam)>;

    // name: the mutex name; a '/' in it becomes '_'.
    // runtimeDir: folder for the lock and the socket. Empty means the first
    // of these that passes the ownership check above: $XDG_RUNTIME_DIR when
    // it is set and absolute; /run/user/<euid>, the user's runtime folder
    // when the variable was lost (sudo drops it); for root /run/zorload,
    // which only root can make; else /tmp/zorload-<euid>. The last two are
    // created with mode 0700 on first use. Nothing is touched on disk until
    // CheckSingleInstance.
    explicit SingleInstance(std::string name = SINGLE_INSTANCE_NAME, std::string runtimeDir = {});
    ~SingleInstance();  // ReleaseSingleInstance()

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process may run. Normally it then owns the lock and
    // listens on the socket (non-blocking, private to the user whatever the
    // umask; a socket file left by a dead owner is removed first, which is
    // safe because only the lock holder ever binds it). Calling it again as
    // owner returns true at once.
    //
    // An untrusted folder (wrong owner, group/world writable, not a
    // directory, a symbolic link where the folder is made here, or it cannot
    // be created) also gives true, without the lock and without touching or
    // connecting to anything inside it: unguarded() then tells, so that the
    // program can say it runs without the rule. Another user must not be able
    // to keep the wizard from starting, and a substitute folder of our own
    // making could not be found by the next start either.
    //
    // False means "another instance runs, exit": the lock is held elsewhere,
    // so the running instance is sent (WM_SHOWINSTANCE, 1, 0) and waited for
    // (at most NOTIFY_WAIT). When its socket is missing or refuses (it is still
    // starting, between taking the lock and listening) this returns false at
    // once without waking anything. A lock file that cannot be created or
    // locked also gives false, after the same attempt to notify.
    //
    // When the socket path does not fit sockaddr_un::sun_path, or the socket
    // cannot be bound, this process still owns the lock and returns true but
    // listens on nothing (listenFd() == -1): a second start then exits
    // without waking it. Refusing to run at all over a cosmetic feature
    // would be worse.
    bool CheckSingleInstance();

    // Owner only: closes the listening socket and removes its file, then
    // releases and closes the lock (in that order, so the file of a newer
    // owner is never removed). A no-op when not owner, when called twice,
    // and in a forked child of the owner (the parent still runs).
    void ReleaseSingleInstance();

#ifdef _WIN32
    bool ownsLock() const {
        return mutex_ != nullptr;
    }
    bool unguarded() const {
        return false;
    }
#else
    bool ownsLock() const {
        return lockFd_ >= 0;
    }
    // CheckSingleInstance let this process run without the lock because the
    // folder could not be trusted.
    bool unguarded() const {
        return unguarded_;
    }
    const std::string& folder() const {
        return dir_;
    }
#endif

#ifndef _WIN32
    // Owner: the listening socket (non-blocking) for the GUI's event loop to
    // watch for readability; -1 otherwise.
    int listenFd() const {
        return listenFd_;
    }

    // Owner: accepts every pending connection, and those that arrive
    // meanwhile, and waits for their messages (MESSAGE_SIZE bytes) all
    // together under one deadline, SERVICE_WAIT. Each message is handled as soon as it is whole:
    // the handler runs, then the acknowledgement is sent and the connection closed. A client that
    // connects and says nothing holds up neither the others nor the GUI for longer than that
    // deadline; a short or missing message is dropped without calling the handler. Returns the
    // number handled; 0 when not owner.
    int serviceRequests(const Handler& handler);

    // Sends one message to the running instance and waits for its
    // acknowledgement, all within one deadline, NOTIFY_WAIT. False when nothing
    // listens, the connection breaks, or no acknowledgement came in time.
    // Called by the owner on its own socket it can only time out, unless
    // another thread services the requests.
    bool notifyRunning(uint32_t message, uint32_t wParam, uint32_t lParam);

    const std::string& socketPath() const {
        return socketPath_;
    }
    const std::string& lockPath() const {
        return lockPath_;
    }
#endif

  private:
#ifdef _WIN32
    void* mutex_ = nullptr;  // non-null only while this process owns the mutex
    std::string name_;
#else
    bool prepareDir();
    void startListening();

    std::string dir_;
    bool dirIsDefault_ = false;  // /run/zorload or /tmp/zorload-<euid>: made here, lstat-checked
    bool unguarded_ = false;
    std::string lockPath_;
    std::string socketPath_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    pid_t ownerPid_ = -1;
#endif
};

}  // namespace zor
