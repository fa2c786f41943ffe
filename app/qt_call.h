#pragma once
// QtCall: runs a callable on the GUI thread on behalf of the job thread and waits until it has run, so a
// job's write to the window takes effect before the job goes on.
//
// On the GUI thread (the thread of the context object) the callable runs directly. From any other thread
// it is posted to the context with a queued connection, captured by value, and the caller waits on a
// completion of its own. release() abandons every wait at once and makes later calls from other threads
// return without running; a getter then returns its fallback value. The window releases before it joins
// the job, so the job can never hold up the close (a blocking queued connection would deadlock there).
//
// A call still queued when the context object is destroyed is dropped by Qt. Release before that.
//
// Threads: run/get from any thread; release from any thread; construct on the GUI thread.

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace hlx::app {

class QtCall {
public:
    explicit QtCall(QObject* context);
    QtCall(const QtCall&) = delete;
    QtCall& operator=(const QtCall&) = delete;

    // Runs f() on the GUI thread; returns when it has run or when released.
    template <class F>
    void run(F f) const {
        if (onGuiThread()) {
            f();
            return;
        }
        (void)post<std::monostate>([f = std::move(f)]() mutable {
            f();
            return std::monostate{};
        });
    }

    // Runs f() on the GUI thread and returns its value, or fallback when released.
    template <class F, class R = std::invoke_result_t<F&>>
    R get(F f, R fallback = R{}) const {
        if (onGuiThread()) return f();
        std::optional<R> value = post<R>(std::move(f));
        return value ? std::move(*value) : std::move(fallback);
    }

    // Abandons current and later waits of other threads. Permanent.
    void release();
    bool released() const;
    bool onGuiThread() const;

private:
    // The state that the waiting thread, the posted lambda and release() share. The lambda keeps it alive,
    // so a call that runs after its caller has given up writes into a live object.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool released = false;
    };

    template <class R, class F>
    std::optional<R> post(F f) const {
        struct Result {
            std::optional<R> value;
            bool finished = false;
        };
        auto result = std::make_shared<Result>();
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->released) return std::nullopt;
        }
        QMetaObject::invokeMethod(
            m_context,
            [shared = m_shared, result, f = std::move(f)]() mutable {
                {
                    std::lock_guard lock(shared->mutex);
                    if (shared->released) return;  // the caller has gone; the window is closing
                }
                R value = f();
                std::lock_guard lock(shared->mutex);
                result->value = std::move(value);
                result->finished = true;
                shared->done.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(m_shared->mutex);
        m_shared->done.wait(lock, [&] { return result->finished || m_shared->released; });
        if (!result->finished) return std::nullopt;
        return std::move(result->value);
    }

    QObject* m_context;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace hlx::app
