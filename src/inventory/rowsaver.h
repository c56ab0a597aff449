#pragma once

#include "inventory/persistence.h"

#include <QObject>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tessivane {

/// Writes the rows to the settings store on a thread of its own, so that a save of a long list
/// never holds up the window. Each save takes its copy of the rows at once; the writes follow
/// one another in the order of the saves, and a save still waiting is replaced by a later one
/// (the later rows are the ones that count). A save of the very rows being written at that
/// moment is that write. The destructor waits for every write.
class RowSaver : public QObject
{
    Q_OBJECT

public:
    using Writer = std::function<void(const RowValues&)>;
    using FailureHandler = std::function<void(const QString& description)>;

    explicit RowSaver(Writer writer = writeRows, QObject* parent = nullptr);
    ~RowSaver() override;

    /// Takes the rows now (leaving the first row current) and writes them after every earlier
    /// save. A failed write is handed to onFailure on this object's thread, through its event
    /// loop. Throws when the table is not open.
    void save(InventoryTable& table, FailureHandler onFailure);

    /// Takes the rows now and waits until they and every earlier save are written. Throws when
    /// this write fails.
    void saveAndWait(InventoryTable& table);

    /// Waits until every save made so far is written.
    void waitForAll();

private:
    struct Job
    {
        RowValues rows;
        FailureHandler onFailure;
        std::optional<QString>* failure = nullptr; // where a waiting save learns the outcome
    };

    void enqueue(Job job);
    void run();

    Writer mWriter;
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::optional<Job> mWaiting;
    bool mWriting = false;
    RowValues mWritingRows; // the rows of the write under way
    std::optional<QString>* mWritingFailure = nullptr;
    bool mStopping = false;
    std::thread mThread;
};

} // namespace tessivane
