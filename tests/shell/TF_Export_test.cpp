// Export wizard: pages, texts and navigation, the series tree, the memos each format writes, what
// is saved, failed saves and the entries kept from one export to the next.
#include "shell/TF_Export.h"

#include "platform/Cp1252.h"
#include "platform/FakeDialogs.h"
#include "project/Exports.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_SMDI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

class ExportWizard : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        auto fake = std::make_unique<FakeDialogs>();
        fakeDialogs = fake.get();
        setDialogs(std::move(fake));
        savedUnits = SettingUnits;
        SettingUnits = 7; // pixels: widths read as the distances below
        SettingStandardDPI = 1200;

        window = new TF_SMDI;
        window->DPI = 2540; // one pixel is 1/100 mm: the Heidelberg and Tucson values are the pixel widths too
        window->PathList.clear(); // the paths below only
        oak = addPath("Oak", {100, 150, 30});
        beech = addPath("Beech", {12, 1234, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
        empty = addPath("Empty", {});

        wizard = std::make_unique<TF_Export>();
        wizard->MDI = window;
    }
    void TearDown() override
    {
        wizard.reset();
        delete window;
        SettingUnits = savedUnits;
        setDialogs(nullptr);
    }

    // A path along the x axis: one index point at 0, then rings of the given pixel widths.
    TPath* addPath(const char* name, const QVector<int>& widths)
    {
        auto path = std::make_unique<TPath>();
        path->Name = QString::fromLatin1(name);
        path->GUID = QStringLiteral("{%1}").arg(QString::fromLatin1(name));
        auto index = std::make_unique<TIndex>();
        index->Pos = QPoint(0, 5);
        index->Path = path.get();
        int x = 0;
        for (int w : widths) {
            auto m = std::make_unique<TMeasurement>();
            x += w;
            m->Pos = QPoint(x, 5);
            m->Path = path.get();
            m->Index = index.get();
            index->ObjectList.push_back(std::move(m));
        }
        path->ObjectList.push_back(std::move(index));
        window->PathList.push_back(std::move(path));
        return window->PathList.back().get();
    }

    void open() { wizard->show(); }
    // From the first page to the format page of the given radio button.
    void goTo(QRadioButton* format)
    {
        open();
        format->setChecked(true);
        wizard->B_Continue->click();
        wizard->B_Continue->click();
    }
    void check(int node, bool checked)
    {
        wizard->VSTP->topLevelItem(node)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
    QByteArray readFile(const QString& name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static QByteArray crlf(const QStringList& lines)
    {
        QByteArray bytes;
        for (const QString& l : lines)
            bytes += Cp1252::fromUnicode(l) + "\r\n";
        return bytes;
    }

    QTemporaryDir dir;
    FakeDialogs* fakeDialogs = nullptr;
    int savedUnits = 3;
    TF_SMDI* window = nullptr;
    TPath* oak = nullptr;
    TPath* beech = nullptr;
    TPath* empty = nullptr;
    std::unique_ptr<TF_Export> wizard;
};

TEST_F(ExportWizard, PagesTextsAndNavigation)
{
    open();
    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("Exporting data"));
    EXPECT_EQ(wizard->L_Header->text(), QStringLiteral("Exporting data"));
    EXPECT_TRUE(wizard->RB_FH->isChecked());
    for (int i = 0; i < wizard->PCE->count(); ++i)
        EXPECT_FALSE(wizard->PCE->isTabVisible(i)) << i;

    auto expectPage = [&](QWidget* page, const char* header, bool back, const char* cont) {
        EXPECT_EQ(wizard->PCE->currentWidget(), page) << header;
        EXPECT_EQ(wizard->M_Header->text(), QString::fromLatin1(header));
        EXPECT_EQ(wizard->B_Back->isEnabled(), back) << header;
        EXPECT_EQ(wizard->B_Continue->text(), QString::fromLatin1(cont)) << header;
    };
    expectPage(wizard->TS_1, "Select a file format for exporting", false, "Continue");
    wizard->B_Continue->click();
    expectPage(wizard->TS_2, "Select records to export", true, "Continue");
    wizard->B_Back->click();
    expectPage(wizard->TS_1, "Select a file format for exporting", false, "Continue");

    const struct {
        QRadioButton* format;
        QWidget* page;
        const char* header;
    } rows[] = {
        {wizard->RB_FH, wizard->TS_FH, "Export to Format Heidelberg"},
        {wizard->RB_Tucson, wizard->TS_Tucson, "Export to Tucson RWL file format\nRing information will be lost!"},
        {wizard->RB_ASCII, wizard->TS_ASCII, "Export to ASCII file format\nRing information will be lost!"},
        {wizard->RB_CoordinatesASCII, wizard->TS_CoordinatesASCII, "Export Coordinates to ASCII"},
    };
    for (const auto& r : rows) {
        r.format->setChecked(true);
        wizard->B_Continue->click();
        wizard->B_Continue->click();
        expectPage(r.page, r.header, true, "Save");
        wizard->B_Back->click();
        expectPage(wizard->TS_2, "Select records to export", true, "Continue");
        wizard->B_Back->click();
    }
    // The four formats are one choice, though they sit in two boxes.
    wizard->RB_CoordinatesASCII->setChecked(true);
    EXPECT_FALSE(wizard->RB_FH->isChecked());

    wizard->B_Cancel->click();
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(wizard->result(), int(QDialog::Rejected));
    EXPECT_TRUE(fakeDialogs->shown().isEmpty());
}

TEST_F(ExportWizard, SeriesTreeFollowsPathsAndKeycode)
{
    open();
    ASSERT_EQ(wizard->VSTP->topLevelItemCount(), 3);
    EXPECT_EQ(wizard->VSTP->headerItem()->text(0), QStringLiteral("Series"));
    EXPECT_EQ(wizard->VSTP->headerItem()->text(1), QStringLiteral("Rings"));
    const char* names[] = {"Oak", "Beech", "Empty"};
    const char* rings[] = {"3", "13", "0"};
    for (int i = 0; i < 3; ++i) {
        QTreeWidgetItem* node = wizard->VSTP->topLevelItem(i);
        EXPECT_EQ(node->checkState(0), Qt::Checked) << i;
        EXPECT_EQ(node->text(0), QString::fromLatin1(names[i]));
        EXPECT_EQ(node->text(1), QString::fromLatin1(rings[i]));
    }
    wizard->E_Keycode->setText(QStringLiteral("GER-"));
    EXPECT_EQ(wizard->VSTP->topLevelItem(1)->text(0), QStringLiteral("GER-Beech"));
    check(1, false);
    EXPECT_EQ(wizard->CheckedPaths(), (QList<TPath*>{oak, empty}));
}

TEST_F(ExportWizard, EachFormatWritesTheCheckedPathsInTreeOrder)
{
    goTo(wizard->RB_FH);
    wizard->E_Keycode->setText(QStringLiteral("K"));
    wizard->E_Loc->setText(QStringLiteral("Harz"));
    wizard->CB_Species->setEditText(QStringLiteral("PCAB"));
    check(0, false);
    wizard->BB_UpdateFH->click();
    HeidelbergHeader h;
    h.species = QStringLiteral("PCAB");
    h.location = QStringLiteral("Harz");
    QStringList fh;
    for (TPath* p : {beech, empty}) {
        h.keycode = QStringLiteral("K") + p->Name;
        fh += heidelbergLines(h, ringValues(*p, RingWidthFileUnits, window->DPI));
    }
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_FH), fh);
    EXPECT_TRUE(TF_Export::MemoLines(wizard->M_FH).contains(QStringLiteral("Keycode=KBeech")));

    // Tucson numbers the exported paths, not the tree's nodes.
    wizard->B_Back->click();
    wizard->B_Back->click();
    wizard->RB_Tucson->setChecked(true);
    wizard->B_Continue->click();
    wizard->B_Continue->click();
    wizard->E_Identifier->setText(QStringLiteral("ABC"));
    wizard->BB_UpdateTuc->click();
    const QStringList tucson = tucsonLines(QStringLiteral("ABC001"), {12, 1234, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17})
        + tucsonLines(QStringLiteral("ABC002"), {});
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_Tuc), tucson);

    // Free ASCII: the fill list starts at its first entry; every change rewrites the memo.
    wizard->B_Back->click();
    wizard->B_Back->click();
    wizard->RB_ASCII->setChecked(true);
    wizard->B_Continue->click();
    wizard->B_Continue->click();
    EXPECT_EQ(wizard->CB_ASCIIFILL->currentIndex(), 0);
    EXPECT_EQ(wizard->SE_ASCIILines->value(), 10);
    EXPECT_EQ(wizard->SE_ASCIILen->value(), 6);
    wizard->SE_ASCIILines->setValue(4);
    wizard->CB_ASCIISEP->setCurrentIndex(2);
    wizard->CB_ASCIIFILL->setCurrentIndex(1);
    wizard->SE_ASCIILen->setValue(3);
    AsciiOptions a;
    a.valuesPerLine = 4;
    a.separator = QStringLiteral(",");
    a.fillLength = 3;
    a.fill = QLatin1Char('0');
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_ASCII),
              asciiLines(QStringLiteral("Beech"), {12, 1234, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}, a)
                  + asciiLines(QStringLiteral("Empty"), QVector<double>{}, a));
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_ASCII).value(1), QStringLiteral("012,1234,007,008,"));

    // Coordinates: the separator list starts at its first entry (a tab).
    wizard->B_Back->click();
    check(0, true);
    check(1, false);
    check(2, false);
    wizard->B_Back->click();
    wizard->RB_CoordinatesASCII->setChecked(true);
    wizard->B_Continue->click();
    wizard->B_Continue->click();
    EXPECT_EQ(wizard->CB_CooSep->currentIndex(), 0);
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_CooASCII),
              (QStringList{"Type\tX\tY\tComment", "Oak", "I\t0\t5\t", "M\t100\t5\t", "M\t250\t5\t", "M\t280\t5\t"}));
    wizard->CB_AsciiCooMP->setChecked(false);
    wizard->CB_CooSep->setCurrentIndex(2);
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_CooASCII), (QStringList{"Type,X,Y,Comment", "Oak", "I,0,5,"}));
    wizard->CB_AsciiCooIncludePath->setChecked(false);
    wizard->CB_AsciiCooIndex->setChecked(false);
    // The empty line that stands for the path is kept even as the last line.
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_CooASCII), (QStringList{"Type,X,Y,Comment", ""}));
}

