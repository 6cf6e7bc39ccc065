// Project file .jex4: round trips through the writer and the reader, the exact document, embedded
// pictures across repeated saves, damaged and hostile files, missing images, failed saves and
// cancelled reads.
#include "project/ProjectXML.h"

#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "platform/Cp1252.h"
#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "support/PermissionsBind.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

FakeDialogs& fake()
{
    return static_cast<FakeDialogs&>(dialogs());
}

QByteArray readAll(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& fileName, const QByteArray& bytes)
{
    QFile f(fileName);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A 24-bit picture with detail in every channel, so JPEG has something to lose.
void fillPattern(TFastDIB& dib, int w, int h)
{
    dib.SetSize(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dib.Pixels24[y][x] = TFColor{quint8(x * 4 + y), quint8((x * y) & 0xFF), quint8(255 - y * 3)};
}

// Index of the first differing pixel as "row r, column c: a vs b", or empty when equal.
QString firstDifference(const TFastDIB& a, const TFastDIB& b)
{
    if (a.Info.Header.Width != b.Info.Header.Width || a.AbsHeight != b.AbsHeight)
        return QStringLiteral("sizes %1x%2 vs %3x%4").arg(a.Info.Header.Width).arg(a.AbsHeight).arg(b.Info.Header.Width).arg(b.AbsHeight);
    for (int y = 0; y < a.AbsHeight; ++y)
        for (int x = 0; x < a.Info.Header.Width; ++x) {
            const TFColor p = a.Pixels24[y][x];
            const TFColor q = b.Pixels24[y][x];
            if (p.b != q.b || p.g != q.g || p.r != q.r)
                return QStringLiteral("row %1, column %2: (%3,%4,%5) vs (%6,%7,%8)")
                    .arg(y).arg(x).arg(p.b).arg(p.g).arg(p.r).arg(q.b).arg(q.g).arg(q.r);
        }
    return QString();
}

// The Base64 text of each picture section, in document order.
QStringList pictureSections(const QByteArray& document)
{
    QStringList sections;
    static const QRegularExpression cdata(QStringLiteral("<!\\[CDATA\\[(.*?)\\]\\]>"),
                                          QRegularExpression::DotMatchesEverythingOption);
    for (auto it = cdata.globalMatch(QString::fromUtf8(document)); it.hasNext();)
        sections << it.next().captured(1);
    return sections;
}

std::unique_ptr<TFastDIB> decodeSection(const QString& base64)
{
    auto dib = std::make_unique<TFastDIB>();
    TFastJPG jpg;
    jpg.AttachImage(dib.get());
    const QByteArray jpeg = QByteArray::fromBase64(base64.toLatin1());
    EXPECT_EQ(jpg.LoadMem(reinterpret_cast<const quint8*>(jpeg.constData()), jpeg.size()), 0) << jpg.lastError().toStdString();
    return dib;
}

// Base64 of a small JPEG, for hand-written project files.
QByteArray jpegBase64(int w, int h)
{
    TFastDIB dib;
    fillPattern(dib, w, h);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(SaveJPGStream(&dib, &buffer, 90), 0);
    return jpeg.toBase64();
}

TPath* addPath(TF_SMDI& w, const QString& name, const QString& guid)
{
    auto p = std::make_unique<TPath>();
    p->Name = name;
    p->GUID = guid;
    w.PathList.push_back(std::move(p));
    return w.PathList.back().get();
}

TIndex* addIndex(TPath& path, QPoint pos, const QString& comment = {}, bool sapwood = false)
{
    auto index = std::make_unique<TIndex>();
    index->Pos = pos;
    index->Comment = comment;
    index->SapWood = sapwood;
    index->Path = &path;
    path.ObjectList.push_back(std::move(index));
    return path.ObjectList.back().get();
}

TMeasurement* addMeasurement(TIndex& index, QPoint pos, const QString& comment = {}, bool sapwood = false)
{
    auto m = std::make_unique<TMeasurement>();
    m->Pos = pos;
    m->Comment = comment;
    m->SapWood = sapwood;
    m->Path = index.Path;
    m->Index = &index;
    index.ObjectList.push_back(std::move(m));
    return index.ObjectList.back().get();
}

int pathIndexOf(const TF_SMDI& w, const TPath* p)
{
    for (size_t i = 0; i < w.PathList.size(); ++i)
        if (w.PathList[i].get() == p)
            return int(i);
    return -1;
}

class ProjectXMLTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
    }
    void TearDown() override
    {
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
        delete F_Progress.data();
    }

    QString file(const QString& name) const { return dir.filePath(name); }

    // A window as a user leaves it: without the empty path every new window starts with.
    std::unique_ptr<TF_SMDI> newWindow()
    {
        auto w = std::make_unique<TF_SMDI>();
        w->ClearData(true, true);
        return w;
    }

    // Two images (a file and an embedded picture whose file is gone), two paths with points,
    // sapwood and comments, arrows and rectangles on both paths, an anchor line, notes and a
    // resolution, with texts XML must escape and letters outside the ANSI code page.
    std::unique_ptr<TF_SMDI> fullProject()
    {
        auto w = newWindow();
        w->DPI = 2400;
        w->Project->Name = QStringLiteral("Core & <\"oak\"> Дуб");
        w->Project->Notes = QStringLiteral("{\\rtf1 caf\\'e9 notes}");
        SettingRALVisible = true;

        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(200, 150, 100));
        EXPECT_TRUE(picture.save(file(QStringLiteral("scan.png"))));
        auto onFile = std::make_unique<TStitchObject>();
        onFile->filename = file(QStringLiteral("scan.png"));
        onFile->x = 64;
        onFile->y = 1000;
        onFile->DropBorder = 2;
        onFile->Visible = true;
        w->StitchList.push_back(std::move(onFile));

        auto embedded = std::make_unique<TStitchObject>();
        embedded->filename = file(QStringLiteral("gone.jpg")); // no such file
        embedded->Embedded = true;
        embedded->Loaded = true;
        embedded->Visible = false;
        embedded->DropBorder = 7;
        fillPattern(*embedded->FD, 64, 48);
        embedded->Width = 64;
        embedded->Height = 48;
        w->StitchList.push_back(std::move(embedded));

        TPath* p1 = addPath(*w, QStringLiteral("Пробa & <1>"), QStringLiteral("{11111111-2222-3333-4444-555555555555}"));
        p1->Comment = QStringLiteral("said \"no\" & left\r\nsecond line\tend");
        p1->visible = true;
        p1->expanded = false;
        p1->Pith = true;
        TIndex* i1 = addIndex(*p1, {10, 20}, QStringLiteral("start"));
        addMeasurement(*i1, {30, 20}, QStringLiteral("late"), true);
        addMeasurement(*i1, {50, 21});
        TIndex* i2 = addIndex(*p1, {100, 22}, QString(), true);
        addMeasurement(*i2, {120, 22}, QStringLiteral("crack <x>"));

        TPath* p2 = addPath(*w, QStringLiteral("Second"), QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"));
        p2->visible = false;
        p2->expanded = true;
        TIndex* j1 = addIndex(*p2, {5, 5});
        addMeasurement(*j1, {15, 6}, QString(), true);

        auto arrow = std::make_unique<TArrow>();
        arrow->Name = QStringLiteral("Arrow & co");
        arrow->x1 = {1, 2};
        arrow->x2 = {-3, 40000};
        arrow->Color = 0x00FFFF;
        arrow->Width = 4;
        arrow->TipWidth = 12;
        arrow->BaseWidth = 9;
        arrow->TipType = 3;
        arrow->BaseType = 1;
        arrow->caption = QStringLiteral("крack \"here\"");
        arrow->Path = p1;
        w->DrawList.push_back(std::move(arrow));
        auto filled = std::make_unique<TRectangle>();
        filled->Name = QStringLiteral("Rectangle");
        filled->x1 = {7, 8};
        filled->x2 = {70, 80};
        filled->PColor = 0x0000FF;
        filled->BColor = 0x123456;
        filled->PWidth = 3;
        filled->Transparent = false;
        filled->Path = p2;
        w->DrawList.push_back(std::move(filled));
        auto hollow = std::make_unique<TRectangle>();
        hollow->Name = QStringLiteral("Hollow");
        hollow->x2 = {5, 5};
        hollow->Transparent = true;
        hollow->PWidth = 1;
        hollow->Path = p1;
        w->DrawList.push_back(std::move(hollow));

        auto anchor = std::make_unique<TAnchorPoint>();
        anchor->Pos = {3, 3};
        anchor->AnchorLine = w->AnchorLine.get();
        w->AnchorLine->AnchorPoints.push_back(std::move(anchor));

        for (const auto& p : w->PathList) {
            TF_Measurements::CountMeasurements(w.get(), p.get());
            RecomputeDistances(p.get());
        }
        w->CurrentPath = p2;
        w->setZoom(20);
        w->UpdateArea();
        w->SB_V->setValue(300);
        EXPECT_EQ(w->SB_V->value(), 300) << "the canvas must be tall enough to scroll";
        return w;
    }

    static void expectSamePoints(const TJEXObject& a, const TJEXObject& b)
    {
        EXPECT_EQ(a.Name, b.Name);
        EXPECT_EQ(a.Comment, b.Comment);
        EXPECT_EQ(a.Pos, b.Pos);
        EXPECT_EQ(a.SapWood, b.SapWood);
        EXPECT_DOUBLE_EQ(a.distance, b.distance) << a.Name.toStdString();
    }

    static void expectSameProject(const TF_SMDI& a, const TF_SMDI& b)
    {
        EXPECT_EQ(a.DPI, b.DPI);
        EXPECT_EQ(a.zoom(), b.zoom());
        EXPECT_EQ(a.Project->Name, b.Project->Name);
        EXPECT_EQ(a.Project->Notes, b.Project->Notes);
        ASSERT_EQ(a.StitchList.size(), b.StitchList.size());
        for (size_t i = 0; i < a.StitchList.size(); ++i) {
            const TStitchObject& p = *a.StitchList[i];
            const TStitchObject& q = *b.StitchList[i];
            EXPECT_EQ(p.filename, q.filename) << i;
            EXPECT_EQ(p.x, q.x) << i;
            EXPECT_EQ(p.y, q.y) << i;
            EXPECT_EQ(p.DropBorder, q.DropBorder) << i;
            EXPECT_EQ(p.Visible, q.Visible) << i;
            EXPECT_EQ(p.Embedded, q.Embedded) << i;
        }
        ASSERT_EQ(a.PathList.size(), b.PathList.size());
        for (size_t i = 0; i < a.PathList.size(); ++i) {
            const TPath& p = *a.PathList[i];
            const TPath& q = *b.PathList[i];
            EXPECT_EQ(p.Name, q.Name);
            EXPECT_EQ(p.Comment, q.Comment);
            EXPECT_EQ(p.visible, q.visible);
            EXPECT_EQ(p.expanded, q.expanded);
            EXPECT_EQ(p.Pith, q.Pith);
            EXPECT_EQ(p.GUID, q.GUID);
            ASSERT_EQ(p.ObjectList.size(), q.ObjectList.size());
            for (size_t j = 0; j < p.ObjectList.size(); ++j) {
                const TIndex& pi = *p.ObjectList[j];
                const TIndex& qi = *q.ObjectList[j];
                expectSamePoints(pi, qi);
                EXPECT_EQ(qi.Path.get(), &q);
                ASSERT_EQ(pi.ObjectList.size(), qi.ObjectList.size());
                for (size_t k = 0; k < pi.ObjectList.size(); ++k) {
                    expectSamePoints(*pi.ObjectList[k], *qi.ObjectList[k]);
                    EXPECT_EQ(qi.ObjectList[k]->Path.get(), &q);
                    EXPECT_EQ(qi.ObjectList[k]->Index.get(), &qi);
                }
            }
        }
        // The file keeps draw objects under their paths: they come back grouped by path.
        std::vector<const TDrawObject*> stored;
        for (const auto& path : a.PathList)
            for (const auto& object : a.DrawList)
                if (object->Path.get() == path.get())
                    stored.push_back(object.get());
        ASSERT_EQ(stored.size(), b.DrawList.size());
        for (size_t i = 0; i < stored.size(); ++i) {
            const TDrawObject& p = *stored[i];
            const TDrawObject& q = *b.DrawList[i];
            EXPECT_EQ(p.Name, q.Name);
            EXPECT_EQ(pathIndexOf(a, p.Path), pathIndexOf(b, q.Path)) << i;
            EXPECT_EQ(q.MDIForm.data(), &b);
            if (auto* pa = dynamic_cast<const TArrow*>(&p)) {
                auto* qa = dynamic_cast<const TArrow*>(&q);
                ASSERT_TRUE(qa) << i;
                EXPECT_EQ(pa->x1, qa->x1);
                EXPECT_EQ(pa->x2, qa->x2);
                EXPECT_EQ(pa->Color, qa->Color);
                EXPECT_EQ(pa->Width, qa->Width);
                EXPECT_EQ(pa->TipWidth, qa->TipWidth);
                EXPECT_EQ(pa->BaseWidth, qa->BaseWidth);
                EXPECT_EQ(pa->TipType, qa->TipType);
                EXPECT_EQ(pa->BaseType, qa->BaseType);
                EXPECT_EQ(pa->caption, qa->caption);
            } else {
                auto* pr = dynamic_cast<const TRectangle*>(&p);
                auto* qr = dynamic_cast<const TRectangle*>(&q);
                ASSERT_TRUE(pr && qr) << i;
                EXPECT_EQ(pr->x1, qr->x1);
                EXPECT_EQ(pr->x2, qr->x2);
                EXPECT_EQ(pr->PColor, qr->PColor);
                EXPECT_EQ(pr->BColor, qr->BColor);
                EXPECT_EQ(pr->PWidth, qr->PWidth);
                EXPECT_EQ(pr->Transparent, qr->Transparent);
            }
        }
    }

    QTemporaryDir dir;
};

