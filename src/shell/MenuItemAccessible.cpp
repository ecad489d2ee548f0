#include "MenuItemAccessible.h"

#include <QAccessibleObject>
#include <QAction>
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

QAccessibleInterface* MenuItemFactory(const QString& ClassName, QObject* Object) {
    auto* item = qobject_cast<QAction*>(Object);
    if (ClassName != QStringLiteral("QAction") || !item || !item->text().contains(u'\t'))
        return nullptr;
    return new TMenuItemAccessible(item);
}
} // namespace

void InstallMenuItemAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&MenuItemFactory);
        return true;
    }();
    (void)installed;
}
