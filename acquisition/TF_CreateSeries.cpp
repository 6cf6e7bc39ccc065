// The image-series window: naming, the list with its thumbnails, adding, deleting and
// renumbering pictures, cropping to the live-view frame, and the hand-over as a new project.
#include "acquisition/TF_CreateSeries.h"

#include "acquisition/CanonEOS_Varia.h"
#include "acquisition/ImageView32.h"
#include "acquisition/TF_EOSCameraSettings.h"
#include "acquisition/TF_SelectCamera.h"
#include "acquisition/TF_SeriesPreview.h"
#include "acquisition/VFrames.h"
#include "TCamRemote/Sources/CamRemote.h"

#include "image/DepthConversion.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "platform/FileKey.h"
#include "project/Helpers.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSet>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

QPointer<TF_CreateSeries> F_CreateSeries;

namespace {

constexpr int ThumbnailWidth = 160;
constexpr int EntryRole = Qt::UserRole;         // the TImago of a row
constexpr int ThumbnailRole = Qt::UserRole + 1; // its thumbnail
constexpr int ListedNames = 10;                 // file names a question spells out

constexpr int ShadeAlpha = 127;
constexpr QRgb ShadeColour = 0x004080; // red 0, green 64, blue 128
const QString FrameHint = QStringLiteral("Right click in the image and drag a frame");

// File names one per line, the first few only.
QString nameList(const std::vector<TImago*>& entries)
{
    QStringList lines;
    for (const TImago* e : entries) {
        if (lines.size() == ListedNames) {
            lines << QStringLiteral("...");
            break;
        }
        lines << e->FileName;
    }
    return lines.join(QStringLiteral("\r\n"));
}

QString nameList(const QStringList& names)
{
    QStringList lines = names.mid(0, ListedNames);
    if (names.size() > ListedNames)
        lines << QStringLiteral("...");
    return lines.join(QStringLiteral("\r\n"));
}

void reportFiles(const QString& headline, const QStringList& files)
{
    for (const QString& f : files)
        TF_ErrorLog::AddLog(0, headline + QLatin1Char(' ') + f);
    MessageDlg(headline + QStringLiteral(":\r\n") + nameList(files), mtError, TMsgDlgButtons{mbOK});
}

// Column 0 shows the entry's thumbnail at (2, 2) of its row; the row is thumbnail height + 5.
class ThumbnailDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() != 0)
            return;
        const QImage thumb = index.data(ThumbnailRole).value<QImage>();
        if (!thumb.isNull())
            painter->drawImage(option.rect.topLeft() + QPoint(2, 2), thumb);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QImage thumb = index.model()->index(index.row(), 0, index.parent()).data(ThumbnailRole).value<QImage>();
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (!thumb.isNull())
            size.setHeight(thumb.height() + 5);
        if (index.column() == 0)
            size.setWidth(180);
        return size;
    }
};

} // namespace

// ---- naming and cropping ----

