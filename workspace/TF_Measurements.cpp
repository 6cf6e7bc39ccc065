// Project tool window: components, the two trees, selection both ways, check boxes, editing,
// popups, the unit combo and the header popup.
#include "workspace/TF_Measurements.h"

#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "project/TStitchObject.h"
#include "shell/FileListModel.h"
#include "shell/TF_Main.h"
#include "shell/TPageControlEx.h"
#include "workspace/HelpersWidgets.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_ImageInfo.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

TF_Measurements* F_Measurements = nullptr;

namespace {

bool isPoint(const TJEXObject* o)
{
    return dynamic_cast<const TIndex*>(o) || dynamic_cast<const TMeasurement*>(o);
}

} // namespace

TF_Measurements::TF_Measurements(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    giveWayToQuestions(this);
    setWindowTitle(QStringLiteral("Project"));
    setMinimumSize(20, 200);
    // Docked among other windows the tree scrolls: a few rows leave room for the windows whose
    // contents cannot scroll.
    SetDockedMinimumHeight(this, 130);
    setMaximumWidth(800);
    createActions();
    createMenus();
    createComponents();
    connectComponents();
    resize(300, 500);
    AM_MeasurementsUpdate();
}

TF_Measurements::~TF_Measurements()
{
    disconnect(m_boundGone);
    if (F_Measurements == this)
        F_Measurements = nullptr;
}

TF_SMDI* TF_Measurements::MDIForm() const
{
    return m_mdiForm.data();
}

// ---- setup -------------------------------------------------------------------------------------

void TF_Measurements::createComponents()
{
    PCE = new TPageControlEx(this);
    TS_Images = new QWidget;
    TS_Measurements = new QWidget;
    PCE->addTab(TS_Images, QStringLiteral("Images"));
    PCE->addTab(TS_Measurements, QStringLiteral("Measurements"));
    PCE->setCurrentWidget(TS_Measurements);

    m_soModel = new ImageTreeModel(this);
    VST_SO = new QTreeView(TS_Images);
    VST_SO->setModel(m_soModel);
    VST_SO->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VST_SO->setSelectionBehavior(QAbstractItemView::SelectRows);
    VST_SO->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VST_SO->setContextMenuPolicy(Qt::CustomContextMenu);
    VST_SO->setAcceptDrops(true);
    VST_SO->viewport()->setAcceptDrops(true);
    VST_SO->setDropIndicatorShown(false);
    VST_SO->header()->setStretchLastSection(true);
    VST_SO->setColumnWidth(ImageTreeModel::ColName, 180);
    VST_SO->setColumnWidth(ImageTreeModel::ColSize, 226);
    VST_SO->setColumnWidth(ImageTreeModel::ColState, 22);
    VST_SO->header()->moveSection(VST_SO->header()->visualIndex(ImageTreeModel::ColState), 0);
    VST_SO->setTreePosition(ImageTreeModel::ColName);
    auto* soLayout = new QVBoxLayout(TS_Images);
    soLayout->setContentsMargins(0, 0, 0, 0);
    soLayout->addWidget(VST_SO);

    m_model = new MeasurementTreeModel(this);
    VST = new QTreeView(TS_Measurements);
    VST->setModel(m_model);
    VST->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VST->setSelectionBehavior(QAbstractItemView::SelectRows);
    VST->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    VST->setExpandsOnDoubleClick(true);
    VST->setAllColumnsShowFocus(true);
    VST->setContextMenuPolicy(Qt::CustomContextMenu);
    VST->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    VST->header()->setStretchLastSection(true);
    const int widths[MeasurementTreeModel::ColumnCount] = {150, 80, 100, 98};
    for (int c = 0; c < MeasurementTreeModel::ColumnCount; ++c)
        VST->setColumnWidth(c, widths[c]);
    auto* vstLayout = new QVBoxLayout(TS_Measurements);
    vstLayout->setContentsMargins(0, 0, 0, 0);
    vstLayout->addWidget(VST);

    SB_Measure = new QStatusBar(this);
    SB_Measure->setSizeGripEnabled(false);
    SB_Measure->setAutoFillBackground(true);
    QPalette pal = SB_Measure->palette();
    pal.setColor(QPalette::Window, Qt::white);
    SB_Measure->setPalette(pal);
    SB_MeasurePanel0 = new QLabel(QStringLiteral("Units"), SB_Measure);
    SB_MeasurePanel0->setFixedWidth(40);
    CB_Units = new QComboBox(SB_Measure);
    CB_Units->addItems({QStringLiteral("cm"), QStringLiteral("mm"), QStringLiteral("1/10th mm"),
                        QStringLiteral("1/100th mm"), QStringLiteral("inch"), QStringLiteral("1/10th inch"),
                        QStringLiteral("1/100th inch"), QStringLiteral("pixels")});
    CB_Units->setFixedWidth(100);
    CB_Units->setCurrentIndex(3);
    SB_MeasurePanel2 = new QLabel(SB_Measure);
    SB_MeasurePanel2->setMinimumWidth(200);
    SB_MeasurePanel2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SB_Measure->addWidget(SB_MeasurePanel0);
    SB_Measure->addWidget(CB_Units);
    SB_Measure->addPermanentWidget(SB_MeasurePanel2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PCE, 1);
    layout->addWidget(SB_Measure);
}

