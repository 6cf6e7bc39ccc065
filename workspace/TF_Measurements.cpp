// Project tool window: components, the two trees, selection both ways, check boxes, editing,
// popups, the unit combo and the header popup.
#include "workspace/TF_Measurements.h"

#include "workspace/TF_SMDI.h"

#include <QEvent>
#include <QKeyEvent>
#include <QShowEvent>

TF_Measurements* F_Measurements = nullptr;

TF_Measurements::TF_Measurements(QWidget* parent)
    : QWidget(parent)
{
}

TF_Measurements::~TF_Measurements()
{
    if (F_Measurements == this)
        F_Measurements = nullptr;
}

TF_SMDI* TF_Measurements::MDIForm() const
{
    return m_mdiForm.data();
}

void TF_Measurements::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
}

void TF_Measurements::keyPressEvent(QKeyEvent* event)
{
    QWidget::keyPressEvent(event);
}

bool TF_Measurements::eventFilter(QObject* watched, QEvent* event)
{
    return QWidget::eventFilter(watched, event);
}

void TF_Measurements::FillMeasurements(TF_SMDI* f, bool ScrollBy)
{
    Q_UNUSED(f);
    Q_UNUSED(ScrollBy);
}

void TF_Measurements::FillProject(TF_SMDI* f)
{
    Q_UNUSED(f);
}

void TF_Measurements::ClearAll()
{
}

void TF_Measurements::SaveVSTState(TF_SMDI* f)
{
    Q_UNUSED(f);
}

TreeNode* TF_Measurements::GetNodeByObject(const TJEXObject* AnObject) const
{
    Q_UNUSED(AnObject);
    return nullptr;
}

void TF_Measurements::MakeVisible(TF_SMDI* f, TJEXObject* AnObject)
{
    Q_UNUSED(f);
    Q_UNUSED(AnObject);
}

void TF_Measurements::SOMakeVisible(TF_SMDI* f, TJEXObject* AnObject)
{
    Q_UNUSED(f);
    Q_UNUSED(AnObject);
}

void TF_Measurements::MarkNode(TF_SMDI* f, TreeNode* Node)
{
    Q_UNUSED(f);
    Q_UNUSED(Node);
}

void TF_Measurements::ToggleSelection(TreeNode* Node, bool OldState)
{
    Q_UNUSED(Node);
    Q_UNUSED(OldState);
}

void TF_Measurements::UnselectMeasurements(TF_SMDI* f, TPath* Path)
{
    Q_UNUSED(f);
    Q_UNUSED(Path);
}

void TF_Measurements::UnselectAnchorPoints(TF_SMDI* f)
{
    Q_UNUSED(f);
}

void TF_Measurements::UnselectStitchObjects(TF_SMDI* f)
{
    Q_UNUSED(f);
}

bool TF_Measurements::IsSOSelected(const TStitchObject* ASO) const
{
    Q_UNUSED(ASO);
    return false;
}

TJEXObject* TF_Measurements::GetSelectedMeasurement() const
{
    return nullptr;
}

void TF_Measurements::UpdateSOSelection()
{
}

TJEXObject* TF_Measurements::FirstSelectedObject() const
{
    return nullptr;
}

int TF_Measurements::SelectedCount() const
{
    return 0;
}

void TF_Measurements::SelectOnly(TJEXObject* AnObject)
{
    Q_UNUSED(AnObject);
}

void TF_Measurements::ShowMeasurementsPage()
{
}

void TF_Measurements::ShowImagesPage()
{
}

void TF_Measurements::VSTChange()
{
}

void TF_Measurements::VST_SOChange()
{
}

void TF_Measurements::CB_UnitsChange(int index)
{
    Q_UNUSED(index);
}

void TF_Measurements::AM_MeasurementsUpdate()
{
}

void TF_Measurements::PM_HeaderPopup()
{
}

void TF_Measurements::PM_HeaderClick()
{
}

void TF_Measurements::createComponents()
{
}

void TF_Measurements::createActions()
{
}

void TF_Measurements::createMenus()
{
}

void TF_Measurements::connectComponents()
{
}

void TF_Measurements::placeUnitCombo()
{
}

QMenu* TF_Measurements::popupFor(TreeNode* node) const
{
    Q_UNUSED(node);
    return nullptr;
}

void TF_Measurements::VSTGetPopupMenu(const QPoint& pos)
{
    Q_UNUSED(pos);
}

void TF_Measurements::VST_SOGetPopupMenu(const QPoint& pos)
{
    Q_UNUSED(pos);
}

TreeNode* TF_Measurements::firstSelectedNode() const
{
    return nullptr;
}

void TF_Measurements::selectNode(TreeNode* node, bool select)
{
    Q_UNUSED(node);
    Q_UNUSED(select);
}

void TF_Measurements::scrollToNode(TreeNode* node)
{
    Q_UNUSED(node);
}

void TF_Measurements::repaintWindow(bool Complete)
{
    Q_UNUSED(Complete);
}

bool TF_Measurements::isEditing() const
{
    return false;
}