QString SeriesFileName(const QString& folder, const QString& prefix, int n)
{
    const QString name = prefix + QString::number(n) + QStringLiteral(".jpg");
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

bool IsSafeSeriesPrefix(const QString& prefix)
{
    return !prefix.contains(QLatin1Char('/')) && !prefix.contains(QLatin1Char('\\')) && !prefix.contains(QChar(0));
}

QRect SeriesCropRect(const QRect& frame, const QSize& view, const QSize& picture)
{
    const int vw = view.width(), vh = view.height();
    const int pw = picture.width(), ph = picture.height();
    if (vw <= 0 || vh <= 0 || pw <= 0 || ph <= 0)
        return QRect();
    // Left/Top and Right/Bottom as the frame was drawn; x + width is the right edge.
    const qint64 l = frame.x(), r = qint64(frame.x()) + frame.width();
    const qint64 t = frame.y(), b = qint64(frame.y()) + frame.height();
    // The ratios are single precision, as the live view computes them.
    const float rw = float(std::llabs(r - l)) / float(vw);
    const float rh = float(std::llabs(b - t)) / float(vh);
    const int width = Round(double(pw) * double(rw));
    const int height = Round(double(ph) * double(rh));
    const int x0 = Round(double(std::min(l, r)) * pw / vw);
    const int y0 = Round(double(std::min(t, b)) * ph / vh);
    return QRect(x0, y0, width, height).intersected(QRect(0, 0, pw, ph));
}

std::unique_ptr<TFastDIB> CropPicture(const TFastDIB& picture, const QRect& rect)
{
    if (!picture.Bits || rect.isEmpty())
        return nullptr;
    const QRect inside = rect.intersected(QRect(0, 0, picture.Info.Header.Width, picture.AbsHeight));
    if (inside.isEmpty())
        return nullptr;
    try {
        const TFastDIB* source = &picture;
        TFastDIB converted;
        if (picture.Info.Header.BitCount != 24) {
            converted.MakeCopy(picture, true);
            SetPixelDepth(converted, 24);
            source = &converted;
        }
        auto crop = std::make_unique<TFastDIB>();
        crop->SetSize(inside.width(), inside.height(), 24);
        if (!crop->Bits)
            return nullptr;
        crop->CopyRect(*source, 0, 0, inside.width(), inside.height(), inside.x(), inside.y());
        return crop;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

QImage SeriesThumbnail(const QImage& picture)
{
    if (picture.isNull() || picture.width() <= 0)
        return QImage();
    const int height = std::max(1, Round(double(picture.height()) / picture.width() * ThumbnailWidth));
    return picture.scaled(ThumbnailWidth, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

QImage SeriesThumbnailOfFile(const QString& fileName, QString* error)
{
    // Large pictures are decoded at a reduced size: the thumbnail needs 160 pixels, not millions.
    const QSize full = QImageReader(fileName).size();
    TFastJPG jpg;
    if (full.isValid()) {
        int shift = 0;
        while (shift < jsEighth && (full.width() >> (shift + 1)) >= 2 * ThumbnailWidth)
            ++shift;
        jpg.Scale = TJPGScale(shift);
    }
    TFastDIB dib;
    jpg.AttachImage(&dib);
    if (jpg.LoadFile(fileName) != 0) {
        if (error)
            *error = jpg.lastError();
        return QImage();
    }
    const int w = int(jpg.Props.JPGWidth), h = int(jpg.Props.JPGHeight);
    QImage decoded;
    DIBToBitmap(dib, decoded);
    if (decoded.isNull() || w <= 0 || h <= 0) {
        if (error)
            *error = QStringLiteral("The picture is empty");
        return QImage();
    }
    // The height follows the full picture's proportions, not the reduced copy's.
    const int height = std::max(1, Round(double(h) / w * ThumbnailWidth));
    return decoded.scaled(ThumbnailWidth, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

QRgb ShadePixel(QRgb pixel)
{
    const auto mix = [](int colour, int under) {
        return (colour * ShadeAlpha + under * (255 - ShadeAlpha) + 127) / 255;
    };
    return qRgb(mix(qRed(ShadeColour), qRed(pixel)), mix(qGreen(ShadeColour), qGreen(pixel)),
                mix(qBlue(ShadeColour), qBlue(pixel)));
}

void ShadeOutsideFrame(QImage& picture, const QRect& frame)
{
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
        picture.convertTo(QImage::Format_RGB32);
    const int W = picture.width(), H = picture.height();
    const qint64 left = frame.x(), top = frame.y();
    const qint64 right = left + frame.width(), bottom = top + frame.height();
    // One table per channel: the blend of every byte value with the shade's.
    static const auto tables = [] {
        std::array<std::array<quint32, 256>, 3> t{};
        for (int v = 0; v < 256; ++v) {
            const QRgb shaded = ShadePixel(qRgb(v, v, v));
            t[0][v] = quint32(qRed(shaded)) << 16;
            t[1][v] = quint32(qGreen(shaded)) << 8;
            t[2][v] = quint32(qBlue(shaded));
        }
        return t;
    }();
    const auto fill = [&picture, W, H](qint64 x1, qint64 y1, qint64 x2, qint64 y2) {
        x1 = std::clamp<qint64>(x1, 0, W);
        x2 = std::clamp<qint64>(x2, 0, W);
        y1 = std::clamp<qint64>(y1, 0, H);
        y2 = std::clamp<qint64>(y2, 0, H);
        for (qint64 y = y1; y < y2; ++y) {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(int(y)));
            for (qint64 x = x1; x < x2; ++x) {
                const QRgb p = row[x];
                row[x] = 0xFF000000u | tables[0][qRed(p)] | tables[1][qGreen(p)] | tables[2][qBlue(p)];
            }
        }
    };
    fill(0, 0, W, top);
    fill(0, bottom, W, H);
    fill(0, top, left, bottom);
    fill(right, top, W, bottom);
}

// ---- window ----

TF_CreateSeries::TF_CreateSeries(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Create image series"));
    setProperty("helpContext", 5018);
    resize(800, 600);
    createPages();
    createRightPanel();
    createPopupMenu();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PCE, 1);
    layout->addWidget(P_Right);

    SetCamRemote(new TCamRemote(this));
    VFW = std::make_unique<TVideoImage>();
    QPointer<TF_CreateSeries> self(this);
    VFW->OnNewVideoFrame = [self](TVideoImage* sender, qint32 width, qint32 height, const quint8* data) {
        if (self)
            self->VFW_NewFrame(sender, width, height, data);
    };
    // The frame source has said what went wrong; what was grabbed stays, the crosshair goes.
    VFW->OnVideoError = [self](TVideoImage*, const QString&) {
        if (self)
            self->VFW_RefreshCrosshairs();
    };
    connect(BB_VFWImageSettings, &QPushButton::clicked, this, &TF_CreateSeries::BB_VFWImageSettingsClick);
    connect(BB_VWFStreamSettings, &QPushButton::clicked, this, &TF_CreateSeries::BB_VWFStreamSettingsClick);
    connect(B_EOSCameraSettings, &QPushButton::clicked, this, &TF_CreateSeries::B_EOSCameraSettingsClick);
    connect(BB_ChangeCamera, &QPushButton::clicked, this, &TF_CreateSeries::BB_ChangeCameraClick);
    updateActions();
    m_built = true;
}

TF_CreateSeries::~TF_CreateSeries()
{
    // Destroying the window keeps every picture file.
    Series.clear();
    if (VFW) {
        VFW->OnNewVideoFrame = nullptr;
        VFW->OnVideoError = nullptr;
        VFW->VideoStop();
    }
}

void TF_CreateSeries::createPages()
{
    PCE = new TPageControlEx(this);
    PCE->setMinimumSize(320, 240);

    TS_NoActive = new QWidget;
    M_NoCam = new QPlainTextEdit(TS_NoActive);
    M_NoCam->setReadOnly(true);
    M_NoCam->setPlainText(QStringList{QStringLiteral("No Video Source selected!"), QString(),
                                      QStringLiteral("Please connect your device and "),
                                      QStringLiteral("activate the corresponding Video "), QStringLiteral("Source.")}
                              .join(QLatin1Char('\n')));
    M_NoCam->setFixedSize(260, 110);
    auto* noCam = new QVBoxLayout(TS_NoActive);
    noCam->addWidget(M_NoCam, 0, Qt::AlignCenter); // centred in the page as the window resizes

    auto livePage = [this](TImgView32*& image, QStatusBar*& bar, QLabel*& panel0, QLabel*& panel1, QWidget*& h,
                           QWidget*& v) {
        auto* page = new QWidget;
        auto* l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
        image = new TImgView32(page);
        image->viewport()->setMouseTracking(true);
        image->viewport()->installEventFilter(this);
        bar = new QStatusBar(page);
        bar->setSizeGripEnabled(false);
        panel0 = new QLabel(bar);
        panel0->setMinimumWidth(100);
        panel1 = new QLabel(bar);
        bar->addWidget(panel0);
        bar->addWidget(panel1, 1);
        l->addWidget(image, 1);
        l->addWidget(bar);
        auto line = [image](int w, int hgt) {
            auto* line = new QWidget(image->viewport());
            line->setAutoFillBackground(true);
            line->setBackgroundRole(QPalette::Window); // not the view's white base
            line->setAttribute(Qt::WA_TransparentForMouseEvents);
            line->resize(w, hgt);
            line->hide();
            return line;
        };
        h = line(1, 2);
        v = line(2, 1);
        return page;
    };
    TS_CanonEOS = livePage(EOS_IMG, SB_EOS, SB_EOS_Panel0, SB_EOS_Panel1, EOS_S_H, EOS_S_V);
    TS_ImagingSource = new QWidget;
    P_IS_H = new QWidget(TS_ImagingSource);
    P_IS_H->setAutoFillBackground(true);
    P_IS_H->setGeometry(0, 120, 320, 1);
    P_IS_V = new QWidget(TS_ImagingSource);
    P_IS_V->setAutoFillBackground(true);
    P_IS_V->setGeometry(160, 0, 1, 240);
    TS_VFW = livePage(VFW_IMG, SB_VFW, SB_VFW_Panel0, SB_VFW_Panel1, VFW_S_H, VFW_S_V);
    createZoomPanel();

    PCE->addTab(TS_NoActive, QStringLiteral("No source"));
    PCE->addTab(TS_CanonEOS, QStringLiteral("Canon EOS"));
    PCE->addTab(TS_ImagingSource, QStringLiteral("Imaging Source"));
    PCE->addTab(TS_VFW, QStringLiteral("Video"));
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);
    PCE->setCurrentWidget(TS_NoActive);
}

void TF_CreateSeries::createZoomPanel()
{
    P_Zoom = new QWidget(this);
    P_Zoom->setAutoFillBackground(true);
    QPalette pal = P_Zoom->palette();
    pal.setColor(QPalette::Window, QColor(255, 251, 240)); // cream
    P_Zoom->setPalette(pal);
    P_Zoom->setFixedSize(70, 170);
    auto* caption = new QLabel(QStringLiteral("Zoom"), P_Zoom);
    caption->setGeometry(4, 2, 62, 16);
    TB = new QSlider(Qt::Vertical, P_Zoom);
    TB->setRange(10, 200);
    TB->setInvertedAppearance(true); // 10 at the top
    TB->setValue(100);
    TB->setGeometry(4, 20, 22, 146);
    auto mark = [this](const QString& text, int top) {
        auto* l = new QLabel(text, P_Zoom);
        l->setGeometry(36, top - 7, 34, 14);
        return l;
    };
    mark(QStringLiteral("10%"), 27);
    L_100 = mark(QStringLiteral("100%"), 27 + (100 - 10) * 132 / 190);
    mark(QStringLiteral("200%"), 159);
    S_100 = new QFrame(P_Zoom);
    S_100->setGeometry(26, 27 + (100 - 10) * 132 / 190 - 1, 8, 3);
    S_100->setStyleSheet(QStringLiteral("background: #00FF00"));
    S_100->installEventFilter(this);
    L_100->installEventFilter(this);
    P_Zoom->hide();
    connect(TB, &QSlider::valueChanged, this, &TF_CreateSeries::TBChange);

    T_Zoom = new QTimer(this);
    T_Zoom->setInterval(300);
    connect(T_Zoom, &QTimer::timeout, this, &TF_CreateSeries::T_ZoomTimer);
}

void TF_CreateSeries::createRightPanel()
{
    P_Right = new QWidget(this);
    P_Right->setMinimumWidth(280);
    P_Right->setAutoFillBackground(true);
    QPalette pal = P_Right->palette();
    pal.setColor(QPalette::Window, Qt::white);
    P_Right->setPalette(pal);
    auto* right = new QVBoxLayout(P_Right);

    // Picture source.
    GB_VideoSource = new QGroupBox(QStringLiteral("Video Source"), P_Right);
    auto* source = new QVBoxLayout(GB_VideoSource);
    auto* sourceRow = new QHBoxLayout;
    I_CameraActive = new QLabel(GB_VideoSource);
    I_CameraActive->setFixedSize(32, 32);
    L_CameraActive = new QLabel(QStringLiteral("not connected"), GB_VideoSource);
    BB_ChangeCamera = new QPushButton(QStringLiteral("Change"), GB_VideoSource);
    sourceRow->addWidget(I_CameraActive);
    sourceRow->addWidget(L_CameraActive, 1);
    sourceRow->addWidget(BB_ChangeCamera);
    source->addLayout(sourceRow);

    GB_DisplaySettings = new QGroupBox(QStringLiteral("Display Settings"), GB_VideoSource);
    auto* display = new QVBoxLayout(GB_DisplaySettings);
    auto* crossRow = new QHBoxLayout;
    CB_Crosshairs = new QCheckBox(QStringLiteral("Crosshairs"), GB_DisplaySettings);
    CPB_Crosshairs = new TColorPickerButton(GB_DisplaySettings);
    CPB_Crosshairs->setColor(CrossHairsColor);
    connect(CPB_Crosshairs, &TColorPickerButton::colorChanged, this, &TF_CreateSeries::CPB_CrosshairsChange);
    connect(CB_Crosshairs, &QCheckBox::toggled, this, [this] {
        EOS_RefreshCrosshairs();
        VFW_RefreshCrosshairs();
    });
    CB_Frame = new QCheckBox(QStringLiteral("Frame"), GB_DisplaySettings);
    crossRow->addWidget(CB_Crosshairs);
    crossRow->addWidget(CPB_Crosshairs);
    crossRow->addStretch(1);
    display->addLayout(crossRow);
    display->addWidget(CB_Frame);
    connect(CB_Frame, &QCheckBox::toggled, this, &TF_CreateSeries::CB_FrameClick);

    P_VFWSettings = new QWidget(GB_DisplaySettings);
    auto* vfw = new QHBoxLayout(P_VFWSettings);
    vfw->setContentsMargins(0, 0, 0, 0);
    BB_VFWImageSettings = new QPushButton(QStringLiteral("Image properties"), P_VFWSettings);
    BB_VWFStreamSettings = new QPushButton(QStringLiteral("Device properties"), P_VFWSettings);
    vfw->addWidget(BB_VFWImageSettings);
    vfw->addWidget(BB_VWFStreamSettings);
    P_EOSSettings = new QWidget(GB_DisplaySettings);
    auto* eos = new QHBoxLayout(P_EOSSettings);
    eos->setContentsMargins(0, 0, 0, 0);
    B_EOSCameraSettings = new QPushButton(QStringLiteral("Camera settings"), P_EOSSettings);
    CB_EOSViewFinder = new QCheckBox(QStringLiteral("Viewfinder"), P_EOSSettings);
    eos->addWidget(B_EOSCameraSettings);
    eos->addWidget(CB_EOSViewFinder);
    connect(CB_EOSViewFinder, &QCheckBox::clicked, this, &TF_CreateSeries::CB_EOSViewFinderClick);
    display->addWidget(P_VFWSettings);
    display->addWidget(P_EOSSettings);
    source->addWidget(GB_DisplaySettings);
    right->addWidget(GB_VideoSource);

    // The series.
    GB_Series = new QGroupBox(QStringLiteral("Image series"), P_Right);
    auto* series = new QVBoxLayout(GB_Series);
    series->addWidget(new QLabel(QStringLiteral("File path"), GB_Series));
    auto* pathRow = new QHBoxLayout;
    E_ImagePath = new QLineEdit(GB_Series);
    E_ImagePath->setReadOnly(true);
    BB_SetPath = new QPushButton(QStringLiteral("..."), GB_Series);
    BB_SetPath->setFixedWidth(30);
    pathRow->addWidget(E_ImagePath, 1);
    pathRow->addWidget(BB_SetPath);
    series->addLayout(pathRow);
    series->addWidget(new QLabel(QStringLiteral("Filename prefix"), GB_Series));
    E_Fileprefix = new QLineEdit(GB_Series);
    // The prefix is part of a file name: a separator would put pictures outside the folder.
    E_Fileprefix->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^/\\\\\\x{0}]*")), E_Fileprefix));
    series->addWidget(E_Fileprefix);
    BB_Grab = new QPushButton(QStringLiteral("Grab  F1"), GB_Series);
    BB_Grab->setMinimumHeight(48);
    series->addWidget(BB_Grab);
    BB_AddImage = new QPushButton(QStringLiteral("Add saved image(s)"), GB_Series);
    series->addWidget(BB_AddImage);
    BB_CreateJEX = new QPushButton(QStringLiteral("Create JEX4 project"), GB_Series);
    series->addWidget(BB_CreateJEX);

    VST = new QTreeWidget(GB_Series);
    VST->setColumnCount(2);
    VST->setHeaderLabels({QString(), QStringLiteral("Filename")});
    VST->header()->resizeSection(0, 180);
    VST->header()->setStretchLastSection(true);
    VST->setRootIsDecorated(false);
    VST->setUniformRowHeights(false);
    VST->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VST->setSelectionBehavior(QAbstractItemView::SelectRows);
    VST->setItemDelegate(new ThumbnailDelegate(VST));
    VST->setContextMenuPolicy(Qt::CustomContextMenu);
    VST->viewport()->setMouseTracking(true);
    VST->viewport()->installEventFilter(this);
    series->addWidget(VST, 1);
    SB = new QStatusBar(GB_Series);
    SB->setSizeGripEnabled(false);
    SB_Panel0 = new QLabel(QStringLiteral("0 Images grabbed"), SB);
    SB->addWidget(SB_Panel0);
    series->addWidget(SB);
    right->addWidget(GB_Series, 1);

    connect(BB_Grab, &QPushButton::clicked, this, &TF_CreateSeries::BB_GrabClick);
    connect(BB_AddImage, &QPushButton::clicked, this, &TF_CreateSeries::BB_AddImageClick);
    connect(BB_SetPath, &QPushButton::clicked, this, &TF_CreateSeries::BB_SetPathClick);
    connect(BB_CreateJEX, &QPushButton::clicked, this, &TF_CreateSeries::BB_CreateJEXClick);
    connect(E_Fileprefix, &QLineEdit::textChanged, this, &TF_CreateSeries::E_FileprefixChange);
    connect(VST, &QTreeWidget::itemDoubleClicked, this, [this] { VSTDblClick(); });
    // The buttons must not take Return as the dialog's default.
    for (QPushButton* b : P_Right->findChildren<QPushButton*>())
        b->setAutoDefault(false);
}

void TF_CreateSeries::createPopupMenu()
{
    PM_VST = new QMenu(this);
    M_DeleteImage = PM_VST->addAction(QStringLiteral("&Delete from disk"));
    M_DeleteAll = PM_VST->addAction(QStringLiteral("Delete &all from disk"));
    PM_VST->addSeparator();
    M_ClearList = PM_VST->addAction(QStringLiteral("Clear list"));
    connect(M_DeleteImage, &QAction::triggered, this, &TF_CreateSeries::M_DeleteImageClick);
    connect(M_DeleteAll, &QAction::triggered, this, &TF_CreateSeries::M_DeleteAllClick);
    connect(M_ClearList, &QAction::triggered, this, &TF_CreateSeries::M_ClearListClick);
    connect(VST, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PM_VSTPopup();
        PM_VST->popup(VST->viewport()->mapToGlobal(pos));
    });
}

void TF_CreateSeries::updateActions()
{
    BB_Grab->setEnabled(!E_Fileprefix->text().isEmpty());
    BB_CreateJEX->setEnabled(!Series.empty());
    PM_VSTPopup();
}

// ---- naming ----

QString TF_CreateSeries::SeriesFolder() const
{
    return E_ImagePath->text();
}

QString TF_CreateSeries::SeriesPrefix() const
{
    return E_Fileprefix->text();
}

QString TF_CreateSeries::NextFileName() const
{
    QSet<QString> taken;
    for (const auto& e : Series)
        taken.insert(fileKey(e->FileName));
    for (int n = int(Series.size()) + 1;; ++n) {
        const QString name = SeriesFileName(SeriesFolder(), SeriesPrefix(), n);
        if (!QFileInfo::exists(name) && !taken.contains(fileKey(name)))
            return name;
    }
}

bool TF_CreateSeries::InSeriesFolder(const QString& fileName) const
{
    return fileKey(QFileInfo(fileName).absolutePath()) == fileKey(SeriesFolder());
}

// ---- list ----

void TF_CreateSeries::refreshList(bool countChanged)
{
    QSet<const TImago*> selected;
    for (const TImago* e : SelectedEntries())
        selected.insert(e);
    VST->clear();
    QList<QTreeWidgetItem*> items;
    for (const auto& e : Series) {
        auto* item = new QTreeWidgetItem;
        item->setData(0, EntryRole, QVariant::fromValue(quintptr(e.get())));
        item->setData(0, ThumbnailRole, e->Thumbnail);
        item->setText(1, ExtractFileName(e->FileName));
        item->setToolTip(1, e->FileName);
        items << item;
    }
    VST->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items)
        if (selected.contains(reinterpret_cast<const TImago*>(item->data(0, EntryRole).value<quintptr>())))
            item->setSelected(true);
    if (countChanged)
        SB_Panel0->setText(QString::number(Series.size()) + QStringLiteral(" images grabbed"));
    updateActions();
}

void TF_CreateSeries::appendEntry(std::unique_ptr<TImago> entry)
{
    Series.push_back(std::move(entry));
    refreshList();
    if (QTreeWidgetItem* last = VST->topLevelItem(VST->topLevelItemCount() - 1))
        VST->scrollToItem(last);
}

std::vector<TImago*> TF_CreateSeries::SelectedEntries() const
{
    std::vector<TImago*> result;
    for (int i = 0; i < VST->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = VST->topLevelItem(i);
        if (item->isSelected())
            result.push_back(reinterpret_cast<TImago*>(item->data(0, EntryRole).value<quintptr>()));
    }
    return result;
}

void TF_CreateSeries::removeEntries(const std::function<bool(const TImago&)>& drop)
{
    Series.erase(std::remove_if(Series.begin(), Series.end(), [&drop](const auto& e) { return drop(*e); }),
                 Series.end());
}

bool TF_CreateSeries::askForeign(const std::vector<TImago*>& foreign, const QString& question)
{
    const QString text = QString::number(foreign.size())
                         + QStringLiteral(" of the images are stored outside the series folder:\r\n")
                         + nameList(foreign) + QStringLiteral("\r\n\r\n") + question;
    return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes;
}

void TF_CreateSeries::ClearSeries(bool DeleteFiles, bool DeleteForeign)
{
    if (DeleteFiles) {
        for (const auto& e : Series) {
            if (!DeleteForeign && !InSeriesFolder(e->FileName))
                continue;
            if (QFileInfo::exists(e->FileName) && !QFile::remove(e->FileName))
                TF_ErrorLog::AddLog(3, QStringLiteral("Could not delete ") + e->FileName);
        }
    }
    Series.clear();
    refreshList();
}

int TF_CreateSeries::AddSavedImages(const QStringList& files)
{
    int added = 0;
    for (const QString& file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        // One file in two entries would be deleted or moved under the other's feet.
        const QString key = fileKey(path);
        if (std::any_of(Series.begin(), Series.end(), [&key](const auto& e) { return fileKey(e->FileName) == key; })) {
            TF_ErrorLog::AddLog(3, path + QStringLiteral(" is in the series already"));
            continue;
        }
        QString error;
        QImage thumb;
        if (!QFileInfo(path).isFile()) {
            TF_ErrorLog::Error(QStringLiteral("Error loading image ") + path + QStringLiteral("!\r\n\r\nThis is not a file."), true);
            break;
        }
        {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            thumb = SeriesThumbnailOfFile(path, &error);
            QApplication::restoreOverrideCursor();
        }
        if (thumb.isNull()) {
            TF_ErrorLog::Error(QStringLiteral("Error loading image ") + path + QStringLiteral("!\r\n\r\n") + error, true);
            break;
        }
        ProjectSaved = false;
        auto entry = std::make_unique<TImago>();
        entry->FileName = path;
        entry->Thumbnail = thumb;
        appendEntry(std::move(entry));
        ++added;
    }
    return added;
}

void TF_CreateSeries::RenumberSeries()
{
    const QString folder = SeriesFolder();
    const QString prefix = SeriesPrefix();
    struct Move {
        TImago* entry;
        QString from, to, temp;
        bool foreign;
    };
    std::vector<Move> moves;
    std::vector<TImago*> foreign;
    for (size_t i = 0; i < Series.size(); ++i) {
        TImago* e = Series[i].get();
        const QString to = SeriesFileName(folder, prefix, int(i) + 1);
        if (fileKey(e->FileName) == fileKey(to))
            continue;
        const bool outside = !InSeriesFolder(e->FileName);
        moves.push_back({e, e->FileName, to, QString(), outside});
        if (outside)
            foreign.push_back(e);
    }
    if (moves.empty())
        return;
    if (!IsSafeSeriesPrefix(prefix)) {
        TF_ErrorLog::Error(QStringLiteral("The filename prefix ") + prefix
                               + QStringLiteral(" names another folder. The images keep their names."),
                           true);
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        TF_ErrorLog::Error(QStringLiteral("The series folder ") + folder
                               + QStringLiteral(" does not exist. The images keep their names."),
                           true);
        return;
    }
    if (!foreign.empty()
        && !askForeign(foreign, QStringLiteral("Move them into the series folder and give them their series names?")))
        moves.erase(std::remove_if(moves.begin(), moves.end(), [](const Move& m) { return m.foreign; }), moves.end());

    // Two steps: every file first leaves its name for a private one, so names that swap places
    // within the list never meet an occupied name. Nothing is ever written over; an entry whose
    // move fails keeps the name of the file that holds its picture.
    QStringList failed;
    for (Move& m : moves) {
        const QString temp = SeriesFileName(folder, prefix + QStringLiteral("~renumber-")
                                                        + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('-'),
                                            0);
        if (QFile::rename(m.from, temp))
            m.temp = temp;
        else
            failed << m.from;
    }
    for (Move& m : moves) {
        if (m.temp.isEmpty())
            continue;
        if (!QFileInfo::exists(m.to) && QFile::rename(m.temp, m.to)) {
            m.entry->FileName = m.to;
            continue;
        }
        // The series name is held by a file outside the list: back to the old name if it is free.
        m.entry->FileName = QFile::rename(m.temp, m.from) ? m.from : m.temp;
        failed << m.from;
    }
    if (!failed.isEmpty())
        reportFiles(QStringLiteral("These images could not be renumbered and keep their file names"), failed);
}

// ---- handlers ----

void TF_CreateSeries::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TF_CreateSeries::FormShow()
{
    SB_VFW->clearMessage();
    SB_EOS->clearMessage();
    CreateSeriesValues values;
    LoadCreateSeriesSettings(values);
    ApplyPlacement(this, values.Placement);
    E_ImagePath->setText(values.LastPath);
    CB_Crosshairs->setChecked(values.CrossHairsVisible);
    CPB_Crosshairs->setColor(values.CrossHairsColor);
    CPB_CrosshairsChange(); // also when the colour stayed: the lines take it
    EOS_Zoom = VfW_Zoom = 100;
    {
        const QSignalBlocker quiet(TB);
        TB->setValue(100);
    }
    EOS_IMG->setScale(1.0);
    VFW_IMG->setScale(1.0);
    S_100->setStyleSheet(QStringLiteral("background: #00FF00"));
    ProjectSaved = true;
    m_closing = false;
    BB_ChangeCamera->setEnabled(!F_SelectCamera.isNull());
    refreshList(false);
    SetCameraType();
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);
}