// ---- round trips --------------------------------------------------------------------------------

TEST_F(ProjectXMLTest, SavedProjectReadsBackWithEveryStoredField)
{
    auto source = fullProject();
    const QString name = file(QStringLiteral("full.jex4"));
    source->Project->Changed = true;
    ASSERT_EQ(SaveProjectXML(source.get(), name, false), 0);
    EXPECT_FALSE(source->Project->Changed);

    SettingRALVisible = false;
    auto loaded = newWindow();
    QStringList notes;
    ASSERT_EQ(LoadProjectXML(loaded.get(), name, &notes), ProjectRead) << notes.join('\n').toStdString();
    EXPECT_TRUE(notes.isEmpty());
    EXPECT_TRUE(fake().shown().isEmpty()) << fake().shownTexts().join('\n').toStdString();

    expectSameProject(*source, *loaded);
    EXPECT_EQ(loaded->Project->Filename, name);
    EXPECT_TRUE(SettingRALVisible);
    EXPECT_EQ(loaded->SB_V->value(), 300);
    EXPECT_EQ(loaded->AnchorLine->Count(), 0) << "the anchor line is not part of the file";
    EXPECT_EQ(loaded->CurrentPath.get(), loaded->PathList.back().get());
    EXPECT_EQ(loaded->CurrentIndex.get(), loaded->PathList.back()->ObjectList.back().get());
    // The embedded picture came back with its size and without the drop border cut off.
    const TStitchObject& so = *loaded->StitchList[1];
    EXPECT_EQ(so.Width, 64);
    EXPECT_EQ(so.Height, 48);
    EXPECT_TRUE(so.Loaded);
}

