// RTF reader and writer. The reader turns the bytes into paragraphs of runs first and fills the
// document only when the whole text was read, so a refused text changes nothing.
#include "platform/Rtf.h"

#include "platform/Cp1252.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextFragment>
#include <QTextList>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace Rtf {

namespace {

// ---- reading ------------------------------------------------------------------------------------

enum class Dest {
    Text,       // document text
    Skip,       // a destination whose text is not shown
    FontTable,  // font names
    ColorTable, // colour entries
    FieldInst,  // a field's instruction (a link's address)
    Picture,    // picture data
    Numbering,  // paragraph numbering: read for its kind, shows no text
};

struct CharProps {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int font = -1;        // font table number; -1: the document's default
    int halfPoints = 24;  // RTF's default size, 12 points
    int color = 0;        // colour table index; 0: automatic
    QString href;         // inside a link's result

    bool operator==(const CharProps&) const = default;
};

struct GroupState {
    Dest dest = Dest::Text;
    CharProps chars;
    int uc = 1; // characters that stand in for each \u character
};

struct Run {
    QString text;
    CharProps props;
    int picture = -1; // index into the pictures; the run holds no text then
};

struct Paragraph {
    Qt::Alignment align = Qt::AlignLeft;
    bool bullet = false;
    std::vector<Run> runs;
};

struct Picture {
    QImage image;
    int width = 0; // shown size in pixels
    int height = 0;
};

struct PictureData {
    QByteArray bytes;
    int nibble = -1; // a hex digit waiting for its partner
    QByteArray format; // "png", "jpeg"; empty: a kind we do not show
    int goalWidth = 0, goalHeight = 0; // twips
    int scaleX = 100, scaleY = 100;    // percent
    int depth = 0; // group depth of \pict
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Windows code page of a font's character set.
int codepageOfCharset(int charset)
{
    switch (charset) {
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0; // the document's code page
    }
}

// Destinations whose text is never shown.
bool isSkippedDestination(const QByteArray& word)
{
    static const QList<QByteArray> skipped = {
        "stylesheet", "info", "pntext", "listtext", "header", "footer", "headerl", "headerr", "headerf", "footerl",
        "footerr", "footerf", "footnote", "annotation", "atnid", "atnauthor", "xe", "tc", "rxe", "txe",
        "bkmkstart", "bkmkend", "nonshppict", "listtable", "listoverridetable", "revtbl", "rsidtbl", "generator",
        "xmlnstbl", "themedata", "colorschememapping", "latentstyles", "datastore", "pgdsctbl", "filetbl",
        "objdata", "pnseclvl", "template", "userprops", "docvar", "leveltext", "levelnumbers", "blipuid",
        "panose", "falt", "mmathPr", "fchars", "lchars", "wgrffmtfilter", "pgptbl", "protusertbl", "fname"};
    return skipped.contains(word);
}

QString hrefOfField(const QString& instruction)
{
    const QString s = instruction.trimmed();
    if (!s.startsWith(QStringLiteral("HYPERLINK"), Qt::CaseInsensitive))
        return {};
    const qsizetype open = s.indexOf(QLatin1Char('"'));
    if (open < 0)
        return s.mid(9).trimmed().section(QLatin1Char(' '), 0, 0);
    const qsizetype close = s.indexOf(QLatin1Char('"'), open + 1);
    return close < 0 ? s.mid(open + 1) : s.mid(open + 1, close - open - 1);
}

class Reader {
public:
    explicit Reader(const QByteArray& data)
        : m_data(data)
    {
    }

    ReadResult run();
    void fill(QTextDocument& doc) const;

private:
    bool atEnd() const { return m_pos >= m_data.size(); }
    GroupState& state() { return m_stack.back(); }

    bool openGroup();
    void closeGroup();
    void controlWord(const QByteArray& word, bool hasParam, int param);
    void controlSymbol(char c);
    void handleWord(const QByteArray& word, bool hasParam, int param);
    void byteText(char byte);  // a byte of text in the current code page
    void charText(QChar c);    // a character of text
    void flushBytes();
    void endParagraph();
    void finishPicture();
    void lose(const QString& what)
    {
        if (!m_lost.contains(what))
            m_lost << what;
    }
    QString decode(const QByteArray& bytes) const;

