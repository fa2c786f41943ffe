#include "cli/gang_console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "base/console.h"
#include "cli/console_output.h"

namespace hlx::cli {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds{100};
constexpr int kBarWidth = 24;

// What a status line holds besides the port and its last line: "  [" bar "] " "100%" "  ".
constexpr int kFixedColumns = 2 + 1 + kBarWidth + 2 + 4 + 2;
// Room kept for the outcome ("failed", "stopped", a line's start) when a port's name is long.
constexpr int kOutcomeColumns = 8;

// The terminal's size, so no status line wraps and no frame is taller than the terminal (a wrapped line or
// a frame that scrolls would break the redraw in place).
int terminalColumns(std::FILE* out) {
    const int columns = base::terminalColumns(out);
    return columns > 20 ? columns : 80;
}

int terminalRows(std::FILE* out) {
    const int rows = base::terminalRows(out);
    return rows > 2 ? rows : 24;
}

// The number of characters of a UTF-8 text (each counted as one column).
std::size_t columnsOf(const std::string& text) {
    std::size_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

// A port's name in width columns: the end kept (a by-id name differs at its end), "..." in front.
std::string fitLeft(const std::string& name, std::size_t width) {
    if (columnsOf(name) <= width) return name + std::string(width - columnsOf(name), ' ');
    if (width <= 3) return std::string(width, '.');
    std::size_t keep = width - 3;
    std::size_t at = name.size();
    while (keep > 0 && at > 0) {
        --at;
        while (at > 0 && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) --at;
        --keep;
    }
    return "..." + name.substr(at);
}

// The first `columns` characters of a UTF-8 text (whole characters; each counted as one column).
std::string cut(const std::string& text, int columns) {
    std::size_t at = 0;
    for (int count = 0; at < text.size(); ++count) {
        if (count == columns) return text.substr(0, at);
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    }
    return text;
}

}  // namespace

GangConsole::GangConsole(std::vector<std::string> labels, bool live, ConsoleOutput& console)
    : m_live(live), m_console(console) {
    for (std::string& label : labels) {
        m_labelWidth = std::max(m_labelWidth, label.size());
        m_ports.push_back(PortView{.label = std::move(label)});
    }
}

void GangConsole::text(std::size_t port, std::string_view piece) {
    std::lock_guard lock(m_mutex);
    const bool wasQuiet = m_lines.empty() && !m_changed;
    takeText(m_ports.at(port), piece);
    if (wasQuiet && (!m_lines.empty() || m_changed)) m_wake.notify();
}

void GangConsole::progress(std::size_t port, int percent) {
    std::lock_guard lock(m_mutex);
    PortView& view = m_ports.at(port);
    if (view.percent == percent) return;
    view.percent = percent;
    if (!m_live) return;  // a log shows lines, not bars
    if (!m_changed && m_lines.empty()) m_wake.notify();
    m_changed = true;
}

void GangConsole::result(std::size_t port, std::string text, bool complete) {
    std::lock_guard lock(m_mutex);
    PortView& view = m_ports.at(port);
    view.last = std::move(text);
    view.ended = true;
    if (complete) view.percent = 100;
    if (!m_changed && m_lines.empty()) m_wake.notify();
    m_changed = true;
}

// CR LF, a lone CR and a lone LF each end a line (as the window breaks them); a CR LF split between two
// pieces is still one line end.
void GangConsole::takeText(PortView& port, std::string_view piece) {
    for (char c : piece) {
        if (c == '\n' && port.afterCr) {
            port.afterCr = false;
            continue;
        }
        port.afterCr = c == '\r';
        if (c == '\r' || c == '\n')
            completeLine(port, std::exchange(port.open, {}));
        else
            port.open += c;
    }
    if (m_live && !port.open.empty() && !port.ended) {
        port.last = port.open;
        m_changed = true;
    }
}

void GangConsole::completeLine(PortView& port, std::string line) {
    if (m_live) {
        if (!line.empty() && !port.ended) port.last = std::move(line);
        m_changed = true;
        return;
    }
    const auto index = static_cast<std::size_t>(&port - m_ports.data());
    m_lines.emplace_back(index, std::move(line));
}

// Everything is queued outside the lock, for the console's writer: a slow reader of stdout holds up no one.
void GangConsole::show() {
    m_wake.reset();
    std::string out;
    {
        std::lock_guard lock(m_mutex);
        if (m_live) {
            out = frameLocked(false);
        } else {
            for (const auto& [port, line] : m_lines) out += m_ports[port].label + ": " + line + "\n";
            m_lines.clear();
        }
    }
    print(out);
}

void GangConsole::finish() {
    show();
    std::string out;
    {
        std::lock_guard lock(m_mutex);
        if (m_live) {
            out = frameLocked(true);
        } else {
            for (PortView& port : m_ports)
                if (!port.open.empty()) out += port.label + ": " + std::exchange(port.open, {}) + "\n";
        }
    }
    print(out);
}

void GangConsole::print(const std::string& out) {
    m_console.out(out);
}

std::string GangConsole::frameLocked(bool force) {
    const auto now = std::chrono::steady_clock::now();
    // Not yet: the main loop's next call draws what changed meanwhile.
    if (!force && (!m_changed || now - m_lastDraw < kRedrawEvery)) return {};
    m_changed = false;
    m_lastDraw = now;
    const int columns = terminalColumns(stdout);
    const int rows = terminalRows(stdout);
    // Long names are shortened from the left, so the bar, the percentage and the outcome stay in view.
    const std::size_t labelWidth = std::min<std::size_t>(
        m_labelWidth, static_cast<std::size_t>(std::max(8, columns - 1 - kFixedColumns - kOutcomeColumns)));
    auto statusLine = [&](const PortView& port) {
        const int percent = std::clamp(port.percent, 0, 100);
        const int filled = percent * kBarWidth / 100;
        std::string line = fitLeft(port.label, labelWidth);
        line += "  [" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
        char figure[8];
        std::snprintf(figure, sizeof figure, "%3d%%", percent);
        line += figure;
        line += "  " + port.last;
        return "\r\033[K" + cut(line, columns - 1) + "\n";
    };

    // At most one line less than the terminal has, so the frame never scrolls. When the ports do not fit,
    // the running ones are shown first and one line counts the rest.
    const std::size_t fit = static_cast<std::size_t>(rows - 1);
    std::string frame;
    // Back to the first status line: the cursor stands below the last one.
    if (m_drawnLines > 0) frame += "\033[" + std::to_string(m_drawnLines) + "F";
    std::size_t lines = 0;
    if (m_ports.size() <= fit) {
        for (const PortView& port : m_ports) frame += statusLine(port);
        lines = m_ports.size();
    } else {
        std::vector<const PortView*> order;
        for (const PortView& port : m_ports)
            if (!port.ended) order.push_back(&port);
        for (const PortView& port : m_ports)
            if (port.ended) order.push_back(&port);
        const std::size_t shown = fit - 1;
        for (std::size_t i = 0; i < shown; ++i) frame += statusLine(*order[i]);
        std::size_t running = 0;
        std::size_t ended = 0;
        for (std::size_t i = shown; i < order.size(); ++i) (order[i]->ended ? ended : running) += 1;
        const std::string more = "... " + std::to_string(order.size() - shown) +
                                 " more ports: " + std::to_string(running) + " running, " +
                                 std::to_string(ended) + " ended";
        frame += "\r\033[K" + cut(more, columns - 1) + "\n";
        lines = fit;
    }
    // A frame shorter than the last one (the terminal shrank): the lines below it are cleared.
    for (std::size_t i = lines; i < m_drawnLines; ++i) frame += "\r\033[K\n";
    if (m_drawnLines > lines) frame += "\033[" + std::to_string(m_drawnLines - lines) + "F";
    m_drawnLines = lines;
    return frame;
}

}  // namespace hlx::cli
