// The real dialogs of the list's file commands: the toolkit's file dialogs and the review of
// what an import read.
#include "grid/importreview.h"

#include "core/rememberedfolders.h"
#include "inventory/inventoryfields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
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

ImportChoice QtListDialogs::reviewImport(QWidget* parent, const QString& file, ListRead& read)
{
    ImportReview review(file, read, parent);
    review.exec();
    read = review.result();
    return review.choice();
}

namespace {

QComboBox* choiceBox(
    QWidget* parent, const QString& name, const QList<std::pair<QString, QVariant>>& choices)
{
    auto* box = new QComboBox(parent);
    for (const auto& [text, value] : choices)
        box->addItem(text, value);
    box->setAccessibleName(name);
    return box;
}

void select(QComboBox* box, const QVariant& value)
{
    box->setCurrentIndex(qMax(0, box->findData(value)));
}

} // namespace

ImportReview::ImportReview(const QString& file, const ListRead& read, QWidget* parent)
    : QDialog(parent)
    , mFile(file)
    , mRead(read)
{
    mPool.setMaxThreadCount(1);
    setWindowTitle(QStringLiteral("Import Rows"));
    buildForm();
    showRead(read);
    resize(760, 620);
}

ImportReview::~ImportReview()
{
    mPool.clear();
    mPool.waitForDone();
}

void ImportReview::buildForm()
{
    auto* layout = new QVBoxLayout(this);
    mSummary = new QLabel(this);
    mSummary->setWordWrap(true);
    mSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(mSummary);
    buildChoices(layout);
    buildColumns(layout);
    buildResults(layout);
    buildButtons(layout);
}

/// The boxes of the file's form: character set, separator, decimal mark, dates, header line.
void ImportReview::buildChoices(QVBoxLayout* layout)
{
    QList<std::pair<QString, QVariant>> encodings;
    for (const TextEncoding encoding : kTextEncodings)
        encodings.append({encodingName(encoding), int(encoding)});
    mEncoding = choiceBox(this, QStringLiteral("Character set"), encodings);
    mSeparator = choiceBox(this, QStringLiteral("Separator"),
        {{QStringLiteral("Comma"), QChar(QLatin1Char(','))},
            {QStringLiteral("Semicolon"), QChar(QLatin1Char(';'))},
            {QStringLiteral("Tab"), QChar(QLatin1Char('\t'))}});
    mDecimal = choiceBox(this, QStringLiteral("Decimal mark"),
        {{QStringLiteral("Point (12.50)"), int(DecimalMark::Point)},
            {QStringLiteral("Comma (12,50)"), int(DecimalMark::Comma)}});
    mDates = choiceBox(this, QStringLiteral("Order of dates"),
        {{QStringLiteral("Year, month, day (2015-08-11)"), int(DateOrder::YearMonthDay)},
            {QStringLiteral("Day, month, year (11/08/2015)"), int(DateOrder::DayMonthYear)},
            {QStringLiteral("Month, day, year (08/11/2015)"), int(DateOrder::MonthDayYear)}});
    mHeaderLine = new QSpinBox(this);
    mHeaderLine->setSpecialValueText(QStringLiteral("none"));
    mHeaderLine->setRange(0, qMax(1, qMin(mRead.lines.total, 1000)));
    mHeaderLine->setAccessibleName(QStringLiteral("Header on line"));
    mHeaderLine->setToolTip(QStringLiteral("The line that names the columns; the lines above it "
                                           "are skipped. None: the columns are taken in the "
                                           "list's order."));
    auto* form = new QGridLayout;
    const auto addField = [&](int row, int column, const QString& caption, QWidget* widget) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(widget);
        form->addWidget(label, row, column * 2);
        form->addWidget(widget, row, column * 2 + 1);
    };
    addField(0, 0, QStringLiteral("C&haracter set:"), mEncoding);
    addField(0, 1, QStringLiteral("&Separator:"), mSeparator);
    addField(0, 2, QStringLiteral("Header on &line:"), mHeaderLine);
    addField(1, 0, QStringLiteral("&Decimal mark:"), mDecimal);
    addField(1, 1, QStringLiteral("Da&tes:"), mDates);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    layout->addLayout(form);
    const bool sheet = mRead.source && mRead.source->isSheet();
    mEncoding->setEnabled(!sheet && mRead.source);
    mSeparator->setEnabled(!sheet && mRead.source);
    for (QWidget* widget : {static_cast<QWidget*>(mDecimal), static_cast<QWidget*>(mDates),
             static_cast<QWidget*>(mHeaderLine)})
        widget->setEnabled(bool(mRead.source));
}

