#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <thread>

class QTemporaryFile;

namespace tessivane {

/// Bytes a large spool file is written at a time. Much larger writes make the system cache the
/// file in large pages, which a mapping of the picture then holds whole: the preview's memory
/// would grow as it scrolls.
constexpr qsizetype kSpoolWriteBytes = 64 * 1024;

/// Room made ahead for a large file still to be written: a new file that a thread of its own
/// fills with zeros while the program does other work, and that the large file's writes then
/// go over. On a virtual machine the first write into memory the system has not used lately
/// costs several times a write into memory in use (the host supplies it then): a 10,000-row
/// picture's writing took a third of a processor while the offices drew it. Filled ahead, that
/// cost falls where a processor is idle.
/// Nothing is made where the disk would keep less than 256 MB free.
class SpoolReserve
{
public:
    SpoolReserve() = default; // holds nothing
    /// fileTemplate: the file's path with XXXXXX for QTemporaryFile.
    SpoolReserve(const QString& fileTemplate, qint64 bytes);
    ~SpoolReserve();
    SpoolReserve(const SpoolReserve&) = delete;
    SpoolReserve& operator=(const SpoolReserve&) = delete;

    /// Stops the filling and hands the file over, open to read and write at its start, as
    /// far as it was filled; null when nothing was. A file not taken goes with the reserve.
    std::unique_ptr<QTemporaryFile> take();

private:
    void stop();

    std::unique_ptr<QTemporaryFile> mFile;
    std::atomic<bool> mStop {false};
    std::thread mFiller;
};

} // namespace tessivane
