// The video frame source. The streaming thread only counts, copies the frame into a free ring
// slot under the ring's lock and posts one message; decoding and painting run on the GUI thread,
// on the newest frame only, at most once per frame.
#include "acquisition/VFrames.h"

#include "acquisition/VFrameDecode.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "shell/TF_ErrorLog.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPainter>
#include <QThread>

#include <cstring>

namespace {

quint32 millisecondClock()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Starts well above 0, so the idle tick's 0 ("never idle") lies far behind.
    return quint32(timer.elapsed() + 100000);
}

} // namespace

TVideoImage::TVideoImage() : Clock(millisecondClock), fBitmap(std::make_unique<TFastDIB>()), fMessageHWND(std::make_unique<QObject>())
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QCoreApplication::instance() ? QCoreApplication::instance()->thread() : QThread::currentThread()))
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, fMessageHWND.get(), [this] { IdleHandler(); });
}

TVideoImage::~TVideoImage()
{
    VideoStop();
}

void TVideoImage::IdleHandler() { IdleEventTick.store(Clock()); }

void TVideoImage::GetListOfDevices(QStringList& DeviceList) { ListVideoDevices(DeviceList); }

int TVideoImage::VideoStart(const QString& DeviceName)
{
    fSkipCnt = 0;
    fFrameCnt = 0;
    f30FrameTick = 0;
    fFPS = 0;
    m_shown = 0;
    if (VideoSample)
        VideoStop();
    {
        std::lock_guard<std::mutex> guard(m_ringLock);
        m_hasFrame = false; // what the ring holds belongs to the last video
        ++m_seq;
    }
    m_lastError.clear();
    HRESULT HR = S_OK;
    VideoSample = std::make_unique<TVideoSample>(nullptr, false, 0, HR);
    QString selected;
    if (HR >= 0) {
        // Taken from the first frame on: a short source may deliver all it has while the start waits.
        VideoSample->SetCallBack([this](const quint8* pb, qint32& Size) { FrameReceived(pb, Size); });
        try {
            HR = VideoSample->StartVideo(DeviceName, false, selected);
        } catch (...) {
            HR = -1;
        }
    }
    qint32 w = 0, h = 0;
    quint32 fourCC = 0;
    if (HR >= 0)
        HR = VideoSample->GetStreamInfo(w, h, fourCC);
    if (HR < 0) {
        m_lastError = VideoSample->LastError();
        if (m_lastError.isEmpty())
            m_lastError = QStringLiteral("The video device cannot be started.");
        VideoStop();
        {
            std::lock_guard<std::mutex> guard(m_ringLock);
            m_hasFrame = false; // frames of a start that failed are nobody's
        }
        TF_ErrorLog::Error(QStringLiteral("Video: %1").arg(m_lastError), true);
        return 1;
    }
    takeStreamInfo(w, h, fourCC);
    VideoSample->OnGraphError = [this](const QString& message) { videoFailed(message); };
    fVideoRunning = true;
    return 0;
}

void TVideoImage::VideoStop()
{
    fFPS = 0;
    if (!VideoSample)
        return;
    VideoSample->SetCallBack(nullptr);
    VideoSample.reset(); // the pipeline is down: no frame arrives after this
    fVideoRunning = false;
}

void TVideoImage::VideoPause()
{
    if (VideoSample)
        VideoSample->PauseVideo();
}

void TVideoImage::VideoResume()
{
    if (VideoSample)
        VideoSample->ResumeVideo();
}

bool TVideoImage::IsPaused() const { return VideoSample && VideoSample->GetPlayState() == PS_Paused; }

void TVideoImage::takeStreamInfo(qint32 w, qint32 h, quint32 fourCC)
{
    fWidth = w;
    fHeight = h;
    fFourCC = fourCC;
    if (w > 0 && h > 0)
        fBitmap->SetSize(w, h, 24);
    std::lock_guard<std::mutex> guard(m_ringLock);
    m_unpackedSeq = 0; // the bitmap changed size: decode again
}

