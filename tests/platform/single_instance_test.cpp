// One instance per user: the lock, the wake-up message and what a dead or
// half-started owner leaves behind. Cross-process cases fork; the lock is per
// open file, so two objects in one process also exclude each other.
#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zor {
namespace {

using namespace std::chrono_literals;
using Message = std::tuple<uint32_t, uint32_t, uint32_t>;
const char* const NAME = "ZorTestMutex";

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Runs sender on another thread while the owner services requests, as the
// GUI's event loop would, until the sender is done.
template <class F>
auto whileServing(SingleInstance& owner, const SingleInstance::Handler& handler, F sender) {
    auto result = std::async(std::launch::async, sender);
    while (result.wait_for(0ms) != std::future_status::ready) {
        pollfd p{owner.listenFd(), POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
            owner.serviceRequests(handler);
    }
    return result.get();
}

// fd's socket connected to (or bound at) path, as op returned.
template <class Op>
int atPath(Op op, int fd, const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return op(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

// A client that writes the chunks (with pauses between), ends its side and
// reports whether an acknowledgement came back.
bool rawClient(const std::string& path, const std::vector<std::vector<uint8_t>>& chunks) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool acked = false;
    if (atPath(::connect, fd, path) == 0) {
        for (const auto& chunk : chunks) {
            ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(20ms);
        }
        ::shutdown(fd, SHUT_WR);
        pollfd p{fd, POLLIN, 0};
        uint8_t ack;
        acked = ::poll(&p, 1, 2000) > 0 && ::recv(fd, &ack, 1, 0) == 1;
    }
    ::close(fd);
    return acked;
}

TEST(SingleInstance, SecondStartWakesOwnerAndReturnsOnlyAfterHandlerRan) {
    test::TempDir dir;
    SingleInstance owner(NAME, dir.path());
    ASSERT_TRUE(owner.CheckSingleInstance());
    ASSERT_GE(owner.listenFd(), 0);

    std::vector<Message> seen;
    std::atomic<int> handled{0};
    auto handler = [&](uint32_t m, uint32_t w, uint32_t l) {
        std::this_thread::sleep_for(30ms);  // an early acknowledgement would show
        seen.emplace_back(m, w, l);
        ++handled;
    };
    // Each result paired with the handler count seen when the call returned.
    const auto [checked, notified] = whileServing(owner, handler, [&] {
        SingleInstance second(NAME, dir.path());
        const bool c = second.CheckSingleInstance();
        const int afterCheck = handled;
        const bool n = second.notifyRunning(0x401, 0x80000002u, 0xdeadbeefu);
        return std::make_pair(std::make_pair(c, afterCheck), std::make_pair(n, handled.load()));
    });

    EXPECT_EQ(checked, std::make_pair(false, 1));
    EXPECT_EQ(notified, std::make_pair(true, 2));
    EXPECT_EQ(seen,
              (std::vector<Message>{{WM_SHOWINSTANCE, 1, 0}, {0x401, 0x80000002u, 0xdeadbeefu}}));
}

TEST(SingleInstance, CrashedOwnerNeverBlocksNewStart) {
    test::TempDir dir;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance dying(NAME, dir.path());
        const char owned = dying.CheckSingleInstance() && dying.listenFd() >= 0 ? 'y' : 'n';
        (void)!::write(fds[1], &owned, 1);
        ::_exit(0);  // no release: lock and socket are left as a crash leaves them
    }
    char owned = 0;
    ASSERT_EQ(::read(fds[0], &owned, 1), 1);
    ::close(fds[0]);
    ::close(fds[1]);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(owned, 'y');

    SingleInstance next(NAME, dir.path());
    ASSERT_TRUE(exists(next.socketPath()));  // the dead owner's socket file
    ASSERT_TRUE(next.CheckSingleInstance());
    int handled = 0;
    EXPECT_TRUE(whileServing(
        next, [&](uint32_t, uint32_t, uint32_t) { ++handled; },
        [&] { return SingleInstance(NAME, dir.path()).notifyRunning(0x401, 1, 0); }));
    EXPECT_EQ(handled, 1);
}

TEST(SingleInstance, StartWhileOwnerIsNotYetListeningReturnsAtOnce) {
    enum class Socket { Missing, BoundNotListening };
    for (const Socket socketState : {Socket::Missing, Socket::BoundNotListening}) {
        SCOPED_TRACE(static_cast<int>(socketState));
        test::TempDir dir;
        SingleInstance second(NAME, dir.path());
        // The owner between taking the lock and listening.
        const int lock = ::open(second.lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
        const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socketState == Socket::BoundNotListening) {
            ASSERT_EQ(atPath(::bind, sock, second.socketPath()), 0);
        }

        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(second.CheckSingleInstance());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
        EXPECT_FALSE(second.ownsLock());
        ::close(sock);
        ::close(lock);
    }
}

TEST(SingleInstance, OnlyWholeMessagesReachTheHandler) {
    test::TempDir dir;
    SingleInstance owner(NAME, dir.path());
    ASSERT_TRUE(owner.CheckSingleInstance());
    const std::vector<uint8_t> show{0x01, 0x04, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        const char* what;
        std::vector<std::vector<uint8_t>> chunks;
        bool handled;
    } cases[] = {
        {"nothing, then end", {}, false},
        {"short, then end", {{show.begin(), show.begin() + 5}}, false},
        {"whole, in two pieces",
         {{show.begin(), show.begin() + 4}, {show.begin() + 4, show.end()}},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Message> seen;
        const bool acked = whileServing(
            owner, [&](uint32_t m, uint32_t w, uint32_t l) { seen.emplace_back(m, w, l); },
            [&] { return rawClient(owner.socketPath(), c.chunks); });
        EXPECT_EQ(acked, c.handled);
        const std::vector<Message> expected =
            c.handled ? std::vector<Message>{{WM_SHOWINSTANCE, 1, 0}} : std::vector<Message>{};
        EXPECT_EQ(seen, expected);
    }
}

// The wake-up socket admits only its user whatever umask the program was
// started with, and clients that connect and say nothing hold up a real
// wake-up for a moment at most, not a second or more each.
TEST(SingleInstance, WakeUpSocketIsPrivateAndSilentClientsDoNotDelayOthers) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
        test::TempDir dir;
        const mode_t saved = ::umask(mask);
        SingleInstance owner(NAME, dir.path());
        const bool owns = owner.CheckSingleInstance();
        ::umask(saved);
        ASSERT_TRUE(owns);
        struct stat st {};
        ASSERT_EQ(::stat(owner.socketPath().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << mask;
        if (mask != 0)
            continue;

        std::vector<int> silent;
        for (int i = 0; i < 3; ++i) {
            silent.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
            ASSERT_EQ(atPath(::connect, silent.back(), owner.socketPath()), 0);
        }
        int handled = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(whileServing(
            owner, [&](uint32_t, uint32_t, uint32_t) { ++handled; },
            [&] { return SingleInstance(NAME, dir.path()).notifyRunning(0x401, 1, 0); }));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
        EXPECT_EQ(handled, 1);
        for (int fd : silent)
            ::close(fd);
    }
}

TEST(SingleInstance, ReleaseIsIdempotentAndOnlyTheOwnerReleases) {
    test::TempDir dir;
    SingleInstance owner(NAME, dir.path());
    ASSERT_TRUE(owner.CheckSingleInstance());
    SingleInstance other(NAME, dir.path());
    other.ReleaseSingleInstance();  // not the owner: touches nothing
    EXPECT_TRUE(exists(owner.socketPath()));

    // A forked child shares the lock's open file; its release must not drop it.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        owner.ReleaseSingleInstance();
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(exists(owner.socketPath()));
    const int probe = ::open(owner.lockPath().c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);
    ::close(probe);

    owner.ReleaseSingleInstance();
    owner.ReleaseSingleInstance();
    EXPECT_FALSE(owner.ownsLock());
    EXPECT_EQ(owner.listenFd(), -1);
    EXPECT_FALSE(exists(owner.socketPath()));
    EXPECT_TRUE(exists(owner.lockPath()));  // never removed: see the header
    EXPECT_TRUE(other.CheckSingleInstance());
}

// A folder someone else made or may write to (the /tmp/zorload-<uid> of a
// user without a runtime folder, planted before the first start) neither
// keeps the wizard from starting nor gets anything of ours: the start runs
// without the rule, and says so through unguarded().
TEST(SingleInstance, UnusableFolders) {
    test::TempDir dir;
    const struct {
        const char* what;
        mode_t mode;
        bool otherOwner;
    } cases[] = {
        {"writable by all", 0777, false},
        {"writable by the group", 0770, false},
        {"another user's", 0700, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherOwner && ::geteuid() != 0)
            continue;  // only root can give a folder away
        const std::string folder = dir.file("f") + std::to_string(&c - cases);
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
        ASSERT_EQ(c.otherOwner ? ::chown(folder.c_str(), 65534, 65534) : 0, 0);
        SingleInstance shared(NAME, folder);
        EXPECT_TRUE(shared.CheckSingleInstance());
        EXPECT_TRUE(shared.unguarded());
        EXPECT_FALSE(shared.ownsLock());
        EXPECT_EQ(shared.listenFd(), -1);
        EXPECT_FALSE(exists(shared.lockPath()) || exists(shared.socketPath()));
    }

    // A socket path too long for sun_path (never truncated): owner without a listener.
    const std::string deep = dir.file(std::string(110, 'd'));
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    SingleInstance owner(NAME, deep);
    EXPECT_TRUE(owner.CheckSingleInstance());
    EXPECT_EQ(owner.listenFd(), -1);
}

}  // namespace
}  // namespace zor
