// The image window: one project's images stitched on a canvas, with its paths, points, anchor line
// and draw objects. The class is large, so its methods live in several files by concern:
// TF_SMDI.cpp (life cycle, actions), TF_SMDI_Canvas.cpp (zoom and coordinates),
// TF_SMDI_Paint.cpp (painting), TF_SMDI_Mouse.cpp (mouse modes), TF_SMDI_Images.cpp (images, files,
// clipboard), TF_SMDI_ImageOps.cpp (pixel operations on the images).
#pragma once

#include "project/ProjectDocument.h"
#include "project/TJEXObject.h"
#include "project/ViewTransform.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMimeData;
class QScrollBar;
class QStatusBar;
class QTimer;
class QToolButton;
class QFrame;
class QMdiSubWindow;

class DeviceContext;
class DrawingRecord;
class TFastDIB;
class TArea;
class TJEXProject;
class TJEXObject;
class TPath;
class TIndex;
class TStitchObject;
class TControlPoint;
class TDrawObject;
class TAnchorLine;

// Screen modes: what the next mouse action in an image window does.
enum : int {
    mmSelect = 0,
    mmDPIPoint1 = 2,
    mmDPIPoint2 = 3,
    mmDPIDone = 4,
    mmNewIndex = 500,
    mmNewMeasurement = 501,
    mmAlignImages = 600,
    mmSelectRegion = 900,
    mmRegionDrag = 901,
    mmArrowStart = 1000,
    mmArrowEnd = 1001,
    mmRectangleStart = 1002,
    mmRectangleEnd = 1003,
    mmAnchorLine = 2500,
};

class TF_SMDI;

// The drawing surface of an image window; hands its events to the window's handlers.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(TF_SMDI* owner, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TF_SMDI* m_owner;
};

class TF_SMDI : public QWidget {
    Q_OBJECT
    friend class TPaintBox;

public:
    explicit TF_SMDI(QWidget* parent = nullptr);
    ~TF_SMDI() override;

    // ---- components ----
    QFrame* P_UpdateRAXO = nullptr;
    QToolButton* SB_UpdateRAXO = nullptr;
    TPaintBox* PB = nullptr;
    QFrame* P_Bottom = nullptr;
    QFrame* P_TopRight = nullptr;
    QFrame* P_Right = nullptr;
    QScrollBar* SB_H = nullptr;
    QScrollBar* SB_V = nullptr;
    QStatusBar* SB_MDI = nullptr;
    QList<QLabel*> SB_MDIPanels; // the five status panels
    QToolButton* SB_Size1 = nullptr;
    QToolButton* SB_SizeFit = nullptr;
    QToolButton* SB_Align = nullptr;
    QToolButton* SB_DPI = nullptr;
    QComboBox* CB_Zoom = nullptr;
    QToolButton* SB_AnchorStrict = nullptr;
    QMenu* PAB_MDI = nullptr;
    QMenu* M_Draw = nullptr;       // submenu "Draw" of PAB_MDI
    QMenu* PAB_Selected = nullptr; // popup of the image alignment mode
    QAction* M_QuitMoving = nullptr;
    QAction* M_RemoveImage = nullptr;
    QAction* M_SaveImage = nullptr;
    QAction* M_BringToFront = nullptr; // "Move to front"
    QAction* M_SendToBack = nullptr;
    QAction* M_OneUp = nullptr;
    QAction* M_OneDown = nullptr;
    QTimer* T_AntRect = nullptr;
    QTimer* T_Gesture = nullptr;

    QAction* A_SelectionMode = nullptr;
    QAction* A_NewIndex = nullptr;
    QAction* A_NewMeasurements = nullptr;
    QAction* A_Setup = nullptr;
    QAction* A_DoZoom = nullptr;
    QAction* A_InsertIndex = nullptr;
    QAction* A_InsertMeasurement = nullptr;
    QAction* A_SelectRegion = nullptr;
    QAction* A_EditInfo = nullptr;
    QAction* A_Arrow = nullptr;
    QAction* A_Rectangle = nullptr;
    QAction* A_Delete = nullptr;
    QAction* A_Align = nullptr;
    QAction* A_AnchorPoint = nullptr;

