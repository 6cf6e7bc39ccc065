// Images entering an image window: single files of every format, lists stitched in four
// directions, drops, scanner bitmaps, failed decodes, saving, the image-list queries, the
// orientation dialog and the clipboard.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "samples/SampleCore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SelectOrientation.h"

#include "support/ImageWindowTest.h"
#include "support/ModalDialogs.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using testhelpers::fdPixel;
using testhelpers::patterned;
using testhelpers::whenShown;

// FD equals `img` from (ox, oy) on, pixel for pixel; the first difference is named.
::testing::AssertionResult showsPicture(const TFastDIB& fd, const QImage& img, int ox = 0, int oy = 0)
{
    if (fd.Info.Header.BitCount != 24)
        return ::testing::AssertionFailure() << "depth " << fd.Info.Header.BitCount;
    for (int y = 0; y < fd.AbsHeight; ++y)
        for (int x = 0; x < fd.Info.Header.Width; ++x) {
            const QRgb got = fdPixel(fd, x, y), want = img.pixel(x + ox, y + oy) | 0xFF000000u;
            if (got != want)
                return ::testing::AssertionFailure() << "first difference at (" << x << ", " << y << "): got " << std::hex
                                                     << got << ", expected " << want;
        }
    return ::testing::AssertionSuccess();
}

