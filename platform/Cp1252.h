// Windows-1252, the code page of the "ANSI" text files the program reads and writes (exports,
// brush sets, the saved log, older project records). Hides the byte table from everyone else.
#pragma once

#include <QByteArray>
#include <QString>

namespace Cp1252 {

// Each character to its byte; characters the code page lacks become '?' (one per character, so a
// character outside the basic plane gives one '?', not two).
QByteArray fromUnicode(const QString& text);

// Each byte to its character. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become U+0081 etc., so every byte string survives a round trip.
QString toUnicode(const QByteArray& bytes);

} // namespace Cp1252
