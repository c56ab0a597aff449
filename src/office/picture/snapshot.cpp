#include "office/picture/snapshot.h"

#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/safefile.h"
#include "office/picture/bandbitmapwriter.h"

#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace tessivane {

namespace {

template <typename Object> Object& Need(const std::shared_ptr<Object>& object)
{
    if (!object)
        throw std::runtime_error("Object variable or With block variable not set.");
    return *object;
}

/// Writes the picture on the clipboard as an uncompressed bitmap: a tall sheet's picture is
/// written at the speed of the disk, and read back without decoding. One handed over as a
/// file is moved into place.
void WritePicture(PictureClipboard& clipboard, const QString& path)
{
    if (!clipboard.imageFile().isEmpty()) {
        clipboard.moveImageFileTo(path);
        return;
    }
    const QImage picture = GetClipboardPicture(clipboard, 0);
    if (picture.isNull())
        throw std::runtime_error("There is no picture on the clipboard.");
    // Unbuffered: a buffered last part that fails only in commit() is not noticed there.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeBitmap(picture, file)
        || !file.commit()) {
        const QString full = fullDiskCause(QFileInfo(path).absolutePath());
        throw std::runtime_error((!full.isEmpty()
                ? full + QStringLiteral(" The picture of the sheet cannot be written there.")
                : QStringLiteral("The picture cannot be written to %1: %2")
                      .arg(path, file.errorString()))
                                     .toStdString());
    }
}

} // namespace

void saveCellsActivesheet(const std::shared_ptr<Workbook>& workbook, const QString& path,
    const MessageBoxes& boxes, SheetRows* rows, SpoolReserve* reserve)
{
    Steps step(boxes, "Excel1", "saveCellsActivesheet");
    const QString folder = QFileInfo(path).absolutePath();
    step.setCause([folder] { return fullDiskCause(folder); });
    std::shared_ptr<Worksheet> sheet;
    int lastRow = 0;
    int lastColumn = 0;
    step(100, [&] { sheet = Need(workbook).ActiveSheet(); });
    step(102, [&] { lastRow = Need(sheet).UsedRangeLastRow(); });
    step(104, [&] { lastColumn = Need(sheet).UsedRangeLastColumn(); });
    if (step.test(106, [&] { return lastRow > 1 && lastColumn > 1; })) {
        // The picture goes over the program's own clipboard, which starts empty: the user's
        // clipboard keeps what they copied, and a failed copy leaves nothing to write.
        PictureClipboard clipboard(QFileInfo(path).absolutePath(), reserve);
        step(110, [&] { Need(sheet).CopyPicture(clipboard); });
        step(112, [&] { WritePicture(clipboard, path); });
        if (rows)
            *rows = clipboard.rows();
    }
}

} // namespace tessivane