void TF_CreateSeries::SetCameraType()
{
    I_CameraActive->clear();
    switch (ActiveCameraType) {
    case -1:
        PCE->setCurrentWidget(TS_NoActive);
        if (F_SelectCamera)
            I_CameraActive->setPixmap(F_SelectCamera->IL_CameraTypes[3].pixmap(32, 32));
        L_CameraActive->setText(QStringLiteral("not connected"));
        P_VFWSettings->hide();
        P_EOSSettings->hide();
        break;
    case 1:
        PCE->setCurrentWidget(TS_CanonEOS);
        if (F_SelectCamera)
            I_CameraActive->setPixmap(F_SelectCamera->IL_CameraTypes[0].pixmap(32, 32));
        L_CameraActive->setText(CameraConnectInfo.CameraModelName);
        EOS_CP = QPoint(EOS_IMG->viewport()->width() / 2, EOS_IMG->viewport()->height() / 2);
        TB->setValue(100);
        if (F_SelectCamera)
            F_SelectCamera->Canon_Connect();
        P_VFWSettings->hide();
        P_EOSSettings->show();
        break;
    case 3:
        PCE->setCurrentWidget(TS_VFW);
        if (F_SelectCamera) {
            I_CameraActive->setPixmap(F_SelectCamera->IL_CameraTypes[2].pixmap(32, 32));
            L_CameraActive->setText(F_SelectCamera->CB_VFWDevices->currentText());
        }
        VfW_CP = QPoint(VFW_IMG->viewport()->width() / 2, VFW_IMG->viewport()->height() / 2);
        if (F_SelectCamera)
            F_SelectCamera->VfW_Connect();
        TB->setValue(100);
        VFW_RefreshCrosshairs();
        P_VFWSettings->show();
        P_EOSSettings->hide();
        break;
    default:
        break;
    }
}

