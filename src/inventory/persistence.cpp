#include "inventory/persistence.h"

#include "inventory/currency.h"
#include "inventory/datetext.h"
#include "inventory/fieldconversion.h"
#include "inventory/storefile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStringList>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace tessivane {

namespace {

QString rowKey(int field, int row)
{
    return QStringLiteral("RowSource%1 %2").arg(field + 1).arg(row);
}

// The text stored under a key as the settings store reads it; nothing when there is none.
std::optional<QString> readText(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// A stored number: the "." form first; a text in the locale's own number form (as earlier
// stores wrote money where the decimal mark is a comma) next; otherwise the numeric reading.
double storedNumber(const QString& text)
{
    const NumericReading reading = readNumeric(text);
    if (reading.wholeText)
        return reading.value;
    if (const auto localeNumber = readLocaleNumber(text))
        return *localeNumber;
    return reading.value;
}

QVariant loadedValue(int field, const std::optional<QString>& stored)
{
    switch (kInventoryFields[field].type) {
    case FieldType::Text:
        return stored.value_or(QString());
    case FieldType::Date: {
        const QDateTime date = readDateText(stored.value_or(QString()));
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case FieldType::Integer:
    case FieldType::Currency:
        break;
    }
    const double number = storedNumber(stored.value_or(QStringLiteral("0")));
    if (field == kInitialValue)
        return CurrencyText(number); // the initial value comes back to whole cents
    return number;
}

// The highest row a store of this many keys (or lines) may be read up to. Every row is stored
// with all its fields, so a list longer than the limit, as an older version wrote it, takes
// that many keys; a lone key of a far higher row is passed over.
int storedRowBound(qsizetype keys)
{
    return int(std::max<qsizetype>(kMaxStoredRows, keys / qsizetype(kInventoryFields.size())));
}

// The highest row number that has keys in the store, for a count that cannot be trusted.
int rowsInStore(const QSettings& settings)
{
    static const QRegularExpression pattern(QStringLiteral("^RowSource(\\d+) (\\d+)$"));
    int rows = 0;
    const QStringList keys = settings.childKeys();
    const int bound = storedRowBound(keys.size());
    for (const QString& key : keys) {
        const QRegularExpressionMatch match = pattern.match(key);
        if (!match.hasMatch())
            continue;
        bool ok = false;
        const int row = match.captured(2).toInt(&ok);
        if (ok && row <= bound)
            rows = std::max(rows, row);
    }
    return rows;
}

std::unique_ptr<QSettings> newStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Velmora"), QStringLiteral("Tessivane"));
    settings->beginGroup(QStringLiteral("Tessivane"));
    return settings;
}

std::unique_ptr<QSettings> openStore()
{
    const QString fileName = newStore()->fileName();
    keepWindowsCodePageTexts(fileName);
    return newStore();
}

// The settings store also reads from files of the whole organisation and of the system when a
// key is missing from the user's own file; while any of them exists only it can read the rows.
bool fallbackFilesExist()
{
    const QString velmora = QStringLiteral("Velmora");
    const QString tessivane = QStringLiteral("Tessivane");
    for (const QString& fileName :
        {QSettings(QSettings::IniFormat, QSettings::UserScope, velmora).fileName(),
            QSettings(QSettings::IniFormat, QSettings::SystemScope, velmora, tessivane).fileName(),
            QSettings(QSettings::IniFormat, QSettings::SystemScope, velmora).fileName()}) {
        if (QFileInfo::exists(fileName))
            return true;
    }
    return false;
}

// Less room than this on the store's disk counts as a full disk.
constexpr qint64 kRoomForTheRows = 1024 * 1024;

// Whether the settings file holds every row as written: each key there with its text. Unless
// exactly, a value the one-pass reader leaves to the settings store is taken as there (exactly,
// the store reads it), and so is every row of a file with more in it than the rows.
bool holdsRows(const QString& fileName, const RowValues& rows, bool exactly = false)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const StoreFileTexts texts(
        bytes, int(kInventoryFields.size()), storedRowBound(bytes.count('\n')));
    if (!texts.ok()) // a file with more in it than the rows: what can be told of it
        return !exactly && bytes.endsWith('\n') && bytes.contains("RowCount=");
    std::unique_ptr<QSettings> store; // for the values the one pass leaves
    QString text;
    if (texts.entry(-1, 0, text) != StoreFileTexts::Entry::Text
        || text != QString::number(rows.size()))
        return false;
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < rows[row].size(); ++field) {
            switch (texts.entry(field, row + 1, text)) {
            case StoreFileTexts::Entry::Absent:
                return false;
            case StoreFileTexts::Entry::Text:
                if (text != StoredText(rows[row][field]))
                    return false;
                break;
            case StoreFileTexts::Entry::Unread:
                // Read as the settings store reads it: a text in quotes or with escapes.
                if (exactly) {
                    if (!store)
                        store = newStore();
                    if (readText(*store, rowKey(field, row + 1)) != StoredText(rows[row][field]))
                        return false;
                }
                break;
            }
        }
    }
    return true;
}

} // namespace

