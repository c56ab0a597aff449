#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tessivane {

/// Older stores were written in the Windows code page, which the settings store would read as
/// replacement characters and write back so for good: such bytes are rewritten in the file as
/// the UTF-8 form of their Windows-1252 characters. Returns the file's bytes as they now are
/// (empty when there is no file), or nothing when the file cannot be read or is still not
/// UTF-8 throughout.
std::optional<QByteArray> keepWindowsCodePageTexts(const QString& fileName);

/// The program's keys in the bytes of its settings file, read in one pass instead of one
/// settings lookup per key. Only the plain form that the settings store itself writes is read:
/// one [Tessivane] section holding "RowCount" and "RowSource<field> <row>" keys; the plain
/// lines of other sections (the window layout's, the dialogs' folders) are passed over. A file
/// with anything else in it (comments, other keys, continued lines, a key or our section twice)
/// is not read at all (ok() is false); a value that is not plain text is marked Unread, for the
/// settings store to read.
class StoreFileTexts
{
public:
    enum class Entry : unsigned char { Absent, Text, Unread };

    /// Keys of rows above maxRows are passed over.
    StoreFileTexts(const QByteArray& bytes, int fieldCount, int maxRows);

    bool ok() const { return mOk; }
    /// The entry of "RowCount" (field -1) or of field 0.. of row 1..; text is set for Text.
    Entry entry(int field, int row, QString& text) const;
    /// The highest row that has a key.
    int highestRow() const { return mRows; }

private:
    struct Slot
    {
        QString text;
        Entry entry = Entry::Absent;
    };

    bool read(const QByteArray& bytes);
    bool readLine(QByteArrayView line);
    Slot* slotOf(QByteArrayView key, bool& ours);

    int mFieldCount;
    int mMaxRows;
    bool mOk = false;
    int mRows = 0;
    Slot mRowCount;
    std::vector<Slot> mSlots; // row-major, mFieldCount a row
};

} // namespace tessivane
