// SPDX-License-Identifier: MIT
#include "HistoryReport.h"
#include "MainFormFixture.h"

#include <QStringList>

namespace {
struct TBoundaryCase;

// A window with tasks A and B whose history is read back as "caption seconds" per interval.
class HistoryBoundaryTest : public MainFormFixture, public ::testing::WithParamInterface<TBoundaryCase> {
public:
    void Run(int Row) {
        Select({Row});
        Form->ExecuteAction(Form->TaskRun);
    }
    void Wait(int Seconds) { // the tracking tick included
        Ticks.Advance(static_cast<std::uint32_t>(Seconds) * 1000u);
        Form->Timer1Timer();
    }
    void Advance(std::uint32_t Ms) { Ticks.Advance(Ms); }
    void Do(TAction TMainForm::*Action, int Row = -1) {
        if (Row >= 0)
            Select({Row});
        Form->ExecuteAction(Form.get()->*Action);
    }
    void Answer(const QString& Text) { Prompt.InputAnswers.push_back(Text); }
    TMainForm& Window() { return *Form; }
    QStringList Recorded() {
        Form->TaskStore().Flush();
        QStringList intervals;
        HistoryExport(DataFolder() + QStringLiteral("/history.sqlite"), std::nullopt, std::nullopt,
                      [&](const QByteArray& Bytes) {
                          const QString row = QString::fromUtf8(Bytes).trimmed();
                          intervals << row.section(u',', 0, 0) + u' ' +
                                           row.section(u',', 3).section(u'.', 0, 0);
                      });
        intervals.removeFirst(); // the header
        return intervals;
    }
};
using H = HistoryBoundaryTest;

// Every switch of the active task ends one interval and starts the next exactly there.
struct TBoundaryCase {
    const char* Name;
    std::function<void(H&)> Steps;
    const char* Intervals; // "caption seconds", one per interval, joined by "; "
};
void PrintTo(const TBoundaryCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}
} // namespace

TEST_P(HistoryBoundaryTest, EachSwitchEndsOneIntervalAndStartsTheNext) {
    CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}});
    GetParam().Steps(*this);
    EXPECT_EQ(Recorded().join(QStringLiteral("; ")), QString::fromLatin1(GetParam().Intervals));
}

INSTANTIATE_TEST_SUITE_P(Switches, HistoryBoundaryTest,
                         ::testing::Values(TBoundaryCase{"run and stop (the inactivity stop's command)",
                                                         [](H& T) {
                                                             T.Run(0);
                                                             T.Wait(3);
                                                             T.Do(&TMainForm::TaskStop);
                                                             T.Wait(5);
                                                         },
                                                         "A 3"},
                                           TBoundaryCase{"run another task",
                                                         [](H& T) {
                                                             T.Run(0);
                                                             T.Wait(2);
                                                             T.Run(1);
                                                             T.Wait(1);
                                                         },
                                                         "A 2; B 1"},
                                           TBoundaryCase{"pause and resume",
                                                         [](H& T) {
                                                             T.Run(0);
                                                             T.Wait(2);
                                                             T.Do(&TMainForm::AppToggleTracking);
                                                             T.Wait(60);
                                                             T.Do(&TMainForm::AppToggleTracking);
                                                             T.Wait(1);
                                                         },
                                                         "A 2; A 1"},
                                           TBoundaryCase{"rename of the active task",
                                                         [](H& T) {
                                                             T.Run(0);
                                                             T.Wait(2);
                                                             T.Answer(QStringLiteral("C"));
                                                             T.Do(&TMainForm::TaskEdit, 0);
                                                             T.Wait(1);
                                                         },
                                                         "A 2; C 1"},
                                           TBoundaryCase{"remove of the active task, then reset of another",
                                                         [](H& T) {
                                                             T.Run(1);
                                                             T.Wait(4);
                                                             T.Run(0);
                                                             T.Wait(2);
                                                             T.Do(&TMainForm::TaskDelete, 0);
                                                             T.Do(&TMainForm::TaskReset,
                                                                  0); // B: the history keeps its 4 s
                                                         },
                                                         "B 4; A 2"},
                                           TBoundaryCase{"reset of the running task",
                                                         [](H& T) {
                                                             T.Run(0);
                                                             T.Wait(2);
                                                             T.Do(&TMainForm::TaskReset, 0);
                                                             T.Wait(1);
                                                         },
                                                         "A 3"},
                                           TBoundaryCase{"exit",
                                                         [](H& T) {
                                                             T.Run(0);
                                                             T.Advance(1500);
                                                             T.Do(&TMainForm::AppExit);
                                                         },
                                                         "A 1"},
                                           TBoundaryCase{"session end and termination signals",
                                                         [](H& T) {
                                                             T.Run(1);
                                                             T.Advance(2500);
                                                             T.Window().SaveTasksQuietly();
                                                         },
                                                         "B 2"}));
