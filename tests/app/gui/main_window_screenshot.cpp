// main_window_screenshot OUT.png [SECONDS]: shows the main window (settings in a temporary folder, so the
// technician's own are not touched), lets it settle for SECONDS (default 2) and saves what it shows.
// Run it under Xvfb (tests/app/screenshot.sh) or with QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "serial/posix_serial_device.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: main_window_screenshot OUT.png [SECONDS [SETTINGS.reg]]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 2;

    QTemporaryDir dir;
    hlx::serial::SerialPort port(std::make_unique<hlx::serial::PosixSerialDevice>());
    // A settings file of one's own (for example one naming a virtual monitor) shows the window in use;
    // by default a fresh store in a temporary folder, so the picture is the first start.
    const std::string settings =
        argc > 3 ? std::string(argv[3]) : (dir.path() + QStringLiteral("/settings.reg")).toStdString();
    hlx::app::SettingsStore store(settings);
    hlx::app::MainWindow form(port, store);
    form.show();

    int status = 0;
    QTimer::singleShot(seconds * 1000, &form, [&] {
        if (!form.grab().save(out)) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            status = 1;
        }
        form.close();
    });
    app.exec();
    return status;
}
