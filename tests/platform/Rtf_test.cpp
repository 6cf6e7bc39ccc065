// RTF notes: documents as word processors write them (plain, bold and italic, colours, a table,
// Unicode escapes, links, skipped destinations) read with their text and looks intact; what the
// program writes reads back the same; hostile and damaged texts are refused or read as far as
// they go, never crashing and never half-filling the document.
#include "platform/Rtf.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QString textOf(const QByteArray& rtf)
{
    QTextDocument doc;
    const Rtf::ReadResult r = Rtf::read(rtf, doc);
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    // The raw text keeps no-break spaces and line breaks; paragraphs are told by a newline.
    return doc.toRawText().replace(QChar(0x2029), QLatin1Char('\n'));
}

// The character format at a position of the document's text.
QTextCharFormat formatAt(QTextDocument& doc, int position)
{
    QTextCursor c(&doc);
    c.setPosition(position + 1);
    return c.charFormat();
}

int find(const QTextDocument& doc, const QString& text)
{
    return int(doc.toPlainText().indexOf(text));
}

TEST(RtfRead, DocumentsAsWordProcessorsWriteThemKeepTheirText)
{
    struct Row {
        const char* name;
        QByteArray rtf;
        QString text;
    };
    const Row rows[] = {
        {"plain, with a header and a generator",
         "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}}\r\n"
         "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
         "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang7 Ring 1 is narrow.\\par\r\n"
         "Second line\\par\r\n}\r\n",
         QStringLiteral("Ring 1 is narrow.\nSecond line")},
        {"bold and italic",
         "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}}\\f0\\fs24 plain {\\b bold} "
         "\\i italic\\i0  and \\b\\i both\\b0\\i0 .}",
         QStringLiteral("plain bold italic and both.")},
        {"colours",
         "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}"
         "\\f0 {\\cf1 red} and {\\cf2 green} and \\cf0 auto\\par}",
         QStringLiteral("red and green and auto")},
        {"a table",
         "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\r\n"
         "\\trowd\\trgaph108\\trleft-108\\cellx1000\\cellx2000\\cellx3000\r\n"
         "\\pard\\intbl Year\\cell Width\\cell Note\\cell\\row\r\n"
         "\\trowd\\trgaph108\\trleft-108\\cellx1000\\cellx2000\\cellx3000\r\n"
         "\\pard\\intbl 1901\\cell 0.52\\cell {\\i frost}\\cell\\row\r\n"
         "\\pard After the table.\\par}",
         QStringLiteral("Year\tWidth\tNote\n1901\t0.52\tfrost\nAfter the table.")},
        {"Unicode escapes, code-page bytes and a surrogate pair",
         "{\\rtf1\\ansi\\ansicpg1252\\uc1 caf\\'e9 \\u8364? Gr\\u252?n \\uc2\\u20320\\'3f\\'3fx \\uc1\\u-10179?\\u-8704? "
         "\\ldblquote q\\rdblquote\\tab t\\~nb}",
         QString::fromUtf8("café € Grün 你x 😀 “q”\tt\u00A0nb")},
        {"a link field",
         "{\\rtf1\\ansi{\\field{\\*\\fldinst{HYPERLINK \"https://example.org/a\"}}{\\fldrslt{\\ul\\cf1 the site}}} after}",
         QStringLiteral("the site after")},
        {"destinations that are not text",
         "{\\rtf1\\ansi{\\info{\\title Secret title}{\\author Someone}}{\\header head}{\\*\\unknownword hidden}"
         "{\\*\\bkmkstart mark}visible{\\*\\bkmkend mark}{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}"
         "\\par{\\stylesheet{\\s0 Normal;}}end}",
         QStringLiteral("visible\nend")},
        {"escaped braces and backslashes, line breaks",
         "{\\rtf1 a \\{b\\} \\\\c\\line d}", QString::fromUtf8("a {b} \\c\u2028d")},
        {"a picture in a kind not shown keeps the text around it",
         "{\\rtf1 before{\\*\\shppict{\\pict\\emfblip 0102}}{\\nonshppict{\\pict\\wmetafile8 0304}}after}",
         QStringLiteral("beforeafter")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(textOf(r.rtf), r.text);
    }
}

TEST(RtfRead, LooksComeWithTheText)
{
    QTextDocument doc;
    const QByteArray rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;}"
        "\\f0\\fs20 plain {\\b bold} {\\i italic} {\\ul under} {\\f1\\fs32\\cf1 big}\\par"
        "\\pard\\qc centred\\par\\pard\\qr right\\par"
        "\\pard{\\pntext\\f0\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf0{\\pntxtb\\'B7}}\\fi-360\\li360 one\\par"
        "{\\pntext\\f0\\'B7\\tab}two\\par\\pard"
        "{\\field{\\*\\fldinst{HYPERLINK \"http://example.org\"}}{\\fldrslt{link}}}}";
    ASSERT_TRUE(Rtf::read(rtf, doc).ok);

    const QTextCharFormat plain = formatAt(doc, find(doc, QStringLiteral("plain")));
    EXPECT_EQ(plain.fontWeight(), QFont::Normal);
    EXPECT_EQ(plain.fontPointSize(), 10);
    EXPECT_EQ(plain.fontFamilies().toStringList().value(0), QStringLiteral("Arial"));
    EXPECT_EQ(formatAt(doc, find(doc, QStringLiteral("bold"))).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(doc, find(doc, QStringLiteral("italic"))).fontItalic());
    EXPECT_TRUE(formatAt(doc, find(doc, QStringLiteral("under"))).fontUnderline());
    const QTextCharFormat big = formatAt(doc, find(doc, QStringLiteral("big")));
    EXPECT_EQ(big.fontPointSize(), 16);
    EXPECT_EQ(big.fontFamilies().toStringList().value(0), QStringLiteral("Courier New"));
    EXPECT_EQ(big.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatAt(doc, find(doc, QStringLiteral(" bold"))).fontWeight(), QFont::Normal) << "the group ends bold";

    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(doc.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    ASSERT_NE(doc.findBlockByNumber(3).textList(), nullptr);
    EXPECT_EQ(doc.findBlockByNumber(3).textList(), doc.findBlockByNumber(4).textList()) << "one list";
    EXPECT_EQ(doc.findBlockByNumber(5).textList(), nullptr);
    const QTextCharFormat link = formatAt(doc, find(doc, QStringLiteral("link")));
    EXPECT_TRUE(link.isAnchor());
    EXPECT_EQ(link.anchorHref(), QStringLiteral("http://example.org"));
}

// A document with everything the editor offers.
void buildSample(QTextDocument& doc)
{
    doc.clear();
    QTextCursor c(&doc);
    QTextCharFormat f;
    f.setFontFamilies(QStringList{QStringLiteral("DejaVu Sans")});
    f.setFontPointSize(10);
    c.insertText(QStringLiteral("Plain {braces} \\ back\tslash "), f);
    QTextCharFormat bold = f;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("bold"), bold);
    QTextCharFormat styled = f;
    styled.setFontItalic(true);
    styled.setFontUnderline(true);
    styled.setForeground(QColor(0, 0, 255));
    styled.setFontFamilies(QStringList{QStringLiteral("DejaVu Sans Mono")});
    styled.setFontPointSize(14);
    c.insertText(QString::fromUtf8(" blue Ünïcödé € 😀"), styled);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centred, f);
    c.insertText(QStringLiteral("centred"), f);
    c.insertBlock(QTextBlockFormat(), f);
    c.createList(QTextListFormat::ListDisc);
    c.insertText(QStringLiteral("first bullet"), f);
    c.insertBlock(QTextBlockFormat(), f);
    doc.findBlockByNumber(2).textList()->add(c.block());
    c.insertText(QStringLiteral("second bullet"), f);
    c.insertBlock(QTextBlockFormat(), f);
    QTextCharFormat link = f;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.org/rings?a=1"));
    c.insertText(QStringLiteral("a link"), link);
    c.insertText(QStringLiteral(" picture: "), f);
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("sample:1")), picture);
    QTextImageFormat image;
    image.setName(QStringLiteral("sample:1"));
    image.setWidth(12);
    image.setHeight(8);
    c.insertImage(image);
}

