// Live video at 1920 x 1080, 30 frames a second, from a GStreamer test pattern: the frame source
// with a handler that takes each frame's picture as the series window does, beside the same source
// delivering into a plain appsink. Frames received, shown and skipped come from the frame source's
// own counters; the GUI thread's lateness from a timer beside the video. Then the frame decoders
// beside GStreamer's own conversion of the same frame to the same 24-bit layout.
#include "Ratios.h"

#include "acquisition/VFrameDecode.h"
#include "acquisition/VFrames.h"
#include "image/TFastDIB.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 150; // five seconds of video per repetition

const char* const kSource = "Bench Camera|videotestsrc is-live=true pattern=ball|"
                            "video/x-raw,format=YUY2,width=1920,height=1080,framerate=30/1";

void BM_LiveView_1080p30(benchmark::State& state)
{
    qputenv(VideoExtraSourcesVariable, kSource);
    double received = 0, shown = 0, skipped = 0, worstLate = 0, cpu = 0;
    std::vector<double> lateness;
    for (auto _ : state) {
        TVideoImage video;
        QImage picture;
        QEventLoop loop;
        video.OnNewVideoFrame = [&](TVideoImage* sender, qint32, qint32, const quint8*) {
            sender->GetBitmap(picture);
            if (sender->FramesReceived() >= kFrames)
                loop.quit();
        };
        // A 10 ms tick stands for the user's input: how late it comes is how the window responds.
        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (last)
                lateness.push_back(double(now - last) / 1e6 - 10.0);
            last = now;
        });
        bench::timeByWall(state, cpu, [&] {
            if (video.VideoStart(QStringLiteral("Bench Camera")) != 0) {
                state.SkipWithError(qPrintable(video.LastError()));
                return;
            }
            clock.start();
            tick.start(10);
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            loop.exec();
            tick.stop();
            received += video.FramesReceived();
            shown += video.FramesShown();
            skipped += video.FramesSkipped();
            video.VideoStop();
        });
        if (picture.size() != QSize(kWidth, kHeight)) {
            state.SkipWithError("the frames did not arrive at their size");
            return;
        }
    }
    std::sort(lateness.begin(), lateness.end());
    if (!lateness.empty())
        worstLate = lateness.back();
    const double n = double(state.iterations());
    state.counters["received"] = received / n;
    state.counters["shown"] = shown / n;
    state.counters["skipped"] = skipped / n;
    state.counters["dropped_per_100"] = received > 0 ? 100.0 * (received - shown) / received : 0;
    state.counters["gui_late_median_ms"] = lateness.empty() ? 0 : lateness[lateness.size() / 2];
    state.counters["gui_late_worst_ms"] = worstLate;
    bench::reportCpu(state, cpu);
}
BENCHMARK(BM_LiveView_1080p30)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The same source into an appsink that only counts: what the device delivers by itself.
void BM_Reference_AppsinkAlone_1080p30(benchmark::State& state)
{
    double cpu = 0;
    for (auto _ : state) {
        GstElement* pipeline = gst_parse_launch(
            "videotestsrc is-live=true pattern=ball ! video/x-raw,format=YUY2,width=1920,height=1080,framerate=30/1 "
            "! appsink name=sink sync=false max-buffers=2 drop=true", nullptr);
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
        std::atomic<int> frames{0};
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = [](GstAppSink* s, gpointer data) {
            GstSample* sample = gst_app_sink_pull_sample(s);
            gst_sample_unref(sample);
            ++*static_cast<std::atomic<int>*>(data);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &frames, nullptr);
        bench::timeByWall(state, cpu, [&] {
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (frames >= kFrames)
                    loop.quit();
            });
            poll.start(1);
            loop.exec();
        });
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(sink);
        gst_object_unref(pipeline);
    }
    bench::reportCpu(state, cpu);
}
BENCHMARK(BM_Reference_AppsinkAlone_1080p30)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// One frame of the test pattern in the given raw format.
std::vector<quint8> patternFrame(const char* format)
{
    const QByteArray launch = QByteArray("videotestsrc num-buffers=1 pattern=smpte ! video/x-raw,format=") + format
        + ",width=1920,height=1080 ! appsink name=sink";
    GstElement* pipeline = gst_parse_launch(launch.constData(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::vector<quint8> bytes;
    if (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            bytes.assign(map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return bytes;
}

void decodeBench(benchmark::State& state, const char* format, quint32 fourCC)
{
    const std::vector<quint8> frame = patternFrame(format);
    TFastDIB bmp;
    bmp.SetSize(kWidth, kHeight, 24);
    for (auto _ : state)
        bench::timeByCpu(state, [&] {
            if (UnpackVideoFrame(fourCC, frame.data(), qint64(frame.size()), bmp) != 0)
                state.SkipWithError("the frame did not decode");
        });
}

// GStreamer's converter, one thread, from the same frame into packed BGR rows.
void referenceBench(benchmark::State& state, const char* format)
{
    std::vector<quint8> frame = patternFrame(format);
    GstVideoInfo in, out;
    gst_video_info_set_format(&in, gst_video_format_from_string(format), kWidth, kHeight);
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGR, kWidth, kHeight);
    GstVideoConverter* converter = gst_video_converter_new(&in, &out,
        gst_structure_new("options", GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT, 1, nullptr));
    std::vector<quint8> target(GST_VIDEO_INFO_SIZE(&out));
    GstBuffer* inBuf = gst_buffer_new_wrapped_full(GstMemoryFlags(0), frame.data(), frame.size(), 0, frame.size(), nullptr, nullptr);
    GstBuffer* outBuf = gst_buffer_new_wrapped_full(GstMemoryFlags(0), target.data(), target.size(), 0, target.size(), nullptr, nullptr);
    GstVideoFrame src, dst;
    gst_video_frame_map(&src, &in, inBuf, GST_MAP_READ);
    gst_video_frame_map(&dst, &out, outBuf, GST_MAP_WRITE);
    for (auto _ : state)
        bench::timeByCpu(state, [&] { gst_video_converter_frame(converter, &src, &dst); });
    gst_video_frame_unmap(&src);
    gst_video_frame_unmap(&dst);
    gst_buffer_unref(inBuf);
    gst_buffer_unref(outBuf);
    gst_video_converter_free(converter);
}

void BM_DecodeYUY2_1080p(benchmark::State& state) { decodeBench(state, "YUY2", MakeFourCC('Y', 'U', 'Y', '2')); }
void BM_DecodeI420_1080p(benchmark::State& state) { decodeBench(state, "I420", MakeFourCC('I', '4', '2', '0')); }
void BM_Reference_GstConvertYUY2_1080p(benchmark::State& state) { referenceBench(state, "YUY2"); }
void BM_Reference_GstConvertI420_1080p(benchmark::State& state) { referenceBench(state, "I420"); }
BENCHMARK(BM_DecodeYUY2_1080p)->UseManualTime()->Iterations(bench::iterations(20))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_GstConvertYUY2_1080p)->UseManualTime()->Iterations(bench::iterations(20))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeI420_1080p)->UseManualTime()->Iterations(bench::iterations(20))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_GstConvertI420_1080p)->UseManualTime()->Iterations(bench::iterations(20))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    bench::compare("BM_LiveView_1080p30/iterations:1", "BM_Reference_AppsinkAlone_1080p30/iterations:1");
    const std::string iterations = "/iterations:" + std::to_string(bench::iterations(20));
    bench::compare("BM_DecodeYUY2_1080p" + iterations, "BM_Reference_GstConvertYUY2_1080p" + iterations);
    bench::compare("BM_DecodeI420_1080p" + iterations, "BM_Reference_GstConvertI420_1080p" + iterations);
    return bench::runWithRatios(argc, argv);
}
