// The main window on Qt: its controls and their first state, the events that reach the window logic,
// the technician's Enter and double click in the output window, the file dialogs' filters, and jobs that
// write into the window from their thread (also while the window closes). The port is a real device path
// that does not exist; the settings store is a real file in a temporary folder.

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest/QTest>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "imaging/qt_bitmap.h"
#include "jobs/job_frame.h"
#include "report/job_record.h"
#include "serial/posix_serial_device.h"
#include "terminal/terminal_io.h"
#include "tests/support/hex_text.h"
#include "tests/support/pty.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_sanitizer.h"
#include "tools/virtual_monitor.h"

namespace hlx::app {
namespace {

using namespace std::chrono_literals;

constexpr const char* kMissingPort = "/dev/hlx-missing";
constexpr const char* kFirstLine = "Output & Terminal Window\r\n";
constexpr const char* kPortErrors =
    "Fehler: COM Port konnte nicht ge\xc3\xb6"
    "ffnet werden\r\n";

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class MainWindowTest : public ::testing::Test {
protected:
    // The store of an earlier run that left COM-Nr naming a device that is not there.
    void storeComNumber(const std::string& comText) {
        SettingsValues values;
        values.comNumber = comText;
        values.comSetting = -1;
        (void)SettingsStore(storePath).save(values);
    }

    void openWindow() {
        store = std::make_unique<SettingsStore>(storePath);
        window = std::make_unique<MainWindow>(port, *store);
    }

    template <class W>
    W* control(const char* name) {
        W* widget = window->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(nullptr, widget) << name;
        return widget;
    }

    std::string outputText() { return window->outputWindow().text(); }

    // "Bilder" and Enter in the output window: the picture control shows.
    QLabel* showImage1() {
        auto* edit = control<QPlainTextEdit>("OutputWindow");
        edit->moveCursor(QTextCursor::End);
        QTest::keyClicks(edit, "Bilder");
        QTest::keyClick(edit, Qt::Key_Return);
        auto* image = control<QLabel>("Image1");
        EXPECT_FALSE(image->isHidden());
        return image;
    }

    // Clicks the control and, in the open dialog that follows, types the path and confirms it, as often
    // as it takes the dialog to take it (it may still be reading the folder); after 3 s the dialog is
    // cancelled. Returns the filter the dialog showed.
    QString clickChoosing(QWidget* target, const std::string& path) {
        QString filter;
        int ticks = 0;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            filter = dialog->selectedNameFilter();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (++ticks > 300 || !name) {
                static_cast<QDialog*>(dialog)->reject();
                return;
            }
            name->setText(QString::fromStdString(path));
            static_cast<QDialog*>(dialog)->accept();  // the Open button
        });
        answer.start(10);
        QTest::mouseClick(target, Qt::LeftButton);
        return filter;
    }
    QString portState() { return control<QLabel>("PortState")->text(); }

    // Serves the GUI thread's events until done() holds, then for two frames more, so what other threads
    // queued for the window (shown once a frame) is on it; a hang fails the test.
    void serveUntil(const std::function<bool()>& done) {
        ASSERT_TRUE(QTest::qWaitFor(done, 20000)) << "it did not end";
        QTest::qWait(static_cast<int>(2 * kJobTextFrame.count()));
    }
    void serveUntilJobEnds() {
        serveUntil([&] { return !window->logic().jobSlot().running(); });
    }

    test::TempDir dir;
    std::string storePath = dir.file("settings.reg");
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, MissingPortAtStartShowsBothErrorsEachOnItsOwnLine) {
    storeComNumber(kMissingPort);
    openWindow();
    EXPECT_EQ(std::string(kFirstLine) + kPortErrors, outputText());
    EXPECT_TRUE(portState().contains(QString::fromLatin1(kMissingPort))) << portState().toStdString();
}

