// The main window's controls: building them (each with its object name and caption), arranging them in
// the rows of the window, and connecting their events to the window logic. The rest of MainWindow (the
// view the logic draws through) is in app/main_window.cpp.

#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "serial/com_settings.h"
#include "serial/port_list.h"

namespace hlx::app {
namespace {

constexpr int kClientWidth = 736;
constexpr int kClientHeight = 730;
constexpr std::chrono::milliseconds kIdlePollInterval{100};

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, int width = 0) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMinimumHeight(21);
    if (width > 0) edit->setFixedWidth(width);
    return edit;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QSize size) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setMinimumSize(size);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return button;
}

}  // namespace

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    m_paintBox = new PaintBox(client);
    m_paintBox->setObjectName(QStringLiteral("PaintBox1"));
    m_paintBox->setFixedSize(257, 159);
    m_labels = {makeLabel(client, "Label1", "COM-Nr"), makeLabel(client, "Label2", "Firmware File (RTQ)"),
                makeLabel(client, "Label3", "COM-Settings"),
                makeLabel(client, "Label7", "Firmware File (Bootloader)"),
                makeLabel(client, "Label8", "Firmware File (RealTerm)")};

    m_image = new QLabel(m_paintBox);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setGeometry(9, 8, 241, 141);
    m_image->setScaledContents(false);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setToolTip(QStringLiteral("Klicken Sie hier um eine vxc zu erzeugen"));
    m_image->setCursor(Qt::PointingHandCursor);
    m_image->hide();
    m_picture = new QtPictureControl(m_image, m_call);

    m_comNr = makeEdit(client, QStringLiteral("editComNr"), 65);
    m_comNr->setText(QStringLiteral("1"));
    QStringList ports;
    for (const serial::PortInfo& info : serial::listSerialPorts()) ports << toQString(info.fieldText());
    auto* completer = new QCompleter(ports, m_comNr);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    m_comNr->setCompleter(completer);
    // The field is as narrow as a COM number; a device path shows whole in its tool tip.
    connect(m_comNr, &QLineEdit::textChanged, m_comNr,
            [edit = m_comNr](const QString& text) { edit->setToolTip(text.size() > 6 ? text : QString()); });

    m_firmwareFile = makeEdit(client, QStringLiteral("editFirmwareFile"));

    m_comSettings = new QComboBox(client);
    m_comSettings->setObjectName(QStringLiteral("editCOMSettings"));
    m_comSettings->setEditable(true);
    m_comSettings->setInsertPolicy(QComboBox::NoInsert);
    m_comSettings->setMinimumContentsLength(12);
    for (const serial::ComSettingsEntry& entry : serial::kComSettings) m_comSettings->addItem(toQString(entry.text));
    m_comSettings->setCurrentIndex(-1);
    m_comSettings->setEditText(toQString(serial::kComSettings[0].text));

    m_progress = new QProgressBar(client);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(17);

    m_btnUpdate = makeButton(client, QStringLiteral("btnUpdate"), QStringLiteral("Update (RTQ)"), {141, 51});

    m_outputEdit->setParent(client);
    m_outputEdit->setObjectName(QStringLiteral("OutputWindow"));
    m_outputEdit->setPlainText(QStringLiteral("Output & Terminal Window") + kCrMark + u'\n');

    m_firmwareRealterm = makeEdit(client, QStringLiteral("editFWfileRealterm"));
    m_firmwareBootLoader = makeEdit(client, QStringLiteral("editFWfileBootLoader"));

    const QSize bigButton{141, 51};
    const QSize terminalButton{75, 25};
    const QSize sendButton{75, 21};
    const char* const captions[] = {"Update (Realterm)", "Update (Bootloader)", "Load Terminal",
                                    "Save Terminal", "Send Terminal"};
    for (int i = 0; i < 11; ++i) {
        const QString name = QStringLiteral("Button%1").arg(i + 1);
        const QString caption =
            i < 5 ? QString::fromLatin1(captions[i]) : QStringLiteral("Send File %1").arg(i - 4);
        const QSize size =
            i < 2 ? (i == 1 ? QSize{151, 51} : bigButton) : (i < 5 ? terminalButton : sendButton);
        m_buttons[i] = makeButton(client, name, caption, size);
    }

    auto* txMemo = new QPlainTextEdit(QStringLiteral("txMemo"), client);
    txMemo->setObjectName(QStringLiteral("txMemo"));
    txMemo->hide();
    m_txMemo = txMemo;

    for (int i = 0; i < 6; ++i)
        m_sendFiles[i] = makeEdit(client, QStringLiteral("editSendFile%1").arg(i + 1));

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(kIdlePollInterval);
    m_quietTimer = new QTimer(this);
    m_quietTimer->setSingleShot(true);

    m_portState = new QLabel(statusBar());
    m_portState->setObjectName(QStringLiteral("PortState"));
    statusBar()->addWidget(m_portState, 1);
}

