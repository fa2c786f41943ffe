// The main window's part in the terminal session: the session log in the output window's context menu,
// the status bar's notes on the port and the log, and the wake-ups that let the window logic find a port
// again that went away (see MainWindowLogic::portNotice).

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

#include "app/main_window.h"

namespace hlx::app {

void MainWindow::buildSessionControls() {
    m_portNote = new QLabel(statusBar());
    m_portNote->setObjectName(QStringLiteral("PortNote"));
    m_portNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // as the port's state
    statusBar()->addWidget(m_portNote, 1);
    m_sessionLogState = new QLabel(statusBar());
    m_sessionLogState->setObjectName(QStringLiteral("SessionLogState"));
    statusBar()->addPermanentWidget(m_sessionLogState);
    m_sessionLogState->hide();
    m_portWatchTimer = new QTimer(this);
    m_portWatchTimer->setObjectName(QStringLiteral("PortWatchTimer"));
}

void MainWindow::connectSessionActions() {
    MainWindowLogic* logic = m_logic.get();
    m_outputEdit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_outputEdit, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showTerminalMenu(at); });
    if (const int fd = logic->portWatchFd(); fd >= 0) {
        m_portWatchNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_portWatchNotifier, &QSocketNotifier::activated, this, [this, logic] {
            logic->portNotice();
            followPortWatch();
        });
    }
    m_portWatchTimer->setInterval(static_cast<int>(logic->portWatchInterval().count()));
    connect(m_portWatchTimer, &QTimer::timeout, this, [this, logic] {
        logic->portNotice();
        followPortWatch();
    });
}

// The quiet look runs only while the terminal waits for a port; the watcher's notices wake it anyway.
void MainWindow::followPortWatch() {
    const bool waiting = m_logic->waitingForPort() && !m_closed;
    if (waiting && !m_portWatchTimer->isActive()) m_portWatchTimer->start();
    if (!waiting && m_portWatchTimer->isActive()) m_portWatchTimer->stop();
}

void MainWindow::showTerminalMenu(const QPoint& at) {
    std::unique_ptr<QMenu> menu(m_outputEdit->createStandardContextMenu());
    menu->setObjectName(QStringLiteral("TerminalMenu"));
    menu->addSeparator();
    MainWindowLogic* logic = m_logic.get();
    QAction* action =
        logic->sessionLogRunning()
            ? menu->addAction(QStringLiteral("Stop Session Log"), [logic] { logic->stopSessionLog(); })
            : menu->addAction(QStringLiteral("Start Session Log..."), [logic] { logic->startSessionLog(); });
    action->setObjectName(QStringLiteral("SessionLogAction"));
    menu->exec(m_outputEdit->viewport()->mapToGlobal(at));
}

void MainWindow::showPortNote(std::string_view note) {
    m_call.run([this, text = toQString(note)] {
        m_portNote->setText(text);
        m_portNote->setToolTip(text);
    });
}

void MainWindow::showSessionLog(std::string_view path) {
    m_call.run([this, text = toQString(path)] {
        m_sessionLogState->setText(text.isEmpty() ? QString() : QStringLiteral("Session log: ") + text);
        m_sessionLogState->setVisible(!text.isEmpty());
    });
}

}  // namespace hlx::app
