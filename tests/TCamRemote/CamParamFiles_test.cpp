#include "TCamRemote/Sources/CamParamFiles.h"

#include "support/PermissionsBind.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CamParamFiles : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    void writeBytes(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray readBytes(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    QTemporaryDir m_dir;
};

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A record with some supported values in every part of it.
RemoteReleaseAvailParametersType sampleAvail()
{
    RemoteReleaseAvailParametersType a;
    a.CompQuality[RemoteFormatQualityFine] = true;
    a.CompQuality[RemoteFormatQualityRAW] = true;
    a.ImageSize[RemoteFormatSizeLarge] = true;
    a.ImageMode[RemoteFormatShootingModeCandlelightPortraits] = true;
    a.DriveMode[RemoteFormatDriveModeNotUsed] = true;
    a.WhiteBalanceShift = true;
    a.ISO[RemoteFormatISO102400] = true;
    a.Av[RemoteFormatAV5_6] = true;
    a.Tv[RemoteFormatTV1_16000] = true;
    a.Beep[RemoteFormatBeepNotUsed] = true;
    return a;
}

// --- Cache ------------------------------------------------------------------------------------

TEST_F(CamParamFiles, CacheRoundTripsIntoAFolderChainItCreates)
{
    const QString file = path("a/b/c/EOS 40D Mode3");
    const RemoteReleaseAvailParametersType written = sampleAvail();
    SaveRemoteParamCache(file, written);

    const QByteArray bytes = readBytes("a/b/c/EOS 40D Mode3");
    ASSERT_EQ(bytes.size(), 344);
    EXPECT_EQ(bytes.left(4), le32(317));

    RemoteReleaseAvailParametersType read;
    ASSERT_TRUE(LoadRemoteParamCache(file, read));
    EXPECT_EQ(read, written);

    // Saving again replaces the file.
    RemoteReleaseAvailParametersType other;
    other.PictureStyle = true;
    SaveRemoteParamCache(file, other);
    ASSERT_TRUE(LoadRemoteParamCache(file, read));
    EXPECT_EQ(read, other);
}

// Each field at its byte offset: the last entry of every array, and the two single flags.
TEST_F(CamParamFiles, CacheFieldsSitAtTheirOffsets)
{
    using A = RemoteReleaseAvailParametersType;
    struct Row { const char* name; int offset; int size; std::function<void(A&)> setLast; };
    auto last = [](auto member) { return [member](A& a) { (a.*member).back() = true; }; };
    const Row rows[] = {
        {"CompQuality", 0, 6, last(&A::CompQuality)},
        {"CompQualityPic2RAW", 6, 6, last(&A::CompQualityPic2RAW)},
        {"ImageSize", 12, 7, last(&A::ImageSize)},
        {"ImageSizePic2RAW", 19, 7, last(&A::ImageSizePic2RAW)},
        {"StrobeSetting", 26, 8, last(&A::StrobeSetting)},
        {"StrobeCompSetting", 34, 14, last(&A::StrobeCompSetting)},
        {"DriveMode", 48, 8, last(&A::DriveMode)},
        {"ImageMode", 56, 45, last(&A::ImageMode)},
        {"MLWeiMode", 101, 7, last(&A::MLWeiMode)},
        {"AFMode", 108, 5, last(&A::AFMode)},
        {"AFDistance", 113, 13, last(&A::AFDistance)},
        {"AFFocusingPoint", 126, 8, last(&A::AFFocusingPoint)},
        {"AFAssistLight", 134, 3, last(&A::AFAssistLight)},
        {"WhiteBalanceSetting", 137, 17, last(&A::WhiteBalanceSetting)},
        {"WhiteBalanceShift", 154, 1, [](A& a) { a.WhiteBalanceShift = true; }},
        {"PictureStyle", 155, 1, [](A& a) { a.PictureStyle = true; }},
        {"Contrast", 156, 4, last(&A::Contrast)},
        {"ColorGain", 160, 4, last(&A::ColorGain)},
        {"Sharpness", 164, 4, last(&A::Sharpness)},
        {"ColorSpace", 168, 3, last(&A::ColorSpace)},
        {"ISO", 171, 26, last(&A::ISO)},
        {"Av", 197, 41, last(&A::Av)},
        {"Tv", 238, 60, last(&A::Tv)},
        {"ExposureCompensation", 298, 32, last(&A::ExposureCompensation)},
        {"PhotoEffect", 330, 7, last(&A::PhotoEffect)},
        {"Beep", 337, 3, last(&A::Beep)},
    };
    for (const Row& r : rows) {
        A a;
        r.setLast(a);
        const QByteArray record = RemoteParamCacheRecord(a);
        ASSERT_EQ(record.size(), 340);
        QByteArray expected(340, '\0');
        expected[r.offset + r.size - 1] = '\1';
        EXPECT_EQ(record, expected) << r.name;
        A back;
        ASSERT_TRUE(RemoteParamCacheFromRecord(record, back)) << r.name;
        EXPECT_EQ(back, a) << r.name;
    }
}

