#pragma once
// The output and terminal window on Qt.
//
// OutputEdit is the QPlainTextEdit of the main window. Its text keeps CR and LF as characters of their own
// (a CR LF pair is two positions), as the core expects, by representing them one to one in the document:
//   model LF  <->  a block break (the document's paragraph separator)
//   model CR  <->  U+200B ZERO WIDTH SPACE, invisible
//   model U+200B  <->  U+FDD9, a noncharacter (shown as a box), so a real zero-width space in a text is
//                       not taken for a CR; U+FDD9 itself never enters the window (it becomes U+FFFD)
// So every model position is the same document position, and an append costs only what it adds.
// Lines wrap anywhere, as in a terminal: word wrapping a very long line costs time in the square of its
// length (a 1 MB line took 20 s), wrapping anywhere a fraction of a second.
// Tab moves the focus to the next control as in any form (the main window sets tabChangesFocus); Ctrl+Tab
// inserts a tab. Enter typed by the technician inserts CR LF, as in a Windows edit control (the monitor's
// lines end so); Backspace and Delete remove a CR LF pair as one line break; the caret never rests between
// the CR and the LF of a line end; copy and paste carry CR LF.
//
// QtOutputWindow implements hlx::OutputWindow over an OutputEdit. Its calls from the job thread run on the
// GUI thread through QtCall and return when they have taken effect (or at once after release), except
// append and refresh: they queue the text and return at once, and the GUI thread shows everything queued
// at most once a frame of kJobTextFrame (ScreenRateFlush, 20 times a second), in one insert and one paint,
// however many lines came. Every
// other call shows what is queued before it acts, so the order of the job's changes holds and a job that
// reads the window sees its own appends.
//
// Threads: OutputEdit on the GUI thread only; QtOutputWindow from any thread, built on the GUI thread.
// The main window owns both; the QtCall passed in must outlive the QtOutputWindow.

#include <QPlainTextEdit>

#include <mutex>
#include <string>
#include <string_view>

#include "app/qt_call.h"
#include "app/qt_screen_rate.h"
#include "output/output_window.h"

namespace hlx::app {

inline constexpr char16_t kCrMark = u'\u200B';
inline constexpr char16_t kLiteralMark = u'\uFDD9';

// Model text (UTF-8, CR and LF as characters) to what goes into the document: CR becomes kCrMark; LF stays
// and becomes a block break on insertion.
QString toDocumentText(std::string_view text);
QString toDocumentText(QString text);
// Document text (raw, block breaks as U+2029 or '\n') back to model text.
std::string fromDocumentText(const QString& text);

class OutputEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit OutputEdit(QWidget* parent = nullptr);

    // Sets the caret without the line-end adjustment that applies to the technician's moves.
    void setTextCursorExactly(const QTextCursor& cursor);
    // Runs a programmatic change of the text; the caret, moved along by it, is left where it lands.
    template <class F>
    void changeExactly(F change) {
        m_exact = true;
        change();
        m_exact = false;
    }

signals:
    // Enter was pressed; emitted before the line break is inserted.
    void enterPressed();
    void doubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool deleteLineBreak(bool backwards);
    void keepCaretOffLineEnd();

    bool m_movingRight = false;
    bool m_exact = false;
};

class QtOutputWindow : public output::OutputWindow {
public:
    QtOutputWindow(OutputEdit& edit, const QtCall& call);

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

private:
    // GUI thread: shows what is queued, in order, before anything else touches the document.
    void flushPending() const;
    static void appendNow(OutputEdit& edit, const QString& text);

    // The GUI-thread halves.
    std::string textNow() const;
    bool atLineStartNow() const;
    int lengthNow() const;
    void setSelectionNow(int start, int length);
    void insertNow(int position, const QString& text);
    std::string lineAtNow(int position) const;

    OutputEdit& m_edit;
    const QtCall& m_call;
    mutable std::mutex m_pendingMutex;
    mutable QString m_pending;  // appended by other threads, not yet shown
    mutable ScreenRateFlush m_screen;
};

}  // namespace hlx::app
