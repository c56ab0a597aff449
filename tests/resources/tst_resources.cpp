// The carried template is the checked-in file, whole, and is written out byte for byte.
#include "core/fileprocs.h"
#include "resources/resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

using namespace tessivane;

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void templateIsTheCheckedInWorkbook()
    {
        const QByteArray carried = TemplateBytes();
        const QByteArray checkedIn = FileBytes(QStringLiteral(TESSIVANE_TEMPLATE_FILE));
        QVERIFY(!checkedIn.isEmpty());
        QCOMPARE(carried.size(), checkedIn.size());
        QVERIFY(carried == checkedIn);
        // An OLE2 compound document, as Excel 97-2003 workbooks are.
        QVERIFY(carried.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")));
    }

    void iconIsStillCarried()
    {
        QVERIFY(!ResourceBytes(QStringLiteral(":/tessivane.png")).isEmpty());
    }

    void missingResourceIsAReadableFailure()
    {
        try {
            ResourceBytes(QStringLiteral(":/no-such-resource.xlt"));
            QFAIL("no exception for a missing resource");
        } catch (const std::runtime_error& failure) {
            QVERIFY(QString::fromStdString(failure.what()).contains("no-such-resource.xlt"));
        }
    }

    void writtenTemplateIsByteForByte_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("temporary folder") << QStringLiteral("template.xlt");
        QTest::newRow("folder with spaces and accents")
            << QStringLiteral("Données temporaires/template.xlt");
    }

    void writtenTemplateIsByteForByte()
    {
        QFETCH(QString, relativePath);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(relativePath);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));

        const QByteArray bytes = TemplateBytes();
        WriteBytesToFile(bytes, path);

        QCOMPARE(QFileInfo(path).size(), qint64(bytes.size()));
        QVERIFY(FileBytes(path) == bytes);
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