void TF_Measurements::createActions()
{
    auto action = [this](const QString& text, int iconSlot, void (TF_Measurements::*handler)()) {
        auto* a = new QAction(text, this);
        if (iconSlot >= 0)
            a->setIcon(MeasurementTreeModel::IL(iconSlot));
        if (handler)
            connect(a, &QAction::triggered, this, handler);
        return a;
    };
    A_NewPath = action(QStringLiteral("New Path"), 3, &TF_Measurements::A_NewPathExecute);
    A_DeletePath = action(QStringLiteral("Delete Path"), 4, &TF_Measurements::A_DeletePathExecute);
    A_ActivatePath = action(QStringLiteral("Activate Path"), -1, &TF_Measurements::A_ActivatePathExecute);
    A_PathInfo = action(QStringLiteral("Path info"), 10, &TF_Measurements::A_PathInfoExecute);
    A_PathProperties = action(QStringLiteral("Edit properties"), 5, &TF_Measurements::A_PathPropertiesExecute);
    PM_Pith = action(QStringLiteral("Pith"), -1, &TF_Measurements::PM_PithClick);
    PM_Pith->setCheckable(true);
    A_Sapwood = action(QStringLiteral("Set/Clear Sapwood border"), -1, &TF_Measurements::A_SapwoodExecute);
    A_InsertIndex = action(QStringLiteral("Insert Index"), 6, &TF_Measurements::A_InsertIndexExecute);
    PM_InsertMeasurement = action(QStringLiteral("Insert Measurement"), -1, &TF_Measurements::PM_InsertMeasurementClick);
    PM_DeleteIndex = action(QStringLiteral("Delete Index"), 4, &TF_Measurements::PM_DeleteIndexClick);
    PM_DeleteMeasurements = action(QStringLiteral("Delete Measurements"), 4, &TF_Measurements::PM_DeleteMeasurementsClick);
    A_CreateNewPathFromData = action(QStringLiteral("Create new path from here"), -1,
                                     &TF_Measurements::A_CreateNewPathFromDataExecute);
    A_RemoveAllAnchorPoints = action(QStringLiteral("Remove all anchor points"), 4,
                                     &TF_Measurements::A_RemoveAllAnchorPointsExecute);
    A_DeleteDO = action(QStringLiteral("Delete"), 4, &TF_Measurements::A_DeleteDOExecute);
    A_EditDO = action(QStringLiteral("Edit"), -1, &TF_Measurements::A_EditDOExecute);
    PM_EditInfo = new QAction(QStringLiteral("Edit info"), this);
    connect(PM_EditInfo, &QAction::triggered, this, [this] {
        if (TF_SMDI* f = MDIForm(); f && f->A_EditInfo)
            f->A_EditInfo->trigger();
    });

    PM_HeaderInfo = action(QStringLiteral("Info"), -1, &TF_Measurements::PM_HeaderClick);
    PM_HeaderDistance = action(QStringLiteral("Distance"), -1, &TF_Measurements::PM_HeaderClick);
    PM_HeaderCoordinates = action(QStringLiteral("Coordinates"), -1, &TF_Measurements::PM_HeaderClick);
    for (QAction* a : {PM_HeaderInfo, PM_HeaderDistance, PM_HeaderCoordinates})
        a->setCheckable(true);

    // Image-tree commands.
    A_SaveProject = action(QStringLiteral("&Save project"), -1, &TF_Measurements::PM_SaveProjectClick);
    A_ExportImageToSingleFile = action(QStringLiteral("Export as single image"), -1,
                                       &TF_Measurements::A_ExportImageToSingleFileExecute);
    PM_SOVisible = action(QStringLiteral("Visible"), -1, &TF_Measurements::PM_VisibleClick);
    PM_SOVisible->setCheckable(true);
    PM_SOMoveToFront = action(QStringLiteral("Move to front"), -1, nullptr);
    PM_SOMoveToFront->setIcon(ImageTreeModel::IL_SO(12));
    PM_SOSendToBack = action(QStringLiteral("Send to back"), -1, nullptr);
    PM_SOSendToBack->setIcon(ImageTreeModel::IL_SO(13));
    PM_SOOneUp = action(QStringLiteral("One up"), -1, nullptr);
    PM_SOOneDown = action(QStringLiteral("One down"), -1, nullptr);
    for (QAction* a : {PM_SOMoveToFront, PM_SOSendToBack, PM_SOOneUp, PM_SOOneDown})
        connect(a, &QAction::triggered, this, [this, a] { PM_TopClick(a); });
    A_RemoveImage = action(QStringLiteral("Remove image from project"), -1, &TF_Measurements::PM_RemoveClick);
    A_RemoveImage->setIcon(ImageTreeModel::IL_SO(10));
    A_ExtractImage = action(QStringLiteral("Extract Image to new project"), -1, &TF_Measurements::PM_ExtractImageClick);
    A_SaveImageAs = action(QStringLiteral("&Save image as..."), -1, &TF_Measurements::PM_SaveImageClick);
    A_SaveImageAs->setIcon(ImageTreeModel::IL_SO(2));
    A_RevertImage = action(QStringLiteral("&Revert to saved image"), -1, &TF_Measurements::M_RevertClick);
    A_RevertImage->setIcon(ImageTreeModel::IL_SO(11));
    A_ImageInformation = action(QStringLiteral("Image information"), 13, nullptr);
    connect(A_ImageInformation, &QAction::triggered, this, [this] {
        for (TreeNode* node : m_soModel->allNodes()) {
            if (!VST_SO->selectionModel()->isSelected(m_soModel->indexFromNode(node)))
                continue;
            if (TStitchObject* so = m_soModel->imageOf(node); so && F_ImageInfo) {
                F_ImageInfo->SO = so;
                F_ImageInfo->exec();
            }
            return;
        }
    });
}

