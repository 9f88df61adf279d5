#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "jobrunner.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
// The handler only writes the signal's number into this pipe.
int requestPipe[2] = {-1, -1};
volatile std::sig_atomic_t requests = 0;

void noteRequest(int signal)
{
    if (++requests > 1)
        ::_exit(128 + signal);
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(requestPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

void onTerminationRequest(std::function<void(int)> handle)
{
    if (requestPipe[0] >= 0 || ::pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handle = std::move(handle)] {
        unsigned char byte = 0;
        while (::read(requestPipe[0], &byte, 1) == 1)
            handle(byte);
    });
    struct sigaction action = {};
    action.sa_handler = noteRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void stopRunsOnTerminationRequest()
{
    onTerminationRequest([](int signal) {
        JobRunner::stopEveryRunner(10000);
        QCoreApplication::exit(128 + signal);
    });
}
