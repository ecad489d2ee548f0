// SPDX-License-Identifier: MIT
// The task commands and their update rules.
#include "MainFormUnit.h"
#include "Prompt.h"
#include "TaskListModel.h"
#include "TaskListView.h"

#include <QItemSelectionModel>

namespace {
constexpr int CaptionMaxLength = 255;
} // namespace

std::vector<TTaskRow*> TMainForm::SelectedTasks() {
    std::vector<TTaskRow*> selected;
    const QItemSelectionModel* selection = ListView1->selectionModel();
    for (int i = 0; i < FTracker.Count(); ++i) {
        if (selection->isRowSelected(i, QModelIndex()))
            selected.push_back(&FTracker.Row(i));
    }
    return selected;
}

TTaskRow* TMainForm::SelectedTaskIfFocused() {
    if (focusWidget() != ListView1)
        return nullptr;
    const std::vector<TTaskRow*> selected = SelectedTasks();
    return selected.empty() ? nullptr : selected.front();
}

namespace {
QString AskTaskCaption(IPrompt& Prompt, bool IsNew, const QString& Default) {
    const std::optional<QString> answer =
        Prompt.InputBox(IsNew ? QStringLiteral("New task") : QStringLiteral("Edit task"),
                        QStringLiteral("Caption"), Default, CaptionMaxLength);
    return answer.value_or(Default);
}
} // namespace

void TMainForm::TaskAddActionExecute(TAction& /*Sender*/) {
    const QString caption = AskTaskCaption(FPrompt, true, QString());
    if (caption.isEmpty())
        return;
    FTracker.AppendTask(caption);
    FStore.Save();
}

void TMainForm::TaskEditUpdate(TAction& Sender) {
    Sender.SetEnabled(!SelectedTasks().empty());
}

void TMainForm::TaskEditExecute(TAction& /*Sender*/) {
    const std::vector<TTaskRow*> selected = SelectedTasks();
    if (selected.empty())
        return;
    TTaskRow* row = selected.front();
    const QString caption = AskTaskCaption(FPrompt, false, row->Caption());
    // The box is modal and timers run meanwhile, but nothing removes rows behind its back;
    // still, never touch a row that left the list.
    if (caption.isEmpty() || FTracker.IndexOf(row) < 0)
        return;
    FTracker.SetCaption(*row, caption);
    if (row == FTracker.ActiveTask()) {
        FTracker.SetActiveTask(nullptr, false);
        FTracker.SetActiveTask(row, false);
    }
    FStore.Save();
}

void TMainForm::TaskRunUpdate(TAction& Sender) {
    const std::vector<TTaskRow*> selected = SelectedTasks();
    Sender.SetEnabled(!selected.empty() && selected.front() != FTracker.ActiveTask());
}

void TMainForm::TaskRunExecute(TAction& /*Sender*/) {
    FTracker.SetActiveTask(SelectedTaskIfFocused(), false);
}

void TMainForm::TaskStopUpdate(TAction& Sender) {
    Sender.SetEnabled(FTracker.ActiveTask() != nullptr);
}

void TMainForm::TaskStopExecute(TAction& /*Sender*/) {
    FTracker.SetActiveTask(nullptr, false);
    // The time charged up to the stop reaches the file now, not only at the next change;
    // it lands after any tick's save still in progress, never before it.
    FStore.Post();
}

void TMainForm::TaskDeleteUpdate(TAction& Sender) {
    Sender.SetEnabled(!SelectedTasks().empty());
}

void TMainForm::TaskDeleteExecute(TAction& /*Sender*/) {
    const std::vector<TTaskRow*> selected = SelectedTasks();
    if (selected.empty())
        return;
    FTracker.RemoveTasks(selected);
    FStore.Save();
}

void TMainForm::TaskResetUpdate(TAction& Sender) {
    Sender.SetEnabled(!SelectedTasks().empty());
}

void TMainForm::TaskResetExecute(TAction& /*Sender*/) {
    for (TTaskRow* row : SelectedTasks())
        FTracker.ResetTask(*row);
    FStore.Post();
}

void TMainForm::TaskSelectAllExecute(TAction& /*Sender*/) {
    if (FTracker.Count() == 0)
        return;
    const QItemSelection all(FModel->index(0, 0),
                             FModel->index(FTracker.Count() - 1, FModel->columnCount() - 1));
    ListView1->selectionModel()->select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QString TMainForm::ClipboardText(const TTaskTracker& Tracker, const std::vector<bool>& Selected) {
    QString text;
    const int count = Tracker.Count();
    for (int i = 0; i < count; ++i) {
        if (static_cast<std::size_t>(i) >= Selected.size() || !Selected[static_cast<std::size_t>(i)])
            continue;
        const TTaskRow& row = Tracker.Row(i);
        text += row.Caption() + u'\t' + row.TimeText();
        if (i < count - 1)
            text += QStringLiteral("\r\n");
    }
    return text;
}

void TMainForm::ClipboardCopyUpdate(TAction& Sender) {
    Sender.SetEnabled(!SelectedTasks().empty());
}

void TMainForm::ClipboardCopyExecute(TAction& /*Sender*/) {
    const std::vector<TTaskRow*> selected = SelectedTasks();
    if (selected.empty())
        return;
    std::vector<bool> marks(static_cast<std::size_t>(FTracker.Count()), false);
    for (const TTaskRow* row : selected)
        marks[static_cast<std::size_t>(row->Index())] = true;
    FServices.SetClipboardText(ClipboardText(FTracker, marks));
}

void TMainForm::ClipboardCutUpdate(TAction& Sender) {
    ClipboardCopyUpdate(Sender);
}

void TMainForm::ClipboardCutExecute(TAction& /*Sender*/) {
    // A copy that raises leaves the rows where they are.
    if (ClipboardCopy.Execute())
        TaskDelete.Execute();
}

void TMainForm::AppToggleTrackingUpdate(TAction& Sender) {
    Sender.SetEnabled(FTracker.ActiveTask() != nullptr || FTracker.LastActiveTask() != nullptr);
    Sender.SetCaption(FTracker.ActiveTask() ? QStringLiteral("Pause") : QStringLiteral("Resume"));
}

void TMainForm::AppToggleTrackingExecute(TAction& /*Sender*/) {
    if (FTracker.ActiveTask()) {
        FTracker.SetActiveTask(nullptr, false);
        FStore.Post();
    } else {
        FTracker.SetActiveTask(FTracker.LastActiveTask(), false);
    }
}
