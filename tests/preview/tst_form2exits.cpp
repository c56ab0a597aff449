// The preview's ways out: saving copies of the workbook, going back, and closing.
#include "core/bitmapfile.h"
#include "support/filetesting.h"

#include "preview/form2.h"
#include "preview/picturebox.h"

#include "support/previewtesting.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using namespace tessivane;
using namespace previewtesting;
using namespace tessivane::test;

namespace {

const QString kDone = QStringLiteral("Done.");

QString Question(const QString& name)
{
    return QStringLiteral("Are you sure you wish to overwrite ") + name + QStringLiteral(" ?");
}

/// A shown preview with a generated workbook in a temporary folder, and a save folder.
struct Fixture
{
    QTemporaryDir temp; // the run's temporary folder
    QTemporaryDir target; // where the user saves
    QByteArray workbook;
    QList<ScriptedDialog::Shown> shown;
    ScriptedBoxes boxes;
    QWidget mainWindow;
    QStringList events;
    Form2 form {&mainWindow, [this] { events << "rows"; }, boxes};

    explicit Fixture(QStringList dialogAnswers = {})
    {
        workbook.resize(200 * 1024);
        QRandomGenerator generator(7);
        for (char& byte : workbook)
            byte = char(generator.bounded(256));
        const QString run = temp.filePath("run");
        QDir().mkdir(run);
        WriteAll(run + "/result.xls", workbook);
        form.replaceResult(run + "/result.xls", run);
        form.setSaveFileDialog(std::make_unique<ScriptedDialog>(dialogAnswers, &shown));
        form.setProgramEnd([this] { events << "end"; });
        form.setPicture(Picture(1400, 700));
        ShowActive(form);
    }

    QString saved(const QString& name) const { return target.filePath(name); }
    QStringList targetFiles() const
    {
        return QDir(target.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
};

/// Runs code with the rights of an ordinary user, so that folder permissions hold even when
/// the tests run as root.
template <typename Code> void AsOrdinaryUser(Code&& code)
{
    const bool root = geteuid() == 0;
    if (root && seteuid(65534) != 0)
        QFAIL("cannot drop root rights");
    code();
    if (root && seteuid(0) != 0)
        qFatal("cannot take root rights back");
}

} // namespace

class TestForm2Exits : public QObject
{
    Q_OBJECT

private slots:
    void cancelCopiesNothingAndSaysDone()
    {
        Fixture f({QString()});
        QTest::mouseClick(f.form.pushButton(6), Qt::LeftButton);
        QCOMPARE(f.shown.size(), 1);
        QCOMPARE(f.shown[0].fileName, QString());
        QCOMPARE(f.shown[0].title, QStringLiteral("Save File"));
        QCOMPARE(f.shown[0].filter,
            QStringLiteral("Excel Files (*.xls)|*.xls|PDF Files (*.pdf)|*.pdf|Excel 2007-365 Files "
                           "(*.xlsx)|*.xlsx|OpenDocument Spreadsheets (*.ods)|*.ods|"));
        QCOMPARE(f.boxes.prompts(), QStringList {kDone});
        QCOMPARE(f.boxes.calls[0].buttons, int(vbOKOnly));
        QCOMPARE(f.boxes.calls[0].title, QStringLiteral("Tessivane"));
        QVERIFY(f.targetFiles().isEmpty());
        QVERIFY(!f.form.saving());
    }

    void saveCases_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("copied");
        QTest::newRow("new name") << "copy.xls" << false << 0 << true;
        QTest::newRow("no extension, used as typed") << "copy" << false << 0 << true;
        QTest::newRow("overwrite, Yes") << "old.xls" << true << int(vbYes) << true;
        QTest::newRow("overwrite, No") << "old.xls" << true << int(vbNo) << false;
    }
    void saveCases()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QFETCH(int, answer);
        QFETCH(bool, copied);
        QTemporaryDir target;
        Fixture f({target.filePath(name)});
        const QString path = target.filePath(name);
        const QByteArray old("the user's own file");
        if (exists)
            QVERIFY(WriteAll(path, old));
        if (answer)
            f.boxes.answers << answer;
        f.form.PushButton2_Click();
        f.form.hScroll1()->setValue(20);

        f.form.PushButton6_Click();

