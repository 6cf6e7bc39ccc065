// Writer and reader of the project file .jex4. The writer streams the document through the atomic
// file writer so that a failed save leaves the old file; the reader runs expat over the bytes and
// fills the document element by element, as the events come. What they ask of a view goes through
// the hooks.
#include "project/ProjectXML.h"

#include "image/DepthConversion.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/ErrorLog.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/ProjectDocument.h"
#include "project/ProjectIO.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPointer>
#include <QXmlStreamWriter>

#include <expat.h>

#include <cstring>
#include <exception>
#include <limits>
#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <unordered_map>

bool IsTrueText(const QString& text)
{
    return text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0;
}

namespace {

// A picture file we may read: a device or pipe named in a hostile project would block the reader.
bool isImageFile(const QString& name)
{
    return !name.isEmpty() && QFileInfo(name).isFile();
}

int dibWidth(const TFastDIB* dib)
{
    return dib && dib->Bits ? dib->Info.Header.Width : 0;
}

int dibHeight(const TFastDIB* dib)
{
    return dib && dib->Bits ? dib->AbsHeight : 0;
}

// ---- embedded pictures --------------------------------------------------------------------------

// Pictures read from project files keep their JPEG bytes (TStitchObject::Kept): saving an
// unchanged picture writes the same JPEG again instead of compressing the decoded pixels once
// more, which would lose a little with every save. A picture that could not be decoded is kept
// too (its bytes, or its text when that is no Base64), for an image still without pixels: saving
// the damaged project must not throw away what a repair might recover.

// Over the pixel bytes of each row, without the padding, top row first: the order the JPEG
// decoder delivers them in, so a picture just read is fingerprinted row by row while its rows are
// still in the cache. Taken over every picture read and saved, so it runs at memory speed: four
// lanes of 64-bit words, each step invertible in its word, so any changed word changes its lane.
class PixelFingerprint {
public:
    void addRow(const uchar* p, qint64 n)
    {
        quint64 w[4];
        for (; n >= 32; n -= 32, p += 32) {
            std::memcpy(w, p, 32);
            for (int k = 0; k < 4; ++k)
                m_lane[k] = step(m_lane[k], w[k]);
        }
        for (; n >= 8; n -= 8, p += 8) {
            std::memcpy(w, p, 8);
            m_lane[0] = step(m_lane[0], w[0]);
        }
        for (; n > 0; --n, ++p)
            m_lane[1] = step(m_lane[1], *p);
    }

    size_t value() const { return size_t(step(step(step(m_lane[0], m_lane[1]), m_lane[2]), m_lane[3])); }

private:
    static quint64 step(quint64 lane, quint64 word)
    {
        constexpr quint64 m1 = 0x9E3779B97F4A7C15ull, m2 = 0xC2B2AE3D27D4EB4Full;
        return std::rotl(lane ^ (word * m1), 31) * m2;
    }

    quint64 m_lane[4] = {1, 2, 3, 4};
};

size_t pixelHash(const TFastDIB& dib)
{
    PixelFingerprint print;
    const qint64 rowBytes = (qint64(dib.Info.Header.Width) * dib.Info.Header.BitCount + 7) / 8;
    const bool bottomUp = dib.Info.Header.Height > 0;
    for (int y = 0; y < dib.AbsHeight; ++y)
        print.addRow(static_cast<const uchar*>(dib.Scanlines[bottomUp ? dib.AbsHeight - 1 - y : y]), rowBytes);
    return print.value();
}

void keepPicture(TStitchObject& so, TKeptPicture kept, size_t hash)
{
    kept.width = so.FD->Info.Header.Width;
    kept.height = so.FD->AbsHeight;
    kept.pixelHash = hash;
    so.Kept = std::move(kept);
}

bool keptSizeMatches(const TStitchObject& so)
{
    const TKeptPicture& kept = so.Kept;
    return so.FD && !(kept.jpeg.isEmpty() && kept.text.isEmpty()) && kept.width == so.FD->Info.Header.Width
           && kept.height == so.FD->AbsHeight;
}

// What the image was read with, while its pixels are still those; none otherwise.
const TKeptPicture* keptPicture(const TStitchObject& so)
{
    if (!keptSizeMatches(so) || so.Kept.pixelHash != pixelHash(*so.FD))
        return nullptr;
    return &so.Kept;
}

// Base64 as QByteArray::toBase64 writes it (padded, no line breaks). Three bytes at a time, each
// half of their 24 bits looked up as a pair of letters in a table that stays in the cache.
char* base64Triples(const uchar* in, qsizetype triples, char* out)
{
    static const std::array<std::array<char, 2>, 4096> pairs = [] {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::array<std::array<char, 2>, 4096> p;
        for (int i = 0; i < 4096; ++i)
            p[size_t(i)] = {alphabet[i >> 6], alphabet[i & 63]};
        return p;
    }();
    for (qsizetype t = 0; t < triples; ++t, in += 3, out += 4) {
        const quint32 bits = quint32(in[0]) << 16 | quint32(in[1]) << 8 | in[2];
        std::memcpy(out, pairs[bits >> 12].data(), 2);
        std::memcpy(out + 2, pairs[bits & 4095].data(), 2);
    }
    return out;
}

// The last one or two bytes with their padding.
void base64Tail(const uchar* in, qsizetype n, char* out)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const quint32 bits = quint32(in[0]) << 16 | (n > 1 ? quint32(in[1]) << 8 : 0);
    out[0] = alphabet[bits >> 18];
    out[1] = alphabet[(bits >> 12) & 63];
    out[2] = n > 1 ? alphabet[(bits >> 6) & 63] : '=';
    out[3] = '=';
}

// Base64 of bytes that come in pieces, written to the device as they come: the picture being
// compressed goes to the file while its pieces are still in the cache, and neither the JPEG nor
// its text is ever held whole. Up to two bytes wait for the next piece.
class Base64Writer {
public:
    explicit Base64Writer(QIODevice& out)
        : m_out(out)
    {
    }

    bool add(const uchar* in, qint64 n)
    {
        while (m_waiting > 0 && m_waiting < 3 && n > 0) {
            m_wait[m_waiting++] = *in++;
            --n;
        }
        const qint64 triples = n / 3;
        m_text.resize(qsizetype(4 + 4 * triples));
        char* out = m_text.data();
        if (m_waiting == 3) {
            out = base64Triples(m_wait, 1, out);
            m_waiting = 0;
        }
        out = base64Triples(in, qsizetype(triples), out);
        const qsizetype letters = out - m_text.constData();
        for (qint64 i = 3 * triples; i < n; ++i)
            m_wait[m_waiting++] = in[i];
        return m_out.write(m_text.constData(), letters) == letters;
    }

