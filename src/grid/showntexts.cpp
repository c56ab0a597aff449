#include "grid/showntexts.h"

#include <QAbstractItemModel>
#include <QTimer>

namespace tessivane {

namespace {

// A slice takes a few milliseconds for a list of thirteen columns.
constexpr int kRowsASlice = 500;

} // namespace

ShownTexts::ShownTexts(const QAbstractItemModel& model, QObject* parent)
    : QObject(parent)
    , mModel(model)
    , mTimer(new QTimer(this))
{
    mTimer->setSingleShot(true);
    mTimer->setInterval(0);
    connect(mTimer, &QTimer::timeout, this, &ShownTexts::warmSlice);
    connect(&model, &QAbstractItemModel::dataChanged, this,
        [this](
            const QModelIndex& from, const QModelIndex& to) { forgetRows(from.row(), to.row()); });
    connect(&model, &QAbstractItemModel::rowsInserted, this, &ShownTexts::clear);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &ShownTexts::clear);
    connect(&model, &QAbstractItemModel::rowsMoved, this, &ShownTexts::clear);
    connect(&model, &QAbstractItemModel::columnsInserted, this, &ShownTexts::clear);
    connect(&model, &QAbstractItemModel::columnsRemoved, this, &ShownTexts::clear);
    connect(&model, &QAbstractItemModel::modelReset, this, &ShownTexts::clear);
    connect(&model, &QAbstractItemModel::layoutChanged, this, &ShownTexts::clear);
}

void ShownTexts::clear()
{
    mTexts = {};
    mMade = {};
    mRows = mColumns = 0;
    mWarmRow = 0;
    scheduleWarming();
}

bool ShownTexts::ensureSize()
{
    const int rows = mModel.rowCount();
    const int columns = mModel.columnCount();
    if (rows == mRows && columns == mColumns)
        return rows > 0 && columns > 0;
    mRows = rows;
    mColumns = columns;
    const qsizetype cells = qsizetype(rows) * columns;
    mTexts = QVector<QString>(cells);
    mMade = QBitArray(cells);
    mWarmRow = 0;
    return cells > 0;
}

void ShownTexts::forgetRows(int first, int last)
{
    if (mRows == 0 || first < 0)
        return;
    for (int row = first; row <= last && row < mRows; ++row) {
        for (int column = 0; column < mColumns; ++column) {
            const qsizetype at = qsizetype(row) * mColumns + column;
            if (mMade.testBit(at)) {
                mMade.clearBit(at);
                mTexts[at] = QString();
            }
        }
    }
    mWarmRow = std::min(mWarmRow, first);
    scheduleWarming();
}

QString ShownTexts::text(int row, int column)
{
    if (!ensureSize() || row < 0 || row >= mRows || column < 0 || column >= mColumns)
        return mModel.index(row, column).data().toString();
    const qsizetype at = qsizetype(row) * mColumns + column;
    if (!mMade.testBit(at)) {
        mTexts[at] = mModel.index(row, column).data().toString();
        mMade.setBit(at);
    }
    return mTexts[at];
}

bool ShownTexts::isWarm() const
{
    return mRows == mModel.rowCount() && mColumns == mModel.columnCount() && mWarmRow >= mRows;
}

void ShownTexts::setWarming(bool warming, const QList<int>& columns)
{
    mWarming = warming;
    mWarmColumns = columns;
    if (warming)
        scheduleWarming();
    else
        mTimer->stop();
}

void ShownTexts::scheduleWarming()
{
    if (mWarming && !mTimer->isActive() && !isWarm())
        mTimer->start();
}

void ShownTexts::warmSlice()
{
    if (!mWarming || !ensureSize())
        return;
    const int end = std::min(mRows, mWarmRow + kRowsASlice);
    for (; mWarmRow < end; ++mWarmRow) {
        for (const int column : std::as_const(mWarmColumns))
            text(mWarmRow, column);
    }
    if (mWarmRow < mRows)
        mTimer->start();
}

} // namespace tessivane
