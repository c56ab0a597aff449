#include "preview/savefiledialog.h"

#include "core/rememberedfolders.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>

#include <algorithm>

namespace tessivane {

namespace {

/// Qt's own dialog reads a typed name with a double quote in it as a list of quoted names
/// ("a" "b"): `Office 24" monitors.xls` would become ` monitors.xls`. Linux allows quotes in
/// names, so such a name is taken whole, in the folder shown, as the user typed it.
class TypedNameDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    /// The name taken whole; empty when the dialog's own reading was used.
    QString typedName;

    void accept() override
    {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString text = edit && edit->isVisible() ? edit->text() : QString();
        if (!text.contains(QLatin1Char('"'))) {
            QFileDialog::accept();
            return;
        }
        QString path = text;
        if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
            path = QDir::homePath() + path.mid(1);
        path = QDir::cleanPath(directory().absoluteFilePath(path));
        if (QFileInfo(path).isDir()) {
            setDirectory(path); // as the dialog does with a folder's name
            edit->clear();
            return;
        }
        typedName = path;
        QDialog::accept();
    }
};

} // namespace

QtSaveFileDialog::QtSaveFileDialog(QWidget* parent)
    : mParent(parent)
{ }

QString QtSaveFileDialog::ShowSave(
    const QString& fileName, const QString& title, const QString& filter)
{
    TypedNameDialog dialog(mParent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks its own overwrite question; a second one here would ask twice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QString nameFilters = QtNameFilters(filter);
    const QStringList filters = nameFilters.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // Where the last result went; the file name stays as the caller gives it.
    dialog.setDirectory(RememberedFolders::folder(QStringLiteral("Save")));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    mFilterIndex = 1;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    mFilterIndex = int(std::max<qsizetype>(filters.indexOf(dialog.selectedNameFilter()), 0)) + 1;
    const QString chosen
        = dialog.typedName.isEmpty() ? dialog.selectedFiles().value(0) : dialog.typedName;
    RememberedFolders::remember(QStringLiteral("Save"), chosen);
    return chosen;
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
