// The project tool window: the image tree and the measurement tree of the image window it is bound
// to, the unit combo, and the operations that create, insert, delete, find and number paths and
// points. Tree building and selection live in TF_Measurements.cpp, the point and path operations
// in TF_Measurements_Ops.cpp. Trees never copy model data: each node carries one object pointer.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractItemView;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QModelIndex;
class QStatusBar;
class QTreeView;

class MeasurementTreeModel;
class ImageTreeModel;
class TPageControlEx;
class TreeNode;
class TF_SMDI;
class TJEXObject;
class TPath;
class TIndex;
class TMeasurement;
class TAnchorPoint;
class TStitchObject;

class TF_Measurements : public QWidget {
    Q_OBJECT
public:
    explicit TF_Measurements(QWidget* parent = nullptr);
    ~TF_Measurements() override;

    // ---- components ----
    TPageControlEx* PCE = nullptr;
    QWidget* TS_Images = nullptr;
    QWidget* TS_Measurements = nullptr;
    QTreeView* VST_SO = nullptr; // image tree
    QTreeView* VST = nullptr;    // measurement tree
    QStatusBar* SB_Measure = nullptr;
    QLabel* SB_MeasurePanel0 = nullptr; // "Units"
    QLabel* SB_MeasurePanel2 = nullptr; // right-aligned, empty
    QComboBox* CB_Units = nullptr;

    QMenu* PAB_Empty = nullptr;
    QMenu* PAB_Path = nullptr;
    QMenu* PAB_Index = nullptr;
    QMenu* PAB_Measurement = nullptr;
    QMenu* PAB = nullptr; // draw objects
    QMenu* PAB_AnchorLine = nullptr;
    QMenu* PAB_AnchorPoint = nullptr;
    QMenu* PAB_Project = nullptr;
    QMenu* PAB_SO = nullptr;
    QMenu* PM_Header = nullptr;

    QAction* A_NewPath = nullptr;
    QAction* A_DeletePath = nullptr;
    QAction* A_ActivatePath = nullptr;
    QAction* A_PathInfo = nullptr;
    QAction* A_PathProperties = nullptr;
    QAction* PM_Pith = nullptr;
    QAction* A_Sapwood = nullptr;
    QAction* A_InsertIndex = nullptr;
    QAction* PM_InsertMeasurement = nullptr;
    QAction* PM_DeleteIndex = nullptr;
    QAction* PM_DeleteMeasurements = nullptr;
    QAction* A_CreateNewPathFromData = nullptr;
    QAction* A_RemoveAllAnchorPoints = nullptr;
    QAction* A_DeleteDO = nullptr;
    QAction* A_EditDO = nullptr;
    QAction* PM_EditInfo = nullptr; // runs the bound image window's "Edit info" command
    QAction* PM_HeaderInfo = nullptr;        // "Info": column 1
    QAction* PM_HeaderDistance = nullptr;    // "Distance": column 2
    QAction* PM_HeaderCoordinates = nullptr; // "Coordinates": column 3

    // Image-tree commands (TF_Measurements_Images.cpp).
    QAction* A_SaveProject = nullptr;             // "&Save project"
    QAction* A_ExportImageToSingleFile = nullptr; // "Export as single image"
    QAction* PM_SOVisible = nullptr;              // "Visible"
    QAction* PM_SOMoveToFront = nullptr;
    QAction* PM_SOSendToBack = nullptr;
    QAction* PM_SOOneUp = nullptr;
    QAction* PM_SOOneDown = nullptr;
    QAction* A_RemoveImage = nullptr;
    QAction* A_ExtractImage = nullptr;
    QAction* A_SaveImageAs = nullptr;
    QAction* A_RevertImage = nullptr;
    QAction* A_ImageInformation = nullptr;

    MeasurementTreeModel* measurementModel() const { return m_model; }
    ImageTreeModel* imageModel() const { return m_soModel; }

