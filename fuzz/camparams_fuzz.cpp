// The camera parameter file and the probe cache on arbitrary bytes: no crash, no undefined
// behaviour; a file either loads and writes back as the same bytes (a short one with the record's
// earlier flags after its end), or is refused and leaves the record it was read into as it was.
#include "TCamRemote/Sources/CamParamFiles.h"

#include <cstdint>
#include <cstdlib>

namespace {

void checkCache(const QByteArray& bytes)
{
    RemoteReleaseAvailParametersType before;
    before.Tv[RemoteFormatTV1_125] = true;
    RemoteReleaseAvailParametersType avail = before;
    if (RemoteParamCacheFromFileBytes(bytes, avail)) {
        // A file that ends early sets the flags it holds; the others keep what they were.
        const QByteArray held = bytes.mid(4);
        const QByteArray expected = held + RemoteParamCacheRecord(before).mid(held.size());
        if (RemoteParamCacheRecord(avail) != expected)
            std::abort();
    } else if (!(avail == before)) {
        std::abort();
    }
}

void checkParams(const QByteArray& bytes)
{
    RemoteReleaseParametersType before;
    before.ISO = RemoteFormatISO100;
    RemoteReleaseParametersType params = before;
    if (CameraRemoteParamsFromFileBytes(bytes, params)) {
        QByteArray expected = bytes.mid(4);
        for (int unused : {14, 15, 45, 46, 47})
            expected[unused] = '\0';
        if (CameraRemoteParamsRecord(params) != expected)
            std::abort();
    } else if (!(params == before)) {
        std::abort();
    }
}

void checkQuality(const QByteArray& bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < 4 && i < bytes.size(); ++i)
        value |= uint32_t(quint8(bytes[i])) << (8 * i);
    for (bool newer : {false, true}) {
        RemoteFormatQualityType q1, q2;
        RemoteFormatSizeType s1, s2;
        UnpackEdsImageQuality(value, newer, q1, q2, s1, s2);
        if (q1 >= CamEnumCount<RemoteFormatQualityType> || q2 >= CamEnumCount<RemoteFormatQualityType>
            || s1 >= CamEnumCount<RemoteFormatSizeType> || s2 >= CamEnumCount<RemoteFormatSizeType>)
            std::abort();
        PackEdsImageQuality(q1, q2, s1, s2, newer);
    }
    if (PictureStyleFromEds(value) >= CamEnumCount<PictureStyleNumberType>
        || EvfAFModeFromEds(value) >= CamEnumCount<RemoteViewFinderAFModeType>)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0; // both files are a few hundred bytes; longer ones differ only in being too long
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkCache(bytes);
    checkParams(bytes);
    checkQuality(bytes);
    return 0;
}
