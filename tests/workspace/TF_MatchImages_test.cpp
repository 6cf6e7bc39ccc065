// The alignment wizard with the real panorama tools on overlapping crops of one synthetic core at
// known offsets and on crops that do not overlap, with stand-in scripts that record what they are
// given or fail, and with tools that are missing; the main window's command that opens it.
#include "workspace/TF_MatchImages.h"

#include "platform/Delphi.h"
#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "samples/SampleCore.h"
#include "shell/TF_Main.h"
#include "shell/TPageControlEx.h"
#include "support/ImageWindowTest.h"
#include "support/MainWindowTest.h"
#include "support/ProjectObjects.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class MatchImagesTest : public testhelpers::ImageWindowTest {
protected:
    MatchImagesTest()
        : ImageWindowTest({900, 500})
    {
    }
    void SetUp() override
    {
        ImageWindowTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        SettingPath_PTOGen = QString::fromLatin1(DefaultPath_PTOGen);
        SettingPath_CPFind = QString::fromLatin1(DefaultPath_CPFind);
        core = samples::makeCore({2600, 320, 2400, 150, 7, 6});
    }
    void TearDown() override
    {
        wizard.reset();
        if (w)
            w->fImageLoadError = true;
        ImageWindowTest::TearDown();
        InitSettingVariables();
    }

    // The part of the core at `at`, saved as a JPEG and loaded into the window.
    QString crop(const QString& name, QRect at)
    {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(core.copy(at).save(file, "JPG", 95)) << name.toStdString();
        EXPECT_EQ(w->LoadImage(file, true), 0) << name.toStdString();
        return file;
    }
    QPoint pos(int i) const { return QPoint(w->StitchList[size_t(i)]->x, w->StitchList[size_t(i)]->y); }
    std::vector<QPoint> positions() const
    {
        std::vector<QPoint> p;
        for (size_t i = 0; i < w->StitchList.size(); ++i)
            p.push_back(pos(int(i)));
        return p;
    }
    void open()
    {
        wizard = std::make_unique<TF_MatchImages>();
        wizard->SMDI = w;
        wizard->show();
    }
    QString output() const { return wizard->M_DOS->toPlainText(); }
    // A stand-in program: a shell script with this body.
    QString script(const QString& name, const QString& body) const
    {
        const QString file = dir.filePath(name);
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return file;
    }
    QStringList lines(const QString& file) const
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {QStringLiteral("<missing>")};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QImage core;
    std::unique_ptr<TF_MatchImages> wizard;
};

} // namespace

TEST_F(MatchImagesTest, OverlappingCropsAreMovedToTheirOffsetsWithinAPixel)
{
    ASSERT_TRUE(QFileInfo(SettingPath_PTOGen).isExecutable() && QFileInfo(SettingPath_CPFind).isExecutable())
        << "the panorama tools (hugin-tools) are not installed";
    // Image k starts at these core pixels; they overlap by 300 pixels in x and differ in y.
    const QPoint at[] = {{0, 20}, {700, 26}, {1400, 16}};
    for (int i = 0; i < 3; ++i)
        crop(QStringLiteral("part%1.jpg").arg(i), QRect(at[i], QSize(1000, 280)));
    ASSERT_NE(pos(1) - pos(0), at[1] - at[0]) << "the window placed them side by side";

    open();
    EXPECT_EQ(wizard->LB_Images->count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(wizard->LB_Images->item(i)->checkState(), Qt::Checked);
    wizard->BB_Next1Click();
    EXPECT_TRUE(output().contains(QStringLiteral("Input PTO file created successfully.")));
    EXPECT_TRUE(output().contains(QStringLiteral("Output PTO file created successfully."))) << output().toStdString();
    ASSERT_TRUE(wizard->BB_Next2->isEnabled()) << output().toStdString();
    EXPECT_FALSE(wizard->P_Progress2->isVisible());

    wizard->BB_Next2Click();
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS3);
    ASSERT_EQ(wizard->VST_Match->topLevelItemCount(), 2);
    EXPECT_EQ(wizard->VST_Match->topLevelItem(0)->text(0), QStringLiteral("part0.jpg"));
    EXPECT_EQ(wizard->VST_Match->topLevelItem(0)->text(1), QStringLiteral("part1.jpg"));
    EXPECT_EQ(wizard->VST_Match->topLevelItem(1)->text(1), QStringLiteral("part2.jpg"));
    EXPECT_GT(wizard->VST_Match->topLevelItem(0)->text(2).toInt(), 3);
    EXPECT_TRUE(wizard->P_Warning->isHidden());
    for (int i = 1; i < 3; ++i) {
        const QPoint found = pos(i) - pos(0);
        const QPoint known = at[i] - at[0];
        EXPECT_LE(std::abs(found.x() - known.x()), 1) << i << ": " << found.x() << " for " << known.x();
        EXPECT_LE(std::abs(found.y() - known.y()), 1) << i << ": " << found.y() << " for " << known.y();
    }
    int minX = 1 << 30, minY = 1 << 30;
    for (const QPoint& p : positions()) {
        minX = std::min(minX, p.x());
        minY = std::min(minY, p.y());
    }
    EXPECT_EQ(QPoint(minX, minY), QPoint(0, 0));
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_EQ(dialogs->shownTexts(), QStringList());
}