    // ---- state ----
    // The bound image window; none when unbound. Reads as none once the window is gone.
    TF_SMDI* MDIForm() const;
    bool Clicked = false; // the last selection change came from the user's mouse or keys

    // ---- trees (TF_Measurements.cpp) ----
    // Binds to `f` and rebuilds both trees; none unbinds and empties both.
    void FillMeasurements(TF_SMDI* f, bool ScrollBy);
    void FillProject(TF_SMDI* f); // image tree only
    void ClearAll();              // unbinds and empties both trees
    void SaveVSTState(TF_SMDI* f);
    TreeNode* GetNodeByObject(const TJEXObject* AnObject) const;
    void MakeVisible(TF_SMDI* f, TJEXObject* AnObject);
    void SOMakeVisible(TF_SMDI* f, TJEXObject* AnObject);
    void MarkNode(TF_SMDI* f, TreeNode* Node);
    void ToggleSelection(TreeNode* Node, bool OldState);
    void UnselectMeasurements(TF_SMDI* f, TPath* Path);
    void UnselectAnchorPoints(TF_SMDI* f);
    void UnselectStitchObjects(TF_SMDI* f);
    bool IsSOSelected(const TStitchObject* ASO) const;
    // The last selected object that is not a path, in selection order; none when there is none.
    TJEXObject* GetSelectedMeasurement() const;
    void UpdateSOSelection();
    // The object of the first selected node of the measurement tree (in tree order); none when
    // nothing is selected. The image window's "Delete" and sapwood commands enable on it.
    TJEXObject* FirstSelectedObject() const;
    int SelectedCount() const;
    // Selects only this object's node (the image window's new draw objects).
    void SelectOnly(TJEXObject* AnObject);
    // The image window's requests to bring a page to the front.
    void ShowMeasurementsPage();
    void ShowImagesPage();

    // Handlers.
    void VSTChange();
    void VST_SOChange();
    void CB_UnitsChange(int index);
    void AM_MeasurementsUpdate();
    void VSTChecked(TJEXObject* AnObject);
    void VSTNewText(TJEXObject* AnObject, int Column);
    void VSTExpanded(const QModelIndex& index);
    void VSTCollapsed(const QModelIndex& index);
    void VSTDblClick();
    void PM_HeaderPopup();
    void PM_HeaderClick();
    // The popup for a node of either tree (none: empty space), with its items enabled and checked
    // for that node; none when that place has no popup.
    QMenu* VSTGetPopupMenu(TreeNode* Node);
    QMenu* VST_SOGetPopupMenu(TreeNode* Node);
    // Drops on the image tree: only from the file manager's folder tree (a view over the file
    // system); its selected files, in selection order, are loaded as images.
    bool VST_SODragOver(const QObject* Source) const;
    void VST_SODragDrop(const QAbstractItemView* Source);

