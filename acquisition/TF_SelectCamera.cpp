#include "acquisition/TF_SelectCamera.h"

#include "acquisition/CanonEOS_Varia.h"
#include "acquisition/TF_CreateSeries.h"
#include "platform/Dialogs.h"
#include "shell/TF_Progress2.h"
#include "shell/TPageControlEx.h"
#include "TCamRemote/Sources/CamRemote.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <memory>

QPointer<TF_SelectCamera> F_SelectCamera;

namespace {

// The pictures of the source types, drawn here: a camera, a second camera, a video camera and a
// crossed-out lens for no source.
QIcon sourcePicture(int kind)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = kind == 1 ? QColor(90, 110, 140) : QColor(40, 40, 40);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.setBrush(body);
    switch (kind) {
    case 0:
    case 1:
        p.drawRoundedRect(QRectF(6, 18, 52, 34), 5, 5);
        p.drawRect(QRectF(22, 11, 20, 8));
        p.setBrush(QColor(200, 200, 210));
        p.drawEllipse(QPointF(32, 35), 11, 11);
        p.setBrush(QColor(30, 60, 110));
        p.drawEllipse(QPointF(32, 35), 6, 6);
        break;
    case 2:
        p.drawRoundedRect(QRectF(4, 20, 40, 28), 4, 4);
        p.drawPolygon(QPolygonF({QPointF(44, 28), QPointF(60, 20), QPointF(60, 48), QPointF(44, 40)}));
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QPointF(12, 27), 3, 3);
        break;
    default:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(120, 120, 120), 4));
        p.drawEllipse(QPointF(32, 32), 22, 22);
        p.setPen(QPen(QColor(200, 30, 30), 5));
        p.drawLine(QPointF(14, 50), QPointF(50, 14));
        break;
    }
    return QIcon(pixmap);
}

QLabel* pictureLabel(const QIcon& icon, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFixedSize(64, 64);
    l->setPixmap(icon.pixmap(64, 64));
    return l;
}

TCamRemote* camera()
{
    return F_CreateSeries ? F_CreateSeries->CamRemote : nullptr;
}

// The busy box of a scan; it goes when this goes, also on failure.
std::unique_ptr<TF_Progress2> searching(QWidget* owner)
{
    std::unique_ptr<TF_Progress2> busy(new TF_Progress2(owner));
    F_Progress2 = busy.get();
    busy->L_Info->setText(QStringLiteral("Searching for camera..."));
    busy->Button1->hide(); // a scan cannot be cut short
    busy->show();
    QCoreApplication::processEvents();
    busy->repaint();
    return busy;
}

} // namespace

TF_SelectCamera::TF_SelectCamera(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Select camera"));
    for (int i = 0; i < 4; ++i)
        IL_CameraTypes.push_back(sourcePicture(i));

    PCE = new TPageControlEx(this);
    createTypePage();
    createCanonPage();
    createISPage();
    createVfWPage();
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);
    PCE->setCurrentWidget(TS_1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PCE);
    resize(420, 330);

    F_CreateSeries = new TF_CreateSeries(this);
}

TF_SelectCamera::~TF_SelectCamera() = default;

