// Saving and loading a project with three embedded 12000 x 3000 scans and 1000 measured points,
// beside libjpeg-turbo's own work on the same three pictures. Read the project rows as ratios to
// the Reference rows: what the file format, Base64, XML and the window's copies of the pixels add
// to the JPEG work itself.
//
// What each side does:
//  - Save: the program compresses the pictures, writes them as Base64 inside the XML and commits
//    the file atomically (temporary file, flushed to the disk, renamed). The reference compresses
//    the same pixels with the same settings through libjpeg's own file output into one file,
//    written the same atomic way, so both sides stream to the disk and wait for it.
//  - Load: the program reads the file (from the page cache), parses it, decodes Base64 and JPEG
//    and builds the window's copies. The reference decodes the same JPEG bytes from memory.
// Each repetition is one save or load; the repetitions of all rows run interleaved in a random
// order, so a busy moment of the machine falls on both sides of a ratio alike.
#include "BenchSupport.h"
#include "MedianRatio.h"
#include "Ratios.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "project/JEX4_Objects.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Width = 12000;
constexpr int Height = 3000;
constexpr int Images = 3;
constexpr int Points = 1000;
constexpr int Quality = 100; // embedded pictures are written at quality 100

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString projectFile()
{
    return folder().path() + QStringLiteral("/bench.jex4");
}

// The project as the user builds it: three pasted scans side by side (they have no file, so they
// are embedded) and one path of 1000 points along them, an index point every 25.
TF_SMDI& sourceWindow()
{
    // Windows of the benchmarks are never freed: they must not outlive the application object.
    static TF_SMDI* w = [] {
        auto* win = new TF_SMDI;
        for (int i = 0; i < Images; ++i) {
            auto so = std::make_unique<TStitchObject>();
            so->x = i * Width;
            so->FD->SetSize(Width, Height, 24);
            bench::fillScan(*so->FD, Width, Height, i);
            so->Width = Width;
            so->Height = Height;
            so->Loaded = true;
            so->ImageChanged = true;
            win->StitchList.push_back(std::move(so));
        }
        TPath* path = win->PathList.front().get();
        const int step = Images * Width / Points;
        TIndex* index = nullptr;
        for (int n = 0; n < Points; ++n) {
            const QPoint pos(n * step + 20, Height / 2 + (n % 7) * 9);
            if (n % 25 == 0) {
                auto created = std::make_unique<TIndex>();
                created->Pos = pos;
                created->Path = path;
                index = created.get();
                path->ObjectList.push_back(std::move(created));
            } else {
                auto m = std::make_unique<TMeasurement>();
                m->Pos = pos;
                m->Path = path;
                m->Index = index;
                index->ObjectList.push_back(std::move(m));
            }
        }
        win->UpdateArea();
        return win;
    }();
    return *w;
}

// The file the project rows read, written once by the program's own writer.
const QString& writtenProject()
{
    static const QString file = [] {
        if (SaveProjectXML(&sourceWindow(), projectFile(), false) != 0)
            std::abort();
        return projectFile();
    }();
    return file;
}

// The JPEG bytes of the three pictures exactly as the project file holds them.
const std::vector<QByteArray>& embeddedJpegs()
{
    static const std::vector<QByteArray> jpegs = [] {
        QFile f(writtenProject());
        if (!f.open(QIODevice::ReadOnly))
            std::abort();
        const QByteArray xml = f.readAll();
        std::vector<QByteArray> out;
        for (qsizetype at = 0; (at = xml.indexOf("<![CDATA[", at)) >= 0;) {
            at += 9;
            const qsizetype end = xml.indexOf("]]>", at);
            out.push_back(QByteArray::fromBase64(xml.mid(at, end - at)));
            at = end;
        }
        if (out.size() != size_t(Images))
            std::abort();
        return out;
    }();
    return jpegs;
}

qint64 pixelBytes()
{
    return qint64(Images) * Width * Height * 3;
}

void setCounters(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * pixelBytes());
    state.counters["file_MB"] = double(QFile(writtenProject()).size()) / 1e6;
}

// ---- the project ---------------------------------------------------------------------------------

// Pixels that came from no project file: every picture is compressed anew.
void BM_SaveProject_NewPictures(benchmark::State& state)
{
    TF_SMDI& w = sourceWindow();
    writtenProject();
    const QString copy = folder().path() + QStringLiteral("/new.jex4");
    for (auto _ : state)
        if (SaveProjectXML(&w, copy, false) != 0)
            state.SkipWithError("save failed");
    setCounters(state);
}

// Everything the open command's reader does: Base64, JPEG decode, the tracker's copy and the
// zoomed copies of each picture, the points and their widths.
void BM_LoadProject(benchmark::State& state)
{
    static TF_SMDI* w = new TF_SMDI;
    const QString& file = writtenProject();
    for (auto _ : state) {
        if (LoadProjectXML(w, file) != ProjectRead)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(w->StitchList.data());
    }
    setCounters(state);
}

// Saving a loaded project whose pictures did not change writes the text they were read with.
void BM_SaveProject_LoadedPictures(benchmark::State& state)
{
    static TF_SMDI* w = new TF_SMDI;
    const QString& file = writtenProject();
    if (LoadProjectXML(w, file) != ProjectRead) {
        state.SkipWithError("load failed");
        return;
    }
    const QString copy = folder().path() + QStringLiteral("/copy.jex4");
    for (auto _ : state)
        if (SaveProjectXML(w, copy, false) != 0)
            state.SkipWithError("save failed");
    setCounters(state);
}