void chooseOrientation(QRadioButton* TF_SelectOrientation::*button)
{
    whenShown<TF_SelectOrientation>([button](TF_SelectOrientation* d) {
        QTest::mouseClick(d->*button, Qt::LeftButton);
        QTest::mouseClick(d->B_Ok, Qt::LeftButton);
    });
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The shown window with a progress box as well; windows the test opened and the orientation
// dialog go at the end, and the clipboard is emptied.
class Images : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        progress = new TF_Progress;
        F_Progress = progress;
        ImageWindowTest::SetUp();
    }
    void TearDown() override
    {
        delete w.data();
        for (TF_SMDI* other : ImageWindows())
            delete other;
        delete F_SelectOrientation.data();
        delete progress.data();
        ImageWindowTest::TearDown();
        QGuiApplication::clipboard()->clear();
    }

    // Collects the progress box's second line each time the bar moves on from zero.
    void recordProgressLines(QStringList& lines)
    {
        QObject::connect(progress->PB, &QProgressBar::valueChanged, progress, [this, &lines](int value) {
            if (value > 0)
                lines << progress->L_2->text();
        });
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    QString save(const QString& name, const QImage& img, const char* format = nullptr, int quality = -1)
    {
        const QString p = path(name);
        EXPECT_TRUE(img.save(p, format, quality)) << name.toStdString();
        return p;
    }

    QString writeBytes(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    QByteArray readBytes(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // An image of the window with pixels, as if read from `file`.
    TStitchObject* addImage(TF_SMDI& win, const QImage& img, int x, int y, const QString& file = QString())
    {
        auto so = std::make_unique<TStitchObject>();
        so->FD->LoadFromHandle(img.convertToFormat(QImage::Format_RGB888));
        so->x = x;
        so->y = y;
        so->Width = img.width();
        so->Height = img.height();
        so->filename = file;
        TStitchObject* raw = so.get();
        win.StitchList.push_back(std::move(so));
        win.UpdateArea();
        return raw;
    }

    TIndex* addIndexPoint(TF_SMDI& win, QPoint pos)
    {
        auto index = std::make_unique<TIndex>();
        index->Pos = pos;
        index->Path = win.PathList.front().get();
        win.PathList.front()->ObjectList.push_back(std::move(index));
        return win.PathList.front()->ObjectList.back().get();
    }

    QStringList logTexts() const
    {
        QStringList texts;
        for (const auto& e : TF_ErrorLog::Entries())
            texts << QString::number(e->AType) + QStringLiteral(" ") + e->AMessage;
        return texts;
    }

    QTemporaryDir dir;
    QPointer<TF_Progress> progress;
};

QString loadErrorText(const QString& file)
{
    return QStringLiteral("Error loading image ") + file
        + QStringLiteral("!\r\n\r\nThe file is corrupted or the image size is too big!");
}

} // namespace

// ---- single files ----

TEST_F(Images, LoadImageReadsEveryFormat)
{
    const QImage picture = patterned(23, 17);
    samples::CoreRecipe recipe;
    recipe.width = 400;
    recipe.height = 60;
    recipe.firstBorder = 20;
    struct Row {
        QString name;
        QImage image;
        const char* format;
    };
    const Row rows[] = {
        {QStringLiteral("Scan_One.BMP"), picture, "BMP"},
        {QStringLiteral("scan two.png"), picture, "PNG"},
        {QStringLiteral("Scan.Tif"), picture, "TIFF"},
        {QStringLiteral("Core.JPG"), samples::makeCore(recipe), "JPEG"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name.toStdString());
        TF_SMDI win;
        win.show();
        const QString file = save(r.name, r.image, r.format, 95);
        ASSERT_EQ(win.LoadImage(file, true), 0);
        ASSERT_EQ(win.StitchList.size(), 1u);
        TStitchObject& so = *win.StitchList.front();
        EXPECT_EQ(so.filename, file) << "the name keeps its case";
        EXPECT_EQ(QPoint(so.x, so.y), QPoint(0, 0));
        EXPECT_EQ(so.Width, r.image.width());
        EXPECT_EQ(so.Height, r.image.height());
        EXPECT_TRUE(so.Loaded);
        EXPECT_FALSE(win.fImageLoadError);
        // Decoded independently: what the file holds, lossy or not.
        EXPECT_TRUE(showsPicture(*so.FD, QImage(file).convertToFormat(QImage::Format_RGB32)));
        EXPECT_TRUE(showsPicture(*so.FT, QImage(file).convertToFormat(QImage::Format_RGB32))) << "tracker copy";
        EXPECT_TRUE(win.Project->Name.startsWith(QStringLiteral("New Project ")));
        EXPECT_TRUE(win.Project->Filename.isEmpty());
        EXPECT_EQ(win.windowTitle(), win.Project->Name);
    }
    EXPECT_TRUE(dialogs->shown().isEmpty());
}

TEST_F(Images, LoadImageOfMissingFileDoesNothing)
{
    EXPECT_EQ(w->LoadImage(path(QStringLiteral("absent.jpg")), true), 0);
    EXPECT_TRUE(w->StitchList.empty());
    EXPECT_TRUE(dialogs->shown().isEmpty());
    EXPECT_TRUE(TF_ErrorLog::Entries().empty());
}

TEST_F(Images, SecondImageGoesRightOfTheCanvas)
{
    ASSERT_EQ(w->LoadImage(save(QStringLiteral("a.png"), patterned(30, 20)), true), 0);
    ASSERT_EQ(w->LoadImage(save(QStringLiteral("b.png"), patterned(10, 40)), true), 0);
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(QPoint(w->StitchList[1]->x, w->StitchList[1]->y), QPoint(30, 0));
    EXPECT_EQ(w->Area->width(), 40);
    EXPECT_EQ(w->Area->height(), 40);
}

// Scans are often far wider than 32767 pixels.
TEST_F(Images, WideImagesLoadAndStitch)
{
    const QString wide = save(QStringLiteral("wide.png"), patterned(40000, 3));
    ASSERT_EQ(w->LoadImage(wide, true), 0);
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList[0]->Width, 40000);
    EXPECT_TRUE(showsPicture(*w->StitchList[0]->FD, patterned(40000, 3)));
    LoadImageFiles(w, {save(QStringLiteral("next.png"), patterned(5, 3))});
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(w->StitchList[1]->x, 40000);
    EXPECT_EQ(w->Area->width(), 40005);
}

