// GStreamer behind the video capture layer. The bus is read by a synchronous handler, so errors
// are seen on the thread that posts them without a GLib main loop; frames come from appsink's
// callback. Both only hand over: the capture's owner queues what it needs.
#include "platform/VideoCapture.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/colorbalance.h>
#include <gst/video/video.h>

#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace {

// What the formats the frame decoders know look like as caps.
constexpr char DecodableCaps[] = "video/x-raw,format=(string){BGR,I420,YV12,YUY2};image/jpeg";

bool initGst(QString* error)
{
    static std::once_flag once;
    static bool ok = false;
    static QString message;
    std::call_once(once, [] {
        GError* err = nullptr;
        ok = gst_init_check(nullptr, nullptr, &err);
        if (!ok) {
            message = QStringLiteral("GStreamer cannot start: %1").arg(err ? QString::fromUtf8(err->message) : QString());
            g_clear_error(&err);
        }
    });
    if (!ok && error)
        *error = message;
    return ok;
}

struct DeviceSource {
    GstDevice* device = nullptr; // a monitored device, or
    QString launch;              // a pipeline description of an extra source
    QString caps;                // its formats
    ~DeviceSource()
    {
        if (device)
            gst_object_unref(device);
    }
};

quint32 fourCCOfStructure(const GstStructure* s, const char* format)
{
    const QByteArray name = gst_structure_get_name(s);
    if (name == "video/x-raw") {
        const QByteArray f = format ? QByteArray(format) : QByteArray();
        if (f == "BGR")
            return 0;
        QByteArray code = f.left(4);
        while (code.size() < 4)
            code += ' ';
        return MakeFourCC(code[0], code[1], code[2], code[3]);
    }
    if (name == "image/jpeg")
        return MakeFourCC('M', 'J', 'P', 'G');
    // "video/x-h264" gives "H264": the subtype's last four characters, upper case.
    QByteArray sub = name.mid(name.lastIndexOf('/') + 1);
    if (sub.startsWith("x-"))
        sub = sub.mid(2);
    sub = sub.toUpper().left(4);
    while (sub.size() < 4)
        sub += ' ';
    return MakeFourCC(sub[0], sub[1], sub[2], sub[3]);
}

TVideoFormatCaps formatOf(const GstStructure* s, const char* format)
{
    TVideoFormatCaps f;
    gst_structure_get_int(s, "width", &f.Width);
    gst_structure_get_int(s, "height", &f.Height);
    f.FourCC = fourCCOfStructure(s, format);
    GstStructure* select = gst_structure_new_empty(gst_structure_get_name(s));
    if (format)
        gst_structure_set(select, "format", G_TYPE_STRING, format, nullptr);
    gst_structure_set(select, "width", G_TYPE_INT, f.Width, "height", G_TYPE_INT, f.Height, nullptr);
    gchar* text = gst_structure_to_string(select);
    f.Caps = QString::fromUtf8(text);
    g_free(text);
    if (format) {
        GstVideoInfo info;
        gst_video_info_init(&info);
        const GstVideoFormat vf = gst_video_format_from_string(format);
        if (vf != GST_VIDEO_FORMAT_UNKNOWN && gst_video_info_set_format(&info, vf, guint(f.Width), guint(f.Height)))
            f.SampleSize = quint32(GST_VIDEO_INFO_SIZE(&info));
    }
    gst_structure_free(select);
    return f;
}

