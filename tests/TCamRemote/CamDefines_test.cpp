#include "TCamRemote/Sources/CamDefines.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct EnumRow {
    const char* name;
    int count;      // CamEnumCount of the type
    int expected;   // number of values the camera files and converters rely on
    int notUsed;    // ordinal of the NotUsed value, -1 where the type has none
};

#define ROW(T, expected, notUsed) EnumRow{#T, CamEnumCount<T>, expected, notUsed}

// The ordinals are stored in files and index the supported-value arrays, so a value added,
// dropped or moved in any list shows up here.
TEST(CamDefines, EnumerationsHaveTheirFixedSizeAndNotUsedFirst)
{
    const EnumRow rows[] = {
        ROW(CamModType, 3, -1),
        ROW(BatterySourceType, 6, -1),
        ROW(BatteryStatusType, 4, -1),
        ROW(PictureTypeType, 2, -1),
        ROW(ReleaseModeType, 3, -1),
        ROW(ReleaseDataKindType, 3, -1),
        ROW(RemoteViewFinderOutputType, 3, -1),
        ROW(RemoteViewFinderDriveLensType, 7, RemoteViewFinderDriveLensNotUsed),
        ROW(RemoteViewFinderAFModeType, 5, RemoteViewFinderAFModeNotUsed),
        ROW(RemoteViewFinderZoomType, 3, -1),
        ROW(RemoteShutterButtonType, 5, -1),
        ROW(MonochromeFilterType, 5, -1),
        ROW(MonochromeToneType, 5, -1),
        ROW(PictureStyleNumberType, 13, -1),
        ROW(EventSeverityType, 4, EventSeverityNotUsed),
        ROW(EventEnumType, 15, EventNotUsed),
        ROW(RemoteEventCallbackType, 11, RemoteEventCallbackNotUsed),
        ROW(NotifyRemoteEventValidType, 3, -1),
        ROW(TypeOfPictureType, 3, -1),
        ROW(BitsPerPixelType, 2, -1),
        ROW(FileFormatType, 4, -1),
        ROW(RemoteFormatQualityType, 6, RemoteFormatQualityNotUsed),
        ROW(RemoteFormatSizeType, 7, RemoteFormatSizeNotUsed),
        ROW(RemoteFormatShootingModeType, 45, RemoteFormatShootingModeNotUsed),
        ROW(RemoteFormatDriveModeType, 8, RemoteFormatDriveModeNotUsed),
        ROW(RemoteFormatExposureCompType, 32, RemoteFormatExposureCompNotUsed),
        ROW(RemoteFormatWBType, 17, RemoteFormatWBNotUsed),
        ROW(RemoteFormatAFModeType, 5, RemoteFormatAFModeNotUsed),
        ROW(RemoteFormatAFDistType, 13, RemoteFormatAFDistNotUsed),
        ROW(RemoteFormatAFFocusingPointType, 8, RemoteFormatAFFocusingPointNotUsed),
        ROW(RemoteFormatAFLightType, 3, RemoteFormatAFLightNotUsed),
        ROW(RemoteFormatFlashType, 8, RemoteFormatFlashNotUsed),
        ROW(RemoteFormatFlashCompType, 14, RemoteFormatFlashCompNotUsed),
        ROW(RemoteFormatMLWeiType, 7, RemoteFormatMLWeiNotUsed),
        ROW(RemoteFormatLevelType, 4, RemoteFormatLevelNotUsed),
        ROW(RemoteFormatColorSpaceType, 3, RemoteFormatColorSpaceNotUsed),
        ROW(RemoteFormatISOType, 26, RemoteFormatISONotUsed),
        ROW(RemoteFormatTVType, 60, RemoteFormatTVNotUsed),
        ROW(RemoteFormatAVType, 41, RemoteFormatAVNotUsed),
        ROW(RemoteFormatPhotoEffectType, 7, RemoteFormatPhotoEffectNotUsed),
        ROW(RemoteFormatBeepType, 3, RemoteFormatBeepNotUsed),
    };
    for (const EnumRow& r : rows) {
        EXPECT_EQ(r.count, r.expected) << r.name;
        if (r.notUsed >= 0) {
            EXPECT_EQ(r.notUsed, 0) << r.name;
        }
    }
}
#undef ROW