// A file that ends early fills the part of the record it holds; the rest stays as it was.
TEST_F(CamParamFiles, ShortCacheFillsThePartItHolds)
{
    const QByteArray record = RemoteParamCacheRecord(sampleAvail());
    RemoteReleaseAvailParametersType before;
    before.Tv[RemoteFormatTV1_125] = true;
    before.Av[0] = true;
    const QByteArray beforeRecord = RemoteParamCacheRecord(before);
    for (int held : {0, 1, 100, 339}) {
        SCOPED_TRACE(held);
        writeBytes(QStringLiteral("cache"), le32(317) + record.left(held));
        RemoteReleaseAvailParametersType avail = before;
        EXPECT_TRUE(LoadRemoteParamCache(path("cache"), avail));
        RemoteReleaseAvailParametersType expected;
        ASSERT_TRUE(RemoteParamCacheFromRecord(record.left(held) + beforeRecord.mid(held), expected));
        EXPECT_EQ(avail, expected);
    }
}

// Anything but a cache leaves the record as it was and lets the probe run.
TEST_F(CamParamFiles, CacheThatIsNotOneIsIgnored)
{
    const QByteArray good = le32(317) + RemoteParamCacheRecord(sampleAvail());
    QByteArray badFlag = good;
    badFlag[4 + 100] = '\2';
    struct Row { const char* name; QByteArray bytes; };
    const Row rows[] = {
        {"empty", QByteArray()},
        {"magic 316", le32(316) + good.mid(4)},
        {"part of the magic", le32(317).left(3)},
        {"short with a flag of 2", badFlag.left(200)},
        {"one byte long", good + '\0'},
        {"a flag of 2", badFlag},
        {"big", good + QByteArray(1 << 20, '\1')},
    };
    RemoteReleaseAvailParametersType before;
    before.Tv[RemoteFormatTV1_125] = true;
    for (const Row& r : rows) {
        writeBytes(QStringLiteral("cache"), r.bytes);
        RemoteReleaseAvailParametersType avail = before;
        EXPECT_FALSE(LoadRemoteParamCache(path("cache"), avail)) << r.name;
        EXPECT_EQ(avail, before) << r.name;
    }
    RemoteReleaseAvailParametersType avail = before;
    EXPECT_FALSE(LoadRemoteParamCache(path("missing"), avail));
    EXPECT_EQ(avail, before);

    writeBytes(QStringLiteral("cache"), good);
    EXPECT_TRUE(LoadRemoteParamCache(path("cache"), avail));
    EXPECT_EQ(avail, sampleAvail());
}