    // ---- state ----
private:
    ProjectDocument m_doc; // first: the model names below refer into it
public:
    ProjectDocument& document() { return m_doc; }
    const ProjectDocument& document() const { return m_doc; }
    bool fImageLoadError = false; // the last image load failed or was not done: closing asks nothing
    std::unique_ptr<TArea> Area;  // extent of all images
    QImage B_Background, B_Image, B_Foreground, B_Zoom, B_Bird; // paint layers (Format_RGB32)
    std::unique_ptr<TFastDIB> FX; // scratch image for magnified and overview drawing
    int TDelta_X = 0, TDelta_Y = 0; // inertia scroll speeds
    int& DPI = m_doc.DPI;           // resolution of the project's images, dots per inch
    int VSTOffset = 0;              // scroll offset of the measurement tree kept for this window
    std::vector<std::unique_ptr<TStitchObject>>& StitchList = m_doc.StitchList; // images, in drawing order
    std::vector<std::unique_ptr<TControlPoint>>& CPList = m_doc.CPList;
    std::vector<std::unique_ptr<TPath>>& PathList = m_doc.PathList;
    std::vector<std::unique_ptr<TDrawObject>>& DrawList = m_doc.DrawList; // arrows and rectangles
    std::unique_ptr<TAnchorLine>& AnchorLine = m_doc.AnchorLine;
    bool Drawing = false;   // while set, repaint requests do nothing
    bool CopyRect = false;  // a region rectangle is shown
    bool UpdateByGesture = false; // inertia moves the bars: their change handler must not repaint
    bool ALTState = false, ALTChanged = false;
    bool Closing = false;
    QPoint GestureMD, GestureMU; // paint-box points of the last press and release
    QPoint Mouse;                // last mouse position in paint-box pixels
    QPoint MouseDown;            // canvas point of the last press, moved along while dragging
    QPoint AbsMouse;             // canvas point under the mouse
    QPoint DPI1, DPI2;           // canvas points of the resolution calibration
    QPoint ClipbrdPT1, ClipbrdPT2; // corners of the region rectangle, canvas pixels
    QPoint Anchor;               // mouse position snapped to the anchor line
    ObjectRef<TPath>& CurrentPath = m_doc.CurrentPath;   // where new points go; reads as null once the path is freed
    ObjectRef<TIndex>& CurrentIndex = m_doc.CurrentIndex; // the index point new measurements follow; null once freed
    std::unique_ptr<TJEXProject>& Project = m_doc.Project;
    TJEXObject* DrawObject = nullptr; // the arrow or rectangle being placed (owned by DrawList)
    QPoint TrackerPos;
    int64_t GestureInertiaTime = 0; // duration of the last press, ms

    // ---- canvas, zoom and coordinates (TF_SMDI_Canvas.cpp) ----
    int zoom() const { return fZoom; }
    void setZoom(int value) { ApplyZoom(value); }
    double GetZoomDiv(int z) const;
    int GetPixelSize(int z) const;
    int Scale(int AValue) const;
    int ScaleBird(int AValue, int z) const;
    QPoint ToReal(int x, int y) const;
    QPoint ToScreen(QPoint p) const;
    // The zoom and scroll position as drawing project objects needs them.
    ViewTransform viewTransform() const;
    void GotoScreenPos(int x, int y);
    void UpdateArea();
    void FitToScreen();
    TStitchObject* GetStitchObjectAt(QPoint Pos) const;
    void ApplyZoom(int Value);
    void CB_ZoomChange();
    void SB_Size1Click();
    void SB_SizeFitClick();
    void SB_HChange();
    // -- end canvas --

    // ---- painting (TF_SMDI_Paint.cpp) ----
    void SmoothDraw(bool Complete);
    void DrawItems(DeviceContext* ACanvas);
    // The whole canvas at 1:1; the caller sets zoom 10 before and restores it after.
    void PaintTo(QImage& ABMP, bool DrawMeasurements);
    void UpdateBird(bool ImageChanged);
    void DrawBird(int z);
    void ResampleStitchObjects(TStitchObject* ASO);
    void PBPaint();
    void T_AntRectTimer();
    // Bird zoom of an overview BirdWidth pixels wide: the first value from 20 up at which the
    // canvas fits; 0 when the width is not positive.
    int BirdZoom(int BirdWidth) const;
    // Sizes B_Bird for an overview BirdWidth pixels wide and draws it. Returns the bird zoom, 0
    // when there is none.
    int BuildBird(int BirdWidth);

private:
    void composeLayers(bool Complete); // SmoothDraw without handing the result to the paint box
    // Draws B_Background anew; returns the part it changed.
    QRegion paintBackground();
    QRect m_cull; // the part of DrawItems' target that is seen, in its coordinates; null: all of it
    std::shared_ptr<DrawingRecord> m_overlays; // the overlays as B_Foreground shows them
    qint64 m_overlaysOn = 0;                   // B_Foreground's cache key once they were drawn
    std::shared_ptr<DrawingRecord> m_spareOverlays; // the record before, emptied for the next one
    // Where B_Background holds the area fill of the noted colour and brush, while its cache key is
    // the noted one: a complete repaint fills only where the fill is not yet.
    QRegion m_areaShown;
    qint64 m_areaShownOn = 0;
    int m_areaShownColor = -1, m_areaShownBrush = -1;
    // Images whose zoomed copy is sized but not yet filled; the next complete repaint fills them.
    std::unordered_set<const TStitchObject*> m_zoomCopiesDue;
    void buildDueZoomCopies();
    // ResampleStitchObjects for a new zoom: the pixels stay as they are.
    void requestZoomCopies(TStitchObject* ASO);
    // What B_Bird was drawn from: its size and bird zoom, the area fill and each image's place,
    // state and pixels. A pan or zoom of the window changes none of it and only moves the frame.
    std::vector<qint64> birdSource(int z, QSize size) const;
    std::vector<qint64> m_birdDrawnFrom;

public:
    // -- end painting --

