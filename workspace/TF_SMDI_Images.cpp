// Image window: how images enter a window (files opened or dropped, lists placed side by side,
// bitmaps from a scanner or the clipboard), reading an image's pixels from its file, writing an
// image to a file, the queries on the image list, and the clipboard.
#include "workspace/TF_SMDI.h"

#include "image/DepthConversion.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/ProjectIO.h"
#include "project/TArea.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SelectOrientation.h"
#include "workspace/WaitCursor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>

#include <algorithm>
#include <exception>
#include <limits>
#include <new>

namespace {

// The progress box of a list load: shown for the list, hidden however the loop ends.
class ListProgress {
public:
    explicit ListProgress(int count)
        : m_box(F_Progress)
    {
        if (!m_box)
            return;
        m_box->L_1->setText(QStringLiteral("Loading..."));
        m_box->L_2->clear();
        m_box->PB->setRange(0, count);
        m_box->PB->setValue(0);
        m_box->show();
    }
    ~ListProgress()
    {
        if (m_box)
            m_box->hide();
    }
    ListProgress(const ListProgress&) = delete;
    ListProgress& operator=(const ListProgress&) = delete;

    void step(const QString& text)
    {
        if (!m_box)
            return;
        m_box->L_2->setText(text);
        m_box->DoStep();
    }

private:
    QPointer<TF_Progress> m_box;
};

enum class Orientation { LeftToRight, RightToLeft, TopToBottom, BottomToTop };

// Asks the orientation dialog; its choice stays for the next list.
Orientation askOrientation()
{
    if (!F_SelectOrientation)
        F_SelectOrientation = new TF_SelectOrientation(F_Main);
    F_SelectOrientation->exec();
    if (!F_SelectOrientation) // the program closed it under us
        return Orientation::LeftToRight;
    if (F_SelectOrientation->RadioButton2->isChecked())
        return Orientation::RightToLeft;
    if (F_SelectOrientation->RadioButton3->isChecked())
        return Orientation::TopToBottom;
    if (F_SelectOrientation->RadioButton4->isChecked())
        return Orientation::BottomToTop;
    return Orientation::LeftToRight;
}

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void reportLoadFailure(const QString& fileName)
{
    MessageDlg(QStringLiteral("Error loading image ") + fileName + QStringLiteral("!\r\n\r\n")
                   + QStringLiteral("The file is corrupted or the image size is too big!"),
               mtError, TMsgDlgButtons{mbOK});
    TF_ErrorLog::Error(QStringLiteral("File too large! Error loading image ") + fileName + QStringLiteral("!"), false);
}

// Anything the user would lose if the window closed: images other than `besides`, points, draw
// objects, anchor points or notes. A fresh window's one empty path is no data.
bool holdsData(const TF_SMDI& w, const TStitchObject* besides)
{
    for (const auto& so : w.StitchList)
        if (so.get() != besides)
            return true;
    for (const auto& path : w.PathList)
        if (!path->ObjectList.empty())
            return true;
    if (!w.DrawList.empty())
        return true;
    if (w.AnchorLine && w.AnchorLine->Count() > 0)
        return true;
    return w.Project && !w.Project->Notes.isEmpty();
}

void removeImage(TF_SMDI& w, const TStitchObject* so)
{
    auto& list = w.StitchList;
    list.erase(std::remove_if(list.begin(), list.end(), [so](const auto& owned) { return owned.get() == so; }),
               list.end());
}

// Reads one file of a list into a new image of the window and places it next to the canvas in the
// chosen direction. A file that cannot be decoded is reported and leaves the window as it was;
// returns false then.
bool loadListImage(TF_SMDI& w, const QString& fileName, Orientation orientation)
{
    auto owned = std::make_unique<TStitchObject>();
    TStitchObject* so = owned.get();
    so->filename = fileName;
    w.StitchList.push_back(std::move(owned));
    try {
        w.ReloadImage(so);
    } catch (const std::exception&) {
        removeImage(w, so);
        w.UpdateArea();
        w.SmoothDraw(true);
        reportLoadFailure(fileName);
        return false;
    }
    // The canvas extent is still that of the images before this one. Left of or above the origin
    // is fine: UpdateArea moves everything right or down.
    const int width = so->FD->Info.Header.Width;
    const int height = so->FD->AbsHeight;
    switch (orientation) {
    case Orientation::LeftToRight:
        so->x = w.Area->width();
        so->y = 0;
        break;
    case Orientation::RightToLeft:
        so->x = clampInt(qint64(w.Area->x1) - width);
        so->y = 0;
        break;
    case Orientation::TopToBottom:
        so->x = 0;
        so->y = w.Area->height();
        break;
    case Orientation::BottomToTop:
        so->x = 0;
        so->y = clampInt(qint64(w.Area->y1) - height);
        break;
    }
    so->Visible = true;
    w.UpdateArea();
    w.SmoothDraw(true);
    return true;
}

// The image of the clipboard as a new 24-bit image at the origin, or none when the clipboard
// holds no bitmap or it cannot be converted (reported).
std::unique_ptr<TStitchObject> clipboardImage(bool emptyClipboard)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data || !data->hasImage())
        return nullptr;
    const QImage picture = clipboard->image();
    if (picture.isNull())
        return nullptr;
    if (emptyClipboard)
        clipboard->clear();

    auto so = std::make_unique<TStitchObject>();
    try {
        TFastDIB temp;
        if (BitmapToDIB(picture, temp))
            SetPixelDepth(temp, 24);
        if (!temp.Bits || temp.Info.Header.BitCount != 24)
            throw std::bad_alloc();
        so->FD->Assign(temp);
        temp.Release();
        so->FT->makeSharedCopy(*so->FD);
    } catch (const std::bad_alloc&) {
        TF_ErrorLog::Error(QStringLiteral("Not enough memory for the clipboard image (%1 x %2 pixels)!")
                               .arg(picture.width())
                               .arg(picture.height()),
                           true);
        return nullptr;
    }
    so->Width = so->FD->Info.Header.Width;
    so->Height = so->FD->AbsHeight;
    so->x = 0;
    so->y = 0;
    so->Loaded = true;
    return so;
}