TEST(RtfWrite, WhatTheProgramWritesReadsBackTheSame)
{
    QTextDocument original;
    buildSample(original);
    const QByteArray rtf = Rtf::write(original);
    for (char ch : rtf)
        ASSERT_TRUE(uchar(ch) < 0x80) << "ASCII only";

    QTextDocument back;
    const Rtf::ReadResult r = Rtf::read(rtf, back);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(back.toPlainText(), original.toPlainText());
    ASSERT_EQ(back.blockCount(), original.blockCount());
    for (int b = 0; b < original.blockCount(); ++b) {
        SCOPED_TRACE(b);
        const QTextBlock o = original.findBlockByNumber(b), k = back.findBlockByNumber(b);
        EXPECT_EQ(o.blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                  k.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
        EXPECT_EQ(o.textList() != nullptr, k.textList() != nullptr);
    }
    const int length = int(original.toPlainText().size());
    for (int i = 0; i < length; ++i) {
        SCOPED_TRACE(i);
        const QTextCharFormat o = formatAt(original, i), k = formatAt(back, i);
        ASSERT_EQ(o.isImageFormat(), k.isImageFormat());
        if (o.isImageFormat()) {
            EXPECT_EQ(k.toImageFormat().width(), 12);
            EXPECT_EQ(k.toImageFormat().height(), 8);
            const QImage shown = back.resource(QTextDocument::ImageResource, QUrl(k.toImageFormat().name())).value<QImage>();
            ASSERT_EQ(shown.size(), QSize(6, 4));
            EXPECT_EQ(shown.pixel(3, 2), qRgb(10, 200, 30));
            continue;
        }
        ASSERT_EQ(o.fontWeight() >= QFont::Bold, k.fontWeight() >= QFont::Bold);
        ASSERT_EQ(o.fontItalic(), k.fontItalic());
        ASSERT_EQ(o.fontUnderline(), k.fontUnderline());
        ASSERT_EQ(o.fontPointSize(), k.fontPointSize());
        ASSERT_EQ(o.fontFamilies().toStringList().value(0), k.fontFamilies().toStringList().value(0));
        ASSERT_EQ(o.foreground().style() != Qt::NoBrush ? o.foreground().color() : QColor(),
                  k.foreground().style() != Qt::NoBrush ? k.foreground().color() : QColor());
        ASSERT_EQ(o.isAnchor(), k.isAnchor());
        ASSERT_EQ(o.anchorHref(), k.anchorHref());
    }
    EXPECT_EQ(Rtf::write(back), rtf) << "a second round changes nothing";
}

TEST(RtfWrite, PlainTextsKeepEveryParagraphAndCharacter)
{
    const QString texts[] = {
        QString(), QStringLiteral("a"), QStringLiteral("a\n"), QStringLiteral("\n"), QStringLiteral("a\n\nb\n\n"),
        QStringLiteral("tab\tx {} \\"), QString::fromUtf8("line\u2028break \u00A0nbsp \u00AD soft"),
        QString::fromUtf8("control \x01 chars and 😀 and a lone ") + QChar(0xD800),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        QTextDocument doc;
        doc.setPlainText(text);
        QTextDocument back;
        ASSERT_TRUE(Rtf::read(Rtf::write(doc), back).ok);
        EXPECT_EQ(back.toRawText(), doc.toRawText());
    }
}

TEST(RtfRead, RefusedTextsLeaveTheDocumentAsItWas)
{
    struct Row {
        const char* name;
        QByteArray rtf;
        const char* error;
    };
    const Row rows[] = {
        {"plain text", "Just some notes", "The text is not rich text (RTF)."},
        {"empty", "", "The text is not rich text (RTF)."},
        {"nested too deeply", "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + "}",
         "The text is nested more than 200 groups deep."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("kept"));
        const Rtf::ReadResult result = Rtf::read(r.rtf, doc);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, QString::fromLatin1(r.error));
        EXPECT_EQ(doc.toPlainText(), QStringLiteral("kept"));
    }
    EXPECT_TRUE(textOf("{\\rtf1 " + QByteArray(150, '{') + "deep enough" + QByteArray(150, '}') + "}")
                    == QStringLiteral("deep enough"));
}

