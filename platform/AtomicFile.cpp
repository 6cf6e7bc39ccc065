// QSaveFile's commit() alone does not look at a failure of the last buffered bytes: it would rename
// a cut-short file over the good one and report success. Everything is flushed and checked first.
#include "platform/AtomicFile.h"

#include <QSaveFile>

#include <new>

int writeFileAtomically(const QString& fileName, const QByteArray& bytes, QString* error)
{
    return writeFileAtomically(
        fileName, [&bytes](QFileDevice& device, QString&) { return device.write(bytes) == bytes.size(); }, error);
}

int writeFileAtomically(const QString& fileName, const AtomicFill& fill, QString* error)
{
    QSaveFile file(fileName);
    QString reason;
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        try {
            ok = fill(file, reason);
        } catch (const std::bad_alloc&) {
            ok = false;
            reason = QStringLiteral("Out of memory");
        }
        // A device error wins over the writer's own words: it is the cause.
        if (ok)
            ok = file.flush();
        if (file.error() != QFileDevice::NoError) {
            ok = false;
            reason = file.errorString();
        }
        if (!ok) {
            file.cancelWriting();
        } else if (!file.commit()) {
            ok = false;
            reason = file.errorString();
        }
    } else {
        reason = file.errorString();
    }
    if (ok)
        return 0;
    if (reason.isEmpty())
        reason = QStringLiteral("The file could not be written");
    if (error)
        *error = reason;
    return -1;
}
