// SPDX-License-Identifier: MIT
#include "ErrorReporting.h"

#include "Errors.h"
#include "FakePrompt.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {
using B = TDialogButton;

TEST(ErrorDialogTest, TextFillsPlaceholdersAndNamesTheUnderlyingError) {
    EXPECT_EQ(ErrorDialogText(QStringLiteral("Cannot save %s to %s"),
                              {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("Disk full")),
              QStringLiteral("Cannot save a to b\r\nUnderlying error: Disk full"));
    // Placeholders beyond the arguments stay; "%s" inside an argument or the error is literal.
    EXPECT_EQ(ErrorDialogText(QStringLiteral("%s and %s"), {QStringLiteral("%s")}, QStringLiteral("100%s")),
              QStringLiteral("%s and %s\r\nUnderlying error: 100%s"));
    EXPECT_EQ(ErrorDialogText(QStringLiteral("end %"), {QStringLiteral("x")}, QString()),
              QStringLiteral("end %\r\nUnderlying error: "));
}

struct TButtonsCase {
    const char* Name;
    std::vector<B> Given;
    std::vector<B> Shown;
    std::optional<B> Default;
};

class ShowErrorDialogTest : public ::testing::TestWithParam<TButtonsCase> {};

TEST_P(ShowErrorDialogTest, ButtonsInFixedOrderWithTheirDefault) {
    const TButtonsCase& c = GetParam();
    TFakePrompt prompt;
    prompt.MessageAnswers.push_back(mrRetry);
    const EFileError error(QStringLiteral("Stream write error"));
    int result = mrNone;
    switch (c.Given.size()) {
    case 1:
        result = ShowErrorDialog(prompt, QStringLiteral("Msg"), {}, error, {c.Given[0]});
        break;
    case 2:
        result = ShowErrorDialog(prompt, QStringLiteral("Msg"), {}, error, {c.Given[0], c.Given[1]});
        break;
    case 3:
        result =
            ShowErrorDialog(prompt, QStringLiteral("Msg"), {}, error, {c.Given[0], c.Given[1], c.Given[2]});
        break;
    default:
        FAIL() << "unsupported case";
    }
    EXPECT_EQ(result, mrRetry) << c.Name;
    ASSERT_EQ(prompt.MessageRequests.size(), 1u) << c.Name;
    const TMessageBoxRequest& request = prompt.MessageRequests[0];
    EXPECT_EQ(request.Caption, QStringLiteral("Error"));
    EXPECT_EQ(request.Icon, TMessageIcon::Error);
    EXPECT_EQ(request.Text, QStringLiteral("Msg\r\nUnderlying error: Stream write error"));
    EXPECT_EQ(request.Buttons, c.Shown) << c.Name;
    EXPECT_EQ(request.DefaultButton, c.Default) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ShowErrorDialogTest,
    ::testing::Values(TButtonsCase{"ok", {B::OK}, {B::OK}, B::OK},
                      TButtonsCase{"abort retry cancel",
                                   {B::Retry, B::Cancel, B::Abort},
                                   {B::Cancel, B::Abort, B::Retry},
                                   B::Retry},
                      TButtonsCase{"yes no", {B::No, B::Yes}, {B::Yes, B::No}, B::Yes},
                      TButtonsCase{"ok beats yes", {B::Yes, B::OK}, {B::Yes, B::OK}, B::OK},
                      TButtonsCase{"duplicates", {B::Cancel, B::Cancel}, {B::Cancel}, std::nullopt},
                      TButtonsCase{"close only", {B::Close}, {B::Close}, std::nullopt}));

struct TGeneralCase {
    QString Message, Text;
};

class GeneralErrorTextTest : public ::testing::TestWithParam<TGeneralCase> {};

TEST_P(GeneralErrorTextTest, AddsAFullStopAfterCharactersAboveIt) {
    EXPECT_EQ(GeneralErrorText(GetParam().Message), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, GeneralErrorTextTest,
    ::testing::Values(TGeneralCase{QStringLiteral("Disk full"), QStringLiteral("Disk full.")},
                      TGeneralCase{QStringLiteral("Done."), QStringLiteral("Done.")},
                      TGeneralCase{QStringLiteral("Really?"), QStringLiteral("Really?.")},
                      TGeneralCase{QStringLiteral("Stop!"), QStringLiteral("Stop!")},
                      TGeneralCase{QStringLiteral("a-"), QStringLiteral("a-")},
                      TGeneralCase{QStringLiteral("path/"), QStringLiteral("path/.")},
                      TGeneralCase{QStringLiteral("(2)"), QStringLiteral("(2)")},
                      TGeneralCase{QString(), QString()}));

TEST(ErrorDialogTest, GuardedHandlerShowsTheEscapedErrorAndRunsOn) {
    TFakePrompt prompt;
    bool after = false;
    RunGuarded(prompt, [] { throw EAppError(QStringLiteral("List index out of bounds (2)")); });
    RunGuarded(prompt, [] { throw std::runtime_error("plain failure"); });
    RunGuarded(prompt, [&] { after = true; });
    EXPECT_TRUE(after);
    ASSERT_EQ(prompt.MessageRequests.size(), 2u);
    EXPECT_EQ(prompt.MessageRequests[0].Caption, QStringLiteral("Tallyvox"));
    EXPECT_EQ(prompt.MessageRequests[0].Text, QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(prompt.MessageRequests[0].Icon, TMessageIcon::Error);
    EXPECT_EQ(prompt.MessageRequests[0].Buttons, std::vector<B>{B::OK});
    EXPECT_EQ(prompt.MessageRequests[1].Text, QStringLiteral("plain failure."));
}
} // namespace
