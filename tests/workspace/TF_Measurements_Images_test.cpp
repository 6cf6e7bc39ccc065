// The image tree's commands on a shown image window: drawing order, visibility, removal,
// extraction into a new project, saving under a new name, reverting, and the whole-canvas export,
// also on a full disk.
#include "workspace/TF_Measurements.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/TArea.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"
#include "support/SmallDisk.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using testhelpers::fdPixel;
using testhelpers::patterned;

// FD shows `img` pixel for pixel; the first difference is named.
::testing::AssertionResult showsPicture(const TFastDIB& fd, const QImage& img)
{
    if (fd.Info.Header.Width != img.width() || fd.AbsHeight != img.height())
        return ::testing::AssertionFailure() << "size " << fd.Info.Header.Width << " x " << fd.AbsHeight;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (fdPixel(fd, x, y) != (img.pixel(x, y) | 0xFF000000u))
                return ::testing::AssertionFailure() << "first difference at (" << x << ", " << y << ")";
    return ::testing::AssertionSuccess();
}

class ImageTree : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ImageWindowTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        for (QPointer<TF_SMDI>& extra : others)
            delete extra.data();
        ImageWindowTest::TearDown();
    }

    // A picture file of the given size; each seed gives other pixels.
    QString writeImage(const QString& name, int width, int height, int seed)
    {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(patterned(width, height, seed).save(file));
        return file;
    }

    // `count` images of 40 x 30 from files, side by side, the tree bound and filled.
    void loadImages(int count)
    {
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("i%1.png").arg(i), 40, 30, i), true), 0);
        tool->FillMeasurements(w, false);
    }

    // Selects exactly these images' rows, as clicks in the tree do.
    void selectImages(const QList<TStitchObject*>& images)
    {
        QItemSelectionModel* sel = tool->VST_SO->selectionModel();
        sel->clearSelection();
        for (TStitchObject* so : images)
            sel->select(tool->imageModel()->indexFromNode(tool->imageModel()->findNode(so)),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        tool->AM_MeasurementsUpdate();
    }

    // The images' rows in the tree, top to bottom.
    QList<TStitchObject*> treeOrder() const
    {
        QList<TStitchObject*> order;
        for (TreeNode* node : tool->imageModel()->allNodes())
            if (TStitchObject* so = tool->imageModel()->imageOf(node))
                order << so;
        return order;
    }

    QList<TStitchObject*> drawingOrder() const
    {
        QList<TStitchObject*> order;
        for (const auto& so : w->StitchList)
            order << so.get();
        return order;
    }

    // Windows the commands opened; closed at the end without asking.
    TF_SMDI* newWindowBesides(const QList<TF_SMDI*>& before)
    {
        for (TF_SMDI* candidate : ImageWindows())
            if (!before.contains(candidate)) {
                others << candidate;
                return candidate;
            }
        return nullptr;
    }

    QTemporaryDir dir;
    QList<QPointer<TF_SMDI>> others;
};

TEST_F(ImageTree, DrawingOrderCommandsSwapTwoImages)
{
    struct Row {
        const char* name;
        QAction* TF_Measurements::*command;
        int selected;
        std::vector<int> order; // former positions, in the new drawing order
    };
    const Row rows[] = {
        {"send the third to back", &TF_Measurements::PM_SOSendToBack, 2, {2, 1, 0, 3}},
        {"move the second to front", &TF_Measurements::PM_SOMoveToFront, 1, {0, 3, 2, 1}},
        {"one up from the third", &TF_Measurements::PM_SOOneUp, 2, {0, 2, 1, 3}},
        {"one down from the second", &TF_Measurements::PM_SOOneDown, 1, {0, 2, 1, 3}},
        {"one up from the first", &TF_Measurements::PM_SOOneUp, 0, {0, 1, 2, 3}},
        {"one down from the last", &TF_Measurements::PM_SOOneDown, 3, {0, 1, 2, 3}},
        {"send the first to back", &TF_Measurements::PM_SOSendToBack, 0, {0, 1, 2, 3}},
    };
    loadImages(4);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QList<TStitchObject*> before = drawingOrder();
        selectImages({before[r.selected]});
        QAction* command = tool->*r.command;
        ASSERT_TRUE(command->isEnabled());
        command->trigger();
        QList<TStitchObject*> expected;
        for (int i : r.order)
            expected << before[i];
        EXPECT_EQ(drawingOrder(), expected);
        EXPECT_EQ(treeOrder(), expected) << "the tree is rebuilt in the new order";
        // Back to the first order (by place on the canvas, which the swaps leave) for the next row.
        std::sort(w->StitchList.begin(), w->StitchList.end(), [](const auto& a, const auto& b) { return a->x < b->x; });
        tool->FillProject(w);
    }
}

