// Project notes opened into the shown notes editor: one paragraph whose words toggle bold n times
// (1,000 to 16,000 toggles, 13 to 210 KB of RTF), read by the RTF reader into the editor's
// document. Reference: QTextDocument::setHtml of the same text with the same bold runs into the
// same editor. A ratio that stays flat as the notes grow means the reader is linear in their size.
#include "platform/Rtf.h"

#include "MedianRatio.h"

#include <QApplication>
#include <QTextDocument>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <string>

namespace {

QByteArray rtfNotes(int toggles)
{
    QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    for (int i = 0; i < toggles; ++i)
        rtf += "\\b ring\\b0  wide ";
    rtf += "\\par}";
    return rtf;
}

QString htmlNotes(int toggles)
{
    QString html = QStringLiteral("<p style=\"font-family:Arial; font-size:10pt\">");
    for (int i = 0; i < toggles; ++i)
        html += QStringLiteral("<b>ring</b> wide ");
    html += QStringLiteral("</p>");
    return html;
}

QTextEdit& editor()
{
    static QTextEdit* e = [] {
        auto* edit = new QTextEdit;
        edit->resize(800, 300);
        edit->show();
        return edit;
    }();
    return *e;
}

void BM_RtfNotes_ReadIntoEditor(benchmark::State& state)
{
    const QByteArray rtf = rtfNotes(int(state.range(0)));
    QTextDocument* doc = editor().document();
    for (auto _ : state) {
        if (!Rtf::read(rtf, *doc).ok) {
            state.SkipWithError("the notes were refused");
            break;
        }
        QApplication::processEvents(); // the editor lays out what it shows
        benchmark::DoNotOptimize(doc->characterCount());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_RtfNotes_ReadIntoEditor)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

void BM_Reference_SetHtml(benchmark::State& state)
{
    const QString html = htmlNotes(int(state.range(0)));
    QTextDocument* doc = editor().document();
    for (auto _ : state) {
        doc->setHtml(html);
        QApplication::processEvents();
        benchmark::DoNotOptimize(doc->characterCount());
    }
}
BENCHMARK(BM_Reference_SetHtml)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const char* n : {"1000", "4000", "16000"})
        pairs.emplace_back(std::string("BM_RtfNotes_ReadIntoEditor/") + n + "/real_time",
                           std::string("BM_Reference_SetHtml/") + n + "/real_time");
    bench::MedianRatioReporter reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
