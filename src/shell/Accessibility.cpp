// SPDX-License-Identifier: MIT
#include "Accessibility.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QAction>
#include <QLineEdit>
#include <QMenu>

namespace {
class TMenuItemAccessible final : public QAccessibleObject, public QAccessibleActionInterface {
public:
    explicit TMenuItemAccessible(QAction* Item) : QAccessibleObject(Item) {}

    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(Menu()); }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QRect rect() const override {
        QMenu* menu = Menu();
        if (!menu)
            return {};
        const QRect geometry = menu->actionGeometry(Item());
        return QRect(menu->mapToGlobal(geometry.topLeft()), geometry.size());
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        QMenu* menu = Menu();
        state.disabled = !Item()->isEnabled();
        state.invisible = !Item()->isVisible() || !menu || !menu->isVisible();
        state.focusable = Item()->isEnabled();
        state.focused = state.selected = menu && menu->activeAction() == Item();
        return state;
    }
    QString text(QAccessible::Text Kind) const override {
        const QString text = Item()->text();
        const qsizetype tab = text.indexOf(u'\t');
        if (Kind == QAccessible::Name)
            return tab < 0 ? text : text.left(tab);
        if (Kind == QAccessible::Accelerator)
            return tab < 0 ? QString() : text.mid(tab + 1);
        return {};
    }
    void* interface_cast(QAccessible::InterfaceType Type) override {
        return Type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override {
        return Item()->isEnabled() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& Name) override {
        if (Name != pressAction() || !Item()->isEnabled())
            return;
        if (QMenu* menu = Menu())
            menu->hide();
        Item()->trigger();
    }
    QStringList keyBindingsForAction(const QString&) const override {
        return {text(QAccessible::Accelerator)};
    }

private:
    QAction* Item() const { return static_cast<QAction*>(object()); }
    QMenu* Menu() const {
        for (QObject* owner : Item()->associatedObjects())
            if (auto* menu = qobject_cast<QMenu*>(owner))
                return menu;
        return nullptr;
    }
};

// Read-only account of a masked field's shown text; typing goes to the field as usual.
class TMaskedFieldAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TMaskedFieldAccessible(QLineEdit* Field) : QAccessibleWidget(Field, QAccessible::EditableText) {}

    QString text(QAccessible::Text Kind) const override {
        return Kind == QAccessible::Value ? Shown() : QAccessibleWidget::text(Kind);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = !Field()->isReadOnly();
        state.selectableText = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType Type) override {
        return Type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this)
                                                  : QAccessibleWidget::interface_cast(Type);
    }

    void selection(int, int* Start, int* End) const override { *Start = *End = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return Field()->cursorPosition(); }
    void setCursorPosition(int Position) override { Field()->setCursorPosition(Position); }
    QString text(int Start, int End) const override {
        return End < 0 ? Shown().mid(Start) : Shown().mid(Start, End - Start);
    }
    int characterCount() const override { return static_cast<int>(Shown().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* Start, int* End) const override {
        *Start = *End = 0;
        return {};
    }

private:
    QLineEdit* Field() const { return static_cast<QLineEdit*>(widget()); }
    QString Shown() const { return Field()->displayText(); }
};

QAccessibleInterface* Factory(const QString& ClassName, QObject* Object) {
    if (ClassName == QStringLiteral("QAction")) {
        auto* item = qobject_cast<QAction*>(Object);
        return item && item->text().contains(u'\t') ? new TMenuItemAccessible(item) : nullptr;
    }
    if (ClassName == QStringLiteral("TMaskedLineEdit"))
        return new TMaskedFieldAccessible(static_cast<QLineEdit*>(Object));
    return nullptr;
}
} // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}
