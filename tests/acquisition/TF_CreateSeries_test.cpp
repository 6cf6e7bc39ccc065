// The image-series window on saved pictures: naming, adding, the list, deleting and renumbering
// without ever touching files of other folders unasked or writing over a file, cropping to the
// frame, the hand-over as a project in list order, the close question and the disabled source
// controls.
#include "acquisition/TF_CreateSeries.h"

#include "acquisition/TF_SelectCamera.h"

#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/FakeDialogs.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_SelectOrientation.h"

#include "support/ImageWindowTest.h"
#include "support/ModalDialogs.h"

#include "EventLoopWait.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <sys/stat.h>

namespace {

using testhelpers::patterned;
using testhelpers::whenShown;

// The dialogs of these tests are given five seconds to show, more than the usual three.
constexpr int DialogWaitMs = acquisitiontest::FuseMs;

QByteArray contentOf(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Series : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(root.isValid());
        TF_ErrorLog::ClearLog();
        folder = root.path() + QStringLiteral("/series");
        other = root.path() + QStringLiteral("/elsewhere");
        QDir().mkpath(folder);
        QDir().mkpath(other);
        // The window takes its folder from the stored value when it shows.
        CreateSeriesValues values;
        values.LastPath = folder;
        SaveCreateSeriesSettings(values);
        w = new TF_CreateSeries;
        w->show();
        QCoreApplication::processEvents();
        w->E_Fileprefix->setText(QStringLiteral("A_"));
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join(QLatin1Char('\n')).toStdString();
        delete w.data();
        for (TF_SMDI* win : ImageWindows())
            delete win;
        delete F_SelectOrientation.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A JPEG written by the program's own encoder.
    QString writeJpeg(const QString& file, const QImage& picture)
    {
        TFastDIB dib;
        EXPECT_TRUE(BitmapToDIB(picture.convertToFormat(QImage::Format_RGB888), dib));
        TFastJPG jpg;
        jpg.AttachImage(&dib);
        jpg.Props.Quality = 95;
        EXPECT_EQ(jpg.SaveFile(file), 0) << file.toStdString();
        return file;
    }
    QString inSeries(const QString& name, int w = 40, int h = 20, int seed = 0)
    {
        return writeJpeg(folder + QLatin1Char('/') + name, patterned(w, h, seed));
    }
    QString inOther(const QString& name, int w = 40, int h = 20, int seed = 0)
    {
        return writeJpeg(other + QLatin1Char('/') + name, patterned(w, h, seed));
    }

    void add(const QStringList& files)
    {
        fake->answerFile(files);
        w->BB_AddImageClick();
    }
    QStringList names() const
    {
        QStringList result;
        for (const auto& e : w->Series)
            result << e->FileName;
        return result;
    }
    QStringList listTexts() const
    {
        QStringList result;
        for (int i = 0; i < w->VST->topLevelItemCount(); ++i)
            result << w->VST->topLevelItem(i)->text(1);
        return result;
    }
    void select(std::initializer_list<int> rows)
    {
        w->VST->clearSelection();
        for (int r : rows)
            w->VST->topLevelItem(r)->setSelected(true);
    }
    QString seriesName(int n) const { return SeriesFileName(folder, QStringLiteral("A_"), n); }

    FakeDialogs* fake = nullptr;
    QTemporaryDir root;
    QString folder, other;
    QPointer<TF_CreateSeries> w;
};

} // namespace

