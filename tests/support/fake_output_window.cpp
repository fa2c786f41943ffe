#include "tests/support/fake_output_window.h"

#include <algorithm>

namespace hlx::test {

FakeOutputWindow::FakeOutputWindow(std::string initial) {
    output::TextWindow::setText(initial);
}

void FakeOutputWindow::setText(std::string_view text) {
    output::TextWindow::setText(text);
    m_selLength = 0;
}

void FakeOutputWindow::setSelection(int start, int length) {
    output::TextWindow::setSelection(start, length);
    m_selLength = std::clamp(length, 0, this->length() - selectionStart());
}

void FakeOutputWindow::refresh() {
    ++m_refreshes;
}

}  // namespace hlx::test
