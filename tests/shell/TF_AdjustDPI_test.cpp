// The resolution calibration wizard: the arithmetic from pixels and a real length to DPI in every
// unit, and the three pages driven by clicks in an image window, with Back, Cancel, Accept, the
// refusals of lengths and points that give no resolution, and a restart from another window.
#include "shell/TF_AdjustDPI.h"

#include "platform/FakeDialogs.h"
#include "project/TJEXProject.h"
#include "shell/TFloatEdit.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(CalibrationArithmetic, UnitsAndResolutions)
{
    const char* texts[] = {"cm", "mm", "1/10th mm", "1/100th mm", "inch", "1/10th inch", "1/100 inch"};
    const double perInch[] = {2.54, 25.4, 254, 2540, 1, 10, 100};
    TF_AdjustDPI wizard;
    ASSERT_EQ(wizard.CB_units->count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(wizard.CB_units->itemText(i), QString::fromLatin1(texts[i]));
        EXPECT_EQ(TF_AdjustDPI::UnitsPerInch(i), perInch[i]) << texts[i];
    }
    EXPECT_EQ(TF_AdjustDPI::UnitsPerInch(-1), 0);
    EXPECT_EQ(TF_AdjustDPI::UnitsPerInch(7), 0);

    struct Row {
        const char* name;
        double pixels, length;
        int unit;
        int dpi;
    };
    const Row rows[] = {
        {"254 px over 10 mm", 254, 10, 1, 645}, // 645.16
        {"1200 px over an inch", 1200, 1, 4, 1200},
        {"1200 px over 2.54 cm", 1200, 2.54, 0, 1200},
        {"600 px over 127 tenths of a mm", 600, 127, 2, 1200},
        {"600 px over 1270 hundredths of a mm", 600, 1270, 3, 1200},
        {"300 px over 5 tenths of an inch", 300, 5, 5, 600},
        {"300 px over 25 hundredths of an inch", 300, 25, 6, 1200},
        {"a half goes to the even neighbour", 5, 2, 4, 2},
        {"another half goes up to the even one", 7, 2, 4, 4},
        {"no length", 254, 0, 1, 0},
        {"a negative length", 254, -10, 1, 0},
        {"both points the same", 0, 10, 1, 0},
        {"below 1 DPI", 1, 100, 0, 0},
        {"beyond any integer", 1e6, 0.0001, 6, std::numeric_limits<int>::max()},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TF_AdjustDPI::ComputeDPI(r.pixels, r.length, TF_AdjustDPI::UnitsPerInch(r.unit)), r.dpi) << r.name;
}

class Calibration : public testhelpers::ImageWindowTest {
protected:
    Calibration()
        : ImageWindowTest({700, 400}, QPoint(20, 20))
    {
    }
    void SetUp() override
    {
        ImageWindowTest::SetUp();
        F_AdjustDPI = new TF_AdjustDPI;
        ASSERT_EQ(w->LoadImageFromHandle(testhelpers::patterned(600, 120)), 1);
        w->UpdateArea();
        w->setZoom(10);
        w->SB_H->setValue(0);
        w->SB_V->setValue(0);
        w->DPI = 1200;
        w->Project->Changed = false;
    }
    void TearDown() override
    {
        delete F_AdjustDPI.data();
        ImageWindowTest::TearDown();
    }

    // A left press on the window's resolution button.
    static void startOn(TF_SMDI* window) { QTest::mousePress(window->SB_DPI, Qt::LeftButton); }
    // The mouse comes to the point and clicks there, as the user picks a point.
    void pick(QPoint p)
    {
        w->PBMouseMove(Qt::NoButton, {}, p.x(), p.y());
        QTest::mouseClick(w->PB, Qt::LeftButton, {}, p);
    }
    // Both points picked: the wizard is on its last page.
    void pickBoth(QPoint a, QPoint b)
    {
        startOn(w);
        pick(a);
        w->PBMouseMove(Qt::NoButton, {}, b.x(), b.y());
        pick(b);
    }
    QWidget* page() const { return F_AdjustDPI->PC_AdjustDPI->currentWidget(); }
};