TEST(SeriesNaming, FileNameOfPosition)
{
    const struct {
        const char* folder;
        const char* prefix;
        int n;
        const char* expected;
    } rows[] = {
        {"/data/cores", "A12_", 1, "/data/cores/A12_1.jpg"},
        {"/data/cores/", "A12_", 1, "/data/cores/A12_1.jpg"},
        {"/data/cores", "oak", 10, "/data/cores/oak10.jpg"},
        {"/data/cores", "", 3, "/data/cores/3.jpg"},
        {"/", "x", 2, "/x2.jpg"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SeriesFileName(QString::fromUtf8(r.folder), QString::fromUtf8(r.prefix), r.n), QString::fromUtf8(r.expected))
            << r.folder << " " << r.prefix << " " << r.n;
}

TEST(SeriesNaming, PrefixMayNotLeaveTheFolder)
{
    EXPECT_TRUE(IsSafeSeriesPrefix(QStringLiteral("A12_")));
    EXPECT_TRUE(IsSafeSeriesPrefix(QStringLiteral("..")));
    EXPECT_FALSE(IsSafeSeriesPrefix(QStringLiteral("../A")));
    EXPECT_FALSE(IsSafeSeriesPrefix(QStringLiteral("sub\\A")));
    EXPECT_FALSE(IsSafeSeriesPrefix(QString(QChar(0))));
}

TEST(SeriesCrop, RectangleScaledFromTheLiveView)
{
    const struct {
        QRect frame; // x, y = Left, Top; x + width, y + height = Right, Bottom
        QSize view, picture;
        QRect expected;
    } rows[] = {
        {QRect(0, 0, 100, 50), QSize(100, 50), QSize(400, 200), QRect(0, 0, 400, 200)},     // whole view
        {QRect(10, 5, 50, 20), QSize(100, 50), QSize(400, 200), QRect(40, 20, 200, 80)},    // scaled by 4
        {QRect(60, 25, -50, -20), QSize(100, 50), QSize(400, 200), QRect(40, 20, 200, 80)}, // drawn backwards
        {QRect(1, 1, 1, 1), QSize(4, 4), QSize(10, 10), QRect(2, 2, 2, 2)},                 // 2.5 rounds to 2 (even)
        {QRect(3, 3, 1, 1), QSize(4, 4), QSize(10, 10), QRect(8, 8, 2, 2)},                 // 7.5 rounds to 8
        {QRect(80, 40, 40, 20), QSize(100, 50), QSize(400, 200), QRect(320, 160, 80, 40)},  // clipped at the edge
        {QRect(200, 0, 10, 10), QSize(100, 50), QSize(400, 200), QRect()},                  // outside
        {QRect(0, 0, 10, 10), QSize(0, 50), QSize(400, 200), QRect()},                      // no view
    };
    for (const auto& r : rows) {
        const QRect got = SeriesCropRect(r.frame, r.view, r.picture);
        if (r.expected.isNull())
            EXPECT_TRUE(got.isEmpty()) << "frame " << r.frame.x() << "," << r.frame.y();
        else
            EXPECT_EQ(got, r.expected) << "frame " << r.frame.x() << "," << r.frame.y() << " " << r.frame.width()
                                       << "x" << r.frame.height();
    }
}

TEST(SeriesCrop, PictureCutPixelForPixel)
{
    const QImage picture = patterned(30, 20, 7);
    TFastDIB dib;
    ASSERT_TRUE(BitmapToDIB(picture.convertToFormat(QImage::Format_RGB888), dib));
    const QRect rect(5, 3, 12, 9);
    std::unique_ptr<TFastDIB> crop = CropPicture(dib, rect);
    ASSERT_NE(crop, nullptr);
    ASSERT_EQ(crop->Info.Header.Width, 12);
    ASSERT_EQ(crop->AbsHeight, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const TFColor c = crop->GetPixel(crop->AbsHeight - 1 - y, x);
            const QRgb want = picture.pixel(x + rect.x(), y + rect.y());
            ASSERT_EQ(qRgb(c.r, c.g, c.b), want | 0xFF000000u) << "first difference at (" << x << ", " << y << ")";
        }
    EXPECT_EQ(CropPicture(dib, QRect()), nullptr);
}

TEST(SeriesThumbnail, Is160WideWithTheProportions)
{
    const struct {
        QSize picture;
        int height;
    } rows[] = {{{320, 240}, 120}, {{100, 100}, 160}, {{1000, 2}, 1}, {{2000, 125}, 10}, {{300, 1}, 1}};
    for (const auto& r : rows) {
        const QImage thumb = SeriesThumbnail(QImage(r.picture, QImage::Format_RGB32));
        EXPECT_EQ(thumb.size(), QSize(160, r.height)) << r.picture.width() << "x" << r.picture.height();
    }
}

TEST_F(Series, GrabFollowsThePrefixAndTakesNothingWithoutASource)
{
    w->E_Fileprefix->clear();
    EXPECT_FALSE(w->BB_Grab->isEnabled());
    QTest::keyClick(w, Qt::Key_F1);
    QTest::keyClicks(w->E_Fileprefix, QStringLiteral("B/7"));
    EXPECT_EQ(w->E_Fileprefix->text(), QStringLiteral("B7")) << "a separator cannot be typed";
    EXPECT_TRUE(w->BB_Grab->isEnabled());
    QTest::keyClick(w, Qt::Key_F1);
    w->BB_Grab->click();
    EXPECT_TRUE(w->Series.empty());
    EXPECT_TRUE(w->ProjectSaved);
}

TEST_F(Series, SourceControlsArePresentButDisabled)
{
    EXPECT_EQ(w->PCE->count(), 4);
    EXPECT_EQ(w->PCE->currentWidget(), w->TS_NoActive);
    for (int i = 0; i < w->PCE->count(); ++i)
        EXPECT_FALSE(w->PCE->isTabVisible(i));
    EXPECT_EQ(w->L_CameraActive->text(), QStringLiteral("not connected"));
    EXPECT_TRUE(w->M_NoCam->toPlainText().startsWith(QStringLiteral("No Video Source selected!")));
    // What has no work behind it yet is disabled, never enabled and silent.
    // Without the camera wizard there is nothing to change to.
    for (QWidget* c : std::initializer_list<QWidget*>{w->BB_ChangeCamera, w->BB_VFWImageSettings, w->BB_VWFStreamSettings})
        EXPECT_FALSE(c->isEnabled()) << c->metaObject()->className();
    for (QWidget* c : std::initializer_list<QWidget*>{w->CB_Crosshairs, w->CPB_Crosshairs, w->CB_Frame,
                                                      w->CB_EOSViewFinder, w->B_EOSCameraSettings})
        EXPECT_TRUE(c->isEnabled()) << c->metaObject()->className();
    EXPECT_FALSE(w->P_VFWSettings->isVisible());
    EXPECT_FALSE(w->P_EOSSettings->isVisible());
    // The series side works.
    EXPECT_TRUE(w->BB_AddImage->isEnabled());
    EXPECT_TRUE(w->BB_SetPath->isEnabled());
    EXPECT_FALSE(w->BB_CreateJEX->isEnabled());
    EXPECT_EQ(w->SB_Panel0->text(), QStringLiteral("0 Images grabbed"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Create image series"));
}

TEST_F(Series, NextNameNeverNamesAnExistingFile)
{
    EXPECT_EQ(w->NextFileName(), seriesName(1));
    inSeries(QStringLiteral("A_1.jpg"));
    inSeries(QStringLiteral("A_2.jpg"));
    EXPECT_EQ(w->NextFileName(), seriesName(3)) << "files of an earlier series stay untouched";
    add({inOther(QStringLiteral("x.jpg"))});
    EXPECT_EQ(w->NextFileName(), seriesName(3));
    QFile::remove(seriesName(1));
    QFile::remove(seriesName(2));
    EXPECT_EQ(w->NextFileName(), seriesName(2));
    fake->answerMessage(mrYes);
    w->M_ClearListClick();
    EXPECT_EQ(w->NextFileName(), seriesName(1)) << "an empty list starts at 1 again";
}

TEST_F(Series, AddedPicturesKeepTheirPathsAndOrder)
{
    const QString a = inOther(QStringLiteral("a.jpg"), 320, 240);
    const QString b = inSeries(QStringLiteral("b.jpg"), 100, 300);
    const QString c = inOther(QStringLiteral("c.jpg"), 2000, 100); // read at a reduced size
    add({c, a, b});
    ASSERT_EQ(names(), (QStringList{c, a, b}));
    EXPECT_EQ(listTexts(), (QStringList{QStringLiteral("c.jpg"), QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    EXPECT_EQ(w->Series[0]->Thumbnail.size(), QSize(160, 8));
    EXPECT_EQ(w->Series[1]->Thumbnail.size(), QSize(160, 120));
    EXPECT_EQ(w->Series[2]->Thumbnail.size(), QSize(160, 480));
    EXPECT_EQ(w->SB_Panel0->text(), QStringLiteral("3 images grabbed"));
    EXPECT_FALSE(w->ProjectSaved);
    EXPECT_TRUE(w->BB_CreateJEX->isEnabled());
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown()[0].kind, FakeDialogs::Kind::OpenFiles);
    EXPECT_EQ(fake->shown()[0].text, QStringLiteral("Add JPEG images"));
    EXPECT_EQ(fake->shown()[0].request.filter, QStringLiteral("JPEG files|*.jpg"));
    EXPECT_TRUE(QFile::exists(a) && QFile::exists(c)) << "added files are neither copied nor moved";
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("b.jpg")});

    add({a}); // the same file again would be deleted or moved under the other entry's feet
    EXPECT_EQ(names().size(), 3);
}

TEST_F(Series, AddingStopsAtAnUnreadableFile)
{
    const QString good = inOther(QStringLiteral("good.jpg"));
    const QString bad = other + QStringLiteral("/bad.jpg");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    const QString after = inOther(QStringLiteral("after.jpg"));
    fake->answerMessage(mrOk);
    add({good, bad, after});
    EXPECT_EQ(names(), QStringList{good});
    ASSERT_EQ(fake->shown().size(), 2);
    EXPECT_EQ(fake->shown()[1].type, mtError);
    EXPECT_TRUE(fake->shown()[1].text.contains(bad));
    EXPECT_TRUE(QFile::exists(bad));
}

TEST_F(Series, AFolderOrPipeIsRefusedWithoutBlocking)
{
    // Reading a pipe would wait for a writer that never comes.
    const QString folderNamed = other + QStringLiteral("/folder.jpg");
    ASSERT_TRUE(QDir().mkpath(folderNamed));
    const QString pipe = other + QStringLiteral("/pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& file : {folderNamed, pipe}) {
        fake->answerMessage(mrOk);
        add({file});
        EXPECT_TRUE(names().isEmpty());
        EXPECT_EQ(fake->shown().last().type, mtError);
        EXPECT_TRUE(fake->shown().last().text.contains(file));
    }
}

TEST_F(Series, DeletingTheSecondOfThreeMovesTheThirdIntoItsPlace)
{
    const QString one = inSeries(QStringLiteral("A_1.jpg"), 40, 20, 1);
    const QString two = inSeries(QStringLiteral("A_2.jpg"), 40, 20, 2);
    const QString three = inSeries(QStringLiteral("A_3.jpg"), 40, 20, 3);
    const QByteArray oneBytes = contentOf(one), threeBytes = contentOf(three);
    add({one, two, three});
    select({1});
    w->PM_VSTPopup();
    EXPECT_TRUE(w->M_DeleteImage->isEnabled());
    fake->answerMessage(mrYes);
    w->M_DeleteImage->trigger();
    EXPECT_EQ(fake->shownTexts().last(), QStringLiteral("Delete selected images?"));
    EXPECT_EQ(names(), (QStringList{seriesName(1), seriesName(2)}));
    EXPECT_EQ(contentOf(seriesName(1)), oneBytes);
    EXPECT_EQ(contentOf(seriesName(2)), threeBytes);
    EXPECT_FALSE(QFile::exists(three));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(w->SB_Panel0->text(), QStringLiteral("2 images grabbed"));
}

TEST_F(Series, DeleteAnsweredNoKeepsFilesAndList)
{
    const QString one = inSeries(QStringLiteral("A_1.jpg"));
    const QString two = inSeries(QStringLiteral("A_2.jpg"));
    add({one, two});
    w->ProjectSaved = true;
    select({0});
    fake->answerMessage(mrNo);
    w->M_DeleteImageClick();
    EXPECT_EQ(names(), (QStringList{one, two}));
    EXPECT_TRUE(QFile::exists(one));
    EXPECT_FALSE(w->ProjectSaved) << "every use of the command counts as a change";

    w->VST->clearSelection();
    w->PM_VSTPopup();
    EXPECT_FALSE(w->M_DeleteImage->isEnabled());
    w->M_DeleteImageClick(); // nothing selected: no question
    EXPECT_EQ(fake->shown().size(), 2);
}

TEST_F(Series, FilesOfOtherFoldersAreDeletedOnlyAfterAYes)
{
    const struct {
        int foreignAnswer;
        bool fileStays;
    } rows[] = {{mrNo, true}, {mrYes, false}};
    for (const auto& r : rows) {
        const QString own = inSeries(QStringLiteral("A_1.jpg"));
        const QString foreign = inOther(QStringLiteral("f.jpg"));
        add({own, foreign});
        select({0, 1});
        fake->answerMessage(mrYes);
        fake->answerMessage(r.foreignAnswer);
        w->M_DeleteImageClick();
        const QString question = fake->shownTexts().last();
        EXPECT_TRUE(question.contains(foreign)) << question.toStdString();
        EXPECT_FALSE(question.contains(own));
        EXPECT_TRUE(names().isEmpty()) << "both leave the list";
        EXPECT_FALSE(QFile::exists(own));
        EXPECT_EQ(QFile::exists(foreign), r.fileStays) << "answer " << r.foreignAnswer;
    }
}

TEST_F(Series, RenumberingAsksBeforeMovingFilesOfOtherFolders)
{
    const struct {
        int answer;
        bool moved;
    } rows[] = {{mrNo, false}, {mrYes, true}};
    for (const auto& r : rows) {
        const QString first = inSeries(QStringLiteral("A_1.jpg"), 40, 20, 1);
        const QString foreign = inOther(QStringLiteral("f.jpg"), 40, 20, 2);
        const QString third = inSeries(QStringLiteral("A_3.jpg"), 40, 20, 3);
        const QByteArray foreignBytes = contentOf(foreign), thirdBytes = contentOf(third);
        add({first, foreign, third});
        select({0});
        fake->answerMessage(mrYes);
        fake->answerMessage(r.answer);
        w->M_DeleteImageClick();
        ASSERT_TRUE(fake->shownTexts().last().contains(foreign));
        const QString foreignNow = r.moved ? seriesName(1) : foreign;
        EXPECT_EQ(names(), (QStringList{foreignNow, seriesName(2)}));
        EXPECT_EQ(contentOf(foreignNow), foreignBytes);
        EXPECT_EQ(contentOf(seriesName(2)), thirdBytes);
        EXPECT_EQ(QFile::exists(foreign), !r.moved);
        fake->answerMessage(mrYes);
        w->M_ClearListClick();
        for (const QString& f : QDir(folder).entryList(QDir::Files))
            QFile::remove(folder + QLatin1Char('/') + f);
    }
}

TEST_F(Series, RenumberingSwapsNamesAndNeverWritesOverAFile)
{
    // The list holds A_2 before A_1: renumbering swaps them. A file outside the list holds the
    // name the third entry would get; it is not written over and the entry keeps its own name.
    const QString two = inSeries(QStringLiteral("A_2.jpg"), 40, 20, 2);
    const QString one = inSeries(QStringLiteral("A_1.jpg"), 40, 20, 1);
    const QString oak = inSeries(QStringLiteral("oak.jpg"), 40, 20, 5);
    const QString gone = inSeries(QStringLiteral("gone.jpg"), 40, 20, 6);
    const QString outsider = inSeries(QStringLiteral("A_3.jpg"), 40, 20, 9);
    const QByteArray twoBytes = contentOf(two), oneBytes = contentOf(one), oakBytes = contentOf(oak),
                     outsiderBytes = contentOf(outsider);
    add({two, one, oak, gone});
    select({3});
    fake->answerMessage(mrYes);
    fake->answerMessage(mrOk); // the report of the entry that kept its name
    w->M_DeleteImageClick();
    EXPECT_EQ(fake->shown().last().type, mtError);
    EXPECT_TRUE(fake->shown().last().text.contains(oak));
    EXPECT_EQ(names(), (QStringList{seriesName(1), seriesName(2), oak}));
    EXPECT_EQ(contentOf(seriesName(1)), twoBytes);
    EXPECT_EQ(contentOf(seriesName(2)), oneBytes);
    EXPECT_EQ(contentOf(oak), oakBytes);
    EXPECT_EQ(contentOf(outsider), outsiderBytes);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 4) << "no temporary file is left";
}

TEST_F(Series, RenumberingNeverLeavesTheFolderThroughThePrefix)
{
    const QString one = inSeries(QStringLiteral("A_1.jpg"));
    const QString two = inSeries(QStringLiteral("A_2.jpg"));
    add({one, two});
    w->E_Fileprefix->setText(QStringLiteral("../escaped_")); // set by code, past the edit's check
    select({0});
    fake->answerMessage(mrYes);
    fake->answerMessage(mrOk);
    w->M_DeleteImageClick();
    EXPECT_EQ(fake->shown().last().type, mtError);
    EXPECT_EQ(names(), QStringList{two});
    EXPECT_TRUE(QFile::exists(two));
    EXPECT_TRUE(QDir(root.path()).entryList({QStringLiteral("escaped_*")}).isEmpty());
}

TEST_F(Series, DeleteAllAsksForOtherFoldersAndClearListKeepsEverything)
{
    const QString own1 = inSeries(QStringLiteral("A_1.jpg"));
    const QString own2 = inSeries(QStringLiteral("A_2.jpg"));
    const QString foreign = inOther(QStringLiteral("f.jpg"));
    add({own1, foreign, own2});

    fake->answerMessage(mrNo);
    w->M_ClearListClick();
    EXPECT_EQ(fake->shownTexts().last(), QStringLiteral("Clear series and keep images on disk?"));
    EXPECT_EQ(names().size(), 3);
    fake->answerMessage(mrYes);
    w->M_ClearListClick();
    EXPECT_TRUE(names().isEmpty());
    EXPECT_TRUE(QFile::exists(own1) && QFile::exists(own2) && QFile::exists(foreign));
    EXPECT_FALSE(w->BB_CreateJEX->isEnabled());
    EXPECT_EQ(w->SB_Panel0->text(), QStringLiteral("0 images grabbed")) << "the count follows every change";
    w->PM_VSTPopup();
    EXPECT_FALSE(w->M_DeleteAll->isEnabled());
    EXPECT_FALSE(w->M_ClearList->isEnabled());

    add({own1, foreign, own2});
    fake->answerMessage(mrYes);
    fake->answerMessage(mrNo);
    w->M_DeleteAllClick();
    EXPECT_EQ(fake->shownTexts()[fake->shownTexts().size() - 2], QStringLiteral("Clear series and delete images on disk?"));
    EXPECT_TRUE(names().isEmpty());
    EXPECT_FALSE(QFile::exists(own1));
    EXPECT_FALSE(QFile::exists(own2));
    EXPECT_TRUE(QFile::exists(foreign));
}

TEST_F(Series, CreatesAProjectInListOrderAndClosesWithoutAsking)
{
    const QString a = inSeries(QStringLiteral("A_1.jpg"), 30, 20);
    const QString b = inOther(QStringLiteral("wide.jpg"), 50, 20);
    const QString c = inSeries(QStringLiteral("A_3.jpg"), 40, 20);
    add({c, a, b});
    whenShown<TF_SelectOrientation>([](TF_SelectOrientation* d) {
        QTest::mouseClick(d->RadioButton1, Qt::LeftButton);
        QTest::mouseClick(d->B_Ok, Qt::LeftButton);
    }, DialogWaitMs);
    const int before = fake->callCount();
    w->BB_CreateJEX->click();
    const QList<TF_SMDI*> windows = ImageWindows();
    ASSERT_EQ(windows.size(), 1);
    TF_SMDI* project = windows.first();
    ASSERT_EQ(project->StitchList.size(), 3u);
    EXPECT_EQ(project->StitchList[0]->filename, c);
    EXPECT_EQ(project->StitchList[1]->filename, a);
    EXPECT_EQ(project->StitchList[2]->filename, b);
    EXPECT_EQ(project->StitchList[1]->x, 40) << "placed one after the other in list order";
    EXPECT_EQ(project->StitchList[2]->x, 70);
    EXPECT_TRUE(w->ProjectSaved);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(fake->callCount(), before) << "closing after the hand-over asks nothing";
    EXPECT_TRUE(w->Series.empty());
    EXPECT_TRUE(QFile::exists(a) && QFile::exists(b) && QFile::exists(c));
}

TEST_F(Series, AMissingPictureCreatesNoProjectAndKeepsTheList)
{
    const QString a = inSeries(QStringLiteral("A_1.jpg"));
    const QString b = inSeries(QStringLiteral("A_2.jpg"));
    add({a, b});
    QFile::remove(b);
    fake->answerMessage(mrOk);
    w->BB_CreateJEXClick();
    EXPECT_TRUE(fake->shown().last().text.contains(b));
    EXPECT_TRUE(ImageWindows().isEmpty());
    EXPECT_EQ(names(), (QStringList{a, b}));
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->ProjectSaved);
    fake->answerMessage(mrYes);
    w->close();
}

TEST_F(Series, ClosingWithoutAProjectAsksAndCancelKeepsTheList)
{
    const QString a = inSeries(QStringLiteral("A_1.jpg"));
    add({a});
    fake->answerMessage(mrCancel);
    w->close();
    EXPECT_EQ(fake->shownTexts().last(),
              QStringLiteral("There was no JEX project created yet!\r\nContinue without creating a project?"));
    EXPECT_EQ(fake->shown().last().buttons, (TMsgDlgButtons{mbYes, mbCancel}));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(names(), QStringList{a});

    fake->answerMessage(mrYes);
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->Series.empty());
    EXPECT_TRUE(QFile::exists(a));
}

