#include "app/qt_call.h"

#include <QCoreApplication>
#include <QEvent>

// The thread sanitizer cannot see inside Qt's event queue. The one thing that crosses it from the job
// thread is the bare wake-up event: it is released when posted and acquired when delivered, so the
// sanitizer knows the GUI thread reads it only after the job thread made it. (Acquiring an event that no
// one released, as Qt's own are, is harmless.) Everything else crosses under our own mutex.
#if defined(__SANITIZE_THREAD__)
#define HLX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HLX_TSAN 1
#endif
#endif
#ifdef HLX_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define HLX_HANDED_OVER(address) __tsan_release(address)
#define HLX_TAKEN_OVER(address) __tsan_acquire(address)
#else
#define HLX_HANDED_OVER(address) (void)(address)
#define HLX_TAKEN_OVER(address) (void)(address)
#endif

namespace hlx::app {
namespace {

const QEvent::Type kRunQueued = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

// Runs what the job thread queued, on the GUI thread, when the bare event arrives.
class QtCall::Receiver : public QObject {
public:
    Receiver(QObject* parent, std::shared_ptr<Shared> shared)
        : QObject(parent), m_shared(std::move(shared)) {}

    bool event(QEvent* event) override {
        HLX_TAKEN_OVER(event);
        if (event->type() != kRunQueued) return QObject::event(event);
        std::deque<std::function<void()>> queued;
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->wakePosted = false;
            if (m_shared->released) return true;  // the window is closing: the callers have gone
            queued.swap(m_shared->queue);
        }
        for (std::function<void()>& f : queued) f();
        return true;
    }

private:
    std::shared_ptr<Shared> m_shared;
};

QtCall::QtCall(QObject* context)
    : m_context(context), m_shared(std::make_shared<Shared>()), m_receiver(new Receiver(context, m_shared)) {}

QtCall::~QtCall() {
    release();
    delete m_receiver.data();  // null when the context went first and took its child along
}

void QtCall::post(std::function<void()> f) const {
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->released) return;
        m_shared->queue.push_back(std::move(f));
    }
    wakeGuiThread();
}

// One bare event at a time: the receiver runs everything queued when it arrives.
void QtCall::wakeGuiThread() const {
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->wakePosted) return;
        m_shared->wakePosted = true;
    }
    auto* wake = new QEvent(kRunQueued);
    HLX_HANDED_OVER(wake);
    QCoreApplication::postEvent(m_receiver, wake);
}

void QtCall::release() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->released = true;
    m_shared->queue.clear();
    m_shared->done.notify_all();
}

bool QtCall::released() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->released;
}

bool QtCall::onGuiThread() const {
    return QThread::currentThread() == m_context->thread();
}

}  // namespace hlx::app
