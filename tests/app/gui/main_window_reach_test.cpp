// The main window in the technician's hands, on the offscreen platform: the last job's outcome in the
// status bar and the progress bar where the job stopped, the job buttons disabled while a job runs, the
// Tab order, Tab in the terminal, Return on a button, Alt+key on the job buttons, the picture at the
// keyboard, and a first size that fits the screen.

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/window_keys.h"
#include "serial/posix_serial_device.h"
#include "tests/support/hex_text.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"
#include "tools/virtual_monitor.h"

namespace hlx::app {
namespace {

using namespace std::chrono_literals;

constexpr const char* kMissingPort = "/dev/hlx-missing";

QString nameOf(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

class MainWindowReachTest : public ::testing::Test {
protected:
    void openWindow(const std::string& comText = kMissingPort) {
        SettingsValues values;
        values.comNumber = comText;
        values.comSetting = 0;
        (void)SettingsStore(storePath).save(values);
        store = std::make_unique<SettingsStore>(storePath);
        window = std::make_unique<MainWindow>(port, *store);
    }
    void showActive() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <class W>
    W* control(std::string_view name) {
        W* widget = window->findChild<W*>(nameOf(name));
        EXPECT_NE(nullptr, widget) << name;
        return widget;
    }
    void serveUntilJobEnds() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->logic().jobSlot().running(); }, 20000));
        QTest::qWait(static_cast<int>(2 * kJobTextFrame.count()));
    }
    std::string firmwareOf(int records) {
        test::HexText hex;
        for (int i = 0; i < records; ++i) hex.fill(static_cast<std::uint16_t>(i * 0x20), 16);
        const std::string path = dir.file("fw.hex");
        test::writeFile(path, hex.end().text());
        return path;
    }
    std::vector<bool> jobButtonsEnabled() {
        std::vector<bool> enabled;
        for (const std::string_view name : kJobButtons)
            enabled.push_back(control<QPushButton>(name)->isEnabled());
        return enabled;
    }
    QLabel* jobStatus() { return control<QLabel>("JobStatus"); }
    // The focused control by object name (the COM settings' own line edit counts as the box).
    static QString focusName() {
        QWidget* focused = QApplication::focusWidget();
        if (focused == nullptr) return QStringLiteral("(none)");
        if (focused->objectName().isEmpty() && focused->parentWidget() != nullptr)
            return focused->parentWidget()->objectName();
        return focused->objectName();
    }

    test::TempDir dir;
    std::string storePath = dir.file("settings.reg");
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<MainWindow> window;
};

// On a narrow window the port's state and note give way to the last job's outcome, which stays whole;
// their whole texts are in their tool tips.
TEST_F(MainWindowReachTest, TheOutcomeStaysWholeBesideLongPortTexts) {
    tools::VirtualMonitor monitor;
    openWindow(monitor.slavePath());
    showActive();
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(dir.file("not-there.hex")));
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    ASSERT_FALSE(jobStatus()->isHidden());
    const std::string note =
        monitor.slavePath() + " has gone: waiting for it to come back, " + std::string(80, 'x');
    window->showPortNote(note);
    window->resize(640, window->height());
    QTest::qWait(static_cast<int>(2 * kJobTextFrame.count()));
    EXPECT_GE(jobStatus()->width(), jobStatus()->sizeHint().width())
        << jobStatus()->text().toStdString() << " in a window " << window->width() << " wide";
    EXPECT_EQ(QString::fromStdString(note), control<QLabel>("PortNote")->toolTip());
    EXPECT_EQ(control<QLabel>("PortState")->text(), control<QLabel>("PortState")->toolTip());
    EXPECT_EQ(jobStatus()->text(), jobStatus()->toolTip());
    window->close();
}