TEST_F(Series, FolderChoiceIsStoredOnClose)
{
    const QString chosen = root.path() + QStringLiteral("/chosen");
    QDir().mkpath(chosen);
    fake->answerDirectory(chosen);
    w->BB_SetPathClick();
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("Select folder"));
    EXPECT_EQ(fake->shown().last().detail, folder);
    EXPECT_EQ(w->E_ImagePath->text(), chosen);
    fake->answerDirectory(QString()); // cancelled
    w->BB_SetPathClick();
    EXPECT_EQ(w->E_ImagePath->text(), chosen);
    w->close();
    CreateSeriesValues values;
    LoadCreateSeriesSettings(values);
    EXPECT_EQ(values.LastPath, chosen);
}

TEST_F(Series, CameraPictureCroppedToTheFrame)
{
    // A live view of 100 x 50 showing a 400 x 200 picture; the frame covers its middle.
    const QString downloaded = writeJpeg(other + QStringLiteral("/download.jpg"), patterned(400, 200));
    w->EOSViewSize = QSize(100, 50);
    w->Frame = QRect(25, 10, 50, 25);
    const QString target = w->NextFileName();
    ASSERT_EQ(w->EOS_SaveCropped(downloaded, target), 0);
    TFastDIB saved;
    TFastJPG jpg;
    jpg.AttachImage(&saved);
    ASSERT_EQ(jpg.LoadFile(target), 0);
    EXPECT_EQ(saved.Info.Header.Width, 200);
    EXPECT_EQ(saved.AbsHeight, 100);
    EXPECT_EQ(SeriesThumbnailOfFile(target).size(), QSize(160, 80));

    w->Frame = QRect(500, 500, 10, 10); // outside the picture: nothing written
    const QByteArray before = contentOf(target);
    EXPECT_EQ(w->EOS_SaveCropped(downloaded, target), -1);
    EXPECT_EQ(contentOf(target), before);
    EXPECT_EQ(w->EOS_SaveCropped(other + QStringLiteral("/missing.jpg"), target), -1);
}