TEST_F(ProjectXMLTest, WriterWritesTheDocumentInItsFixedForm)
{
    auto w = newWindow();
    w->Project->Name = QStringLiteral("P & Q");
    w->Project->Notes = QString::fromUtf8("{\\rtf1 caf\xC3\xA9}"); // é is 0xE9 in the ANSI code page
    SettingRALVisible = false;
    auto so = std::make_unique<TStitchObject>();
    so->filename = file(QStringLiteral("core.jpg"));
    so->x = 3;
    so->y = 4;
    so->DropBorder = 5;
    so->Visible = true;
    w->StitchList.push_back(std::move(so));
    TPath* p = addPath(*w, QStringLiteral("Path 1"), QStringLiteral("{0DDBA11C-0000-4000-8000-000000000001}"));
    p->expanded = false;
    TIndex* i = addIndex(*p, {10, 20});
    addMeasurement(*i, {13, 24}, QStringLiteral("<late>"), true);
    TF_Measurements::CountMeasurements(w.get(), p);
    RecomputeDistances(p);
    auto arrow = std::make_unique<TArrow>();
    arrow->Name = QStringLiteral("Arrow");
    arrow->x1 = {1, 2};
    arrow->x2 = {3, 4};
    arrow->Color = 65535;
    arrow->Width = 3;
    arrow->TipWidth = 10;
    arrow->BaseWidth = 10;
    arrow->TipType = 3;
    arrow->caption = QStringLiteral("a\"b");
    arrow->Path = p;
    w->DrawList.push_back(std::move(arrow));
    auto rect = std::make_unique<TRectangle>();
    rect->Name = QStringLiteral("Rectangle");
    rect->x1 = {5, 6};
    rect->x2 = {7, 8};
    rect->PColor = 255;
    rect->PWidth = 2;
    rect->Transparent = true;
    rect->Path = nullptr; // draw objects without a path are not stored
    w->DrawList.push_back(std::move(rect));

    const QString name = file(QStringLiteral("small.jex4"));
    ASSERT_EQ(SaveProjectXML(w.get(), name, false), 0);
    const QString expected =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                       "<JEX4><ProjectData Name=\"P &amp; Q\" Notes=\"e1xydGYxIGNhZul9\" Paths=\"1\" DPI=\"%1\" "
                       "Zoom=\"10\" CurXPos=\"0\" CurYPos=\"0\" RALVisible=\"false\" ImageCount=\"1\">"
                       "<Image Embedded=\"false\" FileName=\"%2\" XPos=\"3\" YPos=\"4\" DropBorder=\"5\" Visible=\"true\"/>"
                       "<Path Name=\"Path 1\" Comment=\"\" Visible=\"true\" Expanded=\"false\" Pith=\"false\" "
                       "GUID=\"{0DDBA11C-0000-4000-8000-000000000001}\">"
                       "<DrawObject Name=\"Arrow\" Type=\"1\" x1x=\"1\" x1y=\"2\" x2x=\"3\" x2y=\"4\" Color=\"65535\" "
                       "Width=\"3\" TipWidth=\"10\" BaseWidth=\"10\" TipType=\"3\" BaseType=\"0\" Caption=\"a&quot;b\"/>"
                       "<Index Name=\"Index 1\" Comment=\"\" XPOS=\"10\" YPOS=\"20\" Distance=\"0\" SW=\"false\">"
                       "<Measurement Name=\"M 1\" Comment=\"&lt;late&gt;\" XPOS=\"13\" YPOS=\"24\" Distance=\"5\" SW=\"true\"/>"
                       "</Index></Path></ProjectData></JEX4>\n")
            .arg(w->DPI)
            .arg(file(QStringLiteral("core.jpg")));
    EXPECT_EQ(QString::fromUtf8(readAll(name)), expected);
}

TEST_F(ProjectXMLTest, EmbeddedPictureSurvivesRepeatedSavesUnchanged)
{
    auto first = fullProject();
    const QString a = file(QStringLiteral("a.jex4"));
    const QString b = file(QStringLiteral("b.jex4"));
    ASSERT_EQ(SaveProjectXML(first.get(), a, false), 0);
    auto second = newWindow();
    ASSERT_EQ(LoadProjectXML(second.get(), a), ProjectRead);
    ASSERT_EQ(SaveProjectXML(second.get(), b, false), 0);
    auto third = newWindow();
    ASSERT_EQ(LoadProjectXML(third.get(), b), ProjectRead);

    const QStringList sa = pictureSections(readAll(a));
    const QStringList sb = pictureSections(readAll(b));
    ASSERT_EQ(sa.size(), 1) << "only the embedded image carries a picture";
    ASSERT_EQ(sb.size(), 1);
    auto pa = decodeSection(sa[0]);
    auto pb = decodeSection(sb[0]);
    EXPECT_EQ(firstDifference(*pa, *pb), QString());
    EXPECT_EQ(sa[0], sb[0]) << "the encoder is deterministic";
    // What the reader holds is exactly what the file holds.
    EXPECT_EQ(firstDifference(*second->StitchList[1]->FD, *pa), QString());
    EXPECT_EQ(firstDifference(*third->StitchList[1]->FD, *pa), QString());
    EXPECT_EQ(firstDifference(*third->StitchList[1]->FT, *pa), QString()) << "the tracker's copy";

    // Changed pixels are compressed anew, not replaced by the text they were read with.
    TFastDIB& fd = *third->StitchList[1]->FD;
    for (int y = 16; y < 32; ++y) // one whole row of 16 x 16 blocks
        for (int x = 0; x < 64; ++x)
            fd.Pixels24[y][x] = TFColor{0, 0, 0};
    const QString c = file(QStringLiteral("c.jex4"));
    ASSERT_EQ(SaveProjectXML(third.get(), c, false), 0);
    const QStringList sc = pictureSections(readAll(c));
    ASSERT_EQ(sc.size(), 1);
    EXPECT_NE(sc[0], sa[0]);
    auto pc = decodeSection(sc[0]);
    EXPECT_LT(pc->Pixels24[24][30].r, 20) << "the saved picture shows the change";
}

// Picture files and embedded pictures share one size limit (made small here): whatever the file
// road admits, embedded, reads back with its pixels; a gray file counts at the 24 bits it becomes.
TEST_F(ProjectXMLTest, PictureFilesAndEmbeddedPicturesShareOneSizeLimit)
{
    struct Limit {
        ~Limit() { SetMaxPictureBytes(0); }
    } restore;
    const int width = 40; // rows of 120 bytes
    SetMaxPictureBytes(120 * 30);
    struct Row {
        const char* name;
        int height;
        QImage::Format format;
        bool admitted;
    } rows[] = {
        {"colour at the limit", 30, QImage::Format_RGB32, true},
        {"colour one row over", 31, QImage::Format_RGB32, false},
        {"gray, a third of the limit at 8 bits", 30, QImage::Format_Grayscale8, true},
        {"gray, over the limit at 24 bits", 60, QImage::Format_Grayscale8, false},
    };
    SettingEmbedImages = true;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QImage picture(width, row.height, row.format);
        for (int y = 0; y < row.height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, row.format == QImage::Format_Grayscale8 ? qRgb(x * 6, x * 6, x * 6) : qRgb(x * 6, y * 4, 90));
        const QString png = file(QStringLiteral("limit.png"));
        ASSERT_TRUE(picture.save(png));

        TFastDIB read;
        std::optional<std::string> refused;
        try {
            EXPECT_EQ(LoadPictureToDIB(read, png), 0);
        } catch (const EInvalidGraphic& e) {
            refused = e.what();
        }
        EXPECT_EQ(!refused, row.admitted);
        if (!row.admitted) {
            EXPECT_NE(refused.value_or("").find("too large"), std::string::npos) << refused.value_or("");
            continue;
        }

        auto w = newWindow();
        auto so = std::make_unique<TStitchObject>();
        so->filename = png;
        so->DropBorder = 0;
        w->StitchList.push_back(std::move(so));
        w->ReloadImage(w->StitchList[0].get());
        ASSERT_EQ(w->StitchList[0]->FD->Info.Header.Width, width);
        const QString project = file(QStringLiteral("limit.jex4"));
        ASSERT_EQ(SaveProjectXML(w.get(), project, false), 0);
        ASSERT_TRUE(QFile::remove(png)) << "the pixels must come from the project";

        auto back = newWindow();
        QStringList notes;
        EXPECT_EQ(LoadProjectXML(back.get(), project, &notes), ProjectRead) << notes.join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(back->StitchList.size(), 1u);
        EXPECT_EQ(back->StitchList[0]->FD->Info.Header.Width, width);
        EXPECT_EQ(back->StitchList[0]->FD->AbsHeight, row.height);
    }
}

