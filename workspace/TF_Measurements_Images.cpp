// The image tree's commands: showing, ordering, removing, extracting, saving and reverting single
// images of the bound window, saving its project and exporting its whole canvas as one bitmap.
#include "workspace/TF_Measurements.h"

#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

// The main window's image save dialog; the same request stands in when there is no main window.
FileDialogRequest imageSaveRequest()
{
    if (F_Main)
        return F_Main->SD_Image;
    FileDialogRequest request;
    request.filter = QStringLiteral("Windows Bitmap files|*.bmp|JPEG files|*.jpg|Portable Network Graphic|*.png");
    request.overwritePrompt = true;
    return request;
}

// The dialog's file type is kept for its next use, as a dialog that stays alive keeps it.
void rememberImageSaveType(int filterIndex)
{
    if (F_Main)
        F_Main->SD_Image.filterIndex = filterIndex;
}

// Index of the image in the window's drawing order; -1 when it is not one of its images.
qsizetype positionOf(const TF_SMDI* f, const TStitchObject* so)
{
    for (size_t i = 0; i < f->StitchList.size(); ++i)
        if (f->StitchList[i].get() == so)
            return qsizetype(i);
    return -1;
}

// Writes the canvas picture as a Windows bitmap, whatever the name's extension says. The old file
// stays when the write fails.
// The picture in the format its name says (.bmp, .jpg, .png), JPEG at the program's image quality,
// with the window's resolution. False when the name says no such format or the write failed.
bool writePictureFile(QImage picture, const QString& fileName, int dpi)
{
    const QString ext = ExtractFileExt(fileName).toLower();
    QByteArray format;
    if (ext == QLatin1String(".bmp"))
        format = "bmp";
    else if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        format = "jpg";
    else if (ext == QLatin1String(".png"))
        format = "png";
    if (picture.isNull() || format.isEmpty())
        return false;
    if (dpi > 0) {
        picture.setDotsPerMeterX(DotsPerMetre(dpi));
        picture.setDotsPerMeterY(DotsPerMetre(dpi));
    }
    return WritePicture(picture, fileName, format, format == "jpg" ? ImageJPEGQuality : -1) == 0;
}

} // namespace

TStitchObject* TF_Measurements::FirstSelectedImage() const
{
    if (!MDIForm())
        return nullptr;
    const QItemSelectionModel* sel = VST_SO->selectionModel();
    if (!sel->hasSelection())
        return nullptr;
    for (TreeNode* node : m_soModel->allNodes())
        if (sel->isSelected(m_soModel->indexFromNode(node)))
            return m_soModel->imageOf(node);
    return nullptr;
}

void TF_Measurements::updateImageCommands()
{
    const bool bound = MDIForm() != nullptr;
    const bool image = FirstSelectedImage() != nullptr;
    A_SaveProject->setEnabled(bound && F_Main);
    A_ExportImageToSingleFile->setEnabled(bound);
    for (QAction* a : {PM_SOVisible, PM_SOMoveToFront, PM_SOSendToBack, PM_SOOneUp, PM_SOOneDown, A_ExtractImage,
                       A_SaveImageAs, A_RevertImage})
        a->setEnabled(image);
    if (!image)
        PM_SOVisible->setChecked(false);
    // Removal takes every selected image, not only the first row.
    bool anyImage = false;
    if (bound)
        for (const QModelIndex& idx : VST_SO->selectionModel()->selectedRows())
            anyImage = anyImage || m_soModel->imageOf(m_soModel->nodeFromIndex(idx));
    A_RemoveImage->setEnabled(anyImage);
}

void TF_Measurements::PM_SaveProjectClick()
{
    if (F_Main)
        F_Main->A_SaveProjectExecute();
}

void TF_Measurements::PM_VisibleClick()
{
    TF_SMDI* f = MDIForm();
    TStitchObject* so = FirstSelectedImage();
    if (!f || !so)
        return;
    so->Visible = !so->Visible;
    PM_SOVisible->setChecked(so->Visible);
    VST_SO->viewport()->update();
    f->SmoothDraw(true);
}

void TF_Measurements::PM_TopClick(QAction* Sender)
{
    TF_SMDI* f = MDIForm();
    TStitchObject* so = FirstSelectedImage();
    if (!f || !so)
        return;
    auto& list = f->StitchList;
    const qsizetype i = positionOf(f, so);
    if (i < 0)
        return;
    const qsizetype last = qsizetype(list.size()) - 1;
    // Swaps, not shifts: the image that was in the way takes the vacated place.
    qsizetype other = i;
    if (Sender == PM_SOSendToBack)
        other = 0;
    else if (Sender == PM_SOMoveToFront)
        other = last;
    else if (Sender == PM_SOOneUp)
        other = i > 0 ? i - 1 : i;
    else if (Sender == PM_SOOneDown)
        other = i < last ? i + 1 : i;
    std::swap(list[size_t(i)], list[size_t(other)]);
    FillProject(f);
    f->SmoothDraw(true);
}