TEST_F(Series, VideoFrameWholeWithoutFrameAndCutWithIt)
{
    TFastDIB frame;
    ASSERT_TRUE(BitmapToDIB(patterned(64, 48).convertToFormat(QImage::Format_RGB888), frame));
    w->Frame = QRect(8, 4, 16, 12);
    w->CB_Frame->setChecked(false);
    std::unique_ptr<TFastDIB> whole = w->VFW_CropImage(frame);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(QSize(whole->Info.Header.Width, whole->AbsHeight), QSize(64, 48));
    w->CB_Frame->setChecked(true); // UseFrame follows the check box
    EXPECT_TRUE(w->UseFrame);
    std::unique_ptr<TFastDIB> cut = w->VFW_CropImage(frame);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(QSize(cut->Info.Header.Width, cut->AbsHeight), QSize(16, 12));
}

TEST_F(Series, ProjectLandsInTheMainWindow)
{
    InitSettingVariables();
    auto main = std::make_unique<TF_Main>();
    F_Main = main.get();
    fake->answerMessage(mrNo); // the file association question of the first showing
    main->show();
    add({inSeries(QStringLiteral("A_1.jpg"), 30, 20), inSeries(QStringLiteral("A_2.jpg"), 20, 20)});
    whenShown<TF_SelectOrientation>([](TF_SelectOrientation* d) { QTest::mouseClick(d->B_Ok, Qt::LeftButton); },
                                    DialogWaitMs);
    w->BB_CreateJEXClick();
    const QList<TF_SMDI*> children = main->MDIChildren();
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children.first()->StitchList.size(), 2u);
    EXPECT_EQ(children.first()->StitchList[0]->filename, seriesName(1));
    EXPECT_TRUE(children.first()->Project->Changed) << "the new project is still to be saved";
    main.reset();
    F_Main = nullptr;
}

