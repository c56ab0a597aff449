#pragma once

#include "inventory/listfile.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QWidget;

namespace tessivane {

/// Reads a list file off the window's thread: readListFile runs on a thread of its own while
/// the window's thread goes on painting and, once the reading takes longer than a moment, a
/// modal progress window shows how far it is and offers Cancel (also Escape). A cancelled
/// reading ends as soon as the reader next looks (an office at work is ended at once).
class ListReading : public QObject
{
    Q_OBJECT

public:
    explicit ListReading(QObject* parent = nullptr);
    ~ListReading() override;

    /// Reads path as readListFile does, workbooks through readWorkbook, and throws what it
    /// throws: ReadCancelled once cancel() or the window's Cancel stopped it. One at a time.
    ListRead read(QWidget* parent, const QString& path, const WorkbookReader& readWorkbook);

    /// Whether a reading is in progress.
    bool isReading() const { return mState != nullptr; }

    /// Stops the reading in progress, if any; read() then throws ReadCancelled.
    void cancel();

signals:
    /// A reading has ended, however it ended.
    void ended();

private:
    struct State;
    std::shared_ptr<State> mState;
};

} // namespace tessivane