TEST_F(CamParamFiles, CacheThatCannotBeOpenedOrWrittenRaises)
{
    SaveRemoteParamCache(path("cache"), sampleAvail());
    QFile::setPermissions(path("cache"), QFileDevice::WriteOwner);
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool bound = false;
    QString readError, writeError;
    {
        testhelpers::PermissionsBind bind; // as root too
        bound = bind.active();
        RemoteReleaseAvailParametersType avail;
        try {
            LoadRemoteParamCache(path("cache"), avail);
        } catch (const ECamException& e) {
            readError = e.message();
        }
        try {
            SaveRemoteParamCache(path("cache"), RemoteReleaseAvailParametersType{});
        } catch (const ECamException& e) {
            writeError = e.message();
        }
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(path("cache"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(bound);
    EXPECT_TRUE(readError.startsWith(QStringLiteral("Cannot open file \"") + path("cache"))) << readError.toStdString();
    EXPECT_TRUE(writeError.startsWith(QStringLiteral("Cannot create file \"") + path("cache"))) << writeError.toStdString();
    // The failed save kept the old cache.
    RemoteReleaseAvailParametersType avail;
    ASSERT_TRUE(LoadRemoteParamCache(path("cache"), avail));
    EXPECT_EQ(avail, sampleAvail());

    // A folder that cannot be made, because a file stands in its place.
    writeBytes(QStringLiteral("plain"), "x");
    EXPECT_THROW(SaveRemoteParamCache(path("plain/sub/cache"), sampleAvail()), ECamException);
}

// --- Camera parameter file --------------------------------------------------------------------

RemoteReleaseParametersType sampleParams()
{
    RemoteReleaseParametersType p;
    p.CompQuality = RemoteFormatQualityRAW;
    p.CompQualityPic2RAW = RemoteFormatQualityFine;
    p.ImageSize = RemoteFormatSizeLarge;
    p.ImageSizePic2RAW = RemoteFormatSizeMedium3;
    p.StrobeSetting = RemoteFormatFlashOnRedEye;
    p.StrobeCompSetting = RemoteFormatFlashComp200Minus;
    p.ImageMode = RemoteFormatShootingModeCandlelightPortraits;
    p.DriveMode = RemoteFormatDriveMode2SecSelfTimer;
    p.MLWeiMode = RemoteFormatMLWeiCenterwWeightedAveraging;
    p.AFMode = RemoteFormatAFModeManual;
    p.AFDistance = RemoteFormatAFDistSuperMacroOCM;
    p.AFFocusingPoint = RemoteFormatAFFocusingPointMultipleLeft;
    p.AFAssistLight = RemoteFormatAFLightOff;
    p.WhiteBalanceSetting = RemoteFormatWBKelvin;
    p.WhiteBalanceKelvin = 5200;
    p.WhiteBalanceShift = {true, -9, 9};
    p.PictureStyle.PictureStyleEnabled = true;
    p.PictureStyle.PictureStyle = PictureStyleAuto;
    p.PictureStyle.Contrast = -4;
    p.PictureStyle.Sharpness = 7;
    p.PictureStyle.Saturation = 3;
    p.PictureStyle.SaturationUsed = true;
    p.PictureStyle.ColorTone = -2;
    p.PictureStyle.ColorToneUsed = false;
    p.PictureStyle.MonochromeFilter = MonochromeFilterGreen;
    p.PictureStyle.MonochromeFilterUsed = true;
    p.PictureStyle.MonochromeTone = MonochromeToneViolet;
    p.PictureStyle.MonochromeToneUsed = true;
    p.Contrast = RemoteFormatLevelHigh;
    p.ColorGain = RemoteFormatLevelLow;
    p.Sharpness = RemoteFormatLevelDefault;
    p.ColorSpace = RemoteFormatColorSpaceAdobeRGB;
    p.ISO = RemoteFormatISO102400;
    p.Av = RemoteFormatAV91_0;
    p.Tv = RemoteFormatTV1_16000;
    p.ExposureCompensation = RemoteFormatExposureComp500Minus;
    p.PhotoEffect = RemoteFormatPhotoEffectBW;
    p.Beep = RemoteFormatBeepOn;
    return p;
}

TEST_F(CamParamFiles, OnlyRegularFilesAreRead)
{
    // A FIFO named as the cache or the parameter file has no writer: opening it to read would
    // wait for one for ever. Each read runs on a thread of its own; should it block, the test
    // opens the FIFO for writing, which frees it, and fails.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(path("folder")));
    const std::function<void(const QString&)> readers[] = {
        [](const QString& name) {
            RemoteReleaseAvailParametersType avail;
            LoadRemoteParamCache(name, avail);
        },
        [](const QString& name) { LoadCameraRemoteParams(name); },
    };
    for (const char* name : {"fifo", "folder"}) {
        for (const auto& read : readers) {
            SCOPED_TRACE(name);
            auto done = std::async(std::launch::async, [&read, file = path(name)]() -> QString {
                try {
                    read(file);
                } catch (const ECamException& e) {
                    return e.message();
                }
                return QStringLiteral("<no error>");
            });
            if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
                const int writer = ::open(QFile::encodeName(path(name)).constData(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0)
                    ::close(writer); // the reader wakes and finds the end at once
                done.wait();
                FAIL() << "reading blocked";
            }
            EXPECT_EQ(done.get(), QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(path(name)));
        }
    }
}

TEST_F(CamParamFiles, ParameterFileHoldsTheRecordByteForByte)
{
    SaveCameraRemoteParams(path("params.dat"), sampleParams());
    const QByteArray b = readBytes("params.dat");
    ASSERT_EQ(b.size(), 52);
    EXPECT_EQ(b.left(4), le32(48));
    const QByteArray r = b.mid(4);
    const int expected[48] = {
        5, 3, 1, 6, 7, 13, 44, 7, 6, 4, 12, 7, 2, 13, 0, 0,   // enumerations, 2 unused
        0x50, 0x14, 0, 0,                                    // 5200
        1, 0xF7, 9, 1, 12, 0xFC, 7, 3, 1, 0xFE, 0, 4, 1, 3, 1, // shift and picture style
        3, 1, 2, 2, 25, 40, 59, 31, 6, 1, 0, 0, 0,           // levels to beep, 3 unused
    };
    for (int i = 0; i < 48; ++i)
        EXPECT_EQ(quint8(r[i]), expected[i]) << "offset " << i;

    EXPECT_EQ(LoadCameraRemoteParams(path("params.dat")), sampleParams());
    RemoteReleaseParametersType cleared;
    SaveCameraRemoteParams(path("params.dat"), cleared);
    EXPECT_EQ(readBytes("params.dat"), le32(48) + QByteArray(48, '\0'));
    EXPECT_EQ(LoadCameraRemoteParams(path("params.dat")), cleared);
}

TEST_F(CamParamFiles, ParameterFileOfAnotherShapeIsRefusedWhole)
{
    const QByteArray record = CameraRemoteParamsRecord(sampleParams());
    auto with = [&](int offset, quint8 value) {
        QByteArray r = record;
        r[offset] = char(value);
        return le32(48) + r;
    };
    struct Row { const char* name; QByteArray bytes; };
    const Row rows[] = {
        {"size 52", le32(52) + record},
        {"size 0", le32(0) + record},
        {"empty", QByteArray()},
        {"header only", le32(48)},
        {"one byte short", (le32(48) + record).left(51)},
        {"one byte long", le32(48) + record + '\0'},
        {"quality 6", with(0, 6)},
        {"shooting mode 45", with(6, 45)},
        {"white balance 255", with(13, 255)},
        {"shift flag 2", with(20, 2)},
        {"picture style 13", with(24, 13)},
        {"monochrome tone 5", with(33, 5)},
        {"ISO 26", with(39, 26)},
        {"shutter speed 60", with(41, 60)},
        {"beep 3", with(44, 3)},
    };
    const QString expectedText = QStringLiteral("Camera remote parameters file ") + path("p")
                                 + QStringLiteral(" is of invalid data format. Please create a new file.");
    for (const Row& r : rows) {
        writeBytes(QStringLiteral("p"), r.bytes);
        try {
            LoadCameraRemoteParams(path("p"));
            ADD_FAILURE() << r.name << ": loaded";
        } catch (const ECamException& e) {
            EXPECT_EQ(e.message(), expectedText) << r.name;
        }
    }

    // Unused bytes and out-of-range picture-style numbers are the camera's business, not damage.
    QByteArray lenient = with(14, 0xAA);
    lenient[4 + 47] = char(0x55);
    lenient[4 + 27] = char(100);
    writeBytes(QStringLiteral("p"), lenient);
    RemoteReleaseParametersType expected = sampleParams();
    expected.PictureStyle.Saturation = 100;
    EXPECT_EQ(LoadCameraRemoteParams(path("p")), expected);

    try {
        LoadCameraRemoteParams(path("missing"));
        ADD_FAILURE() << "a missing file loaded";
    } catch (const ECamException& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot open file \""))) << e.message().toStdString();
    }
}

