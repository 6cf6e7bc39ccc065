// Arbitrary bytes through the RTF reader into one document, and what it read written back and
// read again: every input must end in a read text or a clean refusal, never in a crash, a hang
// or a document changed by a refused text.
#include "platform/Rtf.h"

#include <QGuiApplication>
#include <QByteArray>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    static int qtArgc = 1;
    static char name[] = "rtf_fuzz";
    static char* qtArgv[] = {name, nullptr};
    new QGuiApplication(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("before"));
    const Rtf::ReadResult result = Rtf::read(bytes, doc);
    if (!result.ok) {
        if (doc.toPlainText() != QStringLiteral("before") || result.error.isEmpty())
            std::abort(); // a refused text changed the document or gave no reason
        return 0;
    }
    // What the program writes, it reads back with the same text.
    const QString text = doc.toPlainText();
    QTextDocument again;
    if (!Rtf::read(Rtf::write(doc), again).ok || again.toPlainText() != text)
        std::abort();
    return 0;
}