TEST_F(Calibration, TwoPointsAndALengthGiveTheResolution)
{
    startOn(w);
    ASSERT_TRUE(F_AdjustDPI->isVisible());
    EXPECT_EQ(F_AdjustDPI->MDIForm, w);
    EXPECT_EQ(w->ScreenMode(), mmDPIPoint1);
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI1);

    w->PBMouseMove(Qt::NoButton, {}, 100, 50);
    EXPECT_EQ(F_AdjustDPI->E_X1->text(), QStringLiteral("100"));
    EXPECT_EQ(F_AdjustDPI->E_Y1->text(), QStringLiteral("50"));
    pick({100, 50});
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI2);
    w->PBMouseMove(Qt::NoButton, {}, 354, 50);
    EXPECT_EQ(F_AdjustDPI->E_X2->text(), QStringLiteral("354"));
    EXPECT_EQ(F_AdjustDPI->E_Y2->text(), QStringLiteral("50"));
    EXPECT_EQ(F_AdjustDPI->E_Distance->text(), QStringLiteral("254.00"));
    pick({354, 50});
    EXPECT_EQ(w->ScreenMode(), mmDPIDone);
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI3);

    F_AdjustDPI->CB_units->setCurrentIndex(1);
    F_AdjustDPI->FE_Distance->setText(QStringLiteral("10"));
    EXPECT_EQ(F_AdjustDPI->L_IRes->text(), QStringLiteral("Image resolution 645 DPI"));
    // Another unit recomputes at once: 254 / (10 / 2.54) = 64.5.
    F_AdjustDPI->CB_units->setCurrentIndex(0);
    EXPECT_EQ(F_AdjustDPI->L_IRes->text(), QStringLiteral("Image resolution 65 DPI"));
    // Enter in the length box takes the whole text for the next typing and is no button's.
    QTest::keyClick(F_AdjustDPI->FE_Distance, Qt::Key_Return);
    EXPECT_EQ(F_AdjustDPI->FE_Distance->selectedText(), F_AdjustDPI->FE_Distance->text());
    EXPECT_TRUE(F_AdjustDPI->isVisible());

    F_AdjustDPI->B_Accept->click();
    EXPECT_FALSE(F_AdjustDPI->isVisible());
    EXPECT_EQ(w->DPI, 65);
    EXPECT_EQ(w->SB_DPI->text(), QStringLiteral("65"));
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_EQ(dialogs->shownTexts(), QStringList{QStringLiteral("The DPI resolution was changed to 65 dpi.")});
    EXPECT_EQ(F_AdjustDPI->MyDPI, 65);
}

TEST_F(Calibration, LengthsAndPointsThatGiveNoResolutionAreRefused)
{
    struct Row {
        const char* name;
        QPoint second;
        QString length;
        QString message;
    };
    const QString noLength = QStringLiteral("The real world distance must be greater than 0!");
    const Row rows[] = {
        {"no length typed", {354, 50}, QString(), noLength},
        {"a length of 0", {354, 50}, QStringLiteral("0"), noLength},
        {"a negative length", {354, 50}, QStringLiteral("-10"), noLength},
        {"both points the same", {100, 50}, QStringLiteral("10"),
         QStringLiteral("The two points are the same!\r\nClick both ends of a known distance.")},
        {"less than 1 DPI", {101, 50}, QStringLiteral("100"),
         QStringLiteral("The resolution would be less than 1 DPI!\r\nCheck the distance and its unit.")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        pickBoth({100, 50}, r.second);
        F_AdjustDPI->FE_Distance->setText(r.length);
        F_AdjustDPI->CB_units->setCurrentIndex(0);
        EXPECT_TRUE(F_AdjustDPI->L_IRes->text().isEmpty()) << "no result is shown";
        const int shown = int(dialogs->shown().size());
        F_AdjustDPI->B_Accept->click();
        ASSERT_EQ(int(dialogs->shown().size()), shown + 1);
        EXPECT_EQ(dialogs->shown().last().text, r.message);
        EXPECT_EQ(dialogs->shown().last().type, mtError);
        EXPECT_TRUE(F_AdjustDPI->isVisible()) << "the user can correct it";
        EXPECT_EQ(w->DPI, 1200);
        EXPECT_EQ(w->ScreenMode(), mmDPIDone);

        // Cancel leaves the resolution as it was and the window selecting again.
        F_AdjustDPI->B_Cancel->click();
        EXPECT_FALSE(F_AdjustDPI->isVisible());
        EXPECT_EQ(w->DPI, 1200);
        EXPECT_EQ(w->ScreenMode(), mmSelect);
    }
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

TEST_F(Calibration, AClearedLengthTakesItsResultAlong)
{
    pickBoth({100, 50}, {354, 50});
    F_AdjustDPI->CB_units->setCurrentIndex(1);
    F_AdjustDPI->FE_Distance->setText(QStringLiteral("10"));
    ASSERT_FALSE(F_AdjustDPI->L_IRes->text().isEmpty());
    F_AdjustDPI->FE_Distance->clear();
    EXPECT_TRUE(F_AdjustDPI->L_IRes->text().isEmpty());
    F_AdjustDPI->B_Accept->click();
    EXPECT_EQ(w->DPI, 1200) << "the result of a length no longer typed is not taken";
}

TEST_F(Calibration, BackPicksThePointsAgainAndKeepsTheLength)
{
    pickBoth({100, 50}, {354, 50});
    F_AdjustDPI->FE_Distance->setText(QStringLiteral("1"));
    F_AdjustDPI->B_Back3->click();
    EXPECT_EQ(w->ScreenMode(), mmDPIPoint2);
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI2);
    w->PBMouseMove(Qt::NoButton, {}, 200, 50);
    EXPECT_EQ(w->DPI2, QPoint(200, 50)) << "the end point follows the mouse again";
    F_AdjustDPI->B_Back2->click();
    EXPECT_EQ(w->ScreenMode(), mmDPIPoint1);
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI1);
    pick({0, 50});
    w->PBMouseMove(Qt::NoButton, {}, 300, 50);
    pick({300, 50});
    EXPECT_EQ(F_AdjustDPI->FE_Distance->text(), QStringLiteral("1"));
    // Back on the last page, the kept length gives the new points' resolution at once: 300 px over 1 cm.
    EXPECT_EQ(F_AdjustDPI->L_IRes->text(), QStringLiteral("Image resolution 762 DPI"));
    F_AdjustDPI->CB_units->setCurrentIndex(4);
    EXPECT_EQ(F_AdjustDPI->L_IRes->text(), QStringLiteral("Image resolution 300 DPI"));
}

