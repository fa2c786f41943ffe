#pragma once
// MainWindowLogic: the main window's behaviour in standard C++: construction (settings, port, job slot),
// the COM events, the file choosers, the job buttons, the output window's load/save/clear, the idle poll
// and the terminal input, and the close. TForm7 forwards its Qt events here; tests drive it through a fake
// view.
//
// Threads: every public function runs on the GUI thread. Jobs run on the slot's thread and reach the
// window only through MainWindowView's JobView and OutputWindow parts.

#include <memory>
#include <string>

#include "base/file_buffer.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "app/main_window_view.h"
#include "app/settings_store.h"
#include "serial/deadline.h"
#include "serial/serial_port.h"
#include "output/output_log.h"
#include "base/text_file.h"

namespace hlx::app {

class MainWindowLogic {
public:
    MainWindowLogic(MainWindowView& view, serial::SerialPort& port, SettingsStore& store);
    ~MainWindowLogic();

    // Loads the settings into the controls, opens the port, puts the job slot into Idle.
    void construct();
    // The window closes: settings saved first, then a running job ended.
    void close();

    void reopenPort();
    void chooseHexFile(Edit edit);          // double click on a firmware edit
    void enterInFirmwareField(Edit edit);   // Enter in the Realterm / boot loader edits
    void chooseSendFile(int number);        // double click on a send-file edit
    void startJob(jobs::JobKind kind);
    void startSendFile(int number);         // job parameter := number, then the file sender
    void startSendTerminal();               // job parameter := 0, then the terminal sender

    // The idle poll (every 100 ms while the timer runs): shows what the monitor sent.
    void idlePoll();
    // Enter in the output window, before the window inserts its line break: sends the caret's line when
    // it holds "=", "!", "?" or "_" and no job runs; "Bilder" shows the picture control.
    void terminalEnter();

    void clearOutput();                     // double click in the output window
    void loadTerminal();
    void saveTerminal();

    jobs::JobSlot& jobSlot() { return m_slot; }
    output::OutputLog& log() { return m_log; }
    serial::Deadline& replyDeadline() { return m_replyDeadline; }
    serial::SerialPort& port() { return m_port; }

private:
    jobs::JobInputs inputsFor(jobs::JobKind kind) const;

    MainWindowView& m_view;
    serial::SerialPort& m_port;
    SettingsStore& m_store;
    output::OutputLog m_log;
    serial::Deadline m_replyDeadline;
    base::TextEncoding m_terminalEncoding = base::TextEncoding::Windows1252;
    base::FileBuffer m_file;  // the program's one file buffer, handed to each job
    jobs::JobSlot m_slot;
};

}  // namespace hlx::app