TEST_F(MainWindowTest, FirstStartShowsTheDesignState) {
    openWindow();  // nothing stored
    EXPECT_EQ(QStringLiteral("TForm7"), window->objectName());
    EXPECT_EQ(QStringLiteral("Quendal - RTQ1.3 HLX Service Tool"), window->windowTitle());

    struct Caption {
        const char* name;
        const char* text;
    };
    const Caption labels[] = {{"Label1", "COM-Nr"},
                              {"Label2", "Firmware File (RTQ)"},
                              {"Label3", "COM-Settings"},
                              {"Label7", "Firmware File (Bootloader)"},
                              {"Label8", "Firmware File (RealTerm)"}};
    for (const Caption& c : labels) {
        if (auto* label = control<QLabel>(c.name)) {
            EXPECT_EQ(QString::fromUtf8(c.text), label->text()) << c.name;
        }
    }

    const Caption buttons[] = {
        {"btnUpdate", "Update (RTQ)"}, {"Button1", "Update (Realterm)"}, {"Button2", "Update (Bootloader)"},
        {"Button3", "Load Terminal"},  {"Button4", "Save Terminal"},     {"Button5", "Send Terminal"},
        {"Button6", "Send File 1"},    {"Button7", "Send File 2"},       {"Button8", "Send File 3"},
        {"Button9", "Send File 4"},    {"Button10", "Send File 5"},      {"Button11", "Send File 6"}};
    for (const Caption& c : buttons) {
        if (auto* button = control<QPushButton>(c.name)) {
            EXPECT_EQ(QString::fromUtf8(c.text), button->text()) << c.name;
        }
    }

    const Caption edits[] = {{"editComNr", "1"},         {"editFirmwareFile", ""},
                             {"editFWfileRealterm", ""}, {"editFWfileBootLoader", ""},
                             {"editSendFile1", ""},      {"editSendFile2", ""},
                             {"editSendFile3", ""},      {"editSendFile4", ""},
                             {"editSendFile5", ""},      {"editSendFile6", ""}};
    for (const Caption& c : edits) {
        if (auto* edit = control<QLineEdit>(c.name)) {
            EXPECT_EQ(QString::fromUtf8(c.text), edit->text()) << c.name;
        }
    }

    if (auto* combo = control<QComboBox>("editCOMSettings")) {
        EXPECT_TRUE(combo->isEditable());
        const QStringList items = {"115200,8,E,1", "460800,8,E,1", "115200,8,N,1", "9600,8,E,1",
                                   "57600,8,E,1"};
        ASSERT_EQ(items.size(), combo->count());
        for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(items[i], combo->itemText(i));
        EXPECT_EQ(-1, combo->currentIndex());
        EXPECT_EQ(QStringLiteral("115200,8,E,1"), combo->currentText());
        EXPECT_EQ(-1, window->comSettingsIndex());
    }
    if (auto* image = control<QLabel>("Image1")) {
        EXPECT_TRUE(image->isHidden());
        EXPECT_EQ(QStringLiteral("Klicken Sie hier um eine vxc zu erzeugen"), image->toolTip());
    }
    if (auto* txMemo = control<QPlainTextEdit>("txMemo")) {
        EXPECT_TRUE(txMemo->isHidden());
        EXPECT_EQ(QStringLiteral("txMemo"), txMemo->toPlainText());
    }
    if (auto* progress = control<QProgressBar>("ProgressBar1")) {
        EXPECT_EQ(0, progress->value());
    }
    if (auto* timer = control<QTimer>("Timer1")) {
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(100, timer->interval());
    }
    EXPECT_NE(nullptr, control<QWidget>("PaintBox1"));
    EXPECT_EQ(0u, outputText().rfind(kFirstLine, 0));
}

