#pragma once
// FakeOutputWindow: the in-memory output window (output::TextWindow: CR and LF are characters, lines end at
// CR LF, positions count UTF-16 code units as the real window does) that also keeps what a test looks at:
// the selection's length and how often the window was refreshed. Thread-safe, so a job thread and a test
// thread may both use it.

#include <atomic>
#include <string>

#include "output/text_window.h"

namespace hlx::test {

class FakeOutputWindow : public output::TextWindow {
public:
    explicit FakeOutputWindow(std::string initial = {});

    void setText(std::string_view text) override;
    void setSelection(int start, int length) override;
    void refresh() override;

    int refreshCount() const { return m_refreshes.load(); }
    int selectionLength() const { return m_selLength.load(); }

private:
    std::atomic<int> m_selLength{0};
    std::atomic<int> m_refreshes{0};
};

}  // namespace hlx::test