TEST_F(Images, DropBorderIsTakenFromEverySideAndClamped)
{
    const QImage picture = patterned(10, 6);
    const QString file = save(QStringLiteral("border.bmp"), picture);
    struct Row {
        int dropBorder;
        int border; // what is taken
    };
    const Row rows[] = {{0, 0}, {1, 1}, {2, 2}, {3, 2}, {100, 2}, {-5, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.dropBorder);
        TStitchObject so;
        so.filename = file;
        so.DropBorder = r.dropBorder;
        w->ReloadImage(&so);
        EXPECT_EQ(so.Width, 10 - 2 * r.border);
        EXPECT_EQ(so.Height, 6 - 2 * r.border);
        EXPECT_TRUE(showsPicture(*so.FD, picture, r.border, r.border));
    }
}

// ---- failed decodes ----

struct BadFile {
    const char* name;
    std::function<QByteArray(const QByteArray& goodPng)> bytes;
};

const BadFile badFiles[] = {
    {"text.jpg", [](const QByteArray&) { return QByteArray("this is not a picture\r\n"); }},
    {"empty.bmp", [](const QByteArray&) { return QByteArray(); }},
    {"truncated.png", [](const QByteArray& png) { return png.left(60); }},
    {"header only.bmp", [](const QByteArray&) { return QByteArray("BM\x36\x00\x00\x00", 6); }},
};

TEST_F(Images, FailedDecodeKeepsWindowThatHoldsData)
{
    const QString goodPng = save(QStringLiteral("good.png"), patterned(12, 9));
    for (const BadFile& bad : badFiles) {
        SCOPED_TRACE(bad.name);
        TF_ErrorLog::ClearLog();
        auto* fake = new FakeDialogs;
        setDialogs(std::unique_ptr<Dialogs>(fake));
        QPointer<TF_SMDI> win = new TF_SMDI;
        win->show();
        ASSERT_EQ(win->LoadImage(goodPng, true), 0);
        TIndex* point = addIndexPoint(*win, {4, 5});
        win->Project->Changed = false;
        const QString name = win->Project->Name;
        const QString file = writeBytes(QString::fromLatin1(bad.name), bad.bytes(readBytes(goodPng)));

        EXPECT_EQ(win->LoadImage(file, true), -1);
        flushDeletes();
        ASSERT_TRUE(win) << "a window with data must stay open";
        EXPECT_FALSE(win->fImageLoadError) << "closing must still ask";
        ASSERT_EQ(win->StitchList.size(), 1u);
        EXPECT_TRUE(showsPicture(*win->StitchList[0]->FD, patterned(12, 9)));
        EXPECT_EQ(point->Pos, QPoint(4, 5));
        EXPECT_EQ(win->Area->width(), 12);
        EXPECT_EQ(win->Project->Name, name);
        EXPECT_FALSE(win->Project->Changed);
        EXPECT_EQ(fake->shownTexts(), QStringList{loadErrorText(file)});
        EXPECT_EQ(logTexts(), QStringList{QStringLiteral("0 File too large! Error loading image ") + file + "!"});
        win->Project->Changed = false;
        delete win.data();
    }
}

TEST_F(Images, FailedDecodeClosesEmptyWindow)
{
    const QString file = writeBytes(QStringLiteral("broken.png"), QByteArray("\x89PNG\r\n\x1a\n garbage", 17));
    EXPECT_EQ(w->LoadImage(file, true), -1);
    flushDeletes();
    EXPECT_TRUE(w.isNull()) << "the empty window closes without asking";
    EXPECT_EQ(dialogs->shownTexts(), QStringList{loadErrorText(file)});
}

TEST_F(Images, ReloadImageOfUndecodableFileRaisesAndKeepsPixels)
{
    TStitchObject* so = addImage(*w, patterned(6, 4), 0, 0, writeBytes(QStringLiteral("bad.jpg"), "not a jpeg"));
    EXPECT_THROW(w->ReloadImage(so), EInvalidGraphic);
    EXPECT_TRUE(so->Loaded);
    EXPECT_EQ(so->Width, 6);
    EXPECT_TRUE(showsPicture(*so->FD, patterned(6, 4)));
}

