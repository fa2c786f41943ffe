#pragma once
// OutputWindow: the output and terminal window as the core sees it, a multi-line text whose lines are
// separated by CR LF. The window (Qt), the console of `hlx` and the tests' fake implement it.
//
// Text is UTF-8. Positions and lengths count characters as the window does (UTF-16 code units, so a
// received byte, shown as its Windows-1252 character, is one position). CR and LF are characters of their
// own: a CR LF pair is two positions.
//
// Threads: called from the GUI thread and from the job thread. An implementation that lives on the GUI
// thread carries a job thread's call over and returns when it has taken effect. When the window closes
// it releases its calls (QtCall::release) before it joins the job: from then on a call returns at once and
// does nothing (reads return an empty value). Asking the job to stop alone does not do that; the job's
// own stop checks end it.

#include <string>
#include <string_view>

namespace hlx::output {

class OutputWindow {
public:
    virtual ~OutputWindow() = default;

    virtual std::string text() const = 0;
    virtual void setText(std::string_view text) = 0;
    // Appends at the end of the text. Costs in proportion to what is appended, not to the whole text.
    virtual void append(std::string_view text) = 0;
    // True when the text is empty or ends with CR LF (so a new line starts right there).
    virtual bool atLineStart() const = 0;
    virtual int length() const = 0;

    virtual int selectionStart() const = 0;
    // Sets the selection; start is clamped to the text's length.
    virtual void setSelection(int start, int length) = 0;
    // Inserts at position (clamped to 0..length) without moving the view to it.
    virtual void insert(int position, std::string_view text) = 0;
    // The text of the line in which position stands, without its line break. Lines end at CR LF.
    virtual std::string lineAt(int position) const = 0;

    virtual void refresh() = 0;
};

}  // namespace hlx::output
