#include "acquisition/CanonEOS_Varia.h"

#include "shell/TF_ErrorLog.h"

#include <cmath>

ConnectInfoType CameraConnectInfo;
RemoteFuncType CameraRemoteFunc;
ReleaseModeType CameraReleaseMode = ReleaseModeOnlyToPC;

namespace {

QStringList withNotUsed(QStringList texts)
{
    texts.prepend(QStringLiteral("-"));
    return texts;
}

} // namespace

const QStringList& ImageSizeTexts()
{
    static const QStringList texts = withNotUsed({"Large", "Medium", "Small", "Medium1", "Medium2", "Medium3"});
    return texts;
}

const QStringList& CompQualityTexts()
{
    static const QStringList texts = withNotUsed({"Economy", "Normal", "Fine", "Super Fine", "RAW"});
    return texts;
}

const QStringList& LevelTexts()
{
    static const QStringList texts = withNotUsed({"Low", "Default", "High"});
    return texts;
}

const QStringList& FlashTexts()
{
    // Red-eye reduction alone has its own text, so the list shows the camera's own value and
    // writes back what was chosen.
    static const QStringList texts =
        withNotUsed({"Off", "Auto", "On", "red eye", "auto+slow sync", "auto+red eye", "on+red eye"});
    return texts;
}

const QStringList& ISOTexts()
{
    static const QStringList texts = withNotUsed({"Auto", "50", "64", "80", "100", "125", "160", "200", "250", "320",
                                                  "400", "500", "640", "800", "1000", "1250", "1600", "2000", "2500",
                                                  "3200", "6400", "12800", "25600", "51200", "102400"});
    return texts;
}

QString ExposureTimeText(double seconds)
{
    if (seconds >= 0.3 - 1e-9) {
        const int tenths = int(std::lround(seconds * 10));
        QString text = QString::number(tenths / 10) + QLatin1Char('"');
        if (tenths % 10)
            text += QString::number(tenths % 10);
        return text;
    }
    return QStringLiteral("1/") + QString::number(std::lround(1.0 / seconds));
}

const QStringList& TvTexts()
{
    static const QStringList texts = [] {
        QStringList t{QStringLiteral("-"), QStringLiteral("Bulb")};
        for (double s : {30.0, 25.0, 20.0, 15.0, 13.0, 10.0, 8.0, 6.0, 5.0, 4.0, 3.2, 2.5, 2.0, 1.6, 1.3, 1.0, 0.8, 0.6,
                         0.5, 0.4, 0.3})
            t << ExposureTimeText(s);
        for (int d : {4, 5, 6, 8, 10, 13, 15, 20, 25, 30, 40, 50, 60, 80, 100, 125, 160, 200, 250, 320, 400, 500, 640,
                      800, 1000, 1250, 1600, 2000, 2500, 3200, 4000, 5000, 6400, 8000, 10000, 12800, 16000})
            t << ExposureTimeText(1.0 / d);
        return t;
    }();
    return texts;
}

void ReportCameraFailure(const ECamException& e)
{
    TF_ErrorLog::Error(e.message(), true);
}
