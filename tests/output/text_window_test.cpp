// TextWindow, the window of a job whose lines are kept rather than shown: the output window's text semantics
// (positions in UTF-16 units, lines at CR LF) and the listener that sees every piece in order.

#include "output/text_window.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "output/output_log.h"

namespace hlx::output {
namespace {

TEST(TextWindow, KeepsTheTextAsTheOutputLogWritesIt) {
    std::vector<std::string> pieces;
    TextWindow window([&](std::string_view piece) { pieces.emplace_back(piece); });
    OutputLog log(window);
    log.addLine("Prüfe Hex File");
    log.appendText("OK");
    log.addLine("Page: 0x0001");  // on a line of its own after the open "OK"
    log.appendText("\r\n");
    log.report(0);
    EXPECT_EQ("Prüfe Hex File\r\nOK\r\nPage: 0x0001\r\nDatei fehlerfrei übertragen\r\n", window.text());
    std::string joined;
    for (const std::string& piece : pieces) joined += piece;
    EXPECT_EQ(window.text(), joined);
    EXPECT_EQ(static_cast<int>(std::u16string(u"Prüfe Hex File\r\nOK\r\nPage: 0x0001\r\n"
                                              u"Datei fehlerfrei übertragen\r\n")
                                   .size()),
              window.length());
    log.clear();
    EXPECT_EQ("", window.text());
    EXPECT_TRUE(window.atLineStart());
}

TEST(TextWindow, LineAtAPosition) {
    TextWindow window;
    window.setText("ab\r\nÄrger\r\nx");
    struct Case {
        int position;
        const char* line;
    } cases[] = {{0, "ab"},    {2, "ab"}, {3, "ab"}, {4, "Ärger"},
                 {9, "Ärger"}, {11, "x"}, {99, "x"}, {-5, "ab"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        EXPECT_EQ(c.line, window.lineAt(c.position));
    }
    window.setSelection(99, 0);
    EXPECT_EQ(12, window.selectionStart()) << "clamped to the length";
    window.insert(2, "c");
    EXPECT_EQ("abc\r\nÄrger\r\nx", window.text());
}

TEST(TextWindow, ThreadsAppendingAtOnceLoseNothing) {
    std::string seen;
    TextWindow window([&](std::string_view piece) { seen += piece; });  // runs under the window's lock
    std::vector<std::thread> writers;
    for (char c : std::string("abcd"))
        writers.emplace_back([&, c] {
            for (int i = 0; i < 1000; ++i) window.append(std::string(1, c));
        });
    for (std::thread& t : writers) t.join();
    EXPECT_EQ(4000u, window.text().size());
    EXPECT_EQ(window.text(), seen) << "the listener sees the pieces in the order the text holds them";
}

}  // namespace
}  // namespace hlx::output
