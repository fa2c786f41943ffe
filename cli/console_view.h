#pragma once
// The console as the view of a command: ConsoleWindow is the output window (an output::TextWindow, the
// one in-memory window) whose text is printed on stdout as it grows (CR LF and a lone CR shown as a line
// break); ConsoleJobView draws the progress bar on stderr when stderr is a terminal, kept clear of the
// text. A command that runs jobs hands both its ConsoleOutput, so the job thread only queues what it shows
// and never waits for the console (cli/console_output.h); other commands print directly.
//
// Threads: thread-safe; the job thread writes, the main thread reads.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "output/job_view.h"
#include "output/text_window.h"

namespace hlx::cli {

class ConsoleOutput;

class ConsoleJobView : public output::JobView {
public:
    // console: where the text and the bar go (null: straight to stdout and stderr).
    explicit ConsoleJobView(bool showBar, ConsoleOutput* console = nullptr);
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool) override {}
    void finish();  // ends the bar's line

    // Text the window shows, printed on stdout: the bar's line is cleared before it and drawn again after
    // it, but only while the text ends at a line start, so text never lands inside the bar and the bar
    // never overwrites a line in progress.
    void text(std::string_view piece);

private:
    void drawLocked();
    void out(std::string_view text);
    void err(std::string_view text);

    std::mutex m_mutex;
    bool m_showBar;
    ConsoleOutput* m_console;
    bool m_drawn = false;
    bool m_lineOpen = false;  // the text printed last did not end its line
    int m_minimum = 0;
    int m_maximum = 100;
    std::optional<int> m_position;
};

class ConsoleWindow : public output::TextWindow {
public:
    // Printed straight to stdout.
    ConsoleWindow();
    // Printed through the view, which keeps its bar clear of the text.
    explicit ConsoleWindow(ConsoleJobView& view);
};

// The window's text as a console shows it: CR LF and a lone CR become a line break.
std::string consoleText(std::string_view text);

}  // namespace hlx::cli