    bool finish()
    {
        if (m_waiting == 0)
            return true;
        char out[4];
        base64Tail(m_wait, m_waiting, out);
        m_waiting = 0;
        return m_out.write(out, 4) == 4;
    }

private:
    QIODevice& m_out;
    uchar m_wait[3];
    int m_waiting = 0;
    QByteArray m_text; // reused for every piece
};

// Padded Base64 without line breaks, as our writer makes it, decoded four letters at a time (the
// toolkit's decoder goes letter by letter and took as long as the JPEG decoding) into the memory
// of its own text, which becomes the bytes: no second block of tens of megabytes per picture. Any
// other text is left as it was (what was overwritten is made again from the bytes it gave) and
// false returned; the caller hands it to the toolkit's strict decoding.
bool decodePlainBase64InPlace(QByteArray& text)
{
    static const std::array<qint16, 256> value = [] {
        std::array<qint16, 256> v;
        v.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            v[uchar(alphabet[i])] = qint16(i);
        return v;
    }();
    const qsizetype n = text.size();
    if (n == 0 || n % 4 != 0)
        return false;
    const qsizetype pad = text.endsWith("==") ? 2 : text.endsWith('=') ? 1 : 0;
    // Each group of four letters is read before its three bytes are written, at or below it.
    auto* p = reinterpret_cast<uchar*>(text.data());
    const qsizetype quads = n / 4 - (pad ? 1 : 0);
    qsizetype q = 0;
    for (; q < quads; ++q) {
        const uchar* in = p + 4 * q;
        const int a = value[in[0]], b = value[in[1]], c = value[in[2]], d = value[in[3]];
        if ((a | b | c | d) < 0)
            break;
        const quint32 bits = quint32(a) << 18 | quint32(b) << 12 | quint32(c) << 6 | quint32(d);
        uchar* o = p + 3 * q;
        o[0] = uchar(bits >> 16);
        o[1] = uchar(bits >> 8);
        o[2] = uchar(bits);
    }
    bool plain = q == quads;
    if (plain && pad) {
        const uchar* in = p + 4 * q;
        const int a = value[in[0]], b = value[in[1]], c = pad == 1 ? value[in[2]] : 0;
        if ((a | b | c) < 0) {
            plain = false;
        } else {
            const quint32 bits = quint32(a) << 18 | quint32(b) << 12 | quint32(c) << 6;
            uchar* o = p + 3 * q;
            o[0] = uchar(bits >> 16);
            if (pad == 1)
                o[1] = uchar(bits >> 8);
        }
    }
    if (!plain) {
        // The groups before q were plain: their letters are the Base64 of their bytes. Made again
        // from the last group down, each group's bytes lie below its letters.
        for (qsizetype r = q - 1; r >= 0; --r) {
            uchar bytes[3];
            std::memcpy(bytes, p + 3 * r, 3);
            base64Triples(bytes, 1, reinterpret_cast<char*>(p + 4 * r));
        }
        return false;
    }
    text.resize(n / 4 * 3 - pad);
    text.squeeze();
    return true;
}

// ---- writing ------------------------------------------------------------------------------------

// XML 1.0 cannot carry most control characters or unpaired surrogates, and QXmlStreamWriter stops
// at the first one: one stray character in a comment would make the project unsavable.
QString xmlText(const QString& s)
{
    auto allowed = [](char16_t u) { return u >= 0x20 ? u < 0xFFFE : (u == u'\t' || u == u'\n' || u == u'\r'); };
    bool clean = true;
    for (QChar c : s)
        clean = clean && allowed(c.unicode()) && !c.isSurrogate();
    if (clean)
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out += c;
            out += s[++i];
        } else if (!c.isSurrogate() && allowed(c.unicode())) {
            out += c;
        }
    }
    return out;
}

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// Pixels that exist nowhere else are always embedded: an image that came from a project file, and
// one without a file (pasted, scanned, or its file gone). The others follow the setting.
bool embedsImage(const TStitchObject& so)
{
    if (SettingEmbedImages || so.Embedded)
        return true;
    return dibWidth(so.FD.get()) > 0 && !isImageFile(so.filename);
}

// Writes the image as JPEG of quality 100 in Base64 to the file; nothing for an image without
// pixels. Throws when pixels exist but cannot be encoded or written: an empty or cut section would
// drop them (the file is then not committed).
void writeEmbeddedPicture(TStitchObject& so, int number, QFileDevice& file)
{
    if (dibWidth(so.FD.get()) <= 0 || dibHeight(so.FD.get()) <= 0)
        return;
    Base64Writer base64(file);
    TFastJPG jpg;
    jpg.AttachImage(so.FD.get());
    jpg.Props.Quality = 100;
    if (jpg.SaveInPieces([&](const quint8* data, qint64 size) { return base64.add(data, size); }) != 0 || !base64.finish())
        throw std::runtime_error(QStringLiteral("Image %1 (%2) could not be embedded: %3")
                                     .arg(number)
                                     .arg(so.filename, file.error() != QFileDevice::NoError ? file.errorString() : jpg.lastError())
                                     .toStdString());
}

// The JPEG an image was read with, in Base64, a piece at a time: no block of its whole text.
void writeKeptPicture(const QByteArray& jpeg, QFileDevice& file)
{
    constexpr qsizetype Piece = qsizetype(1) << 18;
    Base64Writer base64(file);
    bool written = true;
    for (qsizetype at = 0; written && at < jpeg.size(); at += Piece)
        written = base64.add(reinterpret_cast<const uchar*>(jpeg.constData()) + at, qMin(Piece, jpeg.size() - at));
    if (!written || !base64.finish())
        throw std::runtime_error(file.errorString().toStdString());
}

// A picture JPEG cannot hold, or one the reader would refuse, is found before anything is written
// or marked embedded: the user learns at once why, and the old file stays as it was.
void checkEmbeddable(const ProjectDocument& doc)
{
    for (size_t i = 0; i < doc.StitchList.size(); ++i) {
        const TStitchObject& so = *doc.StitchList[i];
        // A picture of the size of the one read was within the limits when it was read; its
        // fingerprint is taken once, when it is written.
        if (!embedsImage(so) || keptSizeMatches(so))
            continue;
        const bool hasPixels = dibWidth(so.FD.get()) > 0;
        const qint64 width = hasPixels ? dibWidth(so.FD.get()) : so.Width;
        const qint64 height = hasPixels ? dibHeight(so.FD.get()) : so.Height;
        QString why;
        if (width > MaxJPGDimension || height > MaxJPGDimension)
            why = QStringLiteral("an embedded picture can be at most %1 pixels wide and high").arg(MaxJPGDimension);
        else if (!PictureFitsLimit(width, height))
            why = QStringLiteral("an embedded picture can hold at most %1 MB of pixels").arg(MaxPictureBytes() >> 20);
        if (!why.isEmpty())
            throw std::runtime_error(QStringLiteral("Image %1 (%2) could not be embedded: it is %3 x %4 pixels, and %5. "
                                                    "The project was not saved.")
                                         .arg(i + 1)
                                         .arg(so.filename)
                                         .arg(width)
                                         .arg(height)
                                         .arg(why)
                                         .toStdString());
    }
}

