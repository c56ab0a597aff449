#include "inventory/storefile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace tessivane {

namespace {

// The characters of Windows-1252 at 0x80 to 0x9F (the five it leaves undefined keep their
// byte's value, as Latin-1 has them); from 0xA0 on it is Latin-1.
constexpr char16_t kWindows1252[32]
    = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The length of the well-formed UTF-8 sequence at `at`, or 0 when there is none.
qsizetype utf8SequenceLength(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? uchar(bytes[i]) : 0; };
    const uchar lead = byte(at);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    }
    return length;
}

// A value byte that the settings store reads as itself outside quotes: no control character,
// quote, escape, list separator, comment or second key separator.
bool plainByte(char c)
{
    const uchar u = uchar(c);
    return u >= 0x20 && u != 0x7F && c != '"' && c != '\\' && c != ',' && c != ';' && c != '=';
}

// A value byte that the settings store reads as itself inside quotes.
bool quotedByte(char c)
{
    const uchar u = uchar(c);
    return u >= 0x20 && u != 0x7F && c != '"' && c != '\\';
}

// Whether the settings store's reading ends the line at its line break: no quote is left open
// and the break is not escaped.
bool endsWithItsLineBreak(QByteArrayView line)
{
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            if (++i == line.size())
                return false;
        } else if (line[i] == '"') {
            inQuotes = !inQuotes;
        }
    }
    return !inQuotes;
}

// A decimal number without sign or leading zero; -1 when it is none or has more than `digits`
// digits (0 when it is too long but a number all the same).
int decimal(QByteArrayView text, int digits, bool& number)
{
    number = !text.isEmpty() && text.front() != '0'
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!number || text.size() > digits)
        return 0;
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

} // namespace

std::optional<QByteArray> keepWindowsCodePageTexts(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    file.close();
    QByteArray repaired;
    qsizetype copied = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = utf8SequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        if (repaired.isEmpty())
            repaired.reserve(bytes.size() + bytes.size() / 8);
        repaired.append(bytes.constData() + copied, at - copied);
        const uchar byte = uchar(bytes[at]);
        const char16_t character = byte < 0xA0 ? kWindows1252[byte - 0x80] : char16_t(byte);
        repaired.append(QStringView(&character, 1).toUtf8());
        copied = ++at;
    }
    if (copied == 0)
        return bytes; // UTF-8 throughout, as every file this program writes
    repaired.append(bytes.constData() + copied, bytes.size() - copied);
    // The file's syntax is all ASCII and stays as it is. Written as the settings store writes
    // its files, but unbuffered, so that a write that finds the disk full is seen before the
    // file is replaced; when this fails the store reads as before.
    QSaveFile out(fileName);
    if (out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        && out.write(repaired) == repaired.size() && out.commit())
        return repaired;
    return std::nullopt;
}

StoreFileTexts::StoreFileTexts(const QByteArray& bytes, int fieldCount, int maxRows)
    : mFieldCount(fieldCount)
    , mMaxRows(maxRows)
{
    mOk = read(bytes);
    if (!mOk) {
        mSlots.clear();
        mRows = 0;
        mRowCount = Slot();
    }
}

StoreFileTexts::Entry StoreFileTexts::entry(int field, int row, QString& text) const
{
    const Slot* slot = &mRowCount;
    if (field >= 0) {
        if (field >= mFieldCount || row < 1 || row > mRows)
            return Entry::Absent;
        slot = &mSlots[std::size_t(row - 1) * mFieldCount + field];
    }
    if (slot->entry == Entry::Text)
        text = slot->text;
    return slot->entry;
}

bool StoreFileTexts::read(const QByteArray& bytes)
{
    bool inSection = false;
    bool seenSection = false;
    bool inOther = false;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line(bytes.constData() + at, end - at);
        at = end + 1;
        if (line.isEmpty())
            continue;
        if (line == "[Tessivane]") {
            if (seenSection)
                return false; // a second section of that name
            inSection = seenSection = true;
            inOther = false;
            continue;
        }
        // The window layout and the dialogs' folders live in sections of their own, which say
        // nothing about the rows.
        if (line.startsWith('[') && line.endsWith(']')) {
            inSection = false;
            inOther = true;
            continue;
        }
        if (inOther) {
            // A line going on in the next one is left to the settings store's own rules.
            if (line.contains('\r') || !endsWithItsLineBreak(line))
                return false;
            continue;
        }
        if (!inSection || !readLine(line))
            return false;
    }
    return true;
}

bool StoreFileTexts::readLine(QByteArrayView line)
{
    // A line that goes on in the next one is read by the settings store's own rules.
    if (line.contains('\r') || !endsWithItsLineBreak(line))
        return false;
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0)
        return false;
    bool ours = false;
    Slot* slot = slotOf(line.first(equals), ours);
    if (!ours)
        return false;
    if (!slot)
        return true; // a row that is never read
    if (slot->entry != Entry::Absent)
        return false;
    QByteArrayView value = line.sliced(equals + 1);
    slot->entry = Entry::Unread;
    if (!value.isEmpty() && value.front() == '"') {
        if (value.size() < 2 || value.back() != '"')
            return true;
        value = value.sliced(1, value.size() - 2);
        if (!std::all_of(value.begin(), value.end(), quotedByte))
            return true;
    } else if (!std::all_of(value.begin(), value.end(), plainByte)
        || (!value.isEmpty() && (value.front() == ' ' || value.back() == ' '))) {
        return true;
    }
    if (!value.isEmpty() && value.front() == '@')
        return true; // the store's mark of a value that is not text
    slot->entry = Entry::Text;
    slot->text = QString::fromUtf8(value);
    return true;
}

StoreFileTexts::Slot* StoreFileTexts::slotOf(QByteArrayView key, bool& ours)
{
    ours = false;
    if (key == "RowCount") {
        ours = true;
        return &mRowCount;
    }
    constexpr QByteArrayView prefix("RowSource");
    constexpr QByteArrayView blank("%20");
    if (!key.startsWith(prefix))
        return nullptr;
    key = key.sliced(prefix.size());
    const qsizetype split = key.indexOf(blank);
    if (split < 0)
        return nullptr;
    bool number = false;
    const int field = decimal(key.first(split), 2, number) - 1;
    if (!number || field < 0 || field >= mFieldCount)
        return nullptr;
    const int row = decimal(key.sliced(split + blank.size()), 9, number);
    if (!number)
        return nullptr;
    ours = true;
    if (row < 1 || row > mMaxRows)
        return nullptr;
    if (row > mRows) {
        mRows = row;
        mSlots.resize(std::size_t(row) * mFieldCount);
    }
    return &mSlots[std::size_t(row - 1) * mFieldCount + field];
}

} // namespace tessivane
