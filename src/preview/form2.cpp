#include "preview/form2.h"

#include "core/apptitle.h"
#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "core/safefile.h"
#include "core/scratchfolders.h"
#include "preview/picturebox.h"
#include "preview/savekind.h"
#include "preview/viewrules.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QWheelEvent>

#include <stdexcept>

namespace tessivane {

namespace {

QRect pixels(float left, float top, float width, float height)
{
    return TwipRect(left, top, width, height).toPixels();
}

QScrollBar* makeScrollBar(Qt::Orientation orientation, QWidget* parent, const QRect& geometry)
{
    auto* bar = new QScrollBar(orientation, parent);
    bar->setGeometry(geometry);
    bar->setRange(0, kMaxScrollValue);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    // The picture follows value changes only, not the thumb while it is dragged.
    bar->setTracking(false);
    bar->setAttribute(Qt::WA_NoMousePropagation);
    return bar;
}

QPushButton* makeButton(const char* caption, QWidget* parent, const QRect& geometry)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setGeometry(geometry);
    // A move over a button must not reach the frame or window behind it, whose hover rule
    // would undo the button's.
    button->setAttribute(Qt::WA_NoMousePropagation);
    return button;
}

} // namespace

Form2::Form2(QWidget* mainWindow, std::function<void()> saveMainWindowRows,
    const MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , Picture2(new PictureBox(this, TwipRect(120, 120, 9330, 7425)))
    , Picture1(new PictureBox(Picture2, TwipRect(0, 0, 2340, 3435)))
    , Zoom_Ori(new PictureBox(this, TwipRect(10320, 480, 735, 375)))
    , VScroll1(makeScrollBar(Qt::Vertical, this, pixels(9450, 120, 255, 7425)))
    , HScroll1(makeScrollBar(Qt::Horizontal, this, pixels(120, 7545, 9330, 255)))
    , Frame1(new QGroupBox(QStringLiteral("Zoom:"), this))
    , PushButton1(makeButton("Zoom In", Frame1, pixels(240, 300, 4440, 405)))
    , PushButton2(makeButton("Zoom Out", Frame1, pixels(4800, 300, 4560, 405)))
    , PushButton8(makeButton("< Back", this, pixels(120, 8850, 4680, 405)))
    , PushButton6(makeButton("Save Results To Excel File", this, pixels(4920, 8850, 4800, 405)))
    , mMainWindow(mainWindow)
    , mSaveMainWindowRows(std::move(saveMainWindowRows))
    , mBoxes(boxes)
    , mProgramEnd([] { QCoreApplication::exit(0); })
    , mSaveFileDialog(std::make_unique<QtSaveFileDialog>(this))
    , mPointer(this)
{
    // The starting size; larger, the picture's view grows (makeGrowable).
    resize(pixels(0, 0, 9840, 9360).size());
    Frame1->setGeometry(pixels(120, 7860, 9600, 855));

    Picture2->setBackColor(Qt::white);
    Picture2->setAttribute(Qt::WA_NoMousePropagation);
    Picture1->setAutoSize(true);
    Picture1->setAttribute(Qt::WA_NoMousePropagation);
    Zoom_Ori->hide();

    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { VScroll1_Change(); });
    connect(Picture1, &PictureBox::mouseDown, this,
        [this](Qt::MouseButtons button, float x, float y) { picture1_MouseDown(button, x, y); });
    connect(Picture1, &PictureBox::mouseMove, this,
        [this](Qt::MouseButtons button, float x, float y) { picture1_MouseMove(button, x, y); });
    connect(Picture1, &PictureBox::mouseUp, this,
        [this](Qt::MouseButtons button, float x, float y) { Picture1_MouseUp(button, x, y); });

    OnMouseMove(this, [this] { mPointer.hoverSurface(); });
    OnMouseMove(Frame1, [this] { mPointer.hoverSurface(); });
    for (QPushButton* button : {PushButton1, PushButton2, PushButton6, PushButton8})
        OnMouseMove(button, [this] { mPointer.hoverButton(); });

    // The picture viewer's habits: the wheel anywhere over the window, and the keys.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    addKeys();

    describeControls();
    makeGrowable();
    Form_Load();
}

Form2::~Form2() = default;

QPushButton* Form2::pushButton(int number) const
{
    switch (number) {
    case 1:
        return PushButton1;
    case 2:
        return PushButton2;
    case 6:
        return PushButton6;
    case 8:
        return PushButton8;
    default:
        throw std::out_of_range("Form2 has no such push button.");
    }
}