        QStringList expected;
        if (exists)
            expected << Question(path);
        expected << kDone;
        QCOMPARE(f.boxes.prompts(), expected);
        if (exists) {
            QCOMPARE(f.boxes.calls[0].buttons, int(vbYesNo | vbDefaultButton2));
            QCOMPARE(f.boxes.calls[0].title, QStringLiteral("Question"));
        }
        QCOMPARE(ReadAll(path), copied ? f.workbook : old);
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList {name});
        // The preview stays as it was.
        QCOMPARE(f.form.zoom(), 0.75f);
        QCOMPARE(f.form.picture1()->Left(), -200.0f);
        QVERIFY(f.form.isVisible());
        QVERIFY(!f.form.saving());
    }

    void kindByExtensionOrFilter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter"); // as the dialog counts them, from 1
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("converted");
        QTest::newRow("pdf by extension") << "a.pdf" << 1 << "a.pdf" << true;
        QTest::newRow("upper-case extension") << "a.XLSX" << 1 << "a.XLSX" << true;
        QTest::newRow("extension before filter") << "a.ods" << 2 << "a.ods" << true;
        QTest::newRow("xls extension, pdf filter") << "a.xls" << 2 << "a.xls" << false;
        QTest::newRow("no extension, pdf filter") << "a" << 2 << "a.pdf" << true;
        QTest::newRow("no extension, xlsx filter") << "a" << 3 << "a.xlsx" << true;
        QTest::newRow("no extension, ods filter") << "a" << 4 << "a.ods" << true;
        QTest::newRow("other extension, ods filter") << "a.v2" << 4 << "a.v2.ods" << true;
        QTest::newRow("no extension, xls filter") << "a" << 1 << "a" << false;
    }
    void kindByExtensionOrFilter()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, saved);
        QFETCH(bool, converted);
        Fixture f;
        f.form.setSaveFileDialog(
            std::make_unique<ScriptedDialog>(QStringList {f.saved(typed)}, &f.shown, filter));
        QStringList conversions;
        int pointerDuring = -1;
        f.form.setWorkbookConverter([&](const QString& workbook, const QString& target) {
            conversions << workbook + " -> " + target;
            pointerDuring = f.form.mousePointer().value();
            QVERIFY(WriteAll(target, "converted"));
        });
        f.form.mousePointer().set(vbCustom); // the pointer over the save button

        f.form.PushButton6_Click();

        QCOMPARE(f.targetFiles(), QStringList {saved});
        QCOMPARE(ReadAll(f.saved(saved)), converted ? QByteArray("converted") : f.workbook);
        QCOMPARE(conversions,
            converted ? QStringList {f.form.excelFile() + " -> " + f.saved(saved)} : QStringList());
        QCOMPARE(pointerDuring, converted ? int(vbHourglass) : -1);
        QCOMPARE(f.form.mousePointer().value(), int(vbCustom));
        QCOMPARE(f.boxes.prompts(), QStringList {kDone});
    }

    // The real dialog: the name typed, quotes and all, is the file written, in the folder shown.
    void typedNamesAreSavedAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("saved");
        QTest::newRow("inch mark") << "Office 24\" monitors.xls" << 1 << "Office 24\" monitors.xls";
        QTest::newRow("quoted word") << "my \"best\" list.xls" << 1 << "my \"best\" list.xls";
        QTest::newRow("quotes, pdf") << "\"Q3\" report.pdf" << 1 << "\"Q3\" report.pdf";
        QTest::newRow("quote, xlsx filter") << "list \"v2\"" << 3 << "list \"v2\".xlsx";
        QTest::newRow("quote, ods") << "5\" floppies.ods" << 1 << "5\" floppies.ods";
        QTest::newRow("blanks") << "  two  blanks .xls" << 1 << "  two  blanks .xls";
        QTest::newRow("leading dash") << "-rf.xls" << 1 << "-rf.xls";
        QTest::newRow("unicode") << "Büro «Ost» €.xls" << 1 << "Büro «Ost» €.xls";
    }
    void typedNamesAreSavedAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, saved);
        Fixture f;
        f.form.setSaveFileDialog(std::make_unique<QtSaveFileDialog>(&f.form));
        f.form.setWorkbookConverter(
            [](const QString&, const QString& target) { QVERIFY(WriteAll(target, "converted")); });
        bool typedIn = false;
        QTimer typist;
        QObject::connect(&typist, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* edit = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
            if (!edit || typedIn)
                return;
            typedIn = true;
            dialog->setDirectory(f.target.path());
            dialog->selectNameFilter(dialog->nameFilters().value(filter - 1));
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        typist.start(20);

        f.form.PushButton6_Click();

        QVERIFY(typedIn);
        QCOMPARE(f.targetFiles(), QStringList {saved});
        QCOMPARE(f.boxes.prompts(), QStringList {kDone});
        QCOMPARE(QDir(QDir::currentPath()).entryList({"*monitors*", "*best*", "*report*"}),
            QStringList());
    }

    void ctrlSSavesAndEscapeGoesBack()
    {
        Fixture f({QString()});
        QTest::keyClick(&f.form, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(f.shown.size(), 1);
        QCOMPARE(f.boxes.prompts(), QStringList {kDone});
        // Escape is "< Back": the workbook goes, the list comes back, the program goes on.
        const QString result = f.form.excelFile();
        QTest::keyClick(&f.form, Qt::Key_Escape);
        QVERIFY(!f.form.isVisible());
        QVERIFY(f.mainWindow.isVisible());
        QVERIFY(!QFile::exists(result));
        QVERIFY(f.events.isEmpty());
    }

    void twoSavesGiveTwoCopies()
    {
        Fixture f;
        f.form.setSaveFileDialog(std::make_unique<ScriptedDialog>(
            QStringList {f.saved("a.xls"), f.saved("b.xls")}, &f.shown));
        f.form.PushButton6_Click();
        f.form.PushButton6_Click();
        QCOMPARE(ReadAll(f.saved("a.xls")), f.workbook);
        QCOMPARE(ReadAll(f.saved("b.xls")), f.workbook);
        QCOMPARE(ReadAll(f.form.excelFile()), f.workbook);
        QCOMPARE(f.boxes.prompts(), (QStringList {kDone, kDone}));
    }

    void savingOverTheWorkbookItselfKeepsIt()
    {
        Fixture f;
        f.form.setSaveFileDialog(
            std::make_unique<ScriptedDialog>(QStringList {f.form.excelFile()}, &f.shown));
        f.boxes.answers << vbYes;
        f.form.PushButton6_Click();
        QCOMPARE(ReadAll(f.form.excelFile()), f.workbook);
        QCOMPARE(f.boxes.prompts().last(), kDone);
    }

    void failedCopyKeepsTheOldFileAndClaimsNothing_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("vanished workbook") << "vanished";
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("disk full part way") << "too large";
        QTest::newRow("conversion fails") << "conversion";
    }
    void failedCopyKeepsTheOldFileAndClaimsNothing()
    {
        QFETCH(QString, failure);
        Fixture f;
        const bool conversion = failure == "conversion";
        const QString path = f.saved(conversion ? "old.pdf" : "old.xls");
        const QByteArray old("the user's own file");
        QVERIFY(WriteAll(path, old));
        // The conversion's name gets its extension from the PDF filter.
        f.form.setSaveFileDialog(std::make_unique<ScriptedDialog>(
            QStringList {conversion ? f.saved("old") : path}, &f.shown, conversion ? 2 : 1));
        f.boxes.answers << vbYes;

        if (failure == "vanished") {
            QVERIFY(QFile::remove(f.form.excelFile()));
            f.form.PushButton6_Click();
        } else if (failure == "read-only") {
            // The workbook stays readable; only the save folder refuses writing.
            for (const QString& folder : {f.temp.path(), f.form.workFolder()})
                QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
            QVERIFY(::chmod(QFile::encodeName(f.target.path()).constData(), 0555) == 0);
            AsOrdinaryUser([&] { f.form.PushButton6_Click(); });
            QVERIFY(::chmod(QFile::encodeName(f.target.path()).constData(), 0700) == 0);
        } else if (conversion) {
            f.form.setWorkbookConverter([](const QString&, const QString&) {
                throw std::runtime_error("LibreOffice could not write old.pdf.");
            });
            f.form.PushButton6_Click();
        } else {
            // Files may not grow past 4 KiB: the copy fails in the middle of writing.
            WithFileSizeLimit(4096, [&] { f.form.PushButton6_Click(); });
        }

        QCOMPARE(f.boxes.calls.size(), 2);
        QCOMPARE(f.boxes.calls[0].prompt, Question(path));
        QCOMPARE(f.boxes.calls[1].title, QStringLiteral("Application Error"));
        QVERIFY2(f.boxes.calls[1].prompt.contains(
                     "in Tessivane2021/08/31.Form2.PushButton6_Click at line 134"),
            qPrintable(f.boxes.calls[1].prompt));
        QVERIFY2(!f.boxes.calls[1].prompt.contains("Unknown error"),
            qPrintable(f.boxes.calls[1].prompt));
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(f.targetFiles(), QStringList {QFileInfo(path).fileName()}); // nothing else
        QVERIFY(!f.form.saving());
    }

    void aClickDuringASaveIsTurnedAway()
    {
        Fixture f;
        f.form.setSaveFileDialog(std::make_unique<ScriptedDialog>(
            QStringList {f.saved("a.xls"), f.saved("b.xls")}, &f.shown));
        f.boxes.during = [&](const MessageBoxCall&) { f.form.PushButton6_Click(); };
        f.form.PushButton6_Click();
        QCOMPARE(f.shown.size(), 1);
        QCOMPARE(f.boxes.prompts(), QStringList {kDone});
        QVERIFY(!f.form.saving());
        f.boxes.during = {};
        f.form.PushButton6_Click(); // and the next save runs again
        QCOMPARE(f.shown.size(), 2);
    }

    void backDiscardsTheWorkbookAndShowsTheList_data()
    {
        QTest::addColumn<bool>("folderHoldsMore");
        QTest::newRow("empty working folder") << false;
        QTest::newRow("working folder with another file") << true;
    }
    void backDiscardsTheWorkbookAndShowsTheList()
    {
        QFETCH(bool, folderHoldsMore);
        Fixture f;
        const QString other = f.form.workFolder() + "/other";
        if (folderHoldsMore)
            QVERIFY(WriteAll(other, "x"));
        // A long list's picture is a mapped file of a gigabyte or more: the hidden window lets
        // go of it.
        const QString picture = f.temp.filePath("temp.bmp");
        QVERIFY(WriteAll(picture, bitmapHeader(64, 32) + QByteArray(bitmapStride(64) * 32, 'x')));
        f.form.setPicture(PagedPicture::mapBitmapFile(picture));
        f.form.Form_Activate();
        const auto mapped = [&] { return ReadAll("/proc/self/maps").contains(picture.toUtf8()); };
        QVERIFY(mapped() && f.form.zoomOri()->Picture().isMapped());
        QPointer<Form2> form(&f.form);
        QTest::mouseClick(f.form.pushButton(8), Qt::LeftButton);
        QVERIFY(!mapped());
        QVERIFY(!QFile::exists(f.form.excelFile()));
        QCOMPARE(QDir(f.form.workFolder()).exists(), folderHoldsMore);
        QVERIFY(f.mainWindow.isVisible());
        QVERIFY(form && !form->isVisible());
        QVERIFY(f.events.isEmpty());
        QVERIFY(f.boxes.calls.isEmpty());
    }

    void dialogFiltersInQtForm_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the save filter") << "Excel Files (*.xls)|*.xls|"
                                         << "Excel Files (*.xls)";
        QTest::newRow("patterns not in the name") << "Sheets|*.xls;*.xlt|All|*.*"
                                                  << "Sheets (*.xls *.xlt);;All (*.*)";
        QTest::newRow("none") << ""
                              << "";
    }
    void dialogFiltersInQtForm()
    {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(QtNameFilters(filter), expected);
    }

    void closeSavesTheRowsDiscardsTheWorkbookAndEnds()
    {
        Fixture f;
        f.form.close();
        QCOMPARE(f.events, (QStringList {"rows", "end"}));
        QVERIFY(!QFile::exists(f.form.excelFile()));
        QVERIFY(!QDir(f.form.workFolder()).exists());
        QVERIFY(!f.form.isVisible());
        QVERIFY(f.boxes.calls.isEmpty());
    }
};

TESSIVANE_TEST_MAIN(TestForm2Exits)
#include "tst_form2exits.moc"