TEST_F(ProjectXMLTest, PictureSectionsAreTheToolkitsBase64OfTheJpeg)
{
    // Pictures of several sizes give JPEGs of every length modulo 3: each section must be exactly
    // what the toolkit's Base64 makes of the JPEG bytes.
    auto w = newWindow();
    for (int i = 1; i <= 6; ++i) {
        auto so = std::make_unique<TStitchObject>();
        so->x = i * 10;
        fillPattern(*so->FD, i, 2 * i + 1);
        so->Width = i;
        so->Height = 2 * i + 1;
        so->Loaded = true;
        so->Embedded = true;
        w->StitchList.push_back(std::move(so));
    }
    // And a picture of noise whose JPEG the encoder hands out in several pieces, each ending
    // anywhere in a group of three bytes.
    auto noisy = std::make_unique<TStitchObject>();
    noisy->FD->SetSize(800, 600, 24);
    quint32 seed = 3;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            seed = seed * 1664525u + 1013904223u;
            noisy->FD->Pixels24[y][x] = TFColor{quint8(seed >> 24), quint8(seed >> 16), quint8(seed >> 8)};
        }
    noisy->Width = 800;
    noisy->Height = 600;
    noisy->Loaded = true;
    noisy->Embedded = true;
    w->StitchList.push_back(std::move(noisy));
    const QString name = file(QStringLiteral("b64.jex4"));
    ASSERT_EQ(SaveProjectXML(w.get(), name, false), 0);
    const QStringList sections = pictureSections(readAll(name));
    ASSERT_EQ(sections.size(), 7);
    EXPECT_GT(sections.last().size(), 1 << 20);
    QSet<int> remainders;
    for (const QString& section : sections) {
        const QByteArray jpeg = QByteArray::fromBase64(section.toLatin1());
        remainders.insert(int(jpeg.size() % 3));
        EXPECT_EQ(section.toLatin1(), jpeg.toBase64());
    }
    EXPECT_EQ(remainders.size(), 3) << "every padding is tried";
}

TEST_F(ProjectXMLTest, PictureSectionsReadAlikeInEveryBase64Layout)
{
    // The JPEG with 0, 1 or 2 bytes after its end marker, so the text ends with no, two or one
    // padding letters; then laid out with line breaks, without padding, and damaged.
    TFastDIB dib;
    fillPattern(dib, 9, 7);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_EQ(SaveJPGStream(&dib, &buffer, 90), 0);
    auto expected = decodeSection(QString::fromLatin1(jpeg.toBase64()));
    for (int tail = 0; tail < 3; ++tail) {
        const QByteArray plain = (jpeg + QByteArray(tail, '\0')).toBase64();
        QByteArray broken = plain;
        broken[broken.size() / 2] = '*';
        QByteArray lines;
        for (qsizetype at = 0; at < plain.size(); at += 76)
            lines += plain.mid(at, 76) + "\r\n";
        QByteArray unpadded = plain;
        while (unpadded.endsWith('='))
            unpadded.chop(1);
        // Plain for its first hundred groups of four letters, and a multiple of four long.
        const QByteArray oneBreak = plain.left(400) + "\r\n" + plain.mid(400) + "\r\n";
        ASSERT_GT(plain.size(), 400);
        const struct {
            const char* name;
            QByteArray text;
            bool readable;
        } rows[] = {{"plain", plain, true},       {"line breaks", lines, true}, {"unpadded", unpadded, true},
                    {"one line break", oneBreak, true}, {"damaged", broken, false}};
        for (const auto& r : rows) {
            SCOPED_TRACE(testing::Message() << r.name << ", " << tail << " bytes after the end marker");
            auto w = newWindow();
            const QByteArray document = "<JEX4><ProjectData/><Image Embedded=\"true\" FileName=\"x.jpg\"><![CDATA[" + r.text
                                        + "]]></Image></JEX4>";
            QStringList notes;
            LoadProjectXMLData(w.get(), document, file(QStringLiteral("b64.jex4")), &notes);
            ASSERT_EQ(w->StitchList.size(), 1u);
            if (r.readable) {
                EXPECT_TRUE(notes.isEmpty()) << notes.join(QLatin1Char('\n')).toStdString();
                EXPECT_EQ(firstDifference(*w->StitchList[0]->FD, *expected), QString());
            } else {
                EXPECT_EQ(w->StitchList[0]->FD->Bits, nullptr);
                EXPECT_EQ(notes.size(), 1);
            }
            // Saved again: the same JPEG in our own layout, or a text that is no Base64 as it came.
            const QString again = file(QStringLiteral("again.jex4"));
            ASSERT_EQ(SaveProjectXML(w.get(), again, false), 0);
            const QStringList sections = pictureSections(readAll(again));
            ASSERT_EQ(sections.size(), 1);
            EXPECT_EQ(sections[0].toLatin1(), r.readable ? plain : r.text);
        }
    }
}

// The reader takes a picture section's text by memory search, in reads of ProjectReadChunk bytes:
// sections whose start, end or text straddle those reads give the same pixels.
TEST_F(ProjectXMLTest, PictureSectionsReadAcrossTheReadersBuffers)
{
    const QByteArray small = jpegBase64(9, 7);
    // A picture of noise whose text spans more than two reads.
    TFastDIB noise;
    noise.SetSize(1200, 800, 24);
    quint32 seed = 7;
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 1200; ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise.Pixels24[y][x] = TFColor{quint8(seed >> 24), quint8(seed >> 16), quint8(seed >> 8)};
        }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_EQ(SaveJPGStream(&noise, &buffer, 100), 0);
    const QByteArray large = jpeg.toBase64();
    ASSERT_GT(large.size(), 2 * ProjectReadChunk);

    const QByteArray head = "<JEX4><ProjectData Name=\"";
    const QByteArray tail = "\"/><Image Embedded=\"true\" FileName=\"x.jpg\">";
    const qint64 chunk = ProjectReadChunk;
    const struct {
        const char* name;
        const QByteArray& text;
        qint64 at; // where the section start "<![CDATA[" begins
    } rows[] = {
        {"start ends just before a read", small, chunk - 9},
        {"start cut after one letter", small, chunk - 1},
        {"start cut in the middle", small, chunk - 5},
        {"start at a read", small, chunk},
        {"end cut after one letter", small, chunk - 9 - small.size() - 1},
        {"end cut after two letters", small, chunk - 9 - small.size() - 2},
        {"end at a read", small, chunk - 9 - small.size()},
        {"text over three reads", large, 100},
        {"text over three reads, starting at a cut", large, chunk - 4},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const qint64 padding = r.at - head.size() - tail.size();
        ASSERT_GE(padding, 0);
        const QByteArray document = head + QByteArray(padding, 'n') + tail + "<![CDATA[" + r.text
                                    + "]]></Image><Path Name=\"after\"/></JEX4>";
        ASSERT_EQ(document.indexOf("<![CDATA["), r.at);
        auto w = newWindow();
        QStringList notes;
        EXPECT_EQ(LoadProjectXMLData(w.get(), document, file(QStringLiteral("cut.jex4")), &notes), ProjectRead)
            << notes.join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(w->StitchList.size(), 1u);
        EXPECT_EQ(firstDifference(*w->StitchList[0]->FD, *decodeSection(QString::fromLatin1(r.text))), QString());
        ASSERT_EQ(w->PathList.size(), 1u);
        EXPECT_EQ(w->PathList[0]->Name, QStringLiteral("after"));
        EXPECT_EQ(w->Project->Name.size(), padding);
    }
}