TEST_F(Images, FailedFileEndsListAndLeavesWindowAsItWas)
{
    const QString first = save(QStringLiteral("first.png"), patterned(8, 5));
    const QString bad = writeBytes(QStringLiteral("bad.bmp"), "BMx");
    const QString last = save(QStringLiteral("last.png"), patterned(4, 5));
    addImage(*w, patterned(10, 5, 9), 0, 0, QStringLiteral("old.png"));
    chooseOrientation(&TF_SelectOrientation::RadioButton1);
    EXPECT_EQ(LoadImageFiles(w, {first, bad, last}), w.data());
    ASSERT_EQ(w->StitchList.size(), 2u) << "the list ends at the failed file";
    EXPECT_EQ(w->StitchList[1]->filename, first);
    EXPECT_EQ(dialogs->shownTexts(), QStringList{loadErrorText(bad)});
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(Images, FailedFirstFileOfNewWindowOpensNothing)
{
    const int before = int(ImageWindows().size());
    const QString bad = writeBytes(QStringLiteral("bad.png"), "no");
    const QString good = save(QStringLiteral("good.png"), patterned(4, 4));
    chooseOrientation(&TF_SelectOrientation::RadioButton1);
    EXPECT_EQ(LoadImageFiles(nullptr, {bad, good}), nullptr);
    flushDeletes();
    EXPECT_EQ(int(ImageWindows().size()), before);
    EXPECT_EQ(dialogs->shownTexts(), QStringList{loadErrorText(bad)});
}

// ---- lists ----

TEST_F(Images, ListsStitchInEveryDirection)
{
    const QSize sizes[] = {{30, 20}, {40, 10}, {20, 25}};
    QStringList files;
    for (int i = 0; i < 3; ++i)
        files << save(QStringLiteral("img%1.png").arg(i), patterned(sizes[i].width(), sizes[i].height(), i));
    struct Row {
        QRadioButton* TF_SelectOrientation::*button;
        const char* name;
        QPoint pos[3];
        QSize area;
        QPoint pointMove; // the canvas moves right or down whenever an image goes left or above
    };
    const Row rows[] = {
        {&TF_SelectOrientation::RadioButton1, "left to right", {{0, 0}, {30, 0}, {70, 0}}, {90, 25}, {0, 0}},
        {&TF_SelectOrientation::RadioButton2, "right to left", {{60, 0}, {20, 0}, {0, 0}}, {90, 25}, {90, 0}},
        {&TF_SelectOrientation::RadioButton3, "top to bottom", {{0, 0}, {0, 20}, {0, 30}}, {40, 55}, {0, 0}},
        {&TF_SelectOrientation::RadioButton4, "bottom to top", {{0, 35}, {0, 25}, {0, 0}}, {40, 55}, {0, 55}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TF_SMDI win;
        win.show();
        TIndex* point = addIndexPoint(win, {3, 3});
        chooseOrientation(r.button);
        EXPECT_EQ(LoadImageFiles(&win, files), &win);
        ASSERT_EQ(win.StitchList.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const TStitchObject& so = *win.StitchList[size_t(i)];
            EXPECT_EQ(so.filename, files[i]);
            EXPECT_EQ(QPoint(so.x, so.y), r.pos[i]) << "image " << i;
            EXPECT_TRUE(showsPicture(*so.FD, patterned(sizes[i].width(), sizes[i].height(), i)));
        }
        EXPECT_EQ(QSize(win.Area->width(), win.Area->height()), r.area);
        EXPECT_EQ(point->Pos, QPoint(3, 3) + r.pointMove);
        EXPECT_TRUE(win.Project->Changed);
    }
}

TEST_F(Images, OneFileAsksNoOrientationAndGoesRight)
{
    F_SelectOrientation = new TF_SelectOrientation;
    F_SelectOrientation->RadioButton2->setChecked(true); // right to left from an earlier list
    addImage(*w, patterned(10, 10), 0, 0);
    bool asked = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&asked] {
        if (auto* d = qobject_cast<TF_SelectOrientation*>(QApplication::activeModalWidget())) {
            asked = true;
            d->accept();
        }
    });
    watch.start(0);
    LoadImageFiles(w, {save(QStringLiteral("one.png"), patterned(5, 5))});
    watch.stop();
    EXPECT_FALSE(asked);
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(QPoint(w->StitchList[1]->x, w->StitchList[1]->y), QPoint(10, 0));
}

