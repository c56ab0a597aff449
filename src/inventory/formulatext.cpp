#include "inventory/formulatext.h"

namespace tessivane {

namespace {

bool startsFormula(QChar c)
{
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-')
        || c == QLatin1Char('@') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

/// Whether the text is apostrophes (at least `apostrophes` of them) and then a character that
/// starts a formula.
bool guardedBy(const QString& text, qsizetype apostrophes)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char('\''))
        ++i;
    return i >= apostrophes && i < text.size() && startsFormula(text[i]);
}

} // namespace

QString formulaSafeText(const QString& value)
{
    return guardedBy(value, 0) ? QLatin1Char('\'') + value : value;
}

QString formulaSafeTextTakenBack(const QString& text)
{
    return guardedBy(text, 1) ? text.mid(1) : text;
}

} // namespace tessivane
