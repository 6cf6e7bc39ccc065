// Arbitrary bytes through the project reader into a bare project document: every input must end
// in a read project, a partial read or a clean failure, never in a crash or a hang.
#include "fuzz/FuzzApp.h"
#include "project/ProjectDocument.h"
#include "project/ProjectIO.h"
#include "project/ProjectXML.h"
#include "shell/TF_ErrorLog.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

ProjectDocument* document = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startFuzzApplication<QGuiApplication>("jex4_fuzz", fuzzing::ScriptedDialogs::Answer::NoWhereOffered);
    document = new ProjectDocument;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    ProjectIOHooks hooks;
    const int read = LoadProjectXMLData(*document, bytes, QStringLiteral("/nonexistent/fuzz.jex4"), hooks);
    if (read != ProjectRead && read != ProjectReadDamaged && read != ProjectReadFailed)
        std::abort(); // nothing cancels a bare read
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
