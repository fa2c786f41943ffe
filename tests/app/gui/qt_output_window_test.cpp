// The Qt output window against the core's model of it: CR and LF are characters of their own, lines end
// at CR LF, positions count UTF-16 units. The fake window of the core's tests is the reference, and the
// job thread's calls are checked for taking effect and for returning at once after the release.

#include <QApplication>
#include <QClipboard>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest/QTest>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/qt_call.h"
#include "app/qt_output_window.h"
#include "base/text_codec.h"
#include "tests/support/fake_output_window.h"

namespace hlx::app {
namespace {

using namespace std::chrono_literals;

class QtOutputWindowTest : public ::testing::Test {
protected:
    OutputEdit edit;
    QtCall call{&edit};
    QtOutputWindow window{edit, call};

    // Runs the GUI thread's events until the job thread's call has returned; a hang fails the test.
    template <class T>
    T serveUntilReady(std::future<T>& result) {
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (result.wait_for(1ms) != std::future_status::ready) {
            QApplication::processEvents();
            if (std::chrono::steady_clock::now() > giveUp) {
                ADD_FAILURE() << "the job thread's call did not return";
                call.release();
            }
        }
        return result.get();
    }
};

const char* const kTexts[] = {
    "",
    "Output & Terminal Window\r\n",
    "line one\r\nline two",
    "lone\rcarriage return",
    "lone\nline feed",
    "\r\n\r\n",
    "ends with CR\r",
    "LF before CR\n\r",
    "\n\n\r\r",
    "Umlaute \xc3\xa4\xc3\xb6\xc3\xbc \xe2\x82\xac\r\nnext",
    "cmd?\r OK\r\n\nafter",
};

TEST_F(QtOutputWindowTest, TextRoundTripsWithCrAndLfAsCharacters) {
    for (const char* text : kTexts) {
        SCOPED_TRACE(::testing::PrintToString(std::string(text)));
        window.setText(text);
        EXPECT_EQ(text, window.text());
        EXPECT_EQ(static_cast<int>(base::utf8ToUtf16(text).size()), window.length());
    }
}

TEST_F(QtOutputWindowTest, LinesAndLineStartsAgreeWithTheCoreModel) {
    for (const char* text : kTexts) {
        SCOPED_TRACE(::testing::PrintToString(std::string(text)));
        window.setText(text);
        test::FakeOutputWindow model(text);
        EXPECT_EQ(model.atLineStart(), window.atLineStart());
        for (int position = 0; position <= model.length(); ++position) {
            SCOPED_TRACE(position);
            EXPECT_EQ(model.lineAt(position), window.lineAt(position));
        }
    }
}

TEST_F(QtOutputWindowTest, AppendAndInsertAgreeWithTheCoreModel) {
    struct Step {
        const char* name;
        bool append;
        int position;
        const char* text;
    };
    const Step steps[] = {
        {"AppendLine", true, 0, "Fehler: Zeitüberschreitung\r\n"},
        {"ReplyBetweenCrAndLf", false, 53, " OK\r\n"},
        {"AppendWithoutBreak", true, 0, "Page: 1"},
        {"InsertAtStart", false, 0, "\r\n"},
        {"InsertBeyondEnd", false, 1000, "\n"},
        {"InsertBeforeStart", false, -5, "x"},
        {"AppendAfterLoneLf", true, 0, "\r\n"},
    };
    window.setText("Output & Terminal Window\r\n");
    test::FakeOutputWindow model("Output & Terminal Window\r\n");
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.append) {
            window.append(step.text);
            model.append(step.text);
        } else {
            window.insert(step.position, step.text);
            model.insert(step.position, step.text);
        }
        EXPECT_EQ(model.text(), window.text());
        EXPECT_EQ(model.atLineStart(), window.atLineStart());
    }
}

TEST_F(QtOutputWindowTest, ReplyAfterEnterLandsBetweenCrAndLf) {
    window.setText("Output & Terminal Window\r\ncmd?\r\n");
    const int caret = window.length();
    window.setSelection(caret, 0);
    window.insert(caret - 1, " OK\r\n");
    window.setSelection(caret + 4 + 2, 0);  // as the idle poll does for the 4 characters received
    EXPECT_EQ("Output & Terminal Window\r\ncmd?\r OK\r\n\n", window.text());
    EXPECT_EQ(window.length(), window.selectionStart());
}

TEST_F(QtOutputWindowTest, AppendKeepsTheTechniciansSelection) {
    window.setText("hello world\r\n");
    window.setSelection(6, 5);
    window.append("more from the monitor\r\n");
    EXPECT_EQ(6, window.selectionStart());
    EXPECT_EQ(QStringLiteral("world"), edit.textCursor().selectedText());
}

TEST_F(QtOutputWindowTest, CaretOfTheTechnicianNeverRestsBetweenCrAndLf) {
    window.setText("ab\r\ncd");
    window.setSelection(0, 0);
    struct Move {
        const char* name;
        Qt::Key key;
        int caret;
    };
    const Move moves[] = {
        {"EndOfFirstLine", Qt::Key_End, 2},  // before the CR
        {"RightGoesToNextLine", Qt::Key_Right, 4},
        {"LeftGoesBeforeTheCr", Qt::Key_Left, 2},
        {"DeleteJoinsTheLines", Qt::Key_Delete, 2},
    };
    for (const Move& m : moves) {
        SCOPED_TRACE(m.name);
        QTest::keyClick(&edit, m.key);
        EXPECT_EQ(m.caret, window.selectionStart());
    }
    EXPECT_EQ("abcd", window.text());
}

