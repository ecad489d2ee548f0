// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// What both ends of the single-instance channel agree on. A request is one line: the instance
// name alone (a plain second start), or the name, a blank and a command word. Every answer
// line is "ok", or "ok", a Tab and the answer's text.
inline const QByteArray AckLine = QByteArrayLiteral("ok\n");

// The word that turns a connection into a follower of the status: the running instance answers
// with the current status line and then sends one more line at each change.
inline const QString FollowWord = QStringLiteral("follow");

inline QByteArray MessageLine(const QString& Message) {
    return Message.toUtf8() + '\n';
}
