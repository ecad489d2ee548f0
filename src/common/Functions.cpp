// SPDX-License-Identifier: MIT
#include "Functions.h"

#include "Version.h"

#include <algorithm>

namespace {
bool gNoVersionResource = false;
}

QString PadLeft(const QString& S, QChar C, int Width) {
    if (S.size() >= Width)
        return S;
    QString padded(Width, C); // one allocation: the padding, then S over its end
    std::copy(S.cbegin(), S.cend(), padded.end() - S.size());
    return padded;
}

void PadVersionParts(QStringList& Parts) {
    for (QString& part : Parts)
        part = PadLeft(part, u'0', 4);
}

QString GetFileVersionString() {
    if (gNoVersionResource)
        return {};
    return QStringLiteral("%1.%2.%3.%4")
        .arg(TallyvoxVersion::Major)
        .arg(TallyvoxVersion::Minor)
        .arg(TallyvoxVersion::Release)
        .arg(TallyvoxVersion::Build);
}

void SetNoVersionResourceForTesting(bool NoVersionResource) {
    gNoVersionResource = NoVersionResource;
}

QStringList SplitVersionText(const QString& Text) {
    QStringList parts;
    qsizetype start = 0;
    while (start < Text.size()) {
        const qsizetype dot = Text.indexOf(u'.', start);
        if (dot < 0) {
            parts.append(Text.mid(start));
            break;
        }
        parts.append(Text.mid(start, dot - start));
        start = dot + 1;
    }
    return parts;
}

QString JoinVersionParts(const QStringList& Parts) {
    qsizetype size = 0;
    for (const QString& part : Parts)
        size += part.size() + 1;
    QString text;
    text.reserve(size);
    for (const QString& part : Parts) {
        text += part;
        text += u'.';
    }
    return text;
}

QString TrimControl(const QString& Text) {
    qsizetype first = 0;
    qsizetype last = Text.size();
    while (first < last && Text.at(first).unicode() <= 32)
        ++first;
    while (last > first && Text.at(last - 1).unicode() <= 32)
        --last;
    return Text.mid(first, last - first);
}

QString DisplayPrefix(const QString& Text) {
    if (Text.size() <= DisplayLimit)
        return Text;
    const bool splitsPair = Text.at(DisplayLimit - 1).isHighSurrogate();
    return Text.left(splitsPair ? DisplayLimit - 1 : DisplayLimit);
}
