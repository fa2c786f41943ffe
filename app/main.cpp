// hlx-service-tool: the service tool's window program.
//
//   hlx-service-tool                  the main window
//   hlx-service-tool --osd-preview    the OSD menu preview window alone: the menu can be browsed and its
//                                     values edited in memory; nothing is sent to a monitor, nothing saved
//   hlx-service-tool --help | --version
//
// Qt's own options (-platform, -style, ...) are taken as Qt takes them. Exit status: 0 once the window is
// closed, also when something went wrong: an exception is shown in the standard error dialog, one raised
// by an event handler while the message loop runs and the window stays open, one escaping start-up and
// the program ends. 1 when there is no display to open a window on, 2 when the command line holds
// anything else; the reason then goes to stderr.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/window_title.h"
#include "base/stop_signals.h"
#include "base/version.h"
#include "preview/osd_preview_window.h"
#include "serial/serial_port.h"
#include "serial/system_serial_device.h"

namespace {

constexpr const char kUsage[] =
    "Usage: hlx-service-tool [--osd-preview]\n"
    "The HLX service tool's window: firmware updates, terminal, file senders and picture converter for a\n"
    "monitor on a serial port.\n"
    "\n"
    "Options:\n"
    "  --osd-preview  open the OSD menu preview window alone (nothing is sent to a monitor)\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n";

enum class Mode { MainWindow, OsdPreview };

// Whether a window can be shown here. A Linux desktop hands its display over in DISPLAY or
// WAYLAND_DISPLAY; QT_QPA_PLATFORM or Qt's -platform option choose a platform explicitly (offscreen, for
// one). Windows and macOS always have their desktop. Without a display Qt would abort deep inside its
// platform plugin, so the program says what is missing instead.
bool haveDisplay(int argc, char** argv) {
#if defined(_WIN32) || defined(__APPLE__)
    (void)argc;
    (void)argv;
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-platform" || argument == "--platform") return true;
    }
    return false;
#endif
}

void showException(const QString& message) {
    if (QApplication::instance() != nullptr)
        QMessageBox::critical(nullptr, QString::fromLatin1(hlx::app::kWindowTitle), message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// An exception of an event handler is shown in the error dialog and the message loop goes on: one action
// that failed must not end the technician's session, and Qt itself cannot carry an exception out of an
// event handler.
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

// A stop signal closes the window through close(signal) and ends the message loop, also out of a dialog's
// loop. A signal that came while the window was being built is handled right here, before the loop runs.
// Only where the signals arrive through a descriptor (Linux): a Windows window program has no console
// whose events could stop it, and closes through its window.
std::unique_ptr<QSocketNotifier> watchStopSignals(std::optional<hlx::base::StopSignals>& stopSignals,
                                                  QObject* context, std::function<void()> close) {
    if (!stopSignals || stopSignals->fd() < 0) return nullptr;
    auto closeFor = [close](int signal) {
        std::fprintf(stderr, "hlx-service-tool: %s: closing the window\n",
                     hlx::base::StopSignals::name(signal).c_str());
        close();
        QApplication::exit();
    };
    if (const int signal = stopSignals->take(); signal != 0) closeFor(signal);
    auto notifier = std::make_unique<QSocketNotifier>(stopSignals->fd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, context, [&stopSignals, closeFor] {
        if (const int signal = stopSignals->take(); signal != 0) closeFor(signal);
    });
    return notifier;
}

void runMainWindow(ServiceToolApplication& app, std::optional<hlx::base::StopSignals>& stopSignals) {
    // The port and the store outlive the window, whose logic and job use them.
    hlx::serial::SerialPort port(hlx::serial::makeSystemSerialDevice());
    hlx::app::SettingsStore store(hlx::app::SettingsStore::defaultPath());
    hlx::app::MainWindow window(port, store);
    hlx::preview::OsdPreviewWindow preview;  // the OSD menu preview: built now, never shown by the window
    // A signal closes the window as the close button does (settings saved, job ended), without a dialog.
    // The close does not depend on the loop running, so after an early signal the loop is not entered.
    const auto notifier = watchStopSignals(stopSignals, &window, [&window] { window.closeForSignal(); });
    if (!window.closed()) {
        window.show();
        app.exec();
    }
}

void runOsdPreview(ServiceToolApplication& app, std::optional<hlx::base::StopSignals>& stopSignals) {
    hlx::preview::OsdPreviewWindow preview;
    bool closed = false;  // nothing to save: a signal only closes the window
    const auto notifier = watchStopSignals(stopSignals, &preview, [&] {
        closed = true;
        preview.close();
    });
    if (!closed) {
        preview.show();
        app.exec();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The program's own options first: help and version need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("hlx-service-tool %s\n", hlx::base::kVersion);
            return 0;
        }
    }
    if (!haveDisplay(argc, argv)) {
        std::fprintf(
            stderr,
            "hlx-service-tool: the window needs a display, but there is none here (neither DISPLAY nor "
            "WAYLAND_DISPLAY is set); run it in a desktop session or under xvfb-run\n");
        return 1;
    }
    // SIGINT, SIGTERM and SIGHUP close the window as its close button does. They are blocked before any
    // thread starts (Qt's own included), so they can only arrive through the signalfd watched later.
    std::optional<hlx::base::StopSignals> stopSignals;
    try {
        stopSignals.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hlx-service-tool: %s; SIGTERM will end the program without saving\n", e.what());
    }
    // The application outlives the try block, so the error dialog can still be shown.
    std::unique_ptr<ServiceToolApplication> app;
    try {
        // Qt takes its own options out of argc and argv; what is left is ours.
        app = std::make_unique<ServiceToolApplication>(argc, argv);
        Mode mode = Mode::MainWindow;
        for (int i = 1; i < argc; ++i) {
            if (std::string_view(argv[i]) == "--osd-preview") {
                mode = Mode::OsdPreview;
            } else {
                std::fprintf(stderr, "hlx-service-tool: unknown argument '%s'; see hlx-service-tool --help\n",
                             argv[i]);
                return 2;
            }
        }
        QApplication::setApplicationName(QStringLiteral("hlx-service-tool"));
        QApplication::setApplicationVersion(QString::fromLatin1(hlx::base::kVersion));
#if defined(HLX_DESKTOP_ID) && defined(HLX_ICON_NAME)
        // The installed desktop entry and icon (packaging/), so that a desktop shows the window under the
        // menu entry's name and icon.
        QGuiApplication::setDesktopFileName(QStringLiteral(HLX_DESKTOP_ID));
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(HLX_ICON_NAME)));
#endif
        if (mode == Mode::OsdPreview)
            runOsdPreview(*app, stopSignals);
        else
            runMainWindow(*app, stopSignals);
    } catch (const std::exception& e) {
        showException(QString::fromUtf8(e.what()));
    } catch (...) {
        showException(QString());
    }
    return 0;
}