// The monitor refuses record 30 of 60: the window's lines stay as they are, the status bar says FEHLER
// with the first failure line (not by colour alone), the bar shows its percentage where the job stopped.
// The next job clears the outcome as it starts; a successful one says OK with its last line, bar full.
TEST_F(MainWindowReachTest, AJobsOutcomeStandsInTheStatusBarAndTheBarWhereItStopped) {
    tools::VirtualMonitor monitor;
    const std::string firmware = firmwareOf(60);
    openWindow(monitor.slavePath());
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(firmware));
    EXPECT_TRUE(jobStatus()->isHidden()) << "no job yet";
    tools::MonitorFaults faults;
    faults.errorAt = 30;
    monitor.setFaults(faults);
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    const std::string text = window->outputWindow().text();
    EXPECT_NE(std::string::npos, text.find("\nFehler: Bestätigungsfehler\r\n")) << text;
    EXPECT_FALSE(jobStatus()->isHidden());
    EXPECT_EQ(QStringLiteral("FEHLER \u2013 Fehler: Bestätigungsfehler"), jobStatus()->text());
    EXPECT_TRUE(jobStatus()->styleSheet().contains(QStringLiteral("#b00020")));
    auto* bar = control<QProgressBar>("ProgressBar1");
    EXPECT_TRUE(bar->isTextVisible());
    EXPECT_GE(bar->value(), 40);
    EXPECT_LE(bar->value(), 55);
    EXPECT_EQ(QString::number(bar->value()) + QStringLiteral(" %"), bar->text());

    monitor.setFaults({});
    monitor.clear();
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    EXPECT_TRUE(jobStatus()->isHidden()) << "the outcome goes as the next job starts";
    serveUntilJobEnds();
    EXPECT_TRUE(jobStatus()->text().startsWith(QStringLiteral("OK \u2013 ")))
        << jobStatus()->text().toStdString();
    EXPECT_TRUE(jobStatus()->text().endsWith(QStringLiteral(" Bytes übertragen")));
    EXPECT_TRUE(jobStatus()->styleSheet().contains(QStringLiteral("#1b5e20")));
    EXPECT_EQ(100, bar->value());
    window->close();
}

TEST_F(MainWindowReachTest, TheJobButtonsAreDisabledWhileAJobRunsAndComeBackAtItsEnd) {
    test::PseudoTerminal silentMonitor;  // never answers, so the job waits for its reply deadline
    openWindow(silentMonitor.slavePath());
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(firmwareOf(2)));
    EXPECT_EQ(std::vector<bool>(kJobButtons.size(), true), jobButtonsEnabled());
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    ASSERT_TRUE(window->logic().jobSlot().running());
    EXPECT_EQ(std::vector<bool>(kJobButtons.size(), false), jobButtonsEnabled());
    EXPECT_TRUE(control<QPushButton>("Button3")->isEnabled()) << "Load Terminal starts no job";
    serveUntilJobEnds();
    EXPECT_EQ(std::vector<bool>(kJobButtons.size(), true), jobButtonsEnabled());
    EXPECT_EQ(QStringLiteral("FEHLER \u2013 Fehler: Zeitüberschreitung"), jobStatus()->text());
    window->close();
}

TEST_F(MainWindowReachTest, TabWalksTheControlsInTheOrderTheyAreSeen) {
    openWindow();
    showActive();
    auto walk = [&](std::size_t steps) {
        control<QLineEdit>("editComNr")->setFocus();
        std::vector<std::string> names{focusName().toStdString()};
        for (std::size_t i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names.push_back(focusName().toStdString());
        }
        return names;
    };
    std::vector<std::string> expected;
    for (const std::string_view name : kTabOrder)
        if (name != "Image1") expected.emplace_back(name);  // hidden until the terminal's "Bilder"
    expected.emplace_back(kTabOrder.front());               // and round again
    EXPECT_EQ(expected, walk(expected.size() - 1));

    window->showPicture();
    expected.clear();
    for (const std::string_view name : kTabOrder) expected.emplace_back(name);
    expected.emplace_back(kTabOrder.front());
    EXPECT_EQ(expected, walk(expected.size() - 1));
    window->close();
}

TEST_F(MainWindowReachTest, TabInTheTerminalMovesOnAndOnlyCtrlTabPutsATabIntoTheText) {
    openWindow();
    showActive();
    auto* terminal = control<QPlainTextEdit>("OutputWindow");
    terminal->setFocus();
    const std::string before = window->outputWindow().text();
    QTest::keyClick(terminal, Qt::Key_Tab);
    EXPECT_EQ(QStringLiteral("editSendFile1"), focusName());
    EXPECT_EQ(before, window->outputWindow().text());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QStringLiteral("OutputWindow"), focusName());
    QTest::keyClick(terminal, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QStringLiteral("Button5"), focusName());
    EXPECT_EQ(before, window->outputWindow().text());
    // Ctrl+Tab puts a tab where the caret is, and the focus stays.
    terminal->setFocus();
    terminal->moveCursor(QTextCursor::End);
    QTest::keyClick(terminal, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QStringLiteral("OutputWindow"), focusName());
    EXPECT_EQ(before + "\t", window->outputWindow().text());
    window->close();
}

