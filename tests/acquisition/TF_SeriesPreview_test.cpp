// The series preview: large pictures fitted, small ones at 1:1 and centred, the caption with the
// picture's size, stepping through the series list with its selection, an unreadable file, and
// zooming and panning.
#include "acquisition/TF_SeriesPreview.h"

#include "acquisition/ImageView32.h"
#include "acquisition/TF_CreateSeries.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/FakeDialogs.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress2.h"

#include "support/ImageWindowTest.h"
#include "support/ModalDialogs.h"

#include "EventLoopWait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

using testhelpers::patterned;
using testhelpers::whenShown;

constexpr int DialogWaitMs = acquisitiontest::FuseMs;

class Preview : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(root.isValid());
        TF_ErrorLog::ClearLog();
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join(QLatin1Char('\n')).toStdString();
        delete F_SeriesPreview.data();
        delete F_CreateSeries.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString writeJpeg(const QString& name, int w, int h, int seed = 0)
    {
        const QString file = root.path() + QLatin1Char('/') + name;
        TFastDIB dib;
        EXPECT_TRUE(BitmapToDIB(patterned(w, h, seed).convertToFormat(QImage::Format_RGB888), dib));
        TFastJPG jpg;
        jpg.AttachImage(&dib);
        EXPECT_EQ(jpg.SaveFile(file), 0);
        return file;
    }

    // A preview of the given client size, shown without a modal loop.
    TF_SeriesPreview* openPreview(const QSize& client)
    {
        F_SeriesPreview = new TF_SeriesPreview;
        F_SeriesPreview->resize(client);
        F_SeriesPreview->show();
        QCoreApplication::processEvents();
        return F_SeriesPreview;
    }

    void wheel(TF_SeriesPreview* p, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* viewport = p->IV_Preview->viewport();
        const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
        QWheelEvent e(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &e);
    }

    FakeDialogs* fake = nullptr;
    QTemporaryDir root;
};

} // namespace

TEST_F(Preview, LargePictureFittedSmallOneAtOneToOneCentred)
{
    const QString large = writeJpeg(QStringLiteral("IMG_0042.jpg"), 5184, 3456);
    const QString small = writeJpeg(QStringLiteral("small.jpg"), 320, 240);
    TF_SeriesPreview* p = openPreview(QSize(642, 447));
    TImgView32* view = p->IV_Preview;
    ASSERT_EQ(view->viewport()->size(), QSize(642, 447));

    p->Reload(large);
    EXPECT_EQ(p->windowTitle(), QStringLiteral("IMG_0042.jpg (5184 x 3456)"));
    EXPECT_EQ(p->Filename, large);
    EXPECT_DOUBLE_EQ(view->effectiveScale(), 642.0 / 5184);
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible()) << "a fitted picture does not scroll";
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);

    p->Reload(small);
    EXPECT_EQ(p->windowTitle(), QStringLiteral("small.jpg (320 x 240)"));
    EXPECT_DOUBLE_EQ(view->effectiveScale(), 1.0);
    EXPECT_EQ(view->pictureOrigin(), QPointF((642 - 320) / 2, (447 - 240) / 2));
    // Pixels are shown as they are: the picture's corner pixel at the centred origin.
    const QImage shown = view->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixel(161, 103), view->bitmap().pixel(0, 0));
    EXPECT_EQ(shown.pixel(161 + 319, 103 + 239), view->bitmap().pixel(319, 239));
    EXPECT_EQ(shown.pixel(10, 10), TImgView32::Background);
    // The step buttons sit 80 pixels above the bottom, 10 pixels either side of the middle.
    EXPECT_EQ(p->B_Previous->geometry(), QRect(642 / 2 - 40 - 10, 447 - 80, 40, 32));
    EXPECT_EQ(p->B_Next->geometry(), QRect(642 / 2 + 10, 447 - 80, 40, 32));
}

TEST_F(Preview, UnreadableFileLeavesAnEmptyViewAndIsReported)
{
    const QString good = writeJpeg(QStringLiteral("good.jpg"), 64, 48);
    const QString bad = root.path() + QStringLiteral("/bad.jpg");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    TF_SeriesPreview* p = openPreview(QSize(400, 300));
    p->Reload(good);
    fake->answerMessage(mrOk);
    p->Reload(bad);
    EXPECT_EQ(p->windowTitle(), QStringLiteral("bad.jpg (0 x 0)"));
    EXPECT_TRUE(p->IV_Preview->bitmap().isNull()) << "the picture before must not show under the new name";
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_TRUE(fake->shown().first().text.startsWith(QStringLiteral("Error loading image ") + bad));
    EXPECT_TRUE(F_Progress2.isNull()) << "the busy box goes also on failure";
}