void Form2::setPicture(const PagedPicture& picture)
{
    Picture1->setPicture(picture);
    mFirstActivate = true;
    mSheetRows = {};
}

void Form2::replaceResult(const QString& excelFile, const QString& workFolder)
{
    // No window events run here: the handover happens in the middle of a run.
    if (!mExcelFile.isEmpty() && mExcelFile != excelFile)
        QFile::remove(mExcelFile);
    if (!mWorkFolder.isEmpty() && mWorkFolder != workFolder)
        removeOwnFolder(mWorkFolder);
    mExcelFile = excelFile;
    mWorkFolder = workFolder;
}

void Form2::setSaveFileDialog(std::unique_ptr<SaveFileDialog> dialog)
{
    mSaveFileDialog = std::move(dialog);
}

void Form2::setWorkbookConverter(WorkbookConverter convert)
{
    mConvertWorkbook = std::move(convert);
}

void Form2::setProgramEnd(std::function<void()> end)
{
    mProgramEnd = std::move(end);
}

void Form2::Form_Load()
{
    Steps step(mBoxes, "Form2", "Form_Load");
    step(100, [&] { mFirstActivate = true; });
    step(102, [&] { ApplyFaceColor(this); });
    step(104, [&] {
        setWindowTitle(QString::fromLatin1(kProductName));
        setWindowIcon(programIcon());
    });
    const QString cursorFile = programFile(QStringLiteral("HAND-M.CUR"));
    if (step.test(108, [&] { return FileExists(cursorFile); }))
        step(110, [&] { mPointer.loadMouseIcon(cursorFile); });
}

void Form2::Form_Activate()
{
    Steps step(mBoxes, "Form2", "Form_Activate");
    if (step.test(100, [&] { return mFirstActivate; })) {
        // Both boxes always draw on a persistent surface; nothing to switch on for that.
        step(106, [&] { Picture1->setAutoSize(true); });
        step(110, [&] { Picture1->setBackColor(Qt::white); });
        step(116, [&] { Zoom_Ori->hide(); });
        step(118, [&] { Zoom_Ori->setWidth(Picture1->Width()); });
        step(120, [&] { Zoom_Ori->setHeight(Picture1->Height()); });
        step(122, [&] { Zoom_Ori->setPicture(Picture1->Picture()); });
        step(124, [&] { mZoom = 1.0f; });
        step(126, [&] { mOrigWidth = toInteger32(Zoom_Ori->ScaleWidth() - 2); });
        step(128, [&] { mOrigHeight = toInteger32(Zoom_Ori->ScaleHeight() - 2); });
        step(130, [&] { mImageWidth = scaledSize(1.0f, mOrigWidth); });
        step(132, [&] { mImageHeight = scaledSize(1.0f, mOrigHeight); });
        step(134, [&] { RedrawImage(); });
        step(136, [&] { SetupScrollbars(); });
    }
    step(138, [&] { mFirstActivate = false; });
}

bool Form2::RedrawImage()
{
    Steps step(mBoxes, "Form2", "RedrawImage");
    step(100, [&] { mImageWidth = scaledSize(mZoom, mOrigWidth); });
    step(102, [&] { mImageHeight = scaledSize(mZoom, mOrigHeight); });
    if (step.test(104, [&] { return scaledSizeFits(mImageWidth, mImageHeight); })) {
        step(106, [&] { Picture1->setPicture({}); });
        step(108, [&] { Picture1->setWidth(static_cast<float>(mImageWidth)); });
        step(110, [&] { Picture1->setHeight(static_cast<float>(mImageHeight)); });
        step(112, [&] {
            Picture1->PaintPicture(Zoom_Ori->Picture(), 0, 0, static_cast<float>(mImageWidth),
                static_cast<float>(mImageHeight), 0, 0, static_cast<float>(mOrigWidth),
                static_cast<float>(mOrigHeight));
        });
        step(114, [&] { mPointer.set(vbDefault); });
        step(116, [&] { HScroll1->setValue(0); });
        step(118, [&] { VScroll1->setValue(0); });
        step(120, [&] { HScroll1->setEnabled(Picture2->ScaleWidth() < mImageWidth); });
        step(122, [&] { VScroll1->setEnabled(Picture2->ScaleHeight() < mImageHeight); });
        return true;
    }
    // Too large to paint: the picture stays as it is and the next step starts from 1.0.
    step(124, [&] { mZoom = 1.0f; });
    step(126, [&] { mOrigWidth = toInteger32(Zoom_Ori->ScaleWidth() - 2); });
    step(128, [&] { mOrigHeight = toInteger32(Zoom_Ori->ScaleHeight() - 2); });
    step(130, [&] { mImageWidth = mOrigWidth; });
    step(132, [&] { mImageHeight = mOrigHeight; });
    return false;
}

