#include "preview/savefiledialog.h"

#include <QFileDialog>
#include <QStringList>

#include <algorithm>

namespace tessivane {

QtSaveFileDialog::QtSaveFileDialog(QWidget* parent)
    : mParent(parent)
{ }

QString QtSaveFileDialog::ShowSave(
    const QString& fileName, const QString& title, const QString& filter)
{
    QFileDialog dialog(mParent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks its own overwrite question; a second one here would ask twice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QString nameFilters = QtNameFilters(filter);
    const QStringList filters = nameFilters.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    mFilterIndex = 1;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    mFilterIndex = int(std::max<qsizetype>(filters.indexOf(dialog.selectedNameFilter()), 0)) + 1;
    return dialog.selectedFiles().value(0);
}

QString QtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString patterns
            = parts.at(i + 1).trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        // Qt reads the patterns from the parentheses at the end of the description.
        if (description.endsWith(QLatin1Char(')')) || patterns.isEmpty())
            filters << description;
        else if (description.isEmpty())
            filters << QStringLiteral("(%1)").arg(patterns);
        else
            filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace tessivane