TEST_F(MatchImagesTest, CropsThatDoNotOverlapSaySoAndNothingMoves)
{
    ASSERT_TRUE(QFileInfo(SettingPath_CPFind).isExecutable()) << "the panorama tools (hugin-tools) are not installed";
    crop(QStringLiteral("left.jpg"), QRect(0, 0, 900, 300));
    crop(QStringLiteral("right.jpg"), QRect(1600, 0, 900, 300));
    const auto before = positions();
    open();
    wizard->BB_Next1Click();
    EXPECT_TRUE(output().contains(QStringLiteral("No control points were found between the images")))
        << output().toStdString();
    EXPECT_FALSE(wizard->BB_Next2->isEnabled());
    EXPECT_EQ(positions(), before);
}

TEST_F(MatchImagesTest, MissingOrFailingToolsNameThemselvesAndTheirSetting)
{
    crop(QStringLiteral("a.jpg"), QRect(0, 0, 400, 200));
    crop(QStringLiteral("b.jpg"), QRect(300, 0, 400, 200));
    const QString failing = script(QStringLiteral("failing"), QStringLiteral("echo 'cannot read the images' >&2\nexit 3"));
    const QString ptoGen = QString::fromLatin1(DefaultPath_PTOGen);
    const QString missing = dir.filePath(QStringLiteral("no/such/tool"));
    const struct {
        const char* what;
        QString ptoGen, cpFind;
        QStringList box;        // the message box, if any
        QStringList inOutput;   // lines the memo must hold
    } rows[] = {
        {"pto_gen missing", missing, failing,
         {QStringLiteral("Cannot locate pto_gen\r\nPlease check the file path in setup!")},
         {QStringLiteral("field \"PTO_Gen\""), QStringLiteral("Error creating input PTO file!")}},
        {"cpfind missing", ptoGen, missing,
         {QStringLiteral("Cannot locate cpfind\r\nPlease check the file path in setup!")},
         {QStringLiteral("Input PTO file created successfully."), QStringLiteral("field \"CPFind\""),
          QStringLiteral("Error creating output PTO file!")}},
        {"pto_gen fails", failing, ptoGen, {},
         {QStringLiteral("cannot read the images"), QStringLiteral("pto_gen ended with the error code 3."),
          QStringLiteral("field \"PTO_Gen\": ") + failing, QStringLiteral("Error creating input PTO file!")}},
        {"cpfind fails", ptoGen, failing, {},
         {QStringLiteral("cpfind ended with the error code 3."), QStringLiteral("field \"CPFind\": ") + failing,
          QStringLiteral("Error creating output PTO file!")}},
        {"cpfind is no program", ptoGen, dir.filePath(QStringLiteral("a.jpg")), {},
         {QStringLiteral("cpfind could not be run"), QStringLiteral("Error creating output PTO file!")}},
    };
    const auto before = positions();
    for (const auto& r : rows) {
        if (!r.box.isEmpty() || r.ptoGen == ptoGen) {
            ASSERT_TRUE(QFileInfo(ptoGen).isExecutable()) << "the panorama tools (hugin-tools) are not installed";
        }
        SettingPath_PTOGen = r.ptoGen;
        SettingPath_CPFind = r.cpFind;
        const qsizetype asked = dialogs->shownTexts().size();
        open();
        wizard->BB_Next1Click();
        EXPECT_EQ(dialogs->shownTexts().mid(asked), r.box) << r.what;
        for (const QString& line : r.inOutput)
            EXPECT_TRUE(output().contains(line)) << r.what << ": no \"" << line.toStdString() << "\" in\n"
                                                 << output().toStdString();
        EXPECT_FALSE(wizard->BB_Next2->isEnabled()) << r.what;
        EXPECT_TRUE(wizard->B_Close->isEnabled()) << r.what;
        EXPECT_EQ(positions(), before) << r.what;
    }
}

