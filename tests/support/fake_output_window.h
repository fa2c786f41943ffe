#pragma once
// FakeOutputWindow: an OutputWindow over a plain string, with the output window's semantics (CR and LF are
// characters; lines end at CR LF). Positions count UTF-16 code units, as the real window does.
// Thread-safe, so a job thread and a test thread may both use it.

#include <mutex>
#include <string>

#include "output/output_window.h"

namespace hlx::test {

class FakeOutputWindow : public output::OutputWindow {
public:
    explicit FakeOutputWindow(std::string initial = {});

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

    int refreshCount() const;
    int selectionLength() const;

private:
    mutable std::mutex m_mutex;
    std::u16string m_text;
    int m_selStart = 0;
    int m_selLength = 0;
    int m_refreshes = 0;
};

}  // namespace hlx::test