double numericValue(const QString& text)
{
    return readNumeric(text).value;
}

QString StoredText(const QVariant& value)
{
    if (!value.isValid())
        return {};
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
        return QString::number(value.toInt());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    case QMetaType::QDateTime:
        return isoDateText(value.toDateTime());
    case QMetaType::QDate:
        return isoDateText(QDateTime(value.toDate(), QTime(0, 0), Qt::UTC));
    default:
        return value.toString();
    }
}

namespace {

// Why a settings file that is there cannot be read; empty when it can, or is not there.
QString unreadableReason(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return {};
    if (info.isDir())
        return QStringLiteral("a folder is in its place");
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    return {};
}

} // namespace

StoredRows::StoredRows()
{
    mUnreadable = unreadableReason(storeFileName());
    if (!mUnreadable.isEmpty())
        return;
    const std::optional<QByteArray> bytes = keepWindowsCodePageTexts(newStore()->fileName());
    if (!bytes || fallbackFilesExist())
        return;
    mFile = std::make_unique<StoreFileTexts>(
        *bytes, int(kInventoryFields.size()), storedRowBound(bytes->count('\n')));
    if (!mFile->ok())
        mFile.reset();
}

StoredRows::~StoredRows() = default;

QSettings& StoredRows::settings() const
{
    if (!mSettings)
        mSettings = newStore();
    return *mSettings;
}

std::optional<QString> StoredRows::storedText(int field, int row) const
{
    if (!mUnreadable.isEmpty())
        return std::nullopt;
    if (mFile) {
        QString text;
        switch (mFile->entry(field, row, text)) {
        case StoreFileTexts::Entry::Absent:
            return std::nullopt;
        case StoreFileTexts::Entry::Text:
            return text;
        case StoreFileTexts::Entry::Unread:
            break;
        }
    }
    return readText(settings(), field < 0 ? QStringLiteral("RowCount") : rowKey(field, row));
}

int StoredRows::count(QString& problem) const
{
    problem.clear();
    const QString text = storedText(-1, 0).value_or(QStringLiteral("16"));
    const NumericReading reading = readNumeric(text);
    const double count = roundHalfEven(reading.value, 0);
    if (reading.wholeText && std::isfinite(count) && count >= 0 && count <= kMaxStoredRows)
        return int(count);
    // Loading no rows here would lose them for good: the next save writes a count of 0. Nor
    // may a longer list that an older version kept be cut to the limit: the next save would
    // lose the rest.
    const int rows = mFile ? mFile->highestRow() : rowsInStore(settings());
    if (reading.wholeText && std::isfinite(count) && count > kMaxStoredRows && count <= rows)
        return int(count);
    problem = QStringLiteral("The saved row count \"%1\" is not a number of rows from 0 to %2; "
                             "the %3 rows found in the settings store are loaded instead.")
                  .arg(text.left(40))
                  .arg(kMaxStoredRows)
                  .arg(rows);
    return rows;
}

