// main_window_screenshot OUT.png [SECONDS [SETTINGS.reg]] [--failed-job | --boot-loader-job PORT FILE]:
// shows the main window (settings in a temporary folder, so the technician's own are not touched), lets it
// settle for SECONDS (default 2) and saves what it shows. With --failed-job an "Update (RTQ)" of a file that
// is not there runs first, so the picture shows a failure as the technician sees it; with --boot-loader-job
// an "Update (Bootloader)" of FILE on PORT (a simulated boot loader, perhaps one that cuts the line). Run it
// under Xvfb (tests/app/screenshot.sh) or with QT_QPA_PLATFORM=offscreen.
//
// It prints where the window landed ("window WxH+X+Y in WxH+X+Y, status bar WxH+X+Y", in the screen's
// device-independent pixels) and exits 3 when the window or its status bar is not inside the screen's
// available area: tests/app/gui/window_on_screens.sh starts it on screens of several sizes and scales.

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "serial/posix_serial_device.h"

namespace {

std::string geometry(const QRect& r) {
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x()) + "+" +
           std::to_string(r.y());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> args;
    bool failedJob = false;
    std::string bootLoaderPort;
    std::string bootLoaderFile;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--failed-job") == 0) {
            failedJob = true;
        } else if (std::strcmp(argv[i], "--boot-loader-job") == 0 && i + 2 < argc) {
            bootLoaderPort = argv[++i];
            bootLoaderFile = argv[++i];
        } else {
            args.emplace_back(argv[i]);
        }
    }
    if (args.empty()) {
        std::fprintf(stderr,
                     "usage: main_window_screenshot OUT.png [SECONDS [SETTINGS.reg]] [--failed-job | "
                     "--boot-loader-job PORT FILE]\n");
        return 2;
    }
    const QString out = QString::fromStdString(args[0]);
    const int seconds = args.size() > 1 ? std::atoi(args[1].c_str()) : 2;

    QTemporaryDir dir;
    hlx::serial::SerialPort port(std::make_unique<hlx::serial::PosixSerialDevice>());
    // A settings file of one's own (for example one naming a virtual monitor) shows the window in use;
    // by default a fresh store in a temporary folder, so the picture is the first start.
    const std::string settings =
        args.size() > 2 ? args[2] : (dir.path() + QStringLiteral("/settings.reg")).toStdString();
    hlx::app::SettingsStore store(settings);
    hlx::app::MainWindow window(port, store);
    window.show();
    if (failedJob) {
        window.findChild<QLineEdit*>(QStringLiteral("editFirmwareFile"))
            ->setText(dir.path() + QStringLiteral("/firmware-not-there.hex"));
        window.findChild<QPushButton*>(QStringLiteral("btnUpdate"))->click();
    }
    if (!bootLoaderPort.empty()) {
        window.findChild<QLineEdit*>(QStringLiteral("editComNr"))
            ->setText(QString::fromStdString(bootLoaderPort));
        window.findChild<QLineEdit*>(QStringLiteral("editFWfileBootLoader"))
            ->setText(QString::fromStdString(bootLoaderFile));
        window.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    }

    int status = 0;
    QTimer::singleShot(seconds * 1000, &window, [&] {
        const QRect available = window.screen()->availableGeometry();
        const QRect frame = window.frameGeometry();
        const QRect statusBar(window.statusBar()->mapToGlobal(QPoint(0, 0)), window.statusBar()->size());
        std::printf("window %s in %s, status bar %s\n", geometry(frame).c_str(), geometry(available).c_str(),
                    geometry(statusBar).c_str());
        if (!available.contains(frame) || !available.contains(statusBar)) {
            std::fprintf(stderr, "the window or its status bar is not inside the screen's available area\n");
            status = 3;
        }
        if (!window.grab().save(out)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
            status = 1;
        }
        window.close();
    });
    app.exec();
    return status;
}
