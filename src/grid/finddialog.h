#pragma once

#include "grid/listfinder.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessivane {

/// The small non-modal Find & Replace dialog beside the window: the text, match case, whole
/// cell only, the column, the selection only; the replacement when replacing. Its buttons work
/// through the finder it belongs to; what they found is said in its own line.
class FindDialog : public QDialog
{
    Q_OBJECT

public:
    FindDialog(ListFinder& finder, QWidget* parent);

    /// Shows the replacement and its buttons, or hides them.
    void setReplacing(bool replacing);
    /// While locked the replace buttons are off.
    void setLocked(bool locked);
    /// Puts the cursor into the text to find, all of it selected.
    void focusText();

    FindRequest request() const;

    QLineEdit* findEdit() const { return mFind; }
    QLineEdit* replaceEdit() const { return mReplace; }
    QLabel* statusLabel() const { return mStatus; }

private:
    /// The labels, fields and buttons in place; the Close button.
    QPushButton* layOut();
    void connectControls(QPushButton* close);
    void changed();
    void updateButtons();

    ListFinder& mFinder;
    QLineEdit* mFind;
    QLineEdit* mReplace;
    QLabel* mReplaceLabel;
    QComboBox* mColumn;
    QCheckBox* mMatchCase;
    QCheckBox* mWholeCell;
    QCheckBox* mSelectionOnly;
    QLabel* mStatus;
    QPushButton* mFindNext;
    QPushButton* mFindPrevious;
    QPushButton* mFindAll;
    QPushButton* mReplaceOne;
    QPushButton* mReplaceAll;
    bool mReplacing = false;
    bool mLocked = false;
};

} // namespace tessivane
