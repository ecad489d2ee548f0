// SPDX-License-Identifier: MIT
#include "FakePrompt.h"

std::optional<QString> TFakePrompt::InputBox(const QString& Caption, const QString& Prompt,
                                             const QString& Default, int MaxLength) {
    InputRequests.push_back({Caption, Prompt, Default, MaxLength});
    if (InputAnswers.empty())
        return std::nullopt;
    const bool given = InputAnswers.front().has_value();
    const QString text = InputAnswers.front().value_or(QString());
    InputAnswers.pop_front();
    if (!given)
        return std::nullopt;
    return text;
}

int TFakePrompt::MessageBox(const TMessageBoxRequest& Request) {
    MessageRequests.push_back(Request);
    if (OnMessage)
        return OnMessage(Request);
    if (MessageAnswers.empty())
        return mrNone;
    const int answer = MessageAnswers.front();
    MessageAnswers.pop_front();
    return answer;
}
