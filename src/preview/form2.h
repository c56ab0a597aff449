#pragma once

#include "core/bitmapfile.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "core/windowlook.h"
#include "preview/savefiledialog.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QGroupBox;
class QPushButton;
class QScrollBar;
class QKeyEvent;
class QWheelEvent;

namespace tessivane {

class PictureBox;

/// Writes the workbook (first argument) to the target (second) in the kind that the target's
/// extension names; throws a readable sentence on failure, leaving an existing target as it was.
using WorkbookConverter = std::function<void(const QString& workbook, const QString& target)>;

/// The result preview: the sheet picture in a fixed viewport with zoom steps, scroll bars and
/// drag-panning, and the ways out (save a copy of the workbook, back to the list, close).
/// All geometry is in twips (15 to the pixel); the boxes keep it exactly so that the scroll
/// and zoom arithmetic is the same whatever the screen.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    /// Builds the window and runs its creation steps. The main window is shown again by
    /// "< Back"; saveMainWindowRows writes the list as the main window's own close does and
    /// runs when this window closes the program. Its messages and failure reports go through
    /// boxes, which must outlive it.
    Form2(QWidget* mainWindow, std::function<void()> saveMainWindowRows, const MessageBoxes& boxes,
        QWidget* parent = nullptr);
    ~Form2() override;

    /// Takes over a new result workbook and its working folder. A result still held here
    /// (never discarded by "< Back") is deleted first, with its folder, so that it is not
    /// left behind in the temporary folder.
    void replaceResult(const QString& excelFile, const QString& workFolder);
    const QString& excelFile() const { return mExcelFile; }
    const QString& workFolder() const { return mWorkFolder; }

    /// Hands over a new sheet picture: the image box sizes itself to it and the next
    /// activation of the window initialises zoom and scroll bars for it (right after showing
    /// when the window manager does not activate the window).
    void setPicture(const PagedPicture& picture);
    /// The sheet rows the picture shows, so that a screen reader hears which are in view.
    void setSheetRows(const SheetRows& rows);

    /// Replaces the save-file dialog (tests answer it).
    void setSaveFileDialog(std::unique_ptr<SaveFileDialog> dialog);
    /// How a save writes the kinds other than the .xls copy; without one they fail readably.
    void setWorkbookConverter(WorkbookConverter convert);
    /// Replaces how closing this window ends the program (tests).
    void setProgramEnd(std::function<void()> end);

    // Event handlers and procedures. Those with a failure report show it under their own name.
    void Form_Load();
    void Form_Activate();
    void Form_QueryUnload();
    void Form_Unload();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton6_Click();
    void PushButton8_Click();
    /// Mouse on the image box; X and Y in twips of the image box's interior.
    void picture1_MouseDown(Qt::MouseButtons button, float X, float Y);
    void picture1_MouseMove(Qt::MouseButtons button, float X, float Y);
    void Picture1_MouseUp(Qt::MouseButtons button, float X, float Y);
    void HScroll1_Change();
    void VScroll1_Change();
    /// Paints the zoomed picture once from the unscaled source. False when the scaled size
    /// was refused (zoom back to 1.0, picture untouched).
    bool RedrawImage();
    void SetupScrollbars();
    /// Direction 0 zooms in, any other zooms out, by 0.25.
    void StepZoom(int direction);
    /// Takes factors from 0.25 to 2.25; others are ignored silently.
    void SetZoom(float factor);
    /// Puts the bar at percent of its Max; a negative percent or one past Max changes nothing.
    void SetHScrollbarByPercent(QScrollBar* HScrollbar, qint16 percent);
    void SetVScrollbarByPercent(QScrollBar* VScrollbar, qint16 percent);
    /// The mouse wheel anywhere over the window: it scrolls through the bars, vertically or
    /// with Shift horizontally; with Ctrl it zooms as the zoom buttons do, a step a notch.
    void wheelTurned(const QWheelEvent& event);

    // Window state, read by tests.
    float zoom() const { return mZoom; }
    qint32 origWidth() const { return mOrigWidth; }
    qint32 origHeight() const { return mOrigHeight; }
    qint32 imageWidth() const { return mImageWidth; }
    qint32 imageHeight() const { return mImageHeight; }
    qint16 hStep() const { return mHStep; }
    qint16 vStep() const { return mVStep; }
    bool firstActivate() const { return mFirstActivate; }
    bool saving() const { return mSaving; }
    MousePointer& mousePointer() { return mPointer; }

    /// The window's controls, for tests and the bench that look at them or press them:
    /// PushButtonN (1, 2, 6 or 8; throws for another number).
    PictureBox* picture1() const { return Picture1; }
    PictureBox* picture2() const { return Picture2; }
    PictureBox* zoomOri() const { return Zoom_Ori; }
    QScrollBar* vScroll1() const { return VScroll1; }
    QScrollBar* hScroll1() const { return HScroll1; }
    QGroupBox* frame1() const { return Frame1; }
    QPushButton* pushButton(int number) const;

private:
    PictureBox* const Picture2; ///< the viewport
    PictureBox* const Picture1; ///< the image box inside the viewport
    PictureBox* const Zoom_Ori; ///< the hidden, unscaled zoom source
    QScrollBar* const VScroll1;
    QScrollBar* const HScroll1;
    QGroupBox* const Frame1;
    QPushButton* const PushButton1;
    QPushButton* const PushButton2;
    QPushButton* const PushButton8;
    QPushButton* const PushButton6;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    /// Full path of the generated workbook; deleted on back and on close.
    QString mExcelFile;
    /// The run's private working folder; removed after the workbook on back and on close,
    /// only when empty. Empty text: none.
    QString mWorkFolder;
    void removeWorkFolder();
    // In form2layout.cpp: names for a screen reader, the keys and the wheel, growth, placement.
    void describeControls();
    /// The keys that zoom, save and go back.
    void addKeys();
    void describePicture();
    bool pictureKey(const QKeyEvent& event);
    void makeGrowable();
    void keepPlacement();
    void saveTo(const QString& name, bool converted);

    QPointer<QWidget> mMainWindow;
    std::function<void()> mSaveMainWindowRows;
    const MessageBoxes& mBoxes;
    std::function<void()> mProgramEnd;
    std::unique_ptr<SaveFileDialog> mSaveFileDialog;
    WorkbookConverter mConvertWorkbook;
    MousePointer mPointer;

    float mZoom = 1.0f;
    qint32 mOrigWidth = 0;
    qint32 mOrigHeight = 0;
    qint32 mImageWidth = 0;
    qint32 mImageHeight = 0;
    qint16 mHStep = 0;
    qint16 mVStep = 0;
    float mDragX = 0;
    float mDragY = 0;
    int mWheelZoom = 0; ///< the part of a notch that Ctrl+wheel has turned so far
    bool mFirstActivate = false;
    bool mSaving = false;
    bool mClosing = false;
    SheetRows mSheetRows;
};

} // namespace tessivane