TEST_F(MainWindowTest, ComEventsReopenThePort) {
    storeComNumber(kMissingPort);
    openWindow();
    QLineEdit* comNr = control<QLineEdit>("editComNr");
    QComboBox* comSettings = control<QComboBox>("editCOMSettings");
    ASSERT_TRUE(comNr && comSettings);

    struct Event {
        const char* name;
        std::function<void()> act;
        bool reopens;
    };
    auto focusOut = [&](Qt::FocusReason reason) {
        return [&, reason] {
            QFocusEvent event(QEvent::FocusOut, reason);
            QCoreApplication::sendEvent(comNr, &event);
        };
    };
    const Event events[] = {
        {"TypeInComNr",
         [&] {
             comNr->end(false);
             QTest::keyClicks(comNr, "2");
         },
         false},
        {"EnterInComNr", [&] { QTest::keyClick(comNr, Qt::Key_Return); }, true},
        {"DoubleClickInComNr", [&] { QTest::mouseDClick(comNr, Qt::LeftButton); }, true},
        {"TabOutOfComNr", focusOut(Qt::TabFocusReason), true},
        {"ClickElsewhere", focusOut(Qt::MouseFocusReason), true},
        {"DialogOpens", focusOut(Qt::ActiveWindowFocusReason), false},
        {"CompletionPopup", focusOut(Qt::PopupFocusReason), false},
        {"ChooseComEntry", [&] { QTest::keyClick(comSettings, Qt::Key_Down); }, true},
        {"DoubleClickInComSettings", [&] { QTest::mouseDClick(comSettings->lineEdit(), Qt::LeftButton); },
         true},
    };
    const std::string failure =
        "Fehler: COM Port konnte nicht ge\xc3\xb6"
        "ffnet werden";
    for (const Event& e : events) {
        SCOPED_TRACE(e.name);
        const int before = count(outputText(), failure);
        e.act();
        EXPECT_EQ(before + (e.reopens ? 1 : 0), count(outputText(), failure));
    }
    EXPECT_EQ(0, window->comSettingsIndex());  // the chosen entry is what the port is configured with
    EXPECT_TRUE(portState().contains(QStringLiteral("/dev/hlx-missing2"))) << portState().toStdString();
}

TEST_F(MainWindowTest, EnterInFirmwareFieldsFillsOnlyAnEmptyField) {
    storeComNumber(kMissingPort);
    openWindow();
    control<QLineEdit>("editFirmwareFile")->setText("/fw/monitor.hex");
    control<QLineEdit>("editFWfileBootLoader")->setText("/fw/loader.hex");
    QTest::keyClick(control<QLineEdit>("editFWfileRealterm"), Qt::Key_Return);
    QTest::keyClick(control<QLineEdit>("editFWfileBootLoader"), Qt::Key_Return);
    EXPECT_EQ("/fw/monitor.hex", window->editText(Edit::FirmwareFileRealterm));
    EXPECT_EQ("/fw/loader.hex", window->editText(Edit::FirmwareFileBootLoader));
}

TEST_F(MainWindowTest, EnterInTheOutputWindowEndsTheLineWithCrLf) {
    storeComNumber(kMissingPort);
    openWindow();
    auto* edit = control<QPlainTextEdit>("OutputWindow");
    ASSERT_NE(nullptr, edit);
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "Bilder");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(std::string(kFirstLine) + kPortErrors + "Bilder\r\n", outputText());
    EXPECT_TRUE(window->outputWindow().atLineStart());
    // "Bilder" is the tool's own command: it shows the picture control and its frame.
    EXPECT_FALSE(control<QLabel>("Image1")->isHidden());
    EXPECT_TRUE(static_cast<PictureFrame*>(control<QWidget>("PaintBox1"))->frameShown());

    QTest::keyClick(edit, Qt::Key_Backspace);  // removes the line break as one
    EXPECT_EQ(std::string(kFirstLine) + kPortErrors + "Bilder", outputText());
}

TEST_F(MainWindowTest, DoubleClickInTheOutputWindowClearsIt) {
    storeComNumber(kMissingPort);
    openWindow();
    QTest::mouseDClick(control<QPlainTextEdit>("OutputWindow")->viewport(), Qt::LeftButton);
    EXPECT_EQ("", outputText());
    EXPECT_EQ(0, window->outputWindow().selectionStart());
}

TEST_F(MainWindowTest, JobWritesIntoTheWindowFromItsThread) {
    storeComNumber(kMissingPort);
    openWindow();
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    // The job cleared the window, found neither file nor port and reported both; the idle poll runs again.
    EXPECT_EQ(
        std::string("Fehler: Datei kann nicht geöffnet werden\r\n") + kPortErrors + "0 Bytes übertragen\r\n",
        outputText());
    EXPECT_TRUE(control<QTimer>("Timer1")->isActive());
}

