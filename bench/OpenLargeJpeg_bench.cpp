// Opening a 47244 x 9449 JPEG (a whole core scanned at high resolution) into a new project, beside
// libjpeg-turbo's own decode of the same file. Each measurement runs in a fresh process, so its
// peak memory (maxrss) is that measurement's alone; five runs of each give medians and the ratio.
// The file is made by the benchmark on first use and kept in the temporary folder. Quick mode
// opens one eighth of the width and height, once.
#include "BenchSupport.h"
#include "Quick.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const int Width = bench::quick() ? 47244 / 8 : 47244;
const int Height = bench::quick() ? 9449 / 8 : 9449;
constexpr int Quality = 90;
const int Runs = bench::repetitions(5);

QString jpegFile()
{
    return QDir::temp().filePath(QStringLiteral("jex4-bench-%1x%2-q%3.jpg").arg(Width).arg(Height).arg(Quality));
}

qint64 pixelBytes()
{
    return qint64((Width * 24 + 31) / 32 * 4) * Height;
}

bool makeJpeg(const QString& name)
{
    if (QFileInfo(name).size() > 0)
        return true;
    TFastDIB image;
    image.UseGDI = false;
    image.SetSize(Width, Height, 24);
    if (!image.Bits)
        return false;
    bench::fillScan(image, Width, Height, 3);
    TFastJPG jpg;
    jpg.AttachImage(&image);
    jpg.Props.Quality = Quality;
    return jpg.SaveFile(name) == 0;
}

qint64 peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

// One measurement in this process: prints "seconds peak_KiB".
int measure(const QString& mode, const QString& name)
{
    const qint64 before = peakKiB();
    QElapsedTimer timer;
    timer.start();
    if (mode == QLatin1String("project")) {
        // The open command's road: a new window, the image read into it, fitted to the view.
        auto* w = new TF_SMDI;
        w->resize(1200, 800);
        if (w->LoadImage(name, true) != 0 || w->StitchList.empty() || w->StitchList[0]->Width != Width)
            return 1;
        w->SmoothDraw(true); // the first showing builds the zoomed copy
    } else if (mode == QLatin1String("libjpeg")) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        bench::referenceDecode(f.readAll());
    } else {
        return 2;
    }
    const double seconds = timer.nsecsElapsed() * 1e-9;
    std::printf("%.4f %lld %lld\n", seconds, peakKiB(), before);
    return 0;
}

struct Figures {
    double seconds = 0;
    double peakBytes = 0; // above what the process held before the measurement
};

Figures median(const QString& self, const QString& mode, const QString& name)
{
    std::vector<double> times, peaks;
    for (int i = 0; i < Runs; ++i) {
        QProcess child;
        child.start(self, {QStringLiteral("--measure"), mode, name});
        if (!child.waitForFinished(-1) || child.exitCode() != 0) {
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(mode), child.readAllStandardError().constData());
            return {};
        }
        const QList<QByteArray> parts = child.readAllStandardOutput().trimmed().split(' ');
        times.push_back(parts.value(0).toDouble());
        peaks.push_back((parts.value(1).toDouble() - parts.value(2).toDouble()) * 1024);
    }
    std::sort(times.begin(), times.end());
    std::sort(peaks.begin(), peaks.end());
    return {times[Runs / 2], peaks[Runs / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::numbersInC(); // the measuring child prints its figures for this process to read
    ApplyAbsentSettingDefaults();
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--measure"))
        return measure(args[2], args[3]);

    const QString name = jpegFile();
    if (!makeJpeg(name)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        return 1;
    }
    std::printf("%d x %d JPEG, %.1f MB, %.2f GB of 24-bit pixels; %d runs each, medians\n", Width, Height,
                QFileInfo(name).size() / 1e6, pixelBytes() / 1e9, Runs);
    const Figures project = median(args[0], QStringLiteral("project"), name);
    const Figures libjpeg = median(args[0], QStringLiteral("libjpeg"), name);
    if (project.seconds <= 0 || libjpeg.seconds <= 0)
        return 1;
    std::printf("%-40s %10.3f s   peak %6.2f GiB = %.2f bytes per pixel byte\n", "open into a project", project.seconds,
                project.peakBytes / (1 << 30), project.peakBytes / pixelBytes());
    std::printf("%-40s %10.3f s   peak %6.2f GiB = %.2f bytes per pixel byte\n", "libjpeg-turbo decode (reference)",
                libjpeg.seconds, libjpeg.peakBytes / (1 << 30), libjpeg.peakBytes / pixelBytes());
    std::printf("ratio open into a project / libjpeg-turbo decode = %.2fx\n", project.seconds / libjpeg.seconds);
    return 0;
}
