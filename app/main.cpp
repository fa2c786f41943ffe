// hlx-service-tool: the service tool's window program. Without arguments it opens the main window and
// returns 0, also when something went wrong: an exception is shown in the standard error dialog, one
// raised by an event handler while the message loop runs and the window stays open, one escaping start-up
// and the program ends.
//
// hlx-service-tool --osd-preview opens the OSD menu preview in a window of its own instead (on page 1, as
// the main window would build it); without a display it says so and exits with 1. The preview lives here
// and not in hlx, so that hlx needs no Qt Widgets on a production line's machines.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/window_title.h"
#include "base/stop_signals.h"
#include "base/version.h"
#include "preview/osd_preview_window.h"
#include "serial/serial_port.h"
#include "serial/system_serial_device.h"

namespace {

void showException(const QString& message) {
    if (QApplication::instance() != nullptr)
        QMessageBox::critical(nullptr, QString::fromLatin1(hlx::app::kWindowTitle), message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The message loop shows an exception of an event handler and goes on, so one failing handler does not
// end the program and lose the settings; Qt itself cannot carry an exception out of an event handler.
class ServiceToolApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            showException(QString::fromUtf8(e.what()));
        } catch (...) {
            showException(QString());
        }
        return false;
    }
};

bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

int showOsdPreview(int argc, char** argv) {
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "hlx-service-tool: --osd-preview opens a window, but there is no display here (neither "
                     "DISPLAY nor WAYLAND_DISPLAY is set); run it in a desktop session or under xvfb-run\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hlx-service-tool"));
    hlx::preview::OsdPreviewWindow preview;
    preview.show();
    return app.exec() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--osd-preview") == 0) {
        if (argc > 2) {
            std::fprintf(stderr, "hlx-service-tool: --osd-preview takes no further arguments\n");
            return 2;
        }
        int qtArgc = 1;  // Qt gets no arguments of ours to interpret
        return showOsdPreview(qtArgc, argv);
    }
    // SIGINT, SIGTERM and SIGHUP close the window as its close button does. They are blocked before any
    // thread starts (Qt's own included), so they can only arrive through the signalfd watched below.
    std::optional<hlx::base::StopSignals> stopSignals;
    try {
        stopSignals.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hlx-service-tool: %s; SIGTERM will end the program without saving\n", e.what());
    }
    // The application outlives the try block, so the error dialog can still be shown.
    std::unique_ptr<ServiceToolApplication> app;
    try {
        app = std::make_unique<ServiceToolApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("hlx-service-tool"));
        QApplication::setApplicationVersion(QString::fromLatin1(hlx::base::kVersion));
#if defined(HLX_DESKTOP_ID) && defined(HLX_ICON_NAME)
        // The installed desktop entry and icon (packaging/), so that a desktop shows the window under the
        // menu entry's name and icon.
        QGuiApplication::setDesktopFileName(QStringLiteral(HLX_DESKTOP_ID));
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(HLX_ICON_NAME)));
#endif
        // The port and the store outlive the form, whose logic and job use them.
        hlx::serial::SerialPort port(hlx::serial::makeSystemSerialDevice());
        hlx::app::SettingsStore store(hlx::app::SettingsStore::defaultPath());
        hlx::app::MainWindow form(port, store);
        hlx::preview::OsdPreviewWindow preview;  // the OSD menu preview: built now, never shown by the window
        // A signal closes the window as the close button does (settings saved, job ended), without a
        // dialog, and ends the loop, also out of a dialog's loop. The close itself does not depend on the
        // loop running, so a signal that came while the window was being built is handled right here and
        // the loop is not entered at all.
        auto closeForSignal = [&](int signal) {
            std::fprintf(stderr, "hlx-service-tool: %s: closing the window\n",
                         hlx::base::StopSignals::name(signal).c_str());
            form.closeForSignal();
            QApplication::exit();
        };
        std::unique_ptr<QSocketNotifier> signalNotifier;
        // Only where the signals arrive through a descriptor (Linux); a Windows window program has no console
        // whose events could stop it, and closes through its window.
        if (stopSignals && stopSignals->fd() >= 0) {
            if (const int signal = stopSignals->take(); signal != 0) closeForSignal(signal);
            signalNotifier = std::make_unique<QSocketNotifier>(stopSignals->fd(), QSocketNotifier::Read);
            QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &form, [&] {
                if (const int signal = stopSignals->take(); signal != 0) closeForSignal(signal);
            });
        }
        if (!form.closed()) {
            form.show();
            app->exec();
        }
    } catch (const std::exception& e) {
        showException(QString::fromUtf8(e.what()));
    } catch (...) {
        showException(QString());
    }
    return 0;
}