// --- Full disk --------------------------------------------------------------------------------

TEST(CamParamFilesOnFullDisk, ASaveThatFindsNoRoomRaisesAndKeepsTheOldFile)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    using Save = std::function<void(const QString&)>;
    using Holds = std::function<bool(const QString&)>; // the file holds what was saved
    const struct {
        const char* what;
        Save save;
        Holds holds;
    } rows[] = {
        {"parameter cache", [](const QString& name) { SaveRemoteParamCache(name, sampleAvail()); },
         [](const QString& name) {
             RemoteReleaseAvailParametersType avail;
             return LoadRemoteParamCache(name, avail) && avail == sampleAvail();
         }},
        {"camera parameters", [](const QString& name) { SaveCameraRemoteParams(name, sampleParams()); },
         [](const QString& name) { return LoadCameraRemoteParams(name) == sampleParams(); }},
    };
    const QString name = disk.path(QStringLiteral("saved.dat"));
    const QByteArray old(700, 'o'); // longer than either record
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        disk.empty();
        {
            QFile f(name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        ASSERT_TRUE(disk.fillLeaving(0));
        QString failure;
        try {
            r.save(name);
        } catch (const ECamException& e) {
            failure = e.message();
        }
        EXPECT_EQ(failure.toStdString(),
                  QStringLiteral("Cannot create file \"%1\". No space left on device").arg(name).toStdString());
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        f.close();
        EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("saved.dat")}) << "no temporary is left";

        // With room again the same save goes through.
        disk.empty();
        r.save(name);
        EXPECT_TRUE(r.holds(name));
    }
}

