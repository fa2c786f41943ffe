// StopSignals on Windows: a console control handler (see the header). The handler runs on a thread that
// Windows starts for it; it records the first pending event in an atomic and sets an event that
// waitForSignalOr sleeps on together with the job's notice.

#include "base/stop_signals.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <vector>

namespace hlx::base {
namespace {

// Linux's numbers, so that the exit codes (128 + number) agree on both systems.
constexpr int kSigHup = 1;
constexpr int kSigInt = 2;
constexpr int kSigTerm = 15;

// How long a close, log-off or shut-down event holds the process for the main thread to stop the job
// and release the port; Windows ends the process 5 s after a close at the latest.
constexpr DWORD kCloseGrace = 4000;

std::atomic<int> g_pending{0};
std::atomic<HANDLE> g_arrived{nullptr};   // set while a signal is pending
std::atomic<HANDLE> g_released{nullptr};  // set when the StopSignals object is gone

BOOL WINAPI onConsoleControl(DWORD type) {
    int signal = 0;
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = kSigInt;
            break;
        case CTRL_CLOSE_EVENT:
            signal = kSigHup;
            break;
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = kSigTerm;
            break;
        default:
            return FALSE;
    }
    int none = 0;
    g_pending.compare_exchange_strong(none, signal);
    if (HANDLE arrived = g_arrived.load()) ::SetEvent(arrived);
    if (signal != kSigInt) {
        if (HANDLE released = g_released.load()) ::WaitForSingleObject(released, kCloseGrace);
    }
    return TRUE;
}

std::system_error lastError(const char* what) {
    return std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

}  // namespace

struct StopSignals::State {
    HANDLE arrived = nullptr;
    HANDLE released = nullptr;
};

Notice::Notice() : m_native(reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (m_native == 0) throw lastError("CreateEvent");
}

Notice::~Notice() {
    ::CloseHandle(reinterpret_cast<HANDLE>(m_native));
}

void Notice::reset() {
    ::ResetEvent(reinterpret_cast<HANDLE>(m_native));
}

void Notice::notify() {
    ::SetEvent(reinterpret_cast<HANDLE>(m_native));
}

StopSignals::StopSignals() : m_state(std::make_unique<State>()) {
    m_state->arrived = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_state->released = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_state->arrived == nullptr || m_state->released == nullptr) {
        const std::system_error error = lastError("CreateEvent");
        if (m_state->arrived != nullptr) ::CloseHandle(m_state->arrived);
        if (m_state->released != nullptr) ::CloseHandle(m_state->released);
        throw error;
    }
    g_pending = 0;
    g_arrived = m_state->arrived;
    g_released = m_state->released;
    if (!::SetConsoleCtrlHandler(onConsoleControl, TRUE)) {
        const std::system_error error = lastError("SetConsoleCtrlHandler");
        g_arrived = nullptr;
        g_released = nullptr;
        ::CloseHandle(m_state->arrived);
        ::CloseHandle(m_state->released);
        throw error;
    }
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_pending = 0;
    ::SetEvent(m_state->released);  // a close handler still waiting lets Windows end the process now
    // The handles stay open: a handler thread that has just read them may still use them, and the process
    // holds one StopSignals for its whole life.
    g_arrived = nullptr;
}

int StopSignals::waitForSignalOr(const Notice& done) {
    const HANDLE handles[2] = {m_state->arrived, reinterpret_cast<HANDLE>(done.native())};
    for (;;) {
        const DWORD woke = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            if (const int signal = take(); signal != 0) return signal;
            continue;
        }
        if (woke == WAIT_OBJECT_0 + 1) return 0;
        throw lastError("waiting for the job");
    }
}

int StopSignals::waitForSignalOrAny(std::initializer_list<const Notice*> notices,
                                    std::chrono::milliseconds timeout) {
    std::vector<HANDLE> handles{m_state->arrived};
    for (const Notice* notice : notices) handles.push_back(reinterpret_cast<HANDLE>(notice->native()));
    const DWORD ms = timeout.count() < 0
                         ? INFINITE
                         : static_cast<DWORD>(std::min<std::int64_t>(timeout.count(), 0x7FFFFFFF));
    const DWORD woke =
        ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, ms);
    if (woke == WAIT_OBJECT_0) return take();
    if (woke == WAIT_TIMEOUT || (woke > WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + handles.size())) return 0;
    throw lastError("waiting for the jobs");
}

int StopSignals::fd() const {
    return -1;
}

int StopSignals::take() {
    ::ResetEvent(m_state->arrived);  // first, so that an event recorded after the exchange sets it again
    return g_pending.exchange(0);
}

}  // namespace hlx::base
