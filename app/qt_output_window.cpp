#include "app/qt_output_window.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

namespace hlx::app {
namespace {

const QChar kMark{kCrMark};

// Every line break of pasted text (CR LF, lone CR, lone LF) becomes CR LF, as Load Terminal does.
QString pastedAsDocumentText(const QString& pasted) {
    QString text = pasted;
    text.replace(QChar(kLiteralMark), QChar(QChar::ReplacementCharacter));
    text.replace(QChar(kCrMark), QChar(kLiteralMark));
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            out += kMark;
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}

// The block ends with CR LF: its last character is the CR mark and a block break follows.
bool endsWithCrLf(const QTextBlock& block) {
    return block.next().isValid() && block.text().endsWith(kMark);
}

QFont outputFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({QStringLiteral("Courier New"), font.family()});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(13);
    return font;
}

}  // namespace

QString toDocumentText(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return toDocumentText(s);
}

QString toDocumentText(QString s) {
    s.replace(QChar(kLiteralMark), QChar(QChar::ReplacementCharacter));  // never part of a text
    s.replace(QChar(kCrMark), QChar(kLiteralMark));
    s.replace(u'\r', kMark);
    return s;
}

std::string fromDocumentText(const QString& text) {
    QString s = text;
    s.replace(QChar(QChar::ParagraphSeparator), u'\n');
    s.replace(kMark, u'\r');
    s.replace(QChar(kLiteralMark), QChar(kCrMark));
    return s.toStdString();
}

// ---- OutputEdit -------------------------------------------------------------------------------------

OutputEdit::OutputEdit(QWidget* parent) : QPlainTextEdit(parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::black);
    colours.setColor(QPalette::Text, Qt::white);
    setPalette(colours);
    setFont(outputFont());
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAnywhere);
    // The window is never trimmed; an undo history of every append would grow with it for hours.
    document()->setUndoRedoEnabled(false);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &OutputEdit::keepCaretOffLineEnd);
}

void OutputEdit::setTextCursorExactly(const QTextCursor& cursor) {
    changeExactly([&] { setTextCursor(cursor); });
}

void OutputEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        emit enterPressed();
        if (isReadOnly()) return;
        QTextCursor cursor = textCursor();
        cursor.insertText(QString(kMark) + u'\n');
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    // Tab moves the focus on (tabChangesFocus); Ctrl+Tab is the way to put a tab into the text.
    if (key == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        if (!isReadOnly()) insertPlainText(QStringLiteral("\t"));
        event->accept();
        return;
    }
    if (!isReadOnly()) {
        const bool backspace = key == Qt::Key_Backspace && !(event->modifiers() & Qt::ControlModifier);
        if ((backspace || event->matches(QKeySequence::Delete)) && deleteLineBreak(backspace)) {
            event->accept();
            return;
        }
    }
    m_movingRight = event->matches(QKeySequence::MoveToNextChar);
    QPlainTextEdit::keyPressEvent(event);
    m_movingRight = false;
}

void OutputEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked();
    event->accept();
}

QMimeData* OutputEdit::createMimeDataFromSelection() const {
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdString(fromDocumentText(textCursor().selectedText())));
    return mime;
}

void OutputEdit::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source->hasText()) return;
    QTextCursor cursor = textCursor();
    cursor.insertText(pastedAsDocumentText(source->text()));
    setTextCursor(cursor);
    ensureCursorVisible();
}

// Backspace at the start of a line, or Delete just before a line's CR LF, removes both characters.
bool OutputEdit::deleteLineBreak(bool backwards) {
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) return false;
    const QTextBlock block = cursor.block();
    if (backwards) {
        if (!cursor.atBlockStart() || !block.previous().isValid() || !endsWithCrLf(block.previous()))
            return false;
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, 2);
    } else {
        if (!endsWithCrLf(block) || cursor.positionInBlock() != block.length() - 2) return false;
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, 2);
    }
    cursor.removeSelectedText();
    setTextCursorExactly(cursor);
    return true;
}

// The technician's caret never rests between a line's CR and LF (a place a Windows edit control cannot reach
// either): moving right onto it goes on to the next line, any other move there goes back before the CR.
void OutputEdit::keepCaretOffLineEnd() {
    if (m_exact) return;
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection() || !cursor.atBlockEnd() || !endsWithCrLf(cursor.block())) return;
    cursor.setPosition(cursor.position() + (m_movingRight ? 1 : -1));
    setTextCursorExactly(cursor);
}

// ---- QtOutputWindow ---------------------------------------------------------------------------------

QtOutputWindow::QtOutputWindow(OutputEdit& edit, const QtCall& call)
    : m_edit(edit),
      m_call(call),
      m_screen(
          call,
          [this] {
              flushPending();
              m_edit.viewport()->update();
          },
          kJobTextFrame) {}

