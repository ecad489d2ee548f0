// SPDX-License-Identifier: MIT
#include "UpdateChecker.h"

#include "BackgroundCalls.h"
#include "UpdateDialogFormUnit.h"

#include <QDesktopServices>
#include <QTimer>

namespace {
constexpr int CheckForUpdatesInterval = 3600001; // an hour and a millisecond
}

TUpdateChecker::TUpdateChecker(QWidget* MainWindow, IPrompt& Prompt, TUpdateTimeFile File)
    : TUpdateChecker(MainWindow, Prompt, SystemClock(), std::move(File), ProductSiteUrl(), {}, {}) {}

TUpdateChecker::TUpdateChecker(QWidget* MainWindow, IPrompt& Prompt, const IClock& Clock,
                               TUpdateTimeFile File, QString SiteUrl, THttpClientOptions HttpOptions,
                               TDownloadOffer Offer)
    : FSiteUrl(std::move(SiteUrl)), FCheckForUpdatesHttpConnection(HttpOptions),
      FUpdateDialogForm(std::make_unique<TUpdateDialogForm>(MainWindow)), FOffer(std::move(Offer)),
      FSchedule(Prompt, Clock, std::move(File), [this] { StartCheck(); }) {
    if (!FOffer.ShowDialog)
        FOffer.ShowDialog = [this] { return FUpdateDialogForm->ShowModal(); };
    if (!FOffer.OpenUrl)
        FOffer.OpenUrl = [](const QUrl& Url) { QDesktopServices::openUrl(Url); };
}

TUpdateChecker::~TUpdateChecker() = default;

void TUpdateChecker::CheckForUpdatesTimerTimer(QTimer& Timer) {
    if (Timer.interval() != CheckForUpdatesInterval)
        Timer.setInterval(CheckForUpdatesInterval); // restarts the timer on the first tick only
    if (FSiteUrl.isEmpty())
        return;
    FSchedule.Tick();
}

void TUpdateChecker::StartCheck() {
    IBackgroundCallPtr check = TBackgroundCalls::Run([this] {
        CheckLatestVersion(FCheckForUpdatesHttpConnection, FSiteUrl,
                           [this] { OfferDownload(FOffer, FSiteUrl); });
    });
    check.Release(); // waits for the request, the comparison and any dialog
}
