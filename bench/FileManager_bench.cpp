// The file manager listing a folder of 20,000 files: from browsing to it until its file list holds
// every listed entry (read, filtered and sorted on a pool thread, handed to the view in slices).
// Besides the time it reports the longest the GUI thread was busy at one stretch (max_stall_ms):
// what the user sees as a frozen window. Reference: listing and reading the attributes of the same
// files in one loop (QDirIterator + QFileInfo), the work the listing cannot do without. The ratio
// of the medians is printed at the end.
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
#include <map>
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
BENCHMARK(BM_FileManagerListing)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

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
BENCHMARK(BM_Reference_ListAndStat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

// Keeps the medians so the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto listing = reporter.medians.find("BM_FileManagerListing");
    const auto reference = reporter.medians.find("BM_Reference_ListAndStat");
    if (listing != reporter.medians.end() && reference != reporter.medians.end() && reference->second > 0)
        std::printf("Listing %d files: %.1f ms median, %.2fx the reference's %.1f ms\n", FileCount, listing->second,
                    listing->second / reference->second, reference->second);
    benchmark::Shutdown();
    return 0;
}
