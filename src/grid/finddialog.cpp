#include "grid/finddialog.h"

#include "inventory/inventoryfields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tessivane {

FindDialog::FindDialog(ListFinder& finder, QWidget* parent)
    : QDialog(parent)
    , mFinder(finder)
    , mFind(new QLineEdit(this))
    , mReplace(new QLineEdit(this))
    , mReplaceLabel(new QLabel(QStringLiteral("Re&place with:"), this))
    , mColumn(new QComboBox(this))
    , mMatchCase(new QCheckBox(QStringLiteral("Match &case"), this))
    , mWholeCell(new QCheckBox(QStringLiteral("&Whole cell only"), this))
    , mSelectionOnly(new QCheckBox(QStringLiteral("&Selection only"), this))
    , mStatus(new QLabel(this))
    , mFindNext(new QPushButton(QStringLiteral("Find &Next"), this))
    , mFindPrevious(new QPushButton(QStringLiteral("Find Pre&vious"), this))
    , mFindAll(new QPushButton(QStringLiteral("Find &All"), this))
    , mReplaceOne(new QPushButton(QStringLiteral("&Replace"), this))
    , mReplaceAll(new QPushButton(QStringLiteral("Replace A&ll"), this))
{
    setModal(false);
    QPushButton* close = layOut();
    connectControls(close);
    setReplacing(false);
    changed();
}

QPushButton* FindDialog::layOut()
{
    auto* findLabel = new QLabel(QStringLiteral("&Find:"), this);
    findLabel->setBuddy(mFind);
    mReplaceLabel->setBuddy(mReplace);
    auto* columnLabel = new QLabel(QStringLiteral("C&olumn:"), this);
    columnLabel->setBuddy(mColumn);
    mFind->setAccessibleName(QStringLiteral("Find"));
    mReplace->setAccessibleName(QStringLiteral("Replace with"));
    mColumn->setAccessibleName(QStringLiteral("Column"));
    mStatus->setAccessibleName(QStringLiteral("Search result"));
    mColumn->addItem(QStringLiteral("All columns"), -1);
    for (int field = 0; field < int(kInventoryFields.size()); ++field)
        mColumn->addItem(QString::fromUtf8(kInventoryFields[field].name), field);
    mStatus->setWordWrap(true);
    mStatus->setMinimumHeight(fontMetrics().lineSpacing() * 2);

    auto* fields = new QGridLayout;
    fields->addWidget(findLabel, 0, 0);
    fields->addWidget(mFind, 0, 1);
    fields->addWidget(mReplaceLabel, 1, 0);
    fields->addWidget(mReplace, 1, 1);
    fields->addWidget(columnLabel, 2, 0);
    fields->addWidget(mColumn, 2, 1);
    fields->addWidget(mMatchCase, 3, 1);
    fields->addWidget(mWholeCell, 4, 1);
    fields->addWidget(mSelectionOnly, 5, 1);
    fields->addWidget(mStatus, 6, 0, 1, 2);
    fields->setRowStretch(7, 1);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {mFindNext, mFindPrevious, mFindAll, mReplaceOne, mReplaceAll})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(close);
    // Enter finds the next match, wherever the cursor is in the dialog.
    mFindNext->setDefault(true);
    for (QPushButton* button : {mFindPrevious, mFindAll, mReplaceOne, mReplaceAll, close})
        button->setAutoDefault(false);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
    return close;
}

void FindDialog::connectControls(QPushButton* close)
{
    connect(mFind, &QLineEdit::textChanged, this, &FindDialog::changed);
    connect(mReplace, &QLineEdit::textChanged, this, &FindDialog::changed);
    connect(mColumn, &QComboBox::currentIndexChanged, this, &FindDialog::changed);
    for (QCheckBox* box : {mMatchCase, mWholeCell, mSelectionOnly})
        connect(box, &QCheckBox::toggled, this, &FindDialog::changed);
    connect(mFindNext, &QPushButton::clicked, this, [this] { mFinder.findNext(); });
    connect(mFindPrevious, &QPushButton::clicked, this, [this] { mFinder.findPrevious(); });
    connect(mFindAll, &QPushButton::clicked, this, [this] { mFinder.findAll(); });
    connect(mReplaceOne, &QPushButton::clicked, this, [this] { mFinder.replace(); });
    connect(mReplaceAll, &QPushButton::clicked, this, [this] { mFinder.replaceAll(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(&mFinder, &ListFinder::statusChanged, mStatus, &QLabel::setText);
    // F3 and Shift+F3 as in the grid.
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::FindNext))
        connect(new QShortcut(key, this), &QShortcut::activated, this, [this] {
            if (mFindNext->isEnabled())
                mFinder.findNext();
        });
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::FindPrevious))
        connect(new QShortcut(key, this), &QShortcut::activated, this, [this] {
            if (mFindPrevious->isEnabled())
                mFinder.findPrevious();
        });
}

void FindDialog::setReplacing(bool replacing)
{
    mReplacing = replacing;
    setWindowTitle(replacing ? QStringLiteral("Find & Replace") : QStringLiteral("Find"));
    for (QWidget* widget : {static_cast<QWidget*>(mReplaceLabel), static_cast<QWidget*>(mReplace),
             static_cast<QWidget*>(mReplaceOne), static_cast<QWidget*>(mReplaceAll)})
        widget->setVisible(replacing);
    adjustSize();
}

void FindDialog::setLocked(bool locked)
{
    mLocked = locked;
    updateButtons();
}

void FindDialog::focusText()
{
    mFind->setFocus();
    mFind->selectAll();
}

FindRequest FindDialog::request() const
{
    FindRequest request;
    request.options.text = mFind->text();
    request.options.matchCase = mMatchCase->isChecked();
    request.options.wholeCell = mWholeCell->isChecked();
    request.field = mColumn->currentData().toInt();
    request.selectionOnly = mSelectionOnly->isChecked();
    request.replacement = mReplace->text();
    return request;
}

void FindDialog::changed()
{
    mFinder.setRequest(request());
    updateButtons();
}

void FindDialog::updateButtons()
{
    const bool any = !mFind->text().isEmpty();
    for (QPushButton* button : {mFindNext, mFindPrevious, mFindAll})
        button->setEnabled(any);
    // Nothing replaces while a workbook is being made.
    for (QPushButton* button : {mReplaceOne, mReplaceAll})
        button->setEnabled(any && !mLocked);
}

} // namespace tessivane
