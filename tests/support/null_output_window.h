#pragma once
// NullOutputWindow: an output window that keeps nothing and only counts appends, for benchmarks and fuzz
// targets where what is shown does not matter. Header-only, so targets without GoogleTest can use it;
// override append() to look at what arrives.

#include "output/output_window.h"

namespace hlx::test {

class NullOutputWindow : public output::OutputWindow {
public:
    std::string text() const override { return {}; }
    void setText(std::string_view) override {}
    void append(std::string_view) override { ++m_appends; }
    bool atLineStart() const override { return true; }
    int length() const override { return 0; }
    int selectionStart() const override { return 0; }
    void setSelection(int, int) override {}
    void insert(int, std::string_view) override {}
    std::string lineAt(int) const override { return {}; }
    void refresh() override {}

    int appends() const { return m_appends; }

private:
    int m_appends = 0;
};

}  // namespace hlx::test
