// The cache and parameter files read whole, bounded by their fixed sizes and checked byte by byte
// before any field is set; written through the atomic file writer so a failed write keeps the old file.
#include "TCamRemote/Sources/CamParamFiles.h"

#include "TCamRemote/Sources/CamConverters.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <type_traits>

namespace {

// Visits the fields of the supported-value record in file order; single flags come as one entry.
template <typename Avail, typename Visit>
void forEachAvailField(Avail& a, Visit visit)
{
    auto flags = [&](auto& field) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, bool>)
            visit(&field, std::size_t(1));
        else
            visit(field.data(), field.size());
    };
    flags(a.CompQuality);
    flags(a.CompQualityPic2RAW);
    flags(a.ImageSize);
    flags(a.ImageSizePic2RAW);
    flags(a.StrobeSetting);
    flags(a.StrobeCompSetting);
    flags(a.DriveMode);
    flags(a.ImageMode);
    flags(a.MLWeiMode);
    flags(a.AFMode);
    flags(a.AFDistance);
    flags(a.AFFocusingPoint);
    flags(a.AFAssistLight);
    flags(a.WhiteBalanceSetting);
    flags(a.WhiteBalanceShift);
    flags(a.PictureStyle);
    flags(a.Contrast);
    flags(a.ColorGain);
    flags(a.Sharpness);
    flags(a.ColorSpace);
    flags(a.ISO);
    flags(a.Av);
    flags(a.Tv);
    flags(a.ExposureCompensation);
    flags(a.PhotoEffect);
    flags(a.Beep);
}

QString nativeName(const QString& fileName)
{
    return QDir::toNativeSeparators(fileName);
}

// Reads at most `size` + 1 bytes, so a huge or endless file costs no more than a right one.
// Raises for a file that exists but cannot be opened, and for anything but a regular file: a FIFO
// or a device under the name would block the reader or never end. Opened without blocking and
// judged by what was opened, so nothing swapped in after a look at the name slips through.
QByteArray readBounded(const QString& fileName, int size)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw ECamException(QStringLiteral("Cannot open file \"%1\". %2").arg(nativeName(fileName), qt_error_string(errno)));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw ECamException(QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(nativeName(fileName)));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw ECamException(QStringLiteral("Cannot open file \"%1\". %2").arg(nativeName(fileName), file.errorString()));
    }
    return file.read(size + 1);
}

void writeWhole(const QString& fileName, const QByteArray& bytes)
{
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QDir().mkpath(folder))
        throw ECamException(QStringLiteral("Cannot create folder \"%1\".").arg(nativeName(folder)));
    QString error;
    if (writeFileAtomically(fileName, bytes, &error) != 0)
        throw ECamException(QStringLiteral("Cannot create file \"%1\". %2").arg(nativeName(fileName), error));
}

