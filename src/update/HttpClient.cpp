// SPDX-License-Identifier: MIT
#include "HttpClient.h"

#include <QStringDecoder>
#include <curl/curl.h>
#include <dlfcn.h>

namespace {

// libcurl is loaded by the first check, not at start: it and the two dozen libraries it brings
// would be a third of the cost of every start (the window's and each command-line call's) for
// a check made once a day. It stays loaded for the rest of the process.
struct TCurlLibrary {
    decltype(&curl_global_init) GlobalInit = nullptr;
    decltype(&curl_easy_init) EasyInit = nullptr;
    decltype(&curl_easy_cleanup) EasyCleanup = nullptr;
    decltype(&curl_easy_setopt) EasySetopt = nullptr;
    decltype(&curl_easy_perform) EasyPerform = nullptr;
    decltype(&curl_easy_getinfo) EasyGetinfo = nullptr;
    decltype(&curl_easy_strerror) EasyStrerror = nullptr;
    decltype(&curl_slist_append) SlistAppend = nullptr;
    decltype(&curl_slist_free_all) SlistFreeAll = nullptr;
    QString Failure; // why it could not be loaded; empty when loaded
};

template <typename T> void Resolve(void* Library, const char* Name, T& Function, QString& Failure) {
    Function = reinterpret_cast<T>(::dlsym(Library, Name));
    if (!Function && Failure.isEmpty())
        Failure = QStringLiteral("%1 is missing from libcurl").arg(QLatin1StringView(Name));
}

TCurlLibrary LoadCurl() {
    TCurlLibrary curl;
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        curl.Failure = QString::fromLocal8Bit(::dlerror());
        return curl;
    }
    Resolve(library, "curl_global_init", curl.GlobalInit, curl.Failure);
    Resolve(library, "curl_easy_init", curl.EasyInit, curl.Failure);
    Resolve(library, "curl_easy_cleanup", curl.EasyCleanup, curl.Failure);
    Resolve(library, "curl_easy_setopt", curl.EasySetopt, curl.Failure);
    Resolve(library, "curl_easy_perform", curl.EasyPerform, curl.Failure);
    Resolve(library, "curl_easy_getinfo", curl.EasyGetinfo, curl.Failure);
    Resolve(library, "curl_easy_strerror", curl.EasyStrerror, curl.Failure);
    Resolve(library, "curl_slist_append", curl.SlistAppend, curl.Failure);
    Resolve(library, "curl_slist_free_all", curl.SlistFreeAll, curl.Failure);
    if (curl.Failure.isEmpty() && curl.GlobalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        curl.Failure = QStringLiteral("libcurl could not be initialised");
    return curl;
}

// Loaded and initialised once, by whichever thread asks first.
const TCurlLibrary& Curl() {
    static const TCurlLibrary curl = LoadCurl();
    if (!curl.Failure.isEmpty())
        throw EHttpError(QStringLiteral("Cannot start the HTTP client: %1").arg(curl.Failure));
    return curl;
}

struct TCurlDeleter {
    void operator()(CURL* Handle) const { Curl().EasyCleanup(Handle); }
};
struct TSlistDeleter {
    void operator()(curl_slist* List) const { Curl().SlistFreeAll(List); }
};
using TCurlPtr = std::unique_ptr<CURL, TCurlDeleter>;
using TSlistPtr = std::unique_ptr<curl_slist, TSlistDeleter>;

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
    const CURLcode code = Curl().EasySetopt(Handle, Option, Value);
    if (code != CURLE_OK)
        throw EHttpError(QString::fromUtf8(Curl().EasyStrerror(code)));
}

} // namespace

struct THttpClient::TImpl {
    THttpClientOptions Options;
    TCurlPtr Handle; // kept for the client's life: its cookie engine holds the run's cookies
    TSlistPtr Headers;
};

THttpClient::THttpClient(THttpClientOptions Options) : FImpl(std::make_unique<TImpl>()) {
    const TCurlLibrary& curl = Curl();
    FImpl->Options = Options;
    FImpl->Handle.reset(curl.EasyInit());
    if (!FImpl->Handle)
        throw EHttpError(QStringLiteral("Cannot start the HTTP client"));
    curl_slist* headers = curl.SlistAppend(nullptr, "Accept: text/xml, */*");
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
    const CURLcode code = Curl().EasyPerform(h);
    SetOption(h, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    SetOption(h, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    if (body.Overflow)
        throw EHttpError(QStringLiteral("The response from %1 is too long").arg(Url));
    if (code != CURLE_OK) {
        const QString detail =
            error[0] ? QString::fromUtf8(error) : QString::fromUtf8(Curl().EasyStrerror(code));
        throw EHttpError(QStringLiteral("GET %1 failed: %2").arg(Url, detail));
    }
    long status = 0;
    Curl().EasyGetinfo(h, CURLINFO_RESPONSE_CODE, &status);
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