void Form2::SetupScrollbars()
{
    Picture1->setTop(0);
    Picture1->setLeft(0);

    const auto apply = [](QScrollBar* bar, qint16& barStep, const ScrollbarSetup& setup) {
        bar->setEnabled(setup.enabled);
        if (!setup.enabled) {
            barStep = 0;
            return;
        }
        bar->setMaximum(setup.max);
        barStep = setup.step;
        bar->setValue(0);
    };
    apply(HScroll1, mHStep, setupScrollbar(Picture1->Width(), Picture2->Width()));
    apply(VScroll1, mVStep, setupScrollbar(Picture1->Height(), Picture2->Height()));
}

void Form2::StepZoom(int direction)
{
    SetZoom(nextZoom(mZoom, direction));
}

void Form2::SetZoom(float factor)
{
    if (!zoomAccepted(factor))
        return;
    mZoom = factor;
    // The bars are set up again so that they cover the zoomed picture.
    if (RedrawImage())
        SetupScrollbars();
}

void Form2::HScroll1_Change()
{
    // Formed in 32 bits: a 16-bit product would wrap for pictures far larger than the viewport.
    Picture1->setLeft(static_cast<float>(-(qint32(mHStep) * HScroll1->value())));
}

void Form2::VScroll1_Change()
{
    Picture1->setTop(static_cast<float>(-(qint32(mVStep) * VScroll1->value())));
}

void Form2::PushButton1_Click()
{
    Steps step(mBoxes, "Form2", "PushButton1_Click");
    step(100, [&] { StepZoom(0); });
}

void Form2::PushButton2_Click()
{
    Steps step(mBoxes, "Form2", "PushButton2_Click");
    step(100, [&] { StepZoom(1); });
}

void Form2::picture1_MouseDown(Qt::MouseButtons, float X, float Y)
{
    Steps step(mBoxes, "Form2", "picture1_MouseDown");
    step(100, [&] { mDragX = X; });
    step(102, [&] { mDragY = Y; });
}

void Form2::picture1_MouseMove(Qt::MouseButtons button, float X, float Y)
{
    Steps step(mBoxes, "Form2", "picture1_MouseMove");
    if (!step.test(100, [&] { return button != Qt::NoButton; }))
        return;
    float newLeft = 0;
    float newTop = 0;
    step(104, [&] { newLeft = Picture1->Left() - mDragX + X; });
    step(106,
        [&] { newLeft = clampDragOffset(newLeft, Picture2->ScaleWidth(), Picture1->Width()); });
    step(114, [&] { newTop = Picture1->Top() - mDragY + Y; });
    step(116,
        [&] { newTop = clampDragOffset(newTop, Picture2->ScaleHeight(), Picture1->Height()); });
    step(124, [&] { Picture1->Move(newLeft, newTop); });
}

void Form2::Picture1_MouseUp(Qt::MouseButtons, float, float)
{
    Steps step(mBoxes, "Form2", "Picture1_MouseUp");
    std::optional<qint16> hPct;
    std::optional<qint16> vPct;
    step(100, [&] { hPct = dragPercent(Picture1->Left(), Picture1->Width(), Picture2->Width()); });
    step(102, [&] { vPct = dragPercent(Picture1->Top(), Picture1->Height(), Picture2->Height()); });
    step(104, [&] {
        if (hPct)
            SetHScrollbarByPercent(HScroll1, *hPct);
    });
    step(106, [&] {
        if (vPct)
            SetVScrollbarByPercent(VScroll1, *vPct);
    });
}

void Form2::SetHScrollbarByPercent(QScrollBar* HScrollbar, qint16 percent)
{
    if (const auto value = scrollValueForPercent(percent, HScrollbar->maximum()))
        HScrollbar->setValue(*value);
}

void Form2::SetVScrollbarByPercent(QScrollBar* VScrollbar, qint16 percent)
{
    if (const auto value = scrollValueForPercent(percent, VScrollbar->maximum()))
        VScrollbar->setValue(*value);
}

