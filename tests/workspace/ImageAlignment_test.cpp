// Reading the panorama tools' project lines and placing images by control points, on lines
// written here in the tools' forms.
#include "workspace/ImageAlignment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<TStitchObject> image(const QString& name, int x, int y, int border = 0)
{
    auto so = std::make_unique<TStitchObject>();
    so->filename = name;
    so->x = x;
    so->y = y;
    so->DropBorder = border;
    return so;
}

// Looks images up by exact name, as the window does for names it holds.
std::function<TStitchObject*(const QString&)> lookup(const std::vector<std::unique_ptr<TStitchObject>>& images)
{
    return [&images](const QString& name) -> TStitchObject* {
        for (const auto& so : images)
            if (so->filename == name)
                return so.get();
        return nullptr;
    };
}

QString imageLine(const QString& name)
{
    return QStringLiteral("i w1200 h400 f0 v=0 Ra=0 Eev0 r0 p0 y0 TrX0 Vm5 n\"") + name + QStringLiteral("\"");
}

QString cp(int n, int N, double x, double y, double X, double Y)
{
    return QStringLiteral("c n%1 N%2 x%3 y%4 X%5 Y%6 t0").arg(n).arg(N).arg(x, 0, 'f', 4).arg(y, 0, 'f', 4).arg(X, 0, 'f', 4).arg(Y, 0, 'f', 4);
}

} // namespace

TEST(ControlPointLine, FieldsAreReadWithoutTheirLetterAndRoundedHalvesToEven)
{
    const struct {
        const char* line;
        bool ok;
        ControlPointNumbers expected;
    } rows[] = {
        {"c n0 N1 x10.5 y20 X110.5 Y25 t0", true, {0, 1, 10, 20, 110, 25}},
        {"c n2 N3 x1.5 y-2.5 X3.49 Y3.51", true, {2, 3, 2, -2, 3, 4}},
        {"c  n0  N1 x1 y2 X3 Y4", true, {0, 1, 1, 2, 3, 4}},       // blanks repeated
        {"c n0 N1 x1,5 y2 X3 Y4 t0", false, {}},                    // comma is no decimal point here
        {"c n0 N1 x1 y2 X3", false, {}},                            // a field missing
        {"c n0 N1 x y2 X3 Y4", false, {}},                          // a letter without a number
        {"c n-1 N1 x1 y2 X3 Y4", false, {}},                        // no image -1
        {"cn n0 N1 x1 y2 X3 Y4", false, {}},                        // field 0 is not "c"
        {"c n0 N1 xnan y2 X3 Y4", false, {}},
        {"c n0 N1 x1e300 y2 X3 Y4", false, {}},                     // beyond any image
    };
    for (const auto& r : rows) {
        ControlPointNumbers n;
        ASSERT_EQ(ParseControlPointLine(QString::fromLatin1(r.line), n), r.ok) << r.line;
        if (!r.ok)
            continue;
        EXPECT_EQ(n.index1, r.expected.index1) << r.line;
        EXPECT_EQ(n.index2, r.expected.index2) << r.line;
        EXPECT_EQ(n.x1, r.expected.x1) << r.line;
        EXPECT_EQ(n.y1, r.expected.y1) << r.line;
        EXPECT_EQ(n.x2, r.expected.x2) << r.line;
        EXPECT_EQ(n.y2, r.expected.y2) << r.line;
    }
}

TEST(PTOLines, ImageNamesAndControlPointLinesAreTakenOthersIgnored)
{
    const QStringList lines{
        QStringLiteral("# hugin project file"),
        QStringLiteral("p f2 w3000 h1500 v360  k0 E0 R0 n\"TIFF_m c:LZW\""),
        imageLine(QStringLiteral("/data/cores/a.jpg")) + QStringLiteral("\r"),
        imageLine(QStringLiteral("sub/b with blanks.jpg")),
        QStringLiteral("i w10 h10"), // no name: the image keeps its number with an empty name
        QStringLiteral("c n0 N1 x1 y2 X3 Y4 t0"),
        QStringLiteral("v Ra1"),
        QStringLiteral("#hugin_ptoversion 2"),
    };
    const PTOContent c = ParsePTOLines(lines, QStringLiteral("/data/align"));
    EXPECT_EQ(c.images, (QStringList{QStringLiteral("/data/cores/a.jpg"), QStringLiteral("/data/align/sub/b with blanks.jpg"),
                                     QString()}));
    EXPECT_EQ(c.controlPoints, QStringList{QStringLiteral("c n0 N1 x1 y2 X3 Y4 t0")});
}

