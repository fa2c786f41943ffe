#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "app/window_title.h"

namespace hlx::app {
namespace {

QString portStateText(const serial::PortState& state) {
    if (!state.open)
        return state.status ? toQString(state.device) + QStringLiteral(": not open")
                            : toQString(state.status.message());
    if (!state.configured) {
        // The reason usually names the device already.
        if (state.status.message().rfind(state.device, 0) == 0) return toQString(state.status.message());
        return toQString(state.device) + QStringLiteral(" \u2014 ") + toQString(state.status.message());
    }
    const serial::LineSettings& s = state.settings;
    return QStringLiteral("%1 \u2014 %2 %3%4%5")
        .arg(toQString(state.device))
        .arg(s.baud)
        .arg(s.dataBits)
        .arg(s.parity == serial::Parity::Even ? QLatin1Char('E') : QLatin1Char('N'))
        .arg(s.stopBits);
}

std::optional<std::string> chosenPath(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

}  // namespace

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString toQtFilter(std::string_view filter) {
    const QStringList parts = toQString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // The description names its patterns at its end, "(*.HEX)"; they are written anew below.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0) description = description.left(open).trimmed();
        }
        QStringList patterns;
        for (const QString& part : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString pattern = part.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
            for (const QString& variant : {pattern.toUpper(), pattern.toLower()})
                if (!patterns.contains(variant)) patterns << variant;
        }
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

MainWindow::MainWindow(serial::SerialPort& port, SettingsStore& store, QWidget* parent)
    : QMainWindow(parent),
      m_call(this),
      m_outputEdit(new OutputEdit(this)),
      m_output(*m_outputEdit, m_call),
      m_progressFlush(m_call, [this] { showQueuedProgress(); }) {
    setObjectName(QStringLiteral("TForm7"));  // the name tests and screenshots know the window by
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), font.family()});
    font.setPixelSize(11);
    setFont(font);

    buildControls();
    arrangeControls();
    buildSessionControls();
    setUpKeyboard();
    fitToScreen();
    m_logic = std::make_unique<MainWindowLogic>(*this, port, store);
    m_logic->construct();
    connectActions();
    connectSessionActions();
    m_idlePollTimer->start();
}

MainWindow::~MainWindow() {
    m_logic.reset();  // releases and ends a job while the widgets it may touch still exist
}

void MainWindow::connectActions() {
    for (QObject* watched : std::initializer_list<QObject*>{
             m_comNr, m_comSettings->lineEdit(), m_firmwareFile, m_firmwareRealterm, m_firmwareBootLoader})
        watched->installEventFilter(this);
    for (QLineEdit* edit : m_sendFiles) edit->installEventFilter(this);

    MainWindowLogic* logic = m_logic.get();
    connect(m_comNr, &QLineEdit::returnPressed, this, [logic] { logic->reopenPort(); });
    // activated: the technician chose an entry, also the one already selected; the port is re-opened.
    connect(m_comSettings, &QComboBox::activated, this, [logic] { logic->reopenPort(); });
    connect(m_firmwareRealterm, &QLineEdit::returnPressed, this,
            [logic] { logic->enterInFirmwareField(Edit::FirmwareFileRealterm); });
    connect(m_firmwareBootLoader, &QLineEdit::returnPressed, this,
            [logic] { logic->enterInFirmwareField(Edit::FirmwareFileBootLoader); });

    connect(m_rtqUpdateButton, &QPushButton::clicked, this,
            [logic] { logic->startJob(jobs::JobKind::RtqDownload); });
    connect(m_realtermUpdateButton, &QPushButton::clicked, this,
            [logic] { logic->startJob(jobs::JobKind::RealtermDownload); });
    connect(m_bootLoaderUpdateButton, &QPushButton::clicked, this,
            [logic] { logic->startJob(jobs::JobKind::BootLoader); });
    // The same update with a backup of what it erases, from the button's context menu.
    m_bootLoaderUpdateButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_bootLoaderUpdateButton, &QWidget::customContextMenuRequested, this, [this, logic](QPoint at) {
        QMenu menu(this);
        QAction* backup = menu.addAction(QStringLiteral("Update mit Sicherung des Flash..."));
        backup->setObjectName(QStringLiteral("actionBootLoaderBackup"));
        if (menu.exec(m_bootLoaderUpdateButton->mapToGlobal(at)) == backup)
            logic->startBootLoaderWithBackup();
    });
    connect(m_loadTerminalButton, &QPushButton::clicked, this, [logic] { logic->loadTerminal(); });
    connect(m_saveTerminalButton, &QPushButton::clicked, this, [logic] { logic->saveTerminal(); });
    connect(m_sendTerminalButton, &QPushButton::clicked, this, [logic] { logic->startSendTerminal(); });
    for (int number = 1; number <= 6; ++number)
        connect(m_sendFileButtons[number - 1], &QPushButton::clicked, this,
                [logic, number] { logic->startSendFile(number); });

    connect(m_outputEdit, &OutputEdit::enterPressed, this, [logic] { logic->terminalEnter(); });
    connect(m_outputEdit, &OutputEdit::doubleClicked, this, [logic] { logic->clearOutput(); });
    connect(m_picture, &QtPictureControl::clicked, this, [logic] { logic->convertPicture(); });
    connect(m_idlePollTimer, &QTimer::timeout, this, [this] { runIdlePoll(); });
    connect(m_quietTimer, &QTimer::timeout, this, [this] { runIdlePoll(); });
}

