#pragma once
// TextWindow: an output window that is only its text, the one in-memory output window: each port's job of
// a gang run and the file check before it keep their lines in one, hlx's console window prints its text as
// it grows (cli/console_view.h), and the tests' fake window is one.
// Positions count UTF-16 code units, as the real window does; lines end at CR LF. Whoever wants to see the
// text as it grows passes onAppend, which receives every piece appended or inserted, in order.
//
// Threads: every function may be called from any thread; onAppend runs on the appending thread, under
// the window's lock (so pieces arrive in order), and must not call back into the window.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "output/output_window.h"

namespace hlx::output {

class TextWindow : public OutputWindow {
public:
    using AppendListener = std::function<void(std::string_view)>;
    explicit TextWindow(AppendListener onAppend = {}) : m_onAppend(std::move(onAppend)) {}

    std::string text() const override;
    void setText(std::string_view text) override;
    void append(std::string_view text) override;
    bool atLineStart() const override;
    int length() const override;
    int selectionStart() const override;
    void setSelection(int start, int length) override;
    void insert(int position, std::string_view text) override;
    std::string lineAt(int position) const override;
    void refresh() override {}

private:
    mutable std::mutex m_mutex;
    AppendListener m_onAppend;
    std::string m_text;  // UTF-8
    int m_length = 0;    // in UTF-16 units
    int m_selection = 0;
};

}  // namespace hlx::output
