// SPDX-License-Identifier: MIT
#include "CheckLatestVersion.h"

#include "BackgroundCalls.h"
#include "Functions.h"
#include "HttpClient.h"
#include "LocalHttpServer.h"
#include "Prompt.h"
#include "SiteUrl.h"

#include <gtest/gtest.h>

namespace {

struct TCompareCase {
    const char* This;
    const char* Published;
    bool Newer;
};

class VersionCompareTest : public ::testing::TestWithParam<TCompareCase> {};

TEST_P(VersionCompareTest, PaddedPartsCompareAsText) {
    EXPECT_EQ(
        IsNewerVersionPublished(QString::fromUtf8(GetParam().This), QString::fromUtf8(GetParam().Published)),
        GetParam().Newer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionCompareTest,
    ::testing::Values(TCompareCase{"2.5.2.24", "2.5.10.1", true}, TCompareCase{"2.5.2.24", "2.5.2.24", false},
                      TCompareCase{"2.5.2.24", "2.5.2.24.", false}, TCompareCase{"2.5.2.24", "2.5", false},
                      TCompareCase{"2.5.2.24", "2.6", true}, TCompareCase{"2.5.2.24", "3", true},
                      TCompareCase{"2.5.2.24", "2.5.2.25", true}, TCompareCase{"2.5.2.24", "2.5.2.3", false},
                      TCompareCase{"2.5.10000.0", "2.5.9999.0", true}, TCompareCase{"2.5.2.24", "", false},
                      TCompareCase{"", "2.5", true}, TCompareCase{"", "", false},
                      TCompareCase{"2.5.2.24", "<html>", true}, TCompareCase{"2.5.2.24", "Version 3", true},
                      TCompareCase{"2.5.2.24", "1.99.99.99", false}));

TEST(VersionCompare, SplittingKeepsEmptyPartsButNoEmptyLastOne) {
    EXPECT_EQ(PaddedVersionText(QStringLiteral("2.5.2.24")), QStringLiteral("0002.0005.0002.0024."));
    EXPECT_EQ(PaddedVersionText(QStringLiteral(".5")), QStringLiteral("0000.0005."));
    EXPECT_EQ(PaddedVersionText(QStringLiteral("2..5")), QStringLiteral("0002.0000.0005."));
    EXPECT_EQ(PaddedVersionText(QStringLiteral("2.")), QStringLiteral("0002."));
    EXPECT_EQ(PaddedVersionText(QString()), QString());
}

struct TServerCase {
    const char* Path; // the site address under the test server
    bool Offer;
};

class CheckAgainstServerTest : public ::testing::TestWithParam<TServerCase> {};

// The check on the main thread: the offer runs at once inside it.
TEST_P(CheckAgainstServerTest, OffersOnlyANewerPublishedVersion) {
    TLocalHttpServer server;
    THttpClientOptions options;
    options.ConnectTimeoutMs = 1000;
    options.TotalTimeoutMs = 700;
    options.MaxBodyBytes = 4096;
    THttpClient client(options);
    int offers = 0;
    CheckLatestVersion(client, server.BaseUrl() + QString::fromUtf8(GetParam().Path), [&] { ++offers; });
    EXPECT_EQ(offers, GetParam().Offer ? 1 : 0);
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_TRUE(server.Requests().front().RequestLine.endsWith("/latest-version.txt HTTP/1.1"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckAgainstServerTest,
    ::testing::Values(TServerCase{"/ver/2.5.10.1", true}, TServerCase{"/ver/2.5.2.24", false},
                      TServerCase{"/ver/2.5", false}, TServerCase{"/ver/2.6", true},
                      TServerCase{"/ver/3", true},
                      TServerCase{"/ver/%20%202.5.2.24%0D%0A", false},   // blanks and CR LF around it
                      TServerCase{"/raw/efbbbf322e352e322e3234", false}, // BOM + "2.5.2.24"
                      TServerCase{"/raw/efbbbf322e36", true},            // BOM + "2.6"
                      TServerCase{"/raw/", false},                       // empty document
                      TServerCase{"/raw/20200d0a", false},               // blanks only
                      TServerCase{"/html", true}, // an HTML page with 200 compares as text
                      TServerCase{"/hops/3", true}, TServerCase{"/loop", false},
                      TServerCase{"/tofile", false}, TServerCase{"/setcookie/k", true},
                      TServerCase{"/status/404", false}, TServerCase{"/status/500", false},
                      TServerCase{"/big", false}, TServerCase{"/never", false}));

TEST(CheckLatestVersion, UnreachableSiteIsSilent) {
    THttpClientOptions options;
    options.ConnectTimeoutMs = 500;
    options.TotalTimeoutMs = 500;
    THttpClient client(options);
    int offers = 0;
    EXPECT_NO_THROW(CheckLatestVersion(client, QStringLiteral("http://127.0.0.1:1"), [&] { ++offers; }));
    EXPECT_EQ(offers, 0);
}

TEST(CheckLatestVersion, WithoutAVersionOfItsOwnAnyDocumentIsNewer) {
    TLocalHttpServer server;
    THttpClient client;
    SetNoVersionResourceForTesting(true);
    int offers = 0;
    CheckLatestVersion(client, server.BaseUrl() + QStringLiteral("/ver/0.0.0.1"), [&] { ++offers; });
    SetNoVersionResourceForTesting(false);
    EXPECT_EQ(offers, 1);
}

TEST(CheckLatestVersion, OfferRunsOnTheMainThreadWhileTheWorkerWaits) {
    TBackgroundCallsPool pool(2);
    TLocalHttpServer server;
    THttpClient client;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id checkThread, offerThread;
    IBackgroundCallPtr check = TBackgroundCalls::Run([&] {
        checkThread = std::this_thread::get_id();
        CheckLatestVersion(client, server.BaseUrl() + QStringLiteral("/ver/9.0"),
                           [&] { offerThread = std::this_thread::get_id(); });
    });
    check.Release();
    EXPECT_EQ(offerThread, mainThread);
    (void)checkThread; // a worker, or the main thread when it took the call back first
}

struct TOfferCase {
    int DialogResult;
    bool Opens;
};

TEST(OfferDownload, OnlyOkOpensTheSiteRoot) {
    for (const TOfferCase c : {TOfferCase{mrOk, true}, TOfferCase{mrCancel, false}, TOfferCase{mrNone, false},
                               TOfferCase{mrClose, false}}) {
        std::vector<QUrl> opened;
        int dialogs = 0;
        OfferDownload(TDownloadOffer{[&] {
                                         ++dialogs;
                                         return c.DialogResult;
                                     },
                                     [&](const QUrl& Url) { opened.push_back(Url); }},
                      QStringLiteral("http://tallyvox.example"));
        EXPECT_EQ(dialogs, 1);
        ASSERT_EQ(opened.size(), c.Opens ? 1u : 0u) << c.DialogResult;
        if (c.Opens) {
            EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://tallyvox.example/")));
        }
    }
}

TEST(OfferDownload, AFailingBrowserIsNotReported) {
    EXPECT_NO_THROW(
        OfferDownload(TDownloadOffer{[] { return int(mrOk); },
                                     [](const QUrl&) { throw EAppError(QStringLiteral("no browser")); }},
                      QStringLiteral("http://x")));
}

TEST(ProductSite, EnvironmentOverridesTheBuildAndEmptySwitchesOff) {
    const QByteArray saved = qgetenv("TALLYVOX_SITE_URL");
    const bool wasSet = qEnvironmentVariableIsSet("TALLYVOX_SITE_URL");
    qputenv("TALLYVOX_SITE_URL", "http://127.0.0.1:8080/");
    EXPECT_EQ(ProductSiteUrl(), QStringLiteral("http://127.0.0.1:8080"));
    EXPECT_EQ(VersionDocumentUrl(ProductSiteUrl()),
              QStringLiteral("http://127.0.0.1:8080/latest-version.txt"));
    qputenv("TALLYVOX_SITE_URL", "");
    EXPECT_TRUE(ProductSiteUrl().isEmpty());
    qunsetenv("TALLYVOX_SITE_URL");
    EXPECT_EQ(ProductSiteUrl(), QString::fromUtf8(BuiltInSiteUrl()).trimmed());
    if (wasSet)
        qputenv("TALLYVOX_SITE_URL", saved);
}

} // namespace
