// The main window within the technician's reach: its first size and place on the screen (window_size.h),
// the keyboard (window_keys.h), and what the window shows of a job (the buttons that start one, the last
// job's outcome in the status bar).

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include "app/main_window.h"
#include "app/window_keys.h"
#include "app/window_size.h"

namespace hlx::app {
namespace {

QString nameOf(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

ScreenArea areaOf(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

bool isReturn(const QKeyEvent* key) {
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

void MainWindow::fitToScreen() {
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const ScreenArea available = areaOf(screen->availableGeometry());
    WindowSize frame;
    if (isVisible()) {
        frame = {frameGeometry().width() - width(), frameGeometry().height() - height()};
    } else {
        // Before the window is shown the desktop has not framed it yet: a title bar and borders as the style
        // draws them stand in for the frame.
        const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
        frame = {2 * border, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 2 * border};
    }
    const WindowSize inner =
        firstWindowSize(kDesignedClientSize, statusBar()->sizeHint().height(), available, frame);
    resize(inner.width, inner.height);
    const ScreenArea place = firstWindowPlace(inner, available, frame);
    move(place.x, place.y);
}

// Once the desktop has framed the window, the frame it gave is known: a window that does not fit with it
// is fitted again, once.
void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_fittedToFrame || event->spontaneous()) return;
    m_fittedToFrame = true;
    QTimer::singleShot(0, this, [this] {
        const QScreen* screen = this->screen();
        if (screen != nullptr && !screen->availableGeometry().contains(frameGeometry())) fitToScreen();
    });
}

void MainWindow::setUpKeyboard() {
    // The picture takes the focus once it is shown (Tab, a click); Return or Space then starts the converter.
    m_image->setFocusPolicy(Qt::StrongFocus);
    // The scrolled area holds the controls; it takes no focus itself.
    centralWidget()->setFocusPolicy(Qt::NoFocus);
    QWidget* previous = nullptr;
    for (const std::string_view name : kTabOrder) {
        auto* widget = findChild<QWidget*>(nameOf(name));
        if (widget == nullptr) continue;
        if (previous != nullptr) setTabOrder(previous, widget);
        previous = widget;
    }
    // Tab moves on as in any form; Ctrl+Tab still puts a tab into the text.
    m_outputEdit->setTabChangesFocus(true);
    for (const Mnemonic& mnemonic : kMnemonics) {
        auto* button = findChild<QPushButton*>(nameOf(mnemonic.button));
        if (button == nullptr) continue;
        const QKeySequence keys(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(mnemonic.key)));
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setObjectName(button->objectName() + QStringLiteral("Shortcut"));
        // click() does nothing while the button is disabled (a job runs).
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
        button->setToolTip(keys.toString(QKeySequence::NativeText));
    }
    for (QPushButton* button : findChildren<QPushButton*>()) button->installEventFilter(this);
}

// Return on a focused button presses it, as Space does (outside a dialog Qt's buttons take only Space).
bool MainWindow::keyOnButton(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || !isReturn(static_cast<QKeyEvent*>(event))) return false;
    if (button->isEnabled()) button->click();
    return true;
}

// A job button pressed from the keyboard keeps the keyboard's place: while its job runs the focus waits in
// the output window (Qt would hand it to the next enabled button, where a second Return would press that),
// and comes back to the button at the job's end.
void MainWindow::updateJobControls() {
    m_call.run([this] {
        const bool enabled = m_logic != nullptr && m_logic->jobControlsEnabled();
        QWidget* focused = QApplication::focusWidget();
        for (const std::string_view name : kJobButtons) {
            auto* button = findChild<QPushButton*>(nameOf(name));
            if (button == nullptr) continue;
            if (!enabled && button == focused) {
                m_focusBeforeJob = button;
                m_outputEdit->setFocus(Qt::OtherFocusReason);
            }
            button->setEnabled(enabled);
        }
        if (enabled && m_focusBeforeJob) {
            if (focused == nullptr || focused == m_outputEdit)
                m_focusBeforeJob->setFocus(Qt::OtherFocusReason);
            m_focusBeforeJob = nullptr;
        }
    });
}

// The word and the line on a colour of their own: white on red for a failure, white on green for success.
void MainWindow::showJobStatus(const JobStatus& status) {
    m_call.run([this, status] {
        if (status.outcome == JobOutcome::None) {
            m_jobStatus->clear();
            m_jobStatus->hide();
            return;
        }
        const bool failed = status.outcome == JobOutcome::Failed;
        m_jobStatus->setText(toQString(jobStatusText(status)));
        m_jobStatus->setToolTip(m_jobStatus->text());
        m_jobStatus->setStyleSheet(failed ? QStringLiteral("QLabel { background: #b00020; color: white; "
                                                           "font-weight: bold; padding: 1px 6px; }")
                                          : QStringLiteral("QLabel { background: #1b5e20; color: white; "
                                                           "font-weight: bold; padding: 1px 6px; }"));
        m_jobStatus->show();
    });
}

}  // namespace hlx::app