TEST_F(Images, ListSkipsFilesThatAreNoImagesAndStepsProgress)
{
    const QString text = writeBytes(QStringLiteral("notes.txt"), "rings");
    const QString a = save(QStringLiteral("a_rather_long_file_name_for_the_progress_line.jpg"), patterned(6, 4), "JPEG");
    const QString b = save(QStringLiteral("b.jpg"), patterned(5, 4), "JPEG");
    QStringList shownLines;
    recordProgressLines(shownLines);
    chooseOrientation(&TF_SelectOrientation::RadioButton1);
    LoadImageFiles(w, {text, a, b});
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(w->StitchList[0]->filename, a);
    EXPECT_EQ(w->StitchList[1]->filename, b);
    EXPECT_EQ(progress->PB->maximum(), 3);
    EXPECT_EQ(progress->PB->value(), 3);
    EXPECT_EQ(progress->L_1->text(), QStringLiteral("Loading..."));
    ASSERT_EQ(shownLines.size(), 3);
    // 50 characters at most: the first 21, "..." and the last 26.
    EXPECT_EQ(shownLines[1], QStringLiteral("Loading image ") + a.left(21) + QStringLiteral("...") + a.right(26));
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(Images, ListWithoutWindowOpensOne)
{
    const QString a = save(QStringLiteral("a.bmp"), patterned(7, 3));
    const QString b = save(QStringLiteral("b.bmp"), patterned(4, 3, 1));
    QStringList lines;
    recordProgressLines(lines);
    chooseOrientation(&TF_SelectOrientation::RadioButton1);
    QPointer<TF_SMDI> made = LoadImageFiles(nullptr, {a, b});
    ASSERT_TRUE(made);
    EXPECT_NE(made.data(), w.data());
    EXPECT_TRUE(ImageWindows().contains(made.data()));
    ASSERT_EQ(made->StitchList.size(), 2u);
    EXPECT_EQ(QPoint(made->StitchList[1]->x, made->StitchList[1]->y), QPoint(7, 0));
    EXPECT_TRUE(made->Project->Changed);
    // 20 characters at most: the first 6, "..." and the last 11.
    EXPECT_EQ(lines.first(), QStringLiteral("Loading image ") + a.left(6) + QStringLiteral("...") + a.right(11));
    made->Project->Changed = false;
    for (auto& so : made->StitchList)
        so->ImageChanged = false;
}

TEST_F(Images, DroppedFilesLoadAndFitTheWindow)
{
    const QString big = save(QStringLiteral("big.png"), patterned(3000, 200));
    const QString text = writeBytes(QStringLiteral("readme.txt"), "x");
    chooseOrientation(&TF_SelectOrientation::RadioButton1);
    w->AcceptFiles({text, big});
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList[0]->filename, big);
    EXPECT_GT(w->zoom(), 10) << "a 3000-pixel canvas is reduced to fit";
}

// ---- bitmaps ----

TEST_F(Images, ScannedBitmapGoesBelowAndRightOfTheCanvas)
{
    addImage(*w, patterned(10, 8), 0, 0);
    QImage scan = patterned(5, 4);
    scan = scan.convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(w->LoadImageFromHandle(scan), 2);
    const TStitchObject& so = *w->StitchList[1];
    EXPECT_EQ(so.filename, QStringLiteral("Not saved"));
    EXPECT_TRUE(so.ImageChanged);
    EXPECT_EQ(QPoint(so.x, so.y), QPoint(10, 8));
    EXPECT_EQ(QSize(so.Width, so.Height), QSize(5, 4));
    EXPECT_TRUE(showsPicture(*so.FD, patterned(5, 4)));
    EXPECT_EQ(w->Area->width(), 15);

    EXPECT_EQ(w->LoadImageFromHandle(QImage()), 2) << "nothing added: the scan command reports it";
}

