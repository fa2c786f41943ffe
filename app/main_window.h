#pragma once
// MainWindow: the main window on Qt. It builds the controls (each with the object name the window logic and
// the tests know it by), arranges them in layouts that keep the rows of the window as the technicians
// know them and let the output window grow with the window, forwards every event to MainWindowLogic, and
// implements MainWindowView for it. The behaviour lives in MainWindowLogic; this class only reads and writes
// widgets.
//
// Threads: built and used on the GUI thread. The JobView, OutputWindow and picture control calls may come
// from the job thread (or a picture conversion's); they run on the GUI thread through QtCall and return
// when they have taken effect, or at once after releaseJobThread() (the close). Output text and the
// progress bar's position do not wait at all: they are queued and shown at most once a frame.
//
// Ownership: the serial port and the settings store belong to the caller and must outlive the form. The
// form owns its widgets, its output window adapter and the window logic (and with it the job slot).

#include <QMainWindow>

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
#include "app/qt_call.h"
#include "app/qt_output_window.h"
#include "app/qt_picture_control.h"
#include "app/qt_screen_rate.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace hlx::app {

// A dialog filter of alternating descriptions and patterns ("TXT (*.TXT)|*.TXT|Alle (*.*)|*.*") in
// Qt's form ("TXT (*.TXT *.txt);;Alle (*)"). Each pattern is offered in upper and in lower case, so a
// "firmware.hex" shows under "*.HEX" on case-sensitive file systems; "*.*" becomes "*".
QString toQtFilter(std::string_view filter);
// UTF-8 text (what the core hands over) as a QString.
QString toQString(std::string_view text);

// The frame around the picture area, drawn once the picture control is shown.
class PaintBox : public QWidget {
public:
    explicit PaintBox(QWidget* parent = nullptr);
    void showFrame();
    bool frameShown() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_frame = false;
};

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
    imaging::PictureControl& image1() override { return *m_picture; }
    void showPortState(const serial::PortState& state) override;
    void showError(std::string_view message) override;
    void releaseJobThread() override;

    // JobView
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool enabled) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The close steps, once: timers stopped, settings saved (a failure on stderr, and in a dialog when
    // asked), the job ended.
    void closeWindow(bool dialogOnFailure);
    void buildControls();
    void runIdlePoll();
    void arrangeControls();
    void connectActions();
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

    PaintBox* m_paintBox = nullptr;
    QLabel* m_image = nullptr;
    QtPictureControl* m_picture = nullptr;  // owned by m_image
    std::array<QLabel*, 5> m_labels{};
    QLineEdit* m_comNr = nullptr;
    QComboBox* m_comSettings = nullptr;
    QLineEdit* m_firmwareFile = nullptr;
    QLineEdit* m_firmwareRealterm = nullptr;
    QLineEdit* m_firmwareBootLoader = nullptr;
    std::array<QLineEdit*, 6> m_sendFiles{};
    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnUpdate = nullptr;
    std::array<QPushButton*, 11> m_buttons{};  // Button1 .. Button11
    QPlainTextEdit* m_txMemo = nullptr;
    QTimer* m_timer = nullptr;       // Timer1, the idle poll
    QTimer* m_quietTimer = nullptr;  // shows a burst once the line has been quiet
    QLabel* m_portState = nullptr;

    std::unique_ptr<MainWindowLogic> m_logic;
    bool m_closed = false;
};

}  // namespace hlx::app