// Plain Base64 is taken without expat seeing it; the position of a later error is still the
// file's, as for text expat reads (here Base64 without its padding).
TEST_F(ProjectXMLTest, ErrorAfterAPictureNamesTheColumnInTheFile)
{
    QByteArray unpadded = jpegBase64(9, 7);
    ASSERT_TRUE(unpadded.endsWith('=')) << "the picture must need padding";
    QByteArray plain = unpadded;
    while (unpadded.endsWith('='))
        unpadded.chop(1);
    for (const QByteArray& text : {plain, unpadded}) {
        const QByteArray document = "<JEX4><Image Embedded=\"true\"><![CDATA[" + text + "]]></Image><Image Embedded=\"true\"><![CDATA["
                                    + text + "]]></Image><Path Name=\"x\"></JEX4>";
        auto w = newWindow();
        QStringList notes;
        EXPECT_EQ(LoadProjectXMLData(w.get(), document, file(QStringLiteral("bad.jex4")), &notes), ProjectReadFailed);
        // Expat points at the name of the end tag that does not match.
        const QString column = QStringLiteral("(line 1, column %1)").arg(document.lastIndexOf("JEX4>") + 1);
        EXPECT_TRUE(notes.join('\n').contains(column)) << notes.join('\n').toStdString() << " lacks " << column.toStdString();
    }
}

TEST_F(ProjectXMLTest, ManyImagesRefillTheTreeAtEachDoublingAndAtTheEnd)
{
    // 300 embedded pictures: every one of the first 64 shows in the tree as it is read, then the
    // tree follows 128 and 256 images, and the end. Refilled after every image, as it was, the
    // reading grew with the square of the images.
    auto w = newWindow();
    for (int i = 0; i < 300; ++i) {
        auto so = std::make_unique<TStitchObject>();
        so->x = i * 4;
        fillPattern(*so->FD, 4, 4);
        so->Width = so->Height = 4;
        so->Loaded = true;
        so->Embedded = true;
        w->StitchList.push_back(std::move(so));
    }
    const QString name = file(QStringLiteral("many.jex4"));
    ASSERT_EQ(SaveProjectXML(w.get(), name, false), 0);

    auto tool = std::make_unique<TF_Measurements>();
    F_Measurements = tool.get();
    struct Unbind {
        ~Unbind() { F_Measurements = nullptr; }
    } unbind;
    auto read = newWindow();
    QSignalSpy refills(tool->imageModel(), &QAbstractItemModel::modelReset);
    ASSERT_EQ(LoadProjectXML(read.get(), name), ProjectRead);
    EXPECT_EQ(refills.count(), 64 + 2 + 1);
    ASSERT_EQ(tool->imageModel()->rowCount(), 1);
    EXPECT_EQ(tool->imageModel()->rowCount(tool->imageModel()->index(0, 0)), 300) << "the tree ends with every image";
    EXPECT_EQ(read->StitchList.size(), 300u);
}

TEST_F(ProjectXMLTest, PixelsThatExistNowhereElseAreEmbeddedWithoutTheSetting)
{
    struct Row {
        const char* name;
        bool embeddedFlag;
        bool fileExists;
        bool settingOn;
        bool expectEmbedded;
    } rows[] = {
        {"file image, setting off", false, true, false, false},
        {"file image, setting on", false, true, true, true},
        {"pasted image without a file", false, false, false, true},
        {"image read from a project", true, true, false, true},
    };
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    ASSERT_TRUE(picture.save(file(QStringLiteral("there.png"))));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SettingEmbedImages = row.settingOn;
        auto w = newWindow();
        auto so = std::make_unique<TStitchObject>();
        so->filename = row.fileExists ? file(QStringLiteral("there.png")) : QString();
        so->Embedded = row.embeddedFlag;
        so->Loaded = true;
        fillPattern(*so->FD, 16, 8);
        w->StitchList.push_back(std::move(so));
        const QString name = file(QStringLiteral("embed.jex4"));
        ASSERT_EQ(SaveProjectXML(w.get(), name, false), 0);
        const QByteArray document = readAll(name);
        EXPECT_EQ(document.contains("Embedded=\"true\""), row.expectEmbedded);
        EXPECT_EQ(pictureSections(document).size(), row.expectEmbedded ? 1 : 0);
        EXPECT_EQ(w->StitchList[0]->Embedded, row.expectEmbedded);
    }
}

TEST_F(ProjectXMLTest, TextsXmlCannotCarryLoseOnlyTheBadCharacters)
{
    auto w = newWindow();
    TPath* p = addPath(*w, QStringLiteral("a") + QChar(0x01) + QStringLiteral("b") + QChar(0xD800) + QStringLiteral("c"),
                       QStringLiteral("{G}"));
    p->Comment = QStringLiteral("bell") + QChar(0x07) + QStringLiteral(" & emoji ") + QString::fromUtf8("\xF0\x9F\x8C\xB2");
    const QString name = file(QStringLiteral("odd.jex4"));
    ASSERT_EQ(SaveProjectXML(w.get(), name, false), 0);
    auto loaded = newWindow();
    ASSERT_EQ(LoadProjectXML(loaded.get(), name), ProjectRead);
    ASSERT_EQ(loaded->PathList.size(), 1u);
    EXPECT_EQ(loaded->PathList[0]->Name, QStringLiteral("abc"));
    EXPECT_EQ(loaded->PathList[0]->Comment, QStringLiteral("bell & emoji ") + QString::fromUtf8("\xF0\x9F\x8C\xB2"));
}

// ---- reading rules ------------------------------------------------------------------------------