TEST_F(ExportWizard, NothingCheckedGivesEmptyMemosOrOnlyTheHeader)
{
    open();
    wizard->B_Continue->click();
    for (int i = 0; i < 3; ++i)
        check(i, false);
    wizard->CreateFH();
    wizard->CreateTucson();
    wizard->CreateASCII();
    wizard->CreateCoordinatesASCII();
    EXPECT_TRUE(wizard->M_FH->toPlainText().isEmpty());
    EXPECT_TRUE(wizard->M_Tuc->toPlainText().isEmpty());
    EXPECT_TRUE(wizard->M_ASCII->toPlainText().isEmpty());
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_CooASCII), QStringList{"Type\tX\tY\tComment"});
}

TEST_F(ExportWizard, WidthsUseTheWindowsResolutionWithoutPainting)
{
    // 1/100 mm at 2540 dpi: one pixel is one unit, so the pixel widths come back.
    SettingUnits = 3;
    window->DPI = 2540;
    for (const auto& i : oak->ObjectList)
        for (const auto& m : i->ObjectList)
            m->distance = 0; // never painted
    goTo(wizard->RB_Tucson);
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_Tuc).value(0),
              QStringLiteral("000001  0000   100   150    30   999"));
    window->DPI = 1270; // twice the units per pixel
    wizard->BB_UpdateTuc->click();
    EXPECT_EQ(TF_Export::MemoLines(wizard->M_Tuc).value(0),
              QStringLiteral("000001  0000   200   300    60   999"));
}