void ImportReview::buildColumns(QVBoxLayout* layout)
{
    auto* columnsLabel = new QLabel(QStringLiteral("C&olumns of the file and the field each goes "
                                                   "to:"),
        this);
    mColumns = new QTableWidget(0, 3, this);
    mColumns->setHorizontalHeaderLabels(
        {QStringLiteral("Column"), QStringLiteral("First values"), QStringLiteral("Goes to")});
    mColumns->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    mColumns->verticalHeader()->hide();
    mColumns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mColumns->setSelectionMode(QAbstractItemView::NoSelection);
    mColumns->setTabKeyNavigation(false); // Tab goes from one column's field box to the next
    mColumns->setAccessibleName(QStringLiteral("Columns of the file"));
    columnsLabel->setBuddy(mColumns);
    layout->addWidget(columnsLabel);
    layout->addWidget(mColumns, 2);
}

/// The refused rows' choice, the notes and the refused rows.
void ImportReview::buildResults(QVBoxLayout* layout)
{
    mKeepRefused = new QCheckBox(
        QStringLiteral("&Bring refused rows in with the refused cells left empty"), this);
    mKeepRefused->setEnabled(bool(mRead.source));
    layout->addWidget(mKeepRefused);
    mNotes = new QLabel(this);
    mNotes->setWordWrap(true);
    mNotes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(mNotes);
    mRefusedTitle = new QLabel(this);
    layout->addWidget(mRefusedTitle);
    mRefused = new QPlainTextEdit(this);
    mRefused->setReadOnly(true);
    mRefused->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mRefused->setAccessibleName(QStringLiteral("Refused rows"));
    mRefusedTitle->setBuddy(mRefused);
    layout->addWidget(mRefused, 1);
}

void ImportReview::buildButtons(QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(this);
    mAppend = buttons->addButton(QStringLiteral("Append"), QDialogButtonBox::AcceptRole);
    mReplace = buttons->addButton(QStringLiteral("Replace"), QDialogButtonBox::DestructiveRole);
    mCancel = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(mAppend, &QPushButton::clicked, this, [this] { finish(ImportChoice::Append); });
    connect(mReplace, &QPushButton::clicked, this, [this] { finish(ImportChoice::Replace); });
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(mEncoding, &QComboBox::activated, this, [this] { readAgain(FormPart::Encoding); });
    connect(mSeparator, &QComboBox::activated, this, [this] { readAgain(FormPart::Separator); });
    connect(mDecimal, &QComboBox::activated, this, [this] { readAgain(FormPart::Values); });
    connect(mDates, &QComboBox::activated, this, [this] { readAgain(FormPart::Values); });
    connect(mKeepRefused, &QCheckBox::clicked, this, [this] { readAgain(FormPart::Values); });
    connect(
        mHeaderLine, &QSpinBox::valueChanged, this, [this] { readAgain(FormPart::HeaderLine); });
}

QComboBox* ImportReview::fieldBox(int column) const
{
    return qobject_cast<QComboBox*>(mColumns->cellWidget(column, 2));
}

QString ImportReview::counts() const
{
    return mSummary->text();
}

ListForm ImportReview::formShown() const
{
    ListForm form = mRead.form;
    form.encoding = TextEncoding(mEncoding->currentData().toInt());
    form.separator = mSeparator->currentData().toChar();
    form.decimal = DecimalMark(mDecimal->currentData().toInt());
    form.dates = DateOrder(mDates->currentData().toInt());
    form.headerLine = mHeaderLine->value();
    form.keepRefusedRows = mKeepRefused->isChecked();
    for (int column = 0; column < form.columnFields.size() && column < mColumns->rowCount();
         ++column) {
        if (const QComboBox* box = fieldBox(column))
            form.columnFields[column] = box->currentData().toInt();
    }
    return form;
}

void ImportReview::readAgain(FormPart changed)
{
    if (!mRead.source)
        return;
    const ListForm given = formShown();
    const int reading = ++mReading;
    const QString readingNote = QStringLiteral("\nReading the file again…");
    if (!mSummary->text().endsWith(readingNote))
        mSummary->setText(mSummary->text() + readingNote);
    const std::shared_ptr<const ListSource> source = mRead.source;
    mPool.start([this, source, given, changed, reading] {
        ListRead read;
        try {
            read = source->read(source->guessedForm(given, changed));
        } catch (const std::exception&) {
            return; // out of memory: the reading shown stays
        }
        QMetaObject::invokeMethod(
            this,
            [this, read, reading] {
                if (reading != mReading)
                    return; // a newer one is on its way
                mShown = reading;
                showRead(read);
            },
            Qt::QueuedConnection);
    });
}

