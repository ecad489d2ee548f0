// SPDX-License-Identifier: MIT
#include "UpdateChecker.h"

#include "BackgroundCalls.h"
#include "FakeClock.h"
#include "FakePrompt.h"
#include "FakeUpdateTimeFile.h"
#include "Files.h"
#include "LocalHttpServer.h"
#include "Prompt.h"
#include "TempDir.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr double May7At6 = 41766.25;

struct TRig {
    TFakePrompt Prompt;
    TFakeClock Clock{May7At6};
    TFakeUpdateTimeFile File;
    TLocalHttpServer Server;
    int Dialogs = 0;
    std::vector<QUrl> Opened;
    std::thread::id DialogThread;

    std::unique_ptr<TUpdateChecker> Checker(const QString& SitePath, int Answer = mrOk) {
        THttpClientOptions http;
        http.ConnectTimeoutMs = 1000;
        http.TotalTimeoutMs = 1000;
        TDownloadOffer offer{[this, Answer] {
                                 ++Dialogs;
                                 DialogThread = std::this_thread::get_id();
                                 return Answer;
                             },
                             [this](const QUrl& Url) { Opened.push_back(Url); }};
        const QString site = SitePath.isNull() ? QString() : Server.BaseUrl() + SitePath;
        return std::make_unique<TUpdateChecker>(nullptr, Prompt, Clock, File.Bind(), site, http, offer);
    }
};

TEST(UpdateChecker, FirstTickSetsTheHourlyIntervalAndRunsTheDueCheck) {
    TBackgroundCallsPool pool(2);
    TRig rig;
    auto checker = rig.Checker(QStringLiteral("/ver/9.0.0.0"));
    QTimer timer;
    timer.setInterval(10000);
    timer.start();
    checker->CheckForUpdatesTimerTimer(timer);
    EXPECT_EQ(timer.interval(), 3600001);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(rig.Dialogs, 1); // the handler returned only after the dialog
    EXPECT_EQ(rig.DialogThread, std::this_thread::get_id());
    ASSERT_EQ(rig.Opened.size(), 1u);
    EXPECT_EQ(rig.Opened[0], QUrl(rig.Server.BaseUrl() + QStringLiteral("/ver/9.0.0.0/")));
    EXPECT_EQ(rig.File.Content, EncodeUpdateTime(OneDayLater(May7At6)));
    EXPECT_EQ(rig.Server.Requests().size(), 1u);

    rig.Clock.Set(May7At6 + 3600001.0 / 86400000.0);
    checker->CheckForUpdatesTimerTimer(timer); // an hour later: not due
    EXPECT_EQ(rig.Server.Requests().size(), 1u);
    EXPECT_EQ(timer.interval(), 3600001);
}

TEST(UpdateChecker, NoOfferForTheSameVersionAndFailuresStaySilent) {
    TBackgroundCallsPool pool(2);
    for (const char* path : {"/ver/2.5.2.24", "/status/500", "/loop"}) {
        TRig rig;
        auto checker = rig.Checker(QString::fromUtf8(path), mrOk);
        QTimer timer;
        checker->CheckForUpdatesTimerTimer(timer);
        EXPECT_EQ(rig.Dialogs, 0) << path;
        EXPECT_TRUE(rig.Prompt.MessageRequests.empty()) << path;
        EXPECT_EQ(rig.File.Writes, 1) << path; // moved ahead before the request
    }
}

TEST(UpdateChecker, CancelOpensNothing) {
    TRig rig;
    auto checker = rig.Checker(QStringLiteral("/ver/3"), mrCancel);
    QTimer timer;
    checker->CheckForUpdatesTimerTimer(timer); // no pool: the check runs right here
    EXPECT_EQ(rig.Dialogs, 1);
    EXPECT_TRUE(rig.Opened.empty());
}

TEST(UpdateChecker, EmptySiteAddressSwitchesTheCheckOff) {
    TRig rig;
    auto checker = rig.Checker(QString());
    QTimer timer;
    timer.setInterval(10000);
    checker->CheckForUpdatesTimerTimer(timer);
    EXPECT_EQ(timer.interval(), 3600001);
    EXPECT_EQ(rig.File.Writes, 0);
    EXPECT_EQ(rig.File.Reads, 0);
    EXPECT_TRUE(rig.Server.Requests().empty());
    EXPECT_EQ(checker->NextUpdateCheck(), 0.0);
}

TEST(UpdateChecker, StoresTheNextCheckInTheDataFolder) {
    TTempDir appData;
    const TFiles files(appData.File(QStringLiteral("bin")), appData.Path());
    const QString upd = files.Upd();
    ASSERT_TRUE(upd.startsWith(appData.Path()));
    WriteFileText(upd, QStringLiteral("  4675973146180146517\r\n")); // 7 May 2014 10:00
    TFakePrompt prompt;
    TFakeClock clock(May7At6);
    int checks = 0;
    TUpdateSchedule schedule(prompt, clock, UpdateTimeFileAt(upd), [&] { ++checks; });
    schedule.Tick();
    EXPECT_EQ(checks, 0);
    EXPECT_EQ(ReadFileText(upd), QStringLiteral("  4675973146180146517\r\n"));
    clock.Set(41766.5);
    schedule.Tick();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(ReadFileText(upd), EncodeUpdateTime(OneDayLater(41766.5)));
}

} // namespace