void Form2::PushButton6_Click()
{
    Steps step(mBoxes, "Form2", "PushButton6_Click");
    if (step.test(100, [&] { return mSaving; }))
        return;
    step(102, [&] { mSaving = true; });

    QString fileName;
    QString title;
    QString filter;
    QString chosen;
    QString name;
    bool converted = false;
    qint16 answer = 0;
    step(110, [&] { fileName.clear(); });
    step(112, [&] { title = QStringLiteral("Save File"); });
    step(114, [&] { filter = saveFilter(); });
    step(116, [&] { chosen = mSaveFileDialog->ShowSave(fileName, title, filter); });
    step(118, [&] {
        const SaveTarget target = chooseSaveTarget(chosen, mSaveFileDialog->FilterIndex());
        name = target.name;
        converted = target.converted;
    });
    if (step.test(120, [&] { return !name.isEmpty(); })) {
        if (step.test(122, [&] { return FileExists(name); })) {
            // The existing file is not deleted here: the copy replaces it only once it is
            // complete, so a failed copy cannot cost the user the file.
            step(124, [&] {
                answer = static_cast<qint16>(
                    mBoxes.MsgBox(QStringLiteral("Are you sure you wish to overwrite ") + name
                            + QStringLiteral(" ?"),
                        vbYesNo | vbDefaultButton2, QStringLiteral("Question")));
            });
        } else {
            step(130, [&] { answer = vbYes; });
        }
    }
    bool saved = true;
    if (step.test(132, [&] { return answer == vbYes; }))
        saved = step(134, [&] { saveTo(name, converted); });
    // After a failed save the failure report is the whole answer; "Done." would claim success.
    if (saved)
        step(136, [&] { mBoxes.MsgBox(QStringLiteral("Done."), vbOKOnly); });
    step(138, [&] { mSaving = false; });
}

void Form2::saveTo(const QString& name, bool converted)
{
    if (!converted) {
        copyFileSafely(mExcelFile, name);
        return;
    }
    if (!mConvertWorkbook)
        throw std::runtime_error(QStringLiteral("%1 cannot be written: no converter is available.")
                                     .arg(name)
                                     .toStdString());
    // The conversion holds the window for a few seconds.
    const int pointer = mPointer.value();
    mPointer.set(vbHourglass);
    const auto restore = qScopeGuard([&] { mPointer.set(pointer); });
    mConvertWorkbook(mExcelFile, name);
}

void Form2::PushButton8_Click()
{
    Steps step(mBoxes, "Form2", "PushButton8_Click");
    swallow([&] { keepPlacement(); });
    step(102, [&] { KillFile(mExcelFile); });
    step(102, [&] { removeWorkFolder(); });
    step(104, [&] {
        if (mMainWindow)
            mMainWindow->show();
    });
    step(106, [&] { hide(); });
    // Nothing shows the hidden picture again: the next run brings its own. A long list's
    // picture is a file of a gigabyte or more, kept in the system's cache while it is held,
    // which slows the next run's writing of its own.
    swallow([&] {
        Zoom_Ori->setPicture({});
        Picture1->setPicture({});
    });
}

void Form2::Form_QueryUnload()
{
    Steps step(mBoxes, "Form2", "Form_QueryUnload");
    // The program ends after this without the main window's own closing steps, so the list
    // is written here as they would write it.
    step(100, [&] {
        if (mSaveMainWindowRows)
            mSaveMainWindowRows();
    });
    step(100, [&] { KillFile(mExcelFile); });
    step(102, [&] { QCoreApplication::processEvents(); });
    step(104, [&] { QCoreApplication::processEvents(); });
    step(104, [&] { removeWorkFolder(); });
}

void Form2::Form_Unload()
{
    swallow([&] {
        if (mProgramEnd)
            mProgramEnd();
    });
}

void Form2::removeWorkFolder()
{
    // rmdir removes only an empty folder: anything left in it stays.
    if (!mWorkFolder.isEmpty())
        QDir().rmdir(mWorkFolder);
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Picture1 && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        describePicture();
    if (watched == Picture2 && event->type() == QEvent::KeyPress)
        return pictureKey(*static_cast<QKeyEvent*>(event));
    if (event->type() != QEvent::Wheel)
        return QWidget::eventFilter(watched, event);
    swallow([&] { wheelTurned(*static_cast<QWheelEvent*>(event)); });
    return true;
}

void Form2::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void Form2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window manager may refuse to activate a new window (or there may be none): the
    // pending initialisation then runs right after showing, so that the new picture is never
    // left without its zoom and scroll bars.
    if (mFirstActivate)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (mFirstActivate && isVisible())
                    Form_Activate();
            },
            Qt::QueuedConnection);
}

void Form2::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (mClosing)
        return; // a second request while the first one lets events run
    mClosing = true;
    swallow([&] { keepPlacement(); });
    Form_QueryUnload();
    Form_Unload();
}

} // namespace tessivane
