// SPDX-License-Identifier: MIT
#include "HttpClient.h"

#include <QStringDecoder>
#include <curl/curl.h>
#include <mutex>

namespace {

struct TCurlDeleter {
    void operator()(CURL* Handle) const { curl_easy_cleanup(Handle); }
};
struct TSlistDeleter {
    void operator()(curl_slist* List) const { curl_slist_free_all(List); }
};
using TCurlPtr = std::unique_ptr<CURL, TCurlDeleter>;
using TSlistPtr = std::unique_ptr<curl_slist, TSlistDeleter>;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TBody {
    QByteArray Data;
    std::size_t Cap = 0;
    bool Overflow = false;
};

std::size_t WriteBody(char* Data, std::size_t Size, std::size_t Count, void* UserData) {
    auto* body = static_cast<TBody*>(UserData);
    const std::size_t bytes = Size * Count;
    if (static_cast<std::size_t>(body->Data.size()) + bytes > body->Cap) {
        body->Overflow = true;
        return 0; // aborts the transfer
    }
    body->Data.append(Data, static_cast<qsizetype>(bytes));
    return bytes;
}

template <typename T> void SetOption(CURL* Handle, CURLoption Option, T Value) {
    const CURLcode code = curl_easy_setopt(Handle, Option, Value);
    if (code != CURLE_OK)
        throw EHttpError(QString::fromUtf8(curl_easy_strerror(code)));
}

} // namespace

struct THttpClient::TImpl {
    THttpClientOptions Options;
    TCurlPtr Handle; // kept for the client's life: its cookie engine holds the run's cookies
    TSlistPtr Headers;
};

THttpClient::THttpClient(THttpClientOptions Options) : FImpl(std::make_unique<TImpl>()) {
    InitCurlOnce();
    FImpl->Options = Options;
    FImpl->Handle.reset(curl_easy_init());
    if (!FImpl->Handle)
        throw EHttpError(QStringLiteral("Cannot start the HTTP client"));
    curl_slist* headers = curl_slist_append(nullptr, "Accept: text/xml, */*");
    FImpl->Headers.reset(headers);
    if (!headers)
        throw EHttpError(QStringLiteral("Cannot start the HTTP client"));
    CURL* h = FImpl->Handle.get();
    SetOption(h, CURLOPT_COOKIEFILE, ""); // cookie engine on, nothing read from disk
    SetOption(h, CURLOPT_HTTPHEADER, headers);
    SetOption(h, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    SetOption(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    SetOption(h, CURLOPT_FOLLOWLOCATION, 1L);
    SetOption(h, CURLOPT_MAXREDIRS, Options.MaxRedirects);
    SetOption(h, CURLOPT_PROTOCOLS_STR, "http,https");
    SetOption(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    SetOption(h, CURLOPT_FAILONERROR, 1L);
    SetOption(h, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    SetOption(h, CURLOPT_TIMEOUT_MS, Options.TotalTimeoutMs);
    SetOption(h, CURLOPT_NOSIGNAL, 1L); // runs on worker threads: no SIGALRM for name look-ups
    SetOption(h, CURLOPT_NOPROXY, "*");
    SetOption(h, CURLOPT_WRITEFUNCTION, &WriteBody);
}

THttpClient::~THttpClient() = default;

QByteArray THttpClient::Get(const QString& Url) {
    CURL* h = FImpl->Handle.get();
    TBody body;
    body.Cap = FImpl->Options.MaxBodyBytes;
    const QByteArray url = Url.toUtf8();
    SetOption(h, CURLOPT_URL, url.constData());
    SetOption(h, CURLOPT_HTTPGET, 1L);
    SetOption(h, CURLOPT_WRITEDATA, &body);
    char error[CURL_ERROR_SIZE] = {};
    SetOption(h, CURLOPT_ERRORBUFFER, error);
    const CURLcode code = curl_easy_perform(h);
    SetOption(h, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    SetOption(h, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    if (body.Overflow)
        throw EHttpError(QStringLiteral("The response from %1 is too long").arg(Url));
    if (code != CURLE_OK) {
        const QString detail =
            error[0] ? QString::fromUtf8(error) : QString::fromUtf8(curl_easy_strerror(code));
        throw EHttpError(QStringLiteral("GET %1 failed: %2").arg(Url, detail));
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        throw EHttpError(QStringLiteral("GET %1 failed: HTTP status %2").arg(Url).arg(status));
    return body.Data;
}

QString DecodeHttpBody(const QByteArray& Body) {
    for (const auto encoding :
         {QStringConverter::Utf8, QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        if (QStringConverter::encodingForData(Body) == encoding) {
            QStringDecoder decoder(encoding); // drops the byte-order mark
            return decoder.decode(Body);
        }
    }
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless); // a cut-off sequence is an error
    const QString text = utf8.decode(Body);
    if (!utf8.hasError())
        return text;
    QStringDecoder latin(QStringConverter::Latin1);
    return latin.decode(Body);
}