// The rows of the window: COM row and three firmware rows beside the picture area, the update
// buttons, progress bar with the terminal buttons, the output window (which takes any extra height), and
// the send-file rows.
void MainWindow::arrangeControls() {
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    fields->setVerticalSpacing(6);
    fields->setColumnMinimumWidth(0, 126);
    fields->addWidget(m_labels[0], 0, 0);
    auto* comRow = new QHBoxLayout;
    comRow->addWidget(m_comNr);
    comRow->addSpacing(9);
    comRow->addWidget(m_labels[2]);
    comRow->addWidget(m_comSettings, 1);
    fields->addLayout(comRow, 0, 1);
    const std::array<std::pair<QLabel*, QLineEdit*>, 3> fileRows{{{m_labels[1], m_firmwareFile},
                                                                  {m_labels[4], m_firmwareRealterm},
                                                                  {m_labels[3], m_firmwareBootLoader}}};
    for (int row = 0; row < 3; ++row) {
        fields->addWidget(fileRows[row].first, row + 1, 0);
        fields->addWidget(fileRows[row].second, row + 1, 1);
    }
    auto* updateRow = new QHBoxLayout;
    updateRow->setSpacing(6);
    updateRow->addWidget(m_btnUpdate, 141);
    updateRow->addWidget(m_buttons[0], 141);
    updateRow->addWidget(m_buttons[1], 151);
    fields->addLayout(updateRow, 4, 0, 1, 2);

    auto* terminalButtons = new QHBoxLayout;
    terminalButtons->setSpacing(6);
    for (int i = 2; i < 5; ++i) terminalButtons->addWidget(m_buttons[i]);

    auto* top = new QGridLayout;
    top->setHorizontalSpacing(6);
    top->setVerticalSpacing(6);
    top->addLayout(fields, 0, 0);
    top->addWidget(m_paintBox, 0, 1, Qt::AlignTop);
    top->addWidget(m_progress, 1, 0, Qt::AlignBottom);
    top->addLayout(terminalButtons, 1, 1);
    top->setColumnStretch(0, 1);

    auto* sendRows = new QGridLayout;
    sendRows->setHorizontalSpacing(6);
    sendRows->setVerticalSpacing(15);
    for (int row = 0; row < 3; ++row) {
        sendRows->addWidget(m_sendFiles[row], row, 0);
        sendRows->addWidget(m_buttons[5 + row], row, 1);
        sendRows->addWidget(m_sendFiles[row + 3], row, 3);
        sendRows->addWidget(m_buttons[8 + row], row, 4);
    }
    sendRows->setColumnMinimumWidth(2, 15);
    sendRows->setColumnStretch(0, 278);
    sendRows->setColumnStretch(3, 247);

    auto* client = new QVBoxLayout(centralWidget());
    client->setContentsMargins(20, 8, 7, 12);
    client->setSpacing(6);
    client->addLayout(top);
    client->addWidget(m_outputEdit, 1);
    client->addLayout(sendRows);

    resize(kClientWidth, kClientHeight + statusBar()->sizeHint().height());
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

    connect(m_btnUpdate, &QPushButton::clicked, this,
            [logic] { logic->startJob(jobs::JobKind::RtqDownload); });
    connect(m_buttons[0], &QPushButton::clicked, this,
            [logic] { logic->startJob(jobs::JobKind::RealtermDownload); });
    connect(m_buttons[1], &QPushButton::clicked, this,
            [logic] { logic->startJob(jobs::JobKind::BootLoader); });
    connect(m_buttons[2], &QPushButton::clicked, this, [logic] { logic->loadTerminal(); });
    connect(m_buttons[3], &QPushButton::clicked, this, [logic] { logic->saveTerminal(); });
    connect(m_buttons[4], &QPushButton::clicked, this, [logic] { logic->startSendTerminal(); });
    for (int number = 1; number <= 6; ++number)
        connect(m_buttons[4 + number], &QPushButton::clicked, this,
                [logic, number] { logic->startSendFile(number); });

    connect(m_outputEdit, &OutputEdit::enterPressed, this, [logic] { logic->terminalEnter(); });
    connect(m_outputEdit, &OutputEdit::doubleClicked, this, [logic] { logic->clearOutput(); });
    connect(m_picture, &QtPictureControl::clicked, this, [logic] { logic->convertPicture(); });
    connect(m_timer, &QTimer::timeout, this, [this] { runIdlePoll(); });
    connect(m_quietTimer, &QTimer::timeout, this, [this] { runIdlePoll(); });
}

}  // namespace hlx::app
