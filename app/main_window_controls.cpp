// The main window's controls: each with the object name, caption and first state the window logic and the
// tests know it by, and the layout they sit in. What the controls do is wired in main_window.cpp.

#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "serial/com_settings.h"
#include "serial/port_list.h"

namespace hlx::app {
namespace {

constexpr int kOutputMinimumHeight = 120;
constexpr std::chrono::milliseconds kIdlePollInterval{100};

constexpr QSize kUpdateButton{141, 51};
constexpr QSize kBootLoaderButton{151, 51};
constexpr QSize kTerminalButton{75, 25};
constexpr QSize kSendFileButton{75, 21};

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
    auto* client = new QWidget(this);  // arrangeControls puts it into the scrolled area
    client->setObjectName(QStringLiteral("client"));

    m_pictureFrame = new PictureFrame(client);
    m_pictureFrame->setObjectName(QStringLiteral("PaintBox1"));
    m_pictureFrame->setFixedSize(257, 159);
    m_comNrLabel = makeLabel(client, "Label1", "COM-Nr");
    m_firmwareFileLabel = makeLabel(client, "Label2", "Firmware File (RTQ)");
    m_comSettingsLabel = makeLabel(client, "Label3", "COM-Settings");
    m_bootLoaderFileLabel = makeLabel(client, "Label7", "Firmware File (Bootloader)");
    m_realtermFileLabel = makeLabel(client, "Label8", "Firmware File (RealTerm)");

    m_image = new QLabel(m_pictureFrame);
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
    for (const serial::ComSettingsEntry& entry : serial::kComSettings)
        m_comSettings->addItem(toQString(entry.text));
    m_comSettings->setCurrentIndex(-1);
    m_comSettings->setEditText(toQString(serial::kComSettings[0].text));

    m_progress = new QProgressBar(client);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);
    m_progress->setFormat(QStringLiteral("%p %"));
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setFixedHeight(17);

    m_rtqUpdateButton =
        makeButton(client, QStringLiteral("btnUpdate"), QStringLiteral("Update (RTQ)"), kUpdateButton);

    m_outputEdit->setParent(client);
    m_outputEdit->setObjectName(QStringLiteral("OutputWindow"));
    m_outputEdit->setPlainText(QStringLiteral("Output & Terminal Window") + kCrMark + u'\n');

    m_firmwareRealterm = makeEdit(client, QStringLiteral("editFWfileRealterm"));
    m_firmwareBootLoader = makeEdit(client, QStringLiteral("editFWfileBootLoader"));

    m_realtermUpdateButton =
        makeButton(client, QStringLiteral("Button1"), QStringLiteral("Update (Realterm)"), kUpdateButton);
    m_bootLoaderUpdateButton = makeButton(client, QStringLiteral("Button2"),
                                          QStringLiteral("Update (Bootloader)"), kBootLoaderButton);
    m_loadTerminalButton =
        makeButton(client, QStringLiteral("Button3"), QStringLiteral("Load Terminal"), kTerminalButton);
    m_saveTerminalButton =
        makeButton(client, QStringLiteral("Button4"), QStringLiteral("Save Terminal"), kTerminalButton);
    m_sendTerminalButton =
        makeButton(client, QStringLiteral("Button5"), QStringLiteral("Send Terminal"), kTerminalButton);
    for (int i = 0; i < 6; ++i)
        m_sendFileButtons[i] = makeButton(client, QStringLiteral("Button%1").arg(i + 6),
                                          QStringLiteral("Send File %1").arg(i + 1), kSendFileButton);

    auto* txMemo = new QPlainTextEdit(QStringLiteral("txMemo"), client);
    txMemo->setObjectName(QStringLiteral("txMemo"));
    txMemo->hide();
    m_txMemo = txMemo;

    for (int i = 0; i < 6; ++i)
        m_sendFiles[i] = makeEdit(client, QStringLiteral("editSendFile%1").arg(i + 1));

    m_idlePollTimer = new QTimer(this);
    m_idlePollTimer->setObjectName(QStringLiteral("Timer1"));
    m_idlePollTimer->setInterval(kIdlePollInterval);
    m_quietTimer = new QTimer(this);
    m_quietTimer->setSingleShot(true);