// Every fixed size of the caps, one entry per raw format of a structure, without repeats.
QList<TVideoFormatCaps> formatsOf(const GstCaps* caps)
{
    QList<TVideoFormatCaps> list;
    if (!caps || gst_caps_is_any(caps))
        return list;
    auto add = [&list](const TVideoFormatCaps& f) {
        for (const TVideoFormatCaps& e : list)
            if (e.Caps == f.Caps)
                return;
        list.append(f);
    };
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        int w = 0, h = 0;
        if (!gst_structure_get_int(s, "width", &w) || !gst_structure_get_int(s, "height", &h) || w <= 0 || h <= 0)
            continue; // sizes given as ranges name no format of their own
        const GValue* format = gst_structure_get_value(s, "format");
        if (format && GST_VALUE_HOLDS_LIST(format)) {
            for (guint k = 0; k < gst_value_list_get_size(format); ++k) {
                const GValue* v = gst_value_list_get_value(format, k);
                if (G_VALUE_HOLDS_STRING(v))
                    add(formatOf(s, g_value_get_string(v)));
            }
        } else if (format && G_VALUE_HOLDS_STRING(format)) {
            add(formatOf(s, g_value_get_string(format)));
        } else {
            add(formatOf(s, nullptr));
        }
    }
    return list;
}

QString devicePathOf(GstDevice* device)
{
    GstStructure* props = gst_device_get_properties(device);
    QString path;
    if (props) {
        for (const char* key : {"device.path", "api.v4l2.path", "object.path"}) {
            const char* v = gst_structure_get_string(props, key);
            if (v && QByteArray(v).startsWith("/dev/")) {
                path = QString::fromUtf8(v);
                break;
            }
        }
        gst_structure_free(props);
    }
    return path;
}

// The V4L2 control of a picture control, and the control that switches it to automatic.
struct V4l2Control {
    quint32 id;
    quint32 autoId;
};
const V4l2Control v4l2Controls[VideoProcAmpCount] = {
    {V4L2_CID_BRIGHTNESS, 0},
    {V4L2_CID_CONTRAST, 0},
    {V4L2_CID_HUE, V4L2_CID_HUE_AUTO},
    {V4L2_CID_SATURATION, 0},
    {V4L2_CID_SHARPNESS, 0},
    {V4L2_CID_GAMMA, 0},
    {0, 0}, // colour enable has no V4L2 control
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE},
    {V4L2_CID_BACKLIGHT_COMPENSATION, 0},
    {V4L2_CID_GAIN, V4L2_CID_AUTOGAIN},
};
const char* const balanceLabels[VideoProcAmpCount] = {
    "brightness", "contrast", "hue", "saturation", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

} // namespace

QString FourCCText(quint32 fourCC)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((fourCC >> (8 * i)) & 0xFF);
        if (c == 0)
            break;
        text += QLatin1Char(c);
    }
    return text;
}

QList<TVideoDeviceEntry> ListVideoCaptureDevices(QString* error)
{
    QList<TVideoDeviceEntry> list;
    if (!initGst(error))
        return list;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* l = devices; l; l = l->next) {
        GstDevice* device = GST_DEVICE(l->data);
        auto source = std::make_shared<DeviceSource>();
        source->device = GST_DEVICE(gst_object_ref(device));
        gchar* name = gst_device_get_display_name(device);
        TVideoDeviceEntry entry;
        entry.FriendlyName = QString::fromUtf8(name);
        entry.DevicePath = devicePathOf(device);
        entry.Impl = source;
        g_free(name);
        list.append(entry);
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);

    const QString extra = qEnvironmentVariable(VideoExtraSourcesVariable);
    for (const QString& item : extra.split(QStringLiteral("||"), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char('|'));
        if (parts.size() != 3)
            continue;
        auto source = std::make_shared<DeviceSource>();
        source->launch = parts[1].trimmed();
        source->caps = parts[2].trimmed();
        TVideoDeviceEntry entry;
        entry.FriendlyName = parts[0];
        entry.Impl = source;
        list.append(entry);
    }
    return list;
}

struct TVideoCapture::Impl {
    TVideoCapture* owner = nullptr;
    TVideoDeviceEntry device;
    std::shared_ptr<DeviceSource> source;
    QList<TVideoFormatCaps> formats;
    GstElement* pipeline = nullptr;
    GstElement* sink = nullptr;
    QString lastError;
    bool bufferSamples = false;