TEST_F(Preview, WheelZoomsFromTheFittedScaleAndLeftDragPans)
{
    const QString large = writeJpeg(QStringLiteral("large.jpg"), 2000, 1000);
    TF_SeriesPreview* p = openPreview(QSize(400, 300));
    p->Reload(large);
    ASSERT_DOUBLE_EQ(p->IV_Preview->effectiveScale(), 0.2);
    wheel(p, 1);
    EXPECT_EQ(p->zoom, 21);
    wheel(p, 1, Qt::ControlModifier);
    EXPECT_EQ(p->zoom, 31);
    EXPECT_DOUBLE_EQ(p->IV_Preview->effectiveScale(), 0.31);
    for (int i = 0; i < 5; ++i)
        wheel(p, -1, Qt::ControlModifier);
    EXPECT_EQ(p->zoom, 1) << "never below 1";

    // At 100 % the picture outgrows the view and the left button drags it.
    for (int i = 0; i < 10; ++i)
        wheel(p, 1, Qt::ControlModifier);
    wheel(p, -1);
    ASSERT_EQ(p->zoom, 100);
    QWidget* viewport = p->IV_Preview->viewport();
    const QPointF before = p->IV_Preview->ControlToBitmap(QPointF(200, 150));
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    QMouseEvent move(QEvent::MouseMove, QPointF(150, 120), viewport->mapToGlobal(QPointF(150, 120)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(150, 120));
    const QPointF after = p->IV_Preview->ControlToBitmap(QPointF(200, 150));
    EXPECT_EQ(after - before, QPointF(50, 30)) << "the picture follows the pointer";
}

TEST_F(Preview, StepsThroughTheSeriesListAndItsSelection)
{
    CreateSeriesValues values;
    values.LastPath = root.path();
    SaveCreateSeriesSettings(values);
    F_CreateSeries = new TF_CreateSeries;
    TF_CreateSeries* w = F_CreateSeries;
    w->show();
    QCoreApplication::processEvents();
    const QStringList files{writeJpeg(QStringLiteral("A_1.jpg"), 40, 30, 1), writeJpeg(QStringLiteral("A_2.jpg"), 50, 30, 2),
                            writeJpeg(QStringLiteral("A_3.jpg"), 60, 30, 3)};
    ASSERT_EQ(w->AddSavedImages(files), 3);
    w->VST->clearSelection();
    w->VST->topLevelItem(1)->setSelected(true);

    auto selectedRow = [w] {
        const QList<QTreeWidgetItem*> s = w->VST->selectedItems();
        return s.size() == 1 ? w->VST->indexOfTopLevelItem(s.first()) : -1;
    };
    QStringList titles;
    int rowsSeen[5] = {};
    whenShown<TF_SeriesPreview>([&](TF_SeriesPreview* p) {
        titles << p->windowTitle();
        QPushButton* order[] = {p->B_Next, p->B_Next, p->B_Previous, p->B_Previous, p->B_Previous};
        for (int i = 0; i < 5; ++i) {
            QTest::mouseClick(order[i], Qt::LeftButton);
            titles << p->windowTitle();
            rowsSeen[i] = selectedRow();
        }
        p->close();
    }, DialogWaitMs);
    w->VSTDblClick();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("A_2.jpg (50 x 30)"), QStringLiteral("A_3.jpg (60 x 30)"),
                                   QStringLiteral("A_3.jpg (60 x 30)"), QStringLiteral("A_2.jpg (50 x 30)"),
                                   QStringLiteral("A_1.jpg (40 x 30)"), QStringLiteral("A_1.jpg (40 x 30)")}));
    EXPECT_EQ(std::vector<int>(rowsSeen, rowsSeen + 5), (std::vector<int>{2, 2, 1, 0, 0}));
    EXPECT_TRUE(F_SeriesPreview.isNull()) << "the closed preview is gone";
    // A double-click in the list opens a new preview.
    bool again = false;
    whenShown<TF_SeriesPreview>([&again](TF_SeriesPreview* p) {
        again = p->windowTitle() == QStringLiteral("A_1.jpg (40 x 30)");
        p->close();
    }, DialogWaitMs);
    emit w->VST->itemDoubleClicked(w->VST->topLevelItem(0), 1);
    EXPECT_TRUE(again);
    w->ProjectSaved = true;
}
