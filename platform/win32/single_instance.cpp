// One running wizard per session on Windows: a named mutex, and a second
// start wakes the running window with WM_SHOWINSTANCE instead of opening
// another.
#include "platform/single_instance.h"

#include <windows.h>

#include <cstring>
#include <utility>

namespace zor {

SingleInstance::SingleInstance(std::string name, std::string) : name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
    ReleaseSingleInstance();
}

bool SingleInstance::CheckSingleInstance() {
    if (mutex_)
        return true;
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name_.c_str());
    // A null handle makes the wait fail: treated as another instance.
    if (::WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0) {
        mutex_ = mutex;
        return true;
    }
    if (mutex)
        ::CloseHandle(mutex);

    // Every window of the class is woken, not only the first: walk the whole
    // Z-order level of the one FindWindowA returns.
    HWND window = ::FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    if (window)
        window = ::GetWindow(window, GW_HWNDFIRST);
    for (; window; window = ::GetWindow(window, GW_HWNDNEXT)) {
        char name[256];
        if (::GetClassNameA(window, name, sizeof name) > 0 &&
            std::strcmp(name, MAIN_WINDOW_CLASS) == 0)
            ::SendMessageA(window, WM_SHOWINSTANCE, 1, 0);
    }
    return false;
}

void SingleInstance::ReleaseSingleInstance() {
    if (!mutex_)
        return;
    ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
    mutex_ = nullptr;
}

}  // namespace zor
