// zorload.exe: the update wizard for Windows. One instance at a time: a
// second start wakes the running window and ends.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/serial_port.h"
#include "platform/single_instance.h"
#include "platform/version_block.h"
#include "text/wizard_text.h"
#include "updatefile/unit_assert.h"
#include "wizard/win32/main_form.h"
#include "wizard/win32/wide_text.h"

namespace {

using zor::win32ui::toUtf8;

// A failed internal precondition: the program has no console to print it
// on, so the user sees it in a box before the program ends.
void showAssertion(const char* text) {
    ::MessageBoxW(nullptr, zor::win32ui::toUtf16(text).c_str(),
                  zor::win32ui::toUtf16(zor::WIZARD_TITLE).c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

std::string currentDirectory() {
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return toUtf8(folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    zor::SingleInstance single(zor::SINGLE_INSTANCE_NAME);
    if (!single.CheckSingleInstance())
        return 0;

    zor::setAssertionReporter(showAssertion);
    int status = 0;
    std::string title = zor::WIZARD_TITLE;
    try {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC =
            ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES;
        ::InitCommonControlsEx(&controls);

        // "/a/b.upd" is an option here, as every argument beginning with '/'.
        zor::win32ui::TfrmZORMain form(
            instance, {zor::systemSerialDevices(), zor::systemClock(), zor::programVersionBlock(),
                       zor::programPath(), zor::programArguments(0, nullptr), currentDirectory(),
                       zor::SlashRule::Option});
        title = form.core().applicationTitle();
        if (!form.construct()) {
            status = form.core().exitStatus();
        } else {
            form.show();
            form.run();
        }
    } catch (const std::exception& e) {
        ::MessageBoxW(nullptr, zor::win32ui::toUtf16(e.what()).c_str(),
                      zor::win32ui::toUtf16(title).c_str(), MB_OK | MB_ICONERROR);
    }
    single.ReleaseSingleInstance();
    return status;
}
