// SPDX-License-Identifier: MIT
#include "HttpClient.h"

#include "LocalHttpServer.h"

#include <gtest/gtest.h>

namespace {

THttpClientOptions FastOptions() {
    THttpClientOptions options;
    options.ConnectTimeoutMs = 1000;
    options.TotalTimeoutMs = 2000;
    options.MaxBodyBytes = 4096;
    return options;
}

TEST(HttpClient, SendsTheFixedHeadersOverHttp11) {
    TLocalHttpServer server;
    THttpClient client(FastOptions());
    EXPECT_EQ(client.Get(server.BaseUrl() + QStringLiteral("/ver/2.5.2.24/latest-version.txt")), "2.5.2.24");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine, "GET /ver/2.5.2.24/latest-version.txt HTTP/1.1");
    EXPECT_TRUE(requests[0].Headers.contains("Accept: text/xml, */*\r\n"));
    EXPECT_TRUE(requests[0].Headers.contains("User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"));
}

struct TGetCase {
    const char* Path;
    bool Succeeds;
    const char* Body;
};

class HttpGetTest : public ::testing::TestWithParam<TGetCase> {};

TEST_P(HttpGetTest, SuccessOnlyWithA2xxBodyWithinTheLimits) {
    TLocalHttpServer server;
    THttpClientOptions options = FastOptions();
    options.TotalTimeoutMs = 700; // the "never" answer ends by this
    THttpClient client(options);
    const QString url = server.BaseUrl() + QString::fromUtf8(GetParam().Path);
    if (GetParam().Succeeds) {
        EXPECT_EQ(client.Get(url), QByteArray(GetParam().Body));
    } else {
        EXPECT_THROW(client.Get(url), EHttpError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpGetTest,
    ::testing::Values(TGetCase{"/hops/1/latest-version.txt", true, "9.9"},
                      TGetCase{"/hops/15/latest-version.txt", true, "9.9"},    // the limit itself
                      TGetCase{"/hops/16/latest-version.txt", false, nullptr}, // one over it
                      TGetCase{"/loop/x/latest-version.txt", false, nullptr},
                      TGetCase{"/tofile/x/latest-version.txt", false, nullptr},
                      TGetCase{"/status/404/latest-version.txt", false, nullptr},
                      TGetCase{"/status/500/latest-version.txt", false, nullptr},
                      TGetCase{"/status/301/latest-version.txt", false, nullptr}, // redirect without Location
                      TGetCase{"/status/204/latest-version.txt", true, ""},
                      TGetCase{"/big/x/latest-version.txt", false, nullptr},
                      TGetCase{"/never/x/latest-version.txt", false, nullptr},
                      TGetCase{"/setcookie/abc/latest-version.txt", true, "9.0"}, // sent back on the redirect
                      TGetCase{"/needcookie/x/latest-version.txt", false, nullptr}));

TEST(HttpClient, CookiesLastForTheRunAndNotAcrossClients) {
    TLocalHttpServer server;
    {
        THttpClient client(FastOptions());
        EXPECT_THROW(client.Get(server.BaseUrl() + QStringLiteral("/needcookie/x/latest-version.txt")),
                     EHttpError);
        EXPECT_EQ(client.Get(server.BaseUrl() + QStringLiteral("/setcookieonly/s1/latest-version.txt")),
                  "0.1");
        EXPECT_EQ(client.Get(server.BaseUrl() + QStringLiteral("/needcookie/x/latest-version.txt")), "9.0");
        EXPECT_TRUE(server.Requests().back().Headers.contains("Cookie: session=s1"));
    }
    THttpClient fresh(FastOptions()); // a new run starts without them
    EXPECT_THROW(fresh.Get(server.BaseUrl() + QStringLiteral("/needcookie/x/latest-version.txt")),
                 EHttpError);
}

TEST(HttpClient, UnreachableServerAndBadAddressesFail) {
    THttpClient client(FastOptions());
    for (const char* url : {"http://127.0.0.1:1/latest-version.txt", "file:///etc/hostname",
                            "ftp://127.0.0.1/x", "not a url", ""}) {
        EXPECT_THROW(client.Get(QString::fromUtf8(url)), EHttpError) << url;
    }
}

struct TDecodeCase {
    QByteArray Bytes;
    QString Text;
};

TEST(HttpClient, BodyDecodingDropsTheByteOrderMark) {
    const std::vector<TDecodeCase> cases = {
        {"2.5.2.24", QStringLiteral("2.5.2.24")},
        {"\xEF\xBB\xBF"
         "2.6",
         QStringLiteral("2.6")},
        {QByteArray("\xFF\xFE"
                    "2\0.\0"
                    "6\0",
                    8),
         QStringLiteral("2.6")},
        {QByteArray("\xFE\xFF\0"
                    "2\0.\0"
                    "6",
                    8),
         QStringLiteral("2.6")},
        {"caf\xC3\xA9", QStringLiteral(u"caf\u00e9")},
        {"caf\xE9", QStringLiteral(u"caf\u00e9")}, // not UTF-8: taken byte by byte
        {"", QString()},
    };
    for (const TDecodeCase& c : cases)
        EXPECT_EQ(DecodeHttpBody(c.Bytes), c.Text) << c.Bytes.toHex().constData();
}

} // namespace
