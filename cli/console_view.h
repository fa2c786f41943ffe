#pragma once
// The console as the view of a job: ConsoleWindow keeps the output window's text and prints what is
// appended to stdout as it grows (CR LF shown as a line break); ConsoleJobView draws the progress bar on
// stderr when stderr is a terminal. Both are thread-safe: the job thread writes, the main thread reads.

#include <cstdio>
#include <mutex>
#include <string>

#include "output/job_view.h"
#include "output/output_window.h"

namespace hlx::cli {

class ConsoleWindow : public output::OutputWindow {
public:
    explicit ConsoleWindow(std::FILE* out = stdout) : m_out(out) {}

    std::string text() const override;
    void setText(std::string_view text) override;
    void append(std::string_view text) override;
    bool atLineStart() const override;
    int length() const override;
    int selectionStart() const override;
    void setSelection(int start, int length) override;
    void insert(int position, std::string_view text) override;
    std::string lineAt(int position) const override;
    void refresh() override;

private:
    void print(std::string_view text);

    mutable std::mutex m_mutex;
    std::FILE* m_out;
    std::string m_text;     // UTF-8
    int m_length = 0;       // in UTF-16 units
    int m_selection = 0;
};

class ConsoleJobView : public output::JobView {
public:
    explicit ConsoleJobView(bool showBar);
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool) override {}
    void finish();  // ends the bar's line

private:
    std::mutex m_mutex;
    bool m_showBar;
    bool m_drawn = false;
    int m_minimum = 0;
    int m_maximum = 100;
};

}  // namespace hlx::cli
