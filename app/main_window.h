#pragma once
// MainWindow: the service tool's main window on Qt. It builds the controls (main_window_controls.cpp;
// each with the object name the window logic and the tests know it by), lays them out so that the output
// window grows with the window, forwards every event to MainWindowLogic, and implements MainWindowView for
// it. The behaviour lives in MainWindowLogic; this class only reads and writes widgets.
//
// Where each control leads (caption, object name -> MainWindowLogic):
//   "COM-Nr" field (editComNr): Enter, leaving it, double click -> reopenPort
//   "COM-Settings" (editCOMSettings): choosing an entry, double click -> reopenPort
//   "Firmware File (RTQ/RealTerm/Bootloader)" fields: double click -> chooseHexFile;
//       Enter in the RealTerm or Bootloader field -> enterInFirmwareField
//   "Update (RTQ)" (btnUpdate) -> startJob(RtqDownload); "Update (Realterm)" (Button1) ->
//       startJob(RealtermDownload); "Update (Bootloader)" (Button2) -> startJob(BootLoader)
//   "Load Terminal" (Button3) -> loadTerminal; "Save Terminal" (Button4) -> saveTerminal;
//       "Send Terminal" (Button5) -> startSendTerminal
//   "Send File 1" .. "Send File 6" (Button6 .. Button11) -> startSendFile(n);
//       double click on its field (editSendFile1 .. 6) -> chooseSendFile(n)
//   "Output & Terminal Window" (OutputWindow): Enter -> terminalEnter, double click -> clearOutput
//   the picture (Image1): a click -> convertPicture
//   Timer1, every 100 ms -> idlePoll
// main_window_reach.cpp fits the first size to the screen (window_size.h), sets up the keyboard
// (window_keys.h: Tab order, Alt+key of the job buttons, Return on a button), and shows what the logic says
// about jobs: the job buttons disabled while one runs, the last job's outcome in the status bar.
//
// Threads: built and used on the GUI thread. The JobView, OutputWindow and picture control calls may come
// from the job thread (or a picture conversion's); they run on the GUI thread through QtCall and return
// when they have taken effect, or at once after releaseJobThread() (the close). Output text and the
// progress bar's position do not wait at all: they are queued and shown at most once a frame.
//
// Ownership: the serial port and the settings store belong to the caller and must outlive the window. The
// window owns its widgets, its output window adapter and the window logic (and with it the job slot).

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window_logic.h"
#include "app/main_window_view.h"
#include "app/picture_frame.h"
#include "app/qt_call.h"
#include "app/qt_output_window.h"
#include "app/qt_picture_control.h"
#include "app/qt_screen_rate.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QTimer;