void QtOutputWindow::flushPending() const {
    QString text;
    {
        std::lock_guard lock(m_pendingMutex);
        text.swap(m_pending);
    }
    appendNow(m_edit, text);
}

std::string QtOutputWindow::text() const {
    return m_call.get([this] {
        flushPending();
        return textNow();
    });
}

void QtOutputWindow::setText(std::string_view text) {
    m_call.run([this, s = toDocumentText(text)] {
        flushPending();
        m_edit.changeExactly([&] { m_edit.setPlainText(s); });
    });
}

// From another thread an append does not wait for the window: it joins the text waiting to be shown, which
// the GUI thread shows within a frame. Anything that reads or changes the window afterwards sees it first.
void QtOutputWindow::append(std::string_view text) {
    if (text.empty()) return;
    QString s = toDocumentText(text);
    if (m_call.onGuiThread()) {
        flushPending();
        appendNow(m_edit, s);
        return;
    }
    if (m_call.released()) return;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending += s;
    }
    m_screen.request();
}

bool QtOutputWindow::atLineStart() const {
    return m_call.get([this] {
        flushPending();
        return atLineStartNow();
    });
}

int QtOutputWindow::length() const {
    return m_call.get([this] {
        flushPending();
        return lengthNow();
    });
}

int QtOutputWindow::selectionStart() const {
    return m_call.get([this] {
        flushPending();
        return m_edit.textCursor().selectionStart();
    });
}

void QtOutputWindow::setSelection(int start, int length) {
    m_call.run([this, start, length] {
        flushPending();
        setSelectionNow(start, length);
    });
}

void QtOutputWindow::insert(int position, std::string_view text) {
    m_call.run([this, position, s = toDocumentText(text)] {
        flushPending();
        insertNow(position, s);
    });
}

std::string QtOutputWindow::lineAt(int position) const {
    return m_call.get([this, position] {
        flushPending();
        return lineAtNow(position);
    });
}

// The window is painted in the next pass of the event loop (from another thread: with the next frame's
// flush); nobody waits for the paint.
void QtOutputWindow::refresh() {
    if (m_call.onGuiThread()) {
        flushPending();
        m_edit.viewport()->update();
        return;
    }
    if (!m_call.released()) m_screen.request();
}

std::string QtOutputWindow::textNow() const {
    return fromDocumentText(m_edit.document()->toRawText());
}

// Appends at the end through a cursor of its own, so the technician's selection stays; the view follows
// the end only if it was showing the end.
void QtOutputWindow::appendNow(OutputEdit& edit, const QString& text) {
    if (text.isEmpty()) return;
    QScrollBar* bar = edit.verticalScrollBar();
    const bool showingEnd = bar->value() >= bar->maximum();
    QTextCursor end(edit.document());
    end.movePosition(QTextCursor::End);
    edit.changeExactly([&] {
        end.beginEditBlock();
        end.insertText(text);
        end.endEditBlock();
    });
    if (showingEnd) bar->setValue(bar->maximum());
}

bool QtOutputWindow::atLineStartNow() const {
    const QTextDocument* doc = m_edit.document();
    if (doc->isEmpty()) return true;
    const QTextBlock last = doc->lastBlock();
    return last.length() == 1 && endsWithCrLf(last.previous());
}

int QtOutputWindow::lengthNow() const {
    return m_edit.document()->characterCount() - 1;
}

void QtOutputWindow::setSelectionNow(int start, int length) {
    const int size = lengthNow();
    start = std::clamp(start, 0, size);
    length = std::clamp(length, 0, size - start);
    QTextCursor cursor(m_edit.document());
    cursor.setPosition(start);
    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    m_edit.setTextCursorExactly(cursor);
}

void QtOutputWindow::insertNow(int position, const QString& text) {
    if (text.isEmpty()) return;
    QTextCursor cursor(m_edit.document());
    cursor.setPosition(std::clamp(position, 0, lengthNow()));
    m_edit.changeExactly([&] { cursor.insertText(text); });
}

// A line runs from after one CR LF to the next; a lone LF (a block break without the CR mark before it)
// does not end it.
std::string QtOutputWindow::lineAtNow(int position) const {
    const QTextDocument* doc = m_edit.document();
    QTextBlock block = doc->findBlock(std::clamp(position, 0, lengthNow()));
    while (block.previous().isValid() && !endsWithCrLf(block.previous())) block = block.previous();
    QString line;
    for (; block.isValid(); block = block.next()) {
        QString part = block.text();
        if (endsWithCrLf(block)) {
            part.chop(1);
            line += part;
            break;
        }
        line += part;
        if (block.next().isValid()) line += u'\n';
    }
    return fromDocumentText(line);
}

}  // namespace hlx::app
