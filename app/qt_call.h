#pragma once
// QtCall: runs a callable on the GUI thread on behalf of the job thread and waits until it has run, so a
// job's write to the window takes effect before the job goes on.
//
// On the GUI thread (the thread of the context object) the callable runs directly. From any other thread
// it joins a queue of our own (a mutex and a deque) and a bare QEvent tells the GUI thread to run what is
// queued; the caller waits on a completion of its own. The hand-over therefore happens in our own code,
// under a lock the thread sanitizer sees; the bare event, the only thing that crosses Qt's event queue
// (which the sanitizer cannot see), is annotated as handed over and taken over.
// release() abandons every wait at once and makes later calls from other threads return without running;
// a getter then returns its fallback value. The window releases before it joins the job, so the job can
// never hold up the close (a blocking queued connection would deadlock there).
//
// post() queues a callable without waiting (for output that only has to keep its order).
//
// Threads: run/get/post from any thread; release from any thread; construct on the GUI thread. The context
// object must outlive the QtCall; calls still queued when the QtCall is destroyed are dropped.

#include <QObject>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace hlx::app {

class QtCall {
public:
    explicit QtCall(QObject* context);
    ~QtCall();
    QtCall(const QtCall&) = delete;
    QtCall& operator=(const QtCall&) = delete;

    // Runs f() on the GUI thread; returns when it has run or when released.
    template <class F>
    void run(F f) const {
        if (onGuiThread()) {
            f();
            return;
        }
        (void)call<std::monostate>([f = std::move(f)]() mutable {
            f();
            return std::monostate{};
        });
    }

    // Runs f() on the GUI thread and returns its value, or fallback when released.
    template <class F, class R = std::invoke_result_t<F&>>
    R get(F f, R fallback = R{}) const {
        if (onGuiThread()) return f();
        std::optional<R> value = call<R>(std::move(f));
        return value ? std::move(*value) : std::move(fallback);
    }

    // Queues f() for the GUI thread and returns at once; after release it is dropped.
    void post(std::function<void()> f) const;

    // Abandons current and later waits of other threads. Permanent.
    void release();
    bool released() const;
    bool onGuiThread() const;

private:
    // What the waiting threads, the GUI thread and release() share.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::deque<std::function<void()>> queue;
        bool released = false;
        bool wakePosted = false;
    };
    class Receiver;

    template <class R, class F>
    std::optional<R> call(F f) const {
        struct Result {
            std::optional<R> value;
            bool finished = false;
        };
        auto result = std::make_shared<Result>();
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->released) return std::nullopt;
            m_shared->queue.emplace_back([shared = m_shared, result, f = std::move(f)]() mutable {
                R value = f();
                std::lock_guard lock(shared->mutex);
                result->value = std::move(value);
                result->finished = true;
                shared->done.notify_all();
            });
        }
        wakeGuiThread();
        std::unique_lock lock(m_shared->mutex);
        m_shared->done.wait(lock, [&] { return result->finished || m_shared->released; });
        if (!result->finished) return std::nullopt;
        return std::move(result->value);
    }
    void wakeGuiThread() const;

    QObject* m_context;
    std::shared_ptr<Shared> m_shared;
    QPointer<Receiver> m_receiver;  // a child of the context, on the GUI thread
};

}  // namespace hlx::app