// ---- saving ----

TEST_F(Images, SaveImageWritesByExtension)
{
    // Smooth, so the lossy rows can be held to a tight bound.
    QImage smooth(19, 11, QImage::Format_RGB32);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x)
            smooth.setPixel(x, y, qRgb(x * 12, y * 20, (x + y) * 6));
    TStitchObject* so = addImage(*w, smooth, 0, 0);
    struct Row {
        const char* name;
        QByteArray format; // as the content says
        bool exact;
    };
    const Row rows[] = {
        {"out.bmp", "bmp", true}, {"out.png", "png", true}, {"out.jpg", "jpeg", false}, {"OUT.JPG", "jpeg", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString file = path(QString::fromLatin1(r.name));
        ASSERT_EQ(w->SaveImage(so, file), 0);
        QImageReader reader(file);
        reader.setDecideFormatFromContent(true);
        EXPECT_EQ(reader.format(), r.format);
        const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), QSize(19, 11));
        if (r.exact) {
            EXPECT_TRUE(showsPicture(*so->FD, back));
        } else {
            int worst = 0;
            for (int y = 0; y < 11; ++y)
                for (int x = 0; x < 19; ++x)
                    for (int shift : {0, 8, 16})
                        worst = qMax(worst, qAbs(int((back.pixel(x, y) >> shift) & 255)
                                                 - int((fdPixel(*so->FD, x, y) >> shift) & 255)));
            EXPECT_LE(worst, 12) << "quality 95 stays close";
        }
        // Loading what was written gives the image back.
        TF_SMDI again;
        ASSERT_EQ(again.LoadImage(file, true), 0);
        EXPECT_EQ(again.StitchList[0]->Width, 19);
    }
    EXPECT_TRUE(dialogs->shown().isEmpty());
}

TEST_F(Images, SaveImageFailuresAreReportedAndKeepTheOldFile)
{
    TStitchObject* so = addImage(*w, patterned(4, 4), 0, 0);
    TStitchObject* empty = addImage(*w, QImage(), 0, 0);
    struct Row {
        const char* name;
        bool existing;
        TStitchObject* image;
    };
    const Row rows[] = {
        {"out.jpeg", true, so}, {"out.tif", true, so}, {"out", false, so},
        {"missing folder/out.png", false, so}, {"old.png", true, empty}, {"old.bmp", true, empty},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto* fake = new FakeDialogs;
        setDialogs(std::unique_ptr<Dialogs>(fake));
        const QString file = path(QString::fromLatin1(r.name));
        if (r.existing)
            writeBytes(QString::fromLatin1(r.name), "old content");
        EXPECT_EQ(w->SaveImage(r.image, file), -1);
        ASSERT_EQ(fake->shown().size(), 1);
        EXPECT_EQ(fake->shown()[0].type, mtError);
        EXPECT_TRUE(fake->shownTexts()[0].startsWith(QStringLiteral("Error saving image ") + file + "!"));
        if (r.existing)
            EXPECT_EQ(readBytes(file), QByteArray("old content"));
        else
            EXPECT_FALSE(QFile::exists(file));
    }
}

// ---- queries ----

