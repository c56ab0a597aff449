// Texts of the inventory: the numeric reading of stored texts, currency text, dates.

#include "support/inventorytesting.h"

#include "inventory/currency.h"
#include "inventory/datetext.h"
#include "inventory/fieldconversion.h"
#include "inventory/persistence.h"

#include <cmath>
#include <limits>

using namespace tessivane;
using namespace tessivane::test;

class TestInventoryText : public QObject
{
    Q_OBJECT

private slots:
    void numericReading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("point") << "149.99" << 149.99;
        QTest::newRow("comma stops") << "149,99" << 149.0;
        QTest::newRow("blanks skipped") << "1 2 3" << 123.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("hexadecimal") << "&HFF" << 255.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("ampersand alone") << "&H" << 0.0;
        QTest::newRow("exponent E") << "1E3" << 1000.0;
        QTest::newRow("exponent D") << "1D3" << 1000.0;
        QTest::newRow("exponent without digits") << "1E" << 1.0;
        QTest::newRow("negative") << "-2.5" << -2.5;
        QTest::newRow("plus sign") << "+2.5" << 2.5;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("second point stops") << "1.5.3" << 1.5;
        QTest::newRow("overflow") << "1E400" << inf;
        QTest::newRow("negative overflow") << "-1E400" << -inf;
        QTest::newRow("underflow") << "1E-400" << 0.0;
        QTest::newRow("long digits overflow") << QString(400, QLatin1Char('9')) << inf;
    }

    void numericReading()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(numericValue(text), value);
        // "." stays the decimal point whatever the user's locale says.
        LocaleScope german(QStringLiteral("de_DE"));
        QCOMPARE(numericValue(text), value);
    }

    void currencyText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("dollars") << "en_US" << 149.99 << "$149.99";
        QTest::newRow("grouping, two decimals") << "en_US" << 1234.5 << "$1,234.50";
        QTest::newRow("four decimals shown as two") << "en_US" << 12.3456 << "$12.35";
        QTest::newRow("zero") << "en_US" << 0.0 << "$0.00";
        QTest::newRow("no sign on a zero remainder") << "en_US" << -0.0001 << "$0.00";
        QTest::newRow("negative") << "en_US" << -5.0
                                  << QLocale(QStringLiteral("en_US")).toCurrencyString(-5.0);
        QTest::newRow("euros") << "de_DE" << 1234.5
                               << QStringLiteral("1.234,50") + QChar(0xA0) + QChar(0x20AC);
    }

    void currencyText()
    {
        QFETCH(QString, locale);
        QFETCH(double, amount);
        QFETCH(QString, text);
        LocaleScope scope(locale);
        QCOMPARE(CurrencyText(amount), text);
        QVERIFY(CurrencyText(-5).contains(QLatin1Char('5')));
    }

    // Start-up, Delete All and the sample data hand money to the table as currency text; the
    // table must read it back in every locale.
    void currencyTextReadsBack_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"en_US", "de_DE", "fr_FR", "en_IN", "de_CH", "nl_NL", "sv_SE",
                 "ar_EG", "ja_JP", "pt_BR", "fa_IR", "C"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void currencyTextReadsBack()
    {
        QFETCH(QString, locale);
        LocaleScope scope(locale);
        for (const double amount : {0.0, 0.05, 149.99, 849.99, 1234567.89, -1234.5}) {
            const auto read = readLocaleNumber(CurrencyText(amount));
            QVERIFY2(read.has_value(), qPrintable(CurrencyText(amount)));
            QCOMPARE(*read, amount);
        }
    }

    void datesReadIsoFirstThenLocaleForms_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("date");
        const QDateTime august11(QDate(2015, 8, 11), QTime(0, 0), Qt::UTC);
        const QDateTime withTime(QDate(2015, 8, 11), QTime(14, 5, 9), Qt::UTC);
        QTest::newRow("iso date") << "de_DE"
                                  << "2015-08-11" << august11;
        QTest::newRow("iso with time") << "en_US"
                                       << "2015-08-11T14:05:09" << withTime;
        QTest::newRow("us short") << "en_US"
                                  << "8/11/2015" << august11;
        QTest::newRow("us two-digit year") << "en_US"
                                           << "8/11/15" << august11;
        QTest::newRow("us with time") << "en_US"
                                      << "8/11/2015 2:05:09 PM" << withTime;
        QTest::newRow("german short") << "de_DE"
                                      << "11.08.2015" << august11;
        QTest::newRow("german with time") << "de_DE"
                                          << "11.08.2015 14:05:09" << withTime;
        QTest::newRow("not a date") << "en_US"
                                    << "Office" << QDateTime();
        QTest::newRow("other order") << "en_US"
                                     << "31.12.2015" << QDateTime();
    }

    void datesReadIsoFirstThenLocaleForms()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QDateTime, date);
        LocaleScope scope(locale);
        QCOMPARE(readDateText(text), date);
    }

    void dateTextsReadBack_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"en_US", "de_DE", "fr_FR", "ja_JP", "sv_SE", "en_IN", "C"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void dateTextsReadBack()
    {
        QFETCH(QString, locale);
        LocaleScope scope(locale);
        for (const QTime time : {QTime(0, 0), QTime(9, 30), QTime(23, 59, 58)}) {
            const QDateTime date(QDate(2011, 7, 22), time, Qt::UTC);
            QCOMPARE(readDateText(localeDateText(date)), date);
            QCOMPARE(readDateText(isoDateText(date)), date);
        }
        QCOMPARE(isoDateText(QDateTime(QDate(2011, 7, 22), QTime(0, 0), Qt::UTC)),
            QStringLiteral("2011-07-22"));
        QCOMPARE(isoDateText(QDateTime(QDate(2011, 7, 22), QTime(9, 30), Qt::UTC)),
            QStringLiteral("2011-07-22T09:30:00"));
    }
};

TESSIVANE_CORE_TEST_MAIN(TestInventoryText)
#include "tst_inventorytext.moc"
