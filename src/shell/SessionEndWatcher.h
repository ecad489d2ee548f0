// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call on the UI thread: the handler only writes a
// byte to a pipe, which a socket notifier reads in the event loop. One per process.
class TSessionEndWatcher final : public QObject {
    Q_OBJECT
public:
    explicit TSessionEndWatcher(std::function<void(int Signal)> Handler, QObject* Parent = nullptr);
    ~TSessionEndWatcher() override;
    TSessionEndWatcher(const TSessionEndWatcher&) = delete;
    TSessionEndWatcher& operator=(const TSessionEndWatcher&) = delete;

    static const int Signals[3];

private:
    void ReadSignal();

    std::function<void(int)> FHandler;
    std::unique_ptr<QSocketNotifier> FNotifier;
};
