// Arbitrary bytes from RAXO through the parser into the link's own message handling, with image
// windows for it to find (by identifier and by file name, one without any path) and the project
// tool window bound to one of them: no crash, no undefined behaviour; each command leaves the
// marks on known windows, at most one selected ring per path, and no project load pending.
#include "fuzz/FuzzApp.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "shell/RAXOLink.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

RAXOLink* theLink = nullptr;
QList<TF_SMDI*> windows;

// A window for `file` whose paths carry `guids`, each path an index point with five rings.
TF_SMDI* addWindow(const QString& file, const QStringList& guids)
{
    auto* w = new TF_SMDI;
    w->Project->Filename = file;
    w->PathList.clear();
    for (const QString& guid : guids) {
        auto path = std::make_unique<TPath>();
        path->GUID = guid;
        auto index = std::make_unique<TIndex>();
        index->Path = path.get();
        for (int i = 1; i <= 5; ++i) {
            auto m = std::make_unique<TMeasurement>();
            m->Pos = QPoint(40 * i, 10);
            m->Path = path.get();
            m->Index = index.get();
            index->ObjectList.push_back(std::move(m));
        }
        path->ObjectList.push_back(std::move(index));
        w->PathList.push_back(std::move(path));
    }
    if (!w->PathList.empty())
        w->CurrentPath = w->PathList.front().get();
    windows << w;
    return w;
}

// Back to the same start for every input, so a finding replays from its input alone.
void reset()
{
    theLink->OldDatagram.clear();
    theLink->fr = nullptr;
    theLink->fs = nullptr;
    for (TF_SMDI* w : windows) {
        w->P_UpdateRAXO->hide();
        if (!w->PathList.empty())
            w->CurrentPath = w->PathList.front().get();
        for (const auto& p : w->PathList)
            for (const auto& i : p->ObjectList)
                for (const auto& m : i->ObjectList)
                    m->selected = false;
    }
    windows[2]->PathList.front()->GUID.clear(); // adopts an identifier when a pair names its file
    ProjectLoading = false;
}

void check()
{
    if (ProjectLoading)
        std::abort();
    for (const QPointer<TF_SMDI>& marked : {theLink->fr, theLink->fs})
        if (marked && !windows.contains(marked.data()))
            std::abort();
    for (TF_SMDI* w : windows) {
        if (!w->P_UpdateRAXO->isHidden() && w != theLink->fr && w != theLink->fs)
            std::abort();
        for (const auto& p : w->PathList) {
            int selected = 0;
            for (const auto& i : p->ObjectList)
                for (const auto& m : i->ObjectList)
                    selected += m->selected ? 1 : 0;
            if (selected > 1)
                std::abort();
        }
    }
}

void handle(RAXOMessageParser& parser)
{
    while (auto m = parser.next()) {
        try {
            theLink->HandleMessage(*m);
        } catch (const std::runtime_error&) {
            // the failing import below; the link's own loop logs it
        }
        check();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startFuzzApplication("linkcommands_fuzz", fuzzing::ScriptedDialogs::Answer::Escape);
    // Files the inputs can name by relative name, so opening finds them.
    static QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    for (const char* file : {"open.jex4", "old.JEX", "picture.png"}) {
        QFile f(QString::fromLatin1(file));
        f.open(QIODevice::WriteOnly);
    }
    theLink = new RAXOLink; // never connected: the update requests go nowhere
    // Opening stands in for the loaders; the link must clear ProjectLoading whatever they do.
    theLink->LoadProject = [](const QString&) -> TF_SMDI* { return nullptr; };
    theLink->ImportProject = [](const QString&) -> TF_SMDI* { throw std::runtime_error("import failed"); };
    theLink->Glyph = [](int) { return QIcon(); };
    addWindow(QStringLiteral("/cores/a.jex4"), {QStringLiteral("{A1}"), QStringLiteral("{A2}")});
    addWindow(QStringLiteral("/cores/B.JEX"), {QStringLiteral("{B1}")});
    addWindow(QStringLiteral("/cores/c.jex4"), {QString(), QStringLiteral("{C2}")});
    addWindow(QStringLiteral("/cores/empty.jex4"), {});
    F_Measurements = new TF_Measurements;
    F_Measurements->FillMeasurements(windows[0], false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte picks the piece length, so messages split across reads are handled too.
    if (size == 0)
        return 0;
    reset();
    const std::size_t piece = 1 + data[0] % 32;
    RAXOMessageParser parser;
    for (std::size_t at = 1; at < size; at += piece) {
        const std::size_t n = size - at < piece ? size - at : piece;
        parser.feed(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(n)));
        handle(parser);
    }
    parser.flush();
    handle(parser);
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
