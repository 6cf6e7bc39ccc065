// The capture graph over the video capture layer. Frames and failures arrive on the streaming
// thread: frames go straight to the callback (which only enqueues), failures are queued to the
// GUI thread.
#include "acquisition/VSample.h"

#include "acquisition/VFrameDecode.h"
#include "acquisition/VideoDialogs.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/Delphi.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Upper case of the letters a to z only, as names were always compared.
QString upperAscii(const QString& s)
{
    QString r = s;
    for (QChar& c : r)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return r;
}

// The video window: the newest decoded frame stretched over the whole window, black before the first.
class TVideoWindow : public QWidget {
public:
    explicit TVideoWindow(QWidget* owner) : QWidget(owner)
    {
        setObjectName(QStringLiteral("VideoWindow"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void setFrame(QImage frame)
    {
        m_frame = std::move(frame);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (m_frame.isNull())
            painter.fillRect(rect(), Qt::black);
        else
            painter.drawImage(rect(), m_frame);
    }

private:
    QImage m_frame;
};

} // namespace

HRESULT ListVideoDevices(QStringList& List)
{
    List.clear();
    QString error;
    const QList<TVideoDeviceEntry> devices = ListVideoCaptureDevices(&error);
    if (!error.isEmpty())
        return 1;
    for (const TVideoDeviceEntry& d : devices)
        List.append(d.FriendlyName);
    return S_OK;
}

TVideoSample::TVideoSample(QWidget* VideoCanvasHandle, bool ForceRGB, int WhichMethodToCallback, HRESULT& HR)
    : ghApp(VideoCanvasHandle), m_capture(std::make_unique<TVideoCapture>()), m_forceRGB(ForceRGB),
      m_receiver(std::make_unique<QObject>())
{
    // Both callback methods deliver the same bytes here; the choice made no difference to frames.
    Q_UNUSED(WhichMethodToCallback);
    m_capture->OnFrame = [this](const quint8* data, qint32 size) { SampleCB(data, size); };
    m_capture->OnError = [this](const QString& message) {
        QMetaObject::invokeMethod(m_receiver.get(), [this, message] { graphFailed(message); }, Qt::QueuedConnection);
    };
    HR = S_OK;
}

TVideoSample::~TVideoSample()
{
    SetCallBack(nullptr);
    m_capture.reset(); // no frame arrives after this
    CloseVideoWindow();
}

HRESULT TVideoSample::fail(HRESULT hr, const QString& message)
{
    m_lastError = message;
    return hr;
}

void TVideoSample::SampleCB(const quint8* data, qint32 size)
{
    if (size <= 0)
        return;
    if (m_windowShown.load()) {
        std::lock_guard<std::mutex> guard(m_windowLock);
        m_windowFrame.resize(size);
        std::memcpy(m_windowFrame.data(), data, size_t(size));
        if (!m_windowFramePending) {
            m_windowFramePending = true;
            QMetaObject::invokeMethod(m_receiver.get(), [this] { showWindowFrame(); }, Qt::QueuedConnection);
        }
    }
    std::lock_guard<std::mutex> guard(m_callbackLock);
    // Without a callback the frame is dropped: nobody waits for it.
    if (CallBack)
        CallBack(data, size);
}

void TVideoSample::SetCallBack(TVideoSampleCallBack CB)
{
    std::lock_guard<std::mutex> guard(m_callbackLock);
    CallBack = std::move(CB);
}

HRESULT TVideoSample::StartVideo(const QString& CaptureDeviceName, bool Visible, QString& DeviceSelected)
{
    m_capture->Stop();
    CloseVideoWindow();
    g_psCurrent = PS_Stopped;
    m_formatArr.clear();
    m_caps.clear();
    fVisible = Visible;
    HRESULT hr = FindCaptureDevice(CaptureDeviceName, DeviceSelected);
    if (hr != S_OK)
        return hr < 0 ? hr : E_FAIL;
    hr = ReadFormatList();
    if (hr < 0)
        return hr;
    return RestartVideo();
}

HRESULT TVideoSample::FindCaptureDevice(const QString& CaptureDeviceName, QString& DeviceSelected)
{
    DeviceSelected.clear();
    QString name = CaptureDeviceName.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("#1");
    QString error;
    const QList<TVideoDeviceEntry> devices = ListVideoCaptureDevices(&error);
    if (devices.isEmpty())
        return fail(E_FAIL, error.isEmpty() ? QStringLiteral("No video device is connected.") : error);
    const QString wanted = upperAscii(name);
    int counter = 0;
    for (const TVideoDeviceEntry& device : devices) {
        ++counter;
        const bool byNumber = name.size() == 2 && name[0] == QLatin1Char('#') && name[1].unicode() - 48 == counter;
        if (upperAscii(device.FriendlyName.trimmed()) != wanted && !byNumber)
            continue;
        DeviceSelected = device.FriendlyName.trimmed();
        if (!m_capture->Open(device))
            return fail(E_FAIL, m_capture->LastError());
        return S_OK;
    }
    return fail(E_FAIL, QStringLiteral("The video device \"%1\" is not connected.").arg(CaptureDeviceName.trimmed()));
}

HRESULT TVideoSample::ReadFormatList()
{
    m_formatArr.clear();
    const QList<TVideoFormatCaps>& formats = m_capture->Formats();
    for (int i = 0; i < formats.size(); ++i) {
        TFormatInfo f;
        f.Width = formats[i].Width;
        f.Height = formats[i].Height;
        f.SSize = formats[i].SampleSize;
        f.OIndex = i;
        f.pmt = formats[i].Caps;
        f.FourCC = formats[i].FourCC == 0 ? MakeFourCC('R', 'G', 'B', ' ') : formats[i].FourCC;
        m_formatArr.append(f);
    }
    // Stable: formats of equal size keep the device's order.
    std::stable_sort(m_formatArr.begin(), m_formatArr.end(), [](const TFormatInfo& a, const TFormatInfo& b) {
        return a.Width != b.Width ? a.Width < b.Width : a.Height < b.Height;
    });
    return S_OK;
}

HRESULT TVideoSample::runCaps(const QString& caps)
{
    const QString wanted = m_forceRGB && caps.isEmpty() ? QStringLiteral("video/x-raw,format=BGR") : caps;
    if (!m_capture->Run(wanted, StartTimeoutMs))
        return fail(VFW_E_INVALIDMEDIATYPE, m_capture->LastError());
    return S_OK;
}

HRESULT TVideoSample::RestartVideo() { return ConnectGraph(fVisible); }

HRESULT TVideoSample::ConnectGraph(bool visible)
{
    if (!m_capture->IsOpen())
        return fail(E_FAIL, QStringLiteral("No video device is open."));
    if (visible)
        SetupVideoWindow(); // before the run, so the first frames are shown
    const HRESULT hr = runCaps(m_caps);
    g_psCurrent = hr == S_OK ? PS_Running : PS_Stopped;
    if (hr != S_OK)
        CloseVideoWindow();
    return hr;
}

HRESULT TVideoSample::PauseVideo()
{
    if (g_psCurrent == PS_Paused)
        return S_OK;
    if (g_psCurrent != PS_Running)
        return S_FALSE;
    if (!m_capture->Pause())
        return fail(E_FAIL, m_capture->LastError());
    g_psCurrent = PS_Paused;
    return S_OK;
}

HRESULT TVideoSample::ResumeVideo()
{
    if (g_psCurrent == PS_Running)
        return S_OK;
    if (g_psCurrent != PS_Paused)
        return S_FALSE;
    if (!m_capture->Resume())
        return fail(E_FAIL, m_capture->LastError());
    g_psCurrent = PS_Running;
    return S_OK;
}

HRESULT TVideoSample::StopVideo()
{
    m_capture->Stop();
    CloseVideoWindow();
    g_psCurrent = PS_Stopped;
    m_formatArr.clear();
    return S_OK;
}

HRESULT TVideoSample::SetPreviewState(bool nShow)
{
    if (!m_capture->IsOpen())
        return S_OK;
    if (!nShow) {
        m_capture->Stop();
        g_psCurrent = PS_Stopped;
        return S_OK;
    }
    if (g_psCurrent == PS_Running)
        return S_OK;
    if (g_psCurrent == PS_Paused) {
        if (!m_capture->Resume())
            return fail(E_FAIL, m_capture->LastError());
        g_psCurrent = PS_Running;
        return S_OK;
    }
    return ConnectGraph(fVisible);
}

HRESULT TVideoSample::GetStreamInfo(qint32& Width, qint32& Height, quint32& FourCC)
{
    Width = 0;
    Height = 0;
    if (!m_capture->IsRunning())
        return fail(VFW_E_WRONG_STATE, QStringLiteral("The video is not running."));
    // The format is read from the running stream; nothing needs stopping.
    const TVideoFormatCaps f = m_capture->CurrentFormat();
    if (f.Width <= 0 || f.Height <= 0)
        return S_OK; // no size known: width and height stay 0, the code unchanged
    Width = f.Width;
    Height = f.Height;
    FourCC = f.FourCC;
    return S_OK;
}

void TVideoSample::GetListOfVideoSizes(QStringList& VidSize) const
{
    VidSize.clear();
    if (g_psCurrent == PS_Stopped)
        return;
    for (const TFormatInfo& f : m_formatArr)
        VidSize.append(QStringLiteral("%1*%2  (%3)").arg(f.Width).arg(f.Height).arg(FourCCText(f.FourCC)));
}

HRESULT TVideoSample::SetVideoSizeByListIndex(int ListIndex)
{
    if (ListIndex < 0 || ListIndex >= m_formatArr.size())
        return S_FALSE;
    const QString previous = m_caps;
    const TPLAYSTATE state = g_psCurrent;
    const HRESULT hr = runCaps(m_formatArr[ListIndex].pmt);
    if (hr == S_OK) {
        m_caps = m_formatArr[ListIndex].pmt;
        g_psCurrent = PS_Running;
        return S_OK;
    }
    // Refused: the device goes on with the format it had, and the caller hears why.
    const QString why = m_lastError;
    if (state != PS_Stopped && runCaps(previous) == S_OK)
        g_psCurrent = PS_Running;
    else
        g_psCurrent = PS_Stopped;
    m_lastError = why;
    return hr;
}

HRESULT TVideoSample::ShowPropertyDialog()
{
    if (!m_capture->IsOpen())
        return fail(VFW_E_WRONG_STATE, QStringLiteral("No video device is open."));
    return ShowVideoProcAmpDialog(ghApp, *this, m_capture->DeviceName()) ? S_OK : S_FALSE;
}

HRESULT TVideoSample::ShowPropertyDialog_CaptureStream()
{
    if (!m_capture->IsOpen())
        return fail(VFW_E_WRONG_STATE, QStringLiteral("No video device is open."));
    const int index = ShowVideoFormatDialog(ghApp, *this);
    if (index < 0)
        return S_FALSE;
    return SetVideoSizeByListIndex(index);
}

HRESULT TVideoSample::ShowVfWCaptureDlg()
{
    // Video devices here have no source dialog of their own beside the format and picture controls.
    return S_FALSE;
}

bool TVideoSample::HasVideoProcAmp() const { return m_capture->IsRunning() && m_capture->HasProcAmp(); }

HRESULT TVideoSample::GetVideoPropAmpEx(TVideoProcAmp Property, qint32& pMin, qint32& pMax, qint32& pSteppingDelta,
                                        qint32& pDefault, qint32& pCapsFlags, qint32& pActual) const
{
    if (!HasVideoProcAmp())
        return 1;
    TVideoProcAmpRange range;
    const int hr = m_capture->GetProcAmpRange(Property, range);
    if (hr != 0)
        return hr == 1 ? E_INVALIDARG : hr;
    pMin = range.Min;
    pMax = range.Max;
    pSteppingDelta = range.Step;
    pDefault = range.Default;
    pCapsFlags = range.Flags;
    pActual = range.Default;
    const int got = m_capture->GetProcAmp(Property, pActual, pCapsFlags);
    return got == 0 ? S_OK : (got == 1 ? E_INVALIDARG : got);
}

HRESULT TVideoSample::GetVideoPropAmpRange(TVideoProcAmp Property, TVideoProcAmpRange& Range) const
{
    if (!HasVideoProcAmp())
        return 1;
    const int hr = m_capture->GetProcAmpRange(Property, Range);
    return hr == 0 ? S_OK : (hr == 1 ? E_INVALIDARG : hr);
}

HRESULT TVideoSample::SetVideoPropAmpEx(TVideoProcAmp Property, qint32 pCapsFlags, qint32 pActual)
{
    if (!HasVideoProcAmp())
        return 1;
    const int hr = m_capture->SetProcAmp(Property, pActual, pCapsFlags);
    if (hr < 0)
        m_lastError = m_capture->LastError();
    return hr == 0 ? S_OK : (hr == 1 ? E_INVALIDARG : hr);
}

void TVideoSample::GetVideoPropAmpPercent(TVideoProcAmp Prop, qint32& AcPerCent) const
{
    qint32 min = 0, max = 0, step = 0, def = 0, flags = 0, actual = 0;
    if (GetVideoPropAmpEx(Prop, min, max, step, def, flags, actual) != S_OK || max == min) {
        AcPerCent = -1; // an empty range has no percentage
        return;
    }
    AcPerCent = qint32(Round(double(actual - min) * 100.0 / double(max - min)));
}

void TVideoSample::SetVideoPropAmpPercent(TVideoProcAmp Prop, qint32 AcPerCent)
{
    qint32 min = 0, max = 0, step = 0, def = 0, flags = 0, actual = 0;
    if (GetVideoPropAmpEx(Prop, min, max, step, def, flags, actual) != S_OK)
        return;
    qint32 v = def;
    if (AcPerCent >= 0 && AcPerCent <= 100) {
        v = qint32(Round(double(max - min) / 100.0 * AcPerCent));
        if (step > 0) // a step of 0 leaves the value unstepped
            v = (v / step) * step;
        v += min;
    }
    SetVideoPropAmpEx(Prop, flags, v);
}

void TVideoSample::GetVideoSize(qint32& Width, qint32& Height) const
{
    Width = 0;
    Height = 0;
    const TVideoFormatCaps f = m_capture->CurrentFormat();
    Width = f.Width;
    Height = f.Height;
}

void TVideoSample::SetupVideoWindow()
{
    if (!pIVideoWindow)
        pIVideoWindow = new TVideoWindow(ghApp);
    ResizeVideoWindow();
    m_windowShown = true;
    pIVideoWindow->show();
}

void TVideoSample::CloseVideoWindow()
{
    m_windowShown = false;
    delete pIVideoWindow.data(); // hidden and taken from its owner
    std::lock_guard<std::mutex> guard(m_windowLock);
    m_windowFrame.clear();
}

void TVideoSample::ResizeVideoWindow()
{
    // Without an owner the window is a window of its own and keeps its size.
    if (pIVideoWindow && ghApp)
        pIVideoWindow->setGeometry(QRect(QPoint(0, 0), ghApp->rect().size()));
}

QWidget* TVideoSample::VideoWindow() const { return pIVideoWindow.data(); }

void TVideoSample::showWindowFrame()
{
    QByteArray frame;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        m_windowFramePending = false;
        frame.swap(m_windowFrame);
    }
    auto* window = static_cast<TVideoWindow*>(pIVideoWindow.data());
    if (!window || frame.isEmpty())
        return;
    const TVideoFormatCaps f = m_capture->CurrentFormat();
    if (f.Width <= 0 || f.Height <= 0)
        return;
    TFastDIB bitmap;
    bitmap.SetSize(f.Width, f.Height, 24);
    const auto* data = reinterpret_cast<const quint8*>(frame.constData());
    if (UnpackVideoFrame(f.FourCC, data, frame.size(), bitmap) != 0)
        DrawCompressionMessage(bitmap, frame.size(), f.FourCC);
    window->setFrame(dibPicture(bitmap));
}

HRESULT TVideoSample::SetBufferSamples(bool BufferThem)
{
    m_capture->SetBufferSamples(BufferThem);
    return S_OK;
}

HRESULT TVideoSample::GetImageBuffer(std::unique_ptr<quint8[]>& pb, qint32& Size)
{
    if (!m_capture->BufferSamples())
        return fail(E_INVALIDARG, QStringLiteral("The video keeps no frame: buffering is off."));
    // One snapshot gives both the size and the bytes, so a format switch between them cannot
    // leave a buffer of the old size with the new frame's bytes.
    QByteArray frame;
    if (!m_capture->LastFrame(frame))
        return fail(VFW_E_WRONG_STATE, QStringLiteral("No video frame has arrived yet."));
    const qint32 n = qint32(frame.size());
    if (pb && Size != n) {
        pb.reset();
        Size = 0;
    }
    Size = n;
    if (!pb)
        pb = std::make_unique<quint8[]>(size_t(n));
    std::memcpy(pb.get(), frame.constData(), size_t(n));
    return S_OK;
}

// There is no extended property interface on these devices: the answer of a device without one.
HRESULT TVideoSample::GetExProp(const QUuid&, quint32, void*, quint32, void*, quint32, quint32& pcbReturned)
{
    pcbReturned = 0;
    return fail(E_NOINTERFACE, QStringLiteral("The video device has no extended properties."));
}

HRESULT TVideoSample::SetExProp(const QUuid&, quint32, void*, quint32, void*, quint32)
{
    return fail(E_NOINTERFACE, QStringLiteral("The video device has no extended properties."));
}

void TVideoSample::DeleteCaptureGraph() { m_capture->Stop(); }

void TVideoSample::graphFailed(const QString& message)
{
    m_capture->Stop();
    g_psCurrent = PS_Stopped;
    m_lastError = message;
    if (OnGraphError)
        OnGraphError(message);
}