TEST_F(MainWindowTest, AJobLeavesItsRecordInTheJobLog) {
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir.file("state").c_str());
    storeComNumber(kMissingPort);
    openWindow();
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(dir.file("missing.hex")));
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    qputenv("XDG_STATE_HOME", savedState);

    const std::string log = dir.file("state/QUENDAL/hlx-jobs.jsonl");
    EXPECT_EQ("", test::reportSchemaViolations(log, /*lines=*/true));
    const std::string line = test::readFile(log);
    ASSERT_EQ(1, count(line, "\n")) << "one line for the one job";
    const nlohmann::json record = nlohmann::json::parse(line);
    EXPECT_EQ("hlx-service-tool", record["tool"]["name"]);
    EXPECT_EQ("rtq", record["method"]);
    const nlohmann::json& job = record["jobs"][0];
    EXPECT_EQ(kMissingPort, job["port"]);
    EXPECT_EQ(nlohmann::json(report::splitLines(outputText())), job["lines"]) << "what the window showed";
    EXPECT_EQ(0x1880, job["result_word"]);
    EXPECT_FALSE(job["success"]);
}

TEST_F(MainWindowTest, ClosingDuringAJobSavesTheSettingsAndEndsTheJob) {
    storeComNumber(kMissingPort);
    openWindow();
    control<QLineEdit>("editSendFile4")->setText("/images/logo.vxc");
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    ASSERT_TRUE(window->logic().jobSlot().running());
    // No events are served: the job waits for the GUI thread when the window closes.
    window->close();
    EXPECT_FALSE(window->logic().jobSlot().running());

    SettingsValues saved;
    SettingsStore(storePath).load(saved);
    EXPECT_EQ(kMissingPort, saved.comNumber);
    EXPECT_EQ("/images/logo.vxc", saved.sendFiles[3]);
}

TEST_F(MainWindowTest, AStartWhileTheLastJobStillWaitsForTheWindowDoesNotBlock) {
    storeComNumber(kMissingPort);
    openWindow();
    jobs::JobSlot& slot = window->logic().jobSlot();
    // As a kind that marks its end before it restarts the idle poll: the thread still waits for the
    // window when the technician presses the next button.
    std::atomic<bool> finished{false};
    ASSERT_TRUE(slot.start([&](std::stop_token) {
        slot.markFinished();
        finished = true;
        window->setIdlePollEnabled(true);  // waits for the GUI thread
    }));
    while (!finished) std::this_thread::yield();
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);  // no events served meanwhile
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the start joined a thread that waits for us";
    serveUntilJobEnds();
    EXPECT_NE(std::string::npos, outputText().find("0 Bytes übertragen"));
}

TEST_F(MainWindowTest, AFifoNamedAsFirmwareIsRefusedAtOnceAndTheWindowCloses) {
    storeComNumber(kMissingPort);
    const std::string fifo = dir.file("firmware.hex");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    openWindow();
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(fifo));
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    EXPECT_NE(std::string::npos, outputText().find("Fehler: Datei kann nicht geöffnet werden"));
    window->close();
}

// Closing the window stops the job; its record still holds the lines it had shown (the window, closing,
// gives no text any more).
TEST_F(MainWindowTest, AJobStoppedByClosingKeepsItsLinesInItsRecord) {
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir.file("state").c_str());
    test::PseudoTerminal silentMonitor;  // never answers the download command: the job waits 5 s
    const std::string firmware = dir.file("fw.hex");
    test::writeFile(firmware, ":0400000001020304F2\r\n:00000001FF\r\n");
    storeComNumber(silentMonitor.slavePath());
    openWindow();
    control<QLineEdit>("editFWfileRealterm")->setText(QString::fromStdString(firmware));
    QTest::mouseClick(control<QPushButton>("Button1"), Qt::LeftButton);
    std::string received;
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (received.find("LoadFW?\r\n") == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        received += silentMonitor.receive(1, 5ms);
    }
    ASSERT_NE(std::string::npos, received.find("LoadFW?\r\n"));
    window->close();
    qputenv("XDG_STATE_HOME", savedState);

    const std::string log = dir.file("state/QUENDAL/hlx-jobs.jsonl");
    EXPECT_EQ("", test::reportSchemaViolations(log, /*lines=*/true));
    const nlohmann::json job = nlohmann::json::parse(test::readFile(log))["jobs"][0];
    EXPECT_TRUE(job["stopped"]);
    EXPECT_EQ(
        nlohmann::json({firmware + " geöffnet", "Prüfe Hex File", "Anzahl Fehler: 0", "Starte Download"}),
        job["lines"]);
}

