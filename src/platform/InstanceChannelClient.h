// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

// A later start's end of the channel: the plain message, command requests and following the
// status. Works without an application object.

// The sending end: connects to FullName, sends Message and waits for the acknowledgement, all
// within Bound, so a hung first instance cannot hang a second start. Retries the connection
// within the bound, for a holder still starting up. True when the acknowledgement came.
// Works without an application object.
bool SendInstanceMessage(const QString& FullName, const QString& Message, std::chrono::milliseconds Bound);

// A command request for the running instance: the instance name, a blank and the word.
QString InstanceCommandMessage(const QString& InstanceName, const QString& Command);

// What a command request got back.
struct TInstanceReply {
    enum class TState { Answered, NobodyListens, NoAnswer };
    TState State = TState::NoAnswer;
    QByteArray Text; // the answer's text, without "ok" and the line break
};

// Sends a command request and waits for the one-line answer within Bound. WaitForListener
// retries the connection within the bound (a holder still starting up); without it a channel
// that nobody listens on answers NobodyListens at once. Works without an application object.
TInstanceReply RequestFromInstance(const QString& FullName, const QString& Message,
                                   std::chrono::milliseconds Bound, bool WaitForListener);

// Follows the status of the instance listening on FullName for as long as the process lives,
// never starting one. Message is the follow request (InstanceCommandMessage with "follow").
// Show runs with the text of each status line the instance sends (the current one first, then
// one per change), and with nothing when no instance runs or the one followed has ended. A new
// instance is noticed through a watch on the channel's folder, without looking again and again.
void FollowInstance(const QString& FullName, const QString& Message,
                    const std::function<void(const std::optional<QByteArray>&)>& Show);