bool TF_CreateSeries::FormCloseQuery()
{
    if (ProjectSaved)
        return true;
    return MessageDlg(QStringLiteral("There was no JEX project created yet!\r\nContinue without creating a project?"),
                      mtConfirmation, TMsgDlgButtons{mbYes, mbCancel})
           == mrYes;
}

void TF_CreateSeries::FormClose()
{
    CreateSeriesValues values;
    TakePlacement(this, values.Placement);
    values.LastPath = E_ImagePath->text();
    values.CrossHairsColor = CrossHairsColor;
    values.CrossHairsVisible = CB_Crosshairs->isChecked();
    SaveCreateSeriesSettings(values);
    ClearSeries(false);
    // The source stops with the window: the camera is disconnected, the video stopped.
    if (F_SelectCamera) {
        F_SelectCamera->Canon_Disconnect();
        F_SelectCamera->VfW_Disconnect();
    } else {
        CameraCall([this] {
            CamRemote->Disconnect();
            CamRemote->CloseCameraEnumeration();
        });
        VideoStop();
    }
}

void TF_CreateSeries::reject()
{
    if (m_closing)
        return;
    if (!FormCloseQuery())
        return;
    m_closing = true;
    FormClose();
    QDialog::reject();
    m_closing = false;
}

bool TF_CreateSeries::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_built) // children being made send events before all of them exist
        return QDialog::eventFilter(watched, event);
    // Moving the mouse over the list gives it the focus, so the wheel and keys go to it.
    if (watched == VST->viewport() && event->type() == QEvent::MouseMove && !VST->hasFocus())
        VST->setFocus();
    const bool eos = watched == EOS_IMG->viewport();
    if (eos || watched == VFW_IMG->viewport()) {
        switch (event->type()) {
        case QEvent::MouseMove:
            viewMouseMove(eos, static_cast<QMouseEvent*>(event));
            break;
        case QEvent::MouseButtonPress:
            viewMouseDown(eos, static_cast<QMouseEvent*>(event));
            break;
        case QEvent::Wheel:
            FormMouseWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
            return true;
        default:
            break;
        }
    }
    if ((watched == S_100 || watched == L_100) && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        TB->setValue(100);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TF_CreateSeries::wheelEvent(QWheelEvent* event)
{
    FormMouseWheel(event->angleDelta().y());
    event->accept();
}

void TF_CreateSeries::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (BB_Grab->isEnabled())
            BB_GrabClick();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TF_CreateSeries::BB_GrabClick()
{
    // Pictures come from a connected camera (1) or video device (3); any other source takes
    // nothing and leaves the list as it is.
    if (ActiveCameraType != 1 && ActiveCameraType != 3)
        return;
    ProjectSaved = false;
    if (ActiveCameraType == 1) {
        // The picture arrives with the camera's release event.
        CameraCall([this] { CamRemote->RemoteTakePicture(); });
        return;
    }
    VFW_GrabImage();
}

int TF_CreateSeries::VFW_GrabImage()
{
    // A frozen picture of a video that stopped is not what the user means to take.
    if (!VideoRunning()) {
        TF_ErrorLog::Error(QStringLiteral("The video source is not running."), true);
        return -1;
    }
    if (VFW_Bitmap.isNull()) {
        TF_ErrorLog::Error(QStringLiteral("The video source has not delivered a picture yet."), true);
        return -1;
    }
    const QString target = NextFileName();
    TFastDIB frame;
    if (!BitmapToDIB(VFW_Bitmap.convertToFormat(QImage::Format_RGB888), frame)) {
        TF_ErrorLog::Error(QStringLiteral("Out of memory while grabbing the video picture."), true);
        return -1;
    }
    std::unique_ptr<TFastDIB> crop = VFW_CropImage(frame);
    if (!crop) {
        TF_ErrorLog::Error(QStringLiteral("The frame does not cover any part of the video picture."), true);
        return -1;
    }
    TFastJPG writer;
    writer.AttachImage(crop.get());
    writer.Props.Quality = 100;
    if (writer.SaveFile(target) != 0) {
        TF_ErrorLog::Error(QStringLiteral("Error saving image ") + target + QStringLiteral("!\r\n\r\n") + writer.lastError(), true);
        return -1;
    }
    QImage picture;
    DIBToBitmap(*crop, picture);
    auto entry = std::make_unique<TImago>();
    entry->FileName = target;
    entry->Thumbnail = SeriesThumbnail(picture);
    appendEntry(std::move(entry));
    return 0;
}

void TF_CreateSeries::CamRemoteRemoteEvent(RemoteEventCallbackType Event, const AdditionNotifyRemoteEventType&)
{
    if (Event != RemoteEventCallbackReleaseComplete && Event != RemoteEventCallbackReleaseImageReady)
        return;
    const QString target = NextFileName();
    if (!IsSafeSeriesPrefix(SeriesPrefix()) || !QFileInfo(SeriesFolder()).isDir()) {
        TF_ErrorLog::Error(QStringLiteral("The series folder ") + SeriesFolder()
                               + QStringLiteral(" does not exist. The picture stays on the camera."),
                           true);
        return;
    }
    if (!UseFrame) {
        if (!CameraCall([this, &target] { CamRemote->RemoteGetPicture(target, PictureTypeFull); }))
            return;
    } else {
        // The whole picture comes to a private temporary file first and only its crop goes into
        // the series.
        const QString temp = GetTempFolder();
        if (temp.isEmpty()) {
            TF_ErrorLog::Error(QStringLiteral("No temporary folder for the camera picture. The picture stays on the camera."), true);
            return;
        }
        const QString downloaded = temp + QStringLiteral("JEX4_EOSCapture.jpg");
        if (!CameraCall([this, &downloaded] { CamRemote->RemoteGetPicture(downloaded, PictureTypeFull); }))
            return;
        if (EOS_SaveCropped(downloaded, target) != 0) {
            TF_ErrorLog::Error(QStringLiteral("Error saving image ") + target
                                   + QStringLiteral("!\r\n\r\nThe camera picture could not be cropped to the frame."),
                               true);
            return;
        }
    }
    ProjectSaved = false;
    auto entry = std::make_unique<TImago>();
    entry->FileName = target;
    EOS_GrabImage(*entry);
    if (entry->Thumbnail.isNull())
        return;
    appendEntry(std::move(entry));
}

int TF_CreateSeries::EOS_GrabImage(TImago& AnImago)
{
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    AnImago.Thumbnail = SeriesThumbnailOfFile(AnImago.FileName, &error);
    QApplication::restoreOverrideCursor();
    if (AnImago.Thumbnail.isNull()) {
        TF_ErrorLog::Error(QStringLiteral("Error loading image ") + AnImago.FileName + QStringLiteral("!\r\n\r\n") + error, true);
        return -1;
    }
    return 0;
}

void TF_CreateSeries::BB_AddImageClick()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Add JPEG images");
    request.filter = QStringLiteral("JPEG files|*.jpg");
    if (QFileInfo(SeriesFolder()).isDir())
        request.initialDir = SeriesFolder();
    const FileDialogAnswer answer = dialogs().openFiles(request);
    if (!answer.accepted)
        return;
    AddSavedImages(answer.fileNames);
}

