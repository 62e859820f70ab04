#pragma once
// Ending from outside: SIGTERM (systemctl stop, kill) and SIGINT (Ctrl+C in
// the terminal that started the program) end it as closing the window
// does: every window is closed, the main window's own closing runs (the
// port closes, whatever else closing does happens), and the program ends
// with status 0.
//
// A signal handler may do next to nothing, so it only writes the signal's
// number into a pipe; the event loop reads it there (QSocketNotifier) and
// acts. The handler itself puts the previous handlers back (the default
// action, in the program), so a second signal ends a program that does
// not end by itself, even one whose event loop no longer runs.

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    using TAction = std::function<void()>;

    // Needs the application object. One instance at a time.
    explicit TTerminationSignals(TAction action = &EndLikeClosingTheWindow, QObject* parent = nullptr);
    ~TTerminationSignals() override;
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

    // Closes every window (a modal dialog first, then the main window) and
    // ends the event loops with 0, including one that is yet to start (a
    // signal during start-up, while a message box was up).
    static void EndLikeClosingTheWindow();

    // The signal that came, 0 while none has.
    int Received() const { return m_received; }

private:
    void OnSignal();
    void Restore();

    TAction m_action;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousTerm {};
    struct sigaction m_previousInt {};
    bool m_installed = false;
    int m_received = 0;
};
