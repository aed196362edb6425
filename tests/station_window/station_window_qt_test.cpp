// End to end: the bench window on the system's serial devices, three zorsim
// chronometers on pseudo-terminals bound to three positions. One is written
// at once, one refuses its first write (then "Riprova" writes it), one is
// unplugged while it is written; the close box is refused meanwhile. And
// the positions editor, driven from the keyboard.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "qt_support.h"
#include "support/temp_dir.h"
#include "text/station_window_text.h"
#include "wizard/qt/station_window_qt.h"

namespace zor::test {
namespace {

using stationwin::StationWindow;
using stationwin::TileState;

constexpr int LONG_MS = 60000;

// Every widget Tab lands on, from the file field round to it again.
std::vector<QWidget*> tabCycle(StationWindow& window) {
    std::vector<QWidget*> seen;
    window.fileField()->setFocus();
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (now == window.fileField() || !now)
            break;
        seen.push_back(now);
    }
    return seen;
}

bool reaches(const std::vector<QWidget*>& cycle, QWidget* w) {
    return std::find(cycle.begin(), cycle.end(), w) != cycle.end();
}

TEST(StationWindowOverPty, ThreeChronometersOneFailsOneIsUnplugged) {
    TempDir dir("zor_benchpty");
    const std::string sample = dir.file("esempio.upd");
    QProcess write;
    write.start(ZORSIM_PROGRAM, {"--write-sample", QString::fromStdString(sample)});
    ASSERT_TRUE(write.waitForFinished(10000));
    ASSERT_EQ(write.exitCode(), 0);

    // A healthy; B refuses its first write; C slow enough to be unplugged
    // while it is written.
    const char* const extra[3][2] = {
        {"--flash-step", "5"}, {"--flash-step", "5"}, {"--flash-step", "300"}};
    QProcess sims[3];
    std::vector<BenchPosition> positions;
    for (int i = 0; i < 3; ++i) {
        const std::string link = dir.file(std::string(1, char('A' + i)));
        QStringList args = {
            "--link",    QString::fromStdString(link),
            extra[i][0], extra[i][1],
            "--id",      QString("007 Cronometro S/N 1000-000%1 boot 1.30").arg(i + 1)};
        if (i == 1)
            args << "--fault"
                 << "C:1:wrong-code";
        sims[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sims[i].start(ZORSIM_PROGRAM, args);
        ASSERT_TRUE(sims[i].waitForStarted(5000));
        ASSERT_TRUE(pumpUntil([&] { return std::filesystem::is_symlink(link); }, 5000));
        positions.push_back({"Posto " + std::to_string(i + 1), link});
    }

    BoxCloser boxes;
    StationWindow window(
        systemClock(), stationwin::engineStations(systemSerialDevices(), systemClock()), positions);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(window.tileCount(), 3u);
    auto tile = [&](size_t i) { return window.core().tiles()[i]; };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(window.tileFrame(i)->accessibleName().toStdString(), tile(i).accessibleName);
        EXPECT_NE(tile(i).accessibleName.find(positions[i].name), std::string::npos);
    }
    EXPECT_EQ(window.retryButton(1)->accessibleName().toStdString(), "Riprova Posto 2");
    EXPECT_EQ(window.startButton()->accessibleName(), "Avvia");
    EXPECT_FALSE(window.startButton()->isEnabled());

    ASSERT_TRUE(window.openFile(sample));
    ASSERT_TRUE(window.startButton()->isEnabled());
    EXPECT_TRUE(reaches(tabCycle(window), window.startButton()));
    QTest::mouseClick(window.startButton(), Qt::LeftButton);
    ASSERT_TRUE(window.core().running());

    // A written, B refused, while C is still being written.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return tile(0).state == TileState::Done && tile(1).state == TileState::Failed &&
                   !tile(2).phase.empty();
        },
        LONG_MS))
        << tile(0).stateText << " | " << tile(1).stateText << " | " << tile(2).stateText;
    EXPECT_EQ(tile(0).serial, "S/N 1000-0001");
    EXPECT_EQ(tile(1).serial, "S/N 1000-0002");
    EXPECT_NE(tile(1).failure.find("103"), std::string::npos) << tile(1).failure;
    EXPECT_FALSE(tile(1).step.empty());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(window.retryButton(i)->isEnabled(), i == 1) << i;
    const std::vector<QWidget*> running = tabCycle(window);
    EXPECT_TRUE(reaches(running, window.stopButton()));
    EXPECT_TRUE(reaches(running, window.retryButton(1)));
    EXPECT_FALSE(reaches(running, window.startButton())) << "Avvia is off while it runs";
    EXPECT_FALSE(window.positionsButton()->isEnabled()) << "no editing a running bench";

    // The close box is refused while C's transfer runs.
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.texts.empty(); }, 5000));
    EXPECT_EQ(boxes.texts.back(), closeRefusedText(1));

    // C unplugged mid-transfer: failed, nothing to run again.
    sims[2].terminate();
    ASSERT_TRUE(sims[2].waitForFinished(5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return tile(2).state == TileState::Failed && !tile(2).retryEnabled; }, LONG_MS))
        << tile(2).stateText;
    EXPECT_FALSE(window.retryButton(2)->isEnabled());

    // Riprova writes B the second time.
    QTest::mouseClick(window.retryButton(1), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tile(1).state == TileState::Done; }, LONG_MS))
        << tile(1).stateText;
    EXPECT_FALSE(window.retryButton(1)->isVisible());

    // The session: A done, B failed, C failed, B done, in the order they ended.
    QTreeWidget* list = window.sessionList();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    std::multiset<std::string> rows;
    for (int r = 0; r < 4; ++r) {
        rows.insert(list->topLevelItem(r)->text(1).toStdString() + " " +
                    list->topLevelItem(r)->text(2).toStdString());
    }
    EXPECT_EQ(rows, (std::multiset<std::string>{"Posto 1 1000-0001", "Posto 2 1000-0002",
                                                "Posto 2 1000-0002", "Posto 3 1000-0003"}));
    EXPECT_EQ(list->topLevelItem(3)->text(1), "Posto 2");
    EXPECT_TRUE(window.totalsLabel()->text().startsWith("Completati 2, falliti 2,"));
    QTest::mouseClick(window.copyButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), window.core().sessionText());
    const std::string csv = window.core().sessionCsv();
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5) << csv;

    // Ferma: nothing runs, so the station ends and Avvia is back; then the
    // window closes.
    QTest::mouseClick(window.stopButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.core().running(); }, LONG_MS));
    EXPECT_TRUE(window.startButton()->isEnabled());
    EXPECT_FALSE(window.stopButton()->isEnabled());
    EXPECT_TRUE(window.close());
    EXPECT_EQ(boxes.texts.size(), 1u) << boxes.texts.back();
    for (int i = 0; i < 2; ++i) {
        sims[i].terminate();
        ASSERT_TRUE(sims[i].waitForFinished(5000));
        EXPECT_EQ(sims[i].exitCode(), 0) << "chronometer " << i << " saw the protocol broken";
    }
}