TEST_F(ProjectXMLTest, ReaderFollowsTheElementRules)
{
    struct Row {
        const char* name;
        std::string document;
        std::function<void(TF_SMDI&)> check;
    } rows[] = {
        {"element names ignore case, attribute names do not",
         R"(<jex4><projectDATA DPI="300" dpi="5" Name="n" name="x"/>)"
         R"(<pAtH Name="a" name="b" Visible="tRuE" visible="false" Pith="yes" Expanded="1"/>)"
         R"(<INDEX XPOS="7" xpos="9" SW="-1"/><measurement XPOS="8" SW="FALSE"/><Measurement XPOS="9" SW="x"/></jex4>)",
         [](TF_SMDI& w) {
             EXPECT_EQ(w.DPI, 300);
             EXPECT_EQ(w.Project->Name, QStringLiteral("n"));
             ASSERT_EQ(w.PathList.size(), 1u);
             const TPath& p = *w.PathList[0];
             EXPECT_EQ(p.Name, QStringLiteral("a"));
             EXPECT_TRUE(p.visible);
             EXPECT_FALSE(p.Pith) << "only TRUE is true";
             EXPECT_FALSE(p.expanded);
             ASSERT_EQ(p.ObjectList.size(), 1u);
             EXPECT_EQ(p.ObjectList[0]->Pos, QPoint(7, 0));
             EXPECT_TRUE(p.ObjectList[0]->SapWood) << "SW takes numbers";
             ASSERT_EQ(p.ObjectList[0]->ObjectList.size(), 2u);
             EXPECT_FALSE(p.ObjectList[0]->ObjectList[0]->SapWood);
             EXPECT_FALSE(p.ObjectList[0]->ObjectList[1]->SapWood);
         }},
        {"points and pictures out of place are ignored; draw objects before a path have none",
         R"(<JEX4><DrawObject Type="1" Name="free"/><Index XPOS="1"/><Measurement XPOS="2"/><![CDATA[AAAA]]>)"
         R"(<DrawObject Type="7"/><DrawObject Name="untyped"/>)"
         R"(<Path Name="p1"/><Index XPOS="3"/><Measurement XPOS="4"/><Path Name="p2"/><Measurement XPOS="5"/></JEX4>)",
         [](TF_SMDI& w) {
             ASSERT_EQ(w.DrawList.size(), 1u);
             EXPECT_EQ(w.DrawList[0]->Name, QStringLiteral("free"));
             EXPECT_EQ(w.DrawList[0]->Path.get(), nullptr);
             EXPECT_TRUE(w.StitchList.empty());
             ASSERT_EQ(w.PathList.size(), 2u);
             ASSERT_EQ(w.PathList[0]->ObjectList.size(), 1u);
             EXPECT_EQ(w.PathList[0]->ObjectList[0]->ObjectList.size(), 1u)
                 << "the measurement after the second path must not join the first";
             EXPECT_TRUE(w.PathList[1]->ObjectList.empty());
             EXPECT_EQ(w.CurrentPath.get(), w.PathList[1].get());
             EXPECT_EQ(w.CurrentIndex.get(), nullptr);
         }},
        {"absent attributes take their defaults",
         R"(<JEX4><ProjectData/><Image Embedded="TRUE"><![CDATA[)" + jpegBase64(6, 4).toStdString()
             + R"(]]></Image><Path/><Index/><Measurement/><DrawObject Type="1"/><DrawObject Type="2"/></JEX4>)",
         [](TF_SMDI& w) {
             EXPECT_EQ(w.DPI, 1200);
             EXPECT_EQ(w.zoom(), 10);
             ASSERT_EQ(w.StitchList.size(), 1u);
             EXPECT_EQ(w.StitchList[0]->DropBorder, 5);
             EXPECT_FALSE(w.StitchList[0]->Visible);
             EXPECT_EQ(w.StitchList[0]->Width, 6) << "embedded pictures are not cropped";
             ASSERT_EQ(w.PathList.size(), 1u);
             EXPECT_EQ(w.PathList[0]->Name, QString());
             EXPECT_FALSE(w.PathList[0]->visible);
             EXPECT_EQ(w.PathList[0]->GUID.size(), 38);
             ASSERT_EQ(w.DrawList.size(), 2u);
             auto* a = dynamic_cast<TArrow*>(w.DrawList[0].get());
             ASSERT_TRUE(a);
             EXPECT_EQ(a->Width, 3);
             EXPECT_EQ(a->TipWidth, 10);
             EXPECT_EQ(a->BaseWidth, 10);
             auto* r = dynamic_cast<TRectangle*>(w.DrawList[1].get());
             ASSERT_TRUE(r);
             EXPECT_EQ(r->PWidth, 1);
             EXPECT_FALSE(r->Transparent);
         }},
        {"names are renumbered and widths recomputed from the positions",
         R"(<JEX4><Path Name="p"><Index Name="zz" XPOS="0" Distance="99"><Measurement Name="q" XPOS="3" YPOS="4" Distance="1"/>)"
         R"(<Measurement Name="r" XPOS="3" YPOS="10"/></Index><Index Name="y" XPOS="3" YPOS="22"/></Path></JEX4>)",
         [](TF_SMDI& w) {
             ASSERT_EQ(w.PathList.size(), 1u);
             const TPath& p = *w.PathList[0];
             ASSERT_EQ(p.ObjectList.size(), 2u);
             EXPECT_EQ(p.ObjectList[0]->Name, QStringLiteral("Index 1"));
             EXPECT_EQ(p.ObjectList[1]->Name, QStringLiteral("Index 2"));
             EXPECT_EQ(p.ObjectList[0]->ObjectList[1]->Name, QStringLiteral("M 2"));
             EXPECT_EQ(p.ObjectList[0]->distance, 0.0);
             EXPECT_DOUBLE_EQ(p.ObjectList[0]->ObjectList[0]->distance, 5.0);
             EXPECT_DOUBLE_EQ(p.ObjectList[0]->ObjectList[1]->distance, 6.0);
             EXPECT_DOUBLE_EQ(p.ObjectList[1]->distance, 12.0);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto w = newWindow();
        QStringList notes;
        EXPECT_EQ(LoadProjectXMLData(w.get(), QByteArray(row.document.c_str()), file(QStringLiteral("rules.jex4")), &notes),
                  ProjectRead)
            << notes.join('\n').toStdString();
        row.check(*w);
    }
}

// ---- damaged and hostile files ------------------------------------------------------------------

TEST_F(ProjectXMLTest, DamagedFilesFailOrLoadWhatIsSoundAndSaySo)
{
    const std::string jpeg = jpegBase64(8, 6).toStdString();
    const QByteArray jpegBytes = QByteArray::fromBase64(QByteArray::fromStdString(jpeg));
    // A sound project saved by the writer, to cut short.
    auto sound = fullProject();
    ASSERT_EQ(SaveProjectXML(sound.get(), file(QStringLiteral("sound.jex4")), false), 0);
    const QByteArray soundBytes = readAll(file(QStringLiteral("sound.jex4")));
    // Ten levels of ten references each: 10^10 characters when expanded.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE JEX4 [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        std::string refs;
        for (int i = 0; i < 10; ++i)
            refs += std::string("&") + char(c - 1) + ";";
        laughs += std::string("<!ENTITY ") + c + " \"" + refs + "\">";
    }
    laughs += "]><JEX4><ProjectData Name=\"&j;\"/></JEX4>";
    // Attribute defaults: every element without the attribute would get a copy of the text.
    const std::string defaults = "<!DOCTYPE JEX4 [<!ATTLIST Path Name CDATA \"" + std::string(100000, 'x') + "\">]><JEX4>"
        + [] { std::string paths; for (int i = 0; i < 2000; ++i) paths += "<Path/>"; return paths; }() + "</JEX4>";
    std::string deep = "<JEX4>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    deep += "<Path Name=\"deep\"/></JEX4>";

    struct Row {
        const char* name;
        std::optional<QByteArray> content; // none: no file at all
        int expected;
        const char* noteMentions;
        std::function<void(TF_SMDI&)> check;
    } rows[] = {
        {"missing file", std::nullopt, ProjectReadFailed, "does not exist", nullptr},
        {"empty file", QByteArray(), ProjectReadFailed, "well-formed", nullptr},
        {"truncated", soundBytes.left(soundBytes.size() / 2), ProjectReadFailed, "well-formed", nullptr},
        {"malformed XML", QByteArray(R"(<JEX4><ProjectData DPI="300"><Path Name="x"></JEX4>)"), ProjectReadFailed,
         "mismatched tag", nullptr},
        {"another document", QByteArray(R"(<html><Path Name="x"/></html>)"), ProjectReadFailed, "not a JEX4", nullptr},
        {"entity expansion", QByteArray::fromStdString(laughs), ProjectReadFailed, "entities", nullptr},
        {"attribute defaults", QByteArray::fromStdString(defaults), ProjectReadFailed, "document type", nullptr},
        {"harmless document type", QByteArray(R"(<?xml version="1.0"?><!DOCTYPE JEX4><JEX4><Path Name="p"/></JEX4>)"),
         ProjectReadFailed, "document type", nullptr},
        {"binary garbage", QByteArray("\x00\xFF\xFE<J\x01", 6), ProjectReadFailed, "well-formed", nullptr},
        {"huge numbers", QByteArray(R"(<JEX4><ProjectData DPI="99999999999"/><Path Name="p"><Index XPOS="1e9" YPOS="-2147483649"/></Path></JEX4>)"),
         ProjectReadDamaged, "XPOS",
         [](TF_SMDI& w) {
             EXPECT_EQ(w.DPI, 1200);
             ASSERT_EQ(w.PathList.size(), 1u);
             ASSERT_EQ(w.PathList[0]->ObjectList.size(), 1u);
             EXPECT_EQ(w.PathList[0]->ObjectList[0]->Pos, QPoint(0, 0));
         }},
        {"bad Base64", QByteArray(R"(<JEX4><Image Embedded="true" FileName="x.jpg"><![CDATA[/9j/4AAQ*!!]]></Image><Path Name="kept"/></JEX4>)"),
         ProjectReadDamaged, "Base64",
         [](TF_SMDI& w) {
             ASSERT_EQ(w.StitchList.size(), 1u) << "the image is kept";
             EXPECT_TRUE(w.StitchList[0]->Embedded);
             EXPECT_EQ(w.StitchList[0]->Width, 0);
             EXPECT_EQ(w.PathList.size(), 1u);
         }},
        {"broken JPEG", QByteArray(R"(<JEX4><Image Embedded="true"><![CDATA[)") + QByteArray("not a picture").toBase64() + "]]></Image></JEX4>",
         ProjectReadDamaged, "JPEG",
         [](TF_SMDI& w) {
             ASSERT_EQ(w.StitchList.size(), 1u);
             EXPECT_EQ(w.StitchList[0]->Width, 0);
         }},
        {"truncated JPEG", QByteArray(R"(<JEX4><Image Embedded="true"><![CDATA[)") + jpegBytes.left(jpegBytes.size() / 2).toBase64() + "]]></Image></JEX4>",
         ProjectReadDamaged, "JPEG",
         [](TF_SMDI& w) { ASSERT_EQ(w.StitchList.size(), 1u); }},
        {"section start in a comment", QByteArray(R"(<JEX4><Image Embedded="true" FileName="x.jpg"><!--<![CDATA[)") + QByteArray::fromStdString(jpeg)
                                           + "]]>--></Image><Path Name=\"kept\"/></JEX4>",
         ProjectReadDamaged, "holds no picture",
         [](TF_SMDI& w) {
             ASSERT_EQ(w.StitchList.size(), 1u);
             EXPECT_EQ(w.StitchList[0]->Width, 0);
             EXPECT_EQ(w.PathList.size(), 1u);
         }},
        {"embedded without a picture", QByteArray(R"(<JEX4><Image Embedded="true" FileName="lost.jpg"/></JEX4>)"),
         ProjectReadDamaged, "holds no picture",
         [](TF_SMDI& w) { ASSERT_EQ(w.StitchList.size(), 1u); }},
        {"bad notes", QByteArray(R"(<JEX4><ProjectData Name="n" Notes="@@@"/></JEX4>)"), ProjectReadDamaged, "notes",
         [](TF_SMDI& w) {
             EXPECT_EQ(w.Project->Name, QStringLiteral("n"));
             EXPECT_EQ(w.Project->Notes, QString());
         }},
        {"negative drop border", QByteArray(R"(<JEX4><Image Embedded="true" DropBorder="-3"><![CDATA[)") + QByteArray::fromStdString(jpeg) + "]]></Image></JEX4>",
         ProjectReadDamaged, "drop border",
         [](TF_SMDI& w) {
             ASSERT_EQ(w.StitchList.size(), 1u);
             EXPECT_EQ(w.StitchList[0]->DropBorder, 0);
             EXPECT_EQ(w.StitchList[0]->Width, 8);
         }},
        {"0 dpi", QByteArray(R"(<JEX4><ProjectData DPI="0"/></JEX4>)"), ProjectRead, nullptr,
         [](TF_SMDI& w) { EXPECT_EQ(w.DPI, 1200); }},
        {"negative dpi", QByteArray(R"(<JEX4><ProjectData DPI="-300"/></JEX4>)"), ProjectRead, nullptr,
         [](TF_SMDI& w) { EXPECT_EQ(w.DPI, 1200); }},
        {"deep nesting", QByteArray::fromStdString(deep), ProjectRead, nullptr,
         [](TF_SMDI& w) {
             ASSERT_EQ(w.PathList.size(), 1u);
             EXPECT_EQ(w.PathList[0]->Name, QStringLiteral("deep"));
         }},
    };

    const QString name = file(QStringLiteral("damaged.jex4"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(name);
        if (row.content) {
            ASSERT_TRUE(writeAll(name, *row.content));
        }
        TF_ErrorLog::ClearLog();
        setDialogs(std::make_unique<FakeDialogs>());
        auto w = newWindow();
        QStringList notes;
        const int result = LoadProjectXML(w.get(), name, &notes);
        EXPECT_EQ(result, row.expected) << notes.join('\n').toStdString();
        if (row.noteMentions) {
            EXPECT_TRUE(notes.join('\n').contains(QLatin1String(row.noteMentions), Qt::CaseInsensitive))
                << notes.join('\n').toStdString();
        }
        EXPECT_EQ(readAll(name), row.content ? *row.content : QByteArray("<missing>")) << "the reader never writes";

        const auto& log = TF_ErrorLog::Entries();
        const QStringList boxes = fake().shownTexts();
        if (result == ProjectReadFailed) {
            EXPECT_TRUE(w->StitchList.empty());
            EXPECT_TRUE(w->PathList.empty());
            EXPECT_TRUE(w->DrawList.empty());
            EXPECT_EQ(w->Project->Filename, QString()) << "a failed window does not bear the file's name";
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("The project file ") + name + QStringLiteral(" could not be read.")))
                << boxes[0].toStdString();
            EXPECT_EQ(fake().shown()[0].type, mtError);
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.front()->AType, 0);
        } else if (result == ProjectReadDamaged) {
            EXPECT_EQ(w->Project->Filename, name);
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_TRUE(boxes[0].contains(QLatin1String("is damaged"))) << boxes[0].toStdString();
            EXPECT_EQ(fake().shown()[0].type, mtWarning);
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.front()->AType, 3);
        } else {
            EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
        }
        if (row.check && result >= 0)
            row.check(*w);
    }
}

