#pragma once
// The console as the view of a job: ConsoleWindow keeps the output window's text and prints what is
// appended to stdout as it grows (CR LF shown as a line break); ConsoleJobView draws the progress bar on
// stderr when stderr is a terminal. Both are thread-safe: the job thread writes, the main thread reads.

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "output/job_view.h"
#include "output/output_window.h"

namespace hlx::cli {

class ConsoleJobView;

class ConsoleWindow : public output::OutputWindow {
public:
    explicit ConsoleWindow(std::FILE* out = stdout) : m_out(out) {}
    // A progress bar drawn on the same terminal, kept clear of the text (see ConsoleJobView).
    void setProgressBar(ConsoleJobView* bar) { m_bar = bar; }

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
    ConsoleJobView* m_bar = nullptr;
    std::string m_text;  // UTF-8
    int m_length = 0;    // in UTF-16 units
    int m_selection = 0;
};

class ConsoleJobView : public output::JobView {
public:
    explicit ConsoleJobView(bool showBar);
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool) override {}
    void finish();  // ends the bar's line

    // Around text printed on the same terminal (ConsoleWindow calls them): the bar's line is cleared
    // before the text and drawn again after it, but only while the text ends at a line start, so text
    // never lands inside the bar and the bar never overwrites a line in progress.
    void beforeText();
    void afterText(bool atLineStart);

private:
    void drawLocked();

    std::mutex m_mutex;
    bool m_showBar;
    bool m_drawn = false;
    bool m_lineOpen = false;  // the text printed last did not end its line
    int m_minimum = 0;
    int m_maximum = 100;
    std::optional<int> m_position;
};

}  // namespace hlx::cli
