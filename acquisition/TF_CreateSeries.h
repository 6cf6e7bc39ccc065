// The image-series window: a list of numbered JPEG pictures in one folder, shown with thumbnails,
// that the user fills, prunes and renumbers and finally hands over as a new project, the pictures
// loaded in list order. Files that live outside the series folder are only moved or deleted after
// the user said yes. The picture sources (camera, video device) plug into this window.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "TCamRemote/Sources/CamDefines.h"

class QAction;
class QCheckBox;
class QFrame;
class QMouseEvent;
class QSlider;
class QTimer;
class TCamRemote;
class TColorPickerButton;
class TImgView32;
class TVideoImage;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QToolButton;
class QTreeWidget;
class TFastDIB;
class TPageControlEx;

// ---- naming and cropping, without widgets ----

// The file of picture n of a series: folder, separator, prefix, n in decimal, ".jpg"
// (folder "/data/cores", prefix "A12_", n 1: "/data/cores/A12_1.jpg").
QString SeriesFileName(const QString& folder, const QString& prefix, int n);

// A prefix may not leave the series folder: no path separators, no NUL.
bool IsSafeSeriesPrefix(const QString& prefix);

// The part of a picture of size `picture` that `frame` (in pixels of a live view of size `view`
// showing the same picture) covers, scaled as the live view shows it: width
// Round(pw * (|Right - Left| / vw)) with the ratio in single precision, origin Round(Left * pw / vw),
// likewise for the height. A frame drawn from right to left or bottom to top is taken by its
// corners; the result is clipped to the picture and empty when nothing of it remains.
QRect SeriesCropRect(const QRect& frame, const QSize& view, const QSize& picture);

// The picture's part `rect` (picture coordinates, top left origin) as a new 24-bit image; none when
// the rectangle is empty or the picture holds no pixels.
std::unique_ptr<TFastDIB> CropPicture(const TFastDIB& picture, const QRect& rect);

// The list thumbnail of a picture: 160 pixels wide, Round(h / w * 160) high (at least 1).
QImage SeriesThumbnail(const QImage& picture);
// Reads a JPEG file's thumbnail with the program's JPEG reader. Null and `error` set when the file
// cannot be read.
QImage SeriesThumbnailOfFile(const QString& fileName, QString* error = nullptr);

// The live view's shade: the colour red 0, green 64, blue 128 laid over a pixel at alpha 127.
QRgb ShadePixel(QRgb pixel);
// Shades a picture outside `frame` (Left, Top = x, y; Right, Bottom = x + width, y + height) with
// four fills: above, below, left and right of it; the frame itself stays clear.
void ShadeOutsideFrame(QImage& picture, const QRect& frame);

// One entry of the series.
class TImago {
public:
    QString FileName;  // full path of the entry's JPEG file
    QImage Thumbnail;  // 160 pixels wide
    int index = 0;     // kept from the old list entries; nothing reads it
};

class TF_CreateSeries : public QDialog {
    Q_OBJECT
public:
    explicit TF_CreateSeries(QWidget* parent = nullptr);
    ~TF_CreateSeries() override;

    // ---- state ----
    int ActiveCameraType = -1; // -1 none, 1 EOS camera, 3 video device; 2 has no function
    bool ProjectSaved = true;  // false after every change of the list the user has not handed over
    bool UseFrame = false;     // mirrors CB_Frame
    QRect Frame;               // crop frame in pixels of the live-view picture
    QSize EOSViewSize;         // size of the picture shown in the camera's live view

    // ---- live view ----
    QPoint EOS_P, VfW_P;   // last pointer position over each view, in control pixels
    QPoint EOS_CP, VfW_CP; // crosshair centre of each view, in control pixels
    int EOS_Zoom = 100, VfW_Zoom = 100; // percent
    int ZoomTimer = 0;     // zoom timer ticks since the last zoom change
    TCamRemote* CamRemote = nullptr; // the camera component of the window
    std::unique_ptr<TVideoImage> VFW; // the window's video frame source
    QImage VFW_Bitmap;     // the latest video frame as it came, unshaded
    std::vector<std::unique_ptr<TImago>> Series; // the list, in list order