// A clipboard image joins the window's images; the window fits the grown canvas and the tool
// window shows the new image.
void addClipboardImage(TF_SMDI& w, std::unique_ptr<TStitchObject> so)
{
    w.Drawing = true;
    so->ImageChanged = true;
    TStitchObject* raw = so.get();
    w.StitchList.push_back(std::move(so));
    w.UpdateArea();
    w.ResampleStitchObjects(raw);
    w.Drawing = false;
    w.FitToScreen();
    if (F_Measurements)
        F_Measurements->FillMeasurements(&w, false);
}

} // namespace

// ---- loading ----

void TF_SMDI::LoadMultiImages(const QStringList& FileList)
{
    LoadImageFiles(this, FileList);
}

TF_SMDI* LoadImageFiles(TF_SMDI* window, const QStringList& files)
{
    ListProgress progress(int(files.size()));
    const Orientation orientation = files.size() > 1 ? askOrientation() : Orientation::LeftToRight;

    // Whatever runs while the progress box processes events may close the window.
    QPointer<TF_SMDI> w = window;
    const bool given = window != nullptr;
    bool wasChanged = false;
    if (given) {
        wasChanged = window->document().isChanged();
        window->document().setChanged(true);
    }
    bool created = false;
    int added = 0;
    for (const QString& file : files) {
        progress.step(QStringLiteral("Loading image ") + ShortenText(file, given ? 50 : 20));
        if (!IsImageFileName(file))
            continue;
        if (F_Main)
            F_Main->AddRecentFile(file);
        if (!w) {
            if (given || created)
                return nullptr; // the window was closed meanwhile
            w = CreateImageWindow();
            created = true;
            w->document().setChanged(true);
            // A first file that cannot be read closes the new window; the rest of the list has
            // nowhere to go.
            if (w->LoadImage(file, true) != 0)
                return nullptr;
            if (!w)
                return nullptr;
            w->UpdateArea();
            ++added;
            continue;
        }
        if (!loadListImage(*w, file, orientation))
            break;
        ++added;
    }
    if (w && given && added == 0)
        w->document().setChanged(wasChanged); // nothing came in
    return w;
}

void TF_SMDI::AcceptFiles(const QStringList& files)
{
    QPointer<TF_SMDI> self(this);
    LoadImageFiles(this, files);
    if (!self)
        return;
    if (F_Measurements)
        F_Measurements->FillMeasurements(this, false);
    UpdateArea();
    FitToScreen();
}

