#pragma once
// MainWindowView: the main window as its logic sees it. MainWindow implements it with Qt, the tests with a
// fake. The window logic (MainWindowLogic) is written against this interface alone.
//
// Threads: everything here is called on the GUI thread, except the JobView and OutputWindow operations,
// which the job thread calls too. After releaseJobThread() the job thread's calls return at once and do
// nothing, so a job can never hold up the window's close.

#include <optional>
#include <string>
#include <string_view>

#include "app/job_status.h"
#include "imaging/bitmap_conversion.h"
#include "output/job_view.h"
#include "output/output_window.h"
#include "serial/serial_port.h"

namespace hlx::app {

enum class Edit {
    ComNr,
    FirmwareFile,
    FirmwareFileRealterm,
    FirmwareFileBootLoader,
    SendFile1,
    SendFile2,
    SendFile3,
    SendFile4,
    SendFile5,
    SendFile6,
};

constexpr Edit sendFileEdit(int number) {
    return static_cast<Edit>(static_cast<int>(Edit::SendFile1) + number - 1);
}

inline constexpr std::string_view kHexFilter = "HEX-Files (*.HEX)|*.HEX";
inline constexpr std::string_view kSessionLogFilter = "LOG (*.LOG)|*.LOG|TXT (*.TXT)|*.TXT|Alle (*.*)|*.*";
inline constexpr std::string_view kTextFilter =
    "TXT (*.TXT)|*.TXT|VXC Bilddateien (*.VXC)|*.VXC|Alle (*.*)|*.*";

class MainWindowView : public output::JobView {
public:
    virtual std::string editText(Edit edit) const = 0;
    virtual void setEditText(Edit edit, std::string_view text) = 0;
    virtual int comSettingsIndex() const = 0;  // -1: no item selected
    virtual void setComSettingsIndex(int index) = 0;
    virtual output::OutputWindow& outputWindow() = 0;

    // File dialogs with a filter of alternating descriptions and patterns ("Text (*.TXT)|*.TXT"); patterns
    // match names in either case. The chosen path, or nothing when the technician cancels.
    virtual std::optional<std::string> runOpenDialog(std::string_view filter) = 0;
    virtual std::optional<std::string> runSaveDialog(std::string_view filter) = 0;

    // The hidden memo (txMemo): the snapshot of the window's text that the terminal sender sends.
    virtual void setTxMemoText(std::string_view text) = 0;
    // Shows the picture control and draws the dashed frame around it.
    virtual void showPicture() = 0;
    // The picture control Image1, with the bitmaps the picture converter loads and saves.
    virtual imaging::PictureControl& pictureControl() = 0;
    // The status bar: device opened, line settings in force, the reason of a failure.
    virtual void showPortState(const serial::PortState& state) = 0;
    // The buttons that start a job follow MainWindowLogic::jobControlsEnabled(): called on the GUI thread
    // when a job starts and from the job thread once the job's slot is finished. The window asks the logic
    // on its own thread, so a job started meanwhile keeps them disabled.
    virtual void updateJobControls() = 0;
    // The status bar's word and line about the last job; JobOutcome::None clears it. Called on the GUI
    // thread when a job starts and from the job thread at its end.
    virtual void showJobStatus(const JobStatus& status) = 0;
    // The status bar beside the port state: what the terminal does about a port that went away (waiting
    // for it, found it again; empty: nothing), and the session log that runs (its path; empty: none).
    virtual void showPortNote(std::string_view note) = 0;
    virtual void showSessionLog(std::string_view path) = 0;
    // The standard error dialog.
    virtual void showError(std::string_view message) = 0;

    virtual void releaseJobThread() = 0;
};

}  // namespace hlx::app