TEST_F(ExportWizard, HeidelbergAndTucsonAreHundredthsOfAMillimetreInEveryUnit)
{
    // Oak's rings are 1.00, 1.50 and 0.30 mm; free ASCII follows the unit the tree shows.
    const struct {
        int units;
        const char* ascii;
    } rows[] = {
        {0, "Oak|0.100 0.150 0.030 "},    {1, "Oak|1.00 1.50 0.30 "},    {2, "Oak|10.0 15.0 3.0 "},
        {3, "Oak|100 150 30 "},           {4, "Oak|0.0394 0.0591 0.0118 "}, {5, "Oak|0.394 0.591 0.118 "},
        {6, "Oak|3.94 5.91 1.18 "},       {7, "Oak|100 150 30 "},
    };
    open();
    check(1, false);
    check(2, false);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.units);
        SettingUnits = r.units;
        wizard->CreateFH();
        wizard->CreateTucson();
        wizard->SE_ASCIILen->setValue(0);
        wizard->CreateASCII();
        const QStringList fh = TF_Export::MemoLines(wizard->M_FH);
        EXPECT_EQ(fh.value(fh.indexOf(QStringLiteral("DATA:Tree")) + 1),
                  QStringLiteral("   100   150    30     0     0     0     0     0     0     0"));
        EXPECT_EQ(TF_Export::MemoLines(wizard->M_Tuc).value(0), QStringLiteral("000001  0000   100   150    30   999"));
        EXPECT_EQ(TF_Export::MemoLines(wizard->M_ASCII).join(QLatin1Char('|')), QString::fromLatin1(r.ascii));
    }
}

