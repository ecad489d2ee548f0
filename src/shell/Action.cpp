// SPDX-License-Identifier: MIT
#include "Action.h"

#include "ShortcutText.h"

#include <QAction>

TAction::TAction(QString Name, QString Caption, QKeySequence ShortCut)
    : FName(std::move(Name)), FCaption(std::move(Caption)), FShortCut(std::move(ShortCut)) {}

void TAction::SetCaption(const QString& Caption) {
    if (Caption == FCaption)
        return;
    FCaption = Caption;
    RefreshItems();
}

void TAction::SetShortCut(const QKeySequence& ShortCut) {
    FShortCut = ShortCut;
    for (TLinkedItem& linked : FItems)
        linked.ShortCut = ShortCut;
    RefreshItems();
}

void TAction::SetEnabled(bool Enabled) {
    if (Enabled == FEnabled)
        return;
    FEnabled = Enabled;
    RefreshItems();
}

void TAction::Update() {
    if (FOnUpdate)
        FOnUpdate(*this);
}

bool TAction::Execute() {
    Update();
    if (!FEnabled || !FOnExecute)
        return false;
    FOnExecute(*this);
    return true;
}

void TAction::Link(QAction* MenuItem) {
    FItems.push_back({MenuItem, FShortCut});
    RefreshItem(FItems.back());
}

void TAction::SetItemShortCut(QAction* MenuItem, const QKeySequence& ShortCut) {
    for (TLinkedItem& linked : FItems) {
        if (linked.Item == MenuItem) {
            linked.ShortCut = ShortCut;
            RefreshItem(linked);
        }
    }
}

QKeySequence TAction::ItemShortCut(const QAction* MenuItem) const {
    for (const TLinkedItem& linked : FItems) {
        if (linked.Item == MenuItem)
            return linked.ShortCut;
    }
    return {};
}

void TAction::RefreshItem(const TLinkedItem& Linked) const {
    // The shortcut is only shown: keys reach the actions through the window's key filter, so
    // a disabled action's key still reaches the list.
    const QString shortCutText = ShortCutToText(Linked.ShortCut);
    Linked.Item->setText(shortCutText.isEmpty() ? FCaption : FCaption + u'\t' + shortCutText);
    Linked.Item->setEnabled(FEnabled);
}

void TAction::RefreshItems() const {
    for (const TLinkedItem& linked : FItems)
        RefreshItem(linked);
}
