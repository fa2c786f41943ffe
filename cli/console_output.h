#pragma once
// ConsoleOutput: stdout and stderr of a command that runs jobs, written by a thread of their own, so that
// what happens to the output never reaches a job or the main thread:
// - a blocked stream (a full pipe nobody reads, a terminal on hold) holds up only the writer: the jobs and
//   the main thread only queue text, so the jobs run on and a stop signal is taken at once;
// - a closed stream (the reader ended: `hlx ... | head -n 1`) is no signal: SIGPIPE is ignored while an
//   object lives, a failed write marks the stream cut and what is queued for it afterwards is dropped;
//   the jobs, the report and the exit status are as without it, and finish() says on stderr (if that
//   can still be written) that the output was cut.
// Text for stdout and stderr that ends up on one terminal (or one file) goes through one writer, in the
// order it was queued, so a progress bar on stderr and the lines on stdout never cross.
//
// Threads: out and err from any thread; drain and finish on the main thread.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/stop_signals.h"

namespace hlx::cli {

class ConsoleOutput {
public:
    ConsoleOutput(std::FILE* out = stdout, std::FILE* err = stderr);
    // Joins the writers when they are idle; a writer still blocked is left to the process's end.
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    void out(std::string_view text);
    void err(std::string_view text);
    // printf into err ("hlx: ..." lines).
    void errLine(std::string_view line);

    // Sleeps until everything queued has been written (true), a stop signal arrived (false; its number in
    // signal, taken off) or the time-out has passed (false; a negative one waits without).
    bool drain(base::StopSignals& signals, std::chrono::milliseconds timeout, int* signal = nullptr);
    // Whether either stream could not take what was written to it.
    bool cut() const;
    // The end of the run: says on stderr that the output was cut (when it was), then waits for the writers
    // as drain does (bounded by timeout). Returns whether everything was written; when not, the writers
    // are blocked and the caller must end the process without flushing (std::_Exit).
    bool finish(base::StopSignals& signals, std::chrono::milliseconds timeout, int* signal = nullptr);

private:
    class Writer;
    std::unique_ptr<Writer> m_outWriter;
    std::unique_ptr<Writer> m_errWriter;  // null when stderr shares the stdout writer
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_cutSaid = false;
};

}  // namespace hlx::cli