int TF_SMDI::LoadImage(const QString& AFilename, bool DoLoad)
{
    if (QMdiSubWindow* frame = mdiFrame())
        frame->move(0, 0);
    fImageLoadError = false;
    if (!QFile::exists(AFilename))
        return 0;

    TStitchObject* so = nullptr;
    bool failed = false;
    try {
        auto owned = std::make_unique<TStitchObject>();
        so = owned.get();
        so->x = Area->width(); // right of the current canvas
        so->y = 0;
        so->filename = AFilename;
        StitchList.push_back(std::move(owned));
        if (DoLoad)
            ReloadImage(so);
        else
            fImageLoadError = true; // nothing was read: closing asks nothing
        UpdateArea();
        FitToScreen();
        if (F_Measurements)
            F_Measurements->FillMeasurements(this, false);
    } catch (const std::exception&) {
        fImageLoadError = true;
        failed = true;
    }

    if (failed && DoLoad) {
        reportLoadFailure(AFilename);
        if (!holdsData(*this, so)) {
            close(); // an empty window: nothing is lost and nothing is asked
            return -1;
        }
        // A window that holds data stays as it was; closing it later must ask again.
        removeImage(*this, so);
        fImageLoadError = false;
        UpdateArea();
        if (F_Measurements)
            F_Measurements->FillMeasurements(this, false);
        SmoothDraw(true);
        return -1;
    }

    SmoothDraw(true);
    // The project is a new one now; its old file is not written over unasked.
    Project->Name = NewProjectName(this);
    Project->Filename.clear();
    SetCaption();
    return 0;
}

int TF_SMDI::LoadImageFromHandle(const QImage& AnImage)
{
    const int before = int(StitchList.size());
    if (AnImage.isNull())
        return before;
    auto so = std::make_unique<TStitchObject>();
    try {
        if (!so->FD->LoadFromHandle(AnImage))
            return before;
        SetPixelDepth(*so->FD, 24);
        if (so->FD->Info.Header.BitCount != 24)
            return before; // no memory for the conversion
        so->FT->makeSharedCopy(*so->FD);
    } catch (const std::bad_alloc&) {
        TF_ErrorLog::Error(QStringLiteral("Not enough memory for the scanned image!"), false);
        return before;
    }
    so->filename = QStringLiteral("Not saved");
    so->ImageChanged = true;
    so->Loaded = true;
    // Below and right of the current canvas.
    so->x = Area->width();
    so->y = Area->height();
    so->Width = so->FD->Info.Header.Width;
    so->Height = so->FD->AbsHeight;
    TStitchObject* raw = so.get();
    StitchList.push_back(std::move(so));
    ResampleStitchObjects(raw);
    UpdateArea();
    return int(StitchList.size());
}

void TF_SMDI::ReloadImage(TStitchObject* ASO)
{
    Q_ASSERT(ASO);
    WaitCursor wait;
    if (ReadImagePixels(*ASO))
        ResampleStitchObjects(ASO);
}

// ---- saving ----

int TF_SMDI::SaveImage(TStitchObject* ASO, const QString& AFilename)
{
    Q_ASSERT(ASO);
    const QString ext = ExtractFileExt(AFilename).toLower();
    if (ext != QLatin1String(".bmp") && ext != QLatin1String(".jpg") && ext != QLatin1String(".png")) {
        TF_ErrorLog::Error(QStringLiteral("Error saving image ") + AFilename
                               + QStringLiteral("!\r\n\r\nImages can only be saved as .bmp, .jpg or .png files."),
                           true);
        return -1;
    }
    int result = -1;
    QString reason;
    try {
        // The file carries the project's resolution, so other programs measure it as this one does.
        if (ext == QLatin1String(".bmp")) {
            ASO->FD->Info.Header.XPelsPerMeter = DotsPerMetre(DPI);
            ASO->FD->Info.Header.YPelsPerMeter = DotsPerMetre(DPI);
            result = ASO->FD->SaveToFile(AFilename, &reason);
        } else if (ext == QLatin1String(".jpg")) {
            result = SaveDIBAsJPEG(*ASO->FD, AFilename, DPI);
        } else {
            result = SaveDIBAsPNG(*ASO->FD, AFilename, DPI);
        }
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("Not enough memory");
        result = -1;
    }
    if (result != 0) {
        TF_ErrorLog::Error(QStringLiteral("Error saving image ") + AFilename + QStringLiteral("!")
                               + (reason.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + reason),
                           true);
        return -1;
    }
    return 0;
}

