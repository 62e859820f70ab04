#include "signal_handling.h"

#include "exception.h"

#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// The pipe's writing end, for the handler.
volatile sig_atomic_t g_writeEnd = -1;
// The handlers to put back at the first signal; set before the handler is
// installed and left alone while it is.
struct sigaction g_previousTerm {};
struct sigaction g_previousInt {};

void OnTermination(int signal)
{
    const int saved = errno;
    // The next signal takes the previous action, whatever the event loop
    // is doing: sigaction may be called from a handler.
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (g_writeEnd >= 0) {
        // A full pipe already holds a signal to act on: losing this byte
        // loses nothing.
        [[maybe_unused]] const ssize_t n = ::write(g_writeEnd, &byte, 1);
    }
    errno = saved;
}

} // namespace

TTerminationSignals::TTerminationSignals(TAction action, QObject* parent) : QObject(parent), m_action(std::move(action))
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Exception(std::string("pipe2: ") + std::strerror(errno));
    g_writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TTerminationSignals::OnSignal);

    struct sigaction handler {};
    handler.sa_handler = &OnTermination;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, nullptr, &m_previousTerm);
    ::sigaction(SIGINT, nullptr, &m_previousInt);
    g_previousTerm = m_previousTerm;
    g_previousInt = m_previousInt;
    ::sigaction(SIGTERM, &handler, nullptr);
    ::sigaction(SIGINT, &handler, nullptr);
    m_installed = true;
}

TTerminationSignals::~TTerminationSignals()
{
    Restore();
    g_writeEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void TTerminationSignals::Restore()
{
    if (!m_installed)
        return;
    ::sigaction(SIGTERM, &m_previousTerm, nullptr);
    ::sigaction(SIGINT, &m_previousInt, nullptr);
    m_installed = false;
}

void TTerminationSignals::OnSignal()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(m_pipe[0], &byte, 1) == 1)
        last = byte;
    if (last == 0 || m_received != 0)
        return;
    m_received = last;
    Restore();
    m_action();
}

void TTerminationSignals::EndLikeClosingTheWindow()
{
    QApplication::closeAllWindows();
    // Ends the loops that run now, modal ones included; the queued call
    // ends the main loop should it not have started yet.
    QCoreApplication::exit(0);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
