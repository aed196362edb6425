#include "wizard/win32/single_instance.h"

#include <windows.h>

#include <cstring>

namespace zor::win32ui {
namespace {

constexpr char MUTEX_NAME[] = "MorvantiZorloadMutex";

// Non-null only while this process owns the mutex.
HANDLE instanceMutex = nullptr;

}  // namespace

const char* const MAIN_WINDOW_CLASS = "TfrmZORMain";

bool CheckSingleInstance() {
    instanceMutex = ::CreateMutexA(nullptr, FALSE, MUTEX_NAME);
    // A null handle makes the wait fail: treated as another instance.
    if (::WaitForSingleObject(instanceMutex, 0) == WAIT_OBJECT_0)
        return true;
    if (instanceMutex)
        ::CloseHandle(instanceMutex);
    instanceMutex = nullptr;

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

void ReleaseSingleInstance() {
    if (!instanceMutex)
        return;
    ::ReleaseMutex(instanceMutex);
    ::CloseHandle(instanceMutex);
    instanceMutex = nullptr;
}

}  // namespace zor::win32ui