void TVideoImage::videoFailed(const QString& message)
{
    // Posted again: the graph that reported the failure is still on the stack here.
    QMetaObject::invokeMethod(fMessageHWND.get(), [this, message] {
        if (!VideoSample)
            return;
        m_lastError = message;
        VideoStop();
        TF_ErrorLog::Error(QStringLiteral("Video stopped: %1").arg(message), true);
        if (OnVideoError)
            OnVideoError(this, message);
    }, Qt::QueuedConnection);
}

void TVideoImage::FrameReceived(const quint8* pb, qint32& Size)
{
    const qint32 n = ++fFrameCnt;
    const quint32 now = Clock();
    if (n % 30 == 0) {
        const quint32 elapsed = now - f30FrameTick; // unsigned: a wrapped clock still gives the span
        if (f30FrameTick != 0 && elapsed != 0)
            fFPS = 30000.0 / double(elapsed);
        f30FrameTick = now;
    }
    const qint64 sinceIdle = qint64(now) - qint64(IdleEventTick.load());
    if (sinceIdle > 1000 || sinceIdle < -1000) { // the GUI thread has been busy for a second
        ++fSkipCnt;
        return;
    }
    if (!pb || Size <= 0)
        return;
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(m_ringLock);
        int slot = (fImagePtrIndex + 1) % 3;
        if (slot == m_readSlot)
            slot = (slot + 1) % 3;
        if (fImagePtrSize[slot] != Size) {
            fImagePtr[slot].resize(size_t(Size));
            fImagePtrSize[slot] = Size;
        }
        std::memcpy(fImagePtr[slot].data(), pb, size_t(Size));
        fImagePtrIndex = slot;
        m_slotSeq[slot] = ++m_seq;
        m_hasFrame = true;
        if (m_messagePending)
            ++fSkipCnt; // the frame waiting for the GUI thread is replaced before it was shown
        else
            post = m_messagePending = true;
    }
    if (post)
        QMetaObject::invokeMethod(fMessageHWND.get(), [this] { FrameMessage(); }, Qt::QueuedConnection);
}

void TVideoImage::FrameMessage()
{
    int slot = -1;
    {
        std::lock_guard<std::mutex> guard(m_ringLock);
        m_messagePending = false;
        if (fBusy) {
            ++fSkipCnt;
            return;
        }
        if (!m_hasFrame)
            return;
        slot = fImagePtrIndex;
        m_readSlot = slot; // the streaming thread leaves this slot alone until the handler ends
    }
    fBusy = true;
    struct Release {
        TVideoImage* self;
        ~Release()
        {
            self->fBusy = false;
            std::lock_guard<std::mutex> guard(self->m_ringLock);
            self->m_readSlot = -1;
        }
    } release{this};
    PaintFrame();
    ++m_shown;
    if (OnNewVideoFrame)
        OnNewVideoFrame(this, fWidth, fHeight, fImagePtr[slot].data());
}

void TVideoImage::UnpackFrame()
{
    int slot = -1;
    qint32 size = 0;
    quint64 seq = 0;
    bool pinned = false;
    {
        std::lock_guard<std::mutex> guard(m_ringLock);
        if (!m_hasFrame)
            return;
        // Inside a frame message the handled frame is decoded, so the event's bytes and bitmap agree.
        slot = m_readSlot >= 0 ? m_readSlot : fImagePtrIndex;
        seq = m_slotSeq[slot];
        if (m_unpackedSeq == seq)
            return;
        size = fImagePtrSize[slot];
        if (m_readSlot < 0) {
            m_readSlot = slot;
            pinned = true;
        }
    }
    fImageUnpacked = false;
    if (size > 0 && UnpackVideoFrame(fFourCC, fImagePtr[slot].data(), size, *fBitmap) != 0)
        DrawCompressionMessage(*fBitmap, size, fFourCC);
    std::lock_guard<std::mutex> guard(m_ringLock);
    m_unpackedSeq = seq;
    fImageUnpacked = true;
    if (pinned)
        m_readSlot = -1;
}

void TVideoImage::PaintFrame()
{
    if (!fDisplayCanvas)
        return;
    UnpackFrame();
    if (fDisplayCanvas->paintingActive())
        return;
    QPainter painter(fDisplayCanvas);
    painter.drawImage(0, 0, dibPicture(*fBitmap));
}

