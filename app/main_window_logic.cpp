#include "app/main_window_logic.h"

#include <sys/stat.h>

#include "serial/port_name.h"
#include "terminal/job_result.h"
#include "terminal/terminal_io.h"
#include "terminal/text_codec.h"

namespace hlx::app {
namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

Edit fileEditOf(JobKind kind) {
    switch (kind) {
        case JobKind::RtqDownload: return Edit::FirmwareFile;
        case JobKind::RealtermDownload: return Edit::FirmwareFileRealterm;
        case JobKind::BootLoader: return Edit::FirmwareFileBootLoader;
        default: return Edit::FirmwareFile;
    }
}

}  // namespace

MainWindowLogic::MainWindowLogic(MainWindowView& view, serial::SerialPort& port, SettingsStore& store)
    : m_view(view), m_port(port), m_store(store), m_log(view.outputWindow()) {}

MainWindowLogic::~MainWindowLogic() {
    m_view.releaseJobThread();
    m_slot.end();
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

void MainWindowLogic::close() {
    (void)m_store.save(readControls(m_view));  // a store that cannot be written is not reported
    m_view.releaseJobThread();
    m_slot.end();
}

void MainWindowLogic::reopenPort() {
    const int entry = m_view.comSettingsIndex();
    const std::string device = serial::portDevicePath(text::to8Bit(m_view.editText(Edit::ComNr)));
    const bool opened = m_port.open(device, entry, true);
    const bool configured = m_port.configure(entry);
    std::int32_t word = result::kNoSuccessLine;
    if (!opened) word |= result::kOpen;
    if (!configured) word |= result::kConfigure;
    m_log.report(word);
    m_view.showPortState(m_port.state());
}

void MainWindowLogic::chooseHexFile(Edit edit) {
    m_view.setEditText(edit, "");
    if (auto path = m_view.runOpenDialog(kHexFilter); path && fileExists(*path)) m_view.setEditText(edit, *path);
}

void MainWindowLogic::enterInFirmwareField(Edit edit) {
    if (m_view.editText(edit).empty()) m_view.setEditText(edit, m_view.editText(Edit::FirmwareFile));
}

void MainWindowLogic::chooseSendFile(int number) {
    const Edit edit = sendFileEdit(number);
    m_view.setEditText(edit, "");
    auto path = m_view.runOpenDialog(kTextFilter);
    if (path && fileExists(*path)) m_view.setEditText(edit, *path);
}

JobInputs MainWindowLogic::inputsFor(JobKind kind) const {
    JobInputs inputs;
    inputs.comText = m_view.editText(Edit::ComNr);
    inputs.settingsEntry = m_view.comSettingsIndex();
    inputs.parameter = m_slot.parameter();
    if (kind == JobKind::FileSender) {
        const int number = inputs.parameter;
        if (number >= 1 && number <= 6) inputs.filePath = m_view.editText(sendFileEdit(number));
    } else if (kind == JobKind::TerminalSender) {
        inputs.windowText = m_view.outputWindow().text();
    } else {
        inputs.filePath = m_view.editText(fileEditOf(kind));
    }
    return inputs;
}

void MainWindowLogic::startJob(JobKind kind) {
    JobBody body = jobBodyFor(kind);
    if (!body || m_slot.running()) return;
    JobInputs inputs = inputsFor(kind);
    m_slot.start([this, kind, body = std::move(body), inputs = std::move(inputs)](std::stop_token stop) mutable {
        JobContext context{{m_port, m_replyDeadline, m_log, stop}, m_view, std::move(inputs)};
        runJobFrame(kind, body, context, m_slot);
    });
}

void MainWindowLogic::startSendFile(int number) {
    m_slot.setParameter(number);
    startJob(JobKind::FileSender);
}

void MainWindowLogic::startSendTerminal() {
    m_slot.setParameter(0);
    startJob(JobKind::TerminalSender);
}

void MainWindowLogic::idlePoll() {
    serial::Link link{m_port, m_replyDeadline, m_log, {}};
    terminal::idlePoll(link, m_view.outputWindow());
}

void MainWindowLogic::terminalEnter() {
    serial::Link link{m_port, m_replyDeadline, m_log, {}};
    if (terminal::terminalEnter(link, m_view.outputWindow(), m_slot.running()).showPicture) m_view.showPicture();
}

void MainWindowLogic::clearOutput() {
    OutputWindow& window = m_view.outputWindow();
    window.setText("");
    window.setSelection(0, 0);
    window.refresh();
}

void MainWindowLogic::loadTerminal() {
    auto path = m_view.runOpenDialog(kTextFilter);
    if (!path || !fileExists(*path)) return;
    text::DecodedText decoded;
    if (Status s = text::readTextFile(*path, decoded); !s) {
        m_view.showError(s.message());
        return;
    }
    m_view.outputWindow().setText(decoded.text);
    m_terminalEncoding = decoded.encoding;
}

void MainWindowLogic::saveTerminal() {
    auto path = m_view.runSaveDialog(kTextFilter);
    if (!path) return;
    if (Status s = text::writeTextFile(*path, m_view.outputWindow().text(), m_terminalEncoding); !s)
        m_view.showError(s.message());
}

}  // namespace hlx::app