void TF_SelectCamera::createTypePage()
{
    TS_1 = new QWidget;
    auto* l = new QVBoxLayout(TS_1);
    l->addWidget(new QLabel(QStringLiteral("Please select your camera type"), TS_1));
    auto* grid = new QGridLayout;
    RB_Canon = new QRadioButton(QStringLiteral("Canon EOS"), TS_1);
    RB_IS = new QRadioButton(QStringLiteral("Imaging Source"), TS_1);
    RB_VfW = new QRadioButton(QStringLiteral("Video4Linux"), TS_1);
    I_Canon = pictureLabel(IL_CameraTypes[0], TS_1);
    I_IS = pictureLabel(IL_CameraTypes[1], TS_1);
    I_VfW = pictureLabel(IL_CameraTypes[2], TS_1);
    grid->addWidget(I_Canon, 0, 0);
    grid->addWidget(RB_Canon, 0, 1);
    grid->addWidget(I_IS, 1, 0);
    grid->addWidget(RB_IS, 1, 1);
    grid->addWidget(I_VfW, 2, 0);
    grid->addWidget(RB_VfW, 2, 1);
    l->addLayout(grid);
    // The second camera family is offered as a choice that cannot be made.
    RB_IS->setEnabled(false);
    I_IS->setEnabled(false);
    BB_Next = new QPushButton(QStringLiteral("Continue"), TS_1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(BB_Next);
    l->addStretch(1);
    l->addLayout(row);
    connect(BB_Next, &QPushButton::clicked, this, &TF_SelectCamera::BitBtn2Click);
    PCE->addTab(TS_1, QStringLiteral("Type"));
}

void TF_SelectCamera::createCanonPage()
{
    TS_2 = new QWidget;
    auto* l = new QVBoxLayout(TS_2);
    l->addWidget(new QLabel(QStringLiteral("Canon EOS devices"), TS_2));
    auto* row = new QHBoxLayout;
    CB_CanonDevices = new QComboBox(TS_2);
    BB_CanonScan = new QPushButton(QStringLiteral("Scan"), TS_2);
    BB_CanonScan->setToolTip(QStringLiteral("Search for camera"));
    row->addWidget(CB_CanonDevices, 1);
    row->addWidget(BB_CanonScan);
    l->addLayout(row);

    auto* info = new QGroupBox(QStringLiteral("Camera info"), TS_2);
    auto* il = new QHBoxLayout(info);
    M_CanonInfo = new QPlainTextEdit(info);
    M_CanonInfo->setReadOnly(true);
    M_CanonInfo->setFrameShape(QFrame::NoFrame);
    il->addWidget(M_CanonInfo, 1);
    auto* power = new QGroupBox(QStringLiteral("Power supply"), info);
    auto* pl = new QVBoxLayout(power);
    L_CanonPowerSource = new QLabel(QStringLiteral("n/a"), power);
    PB_CanonBattery = new QProgressBar(power);
    PB_CanonBattery->setOrientation(Qt::Vertical);
    PB_CanonBattery->setRange(1, 5);
    PB_CanonBattery->setValue(1);
    PB_CanonBattery->setTextVisible(false);
    pl->addWidget(L_CanonPowerSource);
    pl->addWidget(PB_CanonBattery, 1, Qt::AlignHCenter);
    il->addWidget(power);
    l->addWidget(info, 1);

    auto* buttons = new QHBoxLayout;
    BB_CanonBack = new QPushButton(QStringLiteral("Change camera type"), TS_2);
    BB_CanonConnect = new QPushButton(QStringLiteral("Connect"), TS_2);
    buttons->addWidget(BB_CanonBack);
    buttons->addStretch(1);
    buttons->addWidget(BB_CanonConnect);
    l->addLayout(buttons);

    connect(CB_CanonDevices, &QComboBox::activated, this, &TF_SelectCamera::CB_CanonDevicesChange);
    connect(BB_CanonScan, &QPushButton::clicked, this, &TF_SelectCamera::BB_CanonScanClick);
    connect(BB_CanonConnect, &QPushButton::clicked, this, &TF_SelectCamera::BB_CanonConnectClick);
    connect(BB_CanonBack, &QPushButton::clicked, this, &TF_SelectCamera::BB_CanonBackClick);
    PCE->addTab(TS_2, QStringLiteral("Canon EOS"));
}

void TF_SelectCamera::createISPage()
{
    // Reached only through the choice that cannot be made; its buttons have nothing to do.
    TS_3 = new QWidget;
    auto* l = new QGridLayout(TS_3);
    CB_ISDevices = new QComboBox(TS_3);
    CB_ISFormat = new QComboBox(TS_3);
    CB_ISFPS = new QComboBox(TS_3);
    BB_ISScan = new QPushButton(QStringLiteral("Scan"), TS_3);
    BB_ISConnect = new QPushButton(QStringLiteral("Connect"), TS_3);
    BB_ISBack = new QPushButton(QStringLiteral("Change camera type"), TS_3);
    l->addWidget(CB_ISDevices, 0, 0, 1, 2);
    l->addWidget(BB_ISScan, 0, 2);
    l->addWidget(new QLabel(QStringLiteral("Video Format"), TS_3), 1, 0);
    l->addWidget(CB_ISFormat, 1, 1, 1, 2);
    l->addWidget(new QLabel(QStringLiteral("FPS"), TS_3), 2, 0);
    l->addWidget(CB_ISFPS, 2, 1, 1, 2);
    l->addWidget(BB_ISBack, 3, 0);
    l->addWidget(BB_ISConnect, 3, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{CB_ISDevices, CB_ISFormat, CB_ISFPS, BB_ISScan, BB_ISConnect, BB_ISBack})
        w->setEnabled(false);
    PCE->addTab(TS_3, QStringLiteral("Imaging Source"));
}

void TF_SelectCamera::createVfWPage()
{
    TS_4 = new QWidget;
    auto* l = new QVBoxLayout(TS_4);
    l->addWidget(new QLabel(QStringLiteral("Video4Linux devices"), TS_4));
    auto* row = new QHBoxLayout;
    CB_VFWDevices = new QComboBox(TS_4);
    BB_VFWScan = new QPushButton(QStringLiteral("Scan"), TS_4);
    BB_VFWScan->setToolTip(QStringLiteral("Search for camera"));
    row->addWidget(CB_VFWDevices, 1);
    row->addWidget(BB_VFWScan);
    l->addLayout(row);
    l->addStretch(1);
    auto* buttons = new QHBoxLayout;
    BB_VfWBack = new QPushButton(QStringLiteral("Change camera type"), TS_4);
    BB_VFWConnect = new QPushButton(QStringLiteral("Connect"), TS_4);
    buttons->addWidget(BB_VfWBack);
    buttons->addStretch(1);
    buttons->addWidget(BB_VFWConnect);
    l->addLayout(buttons);
    connect(BB_VFWScan, &QPushButton::clicked, this, &TF_SelectCamera::BB_VFWScanClick);
    connect(BB_VFWConnect, &QPushButton::clicked, this, &TF_SelectCamera::BB_VFWConnectClick);
    connect(BB_VfWBack, &QPushButton::clicked, this, &TF_SelectCamera::BB_VfWBackClick);
    PCE->addTab(TS_4, QStringLiteral("Video"));
}

void TF_SelectCamera::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        FormShow();
    }
}