void TVideoImage::GetBitmap(TFastDIB& BMP)
{
    UnpackFrame();
    BMP.MakeCopy(*fBitmap, true);
}

void TVideoImage::GetBitmap(QImage& BMP)
{
    UnpackFrame();
    BMP = dibPicture(*fBitmap);
}

HRESULT TVideoImage::ShowProperty()
{
    if (!VideoSample)
        return VFW_E_WRONG_STATE;
    return VideoSample->ShowPropertyDialog();
}

HRESULT TVideoImage::ShowProperty_Stream()
{
    if (!VideoSample)
        return VFW_E_WRONG_STATE;
    const HRESULT hr = VideoSample->ShowPropertyDialog_CaptureStream();
    if (hr < 0) {
        m_lastError = VideoSample->LastError();
        TF_ErrorLog::Error(QStringLiteral("Video: %1").arg(m_lastError), true);
    }
    qint32 w = 0, h = 0;
    quint32 fourCC = fFourCC;
    if (VideoSample->GetStreamInfo(w, h, fourCC) < 0) {
        m_lastError = VideoSample->LastError();
        VideoStop();
        return hr < 0 ? hr : E_FAIL;
    }
    takeStreamInfo(w, h, fourCC);
    VideoSample->SetCallBack([this](const quint8* pb, qint32& Size) { FrameReceived(pb, Size); });
    return hr;
}

HRESULT TVideoImage::ShowVfWCaptureDlg()
{
    if (!VideoSample)
        return VFW_E_WRONG_STATE;
    return VideoSample->ShowVfWCaptureDlg();
}

void TVideoImage::GetListOfSupportedVideoSizes(QStringList& VidSize)
{
    VidSize.clear();
    if (VideoSample)
        VideoSample->GetListOfVideoSizes(VidSize);
}

void TVideoImage::SetResolutionByIndex(int Index)
{
    if (!VideoSample)
        return;
    if (VideoSample->SetVideoSizeByListIndex(Index) < 0) {
        m_lastError = VideoSample->LastError();
        TF_ErrorLog::Error(QStringLiteral("Video: %1").arg(m_lastError), true);
    }
    qint32 w = 0, h = 0;
    quint32 fourCC = fFourCC;
    if (VideoSample->GetStreamInfo(w, h, fourCC) >= 0)
        takeStreamInfo(w, h, fourCC);
}

HRESULT TVideoImage::VideoPropertyToProcAmp(int VP, TVideoProcAmp& ProcAmp)
{
    if (VP < VP_Brightness || VP > VP_Gain)
        return 1;
    ProcAmp = TVideoProcAmp(VP);
    return 0;
}

HRESULT TVideoImage::GetVideoPropertySettings(TVideoProperty VP, qint32& MinVal, qint32& MaxVal, qint32& StepSize,
                                              qint32& Default, qint32& Actual, bool& AutoMode)
{
    MinVal = -1;
    MaxVal = -1;
    StepSize = 0;
    Default = 0;
    Actual = 0;
    AutoMode = true;
    if (!VideoSample)
        return 1;
    TVideoProcAmp property = TVideoProcAmp::Brightness;
    if (VideoPropertyToProcAmp(VP, property) != 0)
        return 1;
    qint32 flags = 0;
    const HRESULT hr = VideoSample->GetVideoPropAmpEx(property, MinVal, MaxVal, StepSize, Default, flags, Actual);
    if (hr < 0) {
        MinVal = -1;
        MaxVal = -1;
        StepSize = 0;
        Default = 0;
        Actual = 0;
        AutoMode = true;
        return hr;
    }
    // Automatic exactly when the device says so.
    AutoMode = flags == VideoProcAmpFlagsAuto;
    return hr;
}

HRESULT TVideoImage::SetVideoPropertySettings(TVideoProperty VP, qint32 Actual, bool AutoMode)
{
    TVideoProcAmp property = TVideoProcAmp::Brightness;
    const HRESULT mapped = VideoPropertyToProcAmp(VP, property);
    if (!VideoSample || mapped != 0)
        return mapped;
    return VideoSample->SetVideoPropAmpEx(property, AutoMode ? VideoProcAmpFlagsAuto : VideoProcAmpFlagsManual, Actual);
}
