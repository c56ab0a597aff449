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

/// Writes bytes to path safely: a temporary file beside it is renamed over it once complete.
/// Throws a readable sentence; after a failure an existing file is as it was.
void WriteFileSafely(const QString& path, const QByteArray& bytes);

/// The program's own clipboard for pictures. The office hands the sheet picture over on it
/// instead of on the system clipboard, so that whatever the user copied stays there.
class PictureClipboard
{
public:
    void setImage(const QImage& picture) { mPicture = picture; }
    const QImage& image() const { return mPicture; }

private:
    QImage mPicture;
};

/// Reads the picture handed over on the program's picture clipboard; format 0 accepts any
/// picture form. A null image when none is there.
QImage GetClipboardPicture(const PictureClipboard& clipboard, int format);

/// The temporary folder: the TEMP variable when set, otherwise the system's.
QString TempFolder();

} // namespace tessivane