TEST_F(MatchImagesTest, TheToolsGetTheTickedImagesInListOrderAndTheirFilesInAPrivateFolder)
{
    const QString a = crop(QStringLiteral("a.jpg"), QRect(0, 0, 300, 100));
    const QString b = crop(QStringLiteral("b b.jpg"), QRect(0, 0, 300, 100));
    const QString c = crop(QStringLiteral("c.jpg"), QRect(0, 0, 300, 100));
    const QString genLog = dir.filePath(QStringLiteral("gen.log"));
    const QString findLog = dir.filePath(QStringLiteral("find.log"));
    // pto_gen lists its images; cpfind copies the list and joins image 0 and 1 by one point.
    SettingPath_PTOGen = script(QStringLiteral("gen"), QStringLiteral(
        "printf '%s\\n' \"$@\" > '") + genLog + QStringLiteral("'\n"
        "out=$2; shift 2\n"
        "for f in \"$@\"; do printf 'i w10 h10 n\"%s\"\\n' \"$f\"; done > \"$out\""));
    SettingPath_CPFind = script(QStringLiteral("find"), QStringLiteral(
        "printf '%s\\n' \"$@\" > '") + findLog + QStringLiteral("'\n"
        "while [ $# -gt 0 ]; do case $1 in -o) out=$2; shift;; --*) ;; *) in=$1;; esac; shift; done\n"
        "cat \"$in\" > \"$out\"; echo 'c n0 N1 x100 y7 X0 Y0 t0' >> \"$out\""));

    open();
    // c first, b left out: c and a go to the tools, in that order.
    wizard->LB_Images->setCurrentRow(2);
    wizard->BB_UpClick();
    wizard->BB_UpClick();
    wizard->BB_UpClick(); // at the top already: stays
    EXPECT_EQ(wizard->LB_Images->item(0)->text(), c);
    EXPECT_EQ(wizard->LB_Images->currentRow(), 0);
    wizard->LB_Images->setCurrentRow(2);
    wizard->BB_DownClick(); // at the bottom already
    EXPECT_EQ(wizard->LB_Images->item(2)->text(), b);
    wizard->LB_Images->item(2)->setCheckState(Qt::Unchecked);
    wizard->CB_LinearMatch->setChecked(true);
    wizard->BB_Next1Click();

    const QString temp = wizard->TempFolder();
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_TRUE(temp.startsWith(GetTempFolder())) << "inside the program's own temporary folder";
    EXPECT_EQ(lines(genLog), (QStringList{QStringLiteral("-o"), temp + QStringLiteral("in.pto"), c, a}));
    EXPECT_EQ(lines(findLog), (QStringList{QStringLiteral("--linearmatch"), QStringLiteral("-o"),
                                           temp + QStringLiteral("out.pto"), temp + QStringLiteral("in.pto")}));
    ASSERT_TRUE(wizard->BB_Next2->isEnabled()) << output().toStdString();
    const QPoint cAt = pos(2);
    wizard->BB_Next2Click();
    // a (image 1 of the tools) follows c (image 0): its pixel 0 is c's pixel 100, seven rows down.
    EXPECT_EQ(pos(0) - pos(2), QPoint(100, 7));
    EXPECT_TRUE(wizard->P_Warning->isHidden());
    EXPECT_NE(cAt, pos(2)) << "the canvas was shifted to the origin";

    // Without linear matching cpfind is asked for every pair.
    wizard->BB_Next3Click();
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS1);
    wizard->CB_LinearMatch->setChecked(false);
    wizard->BB_Next1Click();
    EXPECT_EQ(lines(findLog).first(), QStringLiteral("-o"));
}

// ---- the main window's command ----

namespace {

class AlignCommand : public testhelpers::MainWindowTest {};

} // namespace

TEST_F(AlignCommand, OpensTheWizardOnlyForSavedImagesWithoutMeasurements)
{
    createMain();
    fake->answerMessage(mrNo); // the file association question
    main->show();
    QCoreApplication::processEvents();
    QImage picture(200, 80, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    const QString a = dir.filePath(QStringLiteral("a.jpg"));
    const QString b = dir.filePath(QStringLiteral("b.jpg"));
    ASSERT_TRUE(picture.save(a) && picture.save(b));
    TF_SMDI* w = CreateImageWindow();
    ASSERT_EQ(w->LoadImage(a, true), 0);
    ASSERT_EQ(w->LoadImage(b, true), 0);
    QCoreApplication::processEvents();
    main->AMUpdate();
    ASSERT_TRUE(main->A_MatchImages->isEnabled());

    const qsizetype asked = fake->shownTexts().size();
    ASSERT_FALSE(w->PathList.empty());
    testhelpers::addIndex(*w->PathList.front(), QPoint(5, 5));
    main->A_MatchImages->trigger();
    w->PathList.front()->ObjectList.clear();
    QFile::remove(b);
    main->A_MatchImages->trigger();
    EXPECT_EQ(fake->shownTexts().mid(asked),
              (QStringList{QStringLiteral("This operation can only be performed on empty projects that do not contain "
                                          "measurement or index points!"),
                           QStringLiteral("Images must be saved before matching!")}));
    EXPECT_EQ(main->findChild<TF_MatchImages*>(), nullptr);

    ASSERT_TRUE(picture.save(b));
    main->A_MatchImages->trigger();
    auto* wizard = main->findChild<TF_MatchImages*>();
    ASSERT_NE(wizard, nullptr);
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(wizard->SMDI, w);
    EXPECT_EQ(wizard->LB_Images->count(), 2);
    wizard->close();
    w->fImageLoadError = true;
}
