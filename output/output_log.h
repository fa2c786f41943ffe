#pragma once
// OutputLog: the operations of jobs and of the serial reader on the output window, and the result
// report. A thin layer over OutputWindow: each operation has the visible result of the classic
// "text := text + more", but appends only what is new.
//
// Threads: as OutputWindow; one OutputLog per window, shared by the GUI thread and the job thread.

#include <cstdint>
#include <string_view>

#include "output/output_window.h"

namespace hlx::output {

class OutputLog {
public:
    explicit OutputLog(OutputWindow& window) : m_window(window) {}

    void clear();                         // text := empty
    void appendText(std::string_view s);  // text := text + s
    void appendLine(std::string_view s);  // text := text + s + CR LF
    void addLine(std::string_view s);     // s on a new last line (see atLineStart)
    void report(std::int32_t word);       // one appendLine per line of reportLines(word), then refresh
    void caretToEnd();                    // selection start := length, selection length := 0
    void refresh();

    OutputWindow& window() { return m_window; }

private:
    OutputWindow& m_window;
};

}  // namespace hlx::output
