// zorload.exe: the update wizard for Windows. One instance at a time: a
// second start wakes the running window and ends. With -banco (or /banco)
// the bench window opens instead, outside that rule: each of its ports is
// the station's own while it watches it, and a port another program holds
// shows as held on its tile.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/bench_positions.h"
#include "app/command_line.h"
#include "app/version_info.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/serial_port.h"
#include "platform/single_instance.h"
#include "platform/version_block.h"
#include "text/app_text.h"
#include "text/station_text.h"
#include "text/station_window_text.h"
#include "text/wizard_text.h"
#include "updatefile/unit_assert.h"
#include "wizard/win32/bench_window.h"
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

void initCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC =
        ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

void showBox(const zor::BoxRequest& box) {
    const UINT icon = box.icon == zor::BoxIcon::Information   ? MB_ICONINFORMATION
                      : box.icon == zor::BoxIcon::Exclamation ? MB_ICONEXCLAMATION
                                                              : MB_ICONERROR;
    ::MessageBoxW(nullptr, zor::win32ui::toUtf16(box.text).c_str(),
                  zor::win32ui::toUtf16(box.caption).c_str(), MB_OK | icon);
}

// zorload.exe -banco [-avvia] [FILE]: the bench window on the user's
// positions (a faulty file is named in a box, and the bench opens without
// positions), FILE loaded and, with -avvia, sent to every chronometer. Its
// runs go to the history [storico] names; events on MQTT are for the Linux
// benches, so an mqtt= setting is answered with a box.
int runBench(HINSTANCE instance, const zor::CommandLineResult& cmd) {
    for (const zor::BoxRequest& box : zor::commandLineBoxes(
             cmd, zor::programFileName(zor::programPath()), zor::programVersionBlock()))
        showBox(box);
    if (cmd.exitProcess)
        return cmd.exitStatus;
    const std::string path = zor::benchPositionsPath();
    zor::PositionsResult positions = zor::readBenchPositions(path);
    if (!positions.ok() && positions.fault != zor::PositionsFault::Missing) {
        showBox({zor::positionsIgnoredText(zor::positionsFaultText(path, positions)),
                 zor::STATION_WINDOW_TITLE, zor::BoxIcon::Exclamation, true});
    }
    std::vector<zor::BoxRequest> boxes;
    const zor::BenchSettings settings =
        zor::stationwin::benchWindowSettings(path, positions, boxes);
    if (!settings.mqtt.empty()) {
        boxes.push_back({zor::benchEventsNotSentText(zor::NO_BENCH_MQTT_TEXT),
                         zor::STATION_WINDOW_TITLE, zor::BoxIcon::Exclamation, true});
    }
    for (const zor::BoxRequest& box : boxes)
        showBox(box);
    initCommonControls();
    zor::stationwin::BenchWindow window(instance, zor::systemSerialDevices(), zor::systemClock(),
                                        std::move(positions.positions));
    if (settings.benchHistory) {
        window.core().keepRunsIn(std::make_unique<zor::RunHistory>("", settings.historyPlace),
                                 zor::getVersionString("FileVersion", ""));
    }
    window.show();
    window.openFile(cmd.FileDaCaricare, cmd.autoStart);
    return window.run();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const zor::CommandLineResult cmd =
        zor::ParseCommandLine(zor::programArguments(0, nullptr), zor::SlashRule::Option);
    if (cmd.bench) {
        zor::setAssertionReporter(showAssertion);
        try {
            return runBench(instance, cmd);
        } catch (const std::exception& e) {
            ::MessageBoxW(nullptr, zor::win32ui::toUtf16(e.what()).c_str(),
                          zor::win32ui::toUtf16(zor::STATION_WINDOW_TITLE).c_str(),
                          MB_OK | MB_ICONERROR);
            return 1;
        }
    }

    zor::SingleInstance single(zor::SINGLE_INSTANCE_NAME);
    if (!single.CheckSingleInstance())
        return 0;

    zor::setAssertionReporter(showAssertion);
    int status = 0;
    std::string title = zor::WIZARD_TITLE;
    try {
        initCommonControls();

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
