// The file manager left alone on a busy folder: 300 listed files, and a writer that saves one of
// them every 5 ms the way programs save (a temporary file written, then renamed over the file),
// 200 changes a second. Measured: the CPU time the program spends per second of idling on it, the
// writer's own time left out. Reference: the same program on a quiet folder of the same 300 files
// while the same writer works in another folder. The ratio of the medians is printed at the end.
#include "BusyFolder.h"
#include "MedianRatio.h"

#include "project/Settings.h"
#include "shell/FileListModel.h"
#include "shell/TF_FileManager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <time.h>

namespace {

using bench::BusyFolderFiles;
constexpr int FileCount = BusyFolderFiles;
constexpr int IdleMs = 2000;

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The program idles IdleMs on `shown` while the writer works in `busy`.
void idleWhileWriting(benchmark::State& state, bool busyFolderShown)
{
    SettingFileManagerDisplayEverything = false;
    SettingFileManagerDisplayExtensions = {QStringLiteral("jpg")};
    // Away from the shared temporary folder: the folder tree watches the parents it shows.
    QTemporaryDir shown(QDir::homePath() + QStringLiteral("/fm-bench-XXXXXX")), other(QDir::homePath() + QStringLiteral("/fm-bench-XXXXXX"));
    bench::fillBusyFolder(shown.path());
    bench::fillBusyFolder(other.path());
    auto fm = std::make_unique<TF_FileManager>();
    fm->resize(300, 600);
    fm->show();
    fm->BrowseTo(shown.path());
    QElapsedTimer wait;
    wait.start();
    while ((fm->Files->isListing() || fm->Files->rowCount() != FileCount) && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (fm->Files->rowCount() != FileCount) {
        state.SkipWithError("the folder was not listed");
        return;
    }
    for (auto _ : state) {
        bench::FolderWriter writer(busyFolderShown ? shown.path() : other.path());
        const double start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        QElapsedTimer idle;
        idle.start();
        bench::idleFor(IdleMs);
        const double writerCpu = writer.stop();
        const double programCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start - writerCpu;
        // Seconds of CPU per second idled: shown as ms, 1000 is a whole core.
        state.SetIterationTime(programCpu / (idle.elapsed() / 1000.0));
        // What the writer left behind is what the list must end with.
        bench::idleFor(3000);
        if (fm->Files->rowCount() != FileCount)
            state.SkipWithError("the list does not hold the folder's files");
    }
}

void BM_FileManager_IdleOnBusyFolder(benchmark::State& state)
{
    idleWhileWriting(state, true);
}
BENCHMARK(BM_FileManager_IdleOnBusyFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(5));

void BM_Reference_IdleOnQuietFolder(benchmark::State& state)
{
    idleWhileWriting(state, false);
}
BENCHMARK(BM_Reference_IdleOnQuietFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(5));

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    bench::MedianRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
        {"BM_FileManager_IdleOnBusyFolder/manual_time", "BM_Reference_IdleOnQuietFolder/manual_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