TEST_F(ExportWizard, SaveWritesTheMemoAsAnsiWithCrLf)
{
    const struct {
        QRadioButton* format;
        QPlainTextEdit* memo;
        const char* title;
        const char* ext;
        const char* filter;
    } rows[] = {
        {wizard->RB_FH, wizard->M_FH, "Export to Format Heidelberg", "FH", "Format Heidelberg files|*.fh"},
        {wizard->RB_Tucson, wizard->M_Tuc, "Export to Tucson RWL file format", "rwl", "Tucson RWL files|*.rwl"},
        {wizard->RB_ASCII, wizard->M_ASCII, "Export to ASCII", "txt", "ASCII files|*.txt"},
        {wizard->RB_CoordinatesASCII, wizard->M_CooASCII, "Export Coordinates to ASCII", "txt", "ASCII files|*.txt"},
    };
    int n = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.title);
        goTo(r.format);
        // What the user edited in the memo is what is saved, in the code page, with CR LF.
        r.memo->appendPlainText(QStringLiteral("Eiche \u00e9 \u20ac"));
        const QStringList lines = TF_Export::MemoLines(r.memo);
        ASSERT_FALSE(lines.isEmpty());
        const QString target = dir.filePath(QStringLiteral("out%1").arg(n++)); // no extension: the default one is added
        fakeDialogs->answerFile(target);
        wizard->B_Continue->click();
        ASSERT_FALSE(fakeDialogs->shown().isEmpty());
        const FakeDialogs::Shown& asked = fakeDialogs->shown().last();
        EXPECT_EQ(asked.kind, FakeDialogs::Kind::SaveFile);
        EXPECT_EQ(asked.request.title, QString::fromLatin1(r.title));
        EXPECT_EQ(asked.request.defaultExt, QString::fromLatin1(r.ext));
        EXPECT_EQ(asked.request.filter, QString::fromLatin1(r.filter));
        EXPECT_TRUE(asked.request.overwritePrompt);
        const QByteArray bytes = readFile(target + QLatin1Char('.') + QString::fromLatin1(r.ext));
        EXPECT_EQ(bytes, crlf(lines));
        EXPECT_TRUE(bytes.endsWith("Eiche \xe9 \x80\r\n"));
        EXPECT_FALSE(wizard->isVisible());
        EXPECT_EQ(wizard->result(), int(QDialog::Accepted));
    }
    EXPECT_TRUE(fakeDialogs->errors().isEmpty()) << fakeDialogs->errors().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ExportWizard, CancelledSaveDialogKeepsTheWizardOpen)
{
    goTo(wizard->RB_FH);
    fakeDialogs->cancelFile();
    wizard->B_Continue->click();
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS_FH);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(ExportWizard, FailedWriteKeepsTheOldFileAndShowsAnError)
{
    const QString target = dir.filePath(QStringLiteral("series.fh"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old\r\n");
    }
    goTo(wizard->RB_FH);
    // A long memo and a small file-size limit make the write fail part-way, as a full disk would.
    wizard->M_FH->setPlainText(QStringLiteral("0123456789\n").repeated(2000));
    fakeDialogs->answerFile(target);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    wizard->B_Continue->click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readFile(target), QByteArray("old\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"series.fh"});
    ASSERT_EQ(fakeDialogs->shown().size(), 2);
    const FakeDialogs::Shown& box = fakeDialogs->shown().last();
    EXPECT_EQ(box.kind, FakeDialogs::Kind::MessageDlg);
    EXPECT_EQ(box.type, mtError);
    EXPECT_TRUE(box.text.contains(target)) << box.text.toStdString();
    EXPECT_TRUE(wizard->isVisible()); // the user may pick another file
    ASSERT_FALSE(TF_ErrorLog::Entries().empty());
    EXPECT_EQ(TF_ErrorLog::Entries().back()->AType, 0);
}

TEST_F(ExportWizard, EntriesAreKeptFromOneExportToTheNext)
{
    goTo(wizard->RB_ASCII);
    wizard->E_Keycode->setText(QStringLiteral("X-"));
    wizard->E_Loc->setText(QStringLiteral("Harz"));
    wizard->E_Comment->setText(QStringLiteral("cores 2024"));
    wizard->CB_Species->setEditText(QStringLiteral("QURO"));
    wizard->E_Identifier->setText(QStringLiteral("HZ"));
    wizard->SE_ASCIILines->setValue(5);
    wizard->CB_ASCIISEP->setCurrentIndex(3);
    wizard->SE_ASCIILen->setValue(0);
    wizard->B_Cancel->click();

    open();
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS_1);
    EXPECT_TRUE(wizard->RB_ASCII->isChecked());
    EXPECT_EQ(wizard->E_Keycode->text(), QStringLiteral("X-"));
    EXPECT_EQ(wizard->VSTP->topLevelItem(0)->text(0), QStringLiteral("X-Oak"));
    EXPECT_EQ(wizard->E_Loc->text(), QStringLiteral("Harz"));
    EXPECT_EQ(wizard->E_Comment->text(), QStringLiteral("cores 2024"));
    EXPECT_EQ(wizard->CB_Species->currentText(), QStringLiteral("QURO"));
    EXPECT_EQ(wizard->E_Identifier->text(), QStringLiteral("HZ"));
    EXPECT_EQ(wizard->SE_ASCIILines->value(), 5);
    EXPECT_EQ(wizard->CB_ASCIISEP->currentIndex(), 3);
    EXPECT_EQ(wizard->SE_ASCIILen->value(), 0);
    // A path added since the last export shows up, checked.
    addPath("New", {4});
    wizard->hide();
    open();
    ASSERT_EQ(wizard->VSTP->topLevelItemCount(), 4);
    EXPECT_EQ(wizard->VSTP->topLevelItem(3)->text(0), QStringLiteral("X-New"));
}

TEST(ExportWizardLists, SpeciesAndSeparatorEntries)
{
    TF_Export wizard;
    EXPECT_EQ(wizard.CB_Species->count(), 116);
    EXPECT_TRUE(wizard.CB_Species->isEditable());
    EXPECT_EQ(wizard.CB_Species->itemText(0), QStringLiteral("ABAL"));
    EXPECT_EQ(wizard.CB_Species->currentText(), QString());
    EXPECT_EQ(wizard.CB_ASCIISEP->count(), 4);
    EXPECT_EQ(wizard.CB_ASCIISEP->itemText(3), QStringLiteral("NULLSTRING"));
    EXPECT_EQ(wizard.CB_ASCIIFILL->itemText(1), QStringLiteral("ZERO (ASCII Code 48)"));
    EXPECT_EQ(wizard.SE_ASCIILines->minimum(), 1);
    EXPECT_EQ(wizard.SE_ASCIILines->maximum(), 10);
    EXPECT_EQ(wizard.SE_ASCIILen->minimum(), 0);
    EXPECT_EQ(wizard.SE_ASCIILen->maximum(), 10);
    EXPECT_TRUE(wizard.B_Continue->isDefault());
    EXPECT_EQ(wizard.B_Cancel->text(), QStringLiteral("&Cancel"));
    for (QCheckBox* cb : {wizard.CB_AsciiCooHeader, wizard.CB_AsciiCooIncludePath, wizard.CB_AsciiCooIndex, wizard.CB_AsciiCooMP})
        EXPECT_TRUE(cb->isChecked()) << cb->text().toStdString();
}

} // namespace
