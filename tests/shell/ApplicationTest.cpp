// SPDX-License-Identifier: MIT
#include "Application.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

namespace {

struct THiddenCase {
    const char* Value; // nullptr: not set
    bool Hidden;
};

class StartHiddenTest : public ::testing::TestWithParam<THiddenCase> {
protected:
    void TearDown() override { qunsetenv("TALLYVOX_START_HIDDEN"); }
};

TEST_P(StartHiddenTest, OnlyTheValueOneStartsHidden) {
    if (GetParam().Value)
        qputenv("TALLYVOX_START_HIDDEN", QByteArray(GetParam().Value));
    else
        qunsetenv("TALLYVOX_START_HIDDEN");
    EXPECT_EQ(StartHidden(), GetParam().Hidden) << (GetParam().Value ? GetParam().Value : "(unset)");
}

const THiddenCase Cases[] = {{"1", true},  {nullptr, false}, {"", false},
                             {"0", false}, {"yes", false},   {" 1", false}};
INSTANTIATE_TEST_SUITE_P(Values, StartHiddenTest, ::testing::ValuesIn(Cases));

} // namespace