void TF_SelectCamera::FormShow()
{
    BB_CanonConnect->setEnabled(CB_CanonDevices->currentIndex() >= 0);
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);
}

void TF_SelectCamera::BitBtn2Click()
{
    if (RB_Canon->isChecked()) {
        PCE->setCurrentWidget(TS_2);
        const bool rescan = Tag == 1 || CB_CanonDevices->count() == 0;
        Tag = 0;
        if (rescan)
            Canon_Scan();
    } else if (RB_IS->isChecked()) {
        PCE->setCurrentWidget(TS_3);
    } else if (RB_VfW->isChecked()) {
        if (CB_VFWDevices->count() == 0)
            VFW_Scan();
        PCE->setCurrentWidget(TS_4);
    }
}

void TF_SelectCamera::CanonGetCameraInfo(int index)
{
    TCamRemote* cam = camera();
    if (cam)
        CameraCall([cam] { cam->Disconnect(); });
    M_CanonInfo->clear();
    if (index < 0 || !cam) {
        L_CanonPowerSource->setText(QStringLiteral("n/a"));
        PB_CanonBattery->setValue(PB_CanonBattery->minimum());
    } else {
        ConnectInfoType info;
        QString bodyID;
        if (CameraCall([&] {
                info = cam->Connect(CamModEOS, index);
                CameraConnectInfo = info;
                bodyID = cam->GetBodyID();
            })) {
            M_CanonInfo->setPlainText(QStringLiteral("Model: ") + info.CameraModelName + QLatin1Char('\n')
                                      + QStringLiteral("Owner: ") + info.OwnerName + QLatin1Char('\n')
                                      + QStringLiteral("Camera body ID: ") + bodyID);
            switch (info.Battery.BatterySource) {
            case BatterySourceAC: L_CanonPowerSource->setText(QStringLiteral("AC")); break;
            case BatterySourceLitium: L_CanonPowerSource->setText(QStringLiteral("Lithium")); break;
            case BatterySourceNiMH: L_CanonPowerSource->setText(QStringLiteral("NiMH")); break;
            case BatterySourceNiCD: L_CanonPowerSource->setText(QStringLiteral("NiCD")); break;
            case BatterySourceAlMN: L_CanonPowerSource->setText(QStringLiteral("AlMN")); break;
            default: break;
            }
            int level = 1;
            switch (info.Battery.BatteryStatus) {
            case BatteryStatusNormal: level = 5; break;
            case BatteryStatusWeak: level = 3; break;
            case BatteryStatusSafetyLow: level = 2; break;
            default: break;
            }
            PB_CanonBattery->setValue(level);
        }
    }
    BB_CanonConnect->setEnabled(CB_CanonDevices->count() > 0);
}