void writePoint(QXmlStreamWriter& xml, const QString& element, const TJEXObject& p)
{
    xml.writeStartElement(element);
    xml.writeAttribute(QStringLiteral("Name"), xmlText(p.Name));
    xml.writeAttribute(QStringLiteral("Comment"), xmlText(p.Comment));
    xml.writeAttribute(QStringLiteral("XPOS"), QString::number(p.Pos.x()));
    xml.writeAttribute(QStringLiteral("YPOS"), QString::number(p.Pos.y()));
    xml.writeAttribute(QStringLiteral("Distance"), FloatToStr(p.distance));
    xml.writeAttribute(QStringLiteral("SW"), boolText(p.SapWood));
}

void writeCorners(QXmlStreamWriter& xml, QPoint x1, QPoint x2)
{
    xml.writeAttribute(QStringLiteral("x1x"), QString::number(x1.x()));
    xml.writeAttribute(QStringLiteral("x1y"), QString::number(x1.y()));
    xml.writeAttribute(QStringLiteral("x2x"), QString::number(x2.x()));
    xml.writeAttribute(QStringLiteral("x2y"), QString::number(x2.y()));
}

void writeDrawObject(QXmlStreamWriter& xml, const TDrawObject& object)
{
    if (auto* a = dynamic_cast<const TArrow*>(&object)) {
        xml.writeStartElement(QStringLiteral("DrawObject"));
        xml.writeAttribute(QStringLiteral("Name"), xmlText(a->Name));
        xml.writeAttribute(QStringLiteral("Type"), QStringLiteral("1"));
        writeCorners(xml, a->x1, a->x2);
        xml.writeAttribute(QStringLiteral("Color"), QString::number(a->Color));
        xml.writeAttribute(QStringLiteral("Width"), QString::number(a->Width));
        xml.writeAttribute(QStringLiteral("TipWidth"), QString::number(a->TipWidth));
        xml.writeAttribute(QStringLiteral("BaseWidth"), QString::number(a->BaseWidth));
        xml.writeAttribute(QStringLiteral("TipType"), QString::number(a->TipType));
        xml.writeAttribute(QStringLiteral("BaseType"), QString::number(a->BaseType));
        xml.writeAttribute(QStringLiteral("Caption"), xmlText(a->caption));
        xml.writeEndElement();
    } else if (auto* r = dynamic_cast<const TRectangle*>(&object)) {
        xml.writeStartElement(QStringLiteral("DrawObject"));
        xml.writeAttribute(QStringLiteral("Name"), xmlText(r->Name));
        xml.writeAttribute(QStringLiteral("Type"), QStringLiteral("2"));
        writeCorners(xml, r->x1, r->x2);
        xml.writeAttribute(QStringLiteral("PColor"), QString::number(r->PColor));
        xml.writeAttribute(QStringLiteral("BColor"), QString::number(r->BColor));
        xml.writeAttribute(QStringLiteral("PWidth"), QString::number(r->PWidth));
        xml.writeAttribute(QStringLiteral("Transparent"), boolText(r->Transparent));
        xml.writeEndElement();
    }
}

const char* const kWindowClosed = "The image window was closed while its project was being saved.";