    // ---- measurement operations (TF_Measurements_Ops.cpp) ----
    // A new visible, expanded path named `Name`, or "Path n" when empty, appended to f's paths.
    TPath* NewPath(TF_SMDI* f, const QString& Name);
    // s + " " + n for the smallest n >= 1 that no path of f carries exactly (letter case counts).
    static QString GetUniquePathName(const TF_SMDI* f, const QString& s);
    // Appends an index point to the path; no renumbering.
    TIndex* NewIndex(TF_SMDI* f, TPath* Path, int x, int y);
    // Appends a measurement point to the index point and renumbers the path.
    TMeasurement* NewMeasurement(TF_SMDI* f, TPath* Path, TIndex* Index, int x, int y);
    TAnchorPoint* NewAnchorPoint(TF_SMDI* f, int x, int y);
    // Renames the path's points ("Index n", "M n" counted through the path) and returns the number
    // of its measurement points.
    static int CountMeasurements(TF_SMDI* f, TPath* Path);
    void InsertIndex();       // next to the first selected node
    void InsertMeasurement(); // next to the first selected node
    void DeleteMeasurement(TF_SMDI* f, TMeasurement* AMeasurement);
    void DeleteIndex(TF_SMDI* f, TIndex* AnIndex);
    void DeletePath(TF_SMDI* f, TJEXObject* APath);
    // The index or measurement point of the path nearest to (x, y) within 30 canvas pixels; the
    // earliest in path order wins a tie. `f` is not used.
    static TJEXObject* FindNearest(TF_SMDI* f, TPath* Path, int x, int y);
    // A pixel distance in the unit of SettingUnits with the bound window's resolution.
    double GetDistance(double APixelDistance) const;
    // The same with the resolution of the given window (the one owning the path).
    static double GetDistance(double APixelDistance, const TF_SMDI* f);
    void SelectMeasurement(TF_SMDI* f, TPath* APath, int index);
    void EditInfo(TJEXObject* AnObject); // comment box for one object
    void EditInfos();                    // comment box for every selected object
    // Insert, Ctrl+Insert, Delete and I; a handled key is set to 0.
    void FormKeyDown(int& Key, Qt::KeyboardModifiers Shift);
    static void SetSapwoodFlag(TJEXObject* obj);
    void ClearSapwoodFlags();

    // Command handlers.
    void A_NewPathExecute();
    void A_DeletePathExecute();
    void A_ActivatePathExecute();
    void A_PathInfoExecute();
    void A_PathPropertiesExecute();
    void PM_PithClick();
    void A_SapwoodExecute();
    void A_InsertIndexExecute();
    void PM_InsertMeasurementClick();
    void PM_DeleteIndexClick();
    void PM_DeleteMeasurementsClick();
    void A_CreateNewPathFromDataExecute();
    void A_RemoveAllAnchorPointsExecute();
    void A_DeleteDOExecute();
    void A_EditDOExecute();

    // ---- image-tree commands (TF_Measurements_Images.cpp) ----
    // Each works on the bound window and on the image of the first selected row of the image tree,
    // and does nothing when that row is not an image.
    // The image of the first selected row (in tree order); none when that row is the window's.
    TStitchObject* FirstSelectedImage() const;
    void PM_SaveProjectClick();               // the main window's "Save Project"
    void A_ExportImageToSingleFileExecute();  // the whole canvas as one picture file of the chosen type
    void PM_VisibleClick();                   // shows or hides the image
    // "Move to front", "Send to back", "One up", "One down": swaps in the drawing order.
    void PM_TopClick(QAction* Sender);
    void PM_RemoveClick();                    // every selected image, after asking
    void PM_ExtractImageClick();              // a new project of the image alone
    void PM_SaveImageClick();                 // the image under a new name
    void M_RevertClick();                     // the image read again from its file
    // Enables the image-tree commands from the bound window and the selected rows.
    void updateImageCommands();

signals:
    // The bound window changed (none after ClearAll).
    void boundWindowChanged(TF_SMDI* window);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createComponents();
    void createActions();
    void createMenus();
    void connectComponents();
    void placeUnitCombo();
    void showVSTPopup(const QPoint& pos);
    void showSOPopup(const QPoint& pos);
    void bindWindow(TF_SMDI* f);
    void updateCaption();
    // Deselects selected nodes that are not on the level of the current node.
    void restrictSelectionToOneLevel();
    TreeNode* firstSelectedNode() const;
    void selectNode(TreeNode* node, bool select);
    void scrollToNode(TreeNode* node);
    // Repaints of the bound window; nothing when none is bound.
    void repaintWindow(bool Complete);
    bool isEditing() const;

    MeasurementTreeModel* m_model = nullptr;
    ImageTreeModel* m_soModel = nullptr;
    QPointer<TF_SMDI> m_mdiForm;
    bool m_filling = false; // a rebuild is running: selection changes are not the user's
    QMetaObject::Connection m_boundGone; // empties the trees when the bound window is destroyed
};

// The one project tool window, created at start-up; none before that.
extern TF_Measurements* F_Measurements;
