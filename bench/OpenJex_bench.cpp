// Opening an older .jex project of 40,000 to 160,000 points into a running program: the main
// window shown with its measurement tree, the file handed over as a second start hands it over.
// Reference: the same import with the main window not shown yet, as the command line opens a file
// at start-up; the ratio should stay flat as the points grow.
#include "MedianRatio.h"

#include "platform/Dialogs.h"
#include "platform/FakeDialogs.h"
#include "project/JEX3Project.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int PointsPerIndex = 10; // an index point and nine measurement points

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// "<points>.jex" with its picture beside it, made once per size.
QString olderProject(int points)
{
    const QString base = folder().filePath(QString::number(points));
    const QString file = base + QStringLiteral(".jex");
    if (QFile::exists(file))
        return file;
    QImage picture(2000, 200, QImage::Format_RGB32);
    picture.fill(QColor(150, 110, 60));
    picture.save(base + QStringLiteral(".jpg"), "JPG");
    QByteArray bytes = EncodeJEX3Record(JEX3ImageRecord(QStringLiteral("C:\\Kerne\\core.jpg")))
        + EncodeJEX3Record(JEX3ResolutionRecord(2400));
    for (int i = 0; i < points; ++i)
        bytes += EncodeJEX3Record(JEX3PointRecord(i % PointsPerIndex != 0, QPoint(i % 2000, 20 + (i / 2000) % 160),
                                                  QString(), 1 + i / PointsPerIndex));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return file;
}

// A main window with its measurement tree, shown (the running program) or not yet (start-up).
struct Program {
    explicit Program(bool shown)
    {
        InitSettingVariables();
        auto dialogs = std::make_unique<FakeDialogs>();
        fake = dialogs.get();
        setDialogs(std::move(dialogs));
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
        F_Measurements = new TF_Measurements(main.get());
        if (shown) {
            fake->answerMessage(mrNo); // the file association question of the first showing
            main->show();
            QCoreApplication::processEvents();
        }
    }
    ~Program()
    {
        main.reset();
        F_Main = nullptr;
        F_Measurements = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setDialogs(nullptr);
        TF_ErrorLog::ClearLog();
    }
    FakeDialogs* fake = nullptr;
    std::unique_ptr<TF_Main> main;
};

void open(benchmark::State& state, bool running)
{
    const int points = int(state.range(0));
    const QString file = olderProject(points);
    for (auto _ : state) {
        state.PauseTiming();
        auto program = std::make_unique<Program>(running);
        state.ResumeTiming();
        if (running)
            program->main->OneInstanceNewInstanceLoad({file});
        else
            program->main->ImportOlderProject(file);
        QCoreApplication::processEvents(); // what the tree and the window still have to do
        state.PauseTiming();
        const QList<TF_SMDI*> windows = program->main->MDIChildren();
        if (windows.size() != 1 || windows.front()->PathList.empty())
            state.SkipWithError("the project did not open");
        program.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * points);
}

void BM_OpenJex_IntoRunningProgram(benchmark::State& state)
{
    open(state, true);
}
BENCHMARK(BM_OpenJex_IntoRunningProgram)->Arg(40000)->Arg(80000)->Arg(160000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

void BM_Reference_OpenJex_AtStartUp(benchmark::State& state)
{
    open(state, false);
}
BENCHMARK(BM_Reference_OpenJex_AtStartUp)->Arg(40000)->Arg(80000)->Arg(160000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet); // the offscreen platform complains of every raise()
    QApplication app(argc, argv);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const char* n : {"40000", "80000", "160000"})
        pairs.emplace_back(std::string("BM_OpenJex_IntoRunningProgram/") + n + "/real_time",
                           std::string("BM_Reference_OpenJex_AtStartUp/") + n + "/real_time");
    bench::runInterleaved(argc, argv, pairs);
    return 0;
}
