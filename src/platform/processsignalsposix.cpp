#include "processsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// The signal handler only writes a byte; the event loop does the rest.
int signalPipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

class SignalCatcher : public QObject
{
public:
    explicit SignalCatcher(std::function<void(ProcessSignal)> handler)
        : notifier(signalPipe[0], QSocketNotifier::Read)
    {
        connect(&notifier, &QSocketNotifier::activated, this, [handler] {
            char byte = 0;
            [[maybe_unused]] const ssize_t count = ::read(signalPipe[0], &byte, 1);
            handler(byte == SIGUSR1 ? ProcessSignal::Statistics : ProcessSignal::Stop);
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGUSR1, onSignal);
    }

    ~SignalCatcher() override
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGUSR1, SIG_DFL);
        notifier.setEnabled(false);
        for (int &fd : signalPipe) {
            ::close(fd);
            fd = -1;
        }
    }

private:
    QSocketNotifier notifier;
};

} // namespace

std::unique_ptr<QObject> catchProcessSignals(std::function<void(ProcessSignal)> handler)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return nullptr;
    return std::make_unique<SignalCatcher>(std::move(handler));
}
