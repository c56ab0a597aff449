#include "office/services/localeprocs.h"

#include <QLocale>

namespace tessivane {

QString DecimalSeparator()
{
    return QLocale().toString(0.5).trimmed().mid(1, 1);
}

QString NormalizeDecimalText(const QString& text, bool toPeriod)
{
    const QString mark = DecimalSeparator();
    QString result = text;
    if (toPeriod)
        return result.replace(mark, QStringLiteral("."));
    result.replace(QStringLiteral("."), mark);
    return result.replace(QStringLiteral(","), mark);
}

} // namespace tessivane
