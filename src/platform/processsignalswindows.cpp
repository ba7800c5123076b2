#include "processsignals.h"

#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <windows.h>

// Windows has no signals: Ctrl-C, Ctrl-Break and closing the console window reach a
// console control handler, on a thread of its own. It hands the request to the event
// loop; there is no request for statistics.

namespace
{

std::mutex catcherMutex;
std::condition_variable catcherGone;
QObject *catcher = nullptr;
std::function<void(ProcessSignal)> stopHandler;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    std::unique_lock<std::mutex> lock(catcherMutex);
    if (!catcher)
        return FALSE;
    QMetaObject::invokeMethod(
        catcher, [] { stopHandler(ProcessSignal::Stop); }, Qt::QueuedConnection);
    // Closing the window, logging off and shutting down end the process once the handler
    // returns: give the recording a few seconds to close its file first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        catcherGone.wait_for(lock, std::chrono::seconds(4), [] { return catcher == nullptr; });
    return TRUE;
}

class SignalCatcher : public QObject
{
public:
    explicit SignalCatcher(std::function<void(ProcessSignal)> handler)
    {
        std::lock_guard<std::mutex> lock(catcherMutex);
        stopHandler = std::move(handler);
        catcher = this;
    }

    ~SignalCatcher() override
    {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        {
            std::lock_guard<std::mutex> lock(catcherMutex);
            catcher = nullptr;
        }
        catcherGone.notify_all();
    }
};

} // namespace

std::unique_ptr<QObject> catchProcessSignals(std::function<void(ProcessSignal)> handler)
{
    auto caught = std::make_unique<SignalCatcher>(std::move(handler));
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE))
        return nullptr;
    return caught;
}