void TF_CreateSeries::BB_SetPathClick()
{
    const QString current = SeriesFolder();
    const QString chosen =
        dialogs().selectDirectory(QStringLiteral("Select folder"), QFileInfo(current).isDir() ? current : QString());
    if (!chosen.isEmpty())
        E_ImagePath->setText(chosen);
}

void TF_CreateSeries::E_FileprefixChange()
{
    BB_Grab->setEnabled(!E_Fileprefix->text().isEmpty());
}

void TF_CreateSeries::CB_FrameClick()
{
    UseFrame = CB_Frame->isChecked();
    const QString hint = UseFrame ? FrameHint : QString();
    SB_EOS_Panel1->setText(hint);
    SB_VFW_Panel1->setText(hint);
}

void TF_CreateSeries::CB_EOSViewFinderClick()
{
    // The live view shows on the camera's own screen too while ticked.
    const RemoteViewFinderOutputType output =
        CB_EOSViewFinder->isChecked() ? RemoteViewFinderOutputLCD : RemoteViewFinderOutputOff;
    CameraCall([this, output] { CamRemote->RemoteSetViewfinderOutput(output); });
}

void TF_CreateSeries::PM_VSTPopup()
{
    M_DeleteImage->setEnabled(!SelectedEntries().empty());
    M_DeleteAll->setEnabled(!Series.empty());
    M_ClearList->setEnabled(!Series.empty());
}