// Values the files and the converters address by ordinal; a slip inside a list keeps the count.
TEST(CamDefines, ValuesInsideTheListsKeepTheirOrdinals)
{
    struct Row { int value; int ordinal; const char* name; };
    const Row rows[] = {
        {RemoteFormatQualityRAW, 5, "QualityRAW"},
        {RemoteFormatSizeMedium3, 6, "SizeMedium3"},
        {RemoteFormatShootingModeManual2, 22, "ShootingModeManual2"},
        {RemoteFormatShootingModeCandlelightPortraits, 44, "ShootingModeCandlelightPortraits"},
        {RemoteFormatDriveMode10SecSelfTimer, 6, "DriveMode10SecSelfTimer"},
        {RemoteFormatExposureComp0, 16, "ExposureComp0"},
        {RemoteFormatFlashComp0, 7, "FlashComp0"},
        {RemoteFormatWBKelvin, 13, "WBKelvin"},
        {RemoteFormatISO100, 5, "ISO100"},
        {RemoteFormatTV1_4, 23, "TV1_4"},
        {RemoteFormatTV1_125, 38, "TV1_125"},
        {RemoteFormatAV5_6, 16, "AV5_6"},
        {RemoteFormatPhotoEffectBW, 6, "PhotoEffectBW"},
        {PictureStyleAuto, 12, "PictureStyleAuto"},
        {ReleaseDataKingTakeBothThumbAndPic, 2, "ReleaseDataKingTakeBothThumbAndPic"},
        {EventRemoteNewSupportedParameters, 14, "EventRemoteNewSupportedParameters"},
        {RemoteEventCallbackReleaseImageFromCFCardReady, 10, "ReleaseImageFromCFCardReady"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.value, r.ordinal) << r.name;
}

// A cleared record means "nothing set": the writers skip every field of it.
TEST(CamDefines, RecordsStartCleared)
{
    const RemoteReleaseParametersType params;
    EXPECT_EQ(params.CompQuality, RemoteFormatQualityNotUsed);
    EXPECT_EQ(params.ISO, RemoteFormatISONotUsed);
    EXPECT_EQ(params.Beep, RemoteFormatBeepNotUsed);
    EXPECT_EQ(params.WhiteBalanceKelvin, 0);
    EXPECT_FALSE(params.WhiteBalanceShift.WBShiftEnabled);
    EXPECT_FALSE(params.PictureStyle.PictureStyleEnabled);
    EXPECT_EQ(params, RemoteReleaseParametersType{});

    const RemoteFuncType func;
    const auto& a = func.RemoteParamSupported;
    auto none = [](const auto& flags) { return std::none_of(flags.begin(), flags.end(), [](bool b) { return b; }); };
    EXPECT_TRUE(none(a.CompQuality) && none(a.ImageMode) && none(a.Tv) && none(a.Av) && none(a.Beep));
    EXPECT_FALSE(a.WhiteBalanceShift || a.PictureStyle || func.DoSupportViewfinder);

    const ViewfinderPositionType meta;
    EXPECT_FALSE(meta.Valid);
    EXPECT_TRUE(std::all_of(meta.Histogram.begin(), meta.Histogram.end(), [](quint32 v) { return v == 0; }));
    const AFFocusInfoType af;
    EXPECT_TRUE(std::none_of(af.Frames.begin(), af.Frames.end(), [](const AFFrameType& f) { return f.Present; }));
    EXPECT_EQ(ConnectInfoType{}.CameraModel, CamModNone);
}

TEST(CamDefines, SupportedValueArraysHaveAnEntryPerValueIncludingNotUsed)
{
    RemoteReleaseAvailParametersType avail;
    EXPECT_EQ(avail.ImageMode.size(), 45u);
    EXPECT_EQ(avail.Tv.size(), 60u);
    // A camera that offers none of a parameter's values still reports the parameter.
    avail.ISO[RemoteFormatISONotUsed] = true;
    avail.ISO[RemoteFormatISO102400] = true;
    EXPECT_TRUE(avail.ISO.front());
    EXPECT_TRUE(avail.ISO.back());
}

TEST(CamClock, FakeClockMovesOnBySleepingAndCallsBack)
{
    FakeCamClock fake;
    CamClockScope scope(fake);
    ASSERT_EQ(&camClock(), &fake);

    int calls = 0;
    fake.onSleep = [&](int ms) { calls += ms == 100 ? 1 : 0; };
    const qint64 start = camClock().tickCount();
    for (int i = 0; i < 51; ++i)
        camClock().sleep(100);
    EXPECT_EQ(camClock().tickCount() - start, 5100);
    EXPECT_EQ(fake.sleepCount(), 51);
    EXPECT_EQ(fake.sleptMs(), 5100);
    EXPECT_EQ(calls, 51);

    camClock().sleep(-5); // counts as a call, moves no time
    EXPECT_EQ(camClock().tickCount() - start, 5100);
    fake.advance(7);
    EXPECT_EQ(camClock().tickCount() - start, 5107);
}

TEST(CamClock, ScopesNestAndRestoreTheRealClock)
{
    CamClock* real = &camClock();
    FakeCamClock outer, inner;
    {
        CamClockScope a(outer);
        {
            CamClockScope b(inner);
            EXPECT_EQ(&camClock(), &inner);
        }
        EXPECT_EQ(&camClock(), &outer);
    }
    EXPECT_EQ(&camClock(), real);
}

TEST(CamClock, RealClockSleepsAtLeastTheTimeAsked)
{
    CamClock& clock = camClock();
    const qint64 start = clock.tickCount();
    clock.sleep(20);
    EXPECT_GE(clock.tickCount() - start, 20);
}

TEST(CamDefines, ExceptionCarriesItsMessage)
{
    try {
        throw ECamException(QStringLiteral("EdsOpenSession failed: 0000A102 Device busy – ü"));
    } catch (const std::runtime_error& e) {
        const auto* cam = dynamic_cast<const ECamException*>(&e);
        ASSERT_NE(cam, nullptr);
        EXPECT_EQ(cam->message(), QStringLiteral("EdsOpenSession failed: 0000A102 Device busy – ü"));
    }
}

} // namespace