    m_jobStatus = new QLabel(statusBar());
    m_jobStatus->setObjectName(QStringLiteral("JobStatus"));
    m_jobStatus->hide();
    statusBar()->addWidget(m_jobStatus);
    m_portState = new QLabel(statusBar());
    m_portState->setObjectName(QStringLiteral("PortState"));
    // The port's state gives way to the last job's outcome on a narrow window (its whole text in the tool
    // tip): the outcome is what a technician looks for after a job.
    m_portState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_portState, 1);
}

// Top to bottom: the COM row and the three firmware rows beside the picture area, the three update
// buttons, the progress bar with the terminal buttons, the output window (which takes any extra height),
// and the send-file rows in two columns of three. Stretch factors keep the proportions of the controls'
// sizes.
void MainWindow::arrangeControls() {
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    fields->setVerticalSpacing(6);
    fields->setColumnMinimumWidth(0, 126);
    fields->addWidget(m_comNrLabel, 0, 0);
    auto* comRow = new QHBoxLayout;
    comRow->addWidget(m_comNr);
    comRow->addSpacing(9);
    comRow->addWidget(m_comSettingsLabel);
    comRow->addWidget(m_comSettings, 1);
    fields->addLayout(comRow, 0, 1);
    const std::array<std::pair<QLabel*, QLineEdit*>, 3> fileRows{
        {{m_firmwareFileLabel, m_firmwareFile},
         {m_realtermFileLabel, m_firmwareRealterm},
         {m_bootLoaderFileLabel, m_firmwareBootLoader}}};
    for (int row = 0; row < 3; ++row) {
        fields->addWidget(fileRows[row].first, row + 1, 0);
        fields->addWidget(fileRows[row].second, row + 1, 1);
    }
    auto* updateRow = new QHBoxLayout;
    updateRow->setSpacing(6);
    updateRow->addWidget(m_rtqUpdateButton, kUpdateButton.width());
    updateRow->addWidget(m_realtermUpdateButton, kUpdateButton.width());
    updateRow->addWidget(m_bootLoaderUpdateButton, kBootLoaderButton.width());
    fields->addLayout(updateRow, 4, 0, 1, 2);

    auto* terminalButtons = new QHBoxLayout;
    terminalButtons->setSpacing(6);
    for (QPushButton* button : {m_loadTerminalButton, m_saveTerminalButton, m_sendTerminalButton})
        terminalButtons->addWidget(button);

    auto* top = new QGridLayout;
    top->setHorizontalSpacing(6);
    top->setVerticalSpacing(6);
    top->addLayout(fields, 0, 0);
    top->addWidget(m_pictureFrame, 0, 1, Qt::AlignTop);
    top->addWidget(m_progress, 1, 0, Qt::AlignBottom);
    top->addLayout(terminalButtons, 1, 1);
    top->setColumnStretch(0, 1);

    auto* sendRows = new QGridLayout;
    sendRows->setHorizontalSpacing(6);
    sendRows->setVerticalSpacing(15);
    for (int row = 0; row < 3; ++row) {
        sendRows->addWidget(m_sendFiles[row], row, 0);
        sendRows->addWidget(m_sendFileButtons[row], row, 1);
        sendRows->addWidget(m_sendFiles[row + 3], row, 3);
        sendRows->addWidget(m_sendFileButtons[row + 3], row, 4);
    }
    sendRows->setColumnMinimumWidth(2, 15);
    sendRows->setColumnStretch(0, 278);
    sendRows->setColumnStretch(3, 247);

    auto* clientWidget = findChild<QWidget*>(QStringLiteral("client"));
    auto* client = new QVBoxLayout(clientWidget);
    client->setContentsMargins(20, 8, 7, 12);
    client->setSpacing(6);
    client->addLayout(top);
    client->addWidget(m_outputEdit, 1);
    client->addLayout(sendRows);
    // The output window gives up height down to a few lines; below that the controls scroll, while the
    // status bar (outside the scrolled area) stays in view.
    m_outputEdit->setMinimumHeight(kOutputMinimumHeight);

    auto* scrolled = new QScrollArea(this);
    scrolled->setObjectName(QStringLiteral("clientArea"));
    scrolled->setFrameShape(QFrame::NoFrame);
    scrolled->setWidgetResizable(true);
    scrolled->setWidget(clientWidget);
    setCentralWidget(scrolled);
}

}  // namespace hlx::app