std::function<void()> MainWindow::doubleClickAction(QObject* watched) {
    MainWindowLogic* logic = m_logic.get();
    if (watched == m_comNr || watched == m_comSettings->lineEdit()) return [logic] { logic->reopenPort(); };
    if (watched == m_firmwareFile) return [logic] { logic->chooseHexFile(Edit::FirmwareFile); };
    if (watched == m_firmwareRealterm) return [logic] { logic->chooseHexFile(Edit::FirmwareFileRealterm); };
    if (watched == m_firmwareBootLoader)
        return [logic] { logic->chooseHexFile(Edit::FirmwareFileBootLoader); };
    for (int i = 0; i < 6; ++i)
        if (watched == m_sendFiles[i]) return [logic, number = i + 1] { logic->chooseSendFile(number); };
    return {};
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (keyOnButton(watched, event)) return true;
    if (event->type() == QEvent::FocusOut && watched == m_comNr) {
        // Only a move to another control of this window counts, not a dialog, a popup or another window.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) m_logic->reopenPort();
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        if (std::function<void()> action = doubleClickAction(watched)) {
            action();
            // A chooser has replaced the text; the edit's own word selection would only confuse.
            return watched != m_comNr && watched != m_comSettings->lineEdit();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    closeWindow(/*dialogOnFailure=*/true);
    event->accept();
}

void MainWindow::closeForSignal() {
    closeWindow(/*dialogOnFailure=*/false);
    hide();
}

void MainWindow::closeWindow(bool dialogOnFailure) {
    if (m_closed) return;
    m_closed = true;
    m_idlePollTimer->stop();
    m_quietTimer->stop();
    m_portWatchTimer->stop();
    if (const base::Status saved = m_logic->close(); !saved) {
        const std::string message = "Die Einstellungen konnten nicht gespeichert werden: " + saved.message();
        std::fprintf(stderr, "%s\n", message.c_str());
        if (dialogOnFailure) QMessageBox::warning(this, windowTitle(), toQString(message));
    }
}

void MainWindow::runIdlePoll() {
    m_logic->idlePoll();
    followPortWatch();
    // A burst being collected is shown as soon as the line has been quiet, not at the next tick.
    if (const auto due = m_logic->idlePollDueIn(); due && m_idlePollTimer->isActive())
        m_quietTimer->start(*due);
}

QLineEdit* MainWindow::editFor(Edit edit) const {
    switch (edit) {
        case Edit::ComNr:
            return m_comNr;
        case Edit::FirmwareFile:
            return m_firmwareFile;
        case Edit::FirmwareFileRealterm:
            return m_firmwareRealterm;
        case Edit::FirmwareFileBootLoader:
            return m_firmwareBootLoader;
        default:
            return m_sendFiles[static_cast<int>(edit) - static_cast<int>(Edit::SendFile1)];
    }
}

std::string MainWindow::editText(Edit edit) const {
    return m_call.get([this, edit] { return editFor(edit)->text().toStdString(); });
}

void MainWindow::setEditText(Edit edit, std::string_view text) {
    m_call.run([this, edit, s = toQString(text)] { editFor(edit)->setText(s); });
}

int MainWindow::comSettingsIndex() const {
    return m_call.get([this] { return m_comSettings->currentIndex(); }, -1);
}

// Selecting no entry (or an entry that does not exist) leaves no entry selected and clears the field's
// text, so a stored index that names no entry shows an empty field rather than an entry that was not
// chosen. An unchanged index leaves the text alone, so the first start keeps the text the field was built
// with (the first entry's, with no entry selected).
void MainWindow::setComSettingsIndex(int index) {
    m_call.run([this, index] {
        const int valid = index >= 0 && index < m_comSettings->count() ? index : -1;
        if (valid != m_comSettings->currentIndex()) m_comSettings->setCurrentIndex(valid);
    });
}

std::optional<std::string> MainWindow::runOpenDialog(std::string_view filter) {
    return chosenPath(QFileDialog::getOpenFileName(this, QString(), QString(), toQtFilter(filter)));
}

std::optional<std::string> MainWindow::runSaveDialog(std::string_view filter) {
    return chosenPath(QFileDialog::getSaveFileName(this, QString(), QString(), toQtFilter(filter), nullptr,
                                                   QFileDialog::DontConfirmOverwrite));
}

void MainWindow::setTxMemoText(std::string_view text) {
    // The memo is a plain text edit: its lines break at LF, so CR LF becomes LF.
    QString lines = toQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_call.run([this, lines = std::move(lines)] { m_txMemo->setPlainText(lines); });
}

void MainWindow::showPicture() {
    m_call.run([this] {
        m_image->show();
        m_pictureFrame->showFrame();
    });
}

void MainWindow::showPortState(const serial::PortState& state) {
    m_call.run([this, text = portStateText(state)] {
        m_portState->setText(text);
        m_portState->setToolTip(text);
    });
}

void MainWindow::showError(std::string_view message) {
    m_call.run([this, text = toQString(message)] { QMessageBox::critical(this, windowTitle(), text); });
}

void MainWindow::releaseJobThread() {
    m_call.release();
}

void MainWindow::setProgressRange(int minimum, int maximum) {
    queueProgress({true, minimum, maximum});
}

void MainWindow::setProgress(int position) {
    queueProgress({false, position, position});
}

// The bar shows a job's progress at screen rate; the job does not wait for it. Only the last of a run of
// positions matters, so the queue stays as short as the range changes in it.
void MainWindow::queueProgress(ProgressChange change) {
    {
        std::lock_guard lock(m_progressMutex);
        if (!change.range && !m_progressQueue.empty() && !m_progressQueue.back().range)
            m_progressQueue.back() = change;
        else
            m_progressQueue.push_back(change);
    }
    if (m_call.onGuiThread())
        m_progressFlush.flushNow();
    else if (!m_call.released())
        m_progressFlush.request();
}

void MainWindow::showQueuedProgress() {
    std::vector<ProgressChange> changes;
    {
        std::lock_guard lock(m_progressMutex);
        changes.swap(m_progressQueue);
    }
    for (const ProgressChange& c : changes) {
        if (c.range)
            m_progress->setRange(c.minimum, c.maximum);
        else
            m_progress->setValue(c.minimum);
    }
}

void MainWindow::setIdlePollEnabled(bool enabled) {
    m_call.run([this, enabled] {
        if (enabled) {
            m_idlePollTimer->start();
        } else {
            m_idlePollTimer->stop();
            m_quietTimer->stop();
        }
    });
}

}  // namespace hlx::app
