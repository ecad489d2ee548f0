// SPDX-License-Identifier: MIT
#include "HistoryReport.h"
#include "MainFormFixture.h"

#include <QRegularExpression>
#include <QStringList>
#include <map>

namespace {
// Every switch of the active task ends one interval and starts the next exactly there.
struct TBoundaryCase {
    const char* Name;
    // What the user does, one step per word: "run<row>", "wait<s>" (the tracking tick
    // included), "ms<n>" (time passes, no tick), "stop", "toggle", "edit<row>=<caption>",
    // "delete<row>", "reset<row>", "exit", "quiet" (the session-end and signal save).
    const char* Steps;
    const char* Intervals; // "caption seconds", one per interval, joined by "; "
};
void PrintTo(const TBoundaryCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

// A window with tasks A and B whose history is read back as "caption seconds" per interval.
class HistoryBoundaryTest : public MainFormFixture, public ::testing::WithParamInterface<TBoundaryCase> {
public:
    void Play(const QString& Steps) {
        for (const QString& step : Steps.split(u' ')) {
            const QString verb = step.section(QRegularExpression(QStringLiteral("[0-9=]")), 0, 0);
            const QString rest = step.mid(verb.size());
            const int number = rest.section(u'=', 0, 0).toInt();
            if (verb == QStringLiteral("wait") || verb == QStringLiteral("ms")) {
                Ticks.Advance(
                    static_cast<std::uint32_t>(verb == QStringLiteral("ms") ? number : number * 1000));
                if (verb == QStringLiteral("wait"))
                    Form->Timer1Timer();
            } else if (verb == QStringLiteral("quiet")) {
                Form->SaveTasksQuietly();
            } else {
                if (verb == QStringLiteral("edit"))
                    Prompt.InputAnswers.push_back(rest.section(u'=', 1));
                if (!rest.isEmpty())
                    Select({number});
                Form->ExecuteAction(*Actions.at(verb));
            }
        }
    }
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
    std::map<QString, TAction*> Actions;
};
} // namespace

TEST_P(HistoryBoundaryTest, EachSwitchEndsOneIntervalAndStartsTheNext) {
    CreateFormWith({{QStringLiteral("A"), 0}, {QStringLiteral("B"), 0}});
    Actions = {{QStringLiteral("run"), &Form->TaskRun},
               {QStringLiteral("stop"), &Form->TaskStop},
               {QStringLiteral("toggle"), &Form->AppToggleTracking},
               {QStringLiteral("edit"), &Form->TaskEdit},
               {QStringLiteral("delete"), &Form->TaskDelete},
               {QStringLiteral("reset"), &Form->TaskReset},
               {QStringLiteral("exit"), &Form->AppExit}};
    Play(QString::fromLatin1(GetParam().Steps));
    EXPECT_EQ(Recorded().join(QStringLiteral("; ")), QString::fromLatin1(GetParam().Intervals));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, HistoryBoundaryTest,
    ::testing::Values(TBoundaryCase{"run and stop (the inactivity stop's command)", "run0 wait3 stop wait5",
                                    "A 3"},
                      TBoundaryCase{"run another task", "run0 wait2 run1 wait1", "A 2; B 1"},
                      TBoundaryCase{"pause and resume", "run0 wait2 toggle wait60 toggle wait1", "A 2; A 1"},
                      TBoundaryCase{"rename of the active task", "run0 wait2 edit0=C wait1", "A 2; C 1"},
                      // B: the history keeps its 4 s through the reset
                      TBoundaryCase{"remove of the active task, then reset of another",
                                    "run1 wait4 run0 wait2 delete0 reset0", "B 4; A 2"},
                      TBoundaryCase{"reset of the running task", "run0 wait2 reset0 wait1", "A 3"},
                      TBoundaryCase{"exit", "run0 ms1500 exit", "A 1"},
                      TBoundaryCase{"session end and termination signals", "run1 ms2500 quiet", "B 2"}));
