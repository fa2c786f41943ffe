#pragma once
// GangConsole: what a gang run (one job per port, all at once) shows on stdout while its jobs run.
//
// - On a terminal (live): one status line per port, redrawn in place at most ten times a second:
//       /dev/ttyUSB0  [##############          ]  58%  Page: 0x0001
//   the port, its progress bar and the last line its job showed; at the end the job's result (100 % for
//   a port that succeeded). The frame fits the terminal: long port names are shortened from the left so
//   the percentage and the outcome stay in view, and with more ports than rows the running ones are shown
//   and one line counts the others, so the frame never scrolls.
// - Otherwise (a pipe, a file, a production line's log collector): every line a job shows, as it is
//   completed, with its port in front ("/dev/ttyUSB0: Prüfe Hex File"), so the jobs' lines can be told
//   apart although they interleave.
//
// The jobs never write to stdout themselves: they only queue what they show (text, progress), which
// costs no wait, and the main thread prints it when notice() wakes it. So a terminal or pipe that is slow to
// take output holds up no job, and one job's output never waits for another's.
//
// Threads: text, progress and result from the jobs' threads (any number at once); everything else on
// the main thread.

#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/stop_signals.h"

namespace hlx::cli {

class ConsoleOutput;

class GangConsole {
public:
    // Prints through console's writer; live: redraws status lines on a terminal (of columns columns).
    GangConsole(std::vector<std::string> labels, bool live, ConsoleOutput& console);

    // Job threads: text the port's job appended to its window; its progress in percent; its result (shown
    // on its status line in place of its last line; complete: the job ran to its end without failure, so
    // its bar shows 100 %).
    void text(std::size_t port, std::string_view piece);
    void progress(std::size_t port, int percent);
    void result(std::size_t port, std::string text, bool complete);

    // Set when something waits to be shown; show() clears it.
    const base::Notice& notice() const { return m_wake; }
    // Prints what the jobs have queued. Live, the status lines are redrawn at most every 100 ms, so the
    // main loop calls show() at least that often while jobs run (a change within 100 ms of a redraw
    // waits for the next call).
    void show();
    // After the jobs: the last redraw, or the lines still open printed as they stand.
    void finish();

private:
    struct PortView {
        std::string label;
        std::string open{};  // a line not yet ended
        bool afterCr = false;
        int percent = 0;
        std::string last{};  // live: the last line shown (or the result)
        bool ended = false;  // live: result shown
    };
    void takeText(PortView& port, std::string_view piece);
    void completeLine(PortView& port, std::string line);
    std::string frameLocked(bool force);  // the status lines, or nothing when no redraw is due
    void print(const std::string& out);

    std::mutex m_mutex;
    base::Notice m_wake;
    bool m_live;
    ConsoleOutput& m_console;
    std::vector<PortView> m_ports;
    std::size_t m_labelWidth = 0;
    std::deque<std::pair<std::size_t, std::string>> m_lines;  // completed lines waiting to be printed
    bool m_changed = false;
    std::size_t m_drawnLines = 0;  // live: the status lines drawn last
    std::chrono::steady_clock::time_point m_lastDraw{};
};

}  // namespace hlx::cli