TEST_F(QtOutputWindowTest, PasteAndCopyCarryCrLf) {
    window.setText("");
    QApplication::clipboard()->setText(QStringLiteral("one\ntwo\r\nthree\rfour"));
    edit.paste();
    EXPECT_EQ("one\r\ntwo\r\nthree\r\nfour", window.text());
    edit.selectAll();
    edit.copy();
    EXPECT_EQ(QStringLiteral("one\r\ntwo\r\nthree\r\nfour"), QApplication::clipboard()->text());
}

TEST_F(QtOutputWindowTest, SelectionIsClampedToTheText) {
    window.setText("abc");
    window.setSelection(10, 4);
    EXPECT_EQ(3, window.selectionStart());
    EXPECT_FALSE(edit.textCursor().hasSelection());
}

TEST_F(QtOutputWindowTest, JobThreadCallsTakeEffectBeforeTheyReturn) {
    window.setText("start\r\n");
    std::future<int> lengthSeen = std::async(std::launch::async, [this] {
        window.append("from the job\r\n");
        return window.length();
    });
    EXPECT_EQ(21, serveUntilReady(lengthSeen));
    EXPECT_EQ("start\r\nfrom the job\r\n", window.text());
}

TEST_F(QtOutputWindowTest, ReleaseEndsABlockedJobCallAndLaterCallsDoNothing) {
    window.setText("start\r\n");
    std::promise<void> entered;
    std::future<std::string> afterRelease = std::async(std::launch::async, [&] {
        entered.set_value();
        window.append("queued before the close\r\n");  // an append does not wait for the window
        const std::string seen = window.text();        // blocks: the GUI thread serves no events
        window.append("never shown\r\n");
        return seen;
    });
    entered.get_future().wait();
    EXPECT_NE(std::future_status::ready, afterRelease.wait_for(50ms));  // still waiting for the GUI thread
    call.release();
    ASSERT_EQ(std::future_status::ready, afterRelease.wait_for(10s));
    EXPECT_EQ("", afterRelease.get());  // a getter gives its empty value once released
    QApplication::processEvents();
    EXPECT_EQ("start\r\nqueued before the close\r\n", window.text());
}

TEST_F(QtOutputWindowTest, AppendsFromTheJobDoNotWaitForTheWindowAndKeepTheirOrder) {
    window.setText("start\r\n");
    std::future<void> job = std::async(std::launch::async, [this] {
        for (int i = 0; i < 1000; ++i) window.append("line " + std::to_string(i) + "\r\n");
    });
    // The GUI thread serves no events meanwhile, yet the job finishes.
    ASSERT_EQ(std::future_status::ready, job.wait_for(10s));
    std::string expected = "start\r\n";
    for (int i = 0; i < 1000; ++i) expected += "line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(expected, window.text());
}

// A job that writes a line per reply wakes the window at most once a frame: however many lines come, the
// document takes them in one insert per frame, and nothing is lost or reordered.
TEST_F(QtOutputWindowTest, AJobsLinesAreShownAtMostOncePerFrame) {
    window.setText("");
    int inserts = 0;
    QObject::connect(edit.document(), &QTextDocument::contentsChange,
                     [&](int, int, int added) { inserts += added > 0 ? 1 : 0; });
    const auto start = std::chrono::steady_clock::now();
    std::future<void> job = std::async(std::launch::async, [this] {
        for (int i = 0; i < 2000; ++i) {
            window.append("OK " + std::to_string(i) + "\r\n");
            window.refresh();
            std::this_thread::sleep_for(50us);  // as replies come, a few per millisecond
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return job.wait_for(0s) == std::future_status::ready; }, 20000));
    QTest::qWait(static_cast<int>(2 * kJobTextFrame.count()));
    const auto frames = (std::chrono::steady_clock::now() - start) / kJobTextFrame;
    EXPECT_GE(frames + 2, inserts) << "more than one insert per frame";
    EXPECT_LT(0, inserts);
    std::string expected;
    for (int i = 0; i < 2000; ++i) expected += "OK " + std::to_string(i) + "\r\n";
    EXPECT_EQ(expected, fromDocumentText(edit.document()->toRawText()))
        << "shown without a call that flushes";
}

TEST_F(QtOutputWindowTest, AZeroWidthSpaceInATextStaysOneAndIsNoLineEnd) {
    const std::string text = "a\u200Bb\r\nc\uFDD9d";  // U+FDD9 is never part of a text
    window.setText(text);
    EXPECT_EQ("a\u200Bb\r\nc\uFFFDd", window.text());
    EXPECT_EQ("a\u200Bb", window.lineAt(0));
    EXPECT_EQ(8, window.length());
}

TEST(QtCallTest, GuiThreadCallsRunDirectlyEvenAfterRelease) {
    QObject context;
    QtCall call(&context);
    call.release();
    int ran = 0;
    call.run([&] { ++ran; });
    EXPECT_EQ(1, ran);
    EXPECT_EQ(7, call.get([] { return 7; }, -1));
}

TEST(QtCallTest, ReleasedGetterFromAnotherThreadReturnsTheFallback) {
    QObject context;
    QtCall call(&context);
    call.release();
    std::future<int> value = std::async(std::launch::async, [&] { return call.get([] { return 7; }, -1); });
    ASSERT_EQ(std::future_status::ready, value.wait_for(10s));
    EXPECT_EQ(-1, value.get());
}

}  // namespace
}  // namespace hlx::app