// The marks of the points go from the window as soon as Back asks for the first point again.
TEST_F(Calibration, BackToTheStartPointTakesItsMarksAway)
{
    auto redPixels = [this] {
        const QImage shown = w->PB->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                n += shown.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
        return n;
    };
    const int unmarked = redPixels();
    startOn(w);
    pick({100, 50});
    w->PBMouseMove(Qt::NoButton, {}, 354, 50);
    ASSERT_GT(redPixels(), unmarked) << "the start point and the line to the mouse show";
    F_AdjustDPI->B_Back2->click();
    EXPECT_EQ(redPixels(), unmarked);
}

TEST_F(Calibration, ShownAgainItStartsInCentimetresAtTheFirstPoint)
{
    pickBoth({100, 50}, {354, 50});
    F_AdjustDPI->CB_units->setCurrentIndex(4);
    F_AdjustDPI->FE_Distance->setText(QStringLiteral("1"));
    F_AdjustDPI->B_Cancel->click();
    startOn(w);
    EXPECT_EQ(F_AdjustDPI->CB_units->currentText(), QStringLiteral("cm"));
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI1);
    EXPECT_TRUE(F_AdjustDPI->L_IRes->text().isEmpty());
}

TEST_F(Calibration, StartingOnAnotherWindowAsksBeforeItInterrupts)
{
    QPointer<TF_SMDI> other = new TF_SMDI;
    other->show();
    ASSERT_EQ(other->LoadImageFromHandle(testhelpers::patterned(50, 50)), 1);
    other->Project->Changed = false;
    startOn(w);
    pick({10, 10});

    dialogs->answerMessage(mrNo);
    startOn(other);
    EXPECT_EQ(dialogs->shown().last().text, QStringLiteral("This will interrupt the current resolution adaption!\r\nContinue?"));
    EXPECT_EQ(F_AdjustDPI->MDIForm, w);
    EXPECT_EQ(w->ScreenMode(), mmDPIPoint2);
    EXPECT_EQ(other->ScreenMode(), mmSelect);

    dialogs->answerMessage(mrYes);
    startOn(other);
    EXPECT_EQ(F_AdjustDPI->MDIForm, other.data());
    EXPECT_TRUE(F_AdjustDPI->isVisible());
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_EQ(other->ScreenMode(), mmDPIPoint1);
    EXPECT_TRUE(other->Project->Changed);
    EXPECT_EQ(page(), F_AdjustDPI->TS_DPI1);

    // Closing the window being calibrated ends its calibration.
    other->Project->Changed = false;
    other->fImageLoadError = true;
    other->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(F_AdjustDPI->isVisible());
    delete other.data();
}

} // namespace
