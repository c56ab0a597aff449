#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace tessivane {

/// The character sets a list file may come in: what spreadsheets and asset managers on
/// Windows, macOS and Linux write, Excel's "Unicode Text" (UTF-16) among them.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1252, MacRoman };

inline constexpr std::array<TextEncoding, 5> kTextEncodings {TextEncoding::Utf8,
    TextEncoding::Utf16LE, TextEncoding::Utf16BE, TextEncoding::Windows1252,
    TextEncoding::MacRoman};

/// The name a user knows the character set by ("UTF-8", "Mac Roman" ...).
QString encodingName(TextEncoding encoding);

/// Bytes read as text in one character set.
struct DecodedText
{
    QString text;
    /// The bytes began with a byte-order mark (not part of the text).
    bool byteOrderMark = false;
    /// The lines (1-based, ascending) that hold bytes which are no text in that character set;
    /// each such byte reads as U+FFFD.
    QList<int> badLines;
};

/// The character set the bytes are most likely in: a byte-order mark decides; else zero bytes
/// in every other place mean UTF-16; else UTF-8 unless its invalid bytes outnumber its valid
/// sequences (a file with a few stray bytes stays UTF-8, those lines refused); else whichever
/// of Windows-1252 and Mac Roman reads the bytes as more plausible words.
TextEncoding guessEncoding(const QByteArray& bytes);

/// The bytes as text in the given character set, a byte-order mark of that set left out.
DecodedText decodeBytes(const QByteArray& bytes, TextEncoding encoding);

} // namespace tessivane
