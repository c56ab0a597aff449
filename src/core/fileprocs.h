#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace tessivane {

/// True when the file's last-modification time can be read; any failure gives false.
bool FileExists(const QString& path);

/// Lets pending window events run, then deletes the file; a refused delete is retried by
/// a forced one. Never reports and never throws.
void KillFile(const QString& path) noexcept;

/// The forced second delete: makes the file writable and removes it. Throws on failure.
void DeleteWithFileSystemObject(const QString& path);

/// Writes the bytes at the start of the file (created if absent, not shortened).
/// Throws a readable description on failure.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

/// Reads a picture from the clipboard, up to 1000 attempts back to back; format 0 accepts
/// any picture form. A null image when none could be read.
QImage GetClipboardPicture(int format);

/// The temporary folder: the TEMP variable when set, otherwise the system's.
QString TempFolder();

} // namespace tessivane
