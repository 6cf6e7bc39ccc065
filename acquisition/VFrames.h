// The frame source of the image-series window for video devices: starts and stops a capture graph,
// takes each frame on the streaming thread into a ring of three buffers, hands the newest to the
// GUI thread, decodes it on demand into a 24-bit bitmap and fires OnNewVideoFrame there. Counts
// frames per second and frames not shown.
#pragma once

#include "acquisition/VSample.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TFastDIB;

enum TVideoProperty {
    VP_Brightness, VP_Contrast, VP_Hue, VP_Saturation, VP_Sharpness, VP_Gamma, VP_ColorEnable,
    VP_WhiteBalance, VP_BacklightCompensation, VP_Gain,
};

class TVideoImage;
// On the GUI thread: the current video size and the newest frame's bytes as the device delivered
// them (valid during the call).
using TNewVideoFrameEvent = std::function<void(TVideoImage* Sender, qint32 Width, qint32 Height, const quint8* DataPtr)>;

class TVideoImage {
public:
    TVideoImage();
    ~TVideoImage(); // stops a running video first
    TVideoImage(const TVideoImage&) = delete;
    TVideoImage& operator=(const TVideoImage&) = delete;

    void GetListOfDevices(QStringList& DeviceList);
    // 0 started; 1 failed (LastError says why; no graph is left).
    int VideoStart(const QString& DeviceName);
    void VideoStop();
    void VideoPause();
    void VideoResume();

    bool IsPaused() const;
    bool VideoRunning() const { return fVideoRunning; }
    qint32 VideoWidth() const { return fWidth; }
    qint32 VideoHeight() const { return fHeight; }
    quint32 VideoFourCC() const { return fFourCC; }
    double FramesPerSecond() const { return fFPS.load(); }
    qint32 FramesSkipped() const { return fSkipCnt.load(); }
    qint32 FramesReceived() const { return fFrameCnt.load(); }
    TNewVideoFrameEvent OnNewVideoFrame;

    // The newest frame, decoded if it was not yet: a 24-bit copy, or as a picture for painting.
    void GetBitmap(TFastDIB& BMP);
    void GetBitmap(QImage& BMP);
    // A picture each new frame is painted on at (0, 0); none by default. Skipped while someone
    // else paints on it.
    void SetDisplayCanvas(QImage* Canvas) { fDisplayCanvas = Canvas; }

    HRESULT ShowProperty();        // the device's picture controls
    HRESULT ShowProperty_Stream(); // the stream's format; the bitmap follows the new size
    HRESULT ShowVfWCaptureDlg();
    void GetListOfSupportedVideoSizes(QStringList& VidSize);
    void SetResolutionByIndex(int Index);

    HRESULT GetVideoPropertySettings(TVideoProperty VP, qint32& MinVal, qint32& MaxVal, qint32& StepSize,
                                     qint32& Default, qint32& Actual, bool& AutoMode);
    HRESULT SetVideoPropertySettings(TVideoProperty VP, qint32 Actual, bool AutoMode);
    static HRESULT VideoPropertyToProcAmp(int VP, TVideoProcAmp& ProcAmp);
    void GetBrightnessSettings(qint32& Actual) {}
    void SetBrightnessSettings(qint32 Actual) {}

    // The video stopped by itself (device gone, stream ended, element failed), on the GUI thread
    // after the graph was freed. The frames already taken stay where they are.
    std::function<void(TVideoImage* Sender, const QString& Message)> OnVideoError;
    QString LastError() const { return m_lastError; }

    // ---- the hand-over; public for tests and the benchmark ----
    // Streaming thread: counts, throttles on the GUI's idle time and enqueues one frame.
    void FrameReceived(const quint8* pb, qint32& Size);
    // GUI thread: the event loop is about to wait.
    void IdleHandler();
    // GUI thread: handles the posted frame.
    void FrameMessage();
    // Frames handed to OnNewVideoFrame since the start.
    qint32 FramesShown() const { return m_shown; }
    // Millisecond clock of the counters; tests replace it.
    std::function<quint32()> Clock;

private:
    void UnpackFrame();
    void PaintFrame();
    void takeStreamInfo(qint32 w, qint32 h, quint32 fourCC);
    void videoFailed(const QString& message);

    std::unique_ptr<TVideoSample> VideoSample;
    bool fVideoRunning = false;
    bool fBusy = false;
    std::atomic<qint32> fSkipCnt{0};
    std::atomic<qint32> fFrameCnt{0};
    quint32 f30FrameTick = 0; // streaming thread only
    std::atomic<double> fFPS{0};
    qint32 fWidth = 0;
    qint32 fHeight = 0;
    quint32 fFourCC = 0;
    std::unique_ptr<TFastDIB> fBitmap;
    QImage* fDisplayCanvas = nullptr;

    // The ring: the streaming thread fills a slot that is neither the newest nor the one the GUI
    // thread reads, all under m_ringLock, and publishes it as the newest.
    std::mutex m_ringLock;
    std::vector<quint8> fImagePtr[3];
    qint32 fImagePtrSize[3] = {0, 0, 0};
    qint32 fImagePtrIndex = 0;
    int m_readSlot = -1;           // slot the GUI thread is decoding or handing out; -1 none
    bool m_messagePending = false; // a frame message is on its way to the GUI thread
    bool fImageUnpacked = false;   // fBitmap holds the newest frame
    bool m_hasFrame = false;       // a frame of this video lies in the ring
    quint64 m_seq = 0;             // counts published frames
    quint64 m_slotSeq[3] = {0, 0, 0};
    quint64 m_unpackedSeq = 0;     // the frame fBitmap holds
    std::atomic<quint32> IdleEventTick{0};
    qint32 m_shown = 0;

    std::unique_ptr<QObject> fMessageHWND; // GUI-thread receiver of the frame message
    QString m_lastError;
};
