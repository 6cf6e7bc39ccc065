// What the camera windows share: the description of the camera connected through the camera
// wizard, the names shown for the release parameters' values, and the lists of values the camera
// settings dialog offers.
#pragma once

#include "TCamRemote/Sources/CamDefines.h"

#include <QString>
#include <QStringList>

#include <vector>

// The camera last connected in the wizard, what it reported when remote mode started, and the
// release mode remote mode was started with.
extern ConnectInfoType CameraConnectInfo;
extern RemoteFuncType CameraRemoteFunc;
extern ReleaseModeType CameraReleaseMode;

// Texts of the values of each release parameter, indexed by the value; index 0 (not used) is "-".
const QStringList& ImageSizeTexts();
const QStringList& CompQualityTexts();
const QStringList& LevelTexts(); // contrast, sharpness, colour gain
const QStringList& FlashTexts();
const QStringList& ISOTexts();
const QStringList& TvTexts();

// An exposure time in seconds as the camera shows it: 0.3 s and longer as whole seconds, a double
// quote and the tenths digit when there is one (30", 3"2, 0"8); shorter ones as "1/n".
QString ExposureTimeText(double seconds);

// Per release parameter, the values offered in the matching list of the settings dialog; entry i
// of a list stands for element i.
struct CameraRemoteParamType {
    std::vector<RemoteFormatSizeType> ImageSize;
    std::vector<RemoteFormatQualityType> CompQuality;
    std::vector<RemoteFormatTVType> Tv;
    std::vector<RemoteFormatISOType> ISO;
    std::vector<RemoteFormatFlashType> StrobeSetting;
    std::vector<RemoteFormatLevelType> Contrast;
    std::vector<RemoteFormatLevelType> ColorGain;
    std::vector<RemoteFormatLevelType> Sharpness;
};

// Runs a camera operation; a camera failure is logged and shown, and false returned, so the
// window that asked stays usable.
template <typename F>
bool CameraCall(F&& call);

void ReportCameraFailure(const ECamException& e);

template <typename F>
bool CameraCall(F&& call)
{
    try {
        call();
        return true;
    } catch (const ECamException& e) {
        ReportCameraFailure(e);
        return false;
    }
}
