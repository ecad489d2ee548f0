// SPDX-License-Identifier: MIT
#include "LocalHttpServer.h"

#include <QByteArrayList>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void SendAll(int Socket, const QByteArray& Data) {
    qsizetype sent = 0;
    while (sent < Data.size()) {
        const ssize_t n =
            ::send(Socket, Data.constData() + sent, static_cast<size_t>(Data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return; // the client gave up (as it should for a body over its cap)
        sent += n;
    }
}

QByteArray Response(int Status, const QByteArray& Body, const QByteArray& ExtraHeaders = {}) {
    return "HTTP/1.1 " + QByteArray::number(Status) +
           " X\r\nContent-Length: " + QByteArray::number(Body.size()) + "\r\nConnection: close\r\n" +
           ExtraHeaders + "\r\n" + Body;
}

QByteArray Redirect(const QByteArray& Location, const QByteArray& ExtraHeaders = {}) {
    return Response(302, {}, "Location: " + Location + "\r\n" + ExtraHeaders);
}

// Paths are /<scenario>/<argument>/latest-version.txt.
QByteArray Route(const QByteArray& Path, const QByteArray& Headers, bool& Silent) {
    const QList<QByteArray> parts = Path.split('/');
    const QByteArray scenario = parts.value(1);
    const QByteArray argument = parts.value(2);
    if (scenario == "ver")
        return Response(200, QByteArray::fromPercentEncoding(argument));
    if (scenario == "raw") // argument is hex: bytes exactly as sent
        return Response(200, QByteArray::fromHex(argument));
    if (scenario == "status")
        return Response(argument.toInt(), "2.9.9.9");
    if (scenario == "hops") { // n redirects, then a newer version
        const int n = argument.toInt();
        if (n == 0)
            return Response(200, "9.9");
        return Redirect("/hops/" + QByteArray::number(n - 1) + "/latest-version.txt");
    }
    if (scenario == "loop")
        return Redirect("/loop/x/latest-version.txt");
    if (scenario == "tofile")
        return Redirect("file:///etc/hostname");
    if (scenario == "setcookie")
        return Redirect("/needcookie/x/latest-version.txt",
                        "Set-Cookie: session=" + argument + "; Path=/\r\n");
    if (scenario == "setcookieonly")
        return Response(200, "0.1", "Set-Cookie: session=" + argument + "; Path=/\r\n");
    if (scenario == "needcookie")
        return Headers.contains("Cookie: session=") ? Response(200, "9.0") : Response(403, "no cookie");
    if (scenario == "big")
        return Response(200, QByteArray(4 * 1024 * 1024, '9'));
    if (scenario == "html")
        return Response(200, "<html><body>Not here</body></html>", "Content-Type: text/html\r\n");
    if (scenario == "never") {
        Silent = true;
        return {};
    }
    return Response(404, "not found");
}

} // namespace

TLocalHttpServer::TLocalHttpServer() {
    FListener = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GE(FListener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    EXPECT_EQ(::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(FListener, 16), 0);
    socklen_t length = sizeof address;
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
}

TLocalHttpServer::~TLocalHttpServer() {
    FStop = true;
    FThread.join();
    for (int socket : FSilent)
        ::close(socket);
    ::close(FListener);
}

QString TLocalHttpServer::BaseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(FPort);
}

std::vector<TLocalHttpServer::TRequest> TLocalHttpServer::Requests() {
    std::lock_guard lock(FLock);
    return FRequests;
}

void TLocalHttpServer::Serve() {
    while (!FStop) {
        pollfd listener{FListener, POLLIN, 0};
        if (::poll(&listener, 1, 20) <= 0)
            continue;
        const int client = ::accept(FListener, nullptr, nullptr);
        if (client >= 0)
            Answer(client);
    }
}

void TLocalHttpServer::Answer(int Client) {
    timeval timeout{2, 0};
    ::setsockopt(Client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(Client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n") && request.size() < 65536) {
        const ssize_t n = ::recv(Client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, n);
    }
    const qsizetype lineEnd = request.indexOf("\r\n");
    TRequest recorded{request.left(lineEnd), request.mid(lineEnd + 2)};
    {
        std::lock_guard lock(FLock);
        FRequests.push_back(recorded);
    }
    const QList<QByteArray> words = recorded.RequestLine.split(' ');
    bool silent = false;
    const QByteArray response = Route(words.value(1), recorded.Headers, silent);
    if (silent) {
        FSilent.push_back(Client);
        return;
    }
    SendAll(Client, response);
    ::shutdown(Client, SHUT_WR);
    ::close(Client);
}