    // Shared with the streaming threads.
    std::mutex lock;
    std::condition_variable changed;
    quint64 frames = 0;
    bool failed = false;
    bool started = false; // Run succeeded: later failures go to OnError
    QString failure;

    bool fail(const QString& message)
    {
        lastError = message;
        return false;
    }

    static GstFlowReturn newSample(GstAppSink* sink, gpointer data)
    {
        auto* d = static_cast<Impl*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_ERROR;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            if (map.size > 0 && map.size <= 0x7FFFFFFF && d->owner->OnFrame)
                d->owner->OnFrame(map.data, qint32(map.size));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        {
            std::lock_guard<std::mutex> guard(d->lock);
            ++d->frames;
        }
        d->changed.notify_all();
        return GST_FLOW_OK;
    }

    static GstBusSyncReply busMessage(GstBus*, GstMessage* message, gpointer data)
    {
        auto* d = static_cast<Impl*>(data);
        QString text;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* err = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &err, &debug);
            text = QString::fromUtf8(err ? err->message : "unknown error");
            // Sources report a refused format as a failed stream whose details name the flow.
            const bool refused = err && err->domain == GST_STREAM_ERROR
                && (err->code == GST_STREAM_ERROR_FORMAT || (debug && strstr(debug, "not-negotiated")));
            if (refused)
                text = QStringLiteral("The device does not deliver this format.");
            g_clear_error(&err);
            g_free(debug);
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            text = QStringLiteral("The video source stopped delivering frames.");
        } else {
            return GST_BUS_DROP;
        }
        bool first = false;
        {
            std::lock_guard<std::mutex> guard(d->lock);
            if (!d->failed) {
                d->failed = true;
                d->failure = text;
                first = d->started;
            }
        }
        d->changed.notify_all();
        if (first && d->owner->OnError)
            d->owner->OnError(text);
        return GST_BUS_DROP;
    }

    GstElement* makeSource()
    {
        if (source->device)
            return gst_device_create_element(source->device, nullptr);
        GError* err = nullptr;
        GstElement* bin = gst_parse_bin_from_description(source->launch.toUtf8().constData(), TRUE, &err);
        if (err) {
            lastError = QString::fromUtf8(err->message);
            g_clear_error(&err);
        }
        return bin;
    }

    void stop()
    {
        if (!pipeline)
            return;
        gst_element_set_state(pipeline, GST_STATE_NULL); // joins the streaming threads
        GstBus* bus = gst_element_get_bus(pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(pipeline);
        pipeline = nullptr;
        sink = nullptr;
    }

    // The element that answers for the picture controls: the device's own (V4L2) when it has a
    // file descriptor, else one with the colour-balance interface.
    int v4l2Fd() const
    {
        if (!pipeline)
            return -1;
        GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
        GValue item = G_VALUE_INIT;
        int fd = -1;
        while (fd < 0 && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            GstElement* e = GST_ELEMENT(g_value_get_object(&item));
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(e), "device-fd"))
                g_object_get(e, "device-fd", &fd, nullptr);
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        return fd;
    }

    GstColorBalanceChannel* balanceChannel(TVideoProcAmp property, GstColorBalance** balance) const
    {
        *balance = nullptr;
        const char* label = balanceLabels[int(property)];
        if (!pipeline || !label)
            return nullptr;
        GstElement* e = gst_bin_get_by_interface(GST_BIN(pipeline), GST_TYPE_COLOR_BALANCE);
        if (!e)
            return nullptr;
        *balance = GST_COLOR_BALANCE(e);
        for (const GList* l = gst_color_balance_list_channels(*balance); l; l = l->next) {
            auto* channel = GST_COLOR_BALANCE_CHANNEL(l->data);
            if (QString::fromUtf8(channel->label).compare(QLatin1String(label), Qt::CaseInsensitive) == 0)
                return channel;
        }
        gst_object_unref(e);
        *balance = nullptr;
        return nullptr;
    }
};

