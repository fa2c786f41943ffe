#pragma once
// FakeMainWindowView: the main window as plain values for the window logic's tests. Edits and the combo
// box hold what the test puts there; dialogs answer from a queue; what the job thread does (progress,
// idle poll) is recorded. Thread-safe where the job thread calls.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window_view.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/fake_picture_control.h"

namespace hlx::test {

class FakeMainWindowView : public app::MainWindowView {
public:
    FakeMainWindowView() : window("Output & Terminal Window\r\n") { edits[app::Edit::ComNr] = "1"; }

    std::string editText(app::Edit edit) const override {
        auto it = edits.find(edit);
        return it == edits.end() ? std::string{} : it->second;
    }
    void setEditText(app::Edit edit, std::string_view text) override { edits[edit] = std::string(text); }
    int comSettingsIndex() const override { return comIndex; }
    void setComSettingsIndex(int index) override { comIndex = index; }
    output::OutputWindow& outputWindow() override { return window; }

    std::optional<std::string> runOpenDialog(std::string_view filter) override {
        filters.emplace_back(filter);
        editsWhileDialogOpen = edits;
        return nextAnswer();
    }
    std::optional<std::string> runSaveDialog(std::string_view filter) override {
        filters.emplace_back(filter);
        return nextAnswer();
    }
    void setTxMemoText(std::string_view text) override { txMemo = std::string(text); }
    void showPicture() override { pictureShown = true; }
    imaging::PictureControl& pictureControl() override { return picture; }
    void showPortState(const serial::PortState& state) override { portStates.push_back(state); }
    void showPortNote(std::string_view note) override { portNotes.emplace_back(note); }
    void showSessionLog(std::string_view path) override { sessionLogPath = std::string(path); }
    void showError(std::string_view message) override { errors.emplace_back(message); }
    void releaseJobThread() override { released = true; }
    // Asks what the window would ask: whether the buttons that start a job can be pressed now.
    void updateJobControls() override {
        std::lock_guard lock(m_mutex);
        controlsUpdates.push_back(jobControlsEnabled ? jobControlsEnabled() : true);
    }
    void showJobStatus(const app::JobStatus& status) override {
        std::lock_guard lock(m_mutex);
        statuses.push_back(status);
    }
    std::vector<bool> jobControlsShown() {
        std::lock_guard lock(m_mutex);
        return controlsUpdates;
    }
    std::vector<app::JobStatus> jobStatuses() {
        std::lock_guard lock(m_mutex);
        return statuses;
    }

    void setProgressRange(int minimum, int maximum) override {
        std::lock_guard lock(m_mutex);
        progressRange = {minimum, maximum};
    }
    void setProgress(int position) override {
        std::lock_guard lock(m_mutex);
        progress.push_back(position);
    }
    void setIdlePollEnabled(bool enabled) override {
        std::lock_guard lock(m_mutex);
        pollSwitches.push_back(enabled);
    }
    std::vector<bool> idlePollSwitches() {
        std::lock_guard lock(m_mutex);
        return pollSwitches;
    }
    std::vector<int> progressValues() {
        std::lock_guard lock(m_mutex);
        return progress;
    }

    FakeOutputWindow window;
    std::map<app::Edit, std::string> edits;
    std::map<app::Edit, std::string> editsWhileDialogOpen;  // as the last open dialog found them
    int comIndex = -1;
    std::deque<std::optional<std::string>> dialogAnswers;  // nothing queued: cancel
    std::vector<std::string> filters;
    std::vector<serial::PortState> portStates;
    std::vector<std::string> errors;
    std::vector<std::string> portNotes;
    std::string sessionLogPath;
    std::string txMemo = "txMemo";
    bool pictureShown = false;
    FakePictureControl picture;
    bool released = false;
    std::function<bool()> jobControlsEnabled;  // the logic's answer; set by the test

private:
    std::optional<std::string> nextAnswer() {
        if (dialogAnswers.empty()) return std::nullopt;
        auto answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }

    std::mutex m_mutex;
    std::pair<int, int> progressRange{0, 0};
    std::vector<int> progress;
    std::vector<bool> pollSwitches;
    std::vector<bool> controlsUpdates;
    std::vector<app::JobStatus> statuses;
};

}  // namespace hlx::test
