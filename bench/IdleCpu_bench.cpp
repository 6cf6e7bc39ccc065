// The idle program: the main window with one new project, the file manager on a folder, and the
// link to RAXO retrying against a port nobody listens on. Measured: CPU time (getrusage, all
// threads) per second of wall time while the event loop sleeps, as a percentage of one core.
// Two cases: a quiet folder, and a busy one where a helper thread keeps saving files (its own CPU
// time left out).
#include "BusyFolder.h"
#include "Quick.h"

#include "platform/Dialogs.h"
#include "project/Settings.h"
#include "shell/FileListModel.h"
#include "shell/RAXOLink.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int FileCount = bench::BusyFolderFiles;

int idleMs()
{
    return bench::quick() ? 300 : 5000;
}

double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Nobody at the screen: every question is answered No or Cancel, so the first showing does not wait.
class NoOneThere : public Dialogs {
public:
    int messageDlg(const QString&, TMsgDlgType, TMsgDlgButtons, int) override { return mrNo; }
    void showMessage(const QString&) override {}
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    int messageDlgWithCheckBox(const QString&, const QString&, const QString&, bool&) override { return mrNo; }
    FileDialogAnswer openFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer openFiles(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer saveFile(const FileDialogRequest&) override { return {}; }
    QString selectDirectory(const QString&, const QString&) override { return {}; }
};

// A port that refuses: listened on once, then closed.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// Each round's CPU share of one core, per case (quiet, busy), for the closing ratio lines.
std::vector<double> shares[2];

void idleProgram(benchmark::State& state, bool busy)
{
    SettingFileManagerDisplayEverything = false;
    SettingFileManagerDisplayExtensions = {QStringLiteral("jpg")};
    QTemporaryDir folder(QDir::homePath() + QStringLiteral("/idle-bench-XXXXXX"));
    for (int i = 0; i < FileCount; ++i) {
        QFile f(QDir(folder.path()).filePath(bench::busyFolderFileName(i)));
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }
    auto main = std::make_unique<TF_Main>();
    F_Main = main.get();
    main->resize(1280, 800);
    main->show();
    main->A_NewProjectExecute();
    auto fm = std::make_unique<TF_FileManager>();
    F_FileManager = fm.get();
    fm->resize(300, 600);
    fm->show();
    fm->BrowseTo(folder.path());
    main->Link->SetPort(closedPort());
    main->Link->T_TCP->start();
    QElapsedTimer wait;
    wait.start();
    while ((fm->Files->isListing() || fm->Files->rowCount() != FileCount) && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (fm->Files->rowCount() != FileCount) {
        state.SkipWithError("the folder was not listed");
        return;
    }
    bench::idleFor(500); // settle: first showing, first retry
    double percent = 0;
    for (auto _ : state) {
        std::unique_ptr<bench::FolderWriter> writer;
        if (busy)
            writer = std::make_unique<bench::FolderWriter>(folder.path());
        const double start = cpuSeconds();
        QElapsedTimer idle;
        idle.start();
        bench::idleFor(idleMs());
        const double wall = idle.elapsed() / 1000.0;
        const double writerCpu = writer ? writer->stop() : 0.0;
        percent = 100.0 * (cpuSeconds() - start - writerCpu) / wall;
        state.SetIterationTime(percent / 1000.0); // shown in ms: 1 ms is 1 % of a core
        shares[busy].push_back(percent / 100.0);
    }
    state.counters["cpu_percent"] = percent;
    main->Link->T_TCP->stop();
    fm.reset();
    main->close();
    main.reset();
    F_Main = nullptr;
}

void BM_Idle_QuietFolder(benchmark::State& state)
{
    idleProgram(state, false);
}
BENCHMARK(BM_Idle_QuietFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(3));

void BM_Idle_BusyFolder(benchmark::State& state)
{
    idleProgram(state, true);
}
BENCHMARK(BM_Idle_BusyFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(3));

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setDialogs(std::make_unique<NoOneThere>());
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int busy = 0; busy < 2; ++busy) {
        auto& v = shares[busy];
        if (v.empty())
            continue;
        std::sort(v.begin(), v.end());
        std::printf("ratio CPU time / wall time, %s folder = %.4f\n", busy ? "busy" : "quiet", v[v.size() / 2]);
    }
    std::printf("Times are CPU per wall time as a percentage of one core, shown as ms: 1 ms is 1 %% (goal < 1 %% quiet, < 3 %% busy; the writer thread left out).\n");
    return 0;
}