void TF_CreateSeries::VSTDblClick()
{
    const std::vector<TImago*> selected = SelectedEntries();
    if (selected.empty())
        return;
    const QString file = selected.front()->FileName;
    // The preview's own step buttons come back here: the open preview just shows the next file.
    if (F_SeriesPreview && F_SeriesPreview->isVisible()) {
        F_SeriesPreview->Reload(file);
        return;
    }
    if (!F_SeriesPreview)
        F_SeriesPreview = new TF_SeriesPreview(nullptr);
    QPointer<TF_SeriesPreview> preview = F_SeriesPreview;
    preview->Reload(file);
    if (preview)
        preview->exec(); // frees itself when closed
    F_SeriesPreview = nullptr;
}

void TF_CreateSeries::M_DeleteImageClick()
{
    ProjectSaved = false;
    const std::vector<TImago*> selected = SelectedEntries();
    if (selected.empty())
        return;
    if (MessageDlg(QStringLiteral("Delete selected images?"), mtConfirmation, mbYesNo) == mrNo)
        return;
    deleteEntries(selected);
    RenumberSeries();
    refreshList();
}

void TF_CreateSeries::deleteEntries(const std::vector<TImago*>& entries)
{
    std::vector<TImago*> foreign;
    for (TImago* e : entries)
        if (!InSeriesFolder(e->FileName))
            foreign.push_back(e);
    const bool deleteForeign =
        foreign.empty()
        || askForeign(foreign, QStringLiteral("Delete these files from disk too?\r\n"
                                              "(No takes them off the list and keeps the files.)"));
    const QSet<const TImago*> chosen(entries.begin(), entries.end());
    QStringList failed;
    removeEntries([&](const TImago& e) {
        if (!chosen.contains(&e))
            return false;
        if (!deleteForeign && !InSeriesFolder(e.FileName))
            return true;
        if (!QFileInfo::exists(e.FileName) || QFile::remove(e.FileName))
            return true;
        failed << e.FileName; // still names its picture: it stays
        return false;
    });
    if (!failed.isEmpty())
        reportFiles(QStringLiteral("These images could not be deleted and stay in the list"), failed);
}

void TF_CreateSeries::M_DeleteAllClick()
{
    if (MessageDlg(QStringLiteral("Clear series and delete images on disk?"), mtConfirmation, mbYesNo) == mrNo)
        return;
    std::vector<TImago*> foreign;
    for (const auto& e : Series)
        if (!InSeriesFolder(e->FileName))
            foreign.push_back(e.get());
    const bool deleteForeign =
        foreign.empty()
        || askForeign(foreign, QStringLiteral("Delete these files from disk too?\r\n(No keeps them on disk.)"));
    ClearSeries(true, deleteForeign);
}

void TF_CreateSeries::M_ClearListClick()
{
    if (MessageDlg(QStringLiteral("Clear series and keep images on disk?"), mtConfirmation, mbYesNo) == mrNo)
        return;
    ClearSeries(false);
}

