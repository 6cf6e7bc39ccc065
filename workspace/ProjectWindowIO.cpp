// The project file readers and writers as the image window uses them: their hooks drive the
// progress box and its Cancel, the measurement tree, the captions, the scroll bars and the
// questions about missing images, and notice when the window goes while events run.
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/JEX3Project.h"
#include "project/ProjectIO.h"
#include "project/ProjectXML.h"
#include "project/TJEXProject.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TRichTextEditor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScrollBar>

namespace {

const QString kImageFilter = QStringLiteral("Supported image files|*.jpg;*.bmp;*.png");

class WindowHooks : public ProjectIOHooks {
public:
    // `progress`: the progress box shows the steps.
    WindowHooks(TF_SMDI* window, bool progress)
        : m_window(window)
        , m_progress(progress)
    {
    }

    void begin(const QString& title, const QString& text) override
    {
        if (!m_progress || !F_Progress)
            return;
        F_Progress->L_1->setText(title);
        F_Progress->L_2->setText(text);
        F_Progress->PB->setValue(0);
        F_Progress->Tag = 0; // a box already on screen gets no show event to clear an old cancel
        F_Progress->show();
    }

    void setSteps(int count) override
    {
        if (!m_progress || !F_Progress)
            return;
        F_Progress->PB->setRange(0, qMax(0, count));
        F_Progress->PB->setValue(0);
    }

    // Text, step (which processes pending events), repaint.
    void step(const QString& text) override
    {
        if (!m_progress || !F_Progress)
            return;
        if (!text.isNull())
            F_Progress->L_2->setText(text);
        F_Progress->DoStep();
        if (F_Progress)
            F_Progress->repaint();
    }

    void end() override
    {
        if (m_progress && F_Progress)
            F_Progress->hide(); // it stays on top and would hide the boxes below
    }

    void readPixels(TStitchObject& image) override
    {
        if (m_window)
            m_window->ReloadImage(&image);
    }

    void imageRead(TStitchObject& image) override
    {
        if (m_window)
            m_window->ResampleStitchObjects(&image);
    }

    void clear(ProjectDocument&) override
    {
        if (m_window)
            m_window->ClearData(true, true);
    }

    QObject* view() override { return m_window.data(); }

protected:
    QPointer<TF_SMDI> m_window;
    bool m_progress;
};

// A .jex4 read: the box counts the images, Cancel stops at the next element.
class ReadHooks : public WindowHooks {
public:
    explicit ReadHooks(TF_SMDI* window)
        : WindowHooks(window, true)
    {
    }

    bool cancelled() override { return !m_window || (F_Progress && F_Progress->Tag == TF_Progress::TagCancelled); }

    Located locateImage(const QString& fileName, const QString& projectFile) override
    {
        const int answer = MessageDlg(QStringLiteral("Can´t locate image \r\n") + fileName
                                          + QStringLiteral("\r\n\r\nDo you want to search for the image now?"),
                                      mtConfirmation, mbYesNoCancel);
        if (!m_window || (answer != mrYes && answer != mrNo))
            return {Located::Cancel, QString()};
        if (answer == mrNo)
            return {};
        FileDialogRequest request;
        request.title = QStringLiteral("Locate image");
        request.filter = kImageFilter;
        request.initialDir = ExtractFileDir(projectFile);
        request.fileName = ExtractFileName(fileName);
        const FileDialogAnswer located = dialogs().openFile(request);
        if (!m_window)
            return {Located::Cancel, QString()};
        if (!located.accepted || located.fileName().isEmpty())
            return {};
        return {Located::Found, located.fileName()};
    }

    void showImages() override
    {
        if (F_Measurements && m_window)
            F_Measurements->FillMeasurements(m_window, false);
    }

    void imageCaption() override
    {
        if (F_Main)
            F_Main->SetCaption();
    }

    void viewRead(ProjectDocument&, int zoom, int scrollX, int scrollY) override
    {
        if (!m_window)
            return;
        m_window->setZoom(zoom); // the setter refuses zooms out of its range
        m_window->SB_H->setValue(scrollX);
        m_window->SB_V->setValue(scrollY);
    }

    void readDone(ProjectDocument&, int scrollX, int scrollY) override
    {
        if (!m_window)
            return;
        m_window->UpdateArea();
        m_window->SB_H->setValue(scrollX);
        m_window->SB_V->setValue(scrollY);
        m_window->SetCaption();
    }

