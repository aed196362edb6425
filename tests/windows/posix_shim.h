#pragma once
// Force-included into the test programs of a Windows build: the few POSIX
// calls the shared tests use to set up their files, on the C runtime.
// Named pipes do not exist as files there; mkfifo fails (the tests that
// need one are skipped on Windows).
#ifdef _WIN32
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

inline char* mkdtemp(char* pattern) {
    const size_t length = strlen(pattern) + 1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char* name = static_cast<char*>(malloc(length));
        if (name == nullptr)
            return nullptr;
        memcpy(name, pattern, length);
        const bool named = _mktemp_s(name, length) == 0;
        if (named && _mkdir(name) == 0) {
            memcpy(pattern, name, length);
            free(name);
            return pattern;
        }
        free(name);
        if (!named || errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

inline int mkfifo(const char*, int) {
    errno = ENOSYS;
    return -1;
}
#endif