// Return on the focused button presses it, as Space does; a missing firmware file fails the job at once.
TEST_F(MainWindowReachTest, ReturnAndSpacePressTheFocusedButton) {
    openWindow();
    showActive();
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(dir.file("missing.hex")));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        SCOPED_TRACE(key);
        auto* button = control<QPushButton>("btnUpdate");
        button->setFocus();
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::keyClick(button, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ(1, clicked.count());
        if (window->logic().jobSlot().running()) {
            EXPECT_EQ(QStringLiteral("OutputWindow"), focusName()) << "not the next button";
        }
        serveUntilJobEnds();
        EXPECT_EQ(QStringLiteral("FEHLER \u2013 Fehler: Datei kann nicht geöffnet werden"),
                  jobStatus()->text());
        EXPECT_EQ(QStringLiteral("btnUpdate"), focusName()) << "back on the button at the job's end";
    }
    window->close();
}

// Alt+key presses the job button; its caption stays the system's text and its tool tip names the key.
TEST_F(MainWindowReachTest, AltKeysPressTheJobButtonsWhoseCaptionsStayAsTheyAre) {
    openWindow();
    showActive();
    const std::map<std::string_view, QString> captions{
        {"btnUpdate", QStringLiteral("Update (RTQ)")},      {"Button1", QStringLiteral("Update (Realterm)")},
        {"Button2", QStringLiteral("Update (Bootloader)")}, {"Button5", QStringLiteral("Send Terminal")},
        {"Button6", QStringLiteral("Send File 1")},         {"Button7", QStringLiteral("Send File 2")},
        {"Button8", QStringLiteral("Send File 3")},         {"Button9", QStringLiteral("Send File 4")},
        {"Button10", QStringLiteral("Send File 5")},        {"Button11", QStringLiteral("Send File 6")}};
    for (const Mnemonic& mnemonic : kMnemonics) {
        SCOPED_TRACE(std::string(mnemonic.button));
        auto* button = control<QPushButton>(mnemonic.button);
        EXPECT_EQ(captions.at(mnemonic.button), button->text());
        EXPECT_EQ(QStringLiteral("Alt+") + QChar(mnemonic.key), button->toolTip());
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::keyClick(window.get(), static_cast<Qt::Key>(mnemonic.key), Qt::AltModifier);
        EXPECT_EQ(1, clicked.count());
        serveUntilJobEnds();
    }
    window->close();
}

// Once "Bilder" has shown the picture, Tab reaches it and Return opens the converter's chooser.
TEST_F(MainWindowReachTest, ThePictureConverterStartsFromTheKeyboard) {
    openWindow();
    showActive();
    window->showPicture();
    auto* image = control<QLabel>("Image1");
    image->setFocus();
    ASSERT_EQ(QStringLiteral("Image1"), focusName());
    bool chooserOpened = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            chooserOpened = true;
            dialog->reject();
        }
    });
    answer.start(10);
    QTest::keyClick(image, Qt::Key_Return);
    EXPECT_TRUE(chooserOpened);
    window->close();
}

// The first size never exceeds the screen's available area; the status bar stays inside it.
TEST_F(MainWindowReachTest, TheFirstSizeFitsTheScreenWithTheStatusBarInView) {
    openWindow();
    showActive();
    const QRect available = window->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window->frameGeometry()))
        << window->frameGeometry().width() << "x" << window->frameGeometry().height() << " on "
        << available.width() << "x" << available.height();
    const QRect statusBar(window->statusBar()->mapToGlobal(QPoint(0, 0)), window->statusBar()->size());
    EXPECT_TRUE(available.contains(statusBar));
    window->close();
}

// Smaller than the layout needs: the controls scroll, the status bar stays in the window.
TEST_F(MainWindowReachTest, AWindowTooSmallForTheLayoutScrollsItsControlsAndKeepsTheStatusBar) {
    openWindow();
    showActive();
    window->resize(600, 320);
    QTest::qWait(static_cast<int>(2 * kJobTextFrame.count()));
    auto* area = control<QScrollArea>("clientArea");
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
    const QRect statusBar = window->statusBar()->geometry();
    EXPECT_TRUE(window->rect().contains(statusBar));
    EXPECT_TRUE(window->statusBar()->isVisible());
    window->close();
}

}  // namespace
}  // namespace hlx::app
