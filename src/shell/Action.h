// SPDX-License-Identifier: MIT
#pragma once

#include <QKeySequence>
#include <QString>
#include <functional>
#include <vector>

class QAction;

// One command of the main window: caption, shortcut, enabled state, an optional update rule
// and the handler. Menus show it through linked menu items, each with a shortcut of its own
// that follows the action's shortcut until it is set apart.
class TAction final {
public:
    using THandler = std::function<void(TAction& Sender)>;

    TAction(QString Name, QString Caption, QKeySequence ShortCut);
    TAction(const TAction&) = delete;
    TAction& operator=(const TAction&) = delete;

    const QString& Name() const { return FName; }
    const QString& Caption() const { return FCaption; }
    const QKeySequence& ShortCut() const { return FShortCut; }
    bool Enabled() const { return FEnabled; }

    void SetCaption(const QString& Caption);
    void SetShortCut(const QKeySequence& ShortCut); // linked menu items take it too
    void SetEnabled(bool Enabled);

    void SetOnUpdate(THandler Handler) { FOnUpdate = std::move(Handler); }
    void SetOnExecute(THandler Handler) { FOnExecute = std::move(Handler); }

    // The update rule alone (before a menu opens).
    void Update();
    // Every trigger goes through here: update rule first, the handler only when enabled.
    // True when the handler ran (and returned).
    bool Execute();

    // Shows the action in a menu; the item's text is the caption and, after a TAB, the
    // item's own shortcut text. The item belongs to its menu.
    void Link(QAction* MenuItem);
    void SetItemShortCut(QAction* MenuItem, const QKeySequence& ShortCut);
    QKeySequence ItemShortCut(const QAction* MenuItem) const;

private:
    struct TLinkedItem {
        QAction* Item;
        QKeySequence ShortCut;
    };
    void RefreshItem(const TLinkedItem& Linked) const;
    void RefreshItems() const;

    QString FName;
    QString FCaption;
    QKeySequence FShortCut;
    bool FEnabled = true;
    THandler FOnUpdate;
    THandler FOnExecute;
    std::vector<TLinkedItem> FItems;
};
