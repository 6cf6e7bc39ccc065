// The update check's version document reader on arbitrary bytes: no crash, no undefined behaviour;
// a document it accepts names the JEX4 entry.
#include "shell/TF_CheckForUpdates.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(TF_CheckForUpdates::MaxDocumentBytes))
        return 0; // the fetch refuses longer answers
    TUpdateInfo info;
    QString why;
    const int result = ParseVersionInfo(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), info, &why);
    if (result == 0 && info.ProductName != QLatin1String("JEX4"))
        std::abort();
    if (result != 0 && why.isEmpty())
        std::abort();
    return 0;
}
