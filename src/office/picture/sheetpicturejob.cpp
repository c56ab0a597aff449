#include "office/picture/sheetpicturejob_p.h"

#include "office/picture/bandbitmapwriter.h"
#include "office/picture/banddrawing.h"
#include "office/picture/bandscript_p.h"
#include "office/picture/sheetpicture_p.h"
#include "office/session/officeinstance_p.h"

#include "core/bitmapfile.h"
#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/safefile.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tessivane {

namespace {

// A picture of fewer bands is drawn before a second office would have opened the workbook.
constexpr size_t kHelperBands = 6;
// A workbook file smaller than this holds too few rows of the template for that many bands
// (some 250); a helper lent ahead for it would open the workbook in vain.
constexpr qint64 kHelperFileBytes = 100 * 1024;

using TwipsOf = std::function<std::vector<int>(int, int)>;
using Opening = std::shared_future<std::shared_ptr<DocumentState>>;

/// Hides the window of the view a picture is drawn in and returns it, if it was shown. Each
/// band's selection scrolls the view to it, and a shown window paints every row it scrolls
/// past as well, a seventh of the office's time; the picture itself is drawn apart from the
/// window and does not change.
Reference<css::awt::XWindow2> hideViewWindow(const Reference<css::frame::XController>& controller)
{
    const Reference<css::frame::XFrame> frame = controller->getFrame();
    const Reference<css::awt::XWindow2> window(
        frame.is() ? frame->getContainerWindow() : nullptr, UNO_QUERY);
    if (!window.is() || !window->isVisible())
        return {};
    window->setVisible(false);
    return window;
}

/// The view a picture is drawn in, in one office, and the office's script.
struct BandView
{
    Reference<css::frame::XController> controller;
    Reference<css::view::XSelectionSupplier> selection;
    Reference<css::sheet::XSpreadsheet> sheet;
    BandScript script;
};

/// One band of the picture, drawn by office in view; a band's file, if any, is made in
/// folder.
PictureBand drawBand(OfficeInstance& office, BandView& view, const QString& folder,
    std::pair<int, int> rows, const css::table::CellRangeAddress& area, const TwipsOf& twipsOf)
{
    const auto [firstRow, lastRow] = rows;
    return office.call(
        QStringLiteral("draw rows %1 to %2").arg(firstRow + 1).arg(lastRow + 1), [&] {
            PictureBand picture = view.script.picture(view.controller, view.selection,
                view.sheet->getCellRangeByPosition(
                    area.StartColumn, firstRow, area.EndColumn, lastRow),
                folder);
            picture.rowTwips = twipsOf(firstRow, lastRow);
            return picture;
        });
}

/// The picture of one sheet, drawn by its office (and a helper) into a file.
class SheetPictureJob
{
public:
    SheetPictureJob(std::shared_ptr<OfficeInstance> instance,
        std::shared_ptr<DocumentState> document, std::shared_ptr<SheetState> sheet)
        : mInstance(std::move(instance))
        , mDocument(std::move(document))
        , mSheet(std::move(sheet))
    { }