// Streams the whole document into the device; false when the XML writer failed (the device says
// why), throws when the document went away.
bool writeDocument(QFileDevice& file, const QPointer<ProjectDocument>& doc, ProjectIOHooks& hooks)
{
    QXmlStreamWriter xml(&file);
    xml.writeStartDocument(); // version "1.0", encoding "UTF-8"
    xml.writeStartElement(QStringLiteral("JEX4"));

    TJEXProject& project = *doc->Project;
    xml.writeStartElement(QStringLiteral("ProjectData"));
    xml.writeAttribute(QStringLiteral("Name"), xmlText(project.Name));
    xml.writeAttribute(QStringLiteral("Notes"), QString::fromLatin1(Cp1252::fromUnicode(project.Notes).toBase64()));
    xml.writeAttribute(QStringLiteral("Paths"), QString::number(doc->PathList.size()));
    xml.writeAttribute(QStringLiteral("DPI"), QString::number(doc->DPI));
    xml.writeAttribute(QStringLiteral("Zoom"), QString::number(doc->Zoom));
    xml.writeAttribute(QStringLiteral("CurXPos"), QString::number(doc->ScrollX));
    xml.writeAttribute(QStringLiteral("CurYPos"), QString::number(doc->ScrollY));
    xml.writeAttribute(QStringLiteral("RALVisible"), boolText(SettingRALVisible));
    xml.writeAttribute(QStringLiteral("ImageCount"), QString::number(doc->StitchList.size()));

    const int n = int(doc->StitchList.size());
    hooks.setSteps(n + 2);
    // Progress steps run events: the user may close the window or change its images meanwhile.
    for (int i = 0; i < n; ++i) {
        hooks.step(QStringLiteral("Encoding image %1/%2").arg(i + 1).arg(n));
        if (!doc)
            throw std::runtime_error(kWindowClosed);
        if (i >= int(doc->StitchList.size()))
            break;
        TStitchObject& so = *doc->StitchList[size_t(i)];
        const bool embed = embedsImage(so);
        const TKeptPicture* kept = nullptr;
        if (embed) {
            if (!so.Loaded)
                hooks.readPixels(so);
            so.Embedded = true;
            kept = keptPicture(so);
        }
        xml.writeStartElement(QStringLiteral("Image"));
        xml.writeAttribute(QStringLiteral("Embedded"), boolText(embed));
        xml.writeAttribute(QStringLiteral("FileName"), xmlText(so.filename));
        xml.writeAttribute(QStringLiteral("XPos"), QString::number(so.x));
        xml.writeAttribute(QStringLiteral("YPos"), QString::number(so.y));
        xml.writeAttribute(QStringLiteral("DropBorder"), QString::number(so.DropBorder));
        xml.writeAttribute(QStringLiteral("Visible"), boolText(so.Visible));
        if (embed) {
            // The section goes to the file as bytes: through a QString, tens of megabytes of text
            // per scan would be converted twice. It is Base64, or the text of such a section as it
            // was read (any UTF-8 but never "]]>"), so nothing in it needs escaping.
            xml.writeCharacters(QString()); // closes the start tag
            file.write("<![CDATA[");
            if (kept && !kept->jpeg.isEmpty())
                writeKeptPicture(kept->jpeg, file);
            else if (kept)
                file.write(kept->text);
            else
                writeEmbeddedPicture(so, i + 1, file);
            file.write("]]>");
        }
        xml.writeEndElement();
    }

    hooks.step(QStringLiteral("Formatting measurement data"));
    if (!doc)
        throw std::runtime_error(kWindowClosed);
    for (const auto& path : doc->PathList) {
        xml.writeStartElement(QStringLiteral("Path"));
        xml.writeAttribute(QStringLiteral("Name"), xmlText(path->Name));
        xml.writeAttribute(QStringLiteral("Comment"), xmlText(path->Comment));
        xml.writeAttribute(QStringLiteral("Visible"), boolText(path->visible));
        xml.writeAttribute(QStringLiteral("Expanded"), boolText(path->expanded));
        xml.writeAttribute(QStringLiteral("Pith"), boolText(path->Pith));
        xml.writeAttribute(QStringLiteral("GUID"), xmlText(path->GUID));
        for (const auto& object : doc->DrawList)
            if (object->Path.get() == path.get())
                writeDrawObject(xml, *object);
        for (const auto& index : path->ObjectList) {
            writePoint(xml, QStringLiteral("Index"), *index);
            for (const auto& m : index->ObjectList) {
                writePoint(xml, QStringLiteral("Measurement"), *m);
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }

    hooks.step(QStringLiteral("Saving project file"));
    if (!doc)
        throw std::runtime_error(kWindowClosed);
    xml.writeEndElement(); // ProjectData
    xml.writeEndElement(); // JEX4
    xml.writeEndDocument();
    return !xml.hasError();
}

// Writes the whole document; throws with the reason on any failure, leaving the old file.
void writeProject(const QPointer<ProjectDocument>& doc, const QString& fileName, ProjectIOHooks& hooks)
{
    checkEmbeddable(*doc);
    QString error;
    const auto fill = [&doc, &hooks](QFileDevice& device, QString& reason) {
        if (writeDocument(device, doc, hooks))
            return true;
        reason = QStringLiteral("The document could not be written.");
        return false;
    };
    if (writeFileAtomically(fileName, fill, &error) != 0)
        throw std::runtime_error(error.toStdString());
}

} // namespace

int SaveProjectXML(ProjectDocument& doc, const QString& fileName, ProjectIOHooks& hooks)
{
    if (!CanWriteFile(fileName, true))
        return -1;

    QPointer<ProjectDocument> guard(&doc);
    hooks.begin(QStringLiteral("Saving project"), QStringLiteral("Creating XML core..."));
    QString failure;
    try {
        if (!guard)
            throw std::runtime_error(kWindowClosed);
        writeProject(guard, fileName, hooks);
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("Out of memory.");
    } catch (const std::exception& e) {
        failure = QString::fromStdString(e.what());
    }
    hooks.end();
    if (!failure.isEmpty()) {
        ErrorLog::Error(QStringLiteral("An error occured while saving to ") + fileName + QStringLiteral("\r\n\r\n")
                               + failure,
                           true);
        return -1;
    }
    guard->Project->Changed = false;
    return 0;
}

// ---- reading ------------------------------------------------------------------------------------

namespace {

// The element name compared in upper case; only ASCII letters fold, as the names are ASCII.
bool isElement(const char* name, const char* upper)
{
    for (; *name && *upper; ++name, ++upper) {
        const char c = (*name >= 'a' && *name <= 'z') ? char(*name - 'a' + 'A') : *name;
        if (c != *upper)
            return false;
    }
    return *name == 0 && *upper == 0;
}

// Attribute names are matched exactly; expat gives name/value pairs ending in a null name.
const char* attribute(const char** atts, const char* name)
{
    for (; atts && atts[0]; atts += 2)
        if (std::strcmp(atts[0], name) == 0)
            return atts[1];
    return nullptr;
}

QString quoted(const char* value)
{
    return QLatin1Char('"') + ShortenText(QString::fromUtf8(value), 40) + QLatin1Char('"');
}

// The file as it is read: the bytes from `pos` on are not yet given to expat.
struct ReadBuffer {
    QByteArray data;
    qsizetype pos = 0;
    bool atEnd = false;

    qsizetype left() const { return data.size() - pos; }
    const char* at() const { return data.constData() + pos; }
};

class ProjectReader {
public:
    ProjectReader(ProjectDocument& doc, ProjectIOHooks& hooks, const QString& fileName)
        : m_doc(&doc)
        , m_hooks(hooks)
        , m_fileName(fileName)
    {
    }

    // Reads from `source`; with `openFailure` set the file could not be opened and the read fails
    // with that reason after the document was cleared.
    int run(QIODevice* source, QStringList* notes, const QString& openFailure = QString());

private:
    enum class State { Running, Cancelled, Failed };
    static constexpr int MaxNotes = 100; // a hostile file could damage every element

    static constexpr int TreeEveryImageUpTo = 64;

    void parse(QIODevice& source);
    bool readMore(QIODevice& source, QByteArray& into, bool& atEnd); // false: the read failed
    bool feed(const char* data, qint64 size, bool last);           // false: the read ended
    void readPlainPicture(QIODevice& source, ReadBuffer& in);
    void refillTree(bool always = false);
    void finish();
    void fail(const QString& reason);
    void cancel();
    void stop();
    void damage(const QString& note);
    bool running() const { return m_state == State::Running; }

    QString text(const char** atts, const char* name) const;
    int integer(const char** atts, const char* name, int defaultValue, const QString& where);
    bool flag(const char** atts, const char* name) const;

    void startElement(const char* name, const char** atts);
    void endElement();
    void projectData(const char** atts);
    void image(const char** atts);
    void path(const char** atts);
    void indexPoint(const char** atts);
    void measurementPoint(const char** atts);
    void drawObject(const char** atts);
    void setPoint(TJEXObject& p, const char** atts, const QString& where);
    void takePicture();
    QString imageName() const { return QStringLiteral("Image %1").arg(m_imageNumber); }

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** atts);
    static void XMLCALL onEnd(void* self, const XML_Char* name);
    static void XMLCALL onText(void* self, const XML_Char* s, int len);
    static void XMLCALL onCdataStart(void* self);
    static void XMLCALL onCdataEnd(void* self);
    static void XMLCALL onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);
    template <class F>
    static void guarded(void* self, F&& body);

    QPointer<ProjectDocument> m_doc; // none once the window owning it went while events ran
    ProjectIOHooks& m_hooks;
    QString m_fileName;
    XML_Parser m_parser = nullptr;
    State m_state = State::Running;
    QString m_failure;
    QStringList m_notes;
    int m_droppedNotes = 0;

    // Where the reading stands. The refs read as none when the object went while events ran.
    ObjectRef<TPath> m_path;
    ObjectRef<TIndex> m_index;
    ObjectRef<TStitchObject> m_image; // target of a picture section; none outside its element
    QString m_imageFolder;            // where the user located the last missing image
    int m_depth = 0;
    int m_imageDepth = 0; // depth of the open Image element whose image was made; 0 none
    bool m_imageHasPicture = false;
    bool m_inPicture = false;
    QByteArray m_picture; // Base64 text of the picture section, gathered from its pieces
    QByteArray m_decoded; // the section's bytes when readPlainPicture decoded its text already
    qint64 m_fed = 0;     // bytes given to expat, which counts its positions in them
    qint64 m_cdataAt = -1; // where expat saw the last section start
    XML_Size m_skippedLine = 0;    // the line of sections expat did not see, and their length
    XML_Size m_skippedColumns = 0;
    int m_treeImages = 0;  // images shown when they were last shown
    int m_imageNumber = 0;
    int m_pathNumber = 0;
    int m_pointNumber = 0; // within the path
    int m_drawNumber = 0;
    int m_curX = 0, m_curY = 0; // scroll positions, applied once the canvas has its size
};

