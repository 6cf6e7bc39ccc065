// The capture graph of one video input device: finds the device by name or number, lists and
// switches its capture formats, runs, pauses and stops it, hands every frame to a callback on the
// streaming thread, and reaches the device's picture controls and format dialogs. Results are
// status codes as the frame source expects them: negative failed, 0 (S_OK) and 1 (S_FALSE) not.
#pragma once

#include "platform/VideoCapture.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <atomic>
#include <memory>
#include <mutex>

class QWidget;

using HRESULT = qint32;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
inline constexpr HRESULT VFW_E_WRONG_STATE = HRESULT(0x80040227u);
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = HRESULT(0x80040200u);

enum TPLAYSTATE { PS_Stopped, PS_Paused, PS_Running };

// Frame callback: the frame's bytes and their count, on the streaming thread.
using TVideoSampleCallBack = std::function<void(const quint8* pb, qint32& Size)>;

// One capture format of the device.
struct TFormatInfo {
    qint32 Width = 0;
    qint32 Height = 0;
    quint32 SSize = 0;  // bytes of one frame; 0 for compressed formats
    qint32 OIndex = 0;  // index in the device's own list
    QString pmt;        // what selects the format on the device
    quint32 FourCC = 0; // "RGB " for 24-bit RGB, else the format's code
};

// The friendly names of all video input devices, in enumeration order. 0 done; 1 the list could
// not be read (it stays empty).
HRESULT ListVideoDevices(QStringList& List);

class TVideoSample {
public:
    // Builds the empty graph; HR receives the result. The object exists even when HR is negative.
    TVideoSample(QWidget* VideoCanvasHandle, bool ForceRGB, int WhichMethodToCallback, HRESULT& HR);
    ~TVideoSample();
    TVideoSample(const TVideoSample&) = delete;
    TVideoSample& operator=(const TVideoSample&) = delete;

    // Finds the device ("" is "#1", "#n" the n-th, else the friendly name, case and blanks aside),
    // reads its formats and runs it. DeviceSelected receives the chosen device's trimmed name.
    // Visible: the frames are also shown in a video window, a child of the window given at creation.
    HRESULT StartVideo(const QString& CaptureDeviceName, bool Visible, QString& DeviceSelected);
    HRESULT RestartVideo();
    HRESULT PauseVideo();
    HRESULT ResumeVideo();
    HRESULT StopVideo();
    HRESULT SetPreviewState(bool nShow);
    TPLAYSTATE GetPlayState() const { return g_psCurrent; }
    void SetCallBack(TVideoSampleCallBack CB);

    // The current capture format: width, height and code (0 for 24-bit RGB).
    HRESULT GetStreamInfo(qint32& Width, qint32& Height, quint32& FourCC);
    // "640*480  (YUY2)" per format, smallest first; empty while stopped.
    void GetListOfVideoSizes(QStringList& VidSize) const;
    HRESULT SetVideoSizeByListIndex(int ListIndex);
    const QList<TFormatInfo>& FormatArr() const { return m_formatArr; }

    // The dialogs in place of the device's property pages: picture controls of the device, and
    // the stream's format. Modal.
    HRESULT ShowPropertyDialog();
    HRESULT ShowPropertyDialog_CaptureStream();
    HRESULT ShowVfWCaptureDlg();

    // Picture controls. Without an amplifier the operations return 1 (percent read: -1).
    HRESULT GetVideoPropAmpEx(TVideoProcAmp Property, qint32& pMin, qint32& pMax, qint32& pSteppingDelta,
                              qint32& pDefault, qint32& pCapsFlags, qint32& pActual) const;
    HRESULT SetVideoPropAmpEx(TVideoProcAmp Property, qint32 pCapsFlags, qint32 pActual);
    // What the control supports (its Flags: the flags it can take).
    HRESULT GetVideoPropAmpRange(TVideoProcAmp Property, TVideoProcAmpRange& Range) const;
    void GetVideoPropAmpPercent(TVideoProcAmp Prop, qint32& AcPerCent) const;
    void SetVideoPropAmpPercent(TVideoProcAmp Prop, qint32 AcPerCent);
    bool HasVideoProcAmp() const;

    void GetVideoSize(qint32& Width, qint32& Height) const;

    // Places the video window at (0, 0) with the client size of the window given at creation.
    void ResizeVideoWindow();
    // The video window while a visible graph runs; null otherwise.
    QWidget* VideoWindow() const;

    // Whether the graph keeps its newest frame for GetImageBuffer; off after creation.
    HRESULT SetBufferSamples(bool BufferThem);
    // Copies the newest kept frame into pb. A buffer whose Size differs from the frame's is freed
    // and a new one allocated; Size receives the frame's byte count. E_INVALIDARG while buffering
    // is off, VFW_E_WRONG_STATE before the first frame; pb and Size then stay as they were.
    HRESULT GetImageBuffer(std::unique_ptr<quint8[]>& pb, qint32& Size);

    // The device's extended property set. No video device here offers one: E_NOINTERFACE.
    HRESULT GetExProp(const QUuid& guidPropSet, quint32 dwPropID, void* pInstanceData, quint32 cbInstanceData,
                      void* pPropData, quint32 cbPropData, quint32& pcbReturned);
    HRESULT SetExProp(const QUuid& guidPropSet, quint32 dwPropID, void* pInstanceData, quint32 cbInstanceData,
                      void* pPropData, quint32 cbPropData);
    void DeleteCaptureGraph();

    // A failure while the graph runs (the device went away, the stream ended), on the GUI thread.
    std::function<void(const QString& message)> OnGraphError;
    // Why the last failing call failed.
    QString LastError() const { return m_lastError; }

    // Milliseconds a start or a format switch waits for the first frame.
    int StartTimeoutMs = 5000;

    // Called on the streaming thread for every frame.
    void SampleCB(const quint8* data, qint32 size);

private:
    HRESULT FindCaptureDevice(const QString& CaptureDeviceName, QString& DeviceSelected);
    HRESULT ReadFormatList();
    HRESULT ConnectGraph(bool visible);
    HRESULT runCaps(const QString& caps);
    HRESULT fail(HRESULT hr, const QString& message);
    void graphFailed(const QString& message); // GUI thread
    void SetupVideoWindow();
    void CloseVideoWindow();
    void showWindowFrame(); // GUI thread

    QPointer<QWidget> ghApp;
    QPointer<QWidget> pIVideoWindow;
    std::unique_ptr<TVideoCapture> m_capture;
    TPLAYSTATE g_psCurrent = PS_Stopped;
    bool fVisible = false;
    bool m_forceRGB = false;
    QString m_caps; // the format the graph runs with; empty: the device's choice
    QList<TFormatInfo> m_formatArr;
    QString m_lastError;

    std::mutex m_callbackLock; // the streaming thread reads CallBack while the GUI thread sets it
    TVideoSampleCallBack CallBack;

    // The newest frame for the video window, handed from the streaming thread; one repaint is
    // queued at a time, so frames the window cannot keep up with are replaced.
    std::atomic<bool> m_windowShown{false};
    std::mutex m_windowLock;
    QByteArray m_windowFrame;
    bool m_windowFramePending = false;

    // Receives what the streaming thread posts; queued calls die with it.
    std::unique_ptr<QObject> m_receiver;
};
