#include "cli/gang_console.h"

#include "base/console.h"

#include <algorithm>
#include <chrono>

namespace hlx::cli {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds{100};
constexpr int kBarWidth = 24;

// The terminal's width, so no status line wraps (a wrapped line would break the redraw in place).
int terminalColumns(std::FILE* out) {
    const int columns = base::terminalColumns(out);
    return columns > 20 ? columns : 80;
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

GangConsole::GangConsole(std::vector<std::string> labels, bool live, std::FILE* out)
    : m_live(live), m_out(out) {
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

void GangConsole::result(std::size_t port, std::string text) {
    std::lock_guard lock(m_mutex);
    PortView& view = m_ports.at(port);
    view.last = std::move(text);
    view.ended = true;
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

// Everything is printed outside the lock: a slow reader of stdout holds up only this (the main) thread.
void GangConsole::show() {
    m_wake.reset();
    std::string out;
    Frame frame;
    {
        std::lock_guard lock(m_mutex);
        if (m_live) {
            frame = frameLocked(false);
        } else {
            for (const auto& [port, line] : m_lines) out += m_ports[port].label + ": " + line + "\n";
            m_lines.clear();
        }
    }
    print(out);
    draw(frame);
}

void GangConsole::finish() {
    show();
    std::string out;
    Frame frame;
    {
        std::lock_guard lock(m_mutex);
        if (m_live) {
            frame = frameLocked(true);
        } else {
            for (PortView& port : m_ports)
                if (!port.open.empty()) out += port.label + ": " + std::exchange(port.open, {}) + "\n";
        }
    }
    print(out);
    draw(frame);
}

void GangConsole::print(const std::string& out) {
    if (!out.empty()) base::writeText(m_out, out);
}

// Back to the first status line (the cursor stands below the last one), then each line cleared and
// written anew: with escapes where the terminal takes them, else through the console (base/console.h).
void GangConsole::draw(const Frame& frame) {
    if (frame.lines.empty()) return;
    base::moveUp(m_out, frame.back);
    for (const std::string& line : frame.lines) {
        base::clearLine(m_out);
        base::writeText(m_out, line + "\n");
    }
}

GangConsole::Frame GangConsole::frameLocked(bool force) {
    const auto now = std::chrono::steady_clock::now();
    // Not yet: the main loop's next call draws what changed meanwhile.
    if (!force && (!m_changed || now - m_lastDraw < kRedrawEvery)) return {};
    m_changed = false;
    m_lastDraw = now;
    const int columns = terminalColumns(m_out);
    Frame frame;
    if (m_drawn) frame.back = static_cast<int>(m_ports.size());
    for (const PortView& port : m_ports) {
        const int filled = std::clamp(port.percent, 0, 100) * kBarWidth / 100;
        std::string line = port.label;
        line.append(m_labelWidth - port.label.size(), ' ');
        line += "  [" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
        char percent[8];
        std::snprintf(percent, sizeof percent, "%3d%%", std::clamp(port.percent, 0, 100));
        line += percent;
        line += "  " + port.last;
        frame.lines.push_back(cut(line, columns - 1));
    }
    m_drawn = true;
    return frame;
}

}  // namespace hlx::cli