int ProjectReader::run(QIODevice* source, QStringList* notes, const QString& openFailure)
{
    m_hooks.begin(QStringLiteral("Loading project ") + ShortenText(m_fileName, 50), QString());
    // What the project data sets outside the document's lists, for a read that fails.
    const int dpiBefore = m_doc ? m_doc->DPI : 0;
    const bool ralVisibleBefore = SettingRALVisible;
    if (m_doc) {
        m_hooks.clear(*m_doc);
        m_doc->Project->Filename = m_fileName;
        m_doc->Project->Changed = false; // a repair below marks it changed
    }

    try {
        if (!openFailure.isEmpty())
            fail(openFailure);
        else
            parse(*source);
        if (running())
            finish();
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    }

    if (notes) {
        *notes = m_notes;
        if (m_state == State::Failed)
            *notes << m_failure;
    }
    if (m_state == State::Cancelled || !m_doc)
        return ProjectCancelled;

    if (m_state == State::Failed) {
        // Nothing half read stays, and the document does not pose as this project.
        m_hooks.clear(*m_doc);
        *m_doc->Project = TJEXProject();
        m_doc->DPI = dpiBefore;
        SettingRALVisible = ralVisibleBefore;
        m_hooks.abandoned();
        m_hooks.end(); // a box that stays on top would hide the error
        ErrorLog::Error(QStringLiteral("The project file ") + m_fileName + QStringLiteral(" could not be read.\r\n\r\n")
                               + m_failure,
                           true);
        return ProjectReadFailed;
    }

    if (m_notes.isEmpty() && m_droppedNotes == 0)
        return ProjectRead;
    // What was left out or repaired is not in the file: closing must offer to save the repair.
    m_doc->Project->Changed = true;
    for (const QString& note : m_notes)
        ErrorLog::AddLog(3, QStringLiteral("Project file ") + m_fileName + QStringLiteral(": ") + note);
    QStringList shown = m_notes.mid(0, 10);
    const int more = int(m_notes.size()) - int(shown.size()) + m_droppedNotes;
    if (more > 0)
        shown << QStringLiteral("... and %1 more.").arg(more);
    m_hooks.end();
    MessageDlg(QStringLiteral("The project file ") + m_fileName
                   + QStringLiteral(" is damaged. What could be read was loaded; these parts were left out or "
                                    "repaired:\r\n\r\n")
                   + shown.join(QStringLiteral("\r\n")),
               mtWarning, TMsgDlgButtons{mbOK});
    return ProjectReadDamaged;
}

// Position of `needle` in `text` from `from` on, or -1. The first letter is found by memchr,
// which runs many bytes per step over the long Base64 runs that hold no such letter.
qsizetype findText(const QByteArray& text, const char* needle, qsizetype from)
{
    const qsizetype length = qsizetype(std::strlen(needle));
    const char* const begin = text.constData();
    const char* const end = begin + text.size();
    for (const char* p = begin + from; end - p >= length; ++p) {
        p = static_cast<const char*>(std::memchr(p, needle[0], size_t(end - p - length + 1)));
        if (!p)
            return -1;
        if (std::memcmp(p, needle, size_t(length)) == 0)
            return p - begin;
    }
    return -1;
}

constexpr char kCdataOpen[] = "<![CDATA[";
constexpr qsizetype kCdataOpenLength = sizeof kCdataOpen - 1;
constexpr qint64 kChunk = ProjectReadChunk;

void ProjectReader::parse(QIODevice& source)
{
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                                         &XML_ParserFree);
    if (!parser)
        throw std::bad_alloc();
    m_parser = parser.get();
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &onStart, &onEnd);
    XML_SetCharacterDataHandler(m_parser, &onText);
    XML_SetCdataSectionHandler(m_parser, &onCdataStart, &onCdataEnd);
    XML_SetStartDoctypeDeclHandler(m_parser, &onDoctype);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 6)
    // A section's start must be reported as soon as its bytes are given (readPlainPicture).
    XML_SetReparseDeferralEnabled(m_parser, XML_FALSE);
#endif

    ReadBuffer in;
    while (running()) {
        // Reads when less than a section start is left: only those few bytes move.
        if (!in.atEnd && in.left() < kCdataOpenLength) {
            in.data.remove(0, in.pos);
            in.pos = 0;
            if (!readMore(source, in.data, in.atEnd))
                break;
        }
        const qsizetype open = findText(in.data, kCdataOpen, in.pos);
        if (open < 0) {
            // The last bytes may begin a section start: they wait for the next read.
            const qsizetype n = in.atEnd ? in.left() : qMax<qsizetype>(0, in.left() - (kCdataOpenLength - 1));
            const bool going = feed(in.at(), n, in.atEnd);
            in.pos += n;
            if (!going || in.atEnd)
                break;
            continue;
        }
        const qsizetype text = open + kCdataOpenLength;
        if (!feed(in.at(), text - in.pos, false))
            break;
        in.pos = text;
        // Only when expat saw these very bytes start a section (not, say, inside a comment).
        if (m_inPicture && m_cdataAt == m_fed - kCdataOpenLength)
            readPlainPicture(source, in);
    }
    m_parser = nullptr;
}

bool ProjectReader::readMore(QIODevice& source, QByteArray& into, bool& atEnd)
{
    const qsizetype old = into.size();
    if (into.capacity() < old + kChunk)
        into.reserve(qMax(old + kChunk, 2 * into.capacity())); // doubling: a long section grows in few steps
    into.resize(old + kChunk);
    const qint64 got = source.read(into.data() + old, kChunk);
    into.resize(old + qMax<qint64>(got, 0));
    if (got < 0) {
        fail(QStringLiteral("The file cannot be read: ") + source.errorString());
        return false;
    }
    atEnd = got == 0;
    return true;
}