TEST(RtfRead, DamagedTextsAreReadAsFarAsTheyGo)
{
    struct Row {
        const char* name;
        QByteArray rtf;
        QString text;
    };
    const Row rows[] = {
        {"cut short in a group", "{\\rtf1 one\\par{\\b two", QStringLiteral("one\ntwo")},
        {"cut short in a control word", "{\\rtf1 one \\pa", QStringLiteral("one ")},
        {"cut short in a hex byte", "{\\rtf1 one\\'e", QStringLiteral("one")},
        {"a backslash at the end", "{\\rtf1 one\\", QStringLiteral("one")},
        {"a parameter of thirty digits", "{\\rtf1\\fs999999999999999999999999999999 big}", QStringLiteral("big")},
        {"a negative Unicode number below the range", "{\\rtf1\\u-99999?x}", QStringLiteral("x")},
        {"a word of a thousand letters", "{\\rtf1\\" + QByteArray(1000, 'a') + " text}", QStringLiteral("text")},
        {"binary data longer than the text", "{\\rtf1 a{\\pict\\pngblip\\bin999999999 xyz}}", QStringLiteral("a")},
        {"a picture of broken data", "{\\rtf1 a{\\pict\\pngblip 89504e470d0a1a0affff}b}", QStringLiteral("ab")},
        {"text after the closing brace", "{\\rtf1 in}out", QStringLiteral("in")},
        {"a stray closing brace in a table", "{\\rtf1\\cell\\row\\row x}", QStringLiteral("\n\nx")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(textOf(r.rtf), r.text);
    }
}

// What the document cannot hold is named, so the editor can say what a change of the notes loses.
TEST(RtfRead, WhatIsLeftOutIsNamed)
{
    QImage tiny(2, 2, QImage::Format_RGB32);
    tiny.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tiny.save(&buffer, "PNG");
    const QString pictures = QStringLiteral("pictures the editor cannot show");
    struct Row { const char* name; QByteArray rtf; QStringList lost; };
    const Row rows[] = {
        {"plain text", "{\\rtf1 just {\\b words}\\par}", {}},
        {"a picture it shows", "{\\rtf1 a{\\pict\\pngblip " + png.toHex() + "}b}", {}},
        {"metafile and device-independent pictures",
         "{\\rtf1 a{\\pict\\wmetafile8 0102}b{\\pict\\dibitmap0 0304}{\\pict\\emfblip 05}}", {pictures}},
        {"a picture whose data is damaged", "{\\rtf1 a{\\pict\\pngblip 0102}b}", {pictures}},
        {"a table, then a picture",
         "{\\rtf1\\trowd\\cellx1000\\pard\\intbl x\\cell\\row{\\pict\\wmetafile8 01}}",
         {QStringLiteral("tables"), pictures}},
        {"an embedded object", "{\\rtf1 a{\\object\\objemb{\\*\\objdata 0102}}b}",
         {QStringLiteral("embedded objects")}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QTextDocument doc;
        const Rtf::ReadResult result = Rtf::read(r.rtf, doc);
        ASSERT_TRUE(result.ok);
        EXPECT_EQ(result.lost, r.lost);
    }
}

TEST(RtfRead, APictureClaimingHugeSizeIsLeftOut)
{
    // A valid PNG header announcing 100000 x 100000 pixels, with no data behind it.
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tiny.save(&buffer, "PNG");
    // Width and height are the first two fields of the IHDR chunk (bytes 16 to 23).
    png[16] = 0; png[17] = 1; png[18] = char(0x86); png[19] = char(0xA0);
    png[20] = 0; png[21] = 1; png[22] = char(0x86); png[23] = char(0xA0);
    QTextDocument doc;
    ASSERT_TRUE(Rtf::read("{\\rtf1 a{\\pict\\pngblip " + png.toHex() + "}b}", doc).ok);
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("ab"));
}

TEST(RtfRead, EveryPrefixOfADocumentReadsWithoutHarm)
{
    QTextDocument sample;
    buildSample(sample);
    const QByteArray rtf = Rtf::write(sample);
    for (qsizetype n = 0; n <= rtf.size(); n += 7) {
        QTextDocument doc;
        const Rtf::ReadResult r = Rtf::read(rtf.left(n), doc);
        if (n >= 5) {
            ASSERT_TRUE(r.ok) << "at " << n << ": " << r.error.toStdString();
        }
    }
}

} // namespace
