#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

namespace tessivane {

/// Whether the disk (file system) holding path is full: less than a megabyte left for this
/// user. Used to name a full disk as the cause of a failure where the write itself is out of
/// sight (an office's), and where the system's own reason was not kept.
bool diskIsFull(const QString& path);

/// "The disk holding <folder> is full." when diskIsFull(folder), else the empty text.
QString fullDiskCause(const QString& folder);

/// "The disk holding <folder> is full: <file> was not changed." (or "was not written." for a
/// file that was not there), the sentence of a save that found no room.
QString fullDiskSentence(const QString& folder, const QString& file);

/// A user's file written completely or not at all. The bytes go to a temporary file beside
/// it; every write is checked (unbuffered, so none is left to a later flush that nobody
/// checks), and the data is synced to the disk before the temporary replaces the file in one
/// rename. On any failure, here or in commit(), a readable sentence is thrown; the file is as
/// it was and the temporary goes with this object.
class SafeFileWriter
{
public:
    /// Throws when the temporary cannot be made.
    explicit SafeFileWriter(const QString& path);

    void write(QByteArrayView bytes);
    /// Puts the written file in place.
    void commit();

    const QString& path() const { return mPath; }

private:
    [[noreturn]] void fail(int systemError);

    QString mPath;
    bool mExisted;
    QSaveFile mFile;
};

/// Writes bytes to path as SafeFileWriter does.
void writeFileSafely(const QString& path, const QByteArray& bytes);

/// Copies source to destination as SafeFileWriter writes, a part at a time. Throws a readable
/// sentence; a source that cannot be read is named as such.
void copyFileSafely(const QString& source, const QString& destination);

} // namespace tessivane
