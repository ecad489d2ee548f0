// SPDX-License-Identifier: MIT
#include "SessionEndWatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int SignalPipe[2] = {-1, -1};

extern "C" void OnSignal(int Signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(Signal);
    [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

const int TSessionEndWatcher::Signals[3] = {SIGTERM, SIGINT, SIGHUP};

TSessionEndWatcher::TSessionEndWatcher(std::function<void(int)> Handler, QObject* Parent)
    : QObject(Parent), FHandler(std::move(Handler)) {
    if (SignalPipe[0] < 0 && ::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no quiet save on signals then; Exit still saves
    FNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TSessionEndWatcher::ReadSignal);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Signals)
        ::sigaction(signal, &action, nullptr);
}

TSessionEndWatcher::~TSessionEndWatcher() {
    for (int signal : Signals)
        std::signal(signal, SIG_DFL);
}

void TSessionEndWatcher::ReadSignal() {
    unsigned char byte = 0;
    while (::read(SignalPipe[0], &byte, 1) == 1) {
        if (FHandler)
            FHandler(byte);
    }
}
