// The file manager left alone on a busy folder: 300 listed files, and a writer that saves one of
// them every 5 ms the way programs save (a temporary file written, then renamed over the file),
// 200 changes a second. Measured: the CPU time the program spends per second of idling on it, the
// writer's own time left out. Reference: the same program on a quiet folder of the same 300 files
// while the same writer works in another folder. The ratio of the medians is printed at the end.
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

constexpr int FileCount = 300;
constexpr int IdleMs = 2000;

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QString fileName(int i)
{
    return QStringLiteral("core_%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
}

void fill(const QString& folder)
{
    for (int i = 0; i < FileCount; ++i) {
        QFile f(QDir(folder).filePath(fileName(i)));
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }
}

// The event loop as the idle program runs it, sleeping until something happens.
void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Saves the folder's files one after another every 5 ms until stopped; its CPU time goes to `cpu`.
class Writer {
public:
    explicit Writer(const QString& folder)
        : m_thread([this, folder] {
            const double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            const QDir dir(folder);
            for (int i = 0; !m_stop; i = (i + 1) % FileCount) {
                const QString temp = dir.filePath(QStringLiteral("save.tmp"));
                QFile f(temp);
                if (f.open(QIODevice::WriteOnly)) {
                    f.write(QByteArray(1 + i % 7, 'x'));
                    f.close();
                }
                ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(dir.filePath(fileName(i))).constData());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            m_cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
        })
    {
    }
    // Stops the writer; its CPU seconds.
    double stop()
    {
        m_stop = true;
        m_thread.join();
        return m_cpu;
    }

private:
    std::atomic<bool> m_stop{false};
    double m_cpu = 0;
    std::thread m_thread;
};

// The program idles IdleMs on `shown` while the writer works in `busy`.
void idleWhileWriting(benchmark::State& state, bool busyFolderShown)
{
    SettingFileManagerDisplayEverything = false;
    SettingFileManagerDisplayExtensions = {QStringLiteral("jpg")};
    // Away from the shared temporary folder: the folder tree watches the parents it shows.
    QTemporaryDir shown(QDir::homePath() + QStringLiteral("/fm-bench-XXXXXX")), other(QDir::homePath() + QStringLiteral("/fm-bench-XXXXXX"));
    fill(shown.path());
    fill(other.path());
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
        Writer writer(busyFolderShown ? shown.path() : other.path());
        const double start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        QElapsedTimer idle;
        idle.start();
        idleFor(IdleMs);
        const double writerCpu = writer.stop();
        const double programCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start - writerCpu;
        // Seconds of CPU per second idled: shown as ms, 1000 is a whole core.
        state.SetIterationTime(programCpu / (idle.elapsed() / 1000.0));
        // What the writer left behind is what the list must end with.
        idleFor(3000);
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
