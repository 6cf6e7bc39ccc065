// The release parameters of an EOS camera: reading them into one record, writing a record back (each
// refused value retried for a while, then left as the camera has it), and the probe that finds which
// values the camera accepts, kept in a cache file per camera model and shooting mode.
#include "TEDSDK.h"

#include "CamConverters.h"
#include "CamNotify.h"
#include "CamParamFiles.h"
#include "EDSDK.h"

#include "platform/Delphi.h"

#include <QDir>

#include <algorithm>
#include <cstring>

namespace {

constexpr EdsPropertyID PropImageQuality = 0x100;
constexpr EdsPropertyID PropWhiteBalance = 0x106;
constexpr EdsPropertyID PropColorTemperature = 0x107;
constexpr EdsPropertyID PropWhiteBalanceShift = 0x108;
constexpr EdsPropertyID PropColorSpace = 0x10D;
constexpr EdsPropertyID PropPhotoEffect = 0x10F;
constexpr EdsPropertyID PropPictureStyle = 0x114;
constexpr EdsPropertyID PropPictureStyleDesc = 0x115;
constexpr EdsPropertyID PropAEMode = 0x400;
constexpr EdsPropertyID PropDriveMode = 0x401;
constexpr EdsPropertyID PropISOSpeed = 0x402;
constexpr EdsPropertyID PropMeteringMode = 0x403;
constexpr EdsPropertyID PropAFMode = 0x404;
constexpr EdsPropertyID PropAv = 0x405;
constexpr EdsPropertyID PropTv = 0x406;
constexpr EdsPropertyID PropExposureCompensation = 0x407;
constexpr EdsPropertyID PropEvfWhiteBalance = 0x502;

constexpr uint32_t NoShift = 0x7FFFFFFF; // white-balance shift and picture-style values the camera lacks

constexpr int ProbeSteps = 17;

bool Read(EdsCameraRef camera, EdsPropertyID property, uint32_t& value)
{
    return eds::EdsGetPropertyData(camera, property, 0, sizeof value, &value) == 0;
}

template <size_t N>
bool ReadValues(EdsCameraRef camera, EdsPropertyID property, uint32_t (&values)[N])
{
    return eds::EdsGetPropertyData(camera, property, 0, sizeof values, values) == 0;
}

bool WriteOnce(EdsCameraRef camera, EdsPropertyID property, const void* data, EdsUInt32 size)
{
    return eds::EdsSetPropertyData(camera, property, 0, size, data) == 0;
}

bool WriteOnce(EdsCameraRef camera, EdsPropertyID property, uint32_t value)
{
    return WriteOnce(camera, property, &value, sizeof value);
}

// A busy camera takes a value a moment later: retry every 100 ms until 5 s have been waited (at most
// 51 tries). A value it still refuses stays as the camera has it; nothing is raised.
void WriteRetrying(EdsCameraRef camera, EdsPropertyID property, const void* data, EdsUInt32 size)
{
    for (int waited = 0;; waited += 100) {
        if (WriteOnce(camera, property, data, size) || waited >= 5000)
            return;
        camClock().sleep(100);
    }
}

void WriteRetrying(EdsCameraRef camera, EdsPropertyID property, uint32_t value)
{
    WriteRetrying(camera, property, &value, sizeof value);
}

// The values a property offers, from the SDK's description record; none when it cannot be read.
std::vector<uint32_t> DescribedValues(EdsCameraRef camera, EdsPropertyID property, bool check)
{
    EdsPropertyDesc desc{};
    const EdsError err = eds::EdsGetPropertyDesc(camera, property, &desc);
    if (check)
        EDSDKCheck(err, QStringLiteral("EdsGetPropertyDesc"));
    if (err != 0)
        return {};
    const int count = std::clamp<int>(desc.numElements, 0, int(std::size(desc.propDesc)));
    std::vector<uint32_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(uint32_t(desc.propDesc[i]));
    return values;
}

// Marks one value of a supported-value array, ignoring ordinals the array has no entry for.
template <size_t N>
void Mark(std::array<bool, N>& avail, int ordinal)
{
    if (ordinal >= 0 && size_t(ordinal) < N)
        avail[size_t(ordinal)] = true;
}

// A group in which nothing was found offers only NotUsed, and the kept field is not written back.
template <size_t N, class E>
void SettleGroup(std::array<bool, N>& avail, E& keptField)
{
    if (std::none_of(avail.begin() + 1, avail.end(), [](bool b) { return b; })) {
        avail[0] = true;
        keptField = E(0);
    }
}

template <size_t N>
void OnlyNotUsed(std::array<bool, N>& avail)
{
    avail.fill(false);
    avail[0] = true;
}

// The cache file of one camera model in one shooting mode. The model name comes from the camera, so
// it is kept from naming a file outside the cache folder.
QString CacheFileName(const QString& dir, const QString& model, int mode)
{
    QString safeModel = model;
    safeModel.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (safeModel == QStringLiteral("..") || safeModel == QStringLiteral("."))
        safeModel.fill(QLatin1Char('_'));
    return QDir(dir).filePath(safeModel + QStringLiteral(" Mode") + QString::number(mode));
}

} // namespace

