#include "core/saidelsewhere.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QWidget>

#include <mutex>

namespace tessivane {

namespace {

constexpr char kSaidElsewhere[] = "tessivaneSaidElsewhere";

class SaidElsewhere : public QAccessibleWidget
{
public:
    explicit SaidElsewhere(QWidget* widget)
        : QAccessibleWidget(
            widget, qobject_cast<QLabel*>(widget) ? QAccessible::StaticText : QAccessible::Graphic)
    { }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        // Its own text, not a name borrowed from the frame around it.
        if (kind == QAccessible::Name)
            if (const auto* label = qobject_cast<const QLabel*>(widget()))
                return label->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* saidElsewhereFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(kSaidElsewhere).toBool())
        return new SaidElsewhere(widget);
    return nullptr;
}

} // namespace

void keepFromScreenReaders(QWidget* widget)
{
    // Qt asks its factories for every widget; this one answers only for widgets so marked.
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(saidElsewhereFactory); });
    widget->setProperty(kSaidElsewhere, true);
    // A widget's interface is made (and kept) as soon as its creation is announced: that one
    // goes, so that the next question reaches the factory.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget);
        made && !dynamic_cast<SaidElsewhere*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace tessivane
