// Rich text (RTF) in and out of a QTextDocument, for the notes editor: what the editor offers
// (fonts, sizes, colours, bold, italic, underline, alignment, bullets, links, pictures), and the
// text of what word processors add (tables, fields, Unicode). RTF comes from project files and
// from disk, so the reader bounds every read and refuses what it cannot hold instead of guessing.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QTextDocument;

namespace Rtf {

// The reader's limits; a document beyond them is refused with a message.
constexpr int MaxGroupDepth = 200;       // nested groups
constexpr int MaxPictures = 64;          // pictures kept; further ones are left out
constexpr qint64 MaxPicturePixels = 64 * 1024 * 1024; // all pictures together

struct ReadResult {
    bool ok = false;
    QString error; // why the text was refused; empty when ok
    // What the document cannot hold and the reader left out ("tables", "pictures the editor
    // cannot show", "embedded objects"), each once in the order met; empty when nothing was.
    QStringList lost;
};

// True when the bytes begin (after blanks) with "{\rtf": rich text to read, not plain text.
bool looksLikeRtf(const QByteArray& bytes);

// Replaces the document's content with the RTF text. On failure the document is left as it was
// and the result says why.
ReadResult read(const QByteArray& rtf, QTextDocument& document);

// The document as RTF, in ASCII only: other characters as \u escapes, pictures as PNG data.
QByteArray write(const QTextDocument& document);

} // namespace Rtf