RemoteReleaseParametersType TEDSDK::RemoteGetRemoteParams()
{
    RemoteReleaseParametersType r{};
    const bool newer = IsNewerKind();
    EdsCameraRef cam = static_cast<EdsCameraRef>(mCameraDevice);
    uint32_t v = 0;

    if (Read(cam, PropImageQuality, v))
        UnpackEdsImageQuality(v, newer, r.CompQuality, r.CompQualityPic2RAW, r.ImageSize, r.ImageSizePic2RAW);
    if (Read(cam, PropAEMode, v))
        r.ImageMode = ShootingModeFromEds(int(v));
    if (Read(cam, PropAv, v))
        r.Av = AvFromCode(v & 0xFFFF);
    if (Read(cam, PropTv, v))
        r.Tv = TvFromCode(v & 0xFFFF);
    if (Read(cam, PropExposureCompensation, v))
        r.ExposureCompensation = ExposureCompFromEds(v & 0xFF);

    if (Read(cam, PropWhiteBalance, v))
        r.WhiteBalanceSetting = WBFromEds(int32_t(v));
    r.WhiteBalanceKelvin = 0;
    if (r.WhiteBalanceSetting == RemoteFormatWBKelvin && Read(cam, PropColorTemperature, v))
        r.WhiteBalanceKelvin = int(v);

    uint32_t shift[2] = {};
    if (ReadValues(cam, PropWhiteBalanceShift, shift) && shift[0] != NoShift && shift[1] != NoShift) {
        r.WhiteBalanceShift.WBShiftEnabled = true;
        r.WhiteBalanceShift.AmberBlue = int8_t(shift[0] & 0xFF);
        r.WhiteBalanceShift.GreenMagenta = int8_t(shift[1] & 0xFF);
    } else {
        r.WhiteBalanceShift = {};
    }

    if (Read(cam, PropAFMode, v))
        r.AFMode = AFModeFromEds(int(v));
    if (Read(cam, PropDriveMode, v))
        r.DriveMode = DriveModeFromEds(int(v));
    if (Read(cam, PropMeteringMode, v))
        r.MLWeiMode = MLWeiFromEds(int(v));
    if (Read(cam, PropColorSpace, v))
        r.ColorSpace = ColorSpaceFromEds(int(v));
    if (Read(cam, PropISOSpeed, v))
        r.ISO = ISOFromEds(int(v));

    if (Read(cam, PropPictureStyle, v)) {
        r.PictureStyle.PictureStyleEnabled = true;
        r.PictureStyle.PictureStyle = PictureStyleFromEds(v);
    }
    uint32_t style[6] = {};
    if (ReadValues(cam, PropPictureStyleDesc, style)) {
        auto& ps = r.PictureStyle;
        ps.PictureStyleEnabled = true;
        ps.Contrast = int8_t(style[0] & 0xFF);
        ps.Sharpness = uint8_t(style[1] & 0xFF);
        ps.SaturationUsed = style[2] != NoShift;
        ps.Saturation = ps.SaturationUsed ? int8_t(style[2]) : 0;
        ps.ColorToneUsed = style[3] != NoShift;
        ps.ColorTone = ps.ColorToneUsed ? int8_t(style[3]) : 0;
        // A filter or toning the record has no name for reads as not used.
        ps.MonochromeFilterUsed = style[4] != 0xFFFFFFFFu && style[4] <= MonochromeFilterGreen;
        ps.MonochromeFilter = ps.MonochromeFilterUsed ? MonochromeFilterType(style[4]) : MonochromeFilterNone;
        ps.MonochromeToneUsed = style[5] != 0xFFFFFFFFu && style[5] <= MonochromeToneGreen;
        ps.MonochromeTone = ps.MonochromeToneUsed ? MonochromeToneType(style[5]) : MonochromeToneNone;
    }

    if (Read(cam, PropPhotoEffect, v))
        r.PhotoEffect = PhotoEffectFromEds(int(v));
    return r;
}

