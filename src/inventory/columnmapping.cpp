#include "inventory/columnmapping.h"

#include "inventory/inventoryfields.h"

#include <QCryptographicHash>
#include <QSettings>

#include <array>
#include <stdexcept>

namespace tessivane {

namespace {

constexpr int kFields = int(kInventoryFields.size());

/// Letters and digits only, in lower case: "Loan rate(%)", "LOAN RATE" and "Loan rate" meet.
QString headingKey(const QString& heading)
{
    QString key;
    key.reserve(heading.size());
    for (const QChar c : heading) {
        if (c.isLetterOrNumber())
            key += c.toLower();
    }
    return key;
}

// The names other programs give each field, as heading keys, the likeliest first.
const std::array<QStringList, 13>& commonNames()
{
    static const std::array<QStringList, 13> names {{
        {"assettag", "assetnumber", "assetno", "assetid", "serialnumber", "serial", "serialno",
            "sn", "tag", "tagnumber", "inventorynumber", "inventoryno", "asset", "seriennummer",
            "inventarnummer"},
        {"itemdescription", "description", "name", "assetname", "itemname", "item", "model",
            "modelname", "makeandmodel", "product", "equipment", "beschreibung", "bezeichnung"},
        {"location", "room", "site", "building", "place", "defaultlocation", "standort", "raum"},
        {"condition", "status", "state", "statuslabel", "physicalcondition", "zustand"},
        {"vendor", "supplier", "seller", "purchasedfrom", "merchant", "lieferant"},
        {"yearsleft", "remainingyears", "remaininglife", "usefullife", "serviceyearsleft",
            "yearsofservice", "lifeyears"},
        {"purchasecost", "purchaseprice", "cost", "price", "value", "initialcost", "originalcost",
            "unitprice", "amount", "anschaffungswert", "kaufpreis", "preis"},
        {"deposit", "downpaymentamount"},
        {"purchasedate", "datepurchased", "dateacquired", "acquired", "acquisitiondate",
            "purchased", "boughton", "leasedate", "date", "kaufdatum", "anschaffungsdatum"},
        {"loanterm", "leaseterm", "term", "termyears", "termofloan"},
        {"loanrate", "interestrate", "interest", "rate", "apr"},
        {"monthlycost", "monthlycosts", "operatingcosts", "runningcosts", "monthlyfee"},
        {"endvalue", "residualvalue", "salvagevalue", "expectedvalue", "valueatend"},
    }};
    return names;
}

QString memoryKey(const QStringList& headings)
{
    QByteArray joined;
    for (const QString& heading : headings)
        joined += headingKey(heading).toUtf8() + '\x1F';
    return QString::fromLatin1(
        QCryptographicHash::hash(joined, QCryptographicHash::Sha1).toHex().left(20));
}

std::unique_ptr<QSettings> memoryStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Velmora"), QStringLiteral("Tessivane"));
    settings->beginGroup(QStringLiteral("ImportColumns"));
    return settings;
}

} // namespace

int fieldOfHeading(const QString& heading)
{
    const QString key = headingKey(heading);
    if (key.isEmpty())
        return -1;
    for (int field = 0; field < kFields; ++field) {
        if (headingKey(QString::fromUtf8(kInventoryFields[field].name)) == key)
            return field;
    }
    return -1;
}

int likelyFieldOfHeading(const QString& heading, int* rank)
{
    if (rank)
        *rank = 0;
    const int exact = fieldOfHeading(heading);
    if (exact >= 0)
        return exact;
    const QString key = headingKey(heading);
    for (int field = 0; field < kFields && !key.isEmpty(); ++field) {
        const qsizetype at = commonNames()[field].indexOf(key);
        if (at >= 0) {
            if (rank)
                *rank = int(at) + 1;
            return field;
        }
    }
    if (rank)
        *rank = -1;
    return -1;
}

ColumnFields guessColumnFields(const QStringList& headings)
{
    ColumnFields columns(headings.size(), -1);
    QVector<int> rankOf(headings.size(), -1);
    for (int column = 0; column < headings.size(); ++column)
        columns[column] = likelyFieldOfHeading(headings[column], &rankOf[column]);
    // Each field stays with its best column; the others are left out.
    for (int column = 0; column < headings.size(); ++column) {
        for (int other = 0; other < headings.size() && columns[column] >= 0; ++other) {
            if (other != column && columns[other] == columns[column]
                && (rankOf[other] < rankOf[column]
                    || (rankOf[other] == rankOf[column] && other < column)))
                columns[column] = -1;
        }
    }
    return columns;
}

ColumnFields fieldOrder(int columns)
{
    ColumnFields order(columns, -1);
    for (int column = 0; column < qMin(columns, kFields); ++column)
        order[column] = column;
    return order;
}

std::optional<ColumnFields> ColumnMemory::recall(const QStringList& headings) const
{
    const QStringList stored
        = memoryStore()->value(memoryKey(headings)).toString().split(QLatin1Char(','));
    if (stored.size() != headings.size())
        return std::nullopt;
    ColumnFields fields;
    QVector<bool> taken(kFields, false);
    for (const QString& text : stored) {
        bool number = false;
        const int field = text.toInt(&number);
        if (!number || field < -1 || field >= kFields || (field >= 0 && taken[field]))
            return std::nullopt;
        if (field >= 0)
            taken[field] = true;
        fields.append(field);
    }
    return fields;
}

void ColumnMemory::remember(const QStringList& headings, const ColumnFields& fields) const
{
    QStringList texts;
    for (const int field : fields)
        texts.append(QString::number(field));
    const auto settings = memoryStore();
    settings->setValue(memoryKey(headings), texts.join(QLatin1Char(',')));
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw std::runtime_error(
            QStringLiteral("The columns chosen could not be kept in the settings file %1.")
                .arg(settings->fileName())
                .toStdString());
}

} // namespace tessivane
