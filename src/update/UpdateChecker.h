// SPDX-License-Identifier: MIT
#pragma once

#include "CheckLatestVersion.h"
#include "HttpClient.h"
#include "UpdateSchedule.h"

#include <QString>
#include <memory>

class QTimer;
class QWidget;
class TUpdateDialogForm;

// The update check of the main window, which owns it (and so destroys it before itself).
class TUpdateChecker final {
public:
    // Real clock; the site from ProductSiteUrl().
    TUpdateChecker(QWidget* MainWindow, IPrompt& Prompt, TUpdateTimeFile File);
    // Tests choose every outside part; an empty Offer member falls back to the dialog or browser.
    TUpdateChecker(QWidget* MainWindow, IPrompt& Prompt, const IClock& Clock, TUpdateTimeFile File,
                   QString SiteUrl, THttpClientOptions HttpOptions, TDownloadOffer Offer);
    ~TUpdateChecker();
    TUpdateChecker(const TUpdateChecker&) = delete;
    TUpdateChecker& operator=(const TUpdateChecker&) = delete;

    // The timer's tick: from the first tick on it runs every 3,600,001 ms. With no site address
    // the check is switched off and nothing else happens. Returns when the check (dialog
    // included) has ended.
    void CheckForUpdatesTimerTimer(QTimer& Timer);

    double NextUpdateCheck() const { return FSchedule.NextUpdateCheck(); }
    TUpdateDialogForm& UpdateDialogForm() { return *FUpdateDialogForm; }

private:
    void StartCheck();

    QString FSiteUrl;
    THttpClient FCheckForUpdatesHttpConnection;
    std::unique_ptr<TUpdateDialogForm> FUpdateDialogForm;
    TDownloadOffer FOffer;
    TUpdateSchedule FSchedule;
};