// ---- libjpeg-turbo alone on the same pictures ----------------------------------------------------

void BM_Decode_LibjpegReference(benchmark::State& state)
{
    const std::vector<QByteArray>& jpegs = embeddedJpegs();
    for (auto _ : state)
        for (const QByteArray& jpeg : jpegs)
            bench::referenceDecode(jpeg);
    setCounters(state);
}

void BM_EncodeAndWrite_LibjpegReference(benchmark::State& state)
{
    // Plain top-down copies of the same pixels, made once.
    static const std::vector<std::vector<JSAMPLE>> images = [] {
        std::vector<std::vector<JSAMPLE>> all;
        for (const auto& so : sourceWindow().StitchList)
            all.push_back(bench::topDownPixels(*so->FD, Width, Height));
        return all;
    }();
    writtenProject();
    // Written as QSaveFile writes: a new file, flushed to the disk, renamed over the old one.
    const QByteArray target = QFile::encodeName(folder().path() + QStringLiteral("/reference.jpgs"));
    const QByteArray temporary = target + ".new";
    for (auto _ : state) {
        FILE* file = std::fopen(temporary.constData(), "wb");
        if (!file) {
            state.SkipWithError("cannot write");
            break;
        }
        // Through a megabyte buffer: large writes, as the project makes, not libjpeg's 4 KB ones.
        std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
        for (const std::vector<JSAMPLE>& pixels : images)
            bench::referenceEncode(pixels, Width, Height, Quality, file);
        bool written = std::fflush(file) == 0 && ::fdatasync(fileno(file)) == 0;
        written = std::fclose(file) == 0 && written;
        if (!written || std::rename(temporary.constData(), target.constData()) != 0)
            state.SkipWithError("cannot write");
    }
    setCounters(state);
}

// ---- many small pictures ---------------------------------------------------------------------------

// A project of n embedded 8 x 8 pictures side by side, written once per n.
const QString& manyPicturesProject(int n)
{
    static std::map<int, QString> files;
    auto it = files.find(n);
    if (it != files.end())
        return it->second;
    auto* w = new TF_SMDI;
    for (int i = 0; i < n; ++i) {
        auto so = std::make_unique<TStitchObject>();
        so->x = i * 8;
        so->FD->SetSize(8, 8, 24);
        so->FD->Clear(TFColor{quint8(i), quint8(i >> 8), 77});
        so->Width = so->Height = 8;
        so->Loaded = true;
        so->ImageChanged = true;
        w->StitchList.push_back(std::move(so));
    }
    w->UpdateArea();
    const QString file = folder().path() + QStringLiteral("/many%1.jex4").arg(n);
    if (SaveProjectXML(w, file, false) != 0)
        std::abort();
    return files.emplace(n, file).first->second;
}

// Loading and freeing n pictures on the open command's road, timed per picture: with bookkeeping
// linear in the number of pictures, 4,000 and 16,000 pictures take about as long each as 1,000 do
// (the ratios printed below), where work growing with the square of the number would show 4 and
// 16 times as much. One load per repetition: the time is per picture.
void BM_LoadAndFree_PerPicture(benchmark::State& state)
{
    const int n = int(state.range(0));
    const QString& file = manyPicturesProject(n);
    static TF_SMDI* w = new TF_SMDI;
    // The open command's road: the progress box steps and the measurement tree is filled.
    if (!F_Progress)
        F_Progress = new TF_Progress;
    if (!F_Measurements)
        F_Measurements = new TF_Measurements;
    F_Measurements->show();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (LoadProjectXML(w, file) != ProjectRead)
            state.SkipWithError("load failed");
        w->ClearData(true, true);
        F_Progress->hide();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / n);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

// Nine repetitions: the median of the large rows holds still from run to run.
constexpr int LargeRepetitions = 9;

BENCHMARK(BM_LoadAndFree_PerPicture)->ArgsProduct({bench::sizes({1000, 4000, 16000})})->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1);
BENCHMARK(BM_SaveProject_NewPictures)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(LargeRepetitions));
BENCHMARK(BM_EncodeAndWrite_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(LargeRepetitions));
BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(LargeRepetitions));
BENCHMARK(BM_Decode_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(LargeRepetitions));
BENCHMARK(BM_SaveProject_LoadedPictures)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(bench::repetitions(LargeRepetitions));

static const bool perPictureRatios = [] {
    bench::compare("BM_LoadAndFree_PerPicture/4000/iterations:1", "BM_LoadAndFree_PerPicture/1000/iterations:1");
    bench::compare("BM_LoadAndFree_PerPicture/16000/iterations:1", "BM_LoadAndFree_PerPicture/1000/iterations:1");
    return true;
}();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplyAbsentSettingDefaults();
    const auto large = [](const char* name) {
        return std::string(name) + "/iterations:1/repeats:" + std::to_string(bench::repetitions(LargeRepetitions));
    };
    bench::compare(large("BM_SaveProject_NewPictures"), large("BM_EncodeAndWrite_LibjpegReference"));
    bench::compare(large("BM_LoadProject"), large("BM_Decode_LibjpegReference"));
    std::vector<char*> args = bench::interleavedArgs(argc, argv);
    return bench::runWithRatios(int(args.size()) - 1, args.data());
}