TEST_F(ImageTree, TheImageOnTopIsTheLastDrawn)
{
    // Two overlapping images: what the window shows where they overlap follows the order.
    loadImages(2);
    w->StitchList[1]->x = 0;
    w->UpdateArea();
    w->setZoom(10);
    w->SmoothDraw(true);
    const QPoint at = w->ToScreen(QPoint(5, 5));
    const QRgb shownFirst = w->B_Background.pixel(at);
    EXPECT_EQ(shownFirst | 0xFF000000u, fdPixel(*w->StitchList[1]->FD, 5, 5));
    selectImages({w->StitchList[1].get()});
    tool->PM_SOSendToBack->trigger();
    // Selected images lie on top of the others; without a selection the order alone counts.
    tool->VST_SO->selectionModel()->clearSelection();
    EXPECT_EQ(w->B_Background.pixel(at) | 0xFF000000u, fdPixel(*w->StitchList[1]->FD, 5, 5))
        << "the former bottom image is on top now";
    EXPECT_NE(w->B_Background.pixel(at), shownFirst);
}

TEST_F(ImageTree, VisibleIsOfferedForImageRowsOnlyAndHidesTheImage)
{
    loadImages(1);
    TStitchObject* so = w->StitchList[0].get();
    TreeNode* root = tool->imageModel()->allNodes().front();
    ASSERT_EQ(tool->imageModel()->imageOf(root), nullptr);

    tool->VST_SO->selectionModel()->select(tool->imageModel()->indexFromNode(root),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(tool->VST_SOGetPopupMenu(root), tool->PAB_Project);
    EXPECT_FALSE(tool->PM_SOVisible->isEnabled());
    EXPECT_FALSE(tool->PM_SOVisible->isChecked());
    EXPECT_TRUE(tool->A_ExportImageToSingleFile->isEnabled());

    selectImages({so});
    TreeNode* row = tool->imageModel()->findNode(so);
    EXPECT_EQ(tool->VST_SOGetPopupMenu(row), tool->PAB_SO);
    EXPECT_TRUE(tool->PM_SOVisible->isEnabled());
    EXPECT_TRUE(tool->PM_SOVisible->isChecked());

    w->SmoothDraw(true);
    const QImage shown = w->B_Background.copy();
    tool->PM_SOVisible->trigger();
    EXPECT_FALSE(so->Visible);
    EXPECT_NE(w->B_Background, shown) << "the window repaints without the image";
    tool->VST_SOGetPopupMenu(row);
    EXPECT_FALSE(tool->PM_SOVisible->isChecked());
    tool->PM_SOVisible->trigger();
    EXPECT_TRUE(so->Visible);
    EXPECT_EQ(w->B_Background, shown);
}

TEST_F(ImageTree, RemoveAsksForTheSelectedImagesAndAlwaysMarksTheProjectChanged)
{
    struct Row {
        const char* name;
        int answer;
        int left;
    };
    for (const Row& r : {Row{"yes", mrYes, 1}, Row{"no", mrNo, 3}}) {
        SCOPED_TRACE(r.name);
        w->StitchList.clear();
        w->UpdateArea();
        tool->FillMeasurements(w, false);
        loadImages(3);
        w->Project->Changed = false;
        TStitchObject* keep = w->StitchList[1].get();
        selectImages({w->StitchList[0].get(), w->StitchList[2].get()});
        ASSERT_TRUE(tool->A_RemoveImage->isEnabled());
        dialogs->answerMessage(r.answer);
        tool->A_RemoveImage->trigger();
        EXPECT_EQ(dialogs->shown().last().text, QStringLiteral("Remove 2 images from project? "));
        EXPECT_EQ(dialogs->shown().last().buttons, mbYesNo);
        ASSERT_EQ(int(w->StitchList.size()), r.left);
        EXPECT_TRUE(w->Project->Changed);
        EXPECT_EQ(treeOrder(), drawingOrder());
        if (r.answer == mrYes) {
            EXPECT_EQ(w->StitchList[0].get(), keep);
            EXPECT_EQ(w->Area->width(), 80) << "the canvas ends where the image that is left ends";
            EXPECT_EQ(tool->imageModel()->allNodes().size(), 2);
        }
    }
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

TEST_F(ImageTree, ExtractNeedsAFileAndTakesTheImageIntoANewProject)
{
    loadImages(2);
    TStitchObject* fromFile = w->StitchList[1].get();
    w->DPI = 2400;

    // A scanned image has no file yet.
    ASSERT_EQ(w->LoadImageFromHandle(patterned(20, 10, 9)), 3);
    tool->FillMeasurements(w, false);
    selectImages({w->StitchList[2].get()});
    QList<TF_SMDI*> before = ImageWindows();
    tool->A_ExtractImage->trigger();
    EXPECT_EQ(dialogs->shown().last().text, QStringLiteral("The image must be saved first!"));
    EXPECT_EQ(ImageWindows(), before);

    // From its file: a new window reads it; the old project keeps the image.
    selectImages({fromFile});
    tool->A_ExtractImage->trigger();
    TF_SMDI* extracted = newWindowBesides(before);
    ASSERT_NE(extracted, nullptr);
    ASSERT_EQ(extracted->StitchList.size(), 1u);
    EXPECT_EQ(extracted->StitchList[0]->filename, fromFile->filename);
    EXPECT_TRUE(showsPicture(*extracted->StitchList[0]->FD, patterned(40, 30, 1)));
    EXPECT_EQ(extracted->DPI, 2400) << "the picture keeps its resolution";
    EXPECT_EQ(tool->MDIForm(), extracted);
    EXPECT_EQ(w->StitchList.size(), 3u);

    // Embedded: the pixels the project holds, not the file's.
    tool->FillMeasurements(w, false);
    fromFile->Embedded = true;
    fromFile->FD->SetPixel(0, 0, TFColor{1, 2, 3});
    selectImages({fromFile});
    before = ImageWindows();
    tool->A_ExtractImage->trigger();
    TF_SMDI* embedded = newWindowBesides(before);
    ASSERT_NE(embedded, nullptr);
    ASSERT_EQ(embedded->StitchList.size(), 1u);
    const TStitchObject& copy = *embedded->StitchList[0];
    EXPECT_EQ(copy.filename, QStringLiteral("Unsaved"));
    EXPECT_TRUE(copy.ImageChanged);
    EXPECT_TRUE(embedded->Project->Changed);
    EXPECT_EQ(copy.Width, 40);
    EXPECT_EQ(copy.Height, 30);
    EXPECT_EQ(copy.FD->GetPixel(0, 0).r, 3);
    EXPECT_EQ(copy.FD->GetPixel(0, 0).b, 1);
    EXPECT_EQ(fdPixel(*copy.FD, 7, 5), fdPixel(*fromFile->FD, 7, 5));
    EXPECT_EQ(embedded->Area->width(), 40);
    EXPECT_EQ(tool->MDIForm(), embedded);
    for (TF_SMDI* made : {extracted, embedded})
        made->Project->Changed = false;
}

TEST_F(ImageTree, SaveImageAsOffersTheImagesTypeAndAppendsTheChosenOne)
{
    struct Row {
        const char* name;
        QString file;       // the image's file name before
        int offeredType;    // the dialog's type when it opens
        QString answer;     // the name typed
        int chosenType;
        QString saved;      // the file written
    };
    const QString d = dir.path() + QLatin1Char('/');
    const Row rows[] = {
        {"PNG in capitals, JPEG chosen, no extension typed", d + "upper.PNG", 3, d + "out", 2, d + "out.jpg"},
        {"BMP kept", d + "pic.bmp", 1, d + "pic2.bmp", 1, d + "pic2.bmp"},
        {"no file name: JPEG", QString(), 2, d + "named", 3, d + "named.png"},
    };
    loadImages(1);
    w->DPI = 1200;
    TStitchObject* so = w->StitchList[0].get();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        so->filename = r.file;
        so->ImageChanged = true;
        w->Project->Changed = false;
        selectImages({so});
        dialogs->answerFile(r.answer, r.chosenType);
        tool->A_SaveImageAs->trigger();
        const FileDialogRequest& asked = dialogs->shown().last().request;
        EXPECT_EQ(asked.filterIndex, r.offeredType);
        if (!r.file.isEmpty()) {
            EXPECT_EQ(asked.fileName, QFileInfo(r.file).fileName());
            EXPECT_EQ(QFileInfo(asked.initialDir).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
        }
        EXPECT_EQ(so->filename, r.saved);
        EXPECT_FALSE(so->ImageChanged);
        EXPECT_TRUE(w->Project->Changed);
        ASSERT_TRUE(QFile::exists(r.saved));
        QImageReader reader(r.saved);
        EXPECT_EQ(reader.format(), r.chosenType == 2 ? QByteArray("jpeg") : QFileInfo(r.saved).suffix().toLatin1());
        const QImage written = reader.read();
        EXPECT_TRUE(showsPicture(*so->FD, written.convertToFormat(QImage::Format_RGB32))
                    || r.chosenType == 2) << "lossless formats keep every pixel";
        // The project's resolution, not the screen's 96 dpi.
        EXPECT_NEAR(written.dotsPerMeterX() * 0.0254, 1200, 0.5);
        EXPECT_NEAR(written.dotsPerMeterY() * 0.0254, 1200, 0.5);
    }

    // Cancelled: nothing changes.
    so->ImageChanged = true;
    w->Project->Changed = false;
    dialogs->cancelFile();
    tool->A_SaveImageAs->trigger();
    EXPECT_TRUE(so->ImageChanged);
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

TEST_F(ImageTree, AFailedImageSaveKeepsTheNameButStillMarksTheProjectChanged)
{
    loadImages(1);
    TStitchObject* so = w->StitchList[0].get();
    const QString before = so->filename;
    so->ImageChanged = true;
    w->Project->Changed = false;
    selectImages({so});
    // A folder that does not exist cannot take the file.
    dialogs->answerFile(dir.filePath(QStringLiteral("missing/out.png")), 3);
    tool->A_SaveImageAs->trigger();
    EXPECT_EQ(so->filename, before);
    EXPECT_TRUE(so->ImageChanged);
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_TRUE(dialogs->shown().last().text.startsWith(QStringLiteral("Error saving image ")));
}

TEST_F(ImageTree, RevertReadsTheFileAgainAndKeepsChangesItCannotReplace)
{
    loadImages(1);
    TStitchObject* so = w->StitchList[0].get();
    const QImage original = patterned(40, 30, 0);
    selectImages({so});

    w->DoInvert();
    ASSERT_TRUE(so->ImageChanged);
    ASSERT_FALSE(showsPicture(*so->FD, original));
    tool->A_RevertImage->trigger();
    EXPECT_TRUE(showsPicture(*so->FD, original));
    EXPECT_FALSE(so->ImageChanged);
    EXPECT_EQ(dialogs->callCount(), 0) << "no question before reverting";

    struct Row {
        const char* name;
        QByteArray content; // empty: the file is gone
    };
    for (const Row& r : {Row{"missing file", {}}, Row{"damaged file", QByteArray("\x89PNG\r\n\x1a\n broken", 16)}}) {
        SCOPED_TRACE(r.name);
        const QString file = so->filename;
        QFile::remove(file);
        if (!r.content.isEmpty()) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(r.content);
        }
        w->DoInvert();
        tool->A_RevertImage->trigger();
        EXPECT_TRUE(so->ImageChanged) << "the changed pixels are still all there is";
        EXPECT_FALSE(showsPicture(*so->FD, original));
        EXPECT_TRUE(dialogs->shown().last().text.startsWith(QStringLiteral("Error loading image ") + file));
        EXPECT_EQ(dialogs->shown().last().type, mtError);
        ASSERT_TRUE(patterned(40, 30, 0).save(file));
        tool->A_RevertImage->trigger();
        EXPECT_FALSE(so->ImageChanged);
    }
}

TEST_F(ImageTree, ExportWritesTheWholeCanvasInTheChosenTypeAndRestoresTheView)
{
    loadImages(2);
    w->DPI = 1200;
    w->setZoom(5); // 6:1, so the canvas is larger than the window and scrolls
    ASSERT_GT(w->SB_H->maximum(), 0);
    w->SB_H->setValue(w->SB_H->maximum() / 2);
    w->SB_V->setValue(w->SB_V->maximum());
    const int h = w->SB_H->value(), v = w->SB_V->value();

    const struct {
        const char* typed;
        int chosenType;
        const char* written;
        QByteArray magic, format;
    } rows[] = {
        {"canvas.png", 3, "canvas.png", QByteArray("\x89PNG"), "png"},
        {"canvas", 2, "canvas.jpg", QByteArray("\xFF\xD8\xFF"), "jpeg"},
        {"canvas.bmp", 1, "canvas.bmp", QByteArray("BM"), "bmp"},
        {"named.png", 2, "named.png", QByteArray("\x89PNG"), "png"}, // the name says the type
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed);
        const QString file = dir.filePath(QString::fromLatin1(r.written));
        dialogs->answerMessage(mrNo);
        dialogs->answerFile(dir.filePath(QString::fromLatin1(r.typed)), r.chosenType);
        tool->A_ExportImageToSingleFile->trigger();
        // A default extension would be put on a bare name by the dialog, whatever type was chosen.
        EXPECT_TRUE(dialogs->shown().last().request.defaultExt.isEmpty());
        EXPECT_EQ(dialogs->shown().first().text, QStringLiteral("Add measurement paths to image?"));
        EXPECT_EQ(dialogs->shown().first().buttons, mbYesNoCancel);
        EXPECT_EQ(w->zoom(), 5);
        EXPECT_EQ(w->SB_H->value(), h);
        EXPECT_EQ(w->SB_V->value(), v);

        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.read(r.magic.size()), r.magic);
        written.close();
        QImageReader reader(file);
        EXPECT_EQ(reader.format(), r.format);
        const QImage picture = reader.read();
        ASSERT_EQ(picture.size(), QSize(80, 30));
        EXPECT_NEAR(picture.dotsPerMeterX() * 0.0254, 1200, 0.5);
        EXPECT_NEAR(picture.dotsPerMeterY() * 0.0254, 1200, 0.5);
        if (r.format == "jpeg")
            continue; // lossy
        const QImage canvas = picture.convertToFormat(QImage::Format_RGB32);
        for (QPoint p : {QPoint(0, 0), QPoint(39, 29), QPoint(40, 0), QPoint(79, 17)}) {
            const TStitchObject& so = *w->StitchList[p.x() < 40 ? 0 : 1];
            EXPECT_EQ(canvas.pixel(p), fdPixel(*so.FD, p.x() - so.x, p.y())) << p.x() << ", " << p.y();
        }
    }

    // Cancel at the question asks nothing more and writes nothing.
    const QString file = dir.filePath(QStringLiteral("canvas.png"));
    QFile::remove(file);
    const int calls = dialogs->callCount();
    dialogs->answerMessage(mrCancel);
    tool->A_ExportImageToSingleFile->trigger();
    EXPECT_EQ(dialogs->callCount(), calls + 1);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

// On a full disk the export and the save say so, keep the old file and mark nothing saved. PNG is
// left out: the toolkit's encoder leaks when its write fails, and this file runs with the leak check.
TEST_F(ImageTree, ExportAndSaveAsOnAFullDiskKeepTheOldFileAndMarkNothingSaved)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    loadImages(2);
    TStitchObject* so = w->StitchList[0].get();
    const QString before = so->filename;
    const struct {
        const char* target;
        int chosenType;
        bool export_; // the whole canvas; else "Save image as" of the first image
    } rows[] = {
        {"canvas.bmp", 1, true}, {"canvas.jpg", 2, true},
        {"image.bmp", 1, false}, {"image.jpg", 2, false},
    };
    const QByteArray old(3000, 'o');
    for (const auto& r : rows) {
        SCOPED_TRACE(r.target);
        const QString file = disk.path(QString::fromLatin1(r.target));
        disk.empty();
        QFile::remove(file);
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        so->ImageChanged = true;
        selectImages({so});
        ASSERT_TRUE(disk.fillLeaving(0));
        const int shown = dialogs->shown().size();
        if (r.export_)
            dialogs->answerMessage(mrNo); // no paths
        dialogs->answerFile(file, r.chosenType);
        (r.export_ ? tool->A_ExportImageToSingleFile : tool->A_SaveImageAs)->trigger();
        ASSERT_GT(dialogs->shown().size(), shown);
        EXPECT_EQ(dialogs->shown().last().type, mtError);
        EXPECT_TRUE(dialogs->shown().last().text.startsWith(QStringLiteral("Error saving image ") + file))
            << dialogs->shown().last().text.toStdString();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(disk.entries(), QStringList{QString::fromLatin1(r.target)}) << "no temporary is left";
        EXPECT_TRUE(so->ImageChanged);
        EXPECT_EQ(so->filename, before);
        f.close();

        // With room again the same command goes through: the failure was the disk's alone.
        disk.empty();
        if (r.export_)
            dialogs->answerMessage(mrNo);
        dialogs->answerFile(file, r.chosenType);
        (r.export_ ? tool->A_ExportImageToSingleFile : tool->A_SaveImageAs)->trigger();
        EXPECT_FALSE(QImage(file).isNull());
        EXPECT_EQ(so->ImageChanged, r.export_) << "only the save marks the image saved";
        so->filename = before;
        QFile::remove(file);
    }
    EXPECT_EQ(dialogs->unusedAnswers(), 0);
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

TEST_F(ImageTree, AnExportCancelledWhilePaintingWritesNoFile)
{
    loadImages(2);
    const int zoom = w->zoom();
    auto* progress = new TF_Progress;
    F_Progress = progress;
    const QString file = dir.filePath(QStringLiteral("canvas.bmp"));
    dialogs->answerMessage(mrYes);
    dialogs->answerFile(file, 1);
    dialogs->answerMessage(mrYes); // "Cancel image export?"
    // Cancel is pressed while the box runs its first events.
    QTimer::singleShot(0, progress, [progress] { progress->Tag = TF_Progress::TagCancelled; });
    tool->A_ExportImageToSingleFile->trigger();
    EXPECT_EQ(dialogs->shownTexts().last(), QStringLiteral("Cancel image export?"));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(w->zoom(), zoom);
    delete progress;
}

} // namespace
