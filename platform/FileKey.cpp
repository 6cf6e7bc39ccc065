// Keys for comparing file names.
#include "platform/FileKey.h"

#include <QDir>
#include <QFileInfo>

QString fileKey(const QString& fileName)
{
    if (fileName.isEmpty())
        return QString(); // not left to QFileInfo, whose answer for an empty name varies between versions
    const QFileInfo info(fileName);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}
