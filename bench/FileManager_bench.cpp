// The file manager listing a folder of 20,000 files: from browsing to it until its file list holds
// every listed entry (read, filtered and sorted on a pool thread, handed to the view in slices).
// Besides the time it reports the longest the GUI thread was busy at one stretch (max_stall_ms):
// what the user sees as a frozen window. Reference: listing and reading the attributes of the same
// files in one loop (QDirIterator + QFileInfo), the work the listing cannot do without. The ratio
// of the medians is printed at the end.
#include "MedianRatio.h"

#include "project/Settings.h"
#include "shell/FileListModel.h"
#include "shell/TF_FileManager.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int FileCount = 20000;
constexpr int ListedCount = FileCount * 3 / 4; // the .txt quarter is not listed

const QString& folder()
{
    static QTemporaryDir* dir = [] {
        auto* d = new QTemporaryDir;
        const char* ext[] = {"jpg", "jex4", "png", "txt"};
        for (int i = 0; i < FileCount; ++i) {
            QFile f(d->filePath(QStringLiteral("core_%1.%2").arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(ext[i % 4]))));
            f.open(QIODevice::WriteOnly);
            f.write("x");
        }
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

void BM_FileManagerListing(benchmark::State& state)
{
    SettingFileManagerDisplayEverything = false;
    SettingFileManagerDisplayExtensions = {QStringLiteral("jpg"), QStringLiteral("jex4"), QStringLiteral("png")};
    const QString path = folder();
    double maxStall = 0;
    for (auto _ : state) {
        // A fresh model each time: a second browse would find the folder read already.
        auto fm = std::make_unique<TF_FileManager>();
        fm->resize(300, 600);
        fm->show();
        fm->BrowseTo(path);
        auto listed = [&] { return fm->Files->rowCount(); };
        QElapsedTimer total;
        total.start();
        while (listed() < ListedCount && total.elapsed() < 60000) {
            QElapsedTimer stretch;
            stretch.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            maxStall = std::max(maxStall, stretch.nsecsElapsed() / 1e6);
        }
        if (listed() != ListedCount)
            state.SkipWithError("the folder was not listed in full");
        state.PauseTiming();
        fm.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["max_stall_ms"] = maxStall;
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(BM_FileManagerListing)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(5));

void BM_Reference_ListAndStat(benchmark::State& state)
{
    const QString path = folder();
    for (auto _ : state) {
        qint64 sum = 0;
        int n = 0;
        QDirIterator it(path, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            sum += info.size() + info.lastModified().toSecsSinceEpoch() + (info.isDir() ? 1 : 0);
            ++n;
        }
        benchmark::DoNotOptimize(sum);
        if (n != FileCount)
            state.SkipWithError("unexpected file count");
    }
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(BM_Reference_ListAndStat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(5));

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    std::printf("Listing %d files\n", FileCount);
    bench::MedianRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
        {"BM_FileManagerListing/real_time", "BM_Reference_ListAndStat/real_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
