// osd_preview_window_screenshot OUTDIR [SECONDS]: shows the preview window and saves what it shows on page 1
// (with the information view), on page 1 with the input's choice tiles and with the backlight's slider,
// half-way through the zoom into page 2, and on page 12 (the user gamut's primaries, reached as a technician
// would: colour page, gamut "User", double click). Each picture is taken after SECONDS (default 1) of
// settling. Run it under Xvfb (tests/preview/screenshot.sh) or with QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "preview/osd_preview_window.h"

using hlx::preview::itemCode;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: osd_preview_window_screenshot OUTDIR [SECONDS]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const int settleMs = (argc > 2 ? std::atoi(argv[2]) : 1) * 1000;
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    hlx::preview::OsdPreviewWindow window;
    window.setWindowState(Qt::WindowNoState);
    window.resize(1400, 980);
    window.show();

    const auto runTransition = [&window] {
        while (window.logic().scene().transitionRunning) window.logic().transitionTick();
    };
    int status = 0;
    const auto save = [&](const char* name) {
        const QString path = out.filePath(QString::fromLatin1(name));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            status = 1;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
    };

    // Each step changes the window, then the picture is taken once it has settled.
    const std::vector<std::pair<std::function<void()>, const char*>> steps = {
        {[] {}, "page1.png"},
        {[&] { window.logic().selectTile(itemCode(1, 0)); }, "page1-input.png"},
        {[&] { window.logic().selectTile(itemCode(1, 1)); }, "page1-backlight.png"},
        {[&] {
             window.logic().enterTilePage(itemCode(1, 2));
             for (int frame = 0; frame < 6; ++frame) window.logic().transitionTick();
             // Hold the transition at its sixth frame for the picture.
             window.findChild<QTimer*>(QStringLiteral("Timer2"))->stop();
         },
         "zoom.png"},
        {[&] {
             runTransition();
             window.logic().selectTile(itemCode(2, 4));
             window.logic().chooseDetail(window.logic().scene().choiceTiles[9].tag);
             window.logic().enterTilePage(itemCode(2, 4));
             runTransition();
         },
         "page12.png"},
    };
    std::size_t next = 0;
    std::function<void()> step = [&] {
        if (next == steps.size()) {
            window.close();
            return;
        }
        steps[next].first();
        QTimer::singleShot(settleMs, &window, [&] {
            save(steps[next].second);
            ++next;
            step();
        });
    };
    QTimer::singleShot(0, &window, step);
    app.exec();
    return status;
}