TEST_F(MainWindowTest, AReopenDuringAJobsReplyWaitDoesNotWaitForIt) {
    test::PseudoTerminal silentMonitor;  // never answers the download command: the job waits 5 s
    const std::string firmware = dir.file("fw.hex");
    test::writeFile(firmware, ":0400000001020304F2\r\n:00000001FF\r\n");
    storeComNumber(silentMonitor.slavePath());
    openWindow();
    control<QLineEdit>("editFWfileRealterm")->setText(QString::fromStdString(firmware));
    QTest::mouseClick(control<QPushButton>("Button1"), Qt::LeftButton);
    // Until the command has gone out the job is not yet in its wait (and needs the window meanwhile).
    std::string received;
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (received.find("LoadFW?\r\n") == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        received += silentMonitor.receive(1, 5ms);
    }
    ASSERT_NE(std::string::npos, received.find("LoadFW?\r\n"));
    const auto start = std::chrono::steady_clock::now();
    QTest::keyClick(control<QLineEdit>("editComNr"), Qt::Key_Return);  // re-opens the port
    (void)portState();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the window waited for the job's reply wait";
    window->close();
}

// The re-open (Enter in COM-Nr) again and again while a download waits for a record's reply, which the
// monitor holds back: the reply comes on the re-opened port and is no time-out, round after round.
TEST_F(MainWindowTest, ReopensRacingADownloadsReplyWaitNeverMakeItATimeOut) {
    tools::VirtualMonitor monitor;
    const std::string firmware = dir.file("fw.hex");
    // Four records apart from each other, so each is sent and answered on its own.
    test::writeFile(firmware,
                    test::HexText().fill(0x00, 16).fill(0x20, 16).fill(0x40, 16).fill(0x60, 16).end().text());
    storeComNumber(monitor.slavePath());
    openWindow();
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(firmware));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        monitor.clear();
        tools::MonitorFaults faults;
        faults.delay = 400ms;
        faults.delayAt = 2;
        monitor.setFaults(faults);
        QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.records().size() >= 2; }, 5000));
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(control<QLineEdit>("editComNr"), Qt::Key_Return);
            QTest::qWait(10);
        }
        serveUntilJobEnds();
        const std::string text = outputText();
        EXPECT_EQ(std::string::npos, text.find("Zeitüberschreitung")) << text;
        EXPECT_NE(std::string::npos, text.find("Neustart\r\n")) << text;
    }
    window->close();
}

// A monitor whose USB service port leaves the bus when it restarts after an update: the window waits
// for the same path (a link moved to the monitor's new pseudo-terminal, as a by-id name follows its
// adapter), opens it again by itself and shows the monitor's boot lines, and the status bar says so.
TEST_F(MainWindowTest, AfterAnUpdateThatEndsInARestartTheBootLinesShowByThemselves) {
    tools::MonitorConfig config;
    config.linkPath = dir.file("monitor");
    config.restartAfterDownload = true;
    config.restartTime = 300ms;
    config.bootLines = {"Boot RTQ 1.3"};
    tools::VirtualMonitor monitor(config);
    const std::string firmware = dir.file("fw.hex");
    test::writeFile(firmware, test::HexText().fill(0x00, 16).end().text());
    storeComNumber(config.linkPath);
    openWindow();
    control<QLineEdit>("editFirmwareFile")->setText(QString::fromStdString(firmware));
    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    EXPECT_NE(std::string::npos, outputText().find("Neustart\r\n")) << outputText();
    EXPECT_EQ(std::string::npos, outputText().find("Verbindung zum COM Port verloren")) << outputText();
    ASSERT_TRUE(monitor.waitForRestarts(1, 10s));
    serveUntil([&] { return outputText().find("Boot RTQ 1.3") != std::string::npos; });
    EXPECT_FALSE(window->logic().waitingForPort());
    EXPECT_EQ(QString::fromStdString(config.linkPath + " is back: opened again"),
              control<QLabel>("PortNote")->text());
    EXPECT_TRUE(portState().startsWith(QString::fromStdString(config.linkPath))) << portState().toStdString();
    window->close();
}