void TF_CreateSeries::BB_CreateJEXClick()
{
    // Loading processes events: a second click meanwhile must not make a second project.
    if (Series.empty() || m_creating)
        return;
    QStringList files;
    QStringList missing;
    for (const auto& e : Series) {
        files << e->FileName;
        if (!QFileInfo(e->FileName).isFile())
            missing << e->FileName;
    }
    // A project without some of its pictures is not what the list promised; the list stays.
    if (!missing.isEmpty()) {
        reportFiles(QStringLiteral("These images of the series are missing, no project was created"), missing);
        return;
    }

    QPointer<TF_CreateSeries> self(this);
    m_creating = true;
    struct Done {
        QPointer<TF_CreateSeries> window;
        ~Done()
        {
            if (window)
                window->m_creating = false;
        }
    } done{self};
    QPointer<TF_SMDI> w = CreateImageWindow();
    if (F_Main)
        F_Main->UpdateProjectList();
    QCoreApplication::processEvents();
    if (!self || !w)
        return;
    if (F_Measurements)
        F_Measurements->FillMeasurements(w, false);
    w->UpdateArea();
    w->FitToScreen();
    w->SmoothDraw(true);
    w->SetCaption();
    if (F_Main)
        F_Main->SetCaption();

    w->LoadMultiImages(files);
    if (!self)
        return;
    if (!w) {
        TF_ErrorLog::AddLog(0, QStringLiteral("The image window of the series was closed while loading"));
        return;
    }
    if (F_Measurements)
        F_Measurements->FillMeasurements(w, false);
    w->UpdateArea();
    w->FitToScreen();
    w->SmoothDraw(true);
    w->SetCaption();
    // The loader has reported a picture it could not read; the list stays for another try.
    if (w->StitchList.size() != size_t(files.size()))
        return;
    ProjectSaved = true;
    close();
}

// ---- live view ----

void TF_CreateSeries::SetCamRemote(TCamRemote* cam)
{
    if (CamRemote && CamRemote != cam)
        delete CamRemote;
    CamRemote = cam;
    if (!cam)
        return;
    cam->setParent(this);
    cam->setEOSViewfinderRefreshInterval(50);
    QPointer<TF_CreateSeries> self(this);
    cam->setOnRemoteEvent([self](RemoteEventCallbackType Event, const AdditionNotifyRemoteEventType& EventData) {
        if (self)
            self->CamRemoteRemoteEvent(Event, EventData);
    });
    cam->setOnEvent([self](const EventCallbackType& Event) {
        if (self)
            self->CamRemoteEvent(Event);
    });
    cam->setOnViewfinderEvent([self](const QByteArray& Jpegdata, const ViewfinderPositionType& Metadata) {
        if (self)
            self->CamRemoteViewfinderEvent(Jpegdata, Metadata);
    });
}

QStringList TF_CreateSeries::VideoDevices()
{
    QStringList devices;
    VFW->GetListOfDevices(devices);
    return devices;
}

bool TF_CreateSeries::VideoStart(const QString& device)
{
    // A device that cannot start is reported by the frame source itself.
    const bool started = VFW->VideoStart(device) == 0;
    VFW_RefreshCrosshairs();
    return started;
}

void TF_CreateSeries::VideoStop()
{
    VFW->VideoStop();
    VFW_RefreshCrosshairs();
}

void TF_CreateSeries::CamRemoteEvent(const EventCallbackType& Event)
{
    const bool gone = Event.Event == EventConnectionDisappeared || Event.Event == EventRemoteShutdownReasonNotKnown
                      || Event.Event == EventUnrecoverableError;
    if (!gone || CamRemote->CameraInfo().CameraModel == CamModNone)
        return;
    // The camera went away: the connection is closed so the live view stops asking it, and the
    // pictures taken so far stay.
    CameraCall([this] { CamRemote->Disconnect(); });
    TF_ErrorLog::Error(QStringLiteral("The camera was disconnected.\r\nThe pictures grabbed so far stay in the series; "
                                      "connect the camera and choose it again with Change."),
                       true);
}

bool TF_CreateSeries::VideoRunning() const
{
    return VFW && VFW->VideoRunning();
}

void TF_CreateSeries::VFW_NewFrame(TVideoImage* Sender, int, int, const quint8*)
{
    QImage frame;
    Sender->GetBitmap(frame);
    ShowVideoFrame(frame);
}

void TF_CreateSeries::BB_VFWImageSettingsClick()
{
    if (VideoRunning())
        VFW->ShowProperty();
}

void TF_CreateSeries::BB_VWFStreamSettingsClick()
{
    if (VideoRunning())
        VFW->ShowProperty_Stream();
}

void TF_CreateSeries::B_EOSCameraSettingsClick()
{
    QPointer<TF_EOSCameraSettings> dialog = new TF_EOSCameraSettings(this);
    F_EOSCameraSettings = dialog;
    dialog->CamRemote = CamRemote;
    dialog->exec();
    delete dialog.data();
}

void TF_CreateSeries::BB_ChangeCameraClick()
{
    if (!F_SelectCamera)
        return;
    F_SelectCamera->exec(); // shown as it was left; its answer is the type it holds
    if (!F_SelectCamera)
        return;
    ActiveCameraType = F_SelectCamera->ActiveCameraType;
    SetCameraType();
}

void TF_CreateSeries::CamRemoteViewfinderEvent(const QByteArray& Jpegdata, const ViewfinderPositionType&)
{
    // Showing processes events, so the next picture can arrive meanwhile: it is dropped.
    if (ProcessEOSViewFinderEvent)
        return;
    QPointer<TF_CreateSeries> self(this);
    ProcessEOSViewFinderEvent = true;
    struct Clear {
        QPointer<TF_CreateSeries> w;
        ~Clear()
        {
            if (w)
                w->ProcessEOSViewFinderEvent = false;
        }
    } clear{self};
    QCoreApplication::processEvents();
    if (!self)
        return;

    TFastDIB dib;
    TFastJPG jpg;
    jpg.AttachImage(&dib);
    QImage picture;
    if (jpg.LoadMem(reinterpret_cast<const quint8*>(Jpegdata.constData()), Jpegdata.size()) == 0)
        picture = dibPicture(dib).convertToFormat(QImage::Format_RGB32); // a grey JPEG comes as 8 bits
    QCoreApplication::processEvents();
    if (!self)
        return;
    if (picture.isNull()) {
        // A damaged live picture is skipped; the next one comes within the refresh interval.
        TF_ErrorLog::AddLog(3, QStringLiteral("Live view picture not readable: ") + jpg.lastError());
    } else {
        if (UseFrame)
            ShadeOutsideFrame(picture, Frame);
        EOSViewSize = picture.size();
        EOS_IMG->setBitmap(picture);
    }
    QCoreApplication::processEvents();
    if (!self)
        return;
    ProcessEOSViewFinderEvent = false;
    EOS_RefreshCrosshairs();
}

void TF_CreateSeries::ShowVideoFrame(const QImage& frame)
{
    VFW_Bitmap = frame;
    QImage shown = frame.convertToFormat(QImage::Format_RGB32);
    if (UseFrame)
        ShadeOutsideFrame(shown, Frame);
    VFW_IMG->setBitmap(shown);
    VFW_RefreshCrosshairs();
}

void TF_CreateSeries::refreshCrosshairs(TImgView32* view, QWidget* h, QWidget* v, const QPoint& centre,
                                        const QSize& length, bool visible)
{
    h->setVisible(visible);
    v->setVisible(visible);
    if (!visible)
        return;
    // Control pixels: the lines stay where they were put whatever the zoom.
    h->setGeometry(0, centre.y(), length.width(), 2);
    v->setGeometry(centre.x(), 0, 2, length.height());
    h->raise();
    v->raise();
    Q_UNUSED(view);
}