QString rowLimitRefusal(const QString& change, qsizetype rows, qsizetype after, qsizetype fit)
{
    if (after <= kMaxStoredRows || after <= rows)
        return {};
    const QLocale locale;
    return QStringLiteral("%1 would make the list %2 rows long, but it holds at most %3 rows, "
                          "the most that is loaded back at the next start: %4. Nothing was "
                          "changed.")
        .arg(change, locale.toString(after), locale.toString(kMaxStoredRows),
            fit > 0 ? QStringLiteral("%1 of its rows fit").arg(locale.toString(fit))
                    : QStringLiteral("no more rows fit"));
}

QVariant StoredRows::value(int field, int row) const
{
    return loadedValue(field, storedText(field, row));
}

QString storeFileName()
{
    // Where the settings store keeps a user's file, without the read that opening it costs.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Velmora/Tessivane.ini");
}

RowValues takeRows(InventoryTable& table)
{
    if (!table.IsOpen())
        throw std::runtime_error("The inventory table is not open; the rows were not saved.");
    RowValues rows;
    rows.reserve(table.RecordCount());
    for (int row = 0; row < table.RecordCount(); ++row)
        rows.append(table.RowValuesAt(row));
    if (table.RecordCount() > 0)
        table.MoveFirst();
    return rows;
}

void writeRows(const RowValues& rows)
{
    // The rows the file already holds, text for text, are not written again (a save of an
    // unchanged list): writing a long list takes the processor a second.
    if (holdsRows(storeFileName(), rows, true))
        return;
    // A store read with a fault (a damaged file) keeps that fault as the status of the object
    // that read it, where it would pass for a failed write. So one object reads the whole store
    // first, and the rows go through a second one that shares what the first has read: its
    // status is the outcome of the write alone.
    const std::unique_ptr<QSettings> reader = openStore();
    reader->endGroup();
    reader->allKeys();
    const std::unique_ptr<QSettings> settings = newStore();
    // The settings store replaces its file even when the file's last part found no room on
    // the disk, without an error: the rows in it would be cut short. A second name for the
    // file as it was lets it come back whole (a link takes no room).
    const QString fileName = settings->fileName();
    const QByteArray kept = QFile::encodeName(fileName + QStringLiteral(".kept"));
    ::unlink(kept.constData());
    const bool keeping = ::link(QFile::encodeName(fileName).constData(), kept.constData()) == 0;
    const auto dropKept = qScopeGuard([&] {
        if (keeping)
            ::unlink(kept.constData());
    });
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < rows[row].size(); ++field)
            settings->setValue(rowKey(field, row + 1), StoredText(rows[row][field]));
    }
    settings->setValue(QStringLiteral("RowCount"), QString::number(rows.size()));
    settings->sync();
    if (settings->status() == QSettings::NoError && holdsRows(fileName, rows))
        return;
    if (keeping)
        ::rename(kept.constData(), QFile::encodeName(fileName).constData());
    const QStorageInfo disk(QFileInfo(fileName).absolutePath());
    if (disk.isValid() && disk.bytesAvailable() < kRoomForTheRows) {
        throw std::runtime_error(
            QStringLiteral("The disk holding %1 is full: the rows could not be saved, and the "
                           "settings file keeps the rows saved before.")
                .arg(QFileInfo(fileName).absolutePath())
                .toStdString());
    }
    throw std::runtime_error(
        QStringLiteral("The rows could not be written to the settings file %1.")
            .arg(fileName)
            .toStdString());
}

void saveRows(InventoryTable& table)
{
    writeRows(takeRows(table));
}

} // namespace tessivane
