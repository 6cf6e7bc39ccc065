// A newer-PowerShot picture whose hand-over fails (on a system older than Vista, the only one that
// starts that SDK): the camera cuts it short, refuses it, or the disk fills while it is written. The
// failure reaches the caller, no half-written file stays, and an older file of that name is kept.
#include "SimCamera.h"

#include "TCamRemote/Sources/CamRemote.h"
#include "support/SmallDisk.h"
#include "support/TestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using testhelpers::runUntil;
using testhelpers::SmallDisk;

QByteArray readBytes(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& fileName, const QByteArray& bytes)
{
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class CamRemotePowerShotNew : public testing::Test {
protected:
    void SetUp() override
    {
        TCamRemote::OSMajorVersion = [] { return std::optional<int>(5); };
        SimCamera::useStandIns();
        qputenv("JEX4_SIMCAM_CAMERAS", "ps-new");
        qputenv("JEX4_SIMCAM_RELEASE_MS", "0");
        const CameraConnectedType names = cam.OpenCameraEnumeration();
        ASSERT_TRUE(sim.attach(QStringLiteral("PRSDK.DLL")));
        ASSERT_EQ(names.PowerShotCameras, QStringList({"PowerShot SimCam N"}));
        ASSERT_EQ(cam.Connect(CamModPowerShot, 0).CameraModelName, "PowerShot SimCam N");
        cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    }
    void TearDown() override
    {
        cam.Disconnect();
        cam.CloseCameraEnumeration();
        TCamRemote::OSMajorVersion = [] { return std::optional<int>(6); };
    }

    // Releases a picture and fetches it into `file` when the camera announces it; returns what the
    // fetch raised, empty when it went through.
    QString takeAndFetch(const QString& file)
    {
        QString failure;
        bool started = false;
        bool tried = false;
        cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType&) {
            if (e != RemoteEventCallbackReleaseComplete || started)
                return;
            started = true;
            try {
                cam.RemoteGetPicture(file, PictureTypeFull);
            } catch (const ECamException& x) {
                failure = x.message();
            }
            tried = true;
        });
        cam.RemoteTakePicture();
        EXPECT_TRUE(runUntil([&] { return tried; }, kSimPictureFuseMs)) << "no picture announced";
        cam.setOnRemoteEvent({});
        return failure;
    }

    FakeCamClock clock;
    CamClockScope clockScope{clock};
    TCamRemote cam;
    SimCamera sim;
};

} // namespace

TEST_F(CamRemotePowerShotNew, TransferCutShortLeavesNoFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("IMG.jpg"));
    QString failure;
    bool tried = false;
    cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType&) {
        if (e != RemoteEventCallbackReleaseComplete)
            return;
        sim.SimCam_DisconnectDuringTransfer(5000);
        try {
            cam.RemoteGetPicture(file, PictureTypeFull);
        } catch (const ECamException& x) {
            failure = x.message();
        }
        tried = true;
    });
    cam.RemoteTakePicture();
    ASSERT_TRUE(runUntil([&] { return tried; }, kSimPictureFuseMs));
    EXPECT_EQ(failure, "PR_RC_GetReleasedData errorcode 0x00002007, Incomplete transfer");
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(CamRemotePowerShotNew, ATransferCutShortKeepsTheOlderFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("IMG.jpg"));
    writeBytes(file, "the picture of yesterday");
    sim.SimCam_DisconnectDuringTransfer(5000);
    EXPECT_EQ(takeAndFetch(file), "PR_RC_GetReleasedData errorcode 0x00002007, Incomplete transfer");
    EXPECT_EQ(readBytes(file), QByteArray("the picture of yesterday"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("IMG.jpg")});
}

TEST_F(CamRemotePowerShotNew, AFailedFetchOnAFullDiskKeepsTheOlderFile)
{
    SmallDisk disk(qint64(8) << 20);
    SKIP_WITHOUT_SMALL_DISK(disk);
    const QString file = disk.path(QStringLiteral("IMG.jpg"));
    const QString cannotCreate = QStringLiteral("Cannot create file \"") + file + QStringLiteral("\". ");
    constexpr qint64 partWay = 256 * 1024;
    struct Row {
        const char* what;
        qint64 freeBytes;
        bool refused; // the camera refuses the hand-over
        QString failure;
    };
    const Row rows[] = {
        {"disk full at the first block", 0, false, cannotCreate + QStringLiteral("No space left on device")},
        {"disk full part-way", partWay, false, cannotCreate + QStringLiteral("No space left on device")},
        {"hand-over refused", 64 * 1024, true, QStringLiteral("PR_RC_GetReleasedData errorcode 0x00002019, Device busy")},
    };
    const QByteArray old(5000, 'o');
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        disk.empty();
        writeBytes(file, old);
        ASSERT_TRUE(disk.fillLeaving(r.freeBytes));
        if (r.refused)
            sim.SimCam_FailNext("PR_RC_GetReleasedData", 0x2019, 1);
        EXPECT_EQ(takeAndFetch(file).toStdString(), r.failure.toStdString());
        EXPECT_EQ(readBytes(file), old);
        EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("IMG.jpg")}) << "no temporary is left";
    }

    // With room again the next fetch replaces the file: the failures were the disk's and the
    // camera's alone, and no picture lost to the full disk blocks the ones after it.
    disk.empty();
    EXPECT_EQ(takeAndFetch(file).toStdString(), "");
    EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("IMG.jpg")});
    QImageReader reader(file);
    EXPECT_EQ(reader.size(), QSize(2592, 1944));
    EXPECT_FALSE(reader.read().isNull());
    EXPECT_GT(QFileInfo(file).size(), partWay) << "the part-way row ran out before the end";
}