    // ---- components ----
    TPageControlEx* PCE = nullptr;
    QWidget* TS_NoActive = nullptr;
    QWidget* TS_CanonEOS = nullptr;
    QWidget* TS_ImagingSource = nullptr;
    QWidget* TS_VFW = nullptr;
    QPlainTextEdit* M_NoCam = nullptr;
    TImgView32* EOS_IMG = nullptr;
    QStatusBar* SB_EOS = nullptr;
    TImgView32* VFW_IMG = nullptr;
    QStatusBar* SB_VFW = nullptr;
    QLabel* SB_EOS_Panel0 = nullptr; // pointer in picture pixels
    QLabel* SB_EOS_Panel1 = nullptr; // frame hint
    QLabel* SB_VFW_Panel0 = nullptr;
    QLabel* SB_VFW_Panel1 = nullptr;
    QWidget* EOS_S_H = nullptr; // crosshair lines, 2 pixels thick
    QWidget* EOS_S_V = nullptr;
    QWidget* VFW_S_H = nullptr;
    QWidget* VFW_S_V = nullptr;
    QWidget* P_IS_H = nullptr; // the page without function has 1-pixel lines
    QWidget* P_IS_V = nullptr;
    QWidget* P_Zoom = nullptr; // zoom panel shown while the wheel zooms
    QSlider* TB = nullptr;     // 10 (top) to 200
    QFrame* S_100 = nullptr;   // the 100 % mark: lime at 100, white otherwise
    QLabel* L_100 = nullptr;
    QTimer* T_Zoom = nullptr;

    QWidget* P_Right = nullptr;
    QGroupBox* GB_VideoSource = nullptr;
    QLabel* I_CameraActive = nullptr;
    QLabel* L_CameraActive = nullptr;
    QPushButton* BB_ChangeCamera = nullptr;   // "Change"
    QGroupBox* GB_DisplaySettings = nullptr;
    QCheckBox* CB_Crosshairs = nullptr;       // "Crosshairs"
    TColorPickerButton* CPB_Crosshairs = nullptr; // crosshair colour
    QCheckBox* CB_Frame = nullptr;            // "Frame"
    QWidget* P_VFWSettings = nullptr;
    QPushButton* BB_VFWImageSettings = nullptr; // "Image properties"
    QPushButton* BB_VWFStreamSettings = nullptr; // "Device properties"
    QWidget* P_EOSSettings = nullptr;
    QPushButton* B_EOSCameraSettings = nullptr; // "Camera settings"
    QCheckBox* CB_EOSViewFinder = nullptr;      // "Viewfinder"

    QGroupBox* GB_Series = nullptr;
    QLineEdit* E_ImagePath = nullptr;  // read-only series folder
    QPushButton* BB_SetPath = nullptr; // "..."
    QLineEdit* E_Fileprefix = nullptr;
    QPushButton* BB_Grab = nullptr;    // "Grab  F1"
    QPushButton* BB_AddImage = nullptr; // "Add saved image(s)"
    QPushButton* BB_CreateJEX = nullptr; // "Create JEX4 project"
    QTreeWidget* VST = nullptr;
    QStatusBar* SB = nullptr;
    QLabel* SB_Panel0 = nullptr;
    QMenu* PM_VST = nullptr;
    QAction* M_DeleteImage = nullptr; // "&Delete from disk"
    QAction* M_DeleteAll = nullptr;   // "Delete &all from disk"
    QAction* M_ClearList = nullptr;   // "Clear list"

    int CrossHairsColor = 0x000080FF; // $00BBGGRR of the crosshair colour button

    // ---- naming ----
    QString SeriesFolder() const; // the folder text
    QString SeriesPrefix() const; // the prefix text
    // The file the next picture goes to: the list's count plus one, or the first number above it
    // whose file neither exists nor belongs to an entry, so no picture is ever written over.
    QString NextFileName() const;
    // Whether the file lies in the series folder (by canonical folder).
    bool InSeriesFolder(const QString& fileName) const;

    // ---- methods ----
    void SetCameraType();
    // Empties the list; DeleteFiles deletes the entries' files in the series folder, and those of
    // other folders only with DeleteForeign too. Failures to delete are logged and otherwise ignored.
    void ClearSeries(bool DeleteFiles, bool DeleteForeign = false);
    // Adds pictures from disk in the given order, each under its own path. Stops at the first file
    // that cannot be read (reported); the ones before it stay. A file the list holds already is
    // skipped. Returns the number added.
    int AddSavedImages(const QStringList& files);
    // Gives every entry the series name of its position (1, 2, ...). Entries outside the series
    // folder move only when the user agrees; no file is ever written over, and an entry whose file
    // cannot be renamed keeps the name of the file that holds its picture (reported).
    void RenumberSeries();
    // Crops a camera picture (of EOSViewSize's view) or a video frame (the view is the frame) to
    // Frame; without UseFrame the video crop is the whole frame.
    std::unique_ptr<TFastDIB> EOS_CropImage(const TFastDIB& picture) const;
    std::unique_ptr<TFastDIB> VFW_CropImage(const TFastDIB& frame) const;
    // Finish one capture: the video frame saved (quality 100) and listed; the camera picture's
    // thumbnail read from its file. 0 done; -1 failed (reported), the list as it was.
    int VFW_GrabImage();
    int EOS_GrabImage(TImago& AnImago);
    // A downloaded camera picture cropped to Frame and written to `target` with quality 90.
    // 0 written; -1 failed (logged), `target` as it was.
    int EOS_SaveCropped(const QString& downloaded, const QString& target);