bool TF_SelectCamera::Canon_Scan()
{
    CanonGetCameraInfo(-1);
    TCamRemote* cam = camera();
    if (!cam)
        return false;
    CameraCall([cam] {
        cam->Disconnect();
        cam->CloseCameraEnumeration();
    });
    // The old entries name cameras of the closed enumeration.
    CB_CanonDevices->clear();
    BB_CanonConnect->setEnabled(false);
    QPointer<TF_SelectCamera> self(this);
    CameraConnectedType names;
    bool ok = false;
    {
        auto busy = searching(this);
        if (!self) {
            busy.release(); // went with its owner
            return false;
        }
        ok = CameraCall([&] { names = cam->OpenCameraEnumeration(); });
    }
    if (!ok)
        return false;
    CB_CanonDevices->addItems(names.EOSCameras);
    if (names.EOSCameras.isEmpty()) {
        ReportCameraFailure(ECamException(QStringLiteral("No Canon EOS camera found!\r\nPlease check cameras connection and driver!")));
        return false;
    }
    CB_CanonDevices->setCurrentIndex(0);
    CanonGetCameraInfo(0);
    return true;
}

void TF_SelectCamera::CB_CanonDevicesChange()
{
    BB_CanonConnect->setEnabled(!CB_CanonDevices->currentText().isEmpty());
    CanonGetCameraInfo(CB_CanonDevices->currentIndex());
}

void TF_SelectCamera::BB_CanonScanClick()
{
    Canon_Scan();
}

void TF_SelectCamera::BB_CanonConnectClick()
{
    ActiveCameraType = 1;
    accept();
}

void TF_SelectCamera::BB_CanonBackClick()
{
    Canon_Disconnect();
    ActiveCameraType = -1;
    PCE->setCurrentWidget(TS_1);
}

void TF_SelectCamera::VFW_Scan()
{
    if (!F_CreateSeries)
        return;
    F_CreateSeries->VideoStop();
    QStringList devices;
    {
        QPointer<TF_SelectCamera> self(this);
        auto busy = searching(this);
        if (!self) {
            busy.release();
            return;
        }
        devices = F_CreateSeries->VideoDevices();
    }
    CB_VFWDevices->clear();
    if (devices.isEmpty()) {
        ShowMessage(QStringLiteral("No Video4Linux compatible video hardware found.\r\nPlease connect camera and click Scan!"));
        return;
    }
    CB_VFWDevices->addItems(devices);
    CB_VFWDevices->setCurrentIndex(0);
}

void TF_SelectCamera::BB_VFWScanClick()
{
    VFW_Scan();
}

void TF_SelectCamera::BB_VFWConnectClick()
{
    ActiveCameraType = 3;
    accept();
}

void TF_SelectCamera::BB_VfWBackClick()
{
    VfW_Disconnect();
    ActiveCameraType = -1;
    PCE->setCurrentWidget(TS_1);
}

bool TF_SelectCamera::Canon_Connect()
{
    TCamRemote* cam = camera();
    if (!cam)
        return false;
    CameraReleaseMode = ReleaseModeOnlyToPC;
    const bool ok = CameraCall([cam] {
        CameraRemoteFunc = cam->RemoteStart(CameraReleaseMode, ReleaseDataKingTakeBothThumbAndPic, false, QString());
        cam->RemoteStartViewfinder(true);
    });
    F_CreateSeries->PCE->setCurrentWidget(F_CreateSeries->TS_CanonEOS);
    return ok;
}

void TF_SelectCamera::Canon_Disconnect()
{
    if (TCamRemote* cam = camera())
        CameraCall([cam] {
            cam->Disconnect();
            cam->CloseCameraEnumeration();
        });
}

void TF_SelectCamera::VfW_Connect()
{
    if (F_CreateSeries)
        F_CreateSeries->VideoStart(CB_VFWDevices->currentText());
}

void TF_SelectCamera::VfW_Disconnect()
{
    if (F_CreateSeries)
        F_CreateSeries->VideoStop();
}
