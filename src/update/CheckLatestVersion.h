// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class THttpClient;

// The product web site: the environment's TALLYVOX_SITE_URL when set (empty switches the
// update check off), else the build's address. Without a trailing "/".
QString ProductSiteUrl();
QString VersionDocumentUrl(const QString& SiteUrl); // ".../latest-version.txt"
QUrl SiteRootUrl(const QString& SiteUrl);           // ".../"

// The version lists' joined texts ("0002.0005.0002.0024."), compared by UTF-16 code units; a
// text that is a prefix of the other is the smaller.
QString PaddedVersionText(const QString& Version);
bool IsNewerVersionPublished(const QString& ThisVersion, const QString& Published);

// Fetches the version document and, when the published version is newer than this program's,
// runs OfferDownload on the main thread and waits until it has ended. Every failure is silent.
void CheckLatestVersion(THttpClient& Http, const QString& SiteUrl,
                        const std::function<void()>& OfferDownload);

// How the offer meets the user: the modal dialog (its result code) and the browser.
struct TDownloadOffer {
    std::function<int()> ShowDialog;
    std::function<void(const QUrl&)> OpenUrl;
};

// Shows the dialog; on OK (result 1) opens the site's root address. Nothing is reported.
void OfferDownload(const TDownloadOffer& Offer, const QString& SiteUrl);
