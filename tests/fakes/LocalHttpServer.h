// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 (port chosen by the system) for the update tests. The
// first path segment picks the answer (see the .cpp). Answers one connection at a time and
// records every request it received.
class TLocalHttpServer final {
public:
    TLocalHttpServer();
    ~TLocalHttpServer();
    TLocalHttpServer(const TLocalHttpServer&) = delete;
    TLocalHttpServer& operator=(const TLocalHttpServer&) = delete;

    QString BaseUrl() const; // "http://127.0.0.1:<port>"

    struct TRequest {
        QByteArray RequestLine;
        QByteArray Headers; // raw header block
    };
    std::vector<TRequest> Requests();

private:
    void Serve();
    void Answer(int Client);

    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::mutex FLock;
    std::vector<TRequest> FRequests;
    std::vector<int> FSilent; // connections that never get an answer, closed at the end
    std::thread FThread;
};
