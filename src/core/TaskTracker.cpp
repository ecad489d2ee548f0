// SPDX-License-Identifier: MIT
#include "TaskTracker.h"

#include "TaskTime.h"
#include "TickCounter.h"

#include <algorithm>
#include <limits>

QString SanitizeCaption(const QString& Caption) {
    // Nearly every caption is clean: share it rather than copy it.
    if (std::none_of(Caption.cbegin(), Caption.cend(),
                     [](QChar c) { return c == u'\r' || c == u'\n' || c == QChar(0); }))
        return Caption;
    QString result = Caption;
    result.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& c : result) {
        if (c == u'\r' || c == u'\n' || c == QChar(0))
            c = u' ';
    }
    return result;
}

TTaskTracker::TTaskTracker(const ITickCounter& Ticks, QString ApplicationTitle)
    : FTicks(Ticks), FApplicationTitle(std::move(ApplicationTitle)), FTitle(FApplicationTitle) {}

TTaskTracker::~TTaskTracker() = default;

int TTaskTracker::IndexOf(const TTaskRow* Row) const {
    // Compares addresses only: Row may be a row that was removed and freed.
    const auto it = std::find_if(FRows.begin(), FRows.end(), [Row](const auto& r) { return r.get() == Row; });
    return it == FRows.end() ? -1 : static_cast<int>(it - FRows.begin());
}

QString TTaskTracker::TrayTip() const {
    QString tip = FTitle.left(TrayTipLimit);
    // Never leave half of a surrogate pair at the cut.
    if (tip.size() == TrayTipLimit && tip.back().isHighSurrogate())
        tip.chop(1);
    return tip;
}

void TTaskTracker::AddObserver(ITaskTrackerObserver& Observer) {
    FObservers.push_back(&Observer);
}

void TTaskTracker::RemoveObserver(ITaskTrackerObserver& Observer) {
    FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), &Observer), FObservers.end());
}

TTaskRow& TTaskTracker::AppendTask(const QString& Caption) {
    const int index = Count();
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TaskRowAboutToBeInserted(index); });
    auto row = std::make_unique<TTaskRow>();
    row->FCaption = SanitizeCaption(Caption);
    static const QString Zero = TTaskDuration::Build(0, 0, 0, false); // "0:00", shared by new rows
    row->FTimeText = Zero;
    row->FIndex = index;
    TTaskRow& added = *row;
    FRows.push_back(std::move(row));
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TaskRowInserted(index); });
    return added;
}

void TTaskTracker::AccumulateTime(TTaskRow& Task) {
    const std::uint32_t now = FTicks.Now();
    const std::uint32_t delta = now - Task.FClock.LastTick;
    const std::uint32_t room = std::numeric_limits<std::uint32_t>::max() - Task.FClock.ElapsedMs;
    const std::uint32_t charged = std::min(delta, room);
    Task.FClock.ElapsedMs += charged;
    Task.FClock.LastTick = now;
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TimeCharged(Task, charged); });
    RefreshTaskTime(Task);
}

void TTaskTracker::RefreshTaskTime(TTaskRow& Task) {
    const std::uint32_t ms = Task.FClock.ElapsedMs;
    const auto hours = static_cast<std::int32_t>(ms / 3600000u);
    const auto minutes = static_cast<std::int32_t>((ms % 3600000u) / 60000u);
    const auto seconds = static_cast<std::int32_t>((ms % 60000u) / 1000u);
    QString text = TTaskDuration::Build(hours, minutes, seconds, false);
    if (text != Task.FTimeText) {
        Task.FTimeText = std::move(text);
        NotifyRowChanged(Task, TTaskRowPart::TimeText);
    }
}

void TTaskTracker::SetActiveTask(TTaskRow* Task, bool Force) {
    if (!Force && Task == FActiveTask)
        return;
    if (FActiveTask)
        AccumulateTime(*FActiveTask);
    if (Task) {
        Task->FClock.LastTick = FTicks.Now();
        AccumulateTime(*Task);
        FTitle = Task->FCaption + QStringLiteral(" - ") + FApplicationTitle;
    } else {
        FTitle = QStringLiteral("(idle) - ") + FApplicationTitle;
    }
    FLastActiveTask = FActiveTask;
    FActiveTask = Task;
    FTrayImageIndex = FActiveTask ? ActiveImageIndex : IdleImageIndex;
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TrackingOutputsChanged(); });
}

void TTaskTracker::Tick() {
    if (FActiveTask)
        AccumulateTime(*FActiveTask);
}

void TTaskTracker::SetCaption(TTaskRow& Task, const QString& Caption) {
    Task.FCaption = SanitizeCaption(Caption);
    NotifyRowChanged(Task, TTaskRowPart::Caption);
}

void TTaskTracker::SetElapsedMs(TTaskRow& Task, std::uint32_t ElapsedMs) {
    Task.FClock.ElapsedMs = ElapsedMs;
    RefreshTaskTime(Task);
}

void TTaskTracker::ResetTask(TTaskRow& Task) {
    Task.FClock.ElapsedMs = 0;
    Task.FClock.LastTick = FTicks.Now();
    RefreshTaskTime(Task);
}

void TTaskTracker::RemoveTasks(const std::vector<TTaskRow*>& Tasks) {
    std::vector<TTaskRow*> collected;
    for (const auto& row : FRows) {
        if (std::find(Tasks.begin(), Tasks.end(), row.get()) == Tasks.end())
            continue;
        collected.push_back(row.get());
        if (row.get() == FActiveTask)
            SetActiveTask(nullptr, false);
    }
    if (std::find(collected.begin(), collected.end(), FLastActiveTask) != collected.end())
        FLastActiveTask = nullptr;
    // Removed from the bottom up, so that a long list renumbers only the rows below each gap.
    for (auto it = collected.rbegin(); it != collected.rend(); ++it)
        RemoveRowAt((*it)->FIndex);
}

void TTaskTracker::RemoveRowAt(int Index) {
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TaskRowAboutToBeRemoved(Index); });
    FRows.erase(FRows.begin() + Index);
    for (std::size_t i = static_cast<std::size_t>(Index); i < FRows.size(); ++i)
        FRows[i]->FIndex = static_cast<int>(i);
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TaskRowRemoved(Index); });
}

void TTaskTracker::NotifyRowChanged(const TTaskRow& Task, TTaskRowPart Part) {
    Notify([&](ITaskTrackerObserver& Observer) { Observer.TaskRowChanged(Task.FIndex, Part); });
}