// Clicks "Posti..." and runs drive on the editor while it is open; whatever
// drive leaves open is cancelled, so a failed check ends the test.
void inEditor(StationWindow& window, const std::function<void(QDialog&)>& drive) {
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no positions editor";
            return;
        }
        // It opens with the keyboard on the list of positions.
        if (pumpUntil(
                [&] { return QApplication::focusWidget() == dialog->findChild<QTableWidget*>(); },
                5000))
            drive(*dialog);
        else
            ADD_FAILURE() << "the editor never took the keyboard";
        if (dialog->isVisible())
            dialog->reject();
    });
    QTest::mouseClick(window.positionsButton(), Qt::LeftButton);
}

TEST(StationWindowPositions, EditorAddsSavesAndRefusesTwoOfOneName) {
    TempDir dir("zor_benchposti");
    const std::string file = dir.file("banco.ini");
    BoxCloser boxes;
    StationWindow window(systemClock(),
                         stationwin::engineStations(systemSerialDevices(), systemClock()), {});
    window.core().setPositionsFile(file);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(window.tileCount(), 0u);
    EXPECT_TRUE(reaches(tabCycle(window), window.positionsButton()));
    const std::vector<std::string> ports = window.core().portChoices();
    ASSERT_GE(ports.size(), 2u);

    // Aggiungi, then Salva: the file holds the new position and its tile is up.
    inEditor(window, [&](QDialog& dialog) {
        QTest::keyClick(&dialog, Qt::Key_A, Qt::AltModifier);
        QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }, 5000));
    });
    const PositionsResult saved = readBenchPositions(file);
    ASSERT_EQ(saved.positions.size(), 1u) << fileText(file);
    EXPECT_EQ(saved.positions[0].name, newPositionName(1));
    EXPECT_EQ(saved.positions[0].port, ports[0]);
    ASSERT_EQ(window.tileCount(), 1u);
    EXPECT_EQ(window.core().tiles()[0].name, newPositionName(1));
    EXPECT_TRUE(boxes.texts.empty());

    // A second position, on the next free port, renamed to the first's name:
    // refused with a box, the editor stays open and the file as it was.
    inEditor(window, [&](QDialog& dialog) {
        auto* table = dialog.findChild<QTableWidget*>();
        ASSERT_TRUE(table);
        ASSERT_EQ(table->rowCount(), 1);
        // Alt and a letter click a button after its short press animation.
        QTest::keyClick(&dialog, Qt::Key_A, Qt::AltModifier);
        ASSERT_TRUE(pumpUntil([&] { return table->rowCount() == 2; }, 2000));
        EXPECT_EQ(table->item(1, 1)->text().toStdString(), ports[1]);
        table->setFocus();
        table->setCurrentCell(1, 0);
        QTest::keyClick(table, Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        ASSERT_NE(editor, table);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, QString::fromStdString(newPositionName(1)));
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
        ASSERT_TRUE(pumpUntil([&] { return !boxes.texts.empty(); }, 5000));
        EXPECT_NE(boxes.texts.back().find("\"" + newPositionName(1) + "\""), std::string::npos)
            << boxes.texts.back();
        EXPECT_TRUE(dialog.isVisible());
    });
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(readBenchPositions(file).positions.size(), 1u);
    EXPECT_EQ(window.tileCount(), 1u);
}

}  // namespace
}  // namespace zor::test
