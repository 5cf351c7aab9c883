#include "app/QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <iterator>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};
// [0] is written by the handler, [1] read by the notifier.
int Pipe[2] = {-1, -1};
struct sigaction Previous[std::size(Signals)];

void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Non-blocking: a full pipe already holds a request to quit.
    [[maybe_unused]] const ssize_t written = ::write(Pipe[0], &number, 1);
    errno = saved;
}

} // namespace

TQuitSignals::TQuitSignals(QObject* parent) : QObject(parent)
{
    if (Pipe[0] >= 0)
        return; // another one is installed
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, Pipe) != 0) {
        Pipe[0] = Pipe[1] = -1;
        return;
    }
    Notifier = new QSocketNotifier(Pipe[1], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TQuitSignals::ReadPipe);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on: the program decides when to stop.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &action, &Previous[i]);
}

TQuitSignals::~TQuitSignals()
{
    if (!Notifier)
        return;
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &Previous[i], nullptr);
    delete Notifier;
    Notifier = nullptr;
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    Pipe[0] = Pipe[1] = -1;
}

void TQuitSignals::ReadPipe()
{
    unsigned char numbers[16];
    ssize_t n;
    while ((n = ::read(Pipe[1], numbers, sizeof numbers)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit Received(numbers[i]);
}