// --- EOS packing ------------------------------------------------------------------------------

TEST(EdsImageQuality, PacksAsTheCameraCodesIt)
{
    struct Row {
        const char* name;
        RemoteFormatQualityType quality, quality2;
        RemoteFormatSizeType size, size2;
        bool newer;
        uint32_t value;
    };
    const auto NU = RemoteFormatQualityNotUsed;
    const auto SNU = RemoteFormatSizeNotUsed;
    const Row rows[] = {
        {"Large Fine, newer", RemoteFormatQualityFine, NU, RemoteFormatSizeLarge, SNU, true, 0x0013FF0F},
        {"Large Fine, older", RemoteFormatQualityFine, NU, RemoteFormatSizeLarge, SNU, false, 0x00130000},
        {"Small Normal, older", RemoteFormatQualityNormal, NU, RemoteFormatSizeSmall, SNU, false, 0x02120000},
        {"Medium2 Superfine, newer", RemoteFormatQualitySuperfine, NU, RemoteFormatSizeMedium2, SNU, true, 0x0615FF0F},
        {"RAW, newer", RemoteFormatQualityRAW, NU, SNU, SNU, true, 0x00640F0F},
        {"RAW, older", RemoteFormatQualityRAW, NU, SNU, SNU, false, 0x00240000},
        {"RAW + Large Fine, newer", RemoteFormatQualityRAW, RemoteFormatQualityFine, SNU, RemoteFormatSizeLarge, true, 0x00640013},
        {"RAW + Large Fine, older", RemoteFormatQualityRAW, RemoteFormatQualityFine, SNU, RemoteFormatSizeLarge, false, 0x00240013},
        {"RAW + Small Normal, older", RemoteFormatQualityRAW, RemoteFormatQualityNormal, RemoteFormatSizeLarge, RemoteFormatSizeSmall, false, 0x00240212},
        // A value without a code enters as 0xF.
        {"Economy Medium3, older", RemoteFormatQualityEconomy, NU, RemoteFormatSizeMedium3, SNU, false, 0x0F1F0000},
        {"RAW + only a size, older", RemoteFormatQualityRAW, NU, SNU, RemoteFormatSizeSmall, false, 0x0024021F},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PackEdsImageQuality(r.quality, r.quality2, r.size, r.size2, r.newer), r.value)
            << r.name << std::hex << " got 0x" << PackEdsImageQuality(r.quality, r.quality2, r.size, r.size2, r.newer);
}