void TF_CreateSeries::EOS_RefreshCrosshairs()
{
    refreshCrosshairs(EOS_IMG, EOS_S_H, EOS_S_V, EOS_CP, EOS_IMG->viewport()->size(), CB_Crosshairs->isChecked());
}

void TF_CreateSeries::VFW_RefreshCrosshairs()
{
    // The device's own settings need a running video.
    BB_VFWImageSettings->setEnabled(VideoRunning());
    BB_VWFStreamSettings->setEnabled(VideoRunning());
    // The lines span the view, as the camera's do: a frame smaller than the view would cut them
    // short of the picture's edges once it is centred.
    refreshCrosshairs(VFW_IMG, VFW_S_H, VFW_S_V, VfW_CP, VFW_IMG->viewport()->size(),
                      CB_Crosshairs->isChecked() && VideoRunning());
}

void TF_CreateSeries::CPB_CrosshairsChange()
{
    CrossHairsColor = CPB_Crosshairs->color();
    const QColor colour = TColorPickerButton::toQColor(CrossHairsColor);
    for (QWidget* line : {EOS_S_H, EOS_S_V, VFW_S_H, VFW_S_V, P_IS_H, P_IS_V}) {
        QPalette pal = line->palette();
        pal.setColor(QPalette::Window, colour);
        line->setPalette(pal);
    }
    EOS_RefreshCrosshairs();
    VFW_RefreshCrosshairs();
}

void TF_CreateSeries::viewMouseMove(bool eos, QMouseEvent* event)
{
    TImgView32* view = eos ? EOS_IMG : VFW_IMG;
    QPoint& P = eos ? EOS_P : VfW_P;
    P = event->position().toPoint();
    P_Zoom->hide();
    const bool plain = event->modifiers() == Qt::NoModifier;
    if (plain && event->buttons() == Qt::LeftButton) {
        (eos ? EOS_CP : VfW_CP) = P;
        eos ? EOS_RefreshCrosshairs() : VFW_RefreshCrosshairs();
    }
    const QPointF at = view->ControlToBitmap(QPointF(P));
    const QPoint pixel(int(std::floor(at.x())), int(std::floor(at.y())));
    (eos ? SB_EOS_Panel0 : SB_VFW_Panel0)
        ->setText(QString::number(pixel.x()) + QLatin1Char('/') + QString::number(pixel.y()));
    if (plain && event->buttons() == Qt::RightButton && UseFrame) {
        // The corner fixed by the press stays; the pointer moves the opposite one, and the
        // rectangle stays ordered.
        const QPoint a = m_frameAnchor;
        Frame = QRect(QPoint(std::min(a.x(), pixel.x()), std::min(a.y(), pixel.y())),
                      QSize(std::abs(pixel.x() - a.x()), std::abs(pixel.y() - a.y())));
    }
}

void TF_CreateSeries::viewMouseDown(bool eos, QMouseEvent* event)
{
    if (event->modifiers() != Qt::NoModifier)
        return;
    if (event->buttons() == Qt::LeftButton) {
        (eos ? EOS_CP : VfW_CP) = eos ? EOS_P : VfW_P;
        eos ? EOS_RefreshCrosshairs() : VFW_RefreshCrosshairs();
    } else if (event->buttons() == Qt::RightButton) {
        const QPointF at = (eos ? EOS_IMG : VFW_IMG)->ControlToBitmap(event->position());
        const QPoint pixel(int(std::floor(at.x())), int(std::floor(at.y())));
        if (UseFrame) {
            m_frameAnchor = pixel;
            Frame = QRect(pixel, QSize(0, 0));
        }
    }
}

bool TF_CreateSeries::FormMouseWheel(int delta)
{
    if (VST->hasFocus() || delta == 0)
        return false;
    if (ActiveCameraType != 1 && ActiveCameraType != 3)
        return false;
    const bool eos = ActiveCameraType == 1;
    TB->setValue(eos ? EOS_Zoom : VfW_Zoom);
    TImgView32* view = eos ? EOS_IMG : VFW_IMG;
    const QPoint P = eos ? EOS_P : VfW_P;
    P_Zoom->move(view->viewport()->mapTo(this, P) - QPoint(10, 10));
    P_Zoom->raise();
    P_Zoom->show();
    TB->setValue(TB->value() + (delta < 0 ? -1 : 1));
    view->setScale(TB->value() / 100.0);
    T_Zoom->start();
    return true;
}

void TF_CreateSeries::TBChange()
{
    const int position = TB->value();
    S_100->setStyleSheet(position == 100 ? QStringLiteral("background: #00FF00") : QStringLiteral("background: white"));
    if (ActiveCameraType == 1) {
        ZoomTimer = 0;
        EOS_IMG->setScale(position / 100.0);
        EOS_Zoom = position;
    } else if (ActiveCameraType == 3) {
        ZoomTimer = 0;
        VFW_IMG->setScale(position / 100.0);
        VfW_Zoom = position;
        VFW_RefreshCrosshairs();
    }
}

void TF_CreateSeries::T_ZoomTimer()
{
    if (++ZoomTimer > 10) {
        ZoomTimer = 0;
        P_Zoom->hide();
    }
}

// ---- cropping ----

std::unique_ptr<TFastDIB> TF_CreateSeries::EOS_CropImage(const TFastDIB& picture) const
{
    return CropPicture(picture, SeriesCropRect(Frame, EOSViewSize, QSize(picture.Info.Header.Width, picture.AbsHeight)));
}

std::unique_ptr<TFastDIB> TF_CreateSeries::VFW_CropImage(const TFastDIB& frame) const
{
    const QSize size(frame.Info.Header.Width, frame.AbsHeight);
    // The live view shows the frame itself, so the crop is the frame rectangle as drawn.
    return CropPicture(frame, UseFrame ? SeriesCropRect(Frame, size, size) : QRect(QPoint(0, 0), size));
}

int TF_CreateSeries::EOS_SaveCropped(const QString& downloaded, const QString& target)
{
    TFastDIB picture;
    TFastJPG reader;
    reader.AttachImage(&picture);
    if (reader.LoadFile(downloaded) != 0) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Error loading image ") + downloaded + QStringLiteral(": ")
                                   + reader.lastError());
        return -1;
    }
    std::unique_ptr<TFastDIB> crop = EOS_CropImage(picture);
    if (!crop) {
        TF_ErrorLog::AddLog(0, QStringLiteral("The frame does not cover any part of ") + downloaded);
        return -1;
    }
    TFastJPG writer;
    writer.AttachImage(crop.get());
    writer.Props.Quality = 90;
    if (writer.SaveFile(target) != 0) {
        TF_ErrorLog::AddLog(0, writer.lastError());
        return -1;
    }
    return 0;
}

// ---- the main window's command ----

void TF_Main::A_CreateSeriesExecute()
{
    if (!F_SelectCamera)
        F_SelectCamera = new TF_SelectCamera(this);
    if (!F_CreateSeries)
        F_CreateSeries = new TF_CreateSeries(F_SelectCamera);
    // The wizard starts at its first page and scans the cameras again.
    F_SelectCamera->PCE->setCurrentWidget(F_SelectCamera->TS_1);
    F_SelectCamera->Tag = 1;
    if (F_SelectCamera->exec() != QDialog::Accepted)
        return;
    if (!F_CreateSeries)
        return;
    F_CreateSeries->ActiveCameraType = F_SelectCamera->ActiveCameraType;
    F_CreateSeries->exec();
}
