#pragma once

// The windows as assistive technology and users of other themes meet them: the accessible tree
// a screen reader walks, and the contrast of texts on their backgrounds.

#include "core/windowlook.h"

#include <QAccessible>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMetaEnum>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace tessivane::test {

/// Visits every interface of the accessible tree under root with its depth.
inline void WalkAccessible(QAccessibleInterface* root,
    const std::function<void(QAccessibleInterface*, int depth)>& visit, int depth = 0)
{
    if (!root || !root->isValid())
        return;
    visit(root, depth);
    for (int i = 0; i < root->childCount(); ++i)
        WalkAccessible(root->child(i), visit, depth + 1);
}

/// The accessible tree of a window as lines "role "name" (description)", indented by depth;
/// the cells of a table are left out below the first row.
inline QStringList AccessibleTree(QWidget* window)
{
    QStringList lines;
    WalkAccessible(QAccessible::queryAccessibleInterface(window),
        [&lines](QAccessibleInterface* item, int depth) {
            const QAccessible::Role role = item->role();
            if ((role == QAccessible::Cell || role == QAccessible::RowHeader)
                && item->tableCellInterface() && item->tableCellInterface()->rowIndex() > 0)
                return;
            QString line = QString(depth * 2, QLatin1Char(' '))
                + QString::fromLatin1(
                    QAccessible::staticMetaObject
                        .enumerator(QAccessible::staticMetaObject.indexOfEnumerator("Role"))
                        .valueToKey(role))
                + QStringLiteral(" \"%1\"").arg(item->text(QAccessible::Name));
            const QString description = item->text(QAccessible::Description);
            if (!description.isEmpty())
                line += QStringLiteral(" (%1)").arg(description);
            if (item->state().focusable)
                line += QStringLiteral(" [focusable]");
            if (item->state().invisible)
                line += QStringLiteral(" [not read]");
            lines.append(line);
        });
    return lines;
}

/// The controls (widgets) of the window that take the focus but have no accessible name, as
/// "class name: role" texts.
inline QStringList UnnamedFocusableControls(QWidget* window)
{
    QStringList unnamed;
    WalkAccessible(
        QAccessible::queryAccessibleInterface(window), [&unnamed](QAccessibleInterface* item, int) {
            auto* widget = qobject_cast<QWidget*>(item->object());
            if (!widget || !item->state().focusable || item->state().invisible)
                return;
            if (item->text(QAccessible::Name).trimmed().isEmpty())
                unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + ": "
                    + QString::number(item->role()));
        });
    return unnamed;
}

/// A palette as a dark desktop theme gives it: light text on dark grounds.
inline QPalette DarkPalette()
{
    QPalette dark;
    const QColor text(0xEE, 0xEE, 0xEE);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        dark.setColor(group, QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
        dark.setColor(group, QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
        dark.setColor(group, QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
        dark.setColor(group, QPalette::Button, QColor(0x3C, 0x3C, 0x3C));
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                 QPalette::BrightText, QPalette::HighlightedText})
            dark.setColor(
                group, role, group == QPalette::Disabled ? QColor(0x99, 0x99, 0x99) : text);
        dark.setColor(group, QPalette::Highlight, QColor(0x3D, 0x6F, 0xB0));
    }
    return dark;
}

/// The labels and group-box headings of a shown window whose text reads worse than 4.5 : 1 on
/// the background the window is painted with there, as "text: ratio" lines.
inline QStringList PoorContrast(QWidget* window)
{
    const QImage painted = window->grab().toImage();
    QStringList poor;
    const auto check = [&](QWidget* widget, const QString& text, QPoint inside) {
        if (!widget->isVisible() || text.isEmpty())
            return;
        const QPoint at = widget->mapTo(window, inside);
        const QColor ground = painted.pixelColor(at);
        const QColor ink = widget->palette().color(QPalette::WindowText);
        const double ratio = contrastRatio(ink, ground);
        if (ratio < 4.5)
            poor.append(QStringLiteral("%1: %2").arg(text).arg(ratio, 0, 'f', 2));
    };
    for (QLabel* label : window->findChildren<QLabel*>())
        check(label, label->text(), QPoint(1, 1));
    for (QGroupBox* box : window->findChildren<QGroupBox*>())
        check(box, box->title(), QPoint(1, 1));
    return poor;
}

} // namespace tessivane::test
