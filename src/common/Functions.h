// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// S unchanged when it has Width characters or more, else filled on the left with C.
QString PadLeft(const QString& S, QChar C, int Width);

// Fills every part of a version to four digits, so that versions compare as texts.
void PadVersionParts(QStringList& Parts);

inline const QString& IfThenStr(bool Condition, const QString& IfTrue, const QString& IfFalse) {
    return Condition ? IfTrue : IfFalse;
}

// The program's version as "major.minor.release.build", or empty text when the build
// carries no version (tests switch that on with SetNoVersionResourceForTesting).
QString GetFileVersionString();
void SetNoVersionResourceForTesting(bool NoVersionResource);

// A string list with "." as its line separator: how version texts are split and joined.
QStringList SplitVersionText(const QString& Text);
QString JoinVersionParts(const QStringList& Parts);

// Removes leading and trailing characters with codes up to 32 (blanks and control characters).
QString TrimControl(const QString& Text);

// At most the first DisplayLimit characters of Text (no surrogate pair split): what the window
// title and the list show, so that a huge caption costs what a short one does. The stored text
// stays whole.
constexpr qsizetype DisplayLimit = 1024;
QString DisplayPrefix(const QString& Text);