TEST(EdsImageQuality, UnpacksWhatItPacks)
{
    for (bool newer : {false, true}) {
        for (auto q : {RemoteFormatQualityNormal, RemoteFormatQualityFine, RemoteFormatQualitySuperfine}) {
            for (auto s : {RemoteFormatSizeLarge, RemoteFormatSizeMedium, RemoteFormatSizeSmall,
                           RemoteFormatSizeMedium1, RemoteFormatSizeMedium2}) {
                RemoteFormatQualityType q1, q2;
                RemoteFormatSizeType s1, s2;
                UnpackEdsImageQuality(PackEdsImageQuality(q, RemoteFormatQualityNotUsed, s, RemoteFormatSizeNotUsed, newer),
                                      newer, q1, q2, s1, s2);
                EXPECT_EQ(q1, q) << newer;
                EXPECT_EQ(s1, s) << newer;
                EXPECT_EQ(q2, RemoteFormatQualityNotUsed);
                EXPECT_EQ(s2, RemoteFormatSizeNotUsed);

                // The same JPEG beside a RAW picture.
                UnpackEdsImageQuality(PackEdsImageQuality(RemoteFormatQualityRAW, q, RemoteFormatSizeNotUsed, s, newer),
                                      newer, q1, q2, s1, s2);
                EXPECT_EQ(q1, RemoteFormatQualityRAW);
                EXPECT_EQ(s1, RemoteFormatSizeLarge);
                EXPECT_EQ(q2, q);
                EXPECT_EQ(s2, s);
            }
        }
        RemoteFormatQualityType q1, q2;
        RemoteFormatSizeType s1, s2;
        UnpackEdsImageQuality(PackEdsImageQuality(RemoteFormatQualityRAW, RemoteFormatQualityNotUsed,
                                                  RemoteFormatSizeMedium, RemoteFormatSizeNotUsed, newer),
                              newer, q1, q2, s1, s2);
        EXPECT_EQ(q1, RemoteFormatQualityRAW);
        EXPECT_EQ(s1, RemoteFormatSizeLarge); // RAW carries no size
        EXPECT_EQ(q2, RemoteFormatQualityNotUsed);
        EXPECT_EQ(s2, RemoteFormatSizeNotUsed);

        UnpackEdsImageQuality(PackEdsImageQuality(RemoteFormatQualityEconomy, RemoteFormatQualityNotUsed,
                                                  RemoteFormatSizeLarge, RemoteFormatSizeNotUsed, newer),
                              newer, q1, q2, s1, s2);
        EXPECT_EQ(q1, RemoteFormatQualityNotUsed);
    }
}

TEST(EdsImageQuality, NewerCamerasReadCompressionZeroAsSuperfine)
{
    RemoteFormatQualityType q1, q2;
    RemoteFormatSizeType s1, s2;
    UnpackEdsImageQuality(0x01100010, true, q1, q2, s1, s2);
    EXPECT_EQ(q1, RemoteFormatQualitySuperfine);
    EXPECT_EQ(s1, RemoteFormatSizeMedium);
    EXPECT_EQ(q2, RemoteFormatQualitySuperfine);
    EXPECT_EQ(s2, RemoteFormatSizeLarge);
    UnpackEdsImageQuality(0x01100010, false, q1, q2, s1, s2);
    EXPECT_EQ(q1, RemoteFormatQualityNotUsed);
    EXPECT_EQ(q2, RemoteFormatQualityNotUsed);
    // Main format 2 is RAW on either kind; unknown sizes read as NotUsed.
    UnpackEdsImageQuality(0x0F240000, true, q1, q2, s1, s2);
    EXPECT_EQ(q1, RemoteFormatQualityRAW);
    EXPECT_EQ(s1, RemoteFormatSizeNotUsed);
}