TEST_F(Images, ImageListQueries)
{
    const QString real = save(QStringLiteral("Real.png"), patterned(2, 2));
    TStitchObject* upper = addImage(*w, patterned(2, 2), 0, 0, QStringLiteral("/data/A.jpg"));
    TStitchObject* lower = addImage(*w, patterned(2, 2), 2, 0, QStringLiteral("/data/a.jpg"));
    TStitchObject* other = addImage(*w, patterned(2, 2), 4, 0, QStringLiteral("/data/b.jpg"));
    EXPECT_EQ(w->GetStitchObjectByFilename(QStringLiteral("/data/a.jpg")), lower) << "exact match first";
    EXPECT_EQ(w->GetStitchObjectByFilename(QStringLiteral("/data/A.jpg")), upper);
    EXPECT_EQ(w->GetStitchObjectByFilename(QStringLiteral("/DATA/B.JPG")), other) << "else without regard to case";
    EXPECT_EQ(w->GetStitchObjectByFilename(QStringLiteral("/data/c.jpg")), nullptr);

    other->Selected = true;
    upper->Selected = true;
    EXPECT_EQ(w->GetSelectedStitchObject(), (QList<TStitchObject*>{upper, other}));

    TF_SMDI fresh;
    EXPECT_TRUE(fresh.ImagesAreSave());
    addImage(fresh, patterned(2, 2), 0, 0, real);
    EXPECT_TRUE(fresh.ImagesAreSave());
    addImage(fresh, patterned(2, 2), 0, 0, QString());
    EXPECT_FALSE(fresh.ImagesAreSave());
}

TEST_F(Images, HasMeasurementsLooksAtTheFirstPathOnly)
{
    EXPECT_FALSE(w->HasMeasurements());
    auto second = std::make_unique<TPath>();
    auto index = std::make_unique<TIndex>();
    second->ObjectList.push_back(std::move(index));
    w->PathList.push_back(std::move(second));
    EXPECT_FALSE(w->HasMeasurements()) << "only the second path has points";
    addIndexPoint(*w, {1, 1});
    EXPECT_TRUE(w->HasMeasurements());
    tool->ClearAll(); // the tree lets go of the points first
    w->PathList.clear();
    EXPECT_FALSE(w->HasMeasurements());
}

// ---- orientation dialog ----

TEST_F(Images, OrientationDialogShowsTheChosenArrangementAndKeepsIt)
{
    TF_SelectOrientation d;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Select Orientation"));
    EXPECT_TRUE(d.RadioButton1->isChecked());
    d.show();
    EXPECT_TRUE(d.I_LR->isVisibleTo(&d));
    QRadioButton* buttons[] = {d.RadioButton1, d.RadioButton2, d.RadioButton3, d.RadioButton4};
    QLabel* pictures[] = {d.I_LR, d.I_RL, d.I_TB, d.I_BT};
    for (int i : {2, 1, 3, 0, 3}) {
        QTest::mouseClick(buttons[i], Qt::LeftButton);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(pictures[k]->isVisibleTo(&d), k == i) << "button " << i << ", picture " << k;
    }
    QTest::mouseClick(d.B_Ok, Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    d.show(); // a second use shows the last choice
    EXPECT_TRUE(d.RadioButton4->isChecked());
    EXPECT_TRUE(d.I_BT->isVisibleTo(&d));
    EXPECT_FALSE(d.I_LR->isVisibleTo(&d));
}

// ---- clipboard ----

TEST_F(Images, CopyTakesTheRegionOrTheWholeCanvas)
{
    const QImage a = patterned(6, 4, 1), b = patterned(5, 5, 2);
    addImage(*w, a, 0, 0);
    TStitchObject* hidden = addImage(*w, b, 3, 2);
    hidden->Visible = false; // copied all the same
    // The canvas by hand: later images over earlier ones, black where there is none.
    auto canvas = [&](int x, int y) -> QRgb {
        if (x >= 3 && x < 8 && y >= 2 && y < 7)
            return b.pixel(x - 3, y - 2) | 0xFF000000u;
        if (x < 6 && y < 4)
            return a.pixel(x, y) | 0xFF000000u;
        return qRgb(0, 0, 0);
    };
    struct Row {
        bool region;
        QPoint p1, p2;
        QRect expected;
    };
    const Row rows[] = {
        {false, {}, {}, QRect(0, 0, 8, 7)},
        {true, {7, 5}, {2, 1}, QRect(2, 1, 5, 4)}, // dragged up and left
        {true, {1, 1}, {4, 3}, QRect(1, 1, 3, 2)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.expected.x() << ", " << r.expected.y());
        QGuiApplication::clipboard()->clear();
        w->CopyRect = r.region;
        w->ClipbrdPT1 = r.p1;
        w->ClipbrdPT2 = r.p2;
        w->CopyToClipBoard();
        const QImage got = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(got.size(), r.expected.size());
        for (int y = 0; y < got.height(); ++y)
            for (int x = 0; x < got.width(); ++x)
                ASSERT_EQ(got.pixel(x, y), canvas(x + r.expected.x(), y + r.expected.y())) << x << ", " << y;
    }
}

TEST_F(Images, PasteTakesTheClipboardBitmapAsNewImage)
{
    const QImage picture = patterned(300, 200);
    QGuiApplication::clipboard()->setImage(picture);
    w->PasteFromClipBoard();
    ASSERT_EQ(w->StitchList.size(), 1u);
    const TStitchObject& so = *w->StitchList[0];
    EXPECT_EQ(QPoint(so.x, so.y), QPoint(0, 0));
    EXPECT_EQ(QSize(so.Width, so.Height), QSize(300, 200));
    EXPECT_TRUE(so.filename.isEmpty());
    EXPECT_TRUE(so.ImageChanged);
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_FALSE(w->Drawing);
    EXPECT_TRUE(showsPicture(*so.FD, picture));
    EXPECT_TRUE(showsPicture(*so.FT, picture));
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull()) << "kept unless the setting says otherwise";
}