namespace hlx::app {

// A dialog filter of alternating descriptions and patterns ("TXT (*.TXT)|*.TXT|Alle (*.*)|*.*") in
// Qt's form ("TXT (*.TXT *.txt);;Alle (*)"). Each pattern is offered in upper and in lower case, so a
// "firmware.hex" shows under "*.HEX" on case-sensitive file systems; "*.*" becomes "*".
QString toQtFilter(std::string_view filter);
// UTF-8 text (what the core hands over) as a QString.
QString toQString(std::string_view text);

class MainWindow : public QMainWindow, public MainWindowView {
    Q_OBJECT
public:
    MainWindow(serial::SerialPort& port, SettingsStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindowLogic& logic() { return *m_logic; }

    // The close on a stop signal: what the close button does (settings saved, job ended) and the window
    // hidden, at once, whether or not the event loop runs yet. Nobody is there to answer a dialog, so a
    // settings file that cannot be written is reported on stderr only. Closing again does nothing.
    void closeForSignal();
    bool closed() const { return m_closed; }

    // MainWindowView
    std::string editText(Edit edit) const override;
    void setEditText(Edit edit, std::string_view text) override;
    int comSettingsIndex() const override;
    void setComSettingsIndex(int index) override;
    output::OutputWindow& outputWindow() override { return m_output; }
    std::optional<std::string> runOpenDialog(std::string_view filter) override;
    std::optional<std::string> runSaveDialog(std::string_view filter) override;
    void setTxMemoText(std::string_view text) override;
    void showPicture() override;
    imaging::PictureControl& pictureControl() override { return *m_picture; }
    void showPortState(const serial::PortState& state) override;
    void showPortNote(std::string_view note) override;
    void showSessionLog(std::string_view path) override;
    void showError(std::string_view message) override;
    void releaseJobThread() override;
    void updateJobControls() override;
    void showJobStatus(const JobStatus& status) override;

    // JobView
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool enabled) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The close steps, once: timers stopped, settings saved (a failure on stderr, and in a dialog when
    // asked), the job ended.
    void closeWindow(bool dialogOnFailure);
    // main_window_controls.cpp: the controls with their object names, captions and first state, and the
    // layout they sit in.
    void buildControls();
    void arrangeControls();
    // The first size and place on the screen the window opens on (window_size.h); once shown, again with
    // the frame the desktop gave it, should that not fit.
    void fitToScreen();
    // window_keys.h: the Tab order, Alt+key of the job buttons, Return on a button, the picture at the
    // keyboard.
    void setUpKeyboard();
    bool keyOnButton(QObject* watched, QEvent* event);
    void connectActions();
    void runIdlePoll();
    // main_window_session.cpp: the session log in the terminal's context menu, the status bar's notes on
    // the port and the log, and the wake-ups of the port watcher (its descriptor, and a quiet timer while
    // the terminal waits for a port that went away).
    void buildSessionControls();
    void connectSessionActions();
    void showTerminalMenu(const QPoint& at);
    void followPortWatch();
    QLineEdit* editFor(Edit edit) const;
    // What a double click on a control does; empty when it has none.
    std::function<void()> doubleClickAction(QObject* watched);
    // A change of the progress bar, queued by another thread.
    struct ProgressChange {
        bool range;  // setRange(minimum, maximum), else setValue(minimum)
        int minimum;
        int maximum;
    };
    void queueProgress(ProgressChange change);
    void showQueuedProgress();

    QtCall m_call;
    OutputEdit* m_outputEdit = nullptr;
    QtOutputWindow m_output;
    std::mutex m_progressMutex;
    std::vector<ProgressChange> m_progressQueue;  // in order; consecutive positions kept as the last one
    ScreenRateFlush m_progressFlush;

    // The controls, by caption (object name).
    PictureFrame* m_pictureFrame = nullptr;           // PaintBox1
    QLabel* m_image = nullptr;                        // Image1
    QtPictureControl* m_picture = nullptr;            // owned by m_image
    QLabel* m_comNrLabel = nullptr;                   // "COM-Nr" (Label1)
    QLabel* m_firmwareFileLabel = nullptr;            // "Firmware File (RTQ)" (Label2)
    QLabel* m_comSettingsLabel = nullptr;             // "COM-Settings" (Label3)
    QLabel* m_bootLoaderFileLabel = nullptr;          // "Firmware File (Bootloader)" (Label7)
    QLabel* m_realtermFileLabel = nullptr;            // "Firmware File (RealTerm)" (Label8)
    QLineEdit* m_comNr = nullptr;                     // editComNr
    QComboBox* m_comSettings = nullptr;               // editCOMSettings
    QLineEdit* m_firmwareFile = nullptr;              // editFirmwareFile
    QLineEdit* m_firmwareRealterm = nullptr;          // editFWfileRealterm
    QLineEdit* m_firmwareBootLoader = nullptr;        // editFWfileBootLoader
    std::array<QLineEdit*, 6> m_sendFiles{};          // editSendFile1 .. editSendFile6
    QProgressBar* m_progress = nullptr;               // ProgressBar1
    QPushButton* m_rtqUpdateButton = nullptr;         // "Update (RTQ)" (btnUpdate)
    QPushButton* m_realtermUpdateButton = nullptr;    // "Update (Realterm)" (Button1)
    QPushButton* m_bootLoaderUpdateButton = nullptr;  // "Update (Bootloader)" (Button2)
    QPushButton* m_loadTerminalButton = nullptr;      // "Load Terminal" (Button3)
    QPushButton* m_saveTerminalButton = nullptr;      // "Save Terminal" (Button4)
    QPushButton* m_sendTerminalButton = nullptr;      // "Send Terminal" (Button5)
    std::array<QPushButton*, 6> m_sendFileButtons{};  // "Send File 1" .. "Send File 6" (Button6 .. Button11)
    QPlainTextEdit* m_txMemo = nullptr;               // txMemo, hidden: what "Send Terminal" sends
    QTimer* m_idlePollTimer = nullptr;                // Timer1
    QTimer* m_quietTimer = nullptr;                   // shows a burst once the line has been quiet
    QLabel* m_portState = nullptr;                    // PortState, in the status bar
    QLabel* m_jobStatus = nullptr;                    // JobStatus, in the status bar: the last job's outcome
    bool m_fittedToFrame = false;                     // the size checked against the frame once shown
    QPointer<QWidget> m_focusBeforeJob;               // the job button that had the focus as its job started
    QLabel* m_portNote = nullptr;                     // PortNote: waiting for the port, found it again
    QLabel* m_sessionLogState = nullptr;              // SessionLogState: the session log that runs
    QSocketNotifier* m_portWatchNotifier = nullptr;   // the port watcher's descriptor
    QTimer* m_portWatchTimer = nullptr;               // looks for a port that went away, now and then

    std::unique_ptr<MainWindowLogic> m_logic;
    bool m_closed = false;
};

}  // namespace hlx::app