// The session log from the terminal's context menu: started into a file chosen in the dialog, shown in the
// status bar, and stopped from the same menu.
TEST_F(MainWindowTest, TheTerminalsContextMenuStartsAndStopsASessionLog) {
    test::PseudoTerminal monitor;
    storeComNumber(monitor.slavePath());
    openWindow();
    const std::string logPath = dir.file("session.log");
    auto* edit = control<QPlainTextEdit>("OutputWindow");
    // Picks the menu's session-log entry once the menu shows, and answers the dialog that may follow.
    auto chooseFromMenu = [&](const QString& caption) {
        QString seen;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                    name->setText(QString::fromStdString(logPath));
                    static_cast<QDialog*>(dialog)->accept();
                }
                return;
            }
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            if (!seen.isEmpty()) {  // chosen: the menu goes, as after a click
                menu->close();
                return;
            }
            if (auto* action = menu->findChild<QAction*>(QStringLiteral("SessionLogAction"))) {
                seen = action->text();
                // Queued: a timer's slot is not called again while it runs, and the dialog that may
                // follow needs this one to answer it.
                QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
            }
        });
        answer.start(10);
        emit edit->customContextMenuRequested(QPoint(5, 5));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !seen.isEmpty() && !QApplication::activeModalWidget(); }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(caption, seen);
    };
    chooseFromMenu(QStringLiteral("Start Session Log..."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->logic().sessionLogRunning(); }, 5000));
    auto* state = control<QLabel>("SessionLogState");
    EXPECT_FALSE(state->isHidden());
    EXPECT_EQ(QStringLiteral("Session log: ") + QString::fromStdString(logPath), state->text());

    monitor.send("OK\r\n");
    serveUntil([&] { return outputText().find("OK") != std::string::npos; });
    chooseFromMenu(QStringLiteral("Stop Session Log"));
    EXPECT_FALSE(window->logic().sessionLogRunning());
    EXPECT_TRUE(state->isHidden());
    const std::string log = test::readFile(logPath);
    EXPECT_TRUE(std::regex_search(log, std::regex(R"((^|\n)\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} < OK\n)")))
        << log;
    window->close();
}

// An Enter while the monitor holds XOFF is not sent and the window says so; the XON that the idle poll
// reads releases the flow, and the next Enter sends its line.
TEST_F(MainWindowTest, AnEnterDuringXoffSaysSoAndTheNextOneAfterTheXonIsSent) {
    test::PseudoTerminal monitor;
    storeComNumber(monitor.slavePath());
    openWindow();
    auto* edit = control<QPlainTextEdit>("OutputWindow");
    monitor.send({0x13});
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.unread() == 0; }, 5000)) << "the idle poll takes it";
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "ver?");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ("", monitor.receive(1, 200ms));
    EXPECT_NE(
        std::string::npos,
        outputText().find("ver?\r\n" + std::string(terminal::notSentLine(serial::SendOutcome::FlowHeld))))
        << outputText();

    monitor.send({0x11});
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.unread() == 0; }, 5000))
        << "the idle poll takes the XON";
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "ver?");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ("ver?\r\n", monitor.receive(6)) << outputText();

    // The same when the Enter itself meets the XOFF, before the idle poll has read it (no events are served
    // in between): the XON the idle poll reads afterwards still releases the flow.
    monitor.send({0x13});
    for (int i = 0; i < 500 && monitor.unread() == 0; ++i) std::this_thread::sleep_for(1ms);
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "ver?");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ("", monitor.receive(1, 200ms));
    monitor.send({0x11});
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.unread() == 0; }, 5000))
        << "the idle poll takes the XON";
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, "ver?");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ("ver?\r\n", monitor.receive(6)) << outputText();
    EXPECT_EQ(2, count(outputText(), std::string(terminal::notSentLine(serial::SendOutcome::FlowHeld))));
    window->close();
}