TEST_F(Images, ClipboardWithoutBitmapChangesNothing)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("rings"));
    w->PasteFromClipBoard();
    w->MergeFromClipBoard();
    EXPECT_TRUE(w->StitchList.empty());
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("rings"));
}

TEST_F(Images, MergeStartsImageAlignment)
{
    addImage(*w, patterned(20, 10), 0, 0);
    const QImage picture = patterned(7, 6, 3);
    QGuiApplication::clipboard()->setImage(picture);
    w->MergeFromClipBoard();
    ASSERT_EQ(w->StitchList.size(), 2u);
    const TStitchObject& so = *w->StitchList[1];
    EXPECT_TRUE(so.Selected);
    EXPECT_FALSE(w->StitchList[0]->Selected);
    EXPECT_EQ(QPoint(so.x, so.y), QPoint(0, 0));
    EXPECT_TRUE(showsPicture(*so.FD, picture));
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull()) << "merging always empties the clipboard";
    EXPECT_EQ(w->ScreenMode(), mmAlignImages);
    EXPECT_TRUE(w->A_Align->isChecked());
    EXPECT_FALSE(w->Project->Changed) << "the first press in alignment marks it";
}

TEST_F(Images, CopyFromOneWindowPastesIntoAnother)
{
    addImage(*w, patterned(9, 5, 4), 0, 0);
    addImage(*w, patterned(4, 7, 5), 9, 0);
    w->CopyRect = false;
    w->CopyToClipBoard();
    TF_SMDI other;
    other.show();
    other.PasteFromClipBoard();
    ASSERT_EQ(other.StitchList.size(), 1u);
    const TFastDIB& fd = *other.StitchList[0]->FD;
    ASSERT_EQ(QSize(fd.Info.Header.Width, fd.AbsHeight), QSize(13, 7));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            const QRgb want = x >= 9 ? patterned(4, 7, 5).pixel(x - 9, y) | 0xFF000000u
                : y < 5            ? patterned(9, 5, 4).pixel(x, y) | 0xFF000000u
                                   : qRgb(0, 0, 0);
            ASSERT_EQ(fdPixel(fd, x, y), want) << x << ", " << y;
        }
    other.Project->Changed = false;
    other.StitchList[0]->ImageChanged = false;
}