TEST(PTOLines, AFileIsReadAndAMissingOneSaysWhy)
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("out.pto")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write((imageLine(QStringLiteral("a.jpg")) + QStringLiteral("\n") + cp(0, 1, 1, 2, 3, 4) + QStringLiteral("\n")).toUtf8());
    f.close();
    PTOContent c;
    ASSERT_TRUE(ReadPTOFile(f.fileName(), c));
    EXPECT_EQ(c.images, QStringList{dir.filePath(QStringLiteral("a.jpg"))});
    EXPECT_EQ(c.controlPoints.size(), 1);
    QString error;
    EXPECT_FALSE(ReadPTOFile(dir.filePath(QStringLiteral("missing.pto")), c, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(PlaceImages, ThreeImagesInALineFollowTheirPartnerAndTheLeftmostEndsAtZero)
{
    std::vector<std::unique_ptr<TStitchObject>> images;
    images.push_back(image(QStringLiteral("/a.jpg"), 100, 50));
    images.push_back(image(QStringLiteral("/b.jpg"), 1300, 50));
    images.push_back(image(QStringLiteral("/c.jpg"), 2500, 50));
    PTOContent pto;
    pto.images = {QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg"), QStringLiteral("/c.jpg")};
    // b's pixel 0 is a's pixel 900 (two points averaging to exactly that, one row down);
    // c's pixel 0 is b's pixel 800, three rows up.
    pto.controlPoints = {cp(0, 1, 910, 10, 11, 9), cp(0, 1, 950, 30, 49, 29), cp(1, 2, 850, 20, 50, 23)};
    const std::vector<TControlPoint> points = MakeControlPoints(pto, lookup(images));
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].Pairing, 0);
    EXPECT_EQ(points[2].Pairing, 1);

    const AlignmentOutcome outcome = PlaceImages(images, points, 3);
    EXPECT_FALSE(outcome.warning);
    EXPECT_TRUE(outcome.moved);
    ASSERT_EQ(outcome.pairings.size(), 2u);
    EXPECT_EQ(outcome.pairings[0].Image1, images[0].get());
    EXPECT_EQ(outcome.pairings[0].Image2, images[1].get());
    EXPECT_EQ(outcome.pairings[0].ControlPoints, 2);
    EXPECT_EQ(outcome.pairings[1].Image1, images[1].get());
    EXPECT_EQ(outcome.pairings[1].Image2, images[2].get());
    // Before the shift: a (100, 50), b (1000, 51), c (1800, 48); then the top-left is the origin.
    EXPECT_EQ(QPoint(images[0]->x, images[0]->y), QPoint(0, 2));
    EXPECT_EQ(QPoint(images[1]->x, images[1]->y), QPoint(900, 3));
    EXPECT_EQ(QPoint(images[2]->x, images[2]->y), QPoint(1700, 0));
}

TEST(PlaceImages, RoundedPixelsGiveTheExpectedOffset)
{
    std::vector<std::unique_ptr<TStitchObject>> images;
    images.push_back(image(QStringLiteral("/0.jpg"), 0, 0));
    images.push_back(image(QStringLiteral("/1.jpg"), 777, 0));
    PTOContent pto;
    pto.images = {QStringLiteral("/0.jpg"), QStringLiteral("/1.jpg")};
    pto.controlPoints = {QStringLiteral("c n0 N1 x10.5 y20 X110.5 Y25 t0")};
    const auto points = MakeControlPoints(pto, lookup(images));
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].X1, 10);
    EXPECT_EQ(points[0].X2, 110);
    PlaceImages(images, points, 2);
    // Image 1 goes to image 0's place minus (100, 5); the shift then brings it to the origin.
    EXPECT_EQ(QPoint(images[0]->x, images[0]->y), QPoint(100, 5));
    EXPECT_EQ(QPoint(images[1]->x, images[1]->y), QPoint(0, 0));
}

