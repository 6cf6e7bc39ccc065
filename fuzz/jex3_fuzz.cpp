// Arbitrary bytes through the older project reader into a bare project document: every input must
// end in read records or a damaged read, never in a crash or a hang; and a record written from
// what was read reads back the same.
#include "fuzz/FuzzApp.h"
#include "project/JEX3Project.h"
#include "project/ProjectDocument.h"
#include "project/ProjectIO.h"
#include "shell/TF_ErrorLog.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

ProjectDocument* document = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startFuzzApplication<QCoreApplication>("jex3_fuzz", fuzzing::ScriptedDialogs::Answer::Escape);
    document = new ProjectDocument;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    ProjectIOHooks hooks;
    const JEX3ReadOutcome outcome = ReadJEX3Records(*document, source, hooks, false);
    if (outcome.records < 0 || qint64(outcome.records) * JEX3RecordSize > qint64(size))
        std::abort();

    for (qsizetype at = 0; at + JEX3RecordSize <= bytes.size(); at += JEX3RecordSize) {
        const QByteArray once = EncodeJEX3Record(DecodeJEX3Record(bytes.constData() + at));
        if (once.size() != JEX3RecordSize || EncodeJEX3Record(DecodeJEX3Record(once.constData())) != once)
            std::abort();
    }

    document->clear(true, true);
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