void TF_Measurements::createMenus()
{
    auto menu = [this](std::initializer_list<QAction*> items) {
        auto* m = new QMenu(this);
        for (QAction* a : items) {
            if (a)
                m->addAction(a);
            else
                m->addSeparator();
        }
        return m;
    };
    PAB_Empty = menu({A_NewPath});
    PAB_AnchorLine = menu({A_RemoveAllAnchorPoints});
    PAB_AnchorPoint = menu({});
    PAB = menu({A_DeleteDO, A_EditDO});
    PAB->setDefaultAction(A_EditDO);
    PAB_Path = menu({A_ActivatePath, A_NewPath, A_DeletePath, nullptr, PM_Pith, nullptr, A_PathInfo, A_PathProperties});
    PAB_Index = menu({A_InsertIndex, PM_DeleteIndex, PM_EditInfo, A_CreateNewPathFromData, nullptr, A_Sapwood,
                      nullptr, A_NewPath});
    PAB_Measurement = menu({A_InsertIndex, nullptr, PM_InsertMeasurement, PM_DeleteMeasurements, PM_EditInfo,
                            A_CreateNewPathFromData, nullptr, A_Sapwood, nullptr, A_NewPath});
    PAB_Project = menu({A_SaveProject, A_ExportImageToSingleFile});
    PAB_SO = menu({PM_SOVisible, nullptr, PM_SOMoveToFront, PM_SOSendToBack, PM_SOOneUp, PM_SOOneDown, nullptr,
                   A_RemoveImage, nullptr, A_ExtractImage, A_SaveImageAs, A_RevertImage, A_ImageInformation});
    PM_Header = menu({PM_HeaderInfo, PM_HeaderDistance, PM_HeaderCoordinates});
    connect(PM_Header, &QMenu::aboutToShow, this, &TF_Measurements::PM_HeaderPopup);
}

void TF_Measurements::connectComponents()
{
    connect(VST->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_filling)
            VSTChange();
    });
    connect(VST_SO->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_filling)
            VST_SOChange();
    });
    connect(VST, &QTreeView::expanded, this, &TF_Measurements::VSTExpanded);
    connect(VST, &QTreeView::collapsed, this, &TF_Measurements::VSTCollapsed);
    connect(VST, &QTreeView::doubleClicked, this, &TF_Measurements::VSTDblClick);
    connect(VST, &QWidget::customContextMenuRequested, this, &TF_Measurements::showVSTPopup);
    connect(VST_SO, &QWidget::customContextMenuRequested, this, &TF_Measurements::showSOPopup);
    connect(VST->header(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PM_Header->popup(VST->header()->mapToGlobal(pos)); });
    connect(CB_Units, &QComboBox::currentIndexChanged, this, &TF_Measurements::CB_UnitsChange);
    m_model->onChecked = [this](TJEXObject* o) { VSTChecked(o); };
    m_model->onEdited = [this](TJEXObject* o, int column) { VSTNewText(o, column); };

    for (QWidget* w : {static_cast<QWidget*>(VST), VST->viewport(), static_cast<QWidget*>(VST_SO), VST_SO->viewport()}) {
        w->installEventFilter(this);
        w->setMouseTracking(true);
    }
    SB_Measure->installEventFilter(this);
}

