// Video input devices behind one small interface, over GStreamer: the device list (the device
// monitor's video sources), a device's capture formats from its caps, and one pipeline
// source ! capsfilter ! appsink that runs, pauses and stops, handing each frame's bytes to a
// callback on the streaming thread. Picture controls go through the colour-balance interface or
// the device's V4L2 controls. Nothing of GStreamer shows outside this pair.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>

// Four characters as the 32-bit little-endian code ("YUY2" is 0x32595559).
constexpr quint32 MakeFourCC(char a, char b, char c, char d)
{
    return quint32(quint8(a)) | quint32(quint8(b)) << 8 | quint32(quint8(c)) << 16 | quint32(quint8(d)) << 24;
}
// The code's four characters in memory order.
QString FourCCText(quint32 fourCC);

// One video input device as the list names it.
struct TVideoDeviceEntry {
    QString FriendlyName;
    QString DevicePath;          // e.g. "/dev/video0"; empty for sources that are no device node
    std::shared_ptr<void> Impl;  // what the capture needs to open the device
};

// One capture format a device offers.
struct TVideoFormatCaps {
    qint32 Width = 0;
    qint32 Height = 0;
    quint32 FourCC = 0;     // 0: 24-bit RGB, bytes blue, green, red, rows top-down; else the format's code
    quint32 SampleSize = 0; // bytes of one frame; 0 for compressed formats
    QString Caps;           // caps that select exactly this format
};

// The picture controls, numbered as the video processing amplifier numbers them.
enum class TVideoProcAmp : int {
    Brightness = 0, Contrast, Hue, Saturation, Sharpness, Gamma, ColorEnable, WhiteBalance,
    BacklightCompensation, Gain,
};
constexpr int VideoProcAmpCount = 10;

// Flags of a picture control, as the amplifier reports them.
enum : qint32 {
    VideoProcAmpFlagsAuto = 1,
    VideoProcAmpFlagsManual = 2,
};

struct TVideoProcAmpRange {
    qint32 Min = 0;
    qint32 Max = 0;
    qint32 Step = 1;
    qint32 Default = 0;
    qint32 Flags = VideoProcAmpFlagsManual; // the flags the control supports
};

// Environment variable naming extra video sources after the system's devices, so tests reach a
// test pattern as a device: entries "Name|pipeline description|caps" separated by "||", the caps
// being the formats the source offers (structures separated by ";").
inline constexpr char VideoExtraSourcesVariable[] = "JEX4_VIDEO_SOURCES";

// The video input devices in a fixed order: the system's, then the extra sources. An empty list
// when GStreamer cannot start; `error` then says why.
QList<TVideoDeviceEntry> ListVideoCaptureDevices(QString* error = nullptr);

class TVideoCapture {
public:
    TVideoCapture();
    ~TVideoCapture(); // stops the pipeline; no callback runs after it returns
    TVideoCapture(const TVideoCapture&) = delete;
    TVideoCapture& operator=(const TVideoCapture&) = delete;

    // Takes the device and reads its formats; nothing streams yet. False when the device's
    // source cannot be made (LastError says why).
    bool Open(const TVideoDeviceEntry& device);
    bool IsOpen() const;
    QString DeviceName() const;
    // The device's formats in the device's own order.
    const QList<TVideoFormatCaps>& Formats() const;

    // Builds the pipeline for `caps` (empty: the device chooses among RGB, I420, YV12, YUY2 and
    // Motion JPEG) and plays it, waiting at most timeoutMs for the first frame or an error. False
    // when the device refuses the format or the pipeline fails; it is then stopped.
    bool Run(const QString& caps, int timeoutMs = 5000);
    bool Pause();  // no frames until Resume
    bool Resume();
    void Stop();   // frees the pipeline; the device stays open
    bool IsRunning() const; // a pipeline exists (running or paused)
    // The negotiated format of the running pipeline; Width 0 when none is known.
    TVideoFormatCaps CurrentFormat() const;

    // Whether the sink keeps the newest frame for LastFrame; off unless asked for. Takes effect at
    // once on a running pipeline and holds for the later ones.
    void SetBufferSamples(bool buffer);
    bool BufferSamples() const;
    // A copy of the newest frame the sink kept. False while buffering is off, no pipeline runs or
    // no frame has come yet.
    bool LastFrame(QByteArray& bytes) const;

    // Frames, on the streaming thread: the bytes of one frame, valid only during the call. Set
    // before Run; the receiver only enqueues.
    std::function<void(const quint8* data, qint32 size)> OnFrame;
    // A failure while running (the device went away, the stream ended, an element failed), on
    // whichever thread noticed it; the receiver only enqueues. Called once per pipeline.
    std::function<void(const QString& message)> OnError;

    // Picture controls. 0 done; 1 the device has no such control; negative: the device refused.
    bool HasProcAmp() const;
    int GetProcAmpRange(TVideoProcAmp property, TVideoProcAmpRange& range) const;
    int GetProcAmp(TVideoProcAmp property, qint32& value, qint32& flags) const;
    int SetProcAmp(TVideoProcAmp property, qint32 value, qint32 flags);

    QString LastError() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
