#include "app/qt_call.h"

namespace hlx::app {

QtCall::QtCall(QObject* context) : m_context(context), m_shared(std::make_shared<Shared>()) {}

void QtCall::release() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->released = true;
    m_shared->done.notify_all();
}

bool QtCall::released() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->released;
}

bool QtCall::onGuiThread() const { return QThread::currentThread() == m_context->thread(); }

}  // namespace hlx::app