void TEDSDK::RemoteSetRemoteParams(const RemoteReleaseParametersType& p)
{
    const bool newer = IsNewerKind();
    EdsCameraRef cam = static_cast<EdsCameraRef>(mCameraDevice);

    if (p.CompQuality == RemoteFormatQualityRAW
        || (p.CompQuality != RemoteFormatQualityNotUsed && p.ImageSize != RemoteFormatSizeNotUsed))
        WriteRetrying(cam, PropImageQuality,
                      PackEdsImageQuality(p.CompQuality, p.CompQualityPic2RAW, p.ImageSize, p.ImageSizePic2RAW, newer));

    if (p.ImageMode != RemoteFormatShootingModeNotUsed) {
        const int code = EdsShootingModeValue(p.ImageMode);
        if (code != -1)
            WriteRetrying(cam, PropAEMode, uint32_t(code));
    }
    if (p.Av != RemoteFormatAVNotUsed) {
        const uint32_t code = AvValue(p.Av);
        if (code != 0xFFFF)
            WriteRetrying(cam, PropAv, code);
    }
    if (p.Tv != RemoteFormatTVNotUsed) {
        const uint32_t code = TvValue(p.Tv);
        if (code != 0xFFFF)
            WriteRetrying(cam, PropTv, code);
    }
    if (p.ExposureCompensation != RemoteFormatExposureCompNotUsed) {
        const uint32_t code = EdsExposureCompValue(p.ExposureCompensation);
        if (code != 255)
            WriteRetrying(cam, PropExposureCompensation, code);
    }
    if (p.WhiteBalanceSetting != RemoteFormatWBNotUsed) {
        const int code = EdsWBValue(p.WhiteBalanceSetting);
        if (code != -10) {
            WriteRetrying(cam, PropWhiteBalance, uint32_t(code));
            if (mSupportViewfinder)
                WriteRetrying(cam, PropEvfWhiteBalance, uint32_t(code));
        }
    }
    if (p.WhiteBalanceSetting == RemoteFormatWBKelvin)
        WriteRetrying(cam, PropColorTemperature, uint32_t(p.WhiteBalanceKelvin / 100 * 100));
    if (p.WhiteBalanceShift.WBShiftEnabled) {
        const int32_t shift[2] = {p.WhiteBalanceShift.AmberBlue, p.WhiteBalanceShift.GreenMagenta};
        WriteRetrying(cam, PropWhiteBalanceShift, shift, sizeof shift);
    }
    if (p.AFMode != RemoteFormatAFModeNotUsed)
        WriteRetrying(cam, PropAFMode, uint32_t(EdsAFModeValue(p.AFMode)));
    if (p.DriveMode != RemoteFormatDriveModeNotUsed)
        WriteRetrying(cam, PropDriveMode, uint32_t(EdsDriveModeValue(p.DriveMode)));
    if (p.MLWeiMode != RemoteFormatMLWeiNotUsed) {
        const int code = EdsMLWeiValue(p.MLWeiMode);
        if (code != -1)
            WriteRetrying(cam, PropMeteringMode, uint32_t(code));
    }
    if (p.ColorSpace != RemoteFormatColorSpaceNotUsed) {
        const int code = EdsColorSpaceValue(p.ColorSpace);
        if (code != -1)
            WriteRetrying(cam, PropColorSpace, uint32_t(code));
    }
    if (p.ISO != RemoteFormatISONotUsed) {
        const uint32_t code = EdsISOValue(p.ISO);
        if (code != 255)
            WriteRetrying(cam, PropISOSpeed, code);
    }
    if (p.PictureStyle.PictureStyleEnabled) {
        const auto& ps = p.PictureStyle;
        WriteRetrying(cam, PropPictureStyle, EdsPictureStyleValue(ps.PictureStyle));
        const uint32_t desc[6] = {
            uint32_t(int32_t(ps.Contrast)),
            uint32_t(ps.Sharpness),
            ps.SaturationUsed ? uint32_t(int32_t(ps.Saturation)) : NoShift,
            ps.ColorToneUsed ? uint32_t(int32_t(ps.ColorTone)) : NoShift,
            ps.MonochromeFilterUsed ? uint32_t(ps.MonochromeFilter) : 0xFFFFFFFFu,
            ps.MonochromeToneUsed ? uint32_t(ps.MonochromeTone) : 0xFFFFFFFFu,
        };
        WriteRetrying(cam, PropPictureStyleDesc, desc, sizeof desc);
    }
    if (p.PhotoEffect != RemoteFormatPhotoEffectNotUsed) {
        const int code = EdsPhotoEffectValue(p.PhotoEffect) & 0x7F;
        if (code != 99)
            WriteRetrying(cam, PropPhotoEffect, uint32_t(code));
    }
}