// No real job throws, so the test runs the frame with a body that does: the window goes on, the slot is
// finished and the next job starts.
TEST_F(MainWindowTest, AThrowFromAJobBodyLeavesTheWindowRunningAndTheSlotFinished) {
    storeComNumber(kMissingPort);
    openWindow();
    const jobs::JobDefinition throwing{
        jobs::JobKind::FileSender,
        [](jobs::JobContext&, std::int32_t) -> jobs::JobOutcome { throw std::bad_alloc(); },
        {},
        {}};
    serial::Deadline deadline;
    base::FileBuffer file;
    jobs::JobSlot& slot = window->logic().jobSlot();
    ASSERT_TRUE(slot.start([&](std::stop_token stop) {
        output::OutputLog log(window->outputWindow());
        jobs::JobContext context{{port, deadline, log, stop}, *window, file, {}};
        jobs::runJobFrame(throwing, context, slot);
    }));
    serveUntilJobEnds();
    EXPECT_EQ(jobs::JobState::Finished, slot.state());
    EXPECT_EQ(jobs::jobAbortedLine("std::bad_alloc") + "\r\n", outputText());
    EXPECT_TRUE(control<QTimer>("Timer1")->isActive());

    QTest::mouseClick(control<QPushButton>("btnUpdate"), Qt::LeftButton);
    serveUntilJobEnds();
    EXPECT_NE(std::string::npos, outputText().find("0 Bytes übertragen"));
}

TEST_F(MainWindowTest, SendButtonsStartTheSendersOnTheirInput) {
    storeComNumber(kMissingPort);
    openWindow();
    const std::string before = outputText();
    QTest::mouseClick(control<QPushButton>("Button5"), Qt::LeftButton);
    EXPECT_EQ(QString::fromStdString(before).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
              control<QPlainTextEdit>("txMemo")->toPlainText())
        << "the hidden memo holds the snapshot being sent";
    EXPECT_FALSE(control<QPlainTextEdit>("txMemo")->isVisible());
    serveUntilJobEnds();
    EXPECT_EQ(0, window->logic().jobSlot().parameter());
    // Not cleared; the port that did not open is that failure, and no line is sent.
    EXPECT_EQ(before + "Fehler: COM Port konnte nicht geöffnet werden\r\n", outputText());

    const std::string file = dir.file("hello.txt");
    test::writeFile(file, "Hallo\r\n");
    control<QLineEdit>("editSendFile2")->setText(QString::fromStdString(file));
    QTest::mouseClick(control<QPushButton>("Button7"), Qt::LeftButton);
    serveUntilJobEnds();
    EXPECT_EQ(2, window->logic().jobSlot().parameter());
    EXPECT_EQ(file +
                  " geöffnet\r\n7 Bytes gelesen\r\nFehler: COM Port konnte nicht geöffnet werden\r\n0 Bytes "
                  "übertragen\r\n",
              outputText());
    EXPECT_TRUE(control<QTimer>("Timer1")->isActive());
}

TEST_F(MainWindowTest, ClickOnImage1ConvertsTheChosenBitmapAndShowsThePreview) {
    storeComNumber(kMissingPort);
    openWindow();
    test::TempDir pictures;
    const std::string source = pictures.file("logo.bmp");
    imaging::QtBitmap picture;
    ASSERT_TRUE(picture.create(80, 20));
    for (int x = 0; x < 80; ++x) picture.setPixel(x, 10, {255, 0, 0});
    ASSERT_TRUE(picture.save(source));

    auto* image = showImage1();
    const QString filter = clickChoosing(image, source);
    // The conversion runs off the GUI thread, which serves the window meanwhile.
    serveUntil([&] { return !window->logic().converting(); });

    EXPECT_EQ(QStringLiteral("Bitmap (*.BMP *.bmp)"), filter);
    const std::string stem = pictures.file("vxc_logo");
    EXPECT_NE(std::string::npos,
              outputText().find("Bilder\r\nKomprimiere logo\r\nErzeuge: " + stem + ".c\r\nErzeuge: " + stem +
                                ".vxc\r\nErzeuge: " + stem + ".bmp\r\n"))
        << outputText();
    imaging::QtBitmap preview;
    ASSERT_TRUE(preview.load(stem + ".bmp"));
    EXPECT_EQ((imaging::Rgb{248, 0, 0}), preview.pixel(3, 10));
    // The preview fills the control's width with its aspect kept.
    const QPixmap shown = image->pixmap();
    EXPECT_EQ(image->width(), shown.width());
    EXPECT_EQ(image->width() / 4, shown.height());
    EXPECT_EQ(19, control<QProgressBar>("ProgressBar1")->value());
}