QByteArray int32Bytes(qint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

qint32 int32At(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

} // namespace

// --- Remote-parameter cache -------------------------------------------------------------------

QByteArray RemoteParamCacheRecord(const RemoteReleaseAvailParametersType& Avail)
{
    QByteArray bytes;
    bytes.reserve(RemoteParamCacheRecordSize);
    forEachAvailField(Avail, [&](const bool* flags, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            bytes.append(flags[i] ? '\1' : '\0');
    });
    Q_ASSERT(bytes.size() == RemoteParamCacheRecordSize);
    return bytes;
}

namespace {

// The flags that `bytes` holds, from the record's start; those beyond its end keep what `base`
// has. False when a byte is neither 0 nor 1.
bool fillFromRecordPart(const QByteArray& bytes, RemoteReleaseAvailParametersType base,
                        RemoteReleaseAvailParametersType& Avail)
{
    for (char c : bytes)
        if (c != '\0' && c != '\1')
            return false;
    qsizetype pos = 0;
    forEachAvailField(base, [&](bool* flags, std::size_t n) {
        for (std::size_t i = 0; i < n && pos < bytes.size(); ++i)
            flags[i] = bytes[pos++] == '\1';
    });
    Avail = base;
    return true;
}

} // namespace

bool RemoteParamCacheFromRecord(const QByteArray& bytes, RemoteReleaseAvailParametersType& Avail)
{
    if (bytes.size() != RemoteParamCacheRecordSize)
        return false;
    return fillFromRecordPart(bytes, RemoteReleaseAvailParametersType{}, Avail);
}

bool RemoteParamCacheFromFileBytes(const QByteArray& bytes, RemoteReleaseAvailParametersType& Avail)
{
    if (bytes.size() < 4 || bytes.size() > RemoteParamCacheFileSize || int32At(bytes, 0) != RemoteParamCacheMagic)
        return false;
    // A file that ends early fills the part of the record that it holds.
    return fillFromRecordPart(bytes.mid(4), Avail, Avail);
}

bool LoadRemoteParamCache(const QString& FileName, RemoteReleaseAvailParametersType& Avail)
{
    if (!QFileInfo::exists(FileName))
        return false;
    return RemoteParamCacheFromFileBytes(readBounded(FileName, RemoteParamCacheFileSize), Avail);
}

void SaveRemoteParamCache(const QString& FileName, const RemoteReleaseAvailParametersType& Avail)
{
    writeWhole(FileName, int32Bytes(RemoteParamCacheMagic) + RemoteParamCacheRecord(Avail));
}

// --- Camera parameter file --------------------------------------------------------------------

QByteArray CameraRemoteParamsRecord(const RemoteReleaseParametersType& p)
{
    QByteArray b(CameraRemoteParamsRecordSize, '\0');
    auto put = [&](int offset, int value) { b[offset] = char(value & 0xFF); };
    put(0, p.CompQuality);
    put(1, p.CompQualityPic2RAW);
    put(2, p.ImageSize);
    put(3, p.ImageSizePic2RAW);
    put(4, p.StrobeSetting);
    put(5, p.StrobeCompSetting);
    put(6, p.ImageMode);
    put(7, p.DriveMode);
    put(8, p.MLWeiMode);
    put(9, p.AFMode);
    put(10, p.AFDistance);
    put(11, p.AFFocusingPoint);
    put(12, p.AFAssistLight);
    put(13, p.WhiteBalanceSetting);
    qToLittleEndian<qint32>(p.WhiteBalanceKelvin, b.data() + 16);
    put(20, p.WhiteBalanceShift.WBShiftEnabled);
    put(21, p.WhiteBalanceShift.AmberBlue);
    put(22, p.WhiteBalanceShift.GreenMagenta);
    const PictureStyleType& s = p.PictureStyle;
    put(23, s.PictureStyleEnabled);
    put(24, s.PictureStyle);
    put(25, s.Contrast);
    put(26, s.Sharpness);
    put(27, s.Saturation);
    put(28, s.SaturationUsed);
    put(29, s.ColorTone);
    put(30, s.ColorToneUsed);
    put(31, s.MonochromeFilter);
    put(32, s.MonochromeFilterUsed);
    put(33, s.MonochromeTone);
    put(34, s.MonochromeToneUsed);
    put(35, p.Contrast);
    put(36, p.ColorGain);
    put(37, p.Sharpness);
    put(38, p.ColorSpace);
    put(39, p.ISO);
    put(40, p.Av);
    put(41, p.Tv);
    put(42, p.ExposureCompensation);
    put(43, p.PhotoEffect);
    put(44, p.Beep);
    return b;
}

bool CameraRemoteParamsFromRecord(const QByteArray& b, RemoteReleaseParametersType& Params)
{
    if (b.size() != CameraRemoteParamsRecordSize)
        return false;
    bool ok = true;
    // An enumeration byte beyond its last value, or a flag other than 0 or 1, marks a damaged file.
    auto enumAt = [&]<typename E>(int offset, E& field) {
        const int v = quint8(b[offset]);
        if (v >= CamEnumCount<E>)
            ok = false;
        else
            field = static_cast<E>(v);
    };
    auto flagAt = [&](int offset, bool& field) {
        const int v = quint8(b[offset]);
        if (v > 1)
            ok = false;
        field = v == 1;
    };
    // The integer subranges keep whatever the camera reported.
    auto signedAt = [&](int offset) { return qint8(b[offset]); };

    RemoteReleaseParametersType p;
    enumAt(0, p.CompQuality);
    enumAt(1, p.CompQualityPic2RAW);
    enumAt(2, p.ImageSize);
    enumAt(3, p.ImageSizePic2RAW);
    enumAt(4, p.StrobeSetting);
    enumAt(5, p.StrobeCompSetting);
    enumAt(6, p.ImageMode);
    enumAt(7, p.DriveMode);
    enumAt(8, p.MLWeiMode);
    enumAt(9, p.AFMode);
    enumAt(10, p.AFDistance);
    enumAt(11, p.AFFocusingPoint);
    enumAt(12, p.AFAssistLight);
    enumAt(13, p.WhiteBalanceSetting);
    p.WhiteBalanceKelvin = int32At(b, 16);
    flagAt(20, p.WhiteBalanceShift.WBShiftEnabled);
    p.WhiteBalanceShift.AmberBlue = signedAt(21);
    p.WhiteBalanceShift.GreenMagenta = signedAt(22);
    PictureStyleType& s = p.PictureStyle;
    flagAt(23, s.PictureStyleEnabled);
    enumAt(24, s.PictureStyle);
    s.Contrast = signedAt(25);
    s.Sharpness = quint8(b[26]);
    s.Saturation = signedAt(27);
    flagAt(28, s.SaturationUsed);
    s.ColorTone = signedAt(29);
    flagAt(30, s.ColorToneUsed);
    enumAt(31, s.MonochromeFilter);
    flagAt(32, s.MonochromeFilterUsed);
    enumAt(33, s.MonochromeTone);
    flagAt(34, s.MonochromeToneUsed);
    enumAt(35, p.Contrast);
    enumAt(36, p.ColorGain);
    enumAt(37, p.Sharpness);
    enumAt(38, p.ColorSpace);
    enumAt(39, p.ISO);
    enumAt(40, p.Av);
    enumAt(41, p.Tv);
    enumAt(42, p.ExposureCompensation);
    enumAt(43, p.PhotoEffect);
    enumAt(44, p.Beep);
    if (!ok)
        return false;
    Params = p;
    return true;
}

bool CameraRemoteParamsFromFileBytes(const QByteArray& bytes, RemoteReleaseParametersType& Params)
{
    if (bytes.size() != CameraRemoteParamsFileSize || int32At(bytes, 0) != CameraRemoteParamsRecordSize)
        return false;
    return CameraRemoteParamsFromRecord(bytes.mid(4), Params);
}

RemoteReleaseParametersType LoadCameraRemoteParams(const QString& FileName)
{
    if (!QFileInfo::exists(FileName))
        throw ECamException(QStringLiteral("Cannot open file \"%1\". The file does not exist.").arg(nativeName(FileName)));
    RemoteReleaseParametersType params;
    if (!CameraRemoteParamsFromFileBytes(readBounded(FileName, CameraRemoteParamsFileSize), params))
        throw ECamException(QStringLiteral("Camera remote parameters file ") + FileName
                            + QStringLiteral(" is of invalid data format. Please create a new file."));
    return params;
}

void SaveCameraRemoteParams(const QString& FileName, const RemoteReleaseParametersType& Params)
{
    writeWhole(FileName, int32Bytes(CameraRemoteParamsRecordSize) + CameraRemoteParamsRecord(Params));
}

// --- EOS value packing ------------------------------------------------------------------------

uint32_t PackEdsImageQuality(RemoteFormatQualityType CompQuality, RemoteFormatQualityType CompQualityPic2RAW,
                             RemoteFormatSizeType ImageSize, RemoteFormatSizeType ImageSizePic2RAW, bool Newer)
{
    auto quality = [](RemoteFormatQualityType q) { return uint32_t(EdsQualityValue(q)) & 0xF; };
    auto size = [](RemoteFormatSizeType s) { return uint32_t(EdsSizeValue(s)) & 0xF; };
    if (CompQuality != RemoteFormatQualityRAW) {
        uint32_t value = (size(ImageSize) << 24) + 0x100000 + (quality(CompQuality) << 16);
        if (Newer)
            value += 0xFF0F; // no second picture
        return value;
    }
    uint32_t value = (Newer ? 0x600000u : 0x200000u) + 0x40000;
    if (CompQualityPic2RAW != RemoteFormatQualityNotUsed || ImageSizePic2RAW != RemoteFormatSizeNotUsed)
        value += (size(ImageSizePic2RAW) << 8) + 0x10 + quality(CompQualityPic2RAW);
    else if (Newer)
        value += 0x0F0F;
    return value;
}

void UnpackEdsImageQuality(uint32_t Value, bool Newer, RemoteFormatQualityType& CompQuality,
                           RemoteFormatQualityType& CompQualityPic2RAW, RemoteFormatSizeType& ImageSize,
                           RemoteFormatSizeType& ImageSizePic2RAW)
{
    const int mainSize = (Value >> 24) & 0xF;
    const int mainFormat = (Value >> 20) & 0xF;
    const int mainCompression = (Value >> 16) & 0xF;
    const int secondSize = (Value >> 8) & 0xF;
    const int secondFormat = (Value >> 4) & 0xF;
    const int secondCompression = Value & 0xF;

    ImageSize = SizeFromEds(mainSize);
    if (mainFormat == 6 || mainFormat == 2)
        CompQuality = QualityFromEds(4);
    else
        CompQuality = QualityFromEds(Newer && mainCompression == 0 ? 5 : mainCompression);
    if (secondFormat != 0) {
        ImageSizePic2RAW = SizeFromEds(secondSize);
        CompQualityPic2RAW = QualityFromEds(Newer && secondCompression == 0 ? 5 : secondCompression);
    } else {
        ImageSizePic2RAW = RemoteFormatSizeNotUsed;
        CompQualityPic2RAW = RemoteFormatQualityNotUsed;
    }
}

uint32_t EdsDriveLensValue(RemoteViewFinderDriveLensType DriveLens)
{
    switch (DriveLens & 0x7F) {
    case RemoteViewFinderDriveLensNear2: return 2;
    case RemoteViewFinderDriveLensNear3: return 3;
    case RemoteViewFinderDriveLensFar1: return 0x8001;
    case RemoteViewFinderDriveLensFar2: return 0x8002;
    case RemoteViewFinderDriveLensFar3: return 0x8003;
    default: return 1; // Near1
    }
}

uint32_t EdsEvfAFModeValue(RemoteViewFinderAFModeType AFMode)
{
    switch (AFMode & 0x7F) {
    case RemoteViewFinderAFModeLive: return 1;
    case RemoteViewFinderAFModeLiveFace: return 2;
    case RemoteViewFinderAFModeLiveMulti: return 3;
    default: return 0; // Quick
    }
}

RemoteViewFinderAFModeType EvfAFModeFromEds(uint32_t Value)
{
    switch (Value & 0xFF) {
    case 1: return RemoteViewFinderAFModeLive;
    case 2: return RemoteViewFinderAFModeLiveFace;
    case 3: return RemoteViewFinderAFModeLiveMulti;
    default: return RemoteViewFinderAFModeQuick;
    }
}

uint32_t EdsEvfZoomValue(RemoteViewFinderZoomType Zoom)
{
    switch (Zoom & 0x7F) {
    case RemoteViewFinderZoomx5: return 5;
    case RemoteViewFinderZoomx10: return 10;
    default: return 1; // Fit
    }
}

uint32_t EdsShutterButtonValue(RemoteShutterButtonType Button)
{
    switch (Button) {
    case RemoteShutterButtonHalfPressed: return 1;
    case RemoteShutterButtonCompletelyPressed: return 3;
    case RemoteShutterButtonHalfPressedNonAF: return 0x10001;
    case RemoteShutterButtonCompletelyPressedNonAF: return 0x10003;
    default: return 0; // Off
    }
}

namespace {

struct StyleRow {
    PictureStyleNumberType style;
    uint32_t code;
};
const StyleRow kPictureStyles[] = {
    {PictureStyleStandard, 0x81}, {PictureStylePortrait, 0x82}, {PictureStyleLandscape, 0x83},
    {PictureStyleNeutral, 0x84}, {PictureStyleFaithful, 0x85}, {PictureStyleMonochrome, 0x86},
    {PictureStyleUser1, 0x21}, {PictureStyleUser2, 0x22}, {PictureStyleUser3, 0x23},
    {PictureStylePC1, 0x41}, {PictureStylePC2, 0x42}, {PictureStylePC3, 0x43},
    {PictureStyleAuto, 0x87},
};

} // namespace

uint32_t EdsPictureStyleValue(PictureStyleNumberType Style)
{
    for (const StyleRow& r : kPictureStyles)
        if (r.style == Style)
            return r.code;
    return 0x81;
}

PictureStyleNumberType PictureStyleFromEds(uint32_t Value)
{
    for (const StyleRow& r : kPictureStyles)
        if (r.code == Value)
            return r.style;
    return PictureStyleStandard;
}
