#pragma once

#include "inventory/csvtext.h"
#include "inventory/listfile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tessivane {

/// Whether a value of a file holds nothing: blanks only, or the end-of-file mark of DOS files.
bool isBlankText(const QString& text);

/// The records of a list file taken one at a time in the form of a ListRead: those above the
/// header skipped, the others checked value by value into its rows or refused, every line
/// counted, and at the end the sentences that tell the user how the file was read.
class ListRowReader
{
public:
    /// Reads into `result`, whose form and columns are set; `header` is the index of the header
    /// record (-1 without one), `columns` the number of columns, `badLines` the lines that hold
    /// bytes foreign to the character set. A sheet's dates may come in the office's own form;
    /// a workbook this program generated holds the loan rate as a fraction and columns it
    /// computes.
    ListRowReader(ListRead& result, int header, int columns, const QList<int>& badLines, bool sheet,
        bool generated);

    /// Takes the next record; false when the list is full and the reading stops there.
    bool take(CsvRecord&& record);

    /// Adds the notes of the reading: `firstLineHeader` when the header is the first line
    /// alone, `dateTexts` the first values going to the date field.
    void addNotes(bool firstLineHeader, const QStringList& dateTexts);

private:
    void takeAbove(const CsvRecord& record);
    void takeValues(const CsvRecord& record);
    /// Refuses a record as a whole: a quote never closed, values beyond the columns.
    bool refusedWhole(const CsvRecord& record);
    /// Reads the record's values into mRow; the refused ones.
    QList<RowRefusal> readCells(const CsvRecord& record);
    QString cellRefusal(const QString& text, bool badBytes) const;
    void refuseRow(const CsvRecord& record, const RowRefusal& refusal);
    QVariant valueOf(int field, const QString& fileText);
    void addHeaderNote(bool firstLineHeader);
    void addColumnNotes();
    void addValueNotes(const QStringList& dateTexts);

    ListRead& mResult;
    const ListForm& mForm;
    const int mHeader;
    const int mColumns;
    const QList<int>& mBadLines;
    const bool mSheet;
    const bool mGenerated;
    int mIndex = -1;
    QStringList mAboveTexts;
    QVector<QVariant> mRow;
    int mStoppedAtLine = 0;
    int mOtherFormDiffers = 0;
    QString mDifferingExample;
};

} // namespace tessivane