TVideoCapture::TVideoCapture() : d(std::make_unique<Impl>()) { d->owner = this; }

TVideoCapture::~TVideoCapture() { d->stop(); }

bool TVideoCapture::Open(const TVideoDeviceEntry& device)
{
    Stop();
    QString error;
    if (!initGst(&error))
        return d->fail(error);
    d->source = std::static_pointer_cast<DeviceSource>(device.Impl);
    if (!d->source)
        return d->fail(QStringLiteral("The video device %1 is not available.").arg(device.FriendlyName));
    d->device = device;
    GstCaps* caps = nullptr;
    if (d->source->device) {
        caps = gst_device_get_caps(d->source->device);
    } else {
        caps = gst_caps_from_string(d->source->caps.toUtf8().constData());
        if (!caps)
            return d->fail(QStringLiteral("The formats of %1 cannot be read.").arg(device.FriendlyName));
    }
    d->formats = formatsOf(caps);
    if (caps)
        gst_caps_unref(caps);
    return true;
}

bool TVideoCapture::IsOpen() const { return d->source != nullptr; }
QString TVideoCapture::DeviceName() const { return d->device.FriendlyName; }
const QList<TVideoFormatCaps>& TVideoCapture::Formats() const { return d->formats; }
QString TVideoCapture::LastError() const { return d->lastError; }
bool TVideoCapture::IsRunning() const { return d->pipeline != nullptr; }

bool TVideoCapture::Run(const QString& caps, int timeoutMs)
{
    Stop();
    if (!d->source)
        return d->fail(QStringLiteral("No video device is open."));
    {
        std::lock_guard<std::mutex> guard(d->lock);
        d->frames = 0;
        d->failed = false;
        d->started = false;
        d->failure.clear();
    }
    GstCaps* filterCaps = nullptr;
    if (caps.isEmpty()) {
        // The device's own formats that the decoders know, in the device's order: its first one wins.
        GstCaps* decodable = gst_caps_from_string(DecodableCaps);
        GstCaps* offered = d->source->device ? gst_device_get_caps(d->source->device)
                                             : gst_caps_from_string(d->source->caps.toUtf8().constData());
        if (offered) {
            filterCaps = gst_caps_intersect_full(offered, decodable, GST_CAPS_INTERSECT_FIRST);
            gst_caps_unref(offered);
        }
        if (!filterCaps || gst_caps_is_empty(filterCaps)) {
            if (filterCaps)
                gst_caps_unref(filterCaps);
            filterCaps = gst_caps_ref(decodable);
        }
        gst_caps_unref(decodable);
    } else {
        filterCaps = gst_caps_from_string(caps.toUtf8().constData());
    }
    if (!filterCaps)
        return d->fail(QStringLiteral("The format \"%1\" is not valid.").arg(caps));
    d->lastError.clear();
    GstElement* source = d->makeSource();
    if (!source) {
        gst_caps_unref(filterCaps);
        return d->fail(QStringLiteral("The video device %1 cannot be opened. %2").arg(d->device.FriendlyName, d->lastError).trimmed());
    }
    d->pipeline = gst_pipeline_new("capture");
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    d->sink = gst_element_factory_make("appsink", nullptr);
    if (!filter || !d->sink) {
        gst_caps_unref(filterCaps);
        gst_object_unref(source);
        if (filter)
            gst_object_unref(filter);
        if (d->sink)
            gst_object_unref(d->sink);
        gst_object_unref(d->pipeline);
        d->pipeline = d->sink = nullptr;
        return d->fail(QStringLiteral("GStreamer lacks its capsfilter or appsink element."));
    }
    g_object_set(filter, "caps", filterCaps, nullptr);
    gst_caps_unref(filterCaps);
    g_object_set(d->sink, "sync", FALSE, "max-buffers", 2, "drop", TRUE, "enable-last-sample", gboolean(d->bufferSamples),
                 nullptr);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = &Impl::newSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(d->sink), &callbacks, d.get(), nullptr);
    gst_bin_add_many(GST_BIN(d->pipeline), source, filter, d->sink, nullptr);
    GstBus* bus = gst_element_get_bus(d->pipeline);
    gst_bus_set_sync_handler(bus, &Impl::busMessage, d.get(), nullptr);
    gst_object_unref(bus);
    if (!gst_element_link_many(source, filter, d->sink, nullptr)) {
        Stop();
        return d->fail(QStringLiteral("The device %1 does not deliver this format.").arg(d->device.FriendlyName));
    }
    const GstStateChangeReturn ret = gst_element_set_state(d->pipeline, GST_STATE_PLAYING);
    std::unique_lock<std::mutex> guard(d->lock);
    if (ret != GST_STATE_CHANGE_FAILURE)
        d->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return d->frames > 0 || d->failed; });
    if (ret == GST_STATE_CHANGE_FAILURE || d->failed) {
        QString why = d->failure;
        guard.unlock();
        Stop();
        if (why.isEmpty())
            why = QStringLiteral("The video device %1 cannot be started.").arg(d->device.FriendlyName);
        return d->fail(why);
    }
    d->started = true;
    return true;
}