void TF_Measurements::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    placeUnitCombo();
}

void TF_Measurements::placeUnitCombo()
{
    // The combo already sits in the second status panel; it only takes the current unit.
    CB_Units->setFrame(false);
    CB_Units->setVisible(true);
    const QSignalBlocker block(CB_Units);
    CB_Units->setCurrentIndex(SettingUnits >= 0 && SettingUnits < CB_Units->count() ? SettingUnits : -1);
}

// ---- events ------------------------------------------------------------------------------------

void TF_Measurements::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    FormKeyDown(key, event->modifiers());
    if (key == 0)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

bool TF_Measurements::eventFilter(QObject* watched, QEvent* event)
{
    const bool inVST = watched == VST || watched == VST->viewport();
    const bool inSO = watched == VST_SO || watched == VST_SO->viewport();
    if (watched == SB_Measure && event->type() == QEvent::MouseButtonPress) {
        CB_Units->show();
        CB_Units->showPopup();
        return false;
    }
    if (!inVST && !inSO)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress:
        Clicked = true;
        // Right-click selects the row under the mouse before its popup opens.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            QTreeView* tree = inVST ? VST : VST_SO;
            const QModelIndex at = tree->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (at.isValid() && !tree->selectionModel()->isSelected(at))
                tree->selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        break;
    case QEvent::KeyPress: {
        Clicked = true;
        // The window previews the keys of both trees.
        auto* ke = static_cast<QKeyEvent*>(event);
        int key = ke->key();
        FormKeyDown(key, ke->modifiers());
        if (key == 0)
            return true;
        break;
    }
    case QEvent::MouseMove:
        // The wheel scrolls the tree again instead of zooming the image window.
        if (F_Main)
            F_Main->MouseOverImage = false;
        if (IsOwnWindowForeground()) {
            QTreeView* tree = inVST ? VST : VST_SO;
            if (!tree->hasFocus() && !isEditing())
                tree->setFocus();
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (inSO) {
            auto* de = static_cast<QDragMoveEvent*>(event);
            if (VST_SODragOver(de->source()))
                de->acceptProposedAction();
            else
                de->ignore();
            return true;
        }
        break;
    case QEvent::Drop:
        if (inSO) {
            auto* de = static_cast<QDropEvent*>(event);
            if (VST_SODragOver(de->source())) {
                de->acceptProposedAction();
                VST_SODragDrop(qobject_cast<const QAbstractItemView*>(de->source()));
            } else {
                de->ignore();
            }
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool TF_Measurements::isEditing() const
{
    // The only widgets inside a tree's viewport are its open cell editors.
    for (const QTreeView* tree : {VST, VST_SO})
        for (const QWidget* child : tree->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                return true;
    return false;
}

// ---- building the trees ------------------------------------------------------------------------

void TF_Measurements::bindWindow(TF_SMDI* f)
{
    if (m_mdiForm == f)
        return;
    disconnect(m_boundGone);
    m_mdiForm = f;
    m_model->setWindow(f);
    if (f)
        m_boundGone = connect(f, &QObject::destroyed, this, [this] {
            // The window's objects are gone with it: no row may keep showing them. The pointer is
            // dropped unread, since the window is no longer a TF_SMDI while it is destroyed.
            m_mdiForm.clear();
            ClearAll();
        });
    emit boundWindowChanged(f);
}

void TF_Measurements::FillProject(TF_SMDI* f)
{
    const int offset = VST_SO->verticalScrollBar()->value();
    m_filling = true;
    m_soModel->beginRebuild();
    if (!f) {
        m_soModel->endRebuild();
        m_model->clear();
        m_filling = false;
        return;
    }
    TreeNode* root = m_soModel->AddChild(nullptr);
    m_soModel->SetNodeWindow(root, f);
    for (const auto& so : f->StitchList)
        m_soModel->SetNodeObject(m_soModel->AddChild(root), so.get());
    m_soModel->endRebuild();

    QItemSelection selection;
    for (int i = 0; i < root->childCount(); ++i)
        if (const TStitchObject* so = m_soModel->imageOf(root->child(i)); so && so->Selected)
            selection.select(m_soModel->indexFromNode(root->child(i), 0),
                             m_soModel->indexFromNode(root->child(i), ImageTreeModel::ColumnCount - 1));
    VST_SO->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    VST_SO->expand(m_soModel->indexFromNode(root));
    VST_SO->doItemsLayout();
    VST_SO->verticalScrollBar()->setValue(offset);
    m_filling = false;
}

void TF_Measurements::FillMeasurements(TF_SMDI* f, bool ScrollBy)
{
    // A rebuild always ends at the offset the tree had before it, whatever ScrollBy says.
    Q_UNUSED(ScrollBy);
    FillProject(f);
    if (!f)
        return;

    m_filling = true;
    bindWindow(f);
    const int offset = VST->verticalScrollBar()->value();
    m_model->beginRebuild();

    if (f->AnchorLine) {
        TreeNode* lineNode = m_model->AddChild(nullptr);
        m_model->SetNodeObject(lineNode, f->AnchorLine.get());
        f->AnchorLine->Node = lineNode;
        for (const auto& ap : f->AnchorLine->AnchorPoints)
            m_model->SetNodeObject(m_model->AddChild(lineNode), ap.get());
    }

    for (const auto& path : f->PathList) {
        TreeNode* pathNode = m_model->AddChild(nullptr);
        m_model->SetNodeObject(pathNode, path.get());
        path->Node = pathNode;
        for (const auto& d : f->DrawList)
            if (d->Path.get() == path.get())
                m_model->SetNodeObject(m_model->AddChild(pathNode), d.get());
        int m = 0;
        int i = 0;
        for (const auto& index : path->ObjectList) {
            TreeNode* indexNode = m_model->AddChild(pathNode);
            index->Name = QStringLiteral("Index ") + QString::number(++i);
            m_model->SetNodeObject(indexNode, index.get());
            index->Node = indexNode;
            for (const auto& meas : index->ObjectList) {
                TreeNode* mNode = m_model->AddChild(indexNode);
                meas->Name = QStringLiteral("M ") + QString::number(++m);
                m_model->SetNodeObject(mNode, meas.get());
                meas->Node = mNode;
            }
        }
    }
    m_model->endRebuild();

    QItemSelection selection;
    for (TreeNode* node : m_model->allNodes()) {
        const TJEXObject* o = m_model->GetNodeObject(node);
        if (!o)
            continue;
        const QModelIndex idx = m_model->indexFromNode(node);
        if (node->childCount() > 0)
            VST->setExpanded(idx, o->expanded);
        if (o->selected)
            selection.select(idx, m_model->indexFromNode(node, MeasurementTreeModel::ColumnCount - 1));
    }
    VST->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    VST->doItemsLayout();
    VST->verticalScrollBar()->setValue(offset);
    m_filling = false;
    updateCaption();
    AM_MeasurementsUpdate();
}

void TF_Measurements::ClearAll()
{
    m_filling = true;
    bindWindow(nullptr);
    m_model->clear();
    m_soModel->clear();
    m_filling = false;
    setWindowTitle(QStringLiteral("Project"));
    AM_MeasurementsUpdate();
}

void TF_Measurements::SaveVSTState(TF_SMDI* f)
{
    if (!f)
        return;
    f->VSTOffset = VST->verticalScrollBar()->value();
    const QItemSelectionModel* sel = VST->selectionModel();
    for (TreeNode* node : m_model->allNodes())
        if (TJEXObject* o = m_model->GetNodeObject(node)) {
            const QModelIndex idx = m_model->indexFromNode(node);
            o->expanded = VST->isExpanded(idx);
            o->selected = sel->isSelected(idx);
        }
}

TreeNode* TF_Measurements::GetNodeByObject(const TJEXObject* AnObject) const
{
    if (!AnObject)
        return nullptr;
    // Paths and points remember their node; the others are looked up.
    if (AnObject->Node && m_model->owns(AnObject->Node) && m_model->GetNodeObject(AnObject->Node) == AnObject)
        return AnObject->Node;
    return m_model->findNode(AnObject);
}

void TF_Measurements::scrollToNode(TreeNode* node)
{
    if (node)
        VST->scrollTo(m_model->indexFromNode(node), QAbstractItemView::PositionAtCenter);
}

void TF_Measurements::MakeVisible(TF_SMDI* f, TJEXObject* AnObject)
{
    Q_UNUSED(f);
    if (TreeNode* node = GetNodeByObject(AnObject))
        VST->scrollTo(m_model->indexFromNode(node), QAbstractItemView::EnsureVisible);
}

void TF_Measurements::SOMakeVisible(TF_SMDI* f, TJEXObject* AnObject)
{
    Q_UNUSED(f);
    if (TreeNode* node = m_soModel->findNode(AnObject))
        VST_SO->scrollTo(m_soModel->indexFromNode(node), QAbstractItemView::EnsureVisible);
}

void TF_Measurements::selectNode(TreeNode* node, bool select)
{
    if (!node)
        return;
    const QModelIndex idx = m_model->indexFromNode(node);
    QItemSelectionModel* sel = VST->selectionModel();
    // A node selected by code becomes the current one, so that the one-level rule keeps it.
    if (select)
        sel->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    const QItemSelection rows(idx, m_model->indexFromNode(node, MeasurementTreeModel::ColumnCount - 1));
    sel->select(rows, select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void TF_Measurements::MarkNode(TF_SMDI* f, TreeNode* Node)
{
    Q_UNUSED(f);
    if (!Node || !m_model->owns(Node))
        return;
    TJEXObject* o = m_model->GetNodeObject(Node);
    if (isPoint(o) && Node->parent()) {
        const TreeNode* pathNode = Node->level() == 2 ? Node->parent()->parent() : Node->parent();
        selectNode(const_cast<TreeNode*>(pathNode), false);
    }
    selectNode(Node, true);
    if (o && !VST->selectionModel()->isSelected(m_model->indexFromNode(Node)))
        o->selected = false;
    scrollToNode(Node);
    VST->viewport()->update();
}

void TF_Measurements::ToggleSelection(TreeNode* Node, bool OldState)
{
    if (!Node || !m_model->owns(Node))
        return;
    selectNode(Node, !OldState);
    if (TJEXObject* o = m_model->GetNodeObject(Node))
        o->selected = VST->selectionModel()->isSelected(m_model->indexFromNode(Node));
    scrollToNode(Node);
    VST->viewport()->update();
}

void TF_Measurements::UnselectMeasurements(TF_SMDI* f, TPath* Path)
{
    Q_UNUSED(f);
    if (!Path)
        return;
    const bool wasFilling = m_filling;
    m_filling = true; // the objects are set here; the tree only follows
    for (const auto& index : Path->ObjectList) {
        index->selected = false;
        selectNode(GetNodeByObject(index.get()), false);
        for (const auto& m : index->ObjectList) {
            m->selected = false;
            selectNode(GetNodeByObject(m.get()), false);
        }
    }
    m_filling = wasFilling;
}

void TF_Measurements::UnselectAnchorPoints(TF_SMDI* f)
{
    Q_UNUSED(f);
    const bool wasFilling = m_filling;
    m_filling = true;
    for (TreeNode* node : m_model->allNodes())
        if (auto* ap = m_model->GetNodeObjectAs<TAnchorPoint>(node)) {
            ap->selected = false;
            selectNode(node, false);
        }
    m_filling = wasFilling;
}

void TF_Measurements::UnselectStitchObjects(TF_SMDI* f)
{
    if (!f)
        return;
    for (const auto& so : f->StitchList)
        so->Selected = false;
}

bool TF_Measurements::IsSOSelected(const TStitchObject* ASO) const
{
    const TreeNode* node = m_soModel->findNode(ASO);
    return node && VST_SO->selectionModel()->isSelected(m_soModel->indexFromNode(node));
}

TJEXObject* TF_Measurements::GetSelectedMeasurement() const
{
    TJEXObject* result = nullptr;
    for (const QModelIndex& idx : VST->selectionModel()->selectedRows())
        if (TJEXObject* o = m_model->GetNodeObject(m_model->nodeFromIndex(idx)); o && !dynamic_cast<TPath*>(o))
            result = o;
    return result;
}

void TF_Measurements::UpdateSOSelection()
{
    const QItemSelectionModel* sel = VST_SO->selectionModel();
    for (TreeNode* node : m_soModel->allNodes())
        if (TStitchObject* so = m_soModel->imageOf(node))
            so->Selected = sel->isSelected(m_soModel->indexFromNode(node));
    repaintWindow(true);
    Clicked = false;
}

TreeNode* TF_Measurements::firstSelectedNode() const
{
    const QItemSelectionModel* sel = VST->selectionModel();
    if (!sel->hasSelection())
        return nullptr;
    for (TreeNode* node : m_model->allNodes())
        if (sel->isSelected(m_model->indexFromNode(node)))
            return node;
    return nullptr;
}

TJEXObject* TF_Measurements::FirstSelectedObject() const
{
    return m_model->GetNodeObject(firstSelectedNode());
}

int TF_Measurements::SelectedCount() const
{
    return int(VST->selectionModel()->selectedRows().size());
}

void TF_Measurements::SelectOnly(TJEXObject* AnObject)
{
    TreeNode* node = GetNodeByObject(AnObject);
    if (!node)
        return;
    VST->selectionModel()->clearSelection();
    selectNode(node, true);
    scrollToNode(node);
}

void TF_Measurements::ShowMeasurementsPage()
{
    PCE->setCurrentWidget(TS_Measurements);
}

void TF_Measurements::ShowImagesPage()
{
    PCE->setCurrentWidget(TS_Images);
}

void TF_Measurements::repaintWindow(bool Complete)
{
    if (TF_SMDI* f = MDIForm())
        f->SmoothDraw(Complete);
}

// ---- handlers ----------------------------------------------------------------------------------

void TF_Measurements::restrictSelectionToOneLevel()
{
    QItemSelectionModel* sel = VST->selectionModel();
    const QModelIndexList rows = sel->selectedRows();
    if (rows.size() < 2)
        return;
    const TreeNode* current = m_model->nodeFromIndex(sel->currentIndex());
    if (!current || !sel->isSelected(m_model->indexFromNode(current)))
        current = m_model->nodeFromIndex(rows.last());
    const int level = current->level();
    for (const QModelIndex& idx : rows)
        if (TreeNode* node = m_model->nodeFromIndex(idx); node->level() != level)
            selectNode(node, false);
}

void TF_Measurements::VSTChange()
{
    TF_SMDI* f = MDIForm();
    if (!f)
        return;
    if (Clicked) {
        m_filling = true;
        restrictSelectionToOneLevel();
        m_filling = false;
    }

    const QItemSelectionModel* sel = VST->selectionModel();
    for (TreeNode* node : m_model->allNodes())
        if (TJEXObject* o = m_model->GetNodeObject(node))
            o->selected = sel->isSelected(m_model->indexFromNode(node));

    if (sel->hasSelection()) {
        const TJEXObject* first = FirstSelectedObject();
        if (isPoint(first) && Clicked)
            f->GotoScreenPos(first->Pos.x(), first->Pos.y());
        Clicked = false;
        f->SmoothDraw(false);
        updateCaption();
    } else {
        UnselectMeasurements(f, f->CurrentPath);
    }
    AM_MeasurementsUpdate();
}

void TF_Measurements::updateCaption()
{
    TF_SMDI* f = MDIForm();
    TPath* path = f ? f->CurrentPath.get() : nullptr;
    if (!path) {
        setWindowTitle(QStringLiteral("Project"));
        return;
    }
    const int rings = CountMeasurements(f, path);
    m_model->refreshNode(GetNodeByObject(path)); // the count renames the path's points
    setWindowTitle(QStringLiteral("Project [") + path->Name + QStringLiteral(" - ") + QString::number(rings)
                   + QStringLiteral(" Rings]"));
}

void TF_Measurements::VST_SOChange()
{
    UpdateSOSelection();
}

void TF_Measurements::VSTChecked(TJEXObject* AnObject)
{
    Q_UNUSED(AnObject);
    repaintWindow(true);
}

void TF_Measurements::VSTNewText(TJEXObject* AnObject, int Column)
{
    // A new path name needs no repaint; comments are drawn as labels.
    if (Column == MeasurementTreeModel::ColComment
        && (dynamic_cast<TPath*>(AnObject) || isPoint(AnObject)))
        repaintWindow(false);
}

void TF_Measurements::VSTExpanded(const QModelIndex& index)
{
    if (m_filling)
        return;
    if (TJEXObject* o = m_model->GetNodeObject(m_model->nodeFromIndex(index)))
        o->expanded = true;
}

void TF_Measurements::VSTCollapsed(const QModelIndex& index)
{
    if (m_filling)
        return;
    if (TJEXObject* o = m_model->GetNodeObject(m_model->nodeFromIndex(index)))
        o->expanded = false;
}

void TF_Measurements::VSTDblClick()
{
    A_EditDOExecute();
}

void TF_Measurements::CB_UnitsChange(int index)
{
    if (index < 0)
        return;
    SettingUnits = index;
    for (TF_SMDI* w : ImageWindows())
        w->SmoothDraw(false);
    m_model->refreshAll();
    VST->viewport()->update();
}

void TF_Measurements::AM_MeasurementsUpdate()
{
    TF_SMDI* f = MDIForm();
    const bool bound = f != nullptr;
    TPath* path = dynamic_cast<TPath*>(FirstSelectedObject());
    A_NewPath->setEnabled(bound);
    A_DeletePath->setEnabled(path != nullptr);
    A_PathProperties->setEnabled(path != nullptr);
    A_PathInfo->setEnabled(path != nullptr);
    A_ActivatePath->setEnabled(path && (!f || f->CurrentPath.get() != path));
    A_RemoveAllAnchorPoints->setEnabled(bound && f->AnchorLine && f->AnchorLine->Count() > 0);
    updateImageCommands();
}

void TF_Measurements::PM_HeaderPopup()
{
    PM_HeaderInfo->setChecked(!VST->isColumnHidden(MeasurementTreeModel::ColComment));
    PM_HeaderDistance->setChecked(!VST->isColumnHidden(MeasurementTreeModel::ColDistance));
    PM_HeaderCoordinates->setChecked(!VST->isColumnHidden(MeasurementTreeModel::ColCoordinates));
}

void TF_Measurements::PM_HeaderClick()
{
    // The items toggle their own marks; the columns follow all three.
    VST->setColumnHidden(MeasurementTreeModel::ColComment, !PM_HeaderInfo->isChecked());
    VST->setColumnHidden(MeasurementTreeModel::ColDistance, !PM_HeaderDistance->isChecked());
    VST->setColumnHidden(MeasurementTreeModel::ColCoordinates, !PM_HeaderCoordinates->isChecked());
}

QMenu* TF_Measurements::VSTGetPopupMenu(TreeNode* Node)
{
    AM_MeasurementsUpdate();
    TF_SMDI* f = MDIForm();
    const TJEXObject* o = m_model->GetNodeObject(Node);
    const TPath* current = f ? f->CurrentPath.get() : nullptr;
    PM_EditInfo->setEnabled(f && f->A_EditInfo && f->A_EditInfo->isEnabled());

    if (auto* path = dynamic_cast<const TPath*>(o)) {
        PM_Pith->setChecked(path->Pith);
        return PAB_Path;
    }
    if (auto* index = dynamic_cast<const TIndex*>(o)) {
        const bool ofCurrent = current && index->Path.get() == current;
        PM_DeleteIndex->setEnabled(ofCurrent);
        A_Sapwood->setEnabled(ofCurrent);
        return PAB_Index;
    }
    if (auto* m = dynamic_cast<const TMeasurement*>(o)) {
        const bool ofCurrent = current && m->Path.get() == current;
        PM_DeleteMeasurements->setEnabled(ofCurrent);
        A_Sapwood->setEnabled(ofCurrent);
        return PAB_Measurement;
    }
    if (dynamic_cast<const TDrawObject*>(o))
        return PAB;
    if (dynamic_cast<const TAnchorLine*>(o))
        return PAB_AnchorLine;
    if (dynamic_cast<const TAnchorPoint*>(o))
        return PAB_AnchorPoint;
    return PAB_Empty;
}

QMenu* TF_Measurements::VST_SOGetPopupMenu(TreeNode* Node)
{
    updateImageCommands();
    if (m_soModel->windowOf(Node))
        return PAB_Project;
    if (const TStitchObject* so = m_soModel->imageOf(Node)) {
        PM_SOVisible->setChecked(so->Visible);
        return PAB_SO;
    }
    return nullptr;
}

void TF_Measurements::showVSTPopup(const QPoint& pos)
{
    QMenu* menu = VSTGetPopupMenu(m_model->nodeFromIndex(VST->indexAt(pos)));
    if (menu && !menu->isEmpty())
        menu->popup(VST->viewport()->mapToGlobal(pos));
}

void TF_Measurements::showSOPopup(const QPoint& pos)
{
    QMenu* menu = VST_SOGetPopupMenu(m_soModel->nodeFromIndex(VST_SO->indexAt(pos)));
    if (menu)
        menu->popup(VST_SO->viewport()->mapToGlobal(pos));
}

bool TF_Measurements::VST_SODragOver(const QObject* Source) const
{
    const auto* view = qobject_cast<const QAbstractItemView*>(Source);
    if (!view || !view->model())
        return false;
    const QAbstractItemModel* model = view->model();
    while (auto* proxy = qobject_cast<const QAbstractProxyModel*>(model))
        model = proxy->sourceModel();
    // The file manager's folder tree or its file list.
    return qobject_cast<const QFileSystemModel*>(model) || qobject_cast<const FileListModel*>(model);
}

void TF_Measurements::VST_SODragDrop(const QAbstractItemView* Source)
{
    if (!VST_SODragOver(Source))
        return;
    QStringList files;
    for (const QModelIndex& selected : Source->selectionModel()->selectedRows()) {
        QModelIndex idx = selected;
        const QAbstractItemModel* model = Source->model();
        while (auto* proxy = qobject_cast<const QAbstractProxyModel*>(model)) {
            idx = proxy->mapToSource(idx);
            model = proxy->sourceModel();
        }
        if (auto* list = qobject_cast<const FileListModel*>(model))
            files << list->filePath(idx.row());
        else
            files << static_cast<const QFileSystemModel*>(model)->filePath(idx);
    }
    if (files.isEmpty())
        return;
    TF_SMDI* f = MDIForm();
    const QPointer<TF_SMDI> guard(f);
    LoadImageFiles(f, files);
    if (f && guard) {
        FillProject(f);
        f->FitToScreen();
    }
}