    // ---- handlers ----
    void FormShow();
    bool FormCloseQuery(); // true: the window may close
    void FormClose();
    void BB_GrabClick();
    void BB_AddImageClick();
    void BB_SetPathClick();
    void E_FileprefixChange();
    void BB_CreateJEXClick();
    void M_DeleteImageClick();
    void M_DeleteAllClick();
    void M_ClearListClick();
    void PM_VSTPopup(); // enables the popup's commands from the list
    // Opens the first selected entry in the series preview, or shows it in the open one.
    void VSTDblClick();
    void CB_FrameClick();
    void CB_EOSViewFinderClick();

    // ---- live view handlers ----
    // One live camera picture; one arriving while the last is still being shown is dropped.
    void CamRemoteViewfinderEvent(const QByteArray& Jpegdata, const ViewfinderPositionType& Metadata);
    // A released picture is ready: it is downloaded into the series.
    void CamRemoteRemoteEvent(RemoteEventCallbackType Event, const AdditionNotifyRemoteEventType& EventData);
    // A new video frame: taken from the frame source and shown.
    void VFW_NewFrame(TVideoImage* Sender, int Width, int Height, const quint8* DataPtr);
    // A camera that goes away is disconnected and reported; the series stays.
    void CamRemoteEvent(const EventCallbackType& Event);
    // Shows a decoded video frame (shaded outside the frame) and refreshes the video crosshair.
    void ShowVideoFrame(const QImage& frame);
    void BB_VFWImageSettingsClick();
    void BB_VWFStreamSettingsClick();
    void EOS_RefreshCrosshairs();
    void VFW_RefreshCrosshairs();
    void CPB_CrosshairsChange();
    // A wheel turn of `delta` (negative: down) over the window; false when ignored.
    bool FormMouseWheel(int delta);
    void TBChange();
    void T_ZoomTimer();
    // The camera component the window works with; the window owns it and binds its events.
    void SetCamRemote(TCamRemote* cam);
    // The window's video: the devices, starting one (a failure is reported; false) and stopping
    // it. The video crosshair shows only while it runs.
    QStringList VideoDevices();
    bool VideoStart(const QString& device);
    void VideoStop();
    bool VideoRunning() const;
    void BB_ChangeCameraClick();
    void B_EOSCameraSettingsClick();

    // The entries selected in the list, in list order.
    std::vector<TImago*> SelectedEntries() const;

public slots:
    void reject() override; // every close (Esc, close box, close()) passes the close query

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void createPages();
    void createRightPanel();
    void createPopupMenu();
    void updateActions();
    void appendEntry(std::unique_ptr<TImago> entry);
    // The tree mirrors Series; the selection stays on the same entries. countChanged: the status
    // bar shows the new count (the window's first text stays until the list changes).
    void refreshList(bool countChanged = true);
    // Deletes the files of `entries` and drops them from the list. Files outside the series folder
    // are deleted only when the user says yes; otherwise their entries just leave the list. An
    // entry whose file could not be deleted stays (reported).
    void deleteEntries(const std::vector<TImago*>& entries);
    bool askForeign(const std::vector<TImago*>& foreign, const QString& question);
    void removeEntries(const std::function<bool(const TImago&)>& drop);

    void createZoomPanel();
    void viewMouseMove(bool eos, QMouseEvent* event);
    void viewMouseDown(bool eos, QMouseEvent* event);
    void refreshCrosshairs(TImgView32* view, QWidget* h, QWidget* v, const QPoint& centre, const QSize& length,
                           bool visible);

    bool ProcessEOSViewFinderEvent = false; // a live camera picture is being shown
    QPoint m_frameAnchor;   // picture point where the frame drag started
    bool m_built = false;    // every child exists
    bool m_closing = false;  // the close handler runs
    bool m_creating = false; // the project is being handed over
};

// The one series window; none until the main window's command or the camera wizard made it.
extern QPointer<TF_CreateSeries> F_CreateSeries;