    // ---- mouse modes and measuring clicks (TF_SMDI_Mouse.cpp) ----
    int ScreenMode() const { return fScreenMode; }
    void ApplyScreenMode(int Value);
    void PBMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void PBMouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y);
    void PBMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void T_GestureTimer();
    void FormKeyDown(int& Key, Qt::KeyboardModifiers Shift);
    void FormKeyUp(int& Key, Qt::KeyboardModifiers Shift);
    void PAB_MDIPopup();
    void PAB_SelectedPopup();
    void SB_DPIMouseDown(Qt::MouseButton Button);
    void SB_AnchorStrictClick();
    void A_SelectRegionExecute();
    void A_ArrowExecute();
    void A_RectangleExecute();
    void SetInfoBar();
    int GetAnchorPos(int& AnchorCX, int& AnchorCY);
    // Screen point at which a right click at paint-box point (X, Y) opens its popup menu.
    QPoint popupPosition(int X, int Y) const;
    bool m_edgeMovePending = false; // the edge scroll has queued a move at the resting mouse
    // -- end mouse --

    // ---- images, loading, stitching, saving and clipboard (TF_SMDI_Images.cpp) ----
    void LoadMultiImages(const QStringList& FileList);
    // Loads dropped files as a list, then rebuilds the trees and fits the window to the screen.
    void AcceptFiles(const QStringList& files);
    // Opens one image file as a new image right of the canvas. 0: loaded, or nothing done when the
    // file does not exist. -1: undecodable, reported; a window without data then closes itself,
    // one that holds data stays as it was.
    int LoadImage(const QString& AFilename, bool DoLoad);
    // Adds a bitmap as "Not saved" below and right of the canvas. Returns the number of images,
    // unchanged when the bitmap is null or cannot be converted.
    int LoadImageFromHandle(const QImage& AnImage);
    // Reads the image's pixels from its file, DropBorder (clamped) dropped on every side. A missing
    // file reads nothing; an undecodable one raises EInvalidGraphic and leaves FD as it was.
    void ReloadImage(TStitchObject* ASO);
    // Writes FD by the extension: .bmp, .jpg (quality 95) or .png, with the window's resolution. 0
    // written; -1 failed or another extension, told in an error box, an existing file kept.
    int SaveImage(TStitchObject* ASO, const QString& AFilename);
    // The image of exactly this name, else the first whose name differs only in case; none.
    TStitchObject* GetStitchObjectByFilename(const QString& AFilename) const;
    QList<TStitchObject*> GetSelectedStitchObject() const;
    bool ImagesAreSave() const;
    // After its pixels changed: the image is marked changed, and the project too when its file
    // holds the pixels (embedded), since the project file then no longer matches them.
    void MarkImageChanged(TStitchObject* so);
    // The project file holds everything: the project is unchanged and every changed image is
    // embedded in it (an image saved to its own file is no longer changed).
    bool ProjectSaved() const;
    // Changed images whose pixels neither their file nor the project file would hold.
    bool HasChangedImagesOutsideProject() const;
    bool HasMeasurements() const; // the first path holds an index point
    void CopyToClipBoard();
    void PasteFromClipBoard();
    void MergeFromClipBoard();
    // -- end images --

    // ---- image operations (TF_SMDI_ImageOps.cpp) ----
    // Every image. The first-image operations below log a failure and change nothing on a window
    // without images or with arguments that make no image.
    void DoSharpen();
    void DoSoften();
    void DoInvert();
    void Resample(int x1, int y1);
    void RotateFree(double Angle, bool smooth);
    void Rotate90(bool clockwise);
    void Mirror(bool Horizontally);
    // Color $00BBGGRR; a system colour (top bit set) is refused.
    void AddBorder(int x1, int y1, int x2, int y2, bool symmetric, uint32_t Color);
    // -- end image operations --

    // ---- the Image menu's commands with their dialogs (TF_SMDI_ImageCommands.cpp) ----
    // Each asks its gates (with their messages) and its dialog, runs the operation, makes the
    // zoomed copies anew and repaints; a cancelled dialog changes nothing.
    void SharpenCommand(); // "Sharpen": the amount dialog, then DoSharpen that many times
    void SoftenCommand();  // "Soften": likewise with DoSoften
    void AddBorderCommand(); // "Add Border": single image without measurements
    void ResampleCommand();  // "Resample": likewise
    void RotateCommand();    // "Rotate": likewise; repaints after Cancel too
    void AdjustImagesCommand(); // "Adjust image(s)": contrast, brightness, saturation, colour bias
    void GrayscaleCommand();    // "Grayscale image(s)": black and white, gray, bit planes, slicing
    // The zoomed copies of every image made anew, then a complete repaint.
    void RebuildImages();
    // -- end image commands --

    // ---- life cycle and commands (TF_SMDI.cpp) ----
    void FormShow();
    void FormActivate();
    void FormDeactivate();
    bool FormCloseQuery(); // true: the window may close
    // The project or one of its images holds work that is in no file.
    bool HasUnsavedWork() const;
    // The close-project dialog (or, without it, a question about unsaved work); false: cancelled.
    bool AskToClose();
    void FormClose();
    void FormResize();
    void ClearData(bool Data, bool Images);
    void SetCaption();
    void UpdateDOState();
    void AM_MDIUpdate();
    void A_SelectionModeExecute();
    void A_NewIndexExecute();
    void A_NewMeasurementsExecute();
    void A_SetupExecute();
    void A_InsertIndexExecute();
    void A_InsertMeasurementExecute();
    void A_EditInfoExecute();
    void A_DeleteExecute();
    void A_AnchorPointExecute();
    void A_AlignExecute();
    void A_AlignUpdate();
    void SB_AlignClick();
    void SB_UpdateRAXOClick();
    void M_QuitMovingClick();
    // The QMdiSubWindow that holds this window, or none when it stands alone.
    QMdiSubWindow* mdiFrame() const;
    // -- end life cycle --

