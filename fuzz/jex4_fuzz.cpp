// Arbitrary bytes through the project reader into one image window, then one repaint of what was
// read: every input must end in a read project, a partial read or a clean failure, and paint in
// what the view costs, never in a crash or a hang.
#include "fuzz/FuzzApp.h"
#include "project/ProjectXML.h"
#include "project/TF_ErrorLog.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

TF_SMDI* window = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startFuzzApplication("jex4_fuzz", fuzzing::ScriptedDialogs::Answer::NoWhereOffered);
    window = new TF_SMDI;
    window->resize(320, 240);
    window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    LoadProjectXMLData(window, bytes, QStringLiteral("/nonexistent/fuzz.jex4"));
    // Points and objects anywhere in the int range, at any zoom: drawn as the window would.
    window->SmoothDraw(true);
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