    void abandoned() override
    {
        if (m_window)
            m_window->SetCaption();
    }
};

// A .jex import: the window shows the images as they come and goes when nothing is kept.
class ImportHooks : public WindowHooks {
public:
    ImportHooks(TF_SMDI* window, bool interactive)
        : WindowHooks(window, interactive)
    {
    }

    // Closed, or closing: a window that closed itself is deleted only once events run.
    bool cancelled() override { return !m_window || m_window->Closing; }

    bool addImage(ProjectDocument&, const QString& fileName, bool readPixels) override
    {
        if (!cancelled())
            m_window->LoadImage(fileName, readPixels);
        return !cancelled();
    }

    QString newProjectName() override { return NewProjectName(m_window); }

    void abandoned() override { DiscardImageWindow(m_window); }
};

} // namespace

int SaveProjectXML(TF_SMDI* window, const QString& fileName, bool showProgress)
{
    Q_ASSERT(window);
    if (!window)
        return -1;
    // The notes being edited are the project's newest.
    if (F_Notes && F_Notes->EditObject() == window)
        window->Project->Notes = F_Notes->RTFEditor->GetContent();

    // Events run between the box's start and the first step, as they did when it showed.
    class SaveHooks : public WindowHooks {
    public:
        using WindowHooks::WindowHooks;
        void begin(const QString& title, const QString& text) override
        {
            if (!m_progress)
                return;
            WindowHooks::begin(title, text);
            QCoreApplication::processEvents();
        }
    };
    QPointer<TF_SMDI> guard(window);
    const bool progress = showProgress && F_Progress;
    SaveHooks hooks(window, progress);
    const int result = SaveProjectXML(window->document(), fileName, hooks);
    if (result == 0 && progress && guard)
        guard->SetCaption();
    return result;
}

int LoadProjectXML(TF_SMDI* window, const QString& fileName, QStringList* notes)
{
    Q_ASSERT(window);
    ReadHooks hooks(window);
    return LoadProjectXML(window->document(), fileName, hooks, notes);
}

int LoadProjectXMLData(TF_SMDI* window, const QByteArray& data, const QString& fileName, QStringList* notes)
{
    Q_ASSERT(window);
    ReadHooks hooks(window);
    return LoadProjectXMLData(window->document(), data, fileName, hooks, notes);
}

JEX3ReadOutcome ReadJEX3Records(TF_SMDI* window, QIODevice& source, bool interactive)
{
    Q_ASSERT(window);
    ImportHooks hooks(window, false);
    return ReadJEX3Records(window->document(), source, hooks, interactive);
}

TF_SMDI* ImportJEX3Project(const QString& fileName, bool interactive, bool* damaged, QString* missingImage)
{
    if (damaged)
        *damaged = false;
    if (missingImage)
        missingImage->clear();
    ImportHooks box(nullptr, interactive);
    box.begin(QStringLiteral("Importing JEX3 project ") + ShortenText(fileName, 40), QString());
    box.setSteps(2);
    if (!QFileInfo(fileName).isFile()) {
        box.end();
        return nullptr;
    }

    QPointer<TF_SMDI> w = CreateImageWindow();
    w->Project->Filename = fileName;
    QCoreApplication::processEvents();
    ImportHooks hooks(w, interactive);
    if (hooks.cancelled()) {
        hooks.end();
        return nullptr;
    }
    const JEX3Import result = ImportJEX3Document(w->document(), fileName, hooks, interactive, missingImage);
    if (result != JEX3Import::Imported && result != JEX3Import::Damaged)
        return nullptr;
    if (damaged)
        *damaged = result == JEX3Import::Damaged;

    if (interactive) {
        w->UpdateArea();
        w->SmoothDraw(true);
        w->FormActivate();
        if (w)
            w->setFocus();
        if (w)
            w->SetCaption();
    } else {
        w->SetCaption();
    }
    return w;
}

bool FitsJEX3(const TF_SMDI* window)
{
    return window && FitsJEX3(window->document());
}

QByteArray JEX3ProjectBytes(const TF_SMDI* window)
{
    Q_ASSERT(window);
    return JEX3ProjectBytes(window->document());
}

int ExportJEX3Project(TF_SMDI* window, const QString& fileName)
{
    return ExportJEX3Project(window ? &window->document() : nullptr, fileName);
}
