#include "preview/savekind.h"

#include <QFileInfo>
#include <QStringList>

#include <array>

namespace tessivane {

namespace {

struct Kind
{
    const char* description;
    const char* extension;
    bool converted;
};

// In the dialog's order; the first is the default.
constexpr std::array<Kind, 4> kKinds {{
    {"Excel Files (*.xls)", "xls", false},
    {"PDF Files (*.pdf)", "pdf", true},
    {"Excel 2007-365 Files (*.xlsx)", "xlsx", true},
    {"OpenDocument Spreadsheets (*.ods)", "ods", true},
}};

const Kind* kindOfExtension(const QString& name)
{
    const QString suffix = QFileInfo(name).suffix();
    for (const Kind& kind : kKinds)
        if (suffix.compare(QLatin1String(kind.extension), Qt::CaseInsensitive) == 0)
            return &kind;
    return nullptr;
}

} // namespace

QString saveFilter()
{
    QString filter;
    for (const Kind& kind : kKinds)
        filter += QStringLiteral("%1|*.%2|")
                      .arg(QLatin1String(kind.description), QLatin1String(kind.extension));
    return filter;
}

SaveTarget chooseSaveTarget(const QString& name, int filterIndex)
{
    if (name.isEmpty())
        return {};
    if (const Kind* kind = kindOfExtension(name))
        return {name, kind->converted};
    if (filterIndex < 1 || filterIndex > int(kKinds.size()) || !kKinds[filterIndex - 1].converted)
        return {name, false};
    return {name + QLatin1Char('.') + QLatin1String(kKinds[filterIndex - 1].extension), true};
}

} // namespace tessivane