TEST_F(ProjectXMLTest, ResolutionOfZeroIsLoggedAsReadAs1200)
{
    auto w = newWindow();
    ASSERT_EQ(LoadProjectXMLData(w.get(), R"(<JEX4><ProjectData DPI="0"/></JEX4>)", file(QStringLiteral("dpi.jex4"))),
              ProjectRead);
    EXPECT_EQ(w->DPI, 1200);
    ASSERT_EQ(TF_ErrorLog::Entries().size(), 1u);
    EXPECT_TRUE(TF_ErrorLog::Entries()[0]->AMessage.contains(QLatin1String("0 dpi was read as 1200 dpi")))
        << TF_ErrorLog::Entries()[0]->AMessage.toStdString();
}

TEST_F(ProjectXMLTest, DropBorderIsClampedToThePicture)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::white);
    ASSERT_TRUE(picture.save(file(QStringLiteral("small.png"))));
    struct Row {
        int stored;
        int expected;
    } rows[] = {{5, 5}, {14, 14}, {15, 14}, {100000, 14}, {-1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        setDialogs(std::make_unique<FakeDialogs>());
        auto w = newWindow();
        const QByteArray document = QStringLiteral("<JEX4><Image FileName=\"%1\" DropBorder=\"%2\"/></JEX4>")
                                        .arg(file(QStringLiteral("small.png")))
                                        .arg(row.stored)
                                        .toUtf8();
        const int result = LoadProjectXMLData(w.get(), document, file(QStringLiteral("b.jex4")));
        EXPECT_EQ(result, row.stored == row.expected ? ProjectRead : ProjectReadDamaged);
        ASSERT_EQ(w->StitchList.size(), 1u);
        EXPECT_EQ(w->StitchList[0]->DropBorder, row.expected);
    }
}

// ---- missing images -----------------------------------------------------------------------------