void TF_Measurements::PM_RemoveClick()
{
    TF_SMDI* f = MDIForm();
    if (!f)
        return;
    QPointer<TF_SMDI> guard(f);
    QList<TStitchObject*> doomed;
    const QItemSelectionModel* sel = VST_SO->selectionModel();
    for (TreeNode* node : m_soModel->allNodes())
        if (TStitchObject* so = m_soModel->imageOf(node); so && sel->isSelected(m_soModel->indexFromNode(node)))
            doomed << so;
    if (!doomed.isEmpty()
        && MessageDlg(QStringLiteral("Remove ") + QString::number(doomed.size()) + QStringLiteral(" images from project? "),
                      mtConfirmation, mbYesNo)
               == mrYes
        && guard) {
        auto& list = f->StitchList;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&doomed](const auto& owned) { return doomed.contains(owned.get()); }),
                   list.end());
    }
    if (!guard)
        return;
    f->UpdateArea();
    f->document().setChanged(true);
    FillMeasurements(f, false);
    f->SmoothDraw(true);
}

void TF_Measurements::PM_ExtractImageClick()
{
    TF_SMDI* f = MDIForm();
    const TStitchObject* so = FirstSelectedImage();
    if (!f || !so)
        return;
    if (!QFileInfo::exists(so->filename)) {
        ShowMessage(QStringLiteral("The image must be saved first!"));
        return;
    }

    const int dpi = f->DPI;
    if (so->Embedded) {
        // The pixels as the project holds them, which may differ from the file's.
        auto copy = std::make_unique<TStitchObject>();
        try {
            copy->FD->SetSize(so->FD->Info.Header.Width, so->FD->AbsHeight, 24);
            if (!copy->FD->Bits && so->FD->Bits)
                throw std::bad_alloc();
            copy->FD->CopyRect(*so->FD, 0, 0, so->FD->Info.Header.Width, so->FD->AbsHeight, 0, 0);
            copy->FT->MakeCopy(*copy->FD, true);
        } catch (const std::bad_alloc&) {
            TF_ErrorLog::Error(QStringLiteral("Not enough memory to extract image ") + so->filename + QStringLiteral("!"),
                               true);
            return;
        }
        copy->ImageChanged = true;
        copy->Loaded = true;
        copy->filename = QStringLiteral("Unsaved");
        copy->Width = copy->FD->Info.Header.Width;
        copy->Height = copy->FD->AbsHeight;
        TF_SMDI* w = CreateImageWindow();
        w->StitchList.push_back(std::move(copy));
        // Nothing of the new project is on disk yet: closing must offer to save it.
        w->document().setChanged(true);
        w->DPI = dpi;
        w->UpdateArea();
        w->FitToScreen();
        w->SetCaption();
        w->SmoothDraw(true);
        if (F_Main)
            F_Main->UpdateProjectList();
        FillMeasurements(w, false);
        return;
    }

    const QString fileName = so->filename;
    QPointer<TF_SMDI> w = CreateImageWindow();
    if (F_Main)
        F_Main->UpdateProjectList();
    w->DPI = dpi;
    // A file that cannot be read is reported there and closes the empty new window.
    if (w->LoadImage(fileName, true) != 0 || !w)
        return;
    w->FitToScreen();
    w->SmoothDraw(true);
    FillMeasurements(w, false);
}

void TF_Measurements::PM_SaveImageClick()
{
    TF_SMDI* f = MDIForm();
    TStitchObject* so = FirstSelectedImage();
    if (!f || !so)
        return;
    QPointer<TF_SMDI> guard(f);

    FileDialogRequest request = imageSaveRequest();
    // The chosen type's extension goes onto a bare name below, whichever type that is.
    request.defaultExt.clear();
    if (!so->filename.isEmpty()) {
        request.initialDir = ExtractFileDir(so->filename);
        request.fileName = ExtractFileName(so->filename);
        const QString ext = ExtractFileExt(so->filename).toLower();
        if (ext == QLatin1String(".bmp"))
            request.filterIndex = 1;
        else if (ext == QLatin1String(".jpg"))
            request.filterIndex = 2;
        else if (ext == QLatin1String(".png"))
            request.filterIndex = 3;
    } else {
        request.filterIndex = 2;
    }
    const FileDialogAnswer answer = dialogs().saveFile(request);
    if (!answer.accepted || answer.fileName().isEmpty())
        return;
    rememberImageSaveType(answer.filterIndex);
    QString fileName = answer.fileName();
    if (ExtractFileExt(fileName).isEmpty())
        fileName += ImageSaveExtension(answer.filterIndex);

    QCoreApplication::processEvents();
    // The window or the image may have gone while events ran.
    if (!guard)
        return;
    if (positionOf(f, so) >= 0 && f->SaveImage(so, fileName) == 0) {
        so->filename = fileName;
        so->ImageChanged = false;
    }
    FillProject(f);
    f->document().setChanged(true);
    if (F_Main)
        F_Main->AddRecentFile(fileName);
}

