#include "app/main_window_logic.h"

#include <cstdio>

#include "base/text_codec.h"
#include "firmware/isp_download.h"
#include "output/job_result.h"
#include "report/report_files.h"
#include "runner/job_catalogue.h"
#include "runner/job_run.h"
#include "serial/port_name.h"
#include "terminal/terminal_io.h"

namespace hlx::app {
namespace {

// The path is UTF-8 text, as the file system seam takes it (so a name beyond ASCII is found on Windows too).
bool fileExists(const std::string& path) {
    base::FileInfo info;
    return base::systemFileSystem().info(path, info).isOk() && info.kind == base::FileKind::Regular;
}

SettingsValues readControls(const MainWindowView& view) {
    SettingsValues v;
    v.firmwareFile = view.editText(Edit::FirmwareFile);
    v.firmwareFileRealterm = view.editText(Edit::FirmwareFileRealterm);
    v.firmwareFileBootLoader = view.editText(Edit::FirmwareFileBootLoader);
    v.comNumber = view.editText(Edit::ComNr);
    v.comSetting = view.comSettingsIndex();
    for (int i = 0; i < 6; ++i) v.sendFiles[i] = view.editText(sendFileEdit(i + 1));
    return v;
}

void writeControls(MainWindowView& view, const SettingsValues& v) {
    view.setEditText(Edit::FirmwareFile, v.firmwareFile);
    view.setEditText(Edit::FirmwareFileRealterm, v.firmwareFileRealterm);
    view.setEditText(Edit::FirmwareFileBootLoader, v.firmwareFileBootLoader);
    view.setEditText(Edit::ComNr, v.comNumber);
    view.setComSettingsIndex(v.comSetting);
    for (int i = 0; i < 6; ++i) view.setEditText(sendFileEdit(i + 1), v.sendFiles[i]);
}

Edit fileEditOf(jobs::JobKind kind) {
    switch (kind) {
        case jobs::JobKind::RtqDownload:
            return Edit::FirmwareFile;
        case jobs::JobKind::RealtermDownload:
            return Edit::FirmwareFileRealterm;
        case jobs::JobKind::BootLoader:
            return Edit::FirmwareFileBootLoader;
        default:
            return Edit::FirmwareFile;
    }
}

// Every job the window runs leaves its record in the user's job log. A log that cannot be written must not
// fail the job; the window says so after the job's lines (unless the window is closing: then stderr
// alone), and so does stderr.
void keepInJobLog(jobs::JobKind kind, runner::RecordedJob recorded, output::OutputWindow& window,
                  const std::stop_token& stop) {
    const std::string path = report::jobLogPath();
    const base::Status s =
        report::appendJobLog(path, runner::runOf("hlx-service-tool", kind, std::move(recorded)));
    if (s) return;
    std::fprintf(stderr, "hlx-service-tool: the job log was not written: %s\n", s.message().c_str());
    if (stop.stop_requested()) return;
    output::OutputLog log(window);
    log.addLine(jobLogFailedLine(s.message()));
    log.refresh();
}

}  // namespace

std::string jobLogFailedLine(std::string_view reason) {
    return "Fehler: Job-Protokoll nicht geschrieben (" + std::string(reason) + ")";
}

std::string conversionAbortedLine(std::string_view reason) {
    return "Fehler: Konvertierung abgebrochen, unerwarteter Fehler (" + std::string(reason) + ")";
}

MainWindowLogic::MainWindowLogic(MainWindowView& view, serial::SerialPort& port, SettingsStore& store,
                                 const base::Clock& clock, base::FileSystem& files)
    : m_view(view),
      m_port(port),
      m_store(store),
      m_files(files),
      m_log(view.outputWindow()),
      m_replyDeadline(clock),
      m_terminalDeadline(clock),
      m_terminalLink{m_port, m_terminalDeadline, m_log, {}},
      m_idlePoll(clock),
      m_watcher(serial::makeSystemPortWatcher()) {
    m_idlePoll.setReceivedListener([this](std::string_view bytes) {
        if (m_sessionLog) m_sessionLog->received(bytes);
    });
}

MainWindowLogic::~MainWindowLogic() {
    endThreads();
}

// The window's calls return at once from here on, so neither thread can wait for the GUI thread that
// joins it; a conversion still encoding finishes its rows (a second at most) without the window.
void MainWindowLogic::endThreads() {
    m_view.releaseJobThread();
    m_slot.end();
    waitForConversion();
}

void MainWindowLogic::construct() {
    SettingsValues values = readControls(m_view);
    m_store.load(values);
    writeControls(m_view, values);
    reopenPort();
    // The caret starts at the end of the text, where a terminal's technician types and where the idle poll
    // then puts what the monitor sends; at the start it would creep into the first line with every message.
    m_log.caretToEnd();
    m_slot.init();
}

base::Status MainWindowLogic::close() {
    const base::Status saved = m_store.save(readControls(m_view));
    endThreads();
    return saved;
}

void MainWindowLogic::reopenPort() {
    // The technician's choice replaces the wait for a port that went away.
    if (m_waitingForPort) {
        m_waitingForPort = false;
        m_view.showPortNote("");
    }
    const int entry = m_view.comSettingsIndex();
    const std::string device = serial::portDevicePath(base::to8Bit(m_view.editText(Edit::ComNr)));
    const bool opened = m_port.open(device, entry, true);
    const bool configured = m_port.configure(entry);
    std::int32_t word = output::result::kNoSuccessLine;
    if (!opened) word |= output::result::kOpen;
    if (opened && !configured) word |= output::result::kConfigure;  // a closed port has that failure alone
    m_log.report(word);
    m_view.showPortState(m_port.state());
}

// The field keeps its path while the chooser is open, so a cancelled choice (or a close meanwhile, which
// saves the settings) keeps the path it had.
void MainWindowLogic::chooseHexFile(Edit edit) {
    if (auto path = m_view.runOpenDialog(kHexFilter); path && fileExists(*path))
        m_view.setEditText(edit, *path);
}

void MainWindowLogic::enterInFirmwareField(Edit edit) {
    if (m_view.editText(edit).empty()) m_view.setEditText(edit, m_view.editText(Edit::FirmwareFile));
}

void MainWindowLogic::chooseSendFile(int number) {
    const Edit edit = sendFileEdit(number);
    auto path = m_view.runOpenDialog(kTextFilter);
    if (path && fileExists(*path)) m_view.setEditText(edit, *path);
}

jobs::JobInputs MainWindowLogic::inputsFor(jobs::JobKind kind) const {
    jobs::JobInputs inputs;
    inputs.comText = m_view.editText(Edit::ComNr);
    inputs.settingsEntry = m_view.comSettingsIndex();
    inputs.parameter = m_slot.parameter();
    if (kind == jobs::JobKind::FileSender) {
        const int number = inputs.parameter;
        if (number >= 1 && number <= 6) inputs.filePath = m_view.editText(sendFileEdit(number));
    } else if (kind == jobs::JobKind::TerminalSender) {
        inputs.windowText = m_view.outputWindow().text();
    } else {
        inputs.filePath = m_view.editText(fileEditOf(kind));
    }
    return inputs;
}

void MainWindowLogic::startBootLoaderWithBackup() {
    if (m_slot.running()) return;
    const auto path = m_view.runSaveDialog(kHexFilter);
    if (!path || path->empty()) return;
    startJob(jobs::JobKind::BootLoader, firmware::ispDownloadJob({.backupPath = *path}));
}

void MainWindowLogic::startJob(jobs::JobKind kind) {
    std::optional<jobs::JobDefinition> job = runner::jobDefinition(kind);
    if (!job) return;
    startJob(kind, std::move(*job));
}

void MainWindowLogic::startJob(jobs::JobKind kind, std::optional<jobs::JobDefinition> job) {
    if (!job || m_slot.running()) return;
    jobs::JobInputs inputs = inputsFor(kind);
    if (kind == jobs::JobKind::TerminalSender) m_view.setTxMemoText(inputs.windowText);
    showJobStart();
    const bool started = m_slot.start(
        [this, kind, job = std::move(*job), inputs = std::move(inputs)](std::stop_token stop) mutable {
            ProgressKept progress(m_view);
            runner::JobRun run(std::move(job), std::move(inputs));
            run.run({m_port, m_replyDeadline, m_view.outputWindow(), progress, m_file}, m_slot, stop,
                    [&, kind, stop](runner::RecordedJob recorded) {
                        showJobEnd(progress, jobStatusOf(recorded.record));
                        keepInJobLog(kind, std::move(recorded), m_view.outputWindow(), stop);
                    });
            m_view.updateJobControls();
        });
    // The job reads the line from here on (it drains it first): what the terminal knew of the monitor's
    // flow and had read ahead is the job's business now, and the XON the job may read must not be waited
    // for by the terminal afterwards.
    if (started) {
        m_terminalLink.flow = {};
        m_idlePoll.reset();
    }
    m_view.updateJobControls();
}

// Before a job starts: the last job's outcome goes and the bar starts empty (a job that fails before its
// transfer shows no other job's progress). Once it runs, the buttons that start a job are disabled.
void MainWindowLogic::showJobStart() {
    m_view.showJobStatus({});
    m_view.setProgressRange(0, 100);
    m_view.setProgress(0);
}

// Job thread, after the job's report: the bar where the job stopped, its outcome in the status bar. A job
// stopped by the close shows nothing.
void MainWindowLogic::showJobEnd(ProgressKept& progress, const JobStatus& status) {
    if (status.outcome == JobOutcome::None) return;
    progress.showWhereStopped();
    m_view.showJobStatus(status);
}

void MainWindowLogic::startSendFile(int number) {
    m_slot.setParameter(number);
    startJob(jobs::JobKind::FileSender);
}

void MainWindowLogic::startSendTerminal() {
    m_slot.setParameter(0);
    startJob(jobs::JobKind::TerminalSender);
}

void MainWindowLogic::idlePoll() {
    // A job owns the port while it runs, even if a late tick of the timer slips in.
    if (m_slot.running()) {
        m_idlePoll.reset();
        return;
    }
    m_idlePoll.tick(m_terminalLink, m_view.outputWindow());
    if (m_sessionLog && !m_sessionLog->status()) stopSessionLog();
    notePortLoss();
}

// Called while no job runs: a port that has gone (now, or during the job that just ended) is waited for.
void MainWindowLogic::notePortLoss() {
    const serial::PortState state = m_port.state();
    if (m_waitingForPort && state.open) {  // a job or the technician opened it meanwhile
        m_waitingForPort = false;
        m_view.showPortNote("");
        return;
    }
    if (m_waitingForPort || !state.lost()) return;
    m_waitingForPort = true;
    m_lostDevice = state.device;
    m_watcher->watch(m_lostDevice);
    m_watcher->takeNotices();
    m_view.showPortState(state);
    m_view.showPortNote(m_lostDevice + " has gone: waiting for it to come back");
    logNote(m_lostDevice + " has gone; waiting for it to come back");
    portNotice();  // it may be back already
}

void MainWindowLogic::portNotice() {
    m_watcher->takeNotices();
    if (!m_waitingForPort || m_slot.running() || !m_watcher->present()) return;
    if (!m_port.open(m_lostDevice, m_view.comSettingsIndex(), true)) {
        // There, but not usable yet (udev may still be setting its permissions): the next notice or
        // look tries again; the status bar shows why meanwhile.
        m_view.showPortState(m_port.state());
        return;
    }
    m_waitingForPort = false;
    m_terminalLink.flow = {};
    m_idlePoll.reset();
    m_view.showPortState(m_port.state());
    m_view.showPortNote(m_lostDevice + " is back: opened again");
    logNote(m_lostDevice + " is back; the terminal goes on");
}

void MainWindowLogic::logNote(const std::string& text) {
    if (!m_sessionLog) return;
    m_sessionLog->note(text);
    if (!m_sessionLog->status()) stopSessionLog();
}

void MainWindowLogic::startSessionLog() {
    if (m_sessionLog) return;
    auto path = m_view.runSaveDialog(kSessionLogFilter);
    if (!path) return;
    if (base::Status s = output::SessionLog::open(*path, true, m_sessionLog, m_files); !s) {
        m_view.showError("Das Protokoll kann nicht geschrieben werden: " + s.message());
        return;
    }
    m_sessionLog->note("terminal on " + m_port.state().device);
    m_view.showSessionLog(*path);
}

void MainWindowLogic::stopSessionLog() {
    if (!m_sessionLog) return;
    std::unique_ptr<output::SessionLog> log = std::move(m_sessionLog);
    const base::Status written = log->status() ? log->close() : log->status();
    m_view.showSessionLog("");
    if (!written) m_view.showError("Das Protokoll ist unvollständig: " + written.message());
}

void MainWindowLogic::terminalEnter() {
    const terminal::EnterResult result =
        terminal::terminalEnter(m_terminalLink, m_view.outputWindow(), m_slot.running());
    if (result.sent() && m_sessionLog) {
        m_sessionLog->sent(result.line);
        if (!m_sessionLog->status()) stopSessionLog();
    }
    if (result.showPicture) m_view.showPicture();
}

void MainWindowLogic::convertPicture() {
    if (m_converting) return;
    auto path = m_view.runOpenDialog(imaging::kBitmapFilter);
    if (!path || !fileExists(*path) || m_converting) return;
    waitForConversion();  // the last one has ended; its thread is only joined here
    m_converting = true;
    try {
        m_conversion = std::thread([this, path = std::move(*path)] {
            convertOnItsThread(path);
            m_converting = false;
        });
    } catch (...) {
        m_converting = false;
        throw;
    }
}

// An exception ends the conversion, not the program: a line says why.
void MainWindowLogic::convertOnItsThread(const std::string& path) {
    output::OutputLog log(m_view.outputWindow());
    std::string failure;
    try {
        imaging::PictureControl& image = m_view.pictureControl();
        const imaging::ConversionResult result = imaging::convertBitmap(path, &image, {image, log, m_view});
        if (!result.error.empty()) m_view.showError(result.error);
        return;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unbekannte Ausnahme";
    }
    try {
        log.addLine(conversionAbortedLine(failure));
        log.refresh();
    } catch (...) {
    }
}

void MainWindowLogic::waitForConversion() {
    if (m_conversion.joinable()) m_conversion.join();
}

void MainWindowLogic::clearOutput() {
    output::OutputWindow& window = m_view.outputWindow();
    window.setText("");
    window.setSelection(0, 0);
    window.refresh();
}

void MainWindowLogic::loadTerminal() {
    auto path = m_view.runOpenDialog(kTextFilter);
    if (!path || !fileExists(*path)) return;
    base::DecodedText decoded;
    if (base::Status s = base::readTextFile(*path, decoded, base::kTerminalFileLimit, m_files); !s) {
        m_view.showError(s.message());
        return;
    }
    m_view.outputWindow().setText(decoded.text);
    m_terminalEncoding = decoded.encoding;
}

void MainWindowLogic::saveTerminal() {
    auto path = m_view.runSaveDialog(kTextFilter);
    if (!path) return;
    if (base::Status s =
            base::writeTextFile(*path, m_view.outputWindow().text(), m_terminalEncoding, m_files);
        !s)
        m_view.showError(s.message());
}

}  // namespace hlx::app
