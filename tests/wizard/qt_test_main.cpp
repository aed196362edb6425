// The Qt tests' main: the application object exists before any test runs,
// offscreen unless the environment names another platform, without the
// user's bench settings.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No bench settings: the windows' transfers never reach the user's history.
    qputenv("ZORLOAD_POSITIONS", "/nonexistent/zorload/banco.ini");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
