// SPDX-License-Identifier: MIT
#pragma once

#include "Errors.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <memory>

// A request that did not end with a success status and a body.
class EHttpError final : public EAppError {
public:
    using EAppError::EAppError;
};

struct THttpClientOptions {
    long ConnectTimeoutMs = 5000;
    long TotalTimeoutMs = 10000; // the user interface waits for the check: always bounded
    long MaxRedirects = 15;
    std::size_t MaxBodyBytes = 64 * 1024; // a one-line document; anything bigger is not it
};

// An HTTP/1.1 client for the version document. Cookies that servers set are kept for the
// client's lifetime and sent back on later requests and redirects. Redirects go to http and
// https only. One thread at a time.
class THttpClient final {
public:
    explicit THttpClient(THttpClientOptions Options = {});
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // GET with "Accept: text/xml, */*"; the body, or EHttpError for a transport failure, a
    // status outside 200-299, too many redirects, a time-out or a body over the cap.
    QByteArray Get(const QString& Url);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// The body as text: by its byte-order mark, else UTF-8 when valid, else Latin-1.
QString DecodeHttpBody(const QByteArray& Body);
