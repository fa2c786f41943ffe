#pragma once
// IdlePoll: the terminal's view of the serial line while no job runs. The window's timer calls tick()
// every 100 ms (and again when quietIn() says the current burst is due); each tick reads, without
// waiting, what the monitor has sent. A burst is shown once the line has been quiet for 100 ms after its
// last byte, or after collecting for one second under a continuous stream, so the window never waits on
// the port and nothing is lost.
//
// Showing a burst: the text goes in with one space before it, one character before the caret (so after
// Enter at the end of the text it lands between that line's CR and LF), and the caret moves on by the
// text's length + 2.
//
// Threads: GUI thread only. The clock must outlive the object.

#include <functional>
#include <optional>
#include <string>

#include "base/clock.h"
#include "output/output_window.h"
#include "serial/link.h"

namespace hlx::terminal {

inline constexpr serial::Milliseconds kQuietTime{100};
inline constexpr serial::Milliseconds kBurstCap{1000};

class IdlePoll {
public:
    explicit IdlePoll(const base::Clock& clock = base::systemClock()) : m_clock(clock) {}

    // Reads what has arrived; shows a burst that is complete. Returns whether anything was shown.
    bool tick(serial::Link& link, output::OutputWindow& window);
    // Time until the burst being collected is due, or nothing when none is being collected.
    std::optional<serial::Milliseconds> dueIn() const;
    // Drops a burst being collected (a job takes the port over; it drains the line itself).
    void reset() { m_raw.clear(); }
    // Called with the bytes of each tick's read as they came (Windows-1252, without XON and XOFF), before
    // they are shown: the session log takes them line by line. Empty: nobody listens.
    void setReceivedListener(std::function<void(std::string_view)> listener) {
        m_listener = std::move(listener);
    }

private:
    const base::Clock& m_clock;
    std::function<void(std::string_view)> m_listener;
    std::string m_raw;
    base::TimePoint m_first{};
    base::TimePoint m_last{};
};

// Inserts received text into the window by the rule above.
void showReceived(output::OutputWindow& window, const std::string& utf8);

}  // namespace hlx::terminal
