// SPDX-License-Identifier: MIT
#include "ShortcutText.h"

#include <utility>

namespace {
QString KeyName(int Key) {
    static const std::pair<int, const char*> names[] = {
        {Qt::Key_Backspace, "BkSp"}, {Qt::Key_Tab, "Tab"},       {Qt::Key_Escape, "Esc"},
        {Qt::Key_Return, "Enter"},   {Qt::Key_Enter, "Enter"},   {Qt::Key_Space, "Space"},
        {Qt::Key_PageUp, "PgUp"},    {Qt::Key_PageDown, "PgDn"}, {Qt::Key_End, "End"},
        {Qt::Key_Home, "Home"},      {Qt::Key_Left, "Left"},     {Qt::Key_Up, "Up"},
        {Qt::Key_Right, "Right"},    {Qt::Key_Down, "Down"},     {Qt::Key_Insert, "Ins"},
        {Qt::Key_Delete, "Del"},
    };
    for (const auto& [key, name] : names) {
        if (key == Key)
            return QString::fromLatin1(name);
    }
    if (Key >= Qt::Key_F1 && Key <= Qt::Key_F24)
        return QStringLiteral("F") + QString::number(Key - Qt::Key_F1 + 1);
    if ((Key >= Qt::Key_0 && Key <= Qt::Key_9) || (Key >= Qt::Key_A && Key <= Qt::Key_Z))
        return QString(QChar(Key));
    return QKeySequence(Key).toString(QKeySequence::PortableText);
}
} // namespace

QString ShortCutToText(const QKeySequence& ShortCut) {
    if (ShortCut.isEmpty())
        return {};
    const QKeyCombination combination = ShortCut[0];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QString text;
    if (modifiers & Qt::ShiftModifier)
        text += QStringLiteral("Shift+");
    if (modifiers & Qt::ControlModifier)
        text += QStringLiteral("Ctrl+");
    if (modifiers & Qt::AltModifier)
        text += QStringLiteral("Alt+");
    return text + KeyName(combination.key());
}

QKeySequence KeySequenceOfEvent(int Key, Qt::KeyboardModifiers Modifiers) {
    if (Key == Qt::Key_Enter)
        Key = Qt::Key_Return;
    const Qt::KeyboardModifiers kept =
        Modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return QKeySequence(QKeyCombination(kept, static_cast<Qt::Key>(Key)));
}
