// End to end: the real window on the system's serial devices, zorsim on a
// pseudo-terminal as COM1, driven through the window's own buttons from the
// start page to "Aggiornamento completato", then a second chronometer with
// "Altro cronometro...".
#include <gtest/gtest.h>

#include <QProcess>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/serial_port.h"
#include "platform/version_block.h"
#include "qt_support.h"
#include "support/temp_dir.h"
#include "wizard/qt/main_form.h"

namespace zor::test {
namespace {

using wizard::Ctl;
using wizard::Page;

TEST(QtWizardOverPty, TwoChronometersThroughTheButtons) {
    TempDir dir("zor_qtpty");
    const std::string sample = dir.file("esempio.upd");
    const std::string com1 = dir.file("COM1");
    QProcess write;
    write.start(ZORSIM_PROGRAM, {"--write-sample", QString::fromStdString(sample)});
    ASSERT_TRUE(write.waitForFinished(10000));
    ASSERT_EQ(write.exitCode(), 0);

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(ZORSIM_PROGRAM, {"--link", QString::fromStdString(com1), "--flash-step", "5"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(pumpUntil([&] { return std::filesystem::is_symlink(com1); }, 5000));
    // COM1 is the simulated chronometer; the other three are nowhere.
    setenv("ZORLOAD_COM1", com1.c_str(), 1);
    for (const char* other : {"ZORLOAD_COM2", "ZORLOAD_COM3", "ZORLOAD_COM4"})
        setenv(other, dir.file("absent").c_str(), 1);
    setenv("ZORLOAD_DEV_ROOT", dir.path().c_str(), 1);  // and no serial adapters

    BoxCloser boxes;
    qtui::TfrmZORMain form({systemSerialDevices(),
                            systemClock(),
                            programVersionBlock(),
                            dir.file("zorload"),
                            {sample},
                            dir.path()});
    ASSERT_TRUE(form.construct());
    form.show();
    auto click = [&](Ctl c) { QTest::mouseClick(form.widget(c), Qt::LeftButton); };
    auto page = [&] { return form.core().page(); };

    click(Ctl::btnAvanti);
    ASSERT_EQ(page(), Page::SelFile);
    click(Ctl::btnAvanti);
    ASSERT_EQ(page(), Page::SetCrono);
    click(Ctl::btnAvanti);
    ASSERT_EQ(page(), Page::SelPort);
    auto* ports = static_cast<QTreeWidget*>(form.widget(Ctl::lwPorte));
    ASSERT_EQ(ports->topLevelItemCount(), 4);
    EXPECT_EQ(ports->currentItem()->text(0), "COM1");
    EXPECT_EQ(ports->topLevelItem(1)->text(1), "Non installata");
    click(Ctl::btnAvanti);
    ASSERT_EQ(page(), Page::SelLanguage) << (boxes.texts.empty() ? "" : boxes.texts[0]);

    auto* parts = static_cast<QTreeWidget*>(form.widget(Ctl::lvSelLang));
    ASSERT_EQ(parts->topLevelItemCount(), 4);
    for (int i = 0; i < parts->topLevelItemCount(); ++i)
        parts->topLevelItem(i)->setCheckState(0, Qt::Checked);
    ASSERT_TRUE(form.widget(Ctl::btnAvanti)->isEnabled());

    for (int chronometer = 1; chronometer <= 2; ++chronometer) {
        SCOPED_TRACE(chronometer);
        click(Ctl::btnAvanti);
        ASSERT_EQ(page(), Page::Download);
        ASSERT_TRUE(pumpUntil([&] { return page() != Page::Download; }, 60000));
        ASSERT_EQ(page(), Page::Done) << (boxes.texts.empty() ? "" : boxes.texts[0]);
        EXPECT_EQ(static_cast<QProgressBar*>(form.widget(Ctl::barProgresso))->value(), 100);
        EXPECT_TRUE(form.widget(Ctl::btnAltro)->isVisible());
        if (chronometer == 1) {
            click(Ctl::btnAltro);
            ASSERT_EQ(page(), Page::New);
            click(Ctl::btnAvanti);  // the same port, file and ticks
            ASSERT_EQ(page(), Page::SelLanguage);
            EXPECT_EQ(parts->topLevelItem(0)->checkState(0), Qt::Checked);
        }
    }
    EXPECT_TRUE(boxes.texts.empty());
    click(Ctl::btnAvanti);  // Fine
    EXPECT_FALSE(form.isVisible());
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 0);  // the chronometer saw no protocol violation
}

}  // namespace
}  // namespace zor::test
