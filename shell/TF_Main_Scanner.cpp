// The main window's scanner commands: choosing a source, scanning to a new or the current project,
// and what happens to each image that arrives (a window, the alignment mode, the save offer).
#include "shell/TF_Main.h"

#include "platform/Delphi.h"
#include "platform/TScanDialog.h"
#include "platform/Twain.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/WaitCursor.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMdiSubWindow>

#include <cmath>

void TF_Main::createScanner()
{
    TWAIN = new TTwain(this);
    TWAIN->OnTwainAcquire = [this](TTwain* s, int i, const QImage& image, bool& cancel) {
        TWAINTwainAcquire(s, i, image, cancel);
    };
    TWAIN->OnAcquireCancel = [this](TTwain* s) { TWAINAcquireCancel(s); };
    TWAIN->OnAcquireError = [this](TTwain* s) { TWAINAcquireError(s); };
}

void TF_Main::SelectSourceExecute()
{
    bool listed = false;
    {
        WaitCursor busy; // looking the scanners up takes seconds
        listed = TWAIN->LoadSourceManager();
    }
    if (!listed) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Scanner: ") + TWAIN->LastError());
        dialogs().messageDlg(QStringLiteral("The scanners could not be listed: ") + TWAIN->LastError(), mtError,
                             TMsgDlgButtons{mbOK}, 0);
        TWAINSourceIndex = -1;
        return;
    }
    if (TWAIN->SourceList().isEmpty()) {
        dialogs().showMessage(QStringLiteral("No scanner found!"));
        TWAINSourceIndex = -1;
        return;
    }
    TWAINSourceIndex = TWAIN->SelectSource(this);
}

void TF_Main::A_ScanNewExecute()
{
    scanTo(false);
}

void TF_Main::A_ScanToCurrentExecute()
{
    scanTo(true);
}

void TF_Main::scanTo(bool currentProject)
{
    ScanToCurrentProject = currentProject;
    if (TWAIN->SourceEnabled()) {
        // Its dialog is open already: it now scans for this command.
        if (TScanDialog* d = TWAIN->Dialog()) {
            d->raise();
            d->activateWindow();
        }
        return;
    }
    if (TWAINSourceIndex < 0 || TWAINSourceIndex >= TWAIN->SourceList().size())
        SelectSourceExecute();
    if (TWAINSourceIndex == -1)
        return;
    CurrentTwainSource = TWAINSourceIndex;
    TWAIN->EnableSource(CurrentTwainSource, true, this);
}

void TF_Main::TWAINTwainAcquire(TTwain* Sender, int Index, const QImage& Image, bool& Cancel)
{
    TF_SMDI* active = ActiveMDIChild();
    if (!active)
        ScanToCurrentProject = false;
    const int dpi = int(std::lround(Image.dotsPerMeterX() * 0.0254));

    if (!ScanToCurrentProject) {
        TF_SMDI* w = newImageWindow();
        QPointer<TF_SMDI> guard(w);
        if (w->LoadImageFromHandle(Image) <= 0) {
            dialogs().messageDlg(QStringLiteral("Error getting image from scanner!"), mtError, TMsgDlgButtons{mbOK}, 0);
            if (guard) {
                w->document().setChanged(false); // nothing in it to keep
                if (QMdiSubWindow* sub = w->mdiFrame())
                    sub->close();
                else
                    w->close();
            }
            return;
        }
        // The scan's own resolution is the project's.
        if (dpi > 0)
            w->DPI = dpi;
        w->document().setChanged(true);
        Cancel = !SettingTWAINCancel;
        if (F_Measurements)
            F_Measurements->FillMeasurements(w, false);
        // The size of a new project's window, so the fitted scan can be seen.
        if (QMdiSubWindow* sub = w->mdiFrame())
            sub->resize(640, 480);
        w->UpdateArea();
        w->FitToScreen();
        w->UpdateBird(true);
        w->SmoothDraw(true);
        w->SetCaption();
        w->show();
        const int answer = dialogs().messageDlg(
            QStringLiteral("It is recommended to save the image before measuring!\r\nSave image now?"), mtConfirmation,
            mbYesNo, 0);
        if (answer == mrYes && guard && !guard->StitchList.empty())
            SaveScannedImage(guard, guard->StitchList.front().get());
        return;
    }

    TF_SMDI* w = active;
    QPointer<TF_SMDI> guard(w);
    const int c = int(w->StitchList.size());
    const int n = w->LoadImageFromHandle(Image);
    if (n == c) {
        dialogs().messageDlg(QStringLiteral("Error getting image from scanner!"), mtError, TMsgDlgButtons{mbOK}, 0);
        return;
    }
    if (dpi > 0 && dpi != w->DPI)
        TF_ErrorLog::AddLog(3, QStringLiteral("Scanned at %1 dpi into a project of %2 dpi").arg(dpi).arg(w->DPI));
    w->document().setChanged(true);
    w->ApplyScreenMode(mmAlignImages);
    Cancel = !SettingTWAINCancel;
    if (F_Measurements)
        F_Measurements->FillMeasurements(w, false);
    w->ResampleStitchObjects(nullptr);
    w->UpdateArea();
    w->FitToScreen();
    w->UpdateBird(true);
    for (const auto& so : w->StitchList)
        so->Selected = false;
    w->StitchList.back()->Selected = true;
    w->SmoothDraw(true);
    w->update();
    const int answer = dialogs().messageDlg(
        QStringLiteral("It is recommended to save the image before measuring!\r\nSave image now?"), mtConfirmation,
        mbYesNo, 0);
    if (answer == mrYes && guard && int(guard->StitchList.size()) >= n)
        SaveScannedImage(guard, guard->StitchList[size_t(n - 1)].get());
}

void TF_Main::SaveScannedImage(TF_SMDI* W, TStitchObject* S)
{
    QPointer<TF_SMDI> guard(W);
    FileDialogRequest request = SD_Image;
    request.filterIndex = 2; // JPEG
    // The chosen type's extension is added below, so the dialog adds none of its own.
    request.defaultExt.clear();
    const QString projectFile = W->Project->Filename;
    request.initialDir = !projectFile.isEmpty() && QFileInfo::exists(projectFile) ? ExtractFilePath(projectFile)
                                                                                   : GetDataFolder();
    const FileDialogAnswer answer = dialogs().saveFile(request);
    if (!answer.accepted || !guard)
        return;
    QString name = answer.fileName();
    if (ExtractFileExt(name).isEmpty() && answer.filterIndex >= 1 && answer.filterIndex <= int(ImageSaveExtensions.size()))
        name += QLatin1String(ImageSaveExtensions[size_t(answer.filterIndex - 1)]);
    QCoreApplication::processEvents();
    if (!guard)
        return;
    // The image may have gone with its window's other images meanwhile.
    bool present = false;
    for (const auto& so : guard->StitchList)
        present |= so.get() == S;
    if (!present)
        return;
    if (guard->SaveImage(S, name) != 0)
        return; // SaveImage has said why; the image stays "Not saved" and changed
    S->filename = name;
    S->ImageChanged = false;
    if (F_Measurements)
        F_Measurements->FillProject(guard);
    guard->document().setChanged(true);
}

void TF_Main::TWAINAcquireCancel(TTwain* Sender)
{
    dialogs().showMessage(QStringLiteral("Scanning cancelled by user!"));
}

void TF_Main::TWAINAcquireError(TTwain* Sender)
{
    TF_ErrorLog::AddLog(0, QStringLiteral("Scanner: ") + Sender->LastError());
    dialogs().showMessage(QStringLiteral("Error getting image from scanner!"));
}