void TF_Measurements::M_RevertClick()
{
    TF_SMDI* f = MDIForm();
    TStitchObject* so = FirstSelectedImage();
    if (!f || !so)
        return;
    if (!so->filename.isEmpty()) {
        // An image that could not be read again still shows its changed pixels: it stays marked
        // changed, so closing still offers to save them.
        QString failure;
        if (!QFileInfo(so->filename).isFile()) {
            failure = QStringLiteral("The file does not exist.");
        } else {
            try {
                f->ReloadImage(so);
            } catch (const std::exception& e) {
                failure = QString::fromLocal8Bit(e.what());
                if (failure.isEmpty())
                    failure = QStringLiteral("The file is corrupted or the image size is too big!");
            }
        }
        if (failure.isEmpty())
            so->ImageChanged = false;
        else
            TF_ErrorLog::Error(QStringLiteral("Error loading image ") + so->filename + QStringLiteral("!\r\n\r\n") + failure,
                               true);
        VST_SO->viewport()->update();
    }
    for (const auto& image : f->StitchList)
        f->ResampleStitchObjects(image.get());
    f->SmoothDraw(true);
}

void TF_Measurements::A_ExportImageToSingleFileExecute()
{
    TF_SMDI* f = MDIForm();
    if (!f)
        return;
    QPointer<TF_SMDI> guard(f);
    const int paths = MessageDlg(QStringLiteral("Add measurement paths to image?"), mtConfirmation, mbYesNoCancel);
    if (paths != mrYes && paths != mrNo)
        return;
    FileDialogRequest request = imageSaveRequest();
    request.fileName.clear();
    // The chosen type's extension goes onto a bare name below; the dialog's own would be the bitmap's.
    request.defaultExt.clear();
    const FileDialogAnswer answer = dialogs().saveFile(request);
    if (!answer.accepted || answer.fileName().isEmpty() || !guard)
        return;
    rememberImageSaveType(answer.filterIndex);
    // A name without a picture type gets the chosen type's extension; a name with one is written
    // as that type.
    QString fileName = answer.fileName();
    const QString ext = ExtractFileExt(fileName).toLower();
    if (ext != QLatin1String(".bmp") && ext != QLatin1String(".jpg") && ext != QLatin1String(".jpeg")
        && ext != QLatin1String(".png"))
        fileName += ImageSaveExtension(answer.filterIndex);

    QPointer<TF_Progress> progress = F_Progress.data();
    if (progress) {
        progress->Tag = 0;
        progress->L_1->setText(QStringLiteral("Exporting images..."));
        progress->L_2->setText(QString());
        progress->PB->setValue(0);
        progress->show();
        progress->repaint();
    }
    QCoreApplication::processEvents();
    // However the export ends, the progress box goes.
    struct HideProgress {
        QPointer<TF_Progress>& box;
        ~HideProgress()
        {
            if (box)
                box->hide();
        }
    } hide{progress};
    if (!guard)
        return;

    const int zoom = f->zoom();
    const int h = f->SB_H->value(), v = f->SB_V->value();
    f->setZoom(10);
    f->SB_H->setValue(0);
    f->SB_V->setValue(0);
    QImage picture;
    try {
        f->PaintTo(picture, paths == mrYes);
    } catch (const std::bad_alloc&) {
        picture = QImage();
    }
    if (!guard)
        return;
    f->setZoom(zoom);
    f->SB_H->setValue(h);
    f->SB_V->setValue(v);
    f->SmoothDraw(true);
    // Cancel answered with Yes: the picture is incomplete and no file is written.
    if (progress && progress->Tag == TF_Progress::TagCancelled) {
        progress->Tag = 0;
        return;
    }

    auto step = [&progress](const QString& line) {
        if (!progress)
            return;
        if (!line.isNull())
            progress->L_2->setText(line);
        progress->PB->setValue(progress->PB->value() + 1);
        progress->repaint();
        QCoreApplication::processEvents();
    };
    step(QStringLiteral("Saving image"));
    if (!writePictureFile(picture, fileName, guard ? f->DPI : 0))
        TF_ErrorLog::Error(QStringLiteral("Error saving image ") + fileName + QStringLiteral("!"), true);
    step(QString());
}
