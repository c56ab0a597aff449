#include "inventory/listfile.h"

#include "inventory/csvtext.h"
#include "inventory/formulatext.h"
#include "inventory/inventoryfields.h"
#include "inventory/listedit.h"
#include "inventory/persistence.h"

#include <QFile>
#include <QFileInfo>

#include <new>
#include <stdexcept>
#include <utility>

namespace tessivane {

namespace {

[[noreturn]] void fail(const QString& sentence)
{
    throw std::runtime_error(sentence.toStdString());
}

ListRead readGuessed(const std::shared_ptr<const ListSource>& source, const ReadProgress& progress)
{
    return source->read(source->guessedForm(), progress);
}

} // namespace

int sheetRowsToRead()
{
    return kSheetFirstRow + kMaxStoredRows;
}

ListRead readListText(const QByteArray& bytes, const ReadProgress& progress)
{
    return readGuessed(ListSource::ofText(bytes), progress);
}

ListRead readListSheet(SheetText sheet, const ReadProgress& progress)
{
    ListRead result = readGuessed(
        ListSource::ofSheet(sheet.name, std::exchange(sheet.csv, QByteArray())), progress);
    if (sheet.rowsLeftOut > 0)
        result.notes.append(QStringLiteral("The sheet holds more rows than the list: its last "
                                           "%L1 rows were left out.")
                                .arg(sheet.rowsLeftOut));
    return result;
}

bool looksLikeWorkbook(const QByteArray& head)
{
    // The compound document of .xls, and the zip container of .xlsx and .ods.
    return head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") || head.startsWith("PK\x03\x04");
}

QString refusalText(const ListRead& read, const RowRefusal& refusal)
{
    QString where = QStringLiteral("Line %1").arg(refusal.line);
    QString heading;
    if (refusal.column > 0) {
        where += QStringLiteral(", column %1").arg(refusal.column);
        if (refusal.column <= read.columns.size()) {
            heading = read.columns[refusal.column - 1].heading;
            where += QStringLiteral(" \"%1\"").arg(heading);
        }
    }
    // The field only where the file's heading does not already name it.
    const QString field
        = refusal.field >= 0 ? QString::fromUtf8(kInventoryFields[refusal.field].name) : QString();
    if (!field.isEmpty() && heading.simplified().compare(field, Qt::CaseInsensitive) != 0)
        where += QStringLiteral(" (%1)").arg(field);
    QString value = refusal.value;
    if (value.size() > 200)
        value = value.left(200) + QStringLiteral("…");
    return where + QStringLiteral(": ") + refusal.reason
        + (value.trimmed().isEmpty() ? QString() : QStringLiteral(" — \"%1\"").arg(value))
        + QLatin1Char('.');
}

ListRead readListFile(
    const QString& path, const WorkbookReader& readWorkbook, const ReadProgress& progress)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("%1 cannot be read: there is no such file.").arg(path));
    if (!info.isFile())
        fail(QStringLiteral("%1 cannot be read: it is not a file.").arg(path));
    if (info.size() > kMaxListFileBytes)
        fail(QStringLiteral("%1 is too large to be read: the list takes files of up to %2 MB.")
                 .arg(path)
                 .arg(kMaxListFileBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    if (progress && !progress(0, 0))
        throw ReadCancelled();
    try {
        QByteArray bytes = file.read(kMaxListFileBytes + 1);
        if (file.error() != QFileDevice::NoError)
            fail(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        if (bytes.size() > kMaxListFileBytes)
            fail(QStringLiteral("%1 is too large to be read.").arg(path));
        if (bytes.trimmed().isEmpty())
            fail(QStringLiteral("%1 is empty: it holds no rows.").arg(path));
        // Flat OpenDocument spreadsheets are text, known by their name.
        const QString suffix = info.suffix().toLower();
        if (looksLikeWorkbook(bytes.left(8)) || suffix == QLatin1String("fods")) {
            if (!readWorkbook)
                fail(QStringLiteral("%1 is a workbook, and no office is at hand to read it.")
                         .arg(path));
            bytes = QByteArray();
            SheetText sheet;
            try {
                sheet = readWorkbook(path, progress);
            } catch (...) {
                // Stopped while the office worked: whatever it said, the user stopped it.
                if (progress && !progress(0, 0))
                    throw ReadCancelled();
                throw;
            }
            return readListSheet(std::move(sheet), progress);
        }
        const TextEncoding encoding = guessEncoding(bytes);
        if (encoding != TextEncoding::Utf16LE && encoding != TextEncoding::Utf16BE
            && bytes.left(64 * 1024).contains('\0'))
            fail(QStringLiteral("%1 is neither a text file nor a workbook: it cannot be read as "
                                "a list.")
                     .arg(path));
        return readListText(std::exchange(bytes, QByteArray()), progress);
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("%1 is too large to be read in the memory at hand.").arg(path));
    }
}

QByteArray listCsv(const QVector<QVector<QVariant>>& rows)
{
    QList<QStringList> records;
    records.reserve(rows.size() + 1);
    QStringList header;
    for (const FieldDef& field : kInventoryFields)
        header.append(QString::fromUtf8(field.name));
    records.append(header);
    for (const QVector<QVariant>& row : rows) {
        if (isBlankRow(row))
            continue;
        QStringList record;
        record.reserve(row.size());
        for (const QVariant& value : row) {
            // Text a spreadsheet would run as a formula goes out guarded.
            record.append(value.typeId() == QMetaType::QString ? formulaSafeText(value.toString())
                                                               : StoredText(value));
        }
        records.append(record);
    }
    return "\xEF\xBB\xBF"
        + writeDelimited(records, QLatin1Char(','), QStringLiteral("\r\n")).toUtf8();
}

} // namespace tessivane
