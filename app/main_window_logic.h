#pragma once
// MainWindowLogic: the main window's behaviour in standard C++: construction (settings, port, job slot),
// the COM events, the file choosers, the job buttons, the output window's load/save/clear, the idle poll
// and the terminal input, and the close. MainWindow forwards its Qt events here; tests drive it through a
// fake view.
//
// Threads: every public function runs on the GUI thread. Jobs run on the slot's thread and reach the
// window only through MainWindowView's JobView and OutputWindow parts. A picture conversion runs on a
// thread of its own (one at a time), so a large bitmap never holds up the window or the idle poll; it
// reaches the window through the same parts and the picture control. Each job and each conversion writes
// through an OutputLog of its own. The close (and the destructor) releases the window's calls and then
// joins both threads.
//
// Every job leaves its record (port, file, times, result, the lines it showed) as one line in the user's
// job log (report/report_files.h), so a technician can show later what was done to which monitor.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/job_status.h"
#include "app/main_window_view.h"
#include "app/settings_store.h"
#include "base/clock.h"
#include "base/file_buffer.h"
#include "base/file_system.h"
#include "base/text_file.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/output_log.h"
#include "output/session_log.h"
#include "serial/deadline.h"
#include "serial/port_watcher.h"
#include "serial/serial_port.h"
#include "terminal/idle_poll.h"

namespace hlx::app {

// The line shown when an exception ended a picture conversion.
std::string conversionAbortedLine(std::string_view reason);
// The line shown when a job's record could not be kept in the job log ("path: reason").
std::string jobLogFailedLine(std::string_view reason);

class MainWindowLogic {
public:
    // The clock serves the reply deadline and the idle poll, the file system Load and Save Terminal (tests
    // hand in their own).
    MainWindowLogic(MainWindowView& view, serial::SerialPort& port, SettingsStore& store,
                    const base::Clock& clock = base::systemClock(),
                    base::FileSystem& files = base::systemFileSystem());
    ~MainWindowLogic();

    // Loads the settings into the controls, opens the port, puts the job slot into Idle.
    void construct();
    // The window closes: settings saved first, then a running job ended. Returns how the save went, so the
    // window can tell the technician that the settings were not kept.
    base::Status close();

    // "COM-Nr" left, Enter or double click in it, an entry of "COM-Settings" chosen: opens the port anew
    // as the two fields say.
    void reopenPort();
    void chooseHexFile(Edit edit);         // double click on a "Firmware File (...)" field
    void enterInFirmwareField(Edit edit);  // Enter in the RealTerm / Bootloader firmware fields
    void chooseSendFile(int number);       // double click on the field beside "Send File <number>"
    // "Update (RTQ)", "Update (Realterm)" and "Update (Bootloader)": the firmware download of that kind
    // (RtqDownload, RealtermDownload, BootLoader) with the file of its field.
    void startJob(jobs::JobKind kind);
    // "Update (Bootloader)" with a backup (the button's context menu): asks where to keep the sectors the
    // update erases, then runs the boot loader job that reads them into that file before it erases.
    void startBootLoaderWithBackup();
    void startSendFile(int number);  // "Send File <number>": job parameter := number, then the file sender
    void startSendTerminal();        // "Send Terminal": job parameter := 0, then the terminal sender

    // The idle poll (every 100 ms while the timer runs): reads what the monitor sent without waiting and
    // shows each burst once the line has been quiet. Does nothing while a job runs.
    void idlePoll();
    // When the idle poll should run again to show a burst being collected (nothing: at the next tick).
    std::optional<std::chrono::milliseconds> idlePollDueIn() const { return m_idlePoll.dueIn(); }
    // Enter in the output window, before the window inserts its line break: sends the caret's line when
    // it holds "=", "!", "?" or "_" and no job runs; "Bilder" shows the picture control.
    void terminalEnter();

    // The terminal finds the monitor again: a port that went away while no job runs is watched (the same
    // device path), the status bar says so, and the port is opened again by itself once the device is
    // back, so the monitor's lines after a restart show without the technician doing anything. A job
    // never reconnects: a port that goes away during a job stays that job's failure, and only once the
    // job has ended does the terminal wait for it. The window wakes portNotice() when portWatchFd()
    // becomes readable, and every portWatchInterval() while waitingForPort(); nothing spins.
    int portWatchFd() const { return m_watcher->notifyFd(); }
    std::chrono::milliseconds portWatchInterval() const { return m_watcher->quietPoll(); }
    bool waitingForPort() const { return m_waitingForPort; }
    void portNotice();
    // Tests put a watcher of their own in (before construct()).
    void usePortWatcher(std::unique_ptr<serial::PortWatcher> watcher) { m_watcher = std::move(watcher); }

    // The session log (the terminal's context menu): starts one into a file the technician chooses
    // (appended to, lines with the local time, as `hlx terminal --log --timestamps`), or stops the one
    // that runs. Everything received while no job runs, every line sent and the port's comings and goings
    // go in; the status bar shows that it runs. A file that cannot be written is said in a dialog.
    void startSessionLog();
    void stopSessionLog();
    bool sessionLogRunning() const { return m_sessionLog != nullptr; }

    // A click on the picture (Image1): a chosen BMP file becomes the C source, ".vxc" file and preview
    // beside it. The conversion runs off the GUI thread; a click while one runs is ignored.
    void convertPicture();
    bool converting() const { return m_converting.load(); }
    // Waits until a conversion started has ended (tests; the close does it itself).
    void waitForConversion();
    void clearOutput();   // double click in the output window
    void loadTerminal();  // "Load Terminal": a text file chosen becomes the output window's text
    void saveTerminal();  // "Save Terminal": the output window's text into a file chosen

    // The buttons that start a job can be pressed: no job runs.
    bool jobControlsEnabled() const { return !m_slot.running(); }

    jobs::JobSlot& jobSlot() { return m_slot; }
    output::OutputLog& log() { return m_log; }
    serial::Deadline& replyDeadline() { return m_replyDeadline; }
    serial::SerialPort& port() { return m_port; }

private:
    void startJob(jobs::JobKind kind, std::optional<jobs::JobDefinition> job);
    jobs::JobInputs inputsFor(jobs::JobKind kind) const;
    void convertOnItsThread(const std::string& path);
    void notePortLoss();
    void logNote(const std::string& text);
    void endThreads();
    void showJobStart();
    void showJobEnd(ProgressKept& progress, const JobStatus& status);  // job thread

    MainWindowView& m_view;
    serial::SerialPort& m_port;
    SettingsStore& m_store;
    base::FileSystem& m_files;
    output::OutputLog m_log;
    serial::Deadline m_replyDeadline;  // the jobs' reply deadline
    // The idle poll's and the terminal input's link (no stop token), with a deadline of its own: it never
    // waits on it, and a job's deadline is never touched from the GUI thread.
    serial::Deadline m_terminalDeadline;
    serial::Link m_terminalLink;
    terminal::IdlePoll m_idlePoll;
    std::unique_ptr<serial::PortWatcher> m_watcher;
    bool m_waitingForPort = false;
    std::string m_lostDevice;  // the device that went away, opened again when it is back
    std::unique_ptr<output::SessionLog> m_sessionLog;
    base::TextEncoding m_terminalEncoding = base::TextEncoding::Windows1252;
    base::FileBuffer m_file;  // the program's one file buffer, handed to each job
    jobs::JobSlot m_slot;
    std::atomic<bool> m_converting{false};
    std::thread m_conversion;
};

}  // namespace hlx::app
