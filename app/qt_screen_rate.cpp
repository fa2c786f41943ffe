#include "app/qt_screen_rate.h"

#include <algorithm>

namespace hlx::app {

ScreenRateFlush::ScreenRateFlush(const QtCall& call, std::function<void()> flush,
                                 std::chrono::milliseconds frame)
    : m_call(call), m_flush(std::move(flush)), m_frame(frame) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { flushNow(); });
}

void ScreenRateFlush::request() {
    if (m_requested.exchange(true)) return;  // a flush is on its way and will show this too
    if (m_call.onGuiThread()) {
        schedule();
        return;
    }
    // The posted call is dropped with the QtCall's queue when the window goes, before this object does.
    m_call.post([this] { schedule(); });
}

void ScreenRateFlush::schedule() {
    if (m_timer.isActive()) return;
    const auto sinceLast = std::chrono::steady_clock::now() - m_lastFlush;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_frame - sinceLast);
    m_timer.start(std::max(wait, std::chrono::milliseconds{0}));
}

// Cleared before the flush takes what is queued, so a change queued from here on asks for the next one.
void ScreenRateFlush::flushNow() {
    m_requested = false;
    m_timer.stop();
    m_lastFlush = std::chrono::steady_clock::now();
    m_flush();
}

}  // namespace hlx::app
