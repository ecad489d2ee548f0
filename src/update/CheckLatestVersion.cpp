// SPDX-License-Identifier: MIT
#include "CheckLatestVersion.h"

#include "BackgroundCalls.h"
#include "Functions.h"
#include "HttpClient.h"
#include "Prompt.h"
#include "SiteUrl.h"

#include <QStringList>
#include <algorithm>

QString ProductSiteUrl() {
    QString site = qEnvironmentVariableIsSet("TALLYVOX_SITE_URL") ? qEnvironmentVariable("TALLYVOX_SITE_URL")
                                                                  : QString::fromUtf8(BuiltInSiteUrl());
    site = site.trimmed();
    while (site.endsWith(u'/'))
        site.chop(1);
    return site;
}

QString VersionDocumentUrl(const QString& SiteUrl) {
    return SiteUrl + QStringLiteral("/latest-version.txt");
}

QUrl SiteRootUrl(const QString& SiteUrl) {
    return QUrl(SiteUrl + u'/');
}

QString PaddedVersionText(const QString& Version) {
    QStringList parts = SplitVersionText(Version);
    PadVersionParts(parts);
    return JoinVersionParts(parts);
}

bool IsNewerVersionPublished(const QString& ThisVersion, const QString& Published) {
    const QString thisText = PaddedVersionText(ThisVersion);
    const QString latestText = PaddedVersionText(Published);
    return std::lexicographical_compare(thisText.utf16(), thisText.utf16() + thisText.size(),
                                        latestText.utf16(), latestText.utf16() + latestText.size());
}

void CheckLatestVersion(THttpClient& Http, const QString& SiteUrl,
                        const std::function<void()>& OfferDownload) {
    IBackgroundCallPtr offer;
    try {
        const QString latest = TrimControl(DecodeHttpBody(Http.Get(VersionDocumentUrl(SiteUrl))));
        if (IsNewerVersionPublished(GetFileVersionString(), latest))
            offer = TBackgroundCalls::RunInMainThread(OfferDownload);
    } catch (...) {
        // The check never bothers the user: no network, a server error, anything.
    }
    try {
        offer.Release(); // on a worker: waits until the user has closed the dialog
    } catch (...) {
    }
}

void OfferDownload(const TDownloadOffer& Offer, const QString& SiteUrl) {
    try {
        if (Offer.ShowDialog() == mrOk)
            Offer.OpenUrl(SiteRootUrl(SiteUrl)); // the browser's answer is not looked at
    } catch (...) {
    }
}
