#pragma once
// RecordingView: the output window and the job's view (progress bar, idle poll) in one, recording what a
// job showed, in order, as LevelDB's ReportCollector does. The text model is FakeOutputWindow's (CR LF
// separated lines, UTF-16 positions); the transcript holds one entry per visible change:
//
//   "clear"   "progress 0..100"   "progress 37"   "poll off"   "poll on"   "caret end"
//
// (text changes are compared through text() and lines(), not the transcript). A test compares whole
// lists: EXPECT_EQ(expected, view.lines()).
//
// Threads: thread-safe, so a job thread and the test thread may both use it.

#include <string>
#include <vector>

#include "output/job_view.h"
#include "tests/support/fake_output_window.h"

namespace hlx::test {

class RecordingView : public FakeOutputWindow, public output::JobView {
public:
    // The window's text split at CR LF (a last empty line is left out).
    std::vector<std::string> lines() const;
    std::vector<std::string> transcript() const;
    // Progress positions shown, in order.
    std::vector<int> progress() const;

    // OutputWindow
    void setText(std::string_view text) override;
    void setSelection(int start, int length) override;
    // JobView
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool enabled) override;

private:
    void record(std::string entry);

    mutable std::mutex m_recordMutex;
    std::vector<std::string> m_transcript;
    std::vector<int> m_progress;
};

// Splits text at CR LF; a last empty line (text ending in CR LF) is left out.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace hlx::test