bool ProjectReader::feed(const char* data, qint64 size, bool last)
{
    do {
        const int piece = int(qMin(size, kChunk));
        if (XML_Parse(m_parser, data, piece, last && piece == size) == XML_STATUS_ERROR) {
            const XML_Size line = XML_GetCurrentLineNumber(m_parser);
            const XML_Size skipped = line == m_skippedLine ? m_skippedColumns : 0;
            if (running())
                fail(QStringLiteral("It is not a well-formed XML document: %1 (line %2, column %3).")
                         .arg(QString::fromLatin1(XML_ErrorString(XML_GetErrorCode(m_parser))))
                         .arg(qulonglong(line))
                         .arg(qulonglong(XML_GetCurrentColumnNumber(m_parser) + skipped) + 1));
            return false;
        }
        m_fed += piece;
        data += piece;
        size -= piece;
        if (!running())
            return false;
    } while (size > 0);
    return true;
}

// Expat has just reported the start of a picture's section, whose text begins at the read
// position. The text is found by memory search instead of expat's scan of every character; a long
// one is read on straight into m_picture. Plain Base64 (all our writer writes) is decoded here
// and expat is given an empty section in its place: it would have delivered the same characters,
// and has no markup or line break to see in them. Any other text goes through expat after all.
void ProjectReader::readPlainPicture(QIODevice& source, ReadBuffer& in)
{
    qsizetype close = findText(in.data, "]]>", in.pos);
    if (close >= 0) {
        m_picture = QByteArray(in.at(), close - in.pos);
        in.pos = close;
    } else {
        m_picture = in.pos == 0 ? std::move(in.data) : in.data.mid(in.pos);
        in.data = QByteArray();
        in.pos = 0;
        qsizetype from = 0;
        while ((close = findText(m_picture, "]]>", from)) < 0 && !in.atEnd) {
            from = qMax<qsizetype>(0, m_picture.size() - 2);
            if (!readMore(source, m_picture, in.atEnd))
                return;
        }
        if (close < 0) {
            // No end: expat reads the rest and says what is wrong.
            in.data = std::move(m_picture);
            m_picture = QByteArray();
            return;
        }
        in.data = m_picture.mid(close);
        m_picture.truncate(close);
        m_picture.squeeze();
    }
    const qsizetype letters = m_picture.size();
    if (decodePlainBase64InPlace(m_picture)) {
        m_decoded = std::move(m_picture);
        m_picture = QByteArray();
        // Error positions on this line count the characters expat did not see.
        const XML_Size line = XML_GetCurrentLineNumber(m_parser);
        if (line != m_skippedLine) {
            m_skippedLine = line;
            m_skippedColumns = 0;
        }
        m_skippedColumns += XML_Size(letters);
        return;
    }
    const QByteArray text = std::move(m_picture);
    m_picture = QByteArray();
    feed(text.constData(), text.size(), false); // onText gathers it again
}

void ProjectReader::refillTree(bool always)
{
    // The tree is built anew each time, over all images: refilled after every image of a large
    // project, the reading would grow with the square of the images. Small projects show every
    // image as it comes; beyond that the tree follows each doubling, and the end.
    const int images = int(m_doc->StitchList.size());
    if (images == m_treeImages)
        return;
    if (!always && images > TreeEveryImageUpTo && images < 2 * m_treeImages)
        return;
    m_hooks.showImages();
    m_treeImages = images;
}

void ProjectReader::finish()
{
    if (!m_doc) {
        cancel();
        return;
    }
    refillTree(true);
    // Names are derived from the order, and widths from the positions; the file's are provisional.
    for (const auto& p : m_doc->PathList) {
        ProjectDocument::countMeasurements(p.get());
        RecomputeDistances(p.get());
    }
    m_hooks.readDone(*m_doc, m_curX, m_curY);
}

void ProjectReader::stop()
{
    if (m_parser)
        XML_StopParser(m_parser, XML_FALSE);
}

void ProjectReader::fail(const QString& reason)
{
    if (!running())
        return;
    m_state = State::Failed;
    m_failure = reason;
    stop();
}

void ProjectReader::cancel()
{
    if (!running())
        return;
    m_state = State::Cancelled;
    stop();
}

void ProjectReader::damage(const QString& note)
{
    if (m_notes.size() < MaxNotes)
        m_notes << note;
    else
        ++m_droppedNotes;
}

QString ProjectReader::text(const char** atts, const char* name) const
{
    const char* v = attribute(atts, name);
    return v ? QString::fromUtf8(v) : QString();
}

int ProjectReader::integer(const char** atts, const char* name, int defaultValue, const QString& where)
{
    const char* v = attribute(atts, name);
    if (!v || !*v)
        return defaultValue;
    int value;
    if (TryStrToInt(QString::fromUtf8(v), value))
        return value;
    damage(QStringLiteral("%1: \"%2\" %3 is not a whole number; %4 was used.")
               .arg(where, QLatin1String(name), quoted(v))
               .arg(defaultValue));
    return defaultValue;
}

bool ProjectReader::flag(const char** atts, const char* name) const
{
    return IsTrueText(text(atts, name));
}

