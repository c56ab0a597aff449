#pragma once

#include <QBitArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

class QAbstractItemModel;
class QTimer;

namespace tessivane {

/// The texts the grid shows for the cells, kept once made, so that a search does not format
/// every amount and date again. A changed cell is made again when next asked for; rows added,
/// removed or moved start afresh. While warming it makes the texts it lacks a slice at a time
/// from the event loop, so that the first search finds them ready without a stall.
class ShownTexts : public QObject
{
    Q_OBJECT

public:
    explicit ShownTexts(const QAbstractItemModel& model, QObject* parent = nullptr);

    QString text(int row, int column);

    /// Makes the missing texts of these columns in the background while on.
    void setWarming(bool warming, const QList<int>& columns);
    /// True when every text of those columns is made.
    bool isWarm() const;

private:
    void clear();
    void forgetRows(int first, int last);
    void warmSlice();
    void scheduleWarming();
    bool ensureSize();

    const QAbstractItemModel& mModel;
    QVector<QString> mTexts;
    QBitArray mMade;
    int mRows = 0;
    int mColumns = 0;
    QList<int> mWarmColumns;
    int mWarmRow = 0;
    bool mWarming = false;
    QTimer* mTimer;
};

} // namespace tessivane
