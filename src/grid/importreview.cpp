// The real dialogs of the list's file commands: the toolkit's file dialogs and the review of
// what an import read.
#include "grid/listeditor.h"

#include "core/rememberedfolders.h"
#include "inventory/inventoryfields.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessivane {

namespace {

QString rowCount(qsizetype rows)
{
    return rows == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows);
}

} // namespace

QString QtListDialogs::importFileName(QWidget* parent)
{
    const QString file = QFileDialog::getOpenFileName(parent, QStringLiteral("Import Rows"),
        RememberedFolders::folder(QStringLiteral("Import")),
        QStringLiteral("Lists (*.csv *.tsv *.txt *.xls *.xlsx *.ods);;All Files (*)"));
    RememberedFolders::remember(QStringLiteral("Import"), file);
    return file;
}

QString QtListDialogs::exportFileName(QWidget* parent)
{
    const QString file = QFileDialog::getSaveFileName(parent, QStringLiteral("Export Rows"),
        QDir(RememberedFolders::folder(QStringLiteral("Export")))
            .filePath(QStringLiteral("inventory.csv")),
        QStringLiteral("CSV Files (*.csv);;All Files (*)"));
    RememberedFolders::remember(QStringLiteral("Export"), file);
    return file;
}

ImportChoice QtListDialogs::reviewImport(QWidget* parent, const QString& file, const ListRead& read)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Import Rows"));
    auto* layout = new QVBoxLayout(&dialog);
    QString summary = QStringLiteral("%1\n\n%2 can be added to the list.")
                          .arg(QFileInfo(file).fileName(), rowCount(read.rows.size()));
    if (read.blankRows > 0)
        summary
            += QStringLiteral(" %1 with nothing filled in left out.").arg(rowCount(read.blankRows));
    for (const QString& note : read.notes)
        summary += QLatin1Char('\n') + note;
    auto* label = new QLabel(summary, &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    if (!read.refused.isEmpty()) {
        layout->addWidget(
            new QLabel(QStringLiteral("%1 refused:").arg(rowCount(read.refused.size())), &dialog));
        QStringList lines;
        for (const RowRefusal& refusal : read.refused) {
            const QString column = refusal.field >= 0
                ? QString::fromUtf8(kInventoryFields[refusal.field].name)
                : QString();
            lines.append(
                QStringLiteral("Line %1, %2: %3").arg(refusal.line).arg(column, refusal.reason));
        }
        auto* list = new QPlainTextEdit(lines.join(QLatin1Char('\n')), &dialog);
        list->setAccessibleName(QStringLiteral("Refused rows"));
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(list);
    }
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* append
        = buttons->addButton(QStringLiteral("Append"), QDialogButtonBox::AcceptRole);
    QPushButton* replace
        = buttons->addButton(QStringLiteral("Replace"), QDialogButtonBox::DestructiveRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    const bool any = !read.rows.isEmpty();
    append->setEnabled(any);
    replace->setEnabled(any);
    (any ? append : cancel)->setDefault(true);
    (any ? append : cancel)->setFocus();
    ImportChoice choice = ImportChoice::Cancel;
    QObject::connect(append, &QPushButton::clicked, &dialog, [&] {
        choice = ImportChoice::Append;
        dialog.accept();
    });
    QObject::connect(replace, &QPushButton::clicked, &dialog, [&] {
        choice = ImportChoice::Replace;
        dialog.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.resize(560, read.refused.isEmpty() ? 160 : 360);
    dialog.exec();
    return choice;
}

} // namespace tessivane