// No C++ exception may unwind through expat's frames: each one ends the read as a failure.
template <class F>
void ProjectReader::guarded(void* self, F&& body)
{
    auto* r = static_cast<ProjectReader*>(self);
    if (!r->running())
        return; // events can still arrive after a stop
    try {
        body(*r);
    } catch (const std::bad_alloc&) {
        r->fail(QStringLiteral("Out of memory."));
    } catch (const std::exception& e) {
        r->fail(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        r->fail(QStringLiteral("Unknown error."));
    }
}

void XMLCALL ProjectReader::onStart(void* self, const XML_Char* name, const XML_Char** atts)
{
    guarded(self, [&](ProjectReader& r) { r.startElement(name, atts); });
}

void XMLCALL ProjectReader::onEnd(void* self, const XML_Char*)
{
    guarded(self, [&](ProjectReader& r) { r.endElement(); });
}

void XMLCALL ProjectReader::onText(void* self, const XML_Char* s, int len)
{
    guarded(self, [&](ProjectReader& r) {
        if (r.m_inPicture)
            r.m_picture.append(s, len);
    });
}

void XMLCALL ProjectReader::onCdataStart(void* self)
{
    guarded(self, [&](ProjectReader& r) {
        r.m_inPicture = r.m_imageDepth > 0 && r.m_image;
        r.m_picture.clear();
        r.m_cdataAt = XML_GetCurrentByteIndex(r.m_parser);
    });
}

void XMLCALL ProjectReader::onCdataEnd(void* self)
{
    guarded(self, [&](ProjectReader& r) {
        if (r.m_inPicture)
            r.takePicture();
        r.m_inPicture = false;
        r.m_picture = QByteArray();
        r.m_decoded = QByteArray();
    });
}

// A project file never has a document type declaration. Refused before its internal subset is
// read, it can neither expand entities nor give every element attribute defaults of any size.
void XMLCALL ProjectReader::onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
{
    guarded(self, [&](ProjectReader& r) {
        r.fail(QStringLiteral("It has a document type declaration (entities or attribute defaults), which a project "
                              "file never has."));
    });
}

void ProjectReader::startElement(const char* name, const char** atts)
{
    ++m_depth;
    if (m_depth == 1 && !isElement(name, "JEX4")) {
        fail(QStringLiteral("It is not a JEX4 project file."));
        return;
    }
    // Events ran during the last image: the window may be gone or Cancel pressed.
    if (!m_doc || m_hooks.cancelled()) {
        cancel();
        return;
    }
    if (isElement(name, "PROJECTDATA"))
        projectData(atts);
    else if (isElement(name, "IMAGE"))
        image(atts);
    else if (isElement(name, "PATH"))
        path(atts);
    else if (isElement(name, "INDEX"))
        indexPoint(atts);
    else if (isElement(name, "MEASUREMENT"))
        measurementPoint(atts);
    else if (isElement(name, "DRAWOBJECT"))
        drawObject(atts);
}

void ProjectReader::endElement()
{
    if (m_imageDepth == m_depth) {
        TStitchObject* so = m_image;
        if (so && so->Embedded && !m_imageHasPicture)
            damage(imageName() + QStringLiteral(" (") + so->filename
                   + QStringLiteral(") is marked embedded but holds no picture; it was kept without pixels."));
        m_image = nullptr;
        m_imageDepth = 0;
    }
    --m_depth;
}

void ProjectReader::projectData(const char** atts)
{
    ProjectDocument* w = m_doc;
    const QString where = QStringLiteral("Project data");
    w->Project->Name = text(atts, "Name");
    const QByteArray notes = QByteArray(attribute(atts, "Notes") ? attribute(atts, "Notes") : "");
    const auto decoded = QByteArray::fromBase64Encoding(notes, QByteArray::AbortOnBase64DecodingErrors);
    if (decoded)
        w->Project->Notes = Cp1252::toUnicode(*decoded);
    else
        damage(QStringLiteral("The project notes are not valid Base64 and were left out."));

    int dpi = integer(atts, "DPI", DefaultStandardDPI, where);
    if (dpi <= 0) {
        ErrorLog::AddLog(3, QStringLiteral("Project file %1: a resolution of %2 dpi was read as %3 dpi.")
                                   .arg(m_fileName)
                                   .arg(dpi)
                                   .arg(DefaultStandardDPI));
        dpi = DefaultStandardDPI;
    }
    w->DPI = dpi;
    const int zoom = integer(atts, "Zoom", 10, where); // zooms out of range are refused
    m_curX = integer(atts, "CurXPos", 0, where);
    m_curY = integer(atts, "CurYPos", 0, where);
    m_hooks.viewRead(*w, zoom, m_curX, m_curY);
    SettingRALVisible = flag(atts, "RALVisible");
    const int count = integer(atts, "ImageCount", 1, where);
    m_hooks.setSteps(qMax(0, count));
}

void ProjectReader::image(const char** atts)
{
    ++m_imageNumber;
    const bool embedded = flag(atts, "Embedded");
    QString name = text(atts, "FileName");
    if (!isImageFile(name) && !m_imageFolder.isEmpty())
        name = m_imageFolder + ExtractFileName(name);
    // An embedded image needs no file: asking would offer to drop pixels the project holds.
    if (!isImageFile(name) && !embedded) {
        const ProjectIOHooks::Located located = m_hooks.locateImage(name, m_fileName);
        if (!m_doc || located.answer == ProjectIOHooks::Located::Cancel) {
            cancel();
            return;
        }
        if (located.answer == ProjectIOHooks::Located::Skip || located.fileName.isEmpty())
            return;
        name = located.fileName;
        m_doc->Project->Changed = true;
        m_imageFolder = ExtractFilePath(name);
    }

    m_hooks.step(QStringLiteral("Loading image ") + ShortenText(name, 50));
    m_hooks.imageCaption();
    if (!m_doc || m_hooks.cancelled()) {
        cancel();
        return;
    }

    ProjectDocument* w = m_doc;
    const QString where = imageName();
    auto created = std::make_unique<TStitchObject>();
    TStitchObject* so = created.get();
    so->filename = name;
    so->Embedded = embedded;
    so->x = integer(atts, "XPos", 0, where);
    so->y = integer(atts, "YPos", 0, where);
    so->DropBorder = integer(atts, "DropBorder", 5, where);
    so->Visible = flag(atts, "Visible");
    // The border is cut off every side of the picture read from the file: keep at least one pixel.
    int maxBorder = std::numeric_limits<int>::max();
    if (!embedded) {
        const QSize size = QImageReader(name).size();
        if (size.isValid())
            maxBorder = qMax(0, (qMin(size.width(), size.height()) - 1) / 2);
    }
    const int border = qBound(0, so->DropBorder, maxBorder);
    if (border != so->DropBorder) {
        damage(QStringLiteral("%1: the drop border %2 does not fit the picture; %3 was used.")
                   .arg(where)
                   .arg(so->DropBorder)
                   .arg(border));
        so->DropBorder = border;
    }
    w->StitchList.push_back(std::move(created));
    if (!embedded) {
        try {
            m_hooks.readPixels(*so);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            damage(QStringLiteral("%1 (%2) could not be read and was kept without pixels: %3")
                       .arg(where, name, QString::fromLocal8Bit(e.what())));
        }
    }
    so->Width = dibWidth(so->FD.get());
    so->Height = dibHeight(so->FD.get());
    so->Loaded = true;
    refillTree();
    m_image = so;
    m_imageDepth = m_depth;
    m_imageHasPicture = false;
}

void ProjectReader::takePicture()
{
    TStitchObject* so = m_image;
    if (!so || !m_doc)
        return;
    const QString where = imageName() + QStringLiteral(" (") + so->filename + QLatin1Char(')');
    QByteArray base64 = m_picture;
    QByteArray decoded = std::move(m_decoded); // plain Base64, decoded already while it was read
    m_decoded = QByteArray();
    if (decoded.isEmpty()) {
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
        // Our writer puts no line breaks into the text: then it is shared, not copied.
        if (std::any_of(base64.cbegin(), base64.cend(), blank))
            base64.removeIf(blank);
        if (base64.isEmpty()) {
            damage(where + QStringLiteral(": the embedded picture is empty; the image was kept without pixels."));
            m_imageHasPicture = true; // reported once
            return;
        }
    }
    m_imageHasPicture = true;
    // An undecodable picture goes back into the file as it came on saving, unless pixels came
    // meanwhile: its bytes when the text was Base64, else the text.
    auto keepUndecodable = [&] {
        if (dibWidth(so->FD.get()) != 0)
            return;
        TKeptPicture kept;
        if (!decoded.isEmpty())
            kept.jpeg = decoded;
        else
            kept.text = m_picture;
        keepPicture(*so, std::move(kept), pixelHash(*so->FD));
    };
    if (decoded.isEmpty() && !decodePlainBase64InPlace(decoded = base64)) {
        auto strict = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        if (strict)
            decoded = std::move(strict.decoded);
        else
            decoded.clear();
    }
    if (decoded.isEmpty()) {
        damage(where + QStringLiteral(": the embedded picture is not valid Base64; the image was kept without pixels."));
        keepUndecodable();
        return;
    }
    auto dib = std::make_unique<TFastDIB>();
    TFastJPG jpg;
    jpg.AttachImage(dib.get());
    PixelFingerprint print;
    jpg.RowsDecoded = [&print](const quint8* const* rows, int count, qint64 rowBytes) {
        for (int i = 0; i < count; ++i)
            print.addRow(rows[i], rowBytes);
    };
    if (jpg.LoadMem(reinterpret_cast<const quint8*>(decoded.constData()), decoded.size()) != 0) {
        damage(where + QStringLiteral(": the embedded picture is no readable JPEG (") + jpg.lastError()
               + QStringLiteral("); the image was kept without pixels."));
        keepUndecodable();
        return;
    }
    const bool decodedAt24 = dib->Info.Header.BitCount == 24; // else the rows seen were gray
    SetPixelDepth(*dib, 24);
    if (dib->Info.Header.BitCount != 24)
        throw std::bad_alloc(); // the conversion found no memory for its buffer
    so->FD = std::move(dib);
    so->Width = dibWidth(so->FD.get());
    so->Height = dibHeight(so->FD.get());
    so->Loaded = true;
    // As for pictures read from files: the tracker reads FT, and zooms below 1:1 show FZ.
    so->FT->makeSharedCopy(*so->FD);
    m_hooks.imageRead(*so);
    TKeptPicture kept;
    kept.jpeg = decoded;
    keepPicture(*so, std::move(kept), decodedAt24 ? print.value() : pixelHash(*so->FD));
}

void ProjectReader::path(const char** atts)
{
    ProjectDocument* w = m_doc;
    ++m_pathNumber;
    m_pointNumber = 0;
    // A measurement point before this path's first index point must not join the previous path.
    m_index = nullptr;
    w->CurrentIndex = nullptr;
    auto created = std::make_unique<TPath>();
    TPath* p = created.get();
    p->Name = text(atts, "Name");
    p->Comment = text(atts, "Comment");
    p->visible = flag(atts, "Visible");
    p->expanded = flag(atts, "Expanded");
    p->Pith = flag(atts, "Pith");
    p->GUID = text(atts, "GUID");
    if (p->GUID.isEmpty())
        p->GUID = NewGUIDString();
    w->PathList.push_back(std::move(created));
    m_path = p;
    w->CurrentPath = p;
}

void ProjectReader::setPoint(TJEXObject& p, const char** atts, const QString& where)
{
    p.Name = text(atts, "Name");
    p.Comment = text(atts, "Comment");
    const int x = integer(atts, "XPOS", 0, where);
    const int y = integer(atts, "YPOS", 0, where);
    p.Pos = QPoint(x, y);
    bool sw = false;
    const char* v = attribute(atts, "SW");
    p.SapWood = v && TryStrToBool(QString::fromUtf8(v), sw) && sw;
}

void ProjectReader::indexPoint(const char** atts)
{
    TPath* p = m_path;
    if (!p)
        return;
    auto created = std::make_unique<TIndex>();
    TIndex* i = created.get();
    setPoint(*i, atts, QStringLiteral("Path %1, point %2").arg(m_pathNumber).arg(++m_pointNumber));
    i->Path = p;
    p->ObjectList.push_back(std::move(created));
    m_index = i;
    m_doc->CurrentIndex = i;
}

void ProjectReader::measurementPoint(const char** atts)
{
    TIndex* i = m_index;
    if (!i)
        return;
    auto created = std::make_unique<TMeasurement>();
    TMeasurement* m = created.get();
    setPoint(*m, atts, QStringLiteral("Path %1, point %2").arg(m_pathNumber).arg(++m_pointNumber));
    m->Path = i->Path ? i->Path.get() : m_path.get();
    m->Index = i;
    i->ObjectList.push_back(std::move(created));
}

void ProjectReader::drawObject(const char** atts)
{
    ProjectDocument* w = m_doc;
    const QString where = QStringLiteral("Drawing object %1").arg(++m_drawNumber);
    const int type = integer(atts, "Type", 0, where);
    auto byte = [&](const char* name, int defaultValue) { return quint8(qBound(0, integer(atts, name, defaultValue, where), 255)); };
    auto point = [&](const char* x, const char* y) { return QPoint(integer(atts, x, 0, where), integer(atts, y, 0, where)); };
    std::unique_ptr<TDrawObject> created;
    if (type == 1) {
        auto a = std::make_unique<TArrow>();
        a->x1 = point("x1x", "x1y");
        a->x2 = point("x2x", "x2y");
        a->Color = integer(atts, "Color", 0, where);
        a->Width = integer(atts, "Width", 3, where);
        a->TipWidth = integer(atts, "TipWidth", 10, where);
        a->BaseWidth = integer(atts, "BaseWidth", 10, where);
        a->TipType = byte("TipType", 0);
        a->BaseType = byte("BaseType", 0);
        a->caption = text(atts, "Caption");
        created = std::move(a);
    } else if (type == 2) {
        auto r = std::make_unique<TRectangle>();
        r->x1 = point("x1x", "x1y");
        r->x2 = point("x2x", "x2y");
        r->PColor = integer(atts, "PColor", 0, where);
        r->BColor = integer(atts, "BColor", 0, where);
        r->PWidth = integer(atts, "PWidth", 1, where);
        r->Transparent = flag(atts, "Transparent");
        created = std::move(r);
    } else {
        return;
    }
    created->Name = text(atts, "Name");
    created->Path = m_path.get();
    created->MDIForm = m_hooks.view();
    w->DrawList.push_back(std::move(created));
}

} // namespace

int LoadProjectXML(ProjectDocument& doc, const QString& fileName, ProjectIOHooks& hooks, QStringList* notes)
{
    ProjectReader reader(doc, hooks, fileName);
    // Only a regular file: a device or pipe given as a project would never end.
    if (!QFileInfo(fileName).isFile())
        return reader.run(nullptr, notes, QStringLiteral("The file does not exist."));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return reader.run(nullptr, notes, QStringLiteral("The file cannot be opened: ") + file.errorString());
    return reader.run(&file, notes);
}

int LoadProjectXMLData(ProjectDocument& doc, const QByteArray& data, const QString& fileName, ProjectIOHooks& hooks,
                       QStringList* notes)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    ProjectReader reader(doc, hooks, fileName);
    return reader.run(&buffer, notes);
}
