#include "preview/savefiledialog.h"

#include <QFileDialog>
#include <QStringList>

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
    if (!nameFilters.isEmpty())
        dialog.setNameFilters(nameFilters.split(QStringLiteral(";;")));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
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