signals:
    // The window was activated, painted or is closing: tool windows refresh from it.
    void activated(TF_SMDI* window);
    void closing(TF_SMDI* window);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void createActions();
    void createMenus();
    void connectComponents();
    void placeStatusButtons();
    void attachToFrame();
    void frameStateChanged(Qt::WindowStates oldState, Qt::WindowStates newState);
    void setScreenCursor();
    void forgetBirdView(); // the bird view no longer shows this window
    // Canvas length of a screen length at the current zoom, rounded (halves to even).
    qint64 canvasLength(qint64 screenLength) const;

    int& fZoom = m_doc.Zoom; // 1..999; 10 is 1:1
    int fScreenMode = 0;  // see the mm* values
    bool ImageMoving = false; // images are being dragged in image alignment
    QPointer<QMdiSubWindow> m_frame; // the sub-window whose activation this window follows
};

// The messages of the image commands' gates.
extern const QString SingleImagesText;
extern const QString EmptyProjectText;
extern const QString AspectChangeText; // asked before a resample that changes the aspect ratio

// Loads a list of image files into a window, or into a new one when none is given.
TF_SMDI* LoadImageFiles(TF_SMDI* window, const QStringList& files);

// A new image window, placed in the main window's MDI area when there is one, and shown.
TF_SMDI* CreateImageWindow();

// Closes a window that holds nothing worth keeping without asking, and without handing its
// resolution on to the next new window.
void DiscardImageWindow(TF_SMDI* w);

// The open image windows (created and not yet closing): those in the main window's MDI area in its
// child order, then any others in creation order.
QList<TF_SMDI*> ImageWindows();

// The name of an unsaved project in `window`: "New Project " + the number of open image windows,
// or the next number that no other open window's project bears.
QString NewProjectName(const TF_SMDI* window);

// Bytes of the request that asks RAXO to reload a project's path: "JEX", "RELOAD", the project
// file and the path's GUID on CR LF separated lines, nothing after the GUID, in Windows-1252.
QByteArray RAXOReloadRequest(const QString& projectFile, const QString& pathGUID);