void ImportReview::showRead(const ListRead& read)
{
    mRead = read;
    const ListForm& form = read.form;
    select(mEncoding, int(form.encoding));
    select(mSeparator, form.separator);
    select(mDecimal, int(form.decimal));
    select(mDates, int(form.dates));
    {
        const QSignalBlocker quiet(mHeaderLine);
        mHeaderLine->setValue(form.headerLine);
    }
    mKeepRefused->setChecked(form.keepRefusedRows);
    showColumns();

    const LineCounts& lines = read.lines;
    QStringList parts;
    if (lines.header > 0)
        parts.append(QStringLiteral("the header"));
    const auto part = [&](int count, const QString& what) {
        if (count > 0)
            parts.append(QStringLiteral("%1 %2").arg(count).arg(what));
    };
    part(lines.above, QStringLiteral("above it skipped"));
    part(lines.blank, QStringLiteral("blank"));
    part(lines.good, QStringLiteral("in good rows"));
    part(lines.refused, QStringLiteral("in refused rows"));
    QString summary = QStringLiteral("%1\n\n%2 can be added to the list")
                          .arg(QFileInfo(mFile).fileName(), rowCount(read.rows.size()));
    summary += read.refused.isEmpty()
        ? QStringLiteral(".")
        : QStringLiteral("; %1 refused.").arg(rowCount(read.refused.size() + read.moreRefused));
    summary += QStringLiteral("\nThe file's %1: %2.")
                   .arg(lines.total == 1 ? QStringLiteral("1 line")
                                         : QStringLiteral("%1 lines").arg(lines.total),
                       parts.join(QStringLiteral(", ")));
    mSummary->setText(summary);
    mNotes->setText(read.notes.join(QLatin1Char('\n')));
    mNotes->setVisible(!read.notes.isEmpty());

    QStringList refused;
    for (const RowRefusal& refusal : read.refused)
        refused.append(refusalText(read, refusal));
    if (read.moreRefused > 0)
        refused.append(QStringLiteral("... and %L1 more, not listed.").arg(read.moreRefused));
    const QString leftEmpty = read.emptied.size() == 1
        ? QStringLiteral("1 value left empty")
        : QStringLiteral("%1 values left empty").arg(read.emptied.size());
    if (!read.emptied.isEmpty() && !read.refused.isEmpty())
        refused.append(leftEmpty + QLatin1Char(':'));
    for (const RowRefusal& cell : read.emptied)
        refused.append(refusalText(read, cell));
    if (read.refused.isEmpty())
        mRefusedTitle->setText(QStringLiteral("&Refused values left empty (their rows are brought "
                                              "in): %1")
                                   .arg(read.emptied.size()));
    else
        mRefusedTitle->setText(
            QStringLiteral("&Refused: %1").arg(rowCount(read.refused.size() + read.moreRefused)));
    mRefusedTitle->setVisible(!refused.isEmpty());
    mRefused->setVisible(!refused.isEmpty());
    mRefused->setPlainText(refused.join(QLatin1Char('\n')));

    const bool any = !read.rows.isEmpty();
    mAppend->setEnabled(any);
    mReplace->setEnabled(any);
    mAppend->setDefault(any);
    mCancel->setDefault(!any);
    emit shown();
}

void ImportReview::showColumns()
{
    const QList<FileColumn>& columns = mRead.columns;
    const ColumnFields& fields = mRead.form.columnFields;
    bool same = mColumns->rowCount() == columns.size();
    for (int column = 0; same && column < columns.size(); ++column)
        same = mColumns->item(column, 0)->text() == columns[column].heading;
    if (!same) {
        mColumns->setRowCount(int(columns.size()));
        for (int column = 0; column < columns.size(); ++column) {
            mColumns->setItem(column, 0, new QTableWidgetItem(columns[column].heading));
            mColumns->setItem(column, 1,
                new QTableWidgetItem(columns[column].firstValues.join(QStringLiteral(", "))));
            auto* box = new QComboBox(mColumns);
            box->addItem(QStringLiteral("(left out)"), -1);
            for (int field = 0; field < int(kInventoryFields.size()); ++field)
                box->addItem(QString::fromUtf8(kInventoryFields[field].name), field);
            box->setAccessibleName(QStringLiteral("Field of column %1, %2")
                                       .arg(column + 1)
                                       .arg(columns[column].heading));
            box->setEnabled(bool(mRead.source));
            connect(box, &QComboBox::activated, this, [this, column] {
                // A field goes from one column only: the column that had it is left out.
                const int field = fieldBox(column)->currentData().toInt();
                for (int other = 0; other < mColumns->rowCount() && field >= 0; ++other) {
                    if (other != column && fieldBox(other)->currentData().toInt() == field)
                        fieldBox(other)->setCurrentIndex(0);
                }
                readAgain(FormPart::Columns);
            });
            mColumns->setCellWidget(column, 2, box);
        }
        mColumns->resizeColumnToContents(0);
        mColumns->resizeColumnToContents(2);
    }
    for (int column = 0; column < columns.size(); ++column)
        select(fieldBox(column), column < fields.size() ? fields[column] : -1);
}

void ImportReview::finish(ImportChoice choice)
{
    if (mShown != mReading) {
        // What is added is what the controls show: the newest reading first.
        mPool.waitForDone();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    if (mRead.rows.isEmpty())
        return;
    mChoice = choice;
    accept();
}

} // namespace tessivane
