#include "office/snapshot.h"

#include "core/failurereport.h"
#include "core/fileprocs.h"

#include <QImage>
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

// Light compression: a picture of hundreds of rows is written several times faster than
// with the default, for a file somewhat larger.
constexpr int kPngQuality = 80;

/// Writes the picture as PNG whatever the name's extension; the reader goes by content.
void WritePicture(const QImage& picture, const QString& path)
{
    if (picture.isNull())
        throw std::runtime_error("There is no picture on the clipboard.");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG", kPngQuality)
        || !file.commit())
        throw std::runtime_error(QStringLiteral("The picture cannot be written to %1: %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
}

} // namespace

void saveCellsActivesheet(const std::shared_ptr<Workbook>& workbook, const QString& path)
{
    Steps step("Excel1", "saveCellsActivesheet");
    std::shared_ptr<Worksheet> sheet;
    int lastRow = 0;
    int lastColumn = 0;
    step(100, [&] { sheet = Need(workbook).ActiveSheet(); });
    step(102, [&] { lastRow = Need(sheet).UsedRangeLastRow(); });
    step(104, [&] { lastColumn = Need(sheet).UsedRangeLastColumn(); });
    if (step.test(106, [&] { return lastRow > 1 && lastColumn > 1; })) {
        bool copied = false;
        step(110, [&] {
            Need(sheet).CopyPicture();
            copied = true;
        });
        step(112, [&] {
            // After a failed copy the clipboard still holds whatever it held before (another
            // program's picture, an earlier sheet): never passed off as this sheet.
            if (!copied)
                throw std::runtime_error("No picture of the sheet was made, so none is written.");
            WritePicture(GetClipboardPicture(0), path);
        });
    }
}

} // namespace tessivane
