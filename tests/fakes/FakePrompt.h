// SPDX-License-Identifier: MIT
#pragma once

#include "Prompt.h"

#include <deque>
#include <functional>
#include <vector>

// Answers dialogs from a script and records every question, so no test waits for a person.
class TFakePrompt final : public IPrompt {
public:
    std::optional<QString> InputBox(const QString& Caption, const QString& Prompt, const QString& Default,
                                    int MaxLength) override;
    int MessageBox(const TMessageBoxRequest& Request) override;

    // Answers, used in order; an empty queue cancels input boxes and closes message boxes.
    std::deque<std::optional<QString>> InputAnswers;
    std::deque<int> MessageAnswers;
    // Called instead of the queue when set, with the request (for answers that depend on it).
    std::function<int(const TMessageBoxRequest&)> OnMessage;

    struct TInputRequest {
        QString Caption, Prompt, Default;
        int MaxLength;
    };
    std::vector<TInputRequest> InputRequests;
    std::vector<TMessageBoxRequest> MessageRequests;
};
