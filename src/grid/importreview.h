#pragma once

#include "grid/listeditor.h"

#include <QDialog>
#include <QThreadPool>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QVBoxLayout;

namespace tessivane {

/// The review of what an import read: the file's form (character set, separator, decimal
/// mark, date order, header line) and its columns with the field each goes to, all of them
/// changeable, the counts and refused rows following each change; Append (the default),
/// Replace and Cancel. A file is read again off the window's thread, so that a long one does
/// not hold the window up; the newest reading is the one shown.
class ImportReview : public QDialog
{
    Q_OBJECT

public:
    ImportReview(const QString& file, const ListRead& read, QWidget* parent = nullptr);
    ~ImportReview() override;

    /// The list as read in the form shown; after Append or Replace, in the form chosen.
    const ListRead& result() const { return mRead; }
    ImportChoice choice() const { return mChoice; }

    /// The box that says which field a column of the file goes to (0-based column).
    QComboBox* fieldBox(int column) const;
    /// The sentence of counts shown: good rows, refused rows, the file's lines.
    QString counts() const;

signals:
    /// A new reading of the file is shown.
    void shown();

private:
    void buildForm();
    void buildChoices(QVBoxLayout* layout);
    void buildColumns(QVBoxLayout* layout);
    void buildResults(QVBoxLayout* layout);
    void buildButtons(QVBoxLayout* layout);
    /// Reads the file again in the form the controls show, `changed` the part the user changed.
    void readAgain(FormPart changed);
    void showRead(const ListRead& read);
    void showColumns();
    /// Finishes with a choice once the newest reading is shown.
    void finish(ImportChoice choice);
    ListForm formShown() const;

    QString mFile;
    ListRead mRead;
    ImportChoice mChoice = ImportChoice::Cancel;
    int mReading = 0; // the newest reading asked for
    int mShown = 0; // the reading shown
    QThreadPool mPool;

    QLabel* mSummary = nullptr;
    QComboBox* mEncoding = nullptr;
    QComboBox* mSeparator = nullptr;
    QComboBox* mDecimal = nullptr;
    QComboBox* mDates = nullptr;
    QSpinBox* mHeaderLine = nullptr;
    QTableWidget* mColumns = nullptr;
    QCheckBox* mKeepRefused = nullptr;
    QLabel* mNotes = nullptr;
    QLabel* mRefusedTitle = nullptr;
    QPlainTextEdit* mRefused = nullptr;
    QPushButton* mAppend = nullptr;
    QPushButton* mReplace = nullptr;
    QPushButton* mCancel = nullptr;
};

} // namespace tessivane