TEST(SeriesCommand, MainWindowAsksForTheSourceFirstAndCancelShowsNoSeries)
{
    auto* fake = dynamic_cast<FakeDialogs*>(&dialogs());
    ASSERT_NE(fake, nullptr);
    InitSettingVariables();
    auto main = std::make_unique<TF_Main>();
    F_Main = main.get();
    ASSERT_NE(main->A_CreateSeries, nullptr);
    bool shown = false;
    whenShown<TF_SelectCamera>([&shown](TF_SelectCamera* d) {
        shown = true;
        EXPECT_EQ(d->PCE->currentWidget(), d->TS_1);
        EXPECT_EQ(d->Tag, 1) << "the next Continue on the camera choice scans again";
        d->close(); // the title bar: Cancel
    }, DialogWaitMs);
    main->A_CreateSeries->trigger();
    EXPECT_TRUE(shown);
    ASSERT_FALSE(F_CreateSeries.isNull());
    EXPECT_FALSE(F_CreateSeries->isVisible()) << "Cancel in the wizard shows no series window";
    EXPECT_EQ(F_CreateSeries->parent(), F_SelectCamera.data());
    main.reset();
    F_Main = nullptr;
    EXPECT_TRUE(F_CreateSeries.isNull());
    EXPECT_TRUE(F_SelectCamera.isNull());
    EXPECT_TRUE(fake->errors().isEmpty());
}