TEST(EdsValues, LiveViewShutterAndPictureStyleCodes)
{
    struct Row { const char* name; uint32_t got, expected; };
    const Row rows[] = {
        {"lens Near1", EdsDriveLensValue(RemoteViewFinderDriveLensNear1), 1},
        {"lens Near2", EdsDriveLensValue(RemoteViewFinderDriveLensNear2), 2},
        {"lens Near3", EdsDriveLensValue(RemoteViewFinderDriveLensNear3), 3},
        {"lens Far1", EdsDriveLensValue(RemoteViewFinderDriveLensFar1), 0x8001},
        {"lens Far2", EdsDriveLensValue(RemoteViewFinderDriveLensFar2), 0x8002},
        {"lens Far3", EdsDriveLensValue(RemoteViewFinderDriveLensFar3), 0x8003},
        {"lens NotUsed", EdsDriveLensValue(RemoteViewFinderDriveLensNotUsed), 1},
        {"lens Far1 + 128", EdsDriveLensValue(RemoteViewFinderDriveLensType(RemoteViewFinderDriveLensFar1 + 128)), 0x8001},
        {"AF Quick", EdsEvfAFModeValue(RemoteViewFinderAFModeQuick), 0},
        {"AF Live", EdsEvfAFModeValue(RemoteViewFinderAFModeLive), 1},
        {"AF LiveFace", EdsEvfAFModeValue(RemoteViewFinderAFModeLiveFace), 2},
        {"AF LiveMulti", EdsEvfAFModeValue(RemoteViewFinderAFModeLiveMulti), 3},
        {"AF NotUsed", EdsEvfAFModeValue(RemoteViewFinderAFModeNotUsed), 0},
        {"zoom Fit", EdsEvfZoomValue(RemoteViewFinderZoomFit), 1},
        {"zoom x5", EdsEvfZoomValue(RemoteViewFinderZoomx5), 5},
        {"zoom x10", EdsEvfZoomValue(RemoteViewFinderZoomx10), 10},
        {"button Off", EdsShutterButtonValue(RemoteShutterButtonOff), 0},
        {"button half", EdsShutterButtonValue(RemoteShutterButtonHalfPressed), 1},
        {"button completely", EdsShutterButtonValue(RemoteShutterButtonCompletelyPressed), 3},
        {"button half non-AF", EdsShutterButtonValue(RemoteShutterButtonHalfPressedNonAF), 0x10001},
        {"button completely non-AF", EdsShutterButtonValue(RemoteShutterButtonCompletelyPressedNonAF), 0x10003},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.got, r.expected) << r.name;

    struct AFRow { uint32_t value; RemoteViewFinderAFModeType mode; };
    const AFRow af[] = {
        {0, RemoteViewFinderAFModeQuick}, {1, RemoteViewFinderAFModeLive}, {2, RemoteViewFinderAFModeLiveFace},
        {3, RemoteViewFinderAFModeLiveMulti}, {4, RemoteViewFinderAFModeQuick}, {0x102, RemoteViewFinderAFModeLiveFace},
        {0xFFFFFFFF, RemoteViewFinderAFModeQuick},
    };
    for (const AFRow& r : af)
        EXPECT_EQ(EvfAFModeFromEds(r.value), r.mode) << r.value;

    struct StyleRow { PictureStyleNumberType style; uint32_t code; };
    const StyleRow styles[] = {
        {PictureStyleStandard, 0x81}, {PictureStylePortrait, 0x82}, {PictureStyleLandscape, 0x83},
        {PictureStyleNeutral, 0x84}, {PictureStyleFaithful, 0x85}, {PictureStyleMonochrome, 0x86},
        {PictureStyleUser1, 0x21}, {PictureStyleUser2, 0x22}, {PictureStyleUser3, 0x23},
        {PictureStylePC1, 0x41}, {PictureStylePC2, 0x42}, {PictureStylePC3, 0x43}, {PictureStyleAuto, 0x87},
    };
    for (const StyleRow& r : styles) {
        EXPECT_EQ(EdsPictureStyleValue(r.style), r.code) << int(r.style);
        EXPECT_EQ(PictureStyleFromEds(r.code), r.style) << r.code;
    }
    EXPECT_EQ(EdsPictureStyleValue(PictureStyleNumberType(13)), 0x81u);
    for (uint32_t code : {0u, 0x80u, 0x88u, 0x24u, 0x181u})
        EXPECT_EQ(PictureStyleFromEds(code), PictureStyleStandard) << code;
}

} // namespace
