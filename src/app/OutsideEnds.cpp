#include "OutsideEnds.h"

#include "frmMain.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace pictoria {

namespace {

// A signal handler may only do what is async-signal-safe: it writes a byte
// into this pipe, and the window's event loop reads it.
int wakePipe[2] = {-1, -1};
volatile sig_atomic_t signalled = 0;

void onSignal(int signo)
{
    // Outputs in flight have no name yet (where the file system allows it),
    // so ending here leaves none half-written.
    if (signalled)
        _exit(128 + signo);
    signalled = 1;
    const int savedErrno = errno;
    const char byte = 1;
    if (write(wakePipe[1], &byte, 1) < 0) {
        // Full pipe: a wake-up is already waiting.
    }
    errno = savedErrno;
}

}  // namespace

void QuitOnOutsideEnds(frmMain& window)
{
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char byte;
            while (read(wakePipe[0], &byte, 1) > 0) {
            }
            window.QuitFromOutside();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction previous {};
        for (int signo : {SIGTERM, SIGINT, SIGHUP})
            if (sigaction(signo, &action, &previous) == 0 && previous.sa_handler == SIG_IGN)
                sigaction(signo, &previous, nullptr);  // as nohup asked
    }
    // On Wayland the session ends the program with SIGTERM instead.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.QuitFromOutside(); });
}

}  // namespace pictoria