class MissingImageTest : public ProjectXMLTest {
protected:
    // Two images named in a folder that no longer exists, then a path.
    QByteArray document(bool firstEmbedded) const
    {
        return QStringLiteral("<JEX4><Image Embedded=\"%1\" FileName=\"/old/place/a.png\">%2</Image>"
                              "<Image FileName=\"/old/place/b.png\"/><Path Name=\"kept\"><Index XPOS=\"4\"/></Path></JEX4>")
            .arg(firstEmbedded ? QStringLiteral("true") : QStringLiteral("false"),
                 firstEmbedded ? QStringLiteral("<![CDATA[") + QString::fromLatin1(jpegBase64(4, 4)) + QStringLiteral("]]>") : QString())
            .toUtf8();
    }
    const QString prompt = QStringLiteral("Can\u00B4t locate image \r\n/old/place/%1\r\n\r\nDo you want to search for the image now?");
};

TEST_F(MissingImageTest, NoSkipsTheImageAndKeepsThePoints)
{
    fake().answerMessage(mrNo);
    fake().answerMessage(mrNo);
    auto w = newWindow();
    ASSERT_EQ(LoadProjectXMLData(w.get(), document(false), file(QStringLiteral("p.jex4"))), ProjectRead);
    EXPECT_EQ(fake().shownTexts(), (QStringList{prompt.arg(QStringLiteral("a.png")), prompt.arg(QStringLiteral("b.png"))}));
    EXPECT_EQ(fake().shown()[0].buttons, mbYesNoCancel);
    EXPECT_TRUE(w->StitchList.empty());
    ASSERT_EQ(w->PathList.size(), 1u);
    EXPECT_EQ(w->PathList[0]->ObjectList.size(), 1u);
    EXPECT_FALSE(w->Project->Changed);
}

TEST_F(MissingImageTest, LocatedFolderIsRememberedForTheNextImage)
{
    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString moved = dir.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().mkpath(moved));
    ASSERT_TRUE(picture.save(moved + QStringLiteral("/a.png")));
    ASSERT_TRUE(picture.save(moved + QStringLiteral("/b.png")));
    fake().answerMessage(mrYes);
    fake().answerFile(moved + QStringLiteral("/a.png"));
    auto w = newWindow();
    ASSERT_EQ(LoadProjectXMLData(w.get(), document(false), file(QStringLiteral("p.jex4"))), ProjectRead);

    ASSERT_EQ(fake().shown().size(), 2) << "one prompt and one file dialog";
    const FileDialogRequest& request = fake().shown()[1].request;
    EXPECT_EQ(request.title, QStringLiteral("Locate image"));
    EXPECT_EQ(request.fileName, QStringLiteral("a.png"));
    EXPECT_EQ(request.initialDir, dir.path());
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(w->StitchList[0]->filename, moved + QStringLiteral("/a.png"));
    EXPECT_EQ(w->StitchList[1]->filename, moved + QStringLiteral("/b.png"));
    EXPECT_TRUE(w->Project->Changed);
}

TEST_F(MissingImageTest, EmbeddedImageNeedsNoFileAndCancelKeepsWhatWasRead)
{
    fake().answerMessage(mrCancel); // at the second, file-referenced image
    auto w = newWindow();
    EXPECT_EQ(LoadProjectXMLData(w.get(), document(true), file(QStringLiteral("p.jex4"))), ProjectCancelled);
    EXPECT_EQ(fake().shownTexts(), QStringList{prompt.arg(QStringLiteral("b.png"))});
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList[0]->Width, 4);
    EXPECT_TRUE(w->PathList.empty()) << "reading stopped at the cancel";
}

// ---- cancel and closing during a read -----------------------------------------------------------

TEST_F(ProjectXMLTest, CancelInTheProgressBoxStopsAtTheNextStep)
{
    SettingEmbedImages = true;
    auto source = fullProject();
    const QString name = file(QStringLiteral("three.jex4"));
    auto third = std::make_unique<TStitchObject>();
    fillPattern(*third->FD, 8, 8);
    third->Loaded = true;
    source->StitchList.push_back(std::move(third));
    ASSERT_EQ(SaveProjectXML(source.get(), name, false), 0);

    F_Progress = new TF_Progress;
    QObject::connect(F_Progress->PB, &QProgressBar::valueChanged, [](int value) {
        if (value == 2)
            F_Progress->Tag = TF_Progress::TagCancelled; // pressed while the second image loads
    });
    auto w = newWindow();
    EXPECT_EQ(LoadProjectXML(w.get(), name), ProjectCancelled);
    EXPECT_EQ(w->StitchList.size(), 1u);
    EXPECT_TRUE(w->PathList.empty());
    EXPECT_TRUE(fake().shown().isEmpty());
    EXPECT_EQ(F_Progress->L_1->text(), QStringLiteral("Loading project ") + ShortenText(name, 50));
}

TEST_F(ProjectXMLTest, WindowClosedWhileReadingEndsTheReadSafely)
{
    SettingEmbedImages = true;
    auto source = fullProject();
    const QString name = file(QStringLiteral("closing.jex4"));
    ASSERT_EQ(SaveProjectXML(source.get(), name, false), 0);

    F_Progress = new TF_Progress;
    auto* w = newWindow().release();
    QPointer<TF_SMDI> watch(w);
    QObject::connect(F_Progress->PB, &QProgressBar::valueChanged, w, [w](int value) {
        if (value == 1)
            delete w;
    });
    EXPECT_EQ(LoadProjectXML(w, name), ProjectCancelled);
    EXPECT_TRUE(watch.isNull());
}

// ---- failed saves -------------------------------------------------------------------------------

TEST_F(ProjectXMLTest, FailedSaveKeepsTheOldFileAndTellsWhy)
{
    struct Row {
        const char* name;
        QString target;
        bool wideImage; // wider than JPEG can hold, to embed
        bool readOnlyFolder;
        const char* boxMentions;
    } rows[] = {
        {"folder missing", file(QStringLiteral("no/such/folder/p.jex4")), false, false, "write permissions"},
        {"target is a folder", dir.path(), false, false, "An error occured while saving to"},
        {"picture cannot be embedded", file(QStringLiteral("old.jex4")), true, false, "at most 65500 pixels wide and high"},
        {"read-only folder", file(QStringLiteral("old.jex4")), false, true, "Permission denied"},
    };
    const QByteArray old("<JEX4>old content</JEX4>");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setDialogs(std::make_unique<FakeDialogs>());
        ASSERT_TRUE(writeAll(file(QStringLiteral("old.jex4")), old));
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);
        SettingEmbedImages = row.wideImage;
        auto w = newWindow();
        if (row.wideImage) {
            auto so = std::make_unique<TStitchObject>();
            so->FD->SetSize(70000, 1, 24);
            so->Loaded = true;
            w->StitchList.push_back(std::move(so));
        }
        w->Project->Changed = true;
        int rc = 0;
        if (row.readOnlyFolder) {
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            testhelpers::PermissionsBind bind; // as root too
            ASSERT_TRUE(bind.active());
            rc = SaveProjectXML(w.get(), row.target, false);
        } else {
            rc = SaveProjectXML(w.get(), row.target, false);
        }
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(rc, -1);
        EXPECT_TRUE(w->Project->Changed);
        EXPECT_EQ(readAll(file(QStringLiteral("old.jex4"))), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before) << "no file left behind";
        if (row.wideImage) {
            EXPECT_FALSE(w->StitchList[0]->Embedded) << "found before anything was written";
        }
        ASSERT_EQ(fake().shownTexts().size(), 1);
        EXPECT_TRUE(fake().shownTexts()[0].contains(QLatin1String(row.boxMentions))) << fake().shownTexts()[0].toStdString();
    }
}

TEST(IsTrueText, OnlyTrueInAnyCase)
{
    struct Row {
        const char* text;
        bool expected;
    } rows[] = {{"TRUE", true}, {"true", true}, {"tRuE", true}, {"True ", false}, {"1", false}, {"", false}, {"yes", false}};
    for (const Row& row : rows)
        EXPECT_EQ(IsTrueText(QString::fromLatin1(row.text)), row.expected) << row.text;
}

} // namespace