void TEDSDK::ProbeRemoteParameters(const QString& CacheRemoteParamDir, RemoteReleaseAvailParametersType& a)
{
    EdsCameraRef cam = static_cast<EdsCameraRef>(mCameraDevice);
    a = {};

    QString cacheFile;
    if (!CacheRemoteParamDir.isEmpty()) {
        uint32_t v = 0;
        const int mode = Read(cam, PropAEMode, v) ? int(ShootingModeFromEds(int(v))) : 0;
        cacheFile = CacheFileName(CacheRemoteParamDir, mCameraInfo.CameraModelName, mode);
        RemoteReleaseAvailParametersType cached{};
        if (LoadRemoteParamCache(cacheFile, cached)) {
            a = cached;
            return;
        }
    }

    RemoteReleaseParametersType kept = RemoteGetRemoteParams();
    int step = 1;
    auto report = [&] { ReportProbeProgress(int(mInstanceNumber), Round(step * 100.0 / ProbeSteps)); };
    report();

    // Image quality.
    const bool newer = IsNewerKind();
    if (newer) {
        for (uint32_t value : DescribedValues(cam, PropImageQuality, true)) {
            RemoteFormatQualityType q, q2;
            RemoteFormatSizeType s, s2;
            UnpackEdsImageQuality(value, newer, q, q2, s, s2);
            Mark(a.CompQuality, q);
            Mark(a.CompQualityPic2RAW, q2);
            Mark(a.ImageSize, s);
            Mark(a.ImageSizePic2RAW, s2);
        }
        step += 3;
        report();
    } else {
        auto accepted = [&](uint32_t value) {
            if (!WriteOnce(cam, PropImageQuality, value))
                return false;
            camClock().sleep(50);
            uint32_t back = 0;
            return Read(cam, PropImageQuality, back) && back == value;
        };
        for (int q = RemoteFormatQualityEconomy; q <= RemoteFormatQualityRAW; ++q)
            for (int s = RemoteFormatSizeLarge; s <= RemoteFormatSizeMedium3; ++s)
                if (accepted(PackEdsImageQuality(RemoteFormatQualityType(q), RemoteFormatQualityNotUsed,
                                                 RemoteFormatSizeType(s), RemoteFormatSizeNotUsed, false))) {
                    Mark(a.CompQuality, q);
                    if (q != RemoteFormatQualityRAW)
                        Mark(a.ImageSize, s);
                }
        step += 2;
        report();
        for (int q = RemoteFormatQualityEconomy; q <= RemoteFormatQualitySuperfine; ++q)
            for (int s = RemoteFormatSizeLarge; s <= RemoteFormatSizeMedium3; ++s)
                if (accepted(PackEdsImageQuality(RemoteFormatQualityRAW, RemoteFormatQualityType(q),
                                                 RemoteFormatSizeLarge, RemoteFormatSizeType(s), false))) {
                    Mark(a.CompQualityPic2RAW, q);
                    Mark(a.ImageSizePic2RAW, s);
                }
        step += 1;
        report();
    }
    SettleGroup(a.CompQuality, kept.CompQuality);
    SettleGroup(a.ImageSize, kept.ImageSize);
    SettleGroup(a.CompQualityPic2RAW, kept.CompQualityPic2RAW);
    SettleGroup(a.ImageSizePic2RAW, kept.ImageSizePic2RAW);

    // Shooting mode, aperture, shutter speed, exposure compensation: the values the camera lists.
    for (uint32_t code : DescribedValues(cam, PropAEMode, false))
        Mark(a.ImageMode, ShootingModeFromEds(int(code)) & 0x7F);
    SettleGroup(a.ImageMode, kept.ImageMode);
    ++step;
    report();
    for (uint32_t code : DescribedValues(cam, PropAv, false))
        Mark(a.Av, AvFromCode(code & 0xFFFF));
    SettleGroup(a.Av, kept.Av);
    ++step;
    report();
    for (uint32_t code : DescribedValues(cam, PropTv, false))
        Mark(a.Tv, TvFromCode(code & 0xFFFF));
    SettleGroup(a.Tv, kept.Tv);
    ++step;
    report();
    for (uint32_t code : DescribedValues(cam, PropExposureCompensation, false))
        Mark(a.ExposureCompensation, ExposureCompFromEds(code & 0xFF));
    SettleGroup(a.ExposureCompensation, kept.ExposureCompensation);
    ++step;
    report();

    // White balance: each value the camera takes.
    for (int wb = RemoteFormatWBAuto; wb <= RemoteFormatWBPCSet3; ++wb) {
        const int code = EdsWBValue(RemoteFormatWBType(wb));
        if (code != -10 && WriteOnce(cam, PropWhiteBalance, uint32_t(code)))
            Mark(a.WhiteBalanceSetting, wb);
    }
    SettleGroup(a.WhiteBalanceSetting, kept.WhiteBalanceSetting);
    ++step;
    report();

    uint32_t shift[2] = {};
    a.WhiteBalanceShift = ReadValues(cam, PropWhiteBalanceShift, shift) && shift[0] != NoShift && shift[1] != NoShift;
    if (!a.WhiteBalanceShift)
        kept.WhiteBalanceShift = {};
    ++step;
    report();

    for (auto mode : {RemoteFormatAFModeOneShot, RemoteFormatAFModeAIServo, RemoteFormatAFModeAIFocus})
        if (WriteOnce(cam, PropAFMode, uint32_t(EdsAFModeValue(mode))))
            Mark(a.AFMode, mode);
    Mark(a.AFMode, RemoteFormatAFModeManual);
    ++step;
    report();

    const uint32_t singleFrame = uint32_t(EdsDriveModeValue(RemoteFormatDriveModeSingleFrame));
    for (int mode = RemoteFormatDriveModeSingleFrame; mode <= RemoteFormatDriveMode2SecSelfTimer; ++mode) {
        if (WriteOnce(cam, PropDriveMode, uint32_t(EdsDriveModeValue(RemoteFormatDriveModeType(mode)))))
            Mark(a.DriveMode, mode);
        WriteOnce(cam, PropDriveMode, singleFrame);
    }
    SettleGroup(a.DriveMode, kept.DriveMode);
    ++step;
    report();

    for (uint32_t code : DescribedValues(cam, PropMeteringMode, false))
        Mark(a.MLWeiMode, MLWeiFromEds(int(code)));
    SettleGroup(a.MLWeiMode, kept.MLWeiMode);
    ++step;
    report();

    for (auto space : {RemoteFormatColorSpaceSRGB, RemoteFormatColorSpaceAdobeRGB}) {
        const int code = EdsColorSpaceValue(space);
        if (code != -1 && WriteOnce(cam, PropColorSpace, uint32_t(code)))
            Mark(a.ColorSpace, space);
    }
    SettleGroup(a.ColorSpace, kept.ColorSpace);
    ++step;
    report();

    for (uint32_t code : DescribedValues(cam, PropISOSpeed, false))
        Mark(a.ISO, ISOFromEds(int(code)));
    SettleGroup(a.ISO, kept.ISO);
    ++step;
    report();

    uint32_t style[6] = {};
    a.PictureStyle = ReadValues(cam, PropPictureStyleDesc, style);
    if (!a.PictureStyle)
        kept.PictureStyle.PictureStyleEnabled = false;
    ++step;
    OnlyNotUsed(a.Contrast);
    OnlyNotUsed(a.ColorGain);
    OnlyNotUsed(a.Sharpness);
    kept.Contrast = kept.ColorGain = kept.Sharpness = RemoteFormatLevelNotUsed;
    report();

    for (int effect = RemoteFormatPhotoEffectOff; effect <= RemoteFormatPhotoEffectBW; ++effect) {
        const int code = EdsPhotoEffectValue(RemoteFormatPhotoEffectType(effect)) & 0x7F;
        if (code != 99 && WriteOnce(cam, PropPhotoEffect, uint32_t(code)))
            Mark(a.PhotoEffect, effect);
    }
    SettleGroup(a.PhotoEffect, kept.PhotoEffect);
    ++step;
    report();

    // Not EOS parameters.
    OnlyNotUsed(a.AFDistance);
    OnlyNotUsed(a.AFFocusingPoint);
    OnlyNotUsed(a.AFAssistLight);
    OnlyNotUsed(a.StrobeSetting);
    OnlyNotUsed(a.StrobeCompSetting);
    OnlyNotUsed(a.Beep);
    kept.AFDistance = RemoteFormatAFDistNotUsed;
    kept.AFFocusingPoint = RemoteFormatAFFocusingPointNotUsed;
    kept.AFAssistLight = RemoteFormatAFLightNotUsed;
    kept.StrobeSetting = RemoteFormatFlashNotUsed;
    kept.StrobeCompSetting = RemoteFormatFlashCompNotUsed;
    kept.Beep = RemoteFormatBeepNotUsed;

    // Puts back every parameter the trials changed.
    RemoteSetRemoteParams(kept);

    if (!cacheFile.isEmpty())
        SaveRemoteParamCache(cacheFile, a);
}
