// Notes window: binding the editor to an image window's project and marking that project changed
// when the notes change.
#include "workspace/TF_Notes.h"

#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "shell/TF_Main.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TRichTextEditor.h"
#include "workspace/ToolWindows.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QVBoxLayout>

QPointer<TF_Notes> F_Notes;

TF_Notes::TF_Notes(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Notes"));
    setObjectName(QStringLiteral("F_Notes"));
    resize(600, 160);
    RTFEditor = new TRichTextEditor(this);
    RTFEditor->setShowControls(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RTFEditor);
    connect(RTFEditor, &TRichTextEditor::OnContentChanged, this, &TF_Notes::contentChanged);
    RTFEditor->Initialize(false);
    BindEditObject(nullptr);
    Docked = true;
}

TF_SMDI* TF_Notes::EditObject() const
{
    return fEditObject;
}

void TF_Notes::BindEditObject(TF_SMDI* w)
{
    if (!ProjectLoading) {
        TF_SMDI* bound = fEditObject;
        if (w != bound) {
            if (bound && bound->Project)
                bound->Project->Notes = RTFEditor->GetContent();
            if (w && w->Project)
                RTFEditor->SetContent(w->Project->Notes);
            fEditObject = w;
        } else if (bound && bound->Project) {
            bound->Project->Notes = RTFEditor->GetContent();
        }
    }
    if (!w) {
        // Also while a project loads, the notes leave for the project they belong to first.
        if (TF_SMDI* bound = fEditObject; bound && bound->Project)
            bound->Project->Notes = RTFEditor->GetContent();
        fEditObject = nullptr;
        RTFEditor->SetContent(QString());
    }
    RTFEditor->setEnabled(w != nullptr);
}

void TF_Notes::contentChanged()
{
    if (TF_SMDI* w = fEditObject; w && w->Project)
        w->document().setChanged(true);
}

bool TF_Notes::event(QEvent* event)
{
    // Carried in a dock widget, Docked follows it as it docks and floats.
    if (event->type() == QEvent::ParentChange)
        if (auto* dock = qobject_cast<QDockWidget*>(parentWidget()))
            connect(dock, &QDockWidget::topLevelChanged, this, &TF_Notes::carrierFloated, Qt::UniqueConnection);
    return QWidget::event(event);
}

void TF_Notes::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The notes never take the whole frame: 100 pixels of it stay free.
    if (F_Main && F_Main->height() - height() < 100 && F_Main->height() > 100) {
        const int h = F_Main->height() - 100;
        if (h != height())
            SetClientHeight(this, h);
    }
}

void TF_Notes::closeEvent(QCloseEvent* event)
{
    // Closed while docked at the bottom, it floats where it stood, so it opens there next time.
    if (F_Main && !F_Main->DP_Bottom->clients().isEmpty() && F_Main->DP_Bottom->isDocked(this))
        F_Main->DP_Bottom->undock(this);
    QWidget::closeEvent(event);
}