bool TVideoCapture::Pause()
{
    if (!d->pipeline)
        return d->fail(QStringLiteral("The video is not running."));
    if (gst_element_set_state(d->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return d->fail(QStringLiteral("The video cannot pause."));
    return true;
}

bool TVideoCapture::Resume()
{
    if (!d->pipeline)
        return d->fail(QStringLiteral("The video is not running."));
    if (gst_element_set_state(d->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return d->fail(QStringLiteral("The video cannot resume."));
    return true;
}

void TVideoCapture::Stop() { d->stop(); }

void TVideoCapture::SetBufferSamples(bool buffer)
{
    d->bufferSamples = buffer;
    if (d->sink)
        g_object_set(d->sink, "enable-last-sample", gboolean(buffer), nullptr);
}

bool TVideoCapture::BufferSamples() const { return d->bufferSamples; }

bool TVideoCapture::LastFrame(QByteArray& bytes) const
{
    bytes.clear();
    if (!d->sink || !d->bufferSamples)
        return false;
    GstSample* sample = nullptr;
    g_object_get(d->sink, "last-sample", &sample, nullptr);
    if (!sample)
        return false;
    bool ok = false;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        if (map.size > 0 && map.size <= 0x7FFFFFFF) {
            bytes = QByteArray(reinterpret_cast<const char*>(map.data), qsizetype(map.size));
            ok = true;
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return ok;
}

TVideoFormatCaps TVideoCapture::CurrentFormat() const
{
    TVideoFormatCaps f;
    if (!d->sink)
        return f;
    GstPad* pad = gst_element_get_static_pad(d->sink, "sink");
    GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr;
    if (caps && gst_caps_get_size(caps) > 0) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        f = formatOf(s, gst_structure_get_string(s, "format"));
    }
    if (caps)
        gst_caps_unref(caps);
    if (pad)
        gst_object_unref(pad);
    return f;
}

bool TVideoCapture::HasProcAmp() const
{
    if (d->v4l2Fd() >= 0)
        return true;
    GstElement* e = d->pipeline ? gst_bin_get_by_interface(GST_BIN(d->pipeline), GST_TYPE_COLOR_BALANCE) : nullptr;
    if (e)
        gst_object_unref(e);
    return e != nullptr;
}

int TVideoCapture::GetProcAmpRange(TVideoProcAmp property, TVideoProcAmpRange& range) const
{
    const int index = int(property);
    if (index < 0 || index >= VideoProcAmpCount)
        return 1;
    const int fd = d->v4l2Fd();
    if (fd >= 0) {
        const V4l2Control& c = v4l2Controls[index];
        v4l2_queryctrl q = {};
        q.id = c.id;
        if (c.id == 0 || ioctl(fd, VIDIOC_QUERYCTRL, &q) != 0 || (q.flags & V4L2_CTRL_FLAG_DISABLED))
            return 1;
        range.Min = q.minimum;
        range.Max = q.maximum;
        range.Step = q.step;
        range.Default = q.default_value;
        range.Flags = VideoProcAmpFlagsManual;
        v4l2_queryctrl a = {};
        a.id = c.autoId;
        if (c.autoId != 0 && ioctl(fd, VIDIOC_QUERYCTRL, &a) == 0 && !(a.flags & V4L2_CTRL_FLAG_DISABLED))
            range.Flags |= VideoProcAmpFlagsAuto;
        return 0;
    }
    GstColorBalance* balance = nullptr;
    GstColorBalanceChannel* channel = d->balanceChannel(property, &balance);
    if (!channel)
        return 1;
    range.Min = channel->min_value;
    range.Max = channel->max_value;
    range.Step = 1;
    // The interface names no default; its channels rest in the middle of their range.
    range.Default = channel->min_value + (channel->max_value - channel->min_value) / 2;
    range.Flags = VideoProcAmpFlagsManual;
    gst_object_unref(balance);
    return 0;
}

int TVideoCapture::GetProcAmp(TVideoProcAmp property, qint32& value, qint32& flags) const
{
    const int index = int(property);
    if (index < 0 || index >= VideoProcAmpCount)
        return 1;
    const int fd = d->v4l2Fd();
    if (fd >= 0) {
        const V4l2Control& c = v4l2Controls[index];
        v4l2_control ctrl = {};
        ctrl.id = c.id;
        if (c.id == 0 || ioctl(fd, VIDIOC_G_CTRL, &ctrl) != 0)
            return c.id == 0 ? 1 : -1;
        value = ctrl.value;
        flags = VideoProcAmpFlagsManual;
        v4l2_control a = {};
        a.id = c.autoId;
        if (c.autoId != 0 && ioctl(fd, VIDIOC_G_CTRL, &a) == 0 && a.value != 0)
            flags = VideoProcAmpFlagsAuto;
        return 0;
    }
    GstColorBalance* balance = nullptr;
    GstColorBalanceChannel* channel = d->balanceChannel(property, &balance);
    if (!channel)
        return 1;
    value = gst_color_balance_get_value(balance, channel);
    flags = VideoProcAmpFlagsManual;
    gst_object_unref(balance);
    return 0;
}

int TVideoCapture::SetProcAmp(TVideoProcAmp property, qint32 value, qint32 flags)
{
    const int index = int(property);
    if (index < 0 || index >= VideoProcAmpCount)
        return 1;
    const int fd = d->v4l2Fd();
    if (fd >= 0) {
        const V4l2Control& c = v4l2Controls[index];
        if (c.id == 0)
            return 1;
        if (c.autoId != 0) {
            v4l2_control a = {};
            a.id = c.autoId;
            a.value = (flags & VideoProcAmpFlagsAuto) ? 1 : 0;
            ioctl(fd, VIDIOC_S_CTRL, &a); // a device without the switch keeps its manual control
            if (a.value)
                return 0;
        }
        v4l2_control ctrl = {};
        ctrl.id = c.id;
        ctrl.value = value;
        if (ioctl(fd, VIDIOC_S_CTRL, &ctrl) != 0) {
            d->lastError = QStringLiteral("The device refused the value %1.").arg(value);
            return -1;
        }
        return 0;
    }
    GstColorBalance* balance = nullptr;
    GstColorBalanceChannel* channel = d->balanceChannel(property, &balance);
    if (!channel)
        return 1;
    if (value < channel->min_value || value > channel->max_value) {
        gst_object_unref(balance);
        d->lastError = QStringLiteral("The value %1 lies outside %2 .. %3.").arg(value).arg(channel->min_value).arg(channel->max_value);
        return -1;
    }
    gst_color_balance_set_value(balance, channel, value);
    gst_object_unref(balance);
    return 0;
}
