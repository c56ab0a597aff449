#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <memory>

class QTemporaryFile;

namespace tessivane {

class SpoolReserve;

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

/// The sheet rows a picture of the sheet shows, from its top: the first one's number (from 1)
/// and each one's height in twips (0 for a hidden row). Empty when not known.
struct SheetRows
{
    int first = 1;
    QList<int> twips;
};

/// The program's own clipboard for pictures. The office hands the sheet picture over on it
/// instead of on the system clipboard, so that whatever the user copied stays there. A
/// picture too large for memory is handed over as a file: an uncompressed BMP in the
/// clipboard's spool folder, which goes with the clipboard unless it is taken.
class PictureClipboard
{
public:
    /// spoolFolder: where a picture handed over as a file is kept; the temporary folder
    /// when empty. reserve, if given, holds room made ahead there for that file.
    explicit PictureClipboard(QString spoolFolder = {}, SpoolReserve* reserve = nullptr);
    ~PictureClipboard();
    PictureClipboard(const PictureClipboard&) = delete;
    PictureClipboard& operator=(const PictureClipboard&) = delete;

    void setImage(const QImage& picture);
    const QImage& image() const { return mPicture; }

    const QString& spoolFolder() const { return mSpoolFolder; }
    /// The file made ahead in the spool folder for a picture handed over as a file, open at
    /// its start (longer or shorter than the picture); null when there is none.
    std::unique_ptr<QTemporaryFile> takeSpoolFile();
    /// Holds the BMP file at path (in the spool folder) as the picture, instead of an image.
    void setImageFile(const QString& path);
    const QString& imageFile() const { return mImageFile; }
    /// Moves the held file to target, replacing a file of that name; the clipboard is empty
    /// afterwards. Throws a readable description when the move fails.
    void moveImageFileTo(const QString& target);

    /// The rows the picture shows, as the office drew them.
    void setRows(SheetRows rows) { mRows = std::move(rows); }
    const SheetRows& rows() const { return mRows; }

private:
    void dropImageFile();

    QImage mPicture;
    QString mSpoolFolder;
    SpoolReserve* mReserve = nullptr;
    QString mImageFile;
    SheetRows mRows;
};

/// Reads the picture handed over on the program's picture clipboard; format 0 accepts any
/// picture form. A picture held as a file is read in place, never decoded whole. A null
/// image when none is there.
QImage GetClipboardPicture(const PictureClipboard& clipboard, int format);

/// Throws a readable description, naming the folder and both sizes, when the folder's file
/// system has less than bytes free for what is described (e.g. "the picture of the sheet").
void checkFreeSpace(const QString& folder, qint64 bytes, const QString& what);

/// The temporary folder: the TEMP variable when set, otherwise the system's.
QString tempFolder();

} // namespace tessivane