    const QByteArray& m_data;
    qsizetype m_pos = 0;
    std::vector<GroupState> m_stack;
    bool m_starDestination = false; // "\*" seen: the next control word opens a destination
    bool m_groupStart = false;      // nothing but this group's first control word read yet
    int m_skipChars = 0;            // characters still standing in for a \u character
    QByteArray m_pendingBytes;      // \'hh bytes waiting to be decoded together
    int m_docCodepage = 1252;
    int m_defaultFont = 0;
    QString m_error;
    QStringList m_lost; // what is left out, in the user's words, each once

    // Font and colour tables.
    QHash<int, QString> m_fontNames;
    QHash<int, int> m_fontCodepages;
    int m_currentFont = 0;
    QString m_fontName;
    std::vector<std::optional<QColor>> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;

    QString m_fieldInst;
    std::optional<PictureData> m_picture;
    qint64 m_picturePixels = 0;

    Paragraph m_para;
    bool m_sawParagraphEnd = false;
    std::vector<Paragraph> m_paragraphs;
    std::vector<Picture> m_pictures;
};

QString Reader::decode(const QByteArray& bytes) const
{
    int codepage = m_docCodepage;
    if (!m_stack.empty()) {
        const int font = m_stack.back().chars.font >= 0 ? m_stack.back().chars.font : m_defaultFont;
        codepage = m_fontCodepages.value(font, 0) ? m_fontCodepages.value(font) : m_docCodepage;
    }
    if (codepage != 1252 && codepage > 0) {
        QStringDecoder decoder(QByteArrayLiteral("windows-") + QByteArray::number(codepage));
        if (decoder.isValid()) {
            QString s = decoder.decode(bytes);
            if (!decoder.hasError())
                return s;
        }
    }
    return Cp1252::toUnicode(bytes);
}

void Reader::flushBytes()
{
    if (m_pendingBytes.isEmpty())
        return;
    const QByteArray bytes = std::exchange(m_pendingBytes, QByteArray());
    for (QChar c : decode(bytes))
        charText(c);
}

void Reader::byteText(char byte)
{
    if (state().dest == Dest::Picture) {
        return; // picture data is hex digits, read elsewhere
    }
    if (state().dest == Dest::Skip || state().dest == Dest::Numbering)
        return;
    m_pendingBytes.append(byte);
}

void Reader::charText(QChar c)
{
    GroupState& s = state();
    switch (s.dest) {
    case Dest::Text: {
        // An object mark without its object, a lone carriage return or a NUL is no text to keep.
        if (c == QChar(0xFFFC) || c == QLatin1Char('\r') || c.isNull())
            break;
        m_sawParagraphEnd = false;
        std::vector<Run>& runs = m_para.runs;
        if (!runs.empty() && runs.back().picture < 0 && runs.back().props == s.chars)
            runs.back().text.append(c);
        else
            runs.push_back(Run{QString(c), s.chars, -1});
        break;
    }
    case Dest::FontTable:
        if (c == QLatin1Char(';')) {
            m_fontNames.insert(m_currentFont, m_fontName.trimmed());
            m_fontName.clear();
        } else if (m_fontName.size() < 256) {
            m_fontName.append(c);
        }
        break;
    case Dest::ColorTable:
        if (c == QLatin1Char(';')) {
            if (m_colorSet)
                m_colors.push_back(QColor(m_red, m_green, m_blue));
            else
                m_colors.push_back(std::nullopt);
            m_red = m_green = m_blue = 0;
            m_colorSet = false;
        }
        break;
    case Dest::FieldInst:
        if (m_fieldInst.size() < 4096)
            m_fieldInst.append(c);
        break;
    default:
        break;
    }
}

void Reader::endParagraph()
{
    flushBytes();
    m_paragraphs.push_back(std::move(m_para));
    Paragraph next;
    next.align = m_paragraphs.back().align;
    next.bullet = m_paragraphs.back().bullet;
    m_para = std::move(next);
    m_sawParagraphEnd = true;
}

bool Reader::openGroup()
{
    flushBytes();
    if (int(m_stack.size()) >= MaxGroupDepth) {
        m_error = QStringLiteral("The text is nested more than %1 groups deep.").arg(MaxGroupDepth);
        return false;
    }
    m_stack.push_back(m_stack.back());
    m_groupStart = true;
    m_skipChars = 0;
    return true;
}

void Reader::closeGroup()
{
    flushBytes();
    const Dest leaving = state().dest;
    if (leaving == Dest::FontTable && !m_fontName.trimmed().isEmpty()) {
        // A last name without its semicolon still counts.
        if (!m_fontNames.contains(m_currentFont))
            m_fontNames.insert(m_currentFont, m_fontName.trimmed());
        m_fontName.clear();
    }
    if (m_picture && int(m_stack.size()) == m_picture->depth)
        finishPicture();
    m_stack.pop_back();
    m_skipChars = 0;
    m_groupStart = false;
}

void Reader::finishPicture()
{
    PictureData data = std::move(*m_picture);
    m_picture.reset();
    const QString unshown = QStringLiteral("pictures the editor cannot show");
    if (data.format.isEmpty() || int(m_pictures.size()) >= MaxPictures) {
        lose(unshown);
        return;
    }
    QBuffer buffer(&data.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, data.format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        lose(unshown);
        return;
    }
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > MaxPicturePixels - m_picturePixels) {
        lose(unshown); // the pictures together would take too much memory
        return;
    }
    QImage image = reader.read();
    if (image.isNull()) {
        lose(unshown);
        return;
    }
    m_picturePixels += pixels;
    Picture p;
    p.image = image;
    // The goal size is in twips (15 per pixel at 96 dpi), scaled in percent.
    p.width = data.goalWidth > 0 ? std::max(1, int(qint64(data.goalWidth) * data.scaleX / 100 / 15)) : image.width();
    p.height = data.goalHeight > 0 ? std::max(1, int(qint64(data.goalHeight) * data.scaleY / 100 / 15)) : image.height();
    p.width = std::min(p.width, 32767);
    p.height = std::min(p.height, 32767);
    m_pictures.push_back(std::move(p));
    m_sawParagraphEnd = false;
    m_para.runs.push_back(Run{QString(), state().chars, int(m_pictures.size()) - 1});
}

void Reader::controlSymbol(char c)
{
    switch (c) {
    case '\\':
    case '{':
    case '}':
        byteText(c);
        break;
    case '~':
        flushBytes();
        charText(QChar(0x00A0));
        break;
    case '_':
        flushBytes();
        charText(QChar(0x2011));
        break;
    case '\n':
    case '\r':
        if (state().dest == Dest::Text)
            endParagraph();
        break;
    case '*':
        m_starDestination = true;
        break;
    default:
        break; // \- (optional hyphen), \: and others show nothing
    }
}

void Reader::controlWord(const QByteArray& word, bool hasParam, int param)
{
    // A word that opens a group names its destination.
    const bool destinationSlot = m_groupStart;
    const bool star = m_starDestination;
    m_groupStart = false;
    m_starDestination = false;
    if (destinationSlot || star) {
        if (word == "fonttbl") {
            state().dest = Dest::FontTable;
            return;
        }
        if (word == "colortbl") {
            state().dest = Dest::ColorTable;
            return;
        }
        if (word == "fldinst") {
            state().dest = Dest::FieldInst;
            m_fieldInst.clear();
            return;
        }
        if (word == "fldrslt") {
            state().dest = Dest::Text;
            state().chars.href = hrefOfField(m_fieldInst);
            return;
        }
        if (word == "pict") {
            state().dest = Dest::Picture;
            m_picture = PictureData();
            m_picture->depth = int(m_stack.size());
            return;
        }
        if (word == "pn") {
            state().dest = Dest::Numbering;
            m_para.bullet = true; // numbered or bulleted: the editor shows both as bullets
            return;
        }
        if (word == "shppict" || word == "field" || word == "result" || word == "object") {
            if (word == "object")
                lose(QStringLiteral("embedded objects"));
            return; // their contents are read as they come
        }
        if (isSkippedDestination(word) || star) {
            state().dest = Dest::Skip;
            return;
        }
    }
    handleWord(word, hasParam, param);
}

void Reader::handleWord(const QByteArray& word, bool hasParam, int param)
{
    GroupState& s = state();
    const bool on = !hasParam || param != 0;

    if (s.dest == Dest::Skip)
        return;
    if (s.dest == Dest::Picture) {
        if (!m_picture)
            return;
        if (word == "pngblip")
            m_picture->format = "png";
        else if (word == "jpegblip")
            m_picture->format = "jpeg";
        else if (word == "emfblip" || word == "wmetafile" || word == "macpict" || word == "dibitmap" || word == "wbitmap")
            m_picture->format.clear();
        else if (word == "picwgoal")
            m_picture->goalWidth = std::clamp(param, 0, 32767 * 15);
        else if (word == "pichgoal")
            m_picture->goalHeight = std::clamp(param, 0, 32767 * 15);
        else if (word == "picscalex")
            m_picture->scaleX = std::clamp(param, 1, 1000);
        else if (word == "picscaley")
            m_picture->scaleY = std::clamp(param, 1, 1000);
        return;
    }
    if (s.dest == Dest::Numbering) {
        return;
    }
    if (s.dest == Dest::ColorTable) {
        int* channel = word == "red" ? &m_red : word == "green" ? &m_green : word == "blue" ? &m_blue : nullptr;
        if (channel) {
            *channel = std::clamp(param, 0, 255);
            m_colorSet = true;
        }
        return;
    }
    if (s.dest == Dest::FontTable) {
        if (word == "f") {
            m_currentFont = param;
            m_fontName.clear();
        } else if (word == "fcharset") {
            m_fontCodepages.insert(m_currentFont, codepageOfCharset(param));
        } else if (word == "cpg") {
            m_fontCodepages.insert(m_currentFont, param);
        }
        return;
    }

    // Characters.
    if (word == "u") {
        flushBytes();
        const int unit = param < 0 ? param + 65536 : param;
        if (unit > 0 && unit <= 0xFFFF)
            charText(QChar(char16_t(unit)));
        m_skipChars = s.uc;
        return;
    }
    struct Special {
        const char* word;
        char16_t c;
    };
    static const Special specials[] = {
        {"tab", u'\t'},       {"line", 0x2028},     {"emdash", 0x2014}, {"endash", 0x2013}, {"bullet", 0x2022},
        {"lquote", 0x2018},   {"rquote", 0x2019},   {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
        {"emspace", 0x2003},  {"enspace", 0x2002},  {"qmspace", 0x2005}, {"zwj", 0x200D}, {"zwnj", 0x200C},
        {"cell", u'\t'},      {"nestcell", u'\t'},
    };
    for (const Special& sp : specials)
        if (word == sp.word) {
            flushBytes();
            if (s.dest == Dest::Text || s.dest == Dest::FieldInst || s.dest == Dest::FontTable)
                charText(QChar(sp.c));
            return;
        }
    if (word == "par" || word == "sect" || word == "page") {
        if (s.dest == Dest::Text)
            endParagraph();
        return;
    }
    if (word == "row" || word == "nestrow") {
        if (s.dest == Dest::Text) {
            lose(QStringLiteral("tables"));
            flushBytes();
            // The row's last cell ends with a tab that separates nothing.
            if (!m_para.runs.empty() && m_para.runs.back().picture < 0 && m_para.runs.back().text.endsWith(u'\t'))
                m_para.runs.back().text.chop(1);
            if (!m_para.runs.empty() && m_para.runs.back().picture < 0 && m_para.runs.back().text.isEmpty())
                m_para.runs.pop_back();
            endParagraph();
        }
        return;
    }
    if (word == "bin") {
        // Raw bytes follow; they are never text.
        const qsizetype n = std::clamp<qsizetype>(hasParam ? param : 0, 0, m_data.size() - m_pos);
        if (m_picture && s.dest == Dest::Picture)
            m_picture->bytes.append(m_data.constData() + m_pos, n);
        m_pos += n;
        return;
    }

    // Document.
    if (word == "ansicpg") {
        m_docCodepage = param > 0 ? param : 1252;
        return;
    }
    if (word == "deff") {
        m_defaultFont = param;
        return;
    }
    if (word == "uc") {
        s.uc = std::clamp(param, 0, 10);
        return;
    }

    // Paragraphs.
    if (word == "pard") {
        m_para.align = Qt::AlignLeft;
        m_para.bullet = false;
        return;
    }
    if (word == "ql") {
        m_para.align = Qt::AlignLeft;
        return;
    }
    if (word == "qc") {
        m_para.align = Qt::AlignHCenter;
        return;
    }
    if (word == "qr") {
        m_para.align = Qt::AlignRight;
        return;
    }
    if (word == "qj") {
        m_para.align = Qt::AlignJustify;
        return;
    }
    if (word == "ls") {
        m_para.bullet = param > 0;
        return;
    }

    // Characters' look.
    flushBytes();
    CharProps& c = s.chars;
    if (word == "plain") {
        const QString href = c.href;
        c = CharProps();
        c.href = href;
    } else if (word == "b") {
        c.bold = on;
    } else if (word == "i") {
        c.italic = on;
    } else if (word == "ulnone") {
        c.underline = false;
    } else if (word.startsWith("ul") && word.size() <= 8 && word != "ulc") {
        c.underline = on;
    } else if (word == "strike") {
        c.strike = on;
    } else if (word == "f") {
        c.font = param;
    } else if (word == "fs") {
        c.halfPoints = std::clamp(param, 2, 3276);
    } else if (word == "cf") {
        c.color = std::max(0, param);
    }
}

ReadResult Reader::run()
{
    ReadResult result;
    // Up to the first group, which holds the whole document.
    while (!atEnd() && m_data[m_pos] != '{')
        ++m_pos;
    if (atEnd()) {
        result.error = QStringLiteral("The text is not rich text (RTF).");
        return result;
    }
    ++m_pos;
    m_stack.push_back(GroupState());
    m_groupStart = true;

    while (!atEnd() && !m_stack.empty()) {
        const char c = m_data[m_pos++];
        if (m_skipChars > 0 && c != '{' && c != '}') {
            // Characters standing in for a \u character: a control word or \'hh counts as one.
            if (c == '\\' && !atEnd()) {
                const char next = m_data[m_pos];
                if (next == '\'') {
                    m_pos = std::min(m_data.size(), m_pos + 3);
                } else if (isLetter(next)) {
                    while (!atEnd() && isLetter(m_data[m_pos]))
                        ++m_pos;
                    if (!atEnd() && m_data[m_pos] == '-')
                        ++m_pos;
                    while (!atEnd() && isDigit(m_data[m_pos]))
                        ++m_pos;
                    if (!atEnd() && m_data[m_pos] == ' ')
                        ++m_pos;
                } else {
                    ++m_pos;
                }
            } else if (c == '\r' || c == '\n') {
                continue; // line ends are no characters
            }
            --m_skipChars;
            continue;
        }
        switch (c) {
        case '{':
            if (!openGroup()) {
                result.error = m_error;
                return result;
            }
            break;
        case '}':
            closeGroup();
            break;
        case '\\': {
            if (atEnd())
                break;
            const char next = m_data[m_pos];
            if (isLetter(next)) {
                QByteArray word;
                while (!atEnd() && isLetter(m_data[m_pos])) {
                    if (word.size() < 32)
                        word.append(m_data[m_pos]);
                    ++m_pos;
                }
                bool hasParam = false;
                bool negative = false;
                qint64 value = 0;
                if (!atEnd() && m_data[m_pos] == '-' && m_pos + 1 < m_data.size() && isDigit(m_data[m_pos + 1])) {
                    negative = true;
                    ++m_pos;
                }
                int digits = 0;
                while (!atEnd() && isDigit(m_data[m_pos])) {
                    hasParam = true;
                    if (digits < 10)
                        value = value * 10 + (m_data[m_pos] - '0');
                    ++digits;
                    ++m_pos;
                }
                if (!atEnd() && m_data[m_pos] == ' ')
                    ++m_pos; // the delimiter belongs to the word
                value = std::clamp<qint64>(negative ? -value : value, -2147483647, 2147483647);
                controlWord(word, hasParam, int(value));
            } else if (next == '\'') {
                ++m_pos;
                const int hi = m_pos < m_data.size() ? hexValue(m_data[m_pos]) : -1;
                const int lo = m_pos + 1 < m_data.size() ? hexValue(m_data[m_pos + 1]) : -1;
                m_groupStart = false;
                if (hi < 0 || lo < 0) {
                    m_pos += hi >= 0 ? 1 : 0; // a broken byte is dropped, not read as text
                } else {
                    m_pos += 2;
                    if (state().dest == Dest::Picture && m_picture)
                        break; // hex escapes are no picture data
                    byteText(char(hi * 16 + lo));
                }
            } else {
                ++m_pos;
                if (next != '*')
                    m_groupStart = false;
                controlSymbol(next);
            }
            break;
        }
        case '\r':
        case '\n':
            break; // line ends in the file are no text
        default:
            m_groupStart = false;
            if (state().dest == Dest::Picture) {
                if (m_picture) {
                    const int v = hexValue(c);
                    if (v >= 0) {
                        if (m_picture->nibble < 0) {
                            m_picture->nibble = v;
                        } else {
                            m_picture->bytes.append(char(m_picture->nibble * 16 + v));
                            m_picture->nibble = -1;
                        }
                    }
                }
                break;
            }
            if (uchar(c) < 0x20 && c != '\t')
                break; // other control characters are no text
            if (uchar(c) >= 0x80) {
                byteText(c);
            } else {
                flushBytes();
                charText(QLatin1Char(c));
            }
            break;
        }
    }
    // A text cut short ends where it ends: what was read stays.
    while (!m_stack.empty())
        closeGroup();
    // The paragraph mark that ends the last paragraph opens no empty one.
    if (!m_para.runs.empty() || !m_sawParagraphEnd || m_paragraphs.empty())
        m_paragraphs.push_back(std::move(m_para));
    result.ok = true;
    result.lost = m_lost;
    return result;
}

QTextCharFormat formatOf(const CharProps& p, const QHash<int, QString>& fonts, int defaultFont,
                         const std::vector<std::optional<QColor>>& colors)
{
    QTextCharFormat f;
    f.setFontWeight(p.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(p.italic);
    f.setFontUnderline(p.underline);
    f.setFontStrikeOut(p.strike);
    const QString family = fonts.value(p.font >= 0 ? p.font : defaultFont);
    if (!family.isEmpty())
        f.setFontFamilies(QStringList{family});
    f.setFontPointSize(p.halfPoints / 2.0);
    if (p.color > 0 && size_t(p.color) < colors.size() && colors[size_t(p.color)])
        f.setForeground(*colors[size_t(p.color)]);
    if (!p.href.isEmpty()) {
        f.setAnchor(true);
        f.setAnchorHref(p.href);
    }
    return f;
}

void Reader::fill(QTextDocument& doc) const
{
    doc.clear();
    QTextCursor cursor(&doc);
    // One edit block: the layout hears of the change once at the end instead of laying the
    // paragraph out again after every run, which made notes with many format changes quadratic.
    cursor.beginEditBlock();
    QTextList* list = nullptr;
    for (size_t i = 0; i < m_paragraphs.size(); ++i) {
        const Paragraph& para = m_paragraphs[i];
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        QTextBlockFormat block;
        block.setAlignment(para.align);
        cursor.setBlockFormat(block);
        if (para.bullet) {
            if (list)
                list->add(cursor.block());
            else
                list = cursor.createList(QTextListFormat::ListDisc);
        } else {
            list = nullptr;
        }
        for (const Run& run : para.runs) {
            const QTextCharFormat f = formatOf(run.props, m_fontNames, m_defaultFont, m_colors);
            if (run.picture >= 0) {
                const Picture& p = m_pictures[size_t(run.picture)];
                const QString name = QStringLiteral("rtfpicture:%1").arg(run.picture);
                doc.addResource(QTextDocument::ImageResource, QUrl(name), p.image);
                QTextImageFormat image;
                image.merge(f);
                image.setName(name);
                image.setWidth(p.width);
                image.setHeight(p.height);
                cursor.insertImage(image);
            } else {
                cursor.insertText(run.text, f);
            }
        }
    }
    cursor.endEditBlock();
    doc.setModified(false);
}

// ---- writing ------------------------------------------------------------------------------------

void appendEscaped(QByteArray& out, const QString& text)
{
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u == u'\t') {
            out += "\\tab ";
        } else if (u == 0x2028 || u == u'\n') {
            out += "\\line ";
        } else if (u == 0x00A0) {
            out += "\\~";
        } else if (u == 0xFFFC || u == u'\r') {
            // an object mark without its object, or a stray carriage return: nothing to keep
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else {
            // RTF numbers are signed 16-bit; the '?' stands in for readers without Unicode.
            out += "\\u" + QByteArray::number(int(qint16(u))) + '?';
        }
    }
}

double pointSizeOf(const QTextCharFormat& f, const QFont& fallback)
{
    if (f.fontPointSize() > 0)
        return f.fontPointSize();
    if (fallback.pointSizeF() > 0)
        return fallback.pointSizeF();
    return fallback.pixelSize() > 0 ? fallback.pixelSize() * 0.75 : 12;
}

QString familyOf(const QTextCharFormat& f, const QFont& fallback)
{
    const QStringList families = f.fontFamilies().toStringList();
    return families.isEmpty() || families.first().isEmpty() ? fallback.family() : families.first();
}

} // namespace

bool looksLikeRtf(const QByteArray& bytes)
{
    return bytes.trimmed().startsWith("{\\rtf");
}

ReadResult read(const QByteArray& rtf, QTextDocument& document)
{
    if (!looksLikeRtf(rtf))
        return ReadResult{false, QStringLiteral("The text is not rich text (RTF)."), {}};
    Reader reader(rtf);
    ReadResult result = reader.run();
    if (result.ok)
        reader.fill(document);
    return result;
}

QByteArray write(const QTextDocument& document)
{
    const QFont base = document.defaultFont();
    QStringList fonts{base.family()};
    QList<QRgb> colors;
    // Fonts and colours in the order of their first use.
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString family = familyOf(f, base);
            if (!fonts.contains(family))
                fonts << family;
            if (f.foreground().style() != Qt::NoBrush) {
                const QRgb c = f.foreground().color().rgb();
                if (!colors.contains(c))
                    colors << c;
            }
        }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
        appendEscaped(out, fonts[i]);
        out += ";}";
    }
    out += "}\n{\\colortbl ;";
    for (QRgb c : colors)
        out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue"
               + QByteArray::number(qBlue(c)) + ';';
    out += "}\n";

    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        if (b != document.begin())
            out += "\\par\n";
        out += "\\pard";
        const Qt::Alignment align = b.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignHCenter)
            out += "\\qc";
        else if (align & Qt::AlignRight)
            out += "\\qr";
        else if (align & Qt::AlignJustify)
            out += "\\qj";
        if (b.textList())
            out += "{\\pntext\\f0\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf0\\pnindent360{\\pntxtb\\'B7}}\\fi-360\\li360";
        out += ' ';
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat f = fragment.charFormat();
            if (f.isImageFormat()) {
                const QTextImageFormat image = f.toImageFormat();
                const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(image.name()));
                QImage picture = resource.value<QImage>();
                if (picture.isNull())
                    picture = resource.value<QPixmap>().toImage();
                if (picture.isNull())
                    continue;
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                picture.save(&buffer, "PNG");
                const int w = image.width() > 0 ? int(image.width()) : picture.width();
                const int h = image.height() > 0 ? int(image.height()) : picture.height();
                for (int n = 0; n < fragment.length(); ++n) {
                    out += "{\\pict\\pngblip\\picw" + QByteArray::number(picture.width()) + "\\pich"
                           + QByteArray::number(picture.height()) + "\\picwgoal" + QByteArray::number(w * 15)
                           + "\\pichgoal" + QByteArray::number(h * 15) + '\n';
                    const QByteArray hex = png.toHex();
                    for (qsizetype i = 0; i < hex.size(); i += 128)
                        out += hex.mid(i, 128) + '\n';
                    out += '}';
                }
                continue;
            }
            QByteArray look = "\\f" + QByteArray::number(fonts.indexOf(familyOf(f, base))) + "\\fs"
                              + QByteArray::number(qRound(pointSizeOf(f, base) * 2));
            if (f.foreground().style() != Qt::NoBrush)
                look += "\\cf" + QByteArray::number(colors.indexOf(f.foreground().color().rgb()) + 1);
            if (f.fontWeight() >= QFont::Bold)
                look += "\\b";
            if (f.fontItalic())
                look += "\\i";
            if (f.fontUnderline())
                look += "\\ul";
            if (f.fontStrikeOut())
                look += "\\strike";
            QByteArray text;
            appendEscaped(text, fragment.text());
            if (f.isAnchor() && !f.anchorHref().isEmpty()) {
                QByteArray href;
                appendEscaped(href, f.anchorHref());
                href.replace('"', "%22");
                out += "{\\field{\\*\\fldinst{HYPERLINK \"" + href + "\"}}{\\fldrslt{" + look + ' ' + text + "}}}";
            } else {
                out += '{' + look + ' ' + text + '}';
            }
        }
    }
    // The reader takes a paragraph mark at the very end as closing the last paragraph: an empty
    // last paragraph needs one of its own.
    if (document.blockCount() > 1 && document.lastBlock().length() <= 1)
        out += "\\par";
    out += "\n}\n";
    return out;
}

} // namespace Rtf
