// hlx-service-tool: the service tool's window program. It takes no arguments and returns 0, also when
// something went wrong: an exception is shown in the standard error dialog, one raised by an event
// handler while the message loop runs and the window stays open, one escaping start-up and the program
// ends.

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <memory>

#include "app/settings_store.h"
#include "app/tform7.h"
#include "app/window_title.h"
#include "base/version.h"
#include "preview/tform4.h"
#include "serial/posix_serial_device.h"
#include "serial/serial_port.h"

namespace {

void showException(const QString& message) {
    if (QApplication::instance() != nullptr)
        QMessageBox::critical(nullptr, QString::fromLatin1(hlx::app::kWindowTitle), message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The message loop shows an exception of an event handler and goes on, as the classic loop did; Qt
// itself cannot carry an exception out of an event handler.
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

}  // namespace

int main(int argc, char** argv) {
    // The application outlives the try block, so the error dialog can still be shown.
    std::unique_ptr<ServiceToolApplication> app;
    try {
        app = std::make_unique<ServiceToolApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("hlx-service-tool"));
        QApplication::setApplicationVersion(QString::fromLatin1(hlx::base::kVersion));
        // The port and the store outlive the form, whose logic and job use them.
        hlx::serial::SerialPort port(std::make_unique<hlx::serial::PosixSerialDevice>());
        hlx::app::SettingsStore store(hlx::app::SettingsStore::defaultPath());
        hlx::app::TForm7 form(port, store);
        hlx::preview::TForm4 preview;  // the OSD menu preview: built now, never shown by the window
        form.show();
        app->exec();
    } catch (const std::exception& e) {
        showException(QString::fromUtf8(e.what()));
    } catch (...) {
        showException(QString());
    }
    return 0;
}