    void CopyPicture(const css::table::CellRangeAddress& area, PictureClipboard& clipboard)
    {
        std::vector<int> columnTwips;
        std::vector<int> rowTwips;
        BandView view {nullptr, nullptr, mSheet->sheet, {}};
        Any previous;
        Reference<css::awt::XWindow2> hidden; // shown again once the picture is drawn
        bool asOpened = false; // what the file holds: another office may draw from it
        mInstance->call(QStringLiteral("measure the used range"), [&] {
            asOpened = !mDocument->savedHere
                && !Reference<css::util::XModifiable>(mDocument->model, UNO_QUERY_THROW)
                        ->isModified();
            view.controller = mDocument->model->getCurrentController();
            view.selection.set(view.controller, UNO_QUERY_THROW);
            previous = view.selection->getSelection();
            hidden = hideViewWindow(view.controller);
            view.script = BandScript::open(*mInstance);
            columnTwips = lineTwips(mSheet->sheet, false, area.StartColumn, area.EndColumn);
            rowTwips = lineTwips(mSheet->sheet, true, area.StartRow, area.EndRow);
        });
        clipboard.setRows({int(area.StartRow) + 1, QList<int>(rowTwips.begin(), rowTwips.end())});
        // The picture is written to a file as it is drawn, a band at a time: a long sheet's
        // picture is larger than memory should hold. Its room is made sure of first.
        const int width = picturePixels(columnTwips);
        const int height = picturePixels(rowTwips);
        // A file made ahead for it already holds some of that room.
        std::unique_ptr<QTemporaryFile> file = clipboard.takeSpoolFile();
        checkFreeSpace(clipboard.spoolFolder(),
            54 + bitmapStride(width) * qint64(height) - (file ? file->size() : 0),
            QStringLiteral("the picture of the sheet"));
        if (!file) {
            file = std::make_unique<QTemporaryFile>(
                clipboard.spoolFolder() + QStringLiteral("/picture-XXXXXX.bmp"));
            if (!file->open())
                throw std::runtime_error(
                    Sentence(QStringLiteral("The picture cannot be written to %1: %2")
                                 .arg(clipboard.spoolFolder(), file->errorString())));
        }
        BandBitmapWriter writer(*file, columnTwips);
        const std::vector<std::pair<int, int>> bands
            = pictureBands(rowTwips, area.StartRow, bandPixels(width));
        const TwipsOf twipsOf = [rowTwips, first = area.StartRow](int firstRow, int lastRow) {
            return std::vector<int>(
                rowTwips.begin() + (firstRow - first), rowTwips.begin() + (lastRow - first + 1));
        };
        const bool written
            = drawBands(writer, bands, area, twipsOf, asOpened, view, clipboard.spoolFolder());
        // A disk that filled meanwhile is the cause to name, not the write that found it so.
        const auto writeFailure = [&] {
            const QString full = fullDiskCause(clipboard.spoolFolder());
            return Sentence(!full.isEmpty()
                    ? full + QStringLiteral(" The picture of the sheet cannot be written there.")
                    : QStringLiteral("The picture cannot be written to %1: %2")
                          .arg(file->fileName(), file->errorString()));
        };
        if (!written)
            throw std::runtime_error(file->error() != QFileDevice::NoError
                    ? writeFailure()
                    : std::string("LibreOffice gave no picture of the used range."));
        mInstance->call(QStringLiteral("select again what was selected"), [&] {
            if (previous.hasValue())
                view.selection->select(previous);
            if (hidden.is())
                hidden->setVisible(true);
        });
        // A file made ahead ends where the picture does.
        if (!writer.finish() || !file->flush() || !file->resize(writer.fileBytes()))
            throw std::runtime_error(writeFailure());
        file->setAutoRemove(false);
        file->close();
        clipboard.setImageFile(file->fileName());
    }

private:
    /// The bands of the picture drawn and written to the file: one call a band, and a second
    /// office drawing too once there is one. False when a band's rows could not be written.
    bool drawBands(BandBitmapWriter& writer, const std::vector<std::pair<int, int>>& bands,
        const css::table::CellRangeAddress& area, const TwipsOf& twipsOf, bool asOpened,
        BandView& view, const QString& folder)
    {
        // The file is written while the next bands are drawn, and a long picture is drawn by a
        // second ready office too, as soon as there is one: the drawing is most of a long
        // run's time.
        BandDrawing drawing(writer, int(bands.size()));
        bool helped = false;
        // One call a band, each within the call time limit, and each band's bytes let go of
        // once its rows are in the file.
        return drawing.run(
            [&](int band) {
                if (asOpened && !helped && bands.size() - size_t(band) >= kHelperBands)
                    helped = addHelper(drawing, bands, area, twipsOf, folder);
                return drawBand(*mInstance, view, folder, bands[size_t(band)], area, twipsOf);
            },
            [&](const std::function<void()>& wait) { mInstance->onWorker(wait); });
    }

    /// A second ready office, if there is one, opens the saved workbook and draws bands too,
    /// from a thread of its own; it quits once no band is left.
    bool addHelper(BandDrawing& drawing, const std::vector<std::pair<int, int>>& bands,
        const css::table::CellRangeAddress& area, const TwipsOf& twipsOf, const QString& folder)
    {
        const HelperOffice lent = mInstance->takeHelper();
        ApplicationPtr helper = lent.application;
        const std::shared_ptr<OfficeInstance> office = lent.instance;
        if (!office) {
            if (helper)
                helper->Quit();
            return false;
        }
        const auto view = std::make_shared<BandView>();
        drawing.addHelper(
            [office, view, path = mDocument->path, index = mSheet->index,
                opened = lent.openedPath == mDocument->path ? lent.opened : Opening()] {
                // Opened ahead, while this office opened it too and measured the sheet.
                const std::shared_ptr<DocumentState> document
                    = opened.valid() ? opened.get() : office->open(path);
                view->sheet = office->sheetOf(document, index)->sheet;
                office->call(QStringLiteral("find the view"), [&] {
                    view->controller = document->model->getCurrentController();
                    view->selection.set(view->controller, UNO_QUERY_THROW);
                    hideViewWindow(view->controller); // its document is only drawn from
                    view->script = BandScript::open(*office);
                });
            },
            [office, view, bands, area, twipsOf, folder](int band) {
                return drawBand(*office, *view, folder, bands[size_t(band)], area, twipsOf);
            },
            [helper, view]() mutable {
                *view = BandView();
                helper->Quit();
            });
        return true;
    }

    std::shared_ptr<OfficeInstance> mInstance;
    std::shared_ptr<DocumentState> mDocument;
    std::shared_ptr<SheetState> mSheet;
};

} // namespace

void lendHelperAhead(const std::shared_ptr<OfficeInstance>& instance, const QString& path)
{
    const QFileInfo file(path);
    if (file.size() < kHelperFileBytes)
        return;
    HelperOffice helper = instance->takeReadyHelper();
    if (!helper.instance) {
        if (helper.application)
            helper.application->Quit();
        return;
    }
    helper.openedPath = file.absoluteFilePath();
    helper.opened
        = std::async(std::launch::async, [office = helper.instance, path = helper.openedPath] {
              return office->open(path);
          }).share();
    instance->lendAhead(std::move(helper));
}

void copySheetPicture(const std::shared_ptr<OfficeInstance>& instance,
    const std::shared_ptr<DocumentState>& document, const std::shared_ptr<SheetState>& sheet,
    const css::table::CellRangeAddress& area, PictureClipboard& clipboard)
{
    SheetPictureJob(instance, document, sheet).CopyPicture(area, clipboard);
}

} // namespace tessivane
