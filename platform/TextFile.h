// Line-based "ANSI" text files: Windows-1252 with CR LF line ends, written atomically so a failed
// save never leaves a half-written file behind.
#pragma once

#include <QString>
#include <QStringList>

// Writes every line followed by CR LF (the last line too) in Windows-1252. Returns 0 when done,
// -1 when the file could not be written; then an existing file keeps its old content. When
// `error` is given it receives the reason of a failure.
int writeTextFile(const QString& fileName, const QStringList& lines, QString* error = nullptr);

// Reads a Windows-1252 file into lines, accepting CR LF, LF or a lone CR as line end; a line end
// at the very end gives no extra empty line. Returns 0 when done, -1 when the file cannot be read
// (`lines` is then left untouched).
int readTextFile(const QString& fileName, QStringList& lines, QString* error = nullptr);

// The splitting rule of readTextFile, for text that is already decoded.
QStringList splitTextLines(const QString& text);
