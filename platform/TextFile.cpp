// Windows-1252 text files; the write goes through the shared atomic writer.
#include "platform/TextFile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"

#include <QFile>

int writeTextFile(const QString& fileName, const QStringList& lines, QString* error)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += Cp1252::fromUnicode(line);
        bytes += "\r\n";
    }
    return writeFileAtomically(fileName, bytes, error);
}

int readTextFile(const QString& fileName, QStringList& lines, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return -1;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return -1;
    }
    lines = splitTextLines(Cp1252::toUnicode(bytes));
    return 0;
}

QStringList splitTextLines(const QString& text)
{
    QStringList lines;
    int start = 0;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            ++i;
            continue;
        }
        lines << text.mid(start, i - start);
        // CR LF is one line end; LF CR is two.
        i += (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ? 2 : 1;
        start = i;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}