// A full-HD bitmap takes the converter a while: the click returns at once and the window, idle poll
// included, goes on while it runs; the lines and the preview are those of the conversion.
TEST_F(MainWindowTest, AFullHdConversionRunsOffTheWindowThread) {
    if (test::kUnderThreadSanitizer) GTEST_SKIP() << "Qt's image thread pool is not seen by the sanitizer";
    storeComNumber(kMissingPort);
    openWindow();
    test::TempDir pictures;
    const std::string source = pictures.file("photo.bmp");
    imaging::QtBitmap picture;
    ASSERT_TRUE(picture.create(1920, 1080));
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x)
            picture.setPixel(x, y,
                             {static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 3),
                              static_cast<std::uint8_t>((x ^ y) & 0xFF)});
    ASSERT_TRUE(picture.save(source));

    auto* image = showImage1();
    int pollTicks = 0;
    QObject::connect(control<QTimer>("Timer1"), &QTimer::timeout, [&] { ++pollTicks; });
    const auto start = std::chrono::steady_clock::now();
    clickChoosing(image, source);
    EXPECT_TRUE(window->logic().converting()) << "the click waited for the conversion";
    serveUntil([&] { return !window->logic().converting(); });
    if (std::chrono::steady_clock::now() - start > 500ms) {
        EXPECT_LT(1, pollTicks) << "the idle poll stood still during the conversion";
    }

    const std::string stem = pictures.file("vxc_photo");
    EXPECT_NE(std::string::npos,
              outputText().find("Komprimiere photo\r\nErzeuge: " + stem + ".c\r\nErzeuge: " + stem +
                                ".vxc\r\nErzeuge: " + stem + ".bmp\r\n"))
        << outputText();
    EXPECT_EQ(image->width(), image->pixmap().width());
    EXPECT_EQ(1079, control<QProgressBar>("ProgressBar1")->value());
}

// The filter of the file dialogs matches names in either case.
TEST(QtFilterTest, PatternsMatchNamesInEitherCase) {
    EXPECT_EQ(QStringLiteral("HEX-Files (*.HEX *.hex)"), toQtFilter(kHexFilter));
    EXPECT_EQ(QStringLiteral("TXT (*.TXT *.txt);;VXC Bilddateien (*.VXC *.vxc);;Alle (*)"),
              toQtFilter(kTextFilter));

    auto matches = [](const QString& qtFilter, const QString& name) {
        // The patterns between the parentheses, matched case-sensitively as a case-sensitive file
        // system's dialog does.
        const qsizetype open = qtFilter.lastIndexOf(QLatin1Char('('));
        const QStringList patterns = qtFilter.mid(open + 1).chopped(1).split(QLatin1Char(' '));
        for (const QString& pattern : patterns)
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                    .match(name)
                    .hasMatch())
                return true;
        return false;
    };
    struct Name {
        const char* name;
        bool shown;
    };
    const QString hex = toQtFilter(kHexFilter);
    for (const Name n : {Name{"firmware.hex", true}, Name{"FIRMWARE.HEX", true}, Name{"firmware.txt", false},
                         Name{"firmware.hex.bak", false}}) {
        SCOPED_TRACE(n.name);
        EXPECT_EQ(n.shown, matches(hex, QString::fromLatin1(n.name)));
    }
}

}  // namespace
}  // namespace hlx::app