// ---- queries ----

TStitchObject* TF_SMDI::GetStitchObjectByFilename(const QString& AFilename) const
{
    // Names that differ only in case are different files here: an exact match wins.
    for (const auto& so : StitchList)
        if (so->filename == AFilename)
            return so.get();
    for (const auto& so : StitchList)
        if (SameText(so->filename, AFilename))
            return so.get();
    return nullptr;
}

QList<TStitchObject*> TF_SMDI::GetSelectedStitchObject() const
{
    QList<TStitchObject*> result;
    for (const auto& so : StitchList)
        if (so->Selected)
            result << so.get();
    return result;
}

bool TF_SMDI::ImagesAreSave() const
{
    return std::all_of(StitchList.begin(), StitchList.end(),
                       [](const auto& so) { return QFile::exists(so->filename); });
}

void TF_SMDI::MarkImageChanged(TStitchObject* so)
{
    if (!so)
        return;
    so->ImageChanged = true;
    if (so->Embedded)
        m_doc.setChanged(true);
}

bool TF_SMDI::HasChangedImagesOutsideProject() const
{
    return std::any_of(StitchList.begin(), StitchList.end(),
                       [](const auto& so) { return so->ImageChanged && !so->Embedded; });
}

bool TF_SMDI::ProjectSaved() const
{
    return !Project->Changed && !HasChangedImagesOutsideProject();
}

bool TF_SMDI::HasMeasurements() const
{
    return !PathList.empty() && !PathList.front()->ObjectList.empty();
}

// ---- clipboard ----

void TF_SMDI::CopyToClipBoard()
{
    qint64 ax, ay, bx, by;
    if (CopyRect) {
        ax = ClipbrdPT1.x();
        ay = ClipbrdPT1.y();
        bx = ClipbrdPT2.x();
        by = ClipbrdPT2.y();
    } else {
        ax = Area->x1;
        ay = Area->y1;
        bx = Area->x2;
        by = Area->y2;
    }
    const qint64 left = qMin(ax, bx), top = qMin(ay, by);
    const qint64 w = qAbs(bx - ax), h = qAbs(by - ay);
    if (w <= 0 || h <= 0)
        return; // nothing to copy
    if (w > std::numeric_limits<int>::max() || h > std::numeric_limits<int>::max()) {
        TF_ErrorLog::Error(QStringLiteral("The region is too large to copy!"), true);
        return;
    }

    WaitCursor wait;
    try {
        TFastDIB bitmap;
        bitmap.UseGDI = false;
        bitmap.SetSize(int(w), int(h), 24);
        if (!bitmap.Bits)
            throw std::bad_alloc();
        // Later images lie over earlier ones; hidden images are copied too.
        for (const auto& so : StitchList) {
            const TFastDIB& fd = *so->FD;
            if (fd.Bits)
                bitmap.CopyRect(fd, clampInt(qint64(so->x) - left), clampInt(qint64(so->y) - top),
                                fd.Info.Header.Width, fd.AbsHeight, 0, 0);
        }
        if (!bitmap.SaveToClipboard())
            throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        TF_ErrorLog::Error(QStringLiteral("Not enough memory to copy %1 x %2 pixels to the clipboard!").arg(w).arg(h),
                           true);
    }
}

void TF_SMDI::PasteFromClipBoard()
{
    // The settings dialog's "Clear after Paste/Merge", which the store keeps.
    const bool emptyClipboard = WindowValues().ClearClipboard;
    std::unique_ptr<TStitchObject> so = clipboardImage(emptyClipboard);
    if (!so)
        return;
    addClipboardImage(*this, std::move(so));
    m_doc.setChanged(true);
}

void TF_SMDI::MergeFromClipBoard()
{
    std::unique_ptr<TStitchObject> so = clipboardImage(true);
    if (!so)
        return;
    so->Selected = true;
    addClipboardImage(*this, std::move(so));
    // The merged image is placed by hand: image alignment starts at once. The project is marked
    // changed by the first press in that mode.
    ApplyScreenMode(mmSelect);
    A_Align->setChecked(true);
    A_AlignExecute();
    SmoothDraw(true);
}