TEST(PlaceImages, UnknownImagesAndReversedPairsAndBordersAreHandled)
{
    std::vector<std::unique_ptr<TStitchObject>> images;
    images.push_back(image(QStringLiteral("/a.jpg"), 0, 0, 5));
    images.push_back(image(QStringLiteral("/b.jpg"), 5000, 0, 0));
    PTOContent pto;
    pto.images = {QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg"), QStringLiteral("/elsewhere.jpg")};
    pto.controlPoints = {
        cp(1, 0, 10, 10, 510, 10), // as b to a: b's file pixel 10 is a's file pixel 510
        cp(0, 2, 1, 1, 2, 2),      // an image the window does not hold
        cp(0, 7, 1, 1, 2, 2),      // an image number the file does not list
        QStringLiteral("c n0 N1 x? y1 X1 Y1"),
    };
    const auto points = MakeControlPoints(pto, lookup(images));
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].SO1, images[0].get()) << "turned so the first image handed over comes first";
    const AlignmentOutcome outcome = PlaceImages(images, points, 2);
    EXPECT_FALSE(outcome.warning);
    // a shows its file from pixel 5 on: b's file pixel 10 lies at a's shown pixel 505.
    EXPECT_EQ(images[1]->x - images[0]->x, 495);
    EXPECT_EQ(images[1]->y - images[0]->y, -5);
}

TEST(PlaceImages, AnImageWithoutControlPointsStaysAndWarns)
{
    std::vector<std::unique_ptr<TStitchObject>> images;
    images.push_back(image(QStringLiteral("/a.jpg"), 0, 0));
    images.push_back(image(QStringLiteral("/b.jpg"), 1200, 0));
    images.push_back(image(QStringLiteral("/c.jpg"), 2400, 0));
    PTOContent pto;
    pto.images = {QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg"), QStringLiteral("/c.jpg")};
    pto.controlPoints = {cp(0, 1, 1000, 0, 0, 0)};
    const AlignmentOutcome outcome = PlaceImages(images, MakeControlPoints(pto, lookup(images)), 3);
    EXPECT_TRUE(outcome.warning);
    EXPECT_EQ(images[1]->x, 1000);
    EXPECT_EQ(images[2]->x, 2400);

    // No control points at all: nothing moves.
    const AlignmentOutcome none = PlaceImages(images, {}, 3);
    EXPECT_TRUE(none.warning);
    EXPECT_FALSE(none.moved);
    EXPECT_TRUE(none.pairings.empty());
    EXPECT_EQ(images[1]->x, 1000);

    // Only b and c match: c follows b, but b, the first image to place, has no partner.
    pto.controlPoints = {cp(1, 2, 1000, 0, 0, 0)};
    const AlignmentOutcome firstUnplaced = PlaceImages(images, MakeControlPoints(pto, lookup(images)), 3);
    EXPECT_TRUE(firstUnplaced.warning);
    EXPECT_EQ(images[2]->x - images[1]->x, 1000);
}

TEST(PlaceImages, PointsOnLookAlikeRingsDoNotPullTheImageAway)
{
    std::vector<std::unique_ptr<TStitchObject>> images;
    images.push_back(image(QStringLiteral("/a.jpg"), 0, 0));
    images.push_back(image(QStringLiteral("/b.jpg"), 2000, 0));
    PTOContent pto;
    pto.images = {QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg")};
    // Five points say b starts at a's pixel 700 (within a pixel), two paired rings 400 apart.
    pto.controlPoints = {cp(0, 1, 800, 10, 100, 10), cp(0, 1, 134, 28, 528, 229), cp(0, 1, 900, 50, 201, 50),
                         cp(0, 1, 750, 90, 50, 91), cp(0, 1, 320, 223, 724, 78), cp(0, 1, 960, 70, 260, 70),
                         cp(0, 1, 990, 30, 290, 29)};
    const AlignmentOutcome outcome = PlaceImages(images, MakeControlPoints(pto, lookup(images)), 2);
    ASSERT_EQ(outcome.pairings.size(), 1u);
    EXPECT_EQ(outcome.pairings[0].ControlPoints, 7);
    EXPECT_EQ(QPoint(images[1]->x, images[1]->y) - QPoint(images[0]->x, images[0]->y), QPoint(700, 0));
}
