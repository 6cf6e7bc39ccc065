// Project notes: the editor following the active image window and keeping each project's notes,
// the project changed by typing only, notes it cannot read kept as they were, saving the editor's
// text with the project, and the tool bar and popup commands.
#include "workspace/TF_Notes.h"

#include "platform/Rtf.h"
#include "platform/ShellOpen.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/TRichTextEditor.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"
#include "support/SmallDisk.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The text of RTF notes as the editor would show it.
QString textOfNotes(const QString& notes)
{
    QTextDocument doc;
    if (!Rtf::read(notes.toLatin1(), doc).ok)
        return QStringLiteral("<unreadable>");
    return doc.toPlainText();
}

class Notes : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        ImageWindowTest::SetUp();
        notes = new TF_Notes;
        F_Notes = notes;
        notes->show();
        editor = notes->RTFEditor;
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        delete other.data();
        delete notes.data();
        ProjectLoading = false;
        ImageWindowTest::TearDown();
    }
    void type(const QString& text)
    {
        editor->Editor->setFocus();
        QTest::keyClicks(editor->Editor, text);
    }
    QString shown() const { return editor->Editor->toPlainText(); }

    QPointer<TF_Notes> notes;
    TRichTextEditor* editor = nullptr;
    QPointer<TF_SMDI> other;
};

TEST_F(Notes, EachProjectKeepsItsOwnNotesWhileTheWindowsTakeTurns)
{
    other = new TF_SMDI;
    other->Project->Notes = QString::fromLatin1(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Other project: {\\b bold}\\par}");
    notes->setEditObject(w);
    EXPECT_TRUE(editor->isEnabled());
    type(QStringLiteral("Sample from tree 7"));
    w->Project->Changed = false;

    notes->setEditObject(other);
    EXPECT_EQ(shown(), QStringLiteral("Other project: bold"));
    EXPECT_EQ(textOfNotes(w->Project->Notes), QStringLiteral("Sample from tree 7")) << "stored back on leaving";
    EXPECT_FALSE(w->Project->Changed) << "storing back is no change";
    EXPECT_FALSE(other->Project->Changed) << "showing is no change";

    notes->setEditObject(w);
    EXPECT_EQ(shown(), QStringLiteral("Sample from tree 7"));
    EXPECT_EQ(textOfNotes(other->Project->Notes), QStringLiteral("Other project: bold"));
}

TEST_F(Notes, ViewingEmptyNotesLeavesThemEmpty)
{
    // An editor that was only looked at gives no RTF header: the project stays without notes.
    notes->setEditObject(w);
    notes->setEditObject(nullptr);
    EXPECT_TRUE(w->Project->Notes.isEmpty());
    EXPECT_FALSE(w->Project->Changed);
}

TEST_F(Notes, WhileAProjectLoadsUnbindingStillStoresTheText)
{
    notes->setEditObject(w);
    type(QStringLiteral("typed"));
    ProjectLoading = true;
    notes->setEditObject(nullptr); // the window goes while a project file is read
    ProjectLoading = false;
    EXPECT_EQ(textOfNotes(w->Project->Notes), QStringLiteral("typed"));
    EXPECT_EQ(notes->EditObject(), nullptr);
}

TEST_F(Notes, TypingMarksTheProjectChanged)
{
    notes->setEditObject(w);
    w->Project->Changed = false;
    type(QStringLiteral("x"));
    EXPECT_TRUE(w->Project->Changed);
}

TEST_F(Notes, ImageWindowsBindTheEditorAndTheLastOneClosingEmptiesIt)
{
    w->Project->Notes = QString::fromLatin1("{\\rtf1 first}");
    w->FormActivate();
    EXPECT_EQ(notes->EditObject(), w.data());
    EXPECT_EQ(shown(), QStringLiteral("first"));

    w->Project->Changed = false;
    w->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(notes->EditObject(), nullptr);
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_FALSE(editor->isEnabled());
}

TEST_F(Notes, WhileAProjectLoadsBindingMovesNoText)
{
    notes->setEditObject(w);
    type(QStringLiteral("kept"));
    other = new TF_SMDI;
    other->Project->Notes = QString::fromLatin1("{\\rtf1 not yet}");
    ProjectLoading = true;
    notes->setEditObject(other);
    EXPECT_EQ(shown(), QStringLiteral("kept"));
    EXPECT_EQ(notes->EditObject(), w.data());
    ProjectLoading = false;
    notes->setEditObject(other);
    EXPECT_EQ(shown(), QStringLiteral("not yet"));
    EXPECT_EQ(textOfNotes(w->Project->Notes), QStringLiteral("kept"));
}

TEST_F(Notes, NotesThatCannotBeReadAreKeptUntilTheUserTypes)
{
    const QString hostile = QStringLiteral("{\\rtf1 ") + QString(5000, QLatin1Char('{')) + QStringLiteral("x")
                            + QString(5000, QLatin1Char('}')) + QStringLiteral("}");
    w->Project->Notes = hostile;
    notes->setEditObject(w);
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_TRUE(editor->Editor->placeholderText().startsWith(QStringLiteral("The project notes cannot be shown:")));
    EXPECT_TRUE(TF_ErrorLog::LogLines().join(QLatin1Char('\n')).contains(QStringLiteral("nested more than")));
    notes->setEditObject(w); // stored back as they came
    EXPECT_EQ(w->Project->Notes, hostile);

    type(QStringLiteral("new"));
    notes->setEditObject(w);
    EXPECT_EQ(textOfNotes(w->Project->Notes), QStringLiteral("new")) << "what the user typed replaces them";
}

// Notes with parts the editor cannot show (a metafile picture, a table): left alone they are saved
// byte for byte; the first change tells the user, once, what will go.
TEST_F(Notes, UneditedNotesAreSavedAsReadAndAnEditSaysWhatGoes)
{
    const QString rich = QStringLiteral(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Site A {\\pict\\wmetafile8\\picw100\\pich100 0100090000}"
        "\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl 1901\\cell 0.52\\cell\\row\\pard end\\par}");
    w->Project->Notes = rich;
    notes->setEditObject(w);
    EXPECT_TRUE(shown().startsWith(QStringLiteral("Site A")));
    notes->setEditObject(w);
    EXPECT_EQ(w->Project->Notes, rich);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.jex4"));
    ASSERT_EQ(SaveProjectXML(w, file, false), 0);
    other = new TF_SMDI;
    ASSERT_GE(LoadProjectXML(other, file), 0);
    EXPECT_EQ(other->Project->Notes, rich) << "saved as they were read";
    EXPECT_TRUE(dialogs->shownTexts().isEmpty());

    type(QStringLiteral("x"));
    ASSERT_EQ(dialogs->shownTexts().size(), 1);
    const QString told = dialogs->shownTexts()[0];
    EXPECT_TRUE(told.contains(QStringLiteral("tables")) && told.contains(QStringLiteral("pictures the editor cannot show")))
        << told.toStdString();
    type(QStringLiteral("yz"));
    EXPECT_EQ(dialogs->shownTexts().size(), 1) << "said once";
    notes->setEditObject(w);
    EXPECT_NE(w->Project->Notes, rich);
    EXPECT_TRUE(textOfNotes(w->Project->Notes).contains(QStringLiteral("xyz")));

    // Other notes carry nothing to lose: no word about it.
    w->Project->Notes = QStringLiteral("{\\rtf1 plain\\par}");
    notes->setEditObject(nullptr);
    notes->setEditObject(w);
    type(QStringLiteral("more"));
    EXPECT_EQ(dialogs->shownTexts().size(), 1);
}

TEST_F(Notes, SavingToAFullDiskKeepsTheOldFileAndSaysSo)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    const QString name = disk.path(QStringLiteral("notes.rtf"));
    const QByteArray old(2000, 'o');
    {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(old), old.size());
    }
    notes->setEditObject(w);
    type(QStringLiteral("Ring 1901 frost"));
    for (const qint64 freeBytes : {qint64(0), qint64(4096)}) {
        SCOPED_TRACE(freeBytes);
        disk.empty();
        editor->Editor->insertPlainText(QString(20000, QLatin1Char('w'))); // beyond the free pages
        ASSERT_TRUE(disk.fillLeaving(freeBytes));
        const qsizetype before = dialogs->shownTexts().size();
        EXPECT_EQ(editor->SaveToFile(name), -1);
        ASSERT_EQ(dialogs->shownTexts().size(), before + 1);
        EXPECT_TRUE(dialogs->shownTexts().last().contains(QStringLiteral("cannot be written")));
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(disk.entries(), QStringList{QStringLiteral("notes.rtf")});
    }
}

TEST_F(Notes, PlainTextNotesShowAsTheyAre)
{
    w->Project->Notes = QStringLiteral("plain words {not rtf}");
    notes->setEditObject(w);
    EXPECT_EQ(shown(), QStringLiteral("plain words {not rtf}"));
}

TEST_F(Notes, SavingTheProjectTakesTheEditorsTextFirst)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.jex4"));
    notes->setEditObject(w);
    type(QStringLiteral("Ring 1901 frost "));
    editor->Editor->insertPlainText(QString::fromUtf8("– ok")); // keys cannot type every character
    ASSERT_EQ(SaveProjectXML(w, file, false), 0);

    notes->setEditObject(nullptr);
    other = new TF_SMDI;
    ASSERT_GE(LoadProjectXML(other, file), 0);
    EXPECT_EQ(textOfNotes(other->Project->Notes), QString::fromUtf8("Ring 1901 frost – ok"));
}

TEST_F(Notes, ToolBarActsOnTheSelectionOrTheWordAtTheCaret)
{
    notes->setEditObject(w);
    type(QStringLiteral("alpha beta"));
    QTextCursor c = editor->Editor->textCursor();
    c.setPosition(7); // inside "beta", nothing selected
    editor->Editor->setTextCursor(c);
    editor->B_Bold->click();
    auto formatAt = [this](int pos) {
        QTextCursor at(editor->Editor->document());
        at.setPosition(pos + 1);
        return at.charFormat();
    };
    EXPECT_EQ(formatAt(7).fontWeight(), QFont::Bold) << "the word at the caret";
    EXPECT_EQ(formatAt(1).fontWeight(), QFont::Normal);

    c.setPosition(0);
    c.setPosition(5, QTextCursor::KeepAnchor);
    editor->Editor->setTextCursor(c);
    editor->B_Italic->click();
    EXPECT_TRUE(formatAt(2).fontItalic());
    EXPECT_FALSE(formatAt(7).fontItalic());

    editor->E_FontSize->setText(QStringLiteral("eleven"));
    emit editor->E_FontSize->editingFinished();
    EXPECT_EQ(formatAt(2).fontPointSize(), 10) << "a size that is no number gives 10";
    EXPECT_EQ(editor->FontSize, 10);
    editor->E_FontSize->setText(QStringLiteral("18"));
    emit editor->E_FontSize->editingFinished();
    EXPECT_EQ(formatAt(2).fontPointSize(), 18);

    editor->B_Center->click();
    EXPECT_EQ(editor->Editor->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    editor->B_Right->click();
    EXPECT_FALSE(editor->B_Center->isChecked()) << "one alignment at a time";
    EXPECT_EQ(editor->Editor->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    editor->B_Bullet->click();
    EXPECT_NE(editor->Editor->textCursor().currentList(), nullptr);
    editor->B_Bullet->click();
    EXPECT_EQ(editor->Editor->textCursor().currentList(), nullptr);
}

TEST_F(Notes, PicturesOfTheTwoKindsAreInsertedOthersIgnored)
{
    QTemporaryDir dir;
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const QString bmp = dir.filePath(QStringLiteral("p.bmp")), png = dir.filePath(QStringLiteral("p.png"));
    ASSERT_TRUE(picture.save(bmp, "BMP"));
    ASSERT_TRUE(picture.save(png, "PNG"));
    notes->setEditObject(w);
    EXPECT_FALSE(editor->LoadImage(png));
    EXPECT_TRUE(shown().isEmpty());
    dialogs->answerFile(bmp);
    editor->B_Image->click();
    EXPECT_EQ(shown(), QString(QChar(0xFFFC)));
    notes->setEditObject(w);
    QTextDocument back;
    ASSERT_TRUE(Rtf::read(w->Project->Notes.toLatin1(), back).ok);
    EXPECT_EQ(back.toPlainText(), QString(QChar(0xFFFC))) << "the picture goes into the notes";
}

TEST_F(Notes, PopupLoadsSavesAndClears)
{
    QTemporaryDir dir;
    const QString rtf = dir.filePath(QStringLiteral("n.rtf")), txt = dir.filePath(QStringLiteral("n.txt"));
    notes->setEditObject(w);
    type(QStringLiteral("to file"));
    dialogs->answerFile(rtf);
    editor->PM_Save->trigger();
    QFile saved(rtf);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(Rtf::looksLikeRtf(saved.readAll()));

    QFile text(txt);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("caf\xe9 plain"); // not UTF-8: the code page
    text.close();
    dialogs->answerFile(txt);
    editor->PM_Load->trigger();
    EXPECT_EQ(shown(), QString::fromUtf8("café plain"));
    dialogs->answerFile(rtf);
    editor->PM_Load->trigger();
    EXPECT_EQ(shown(), QStringLiteral("to file"));

    QFile broken(dir.filePath(QStringLiteral("b.rtf")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("{\\rtf1 " + QByteArray(1000, '{'));
    broken.close();
    EXPECT_EQ(editor->LoadFromFile(broken.fileName()), -1);
    EXPECT_EQ(shown(), QStringLiteral("to file")) << "a file that cannot be read changes nothing";
    ASSERT_FALSE(dialogs->shown().isEmpty());

    dialogs->answerMessage(mrNo);
    editor->PM_Clear->trigger();
    EXPECT_EQ(shown(), QStringLiteral("to file"));
    dialogs->answerMessage(mrYes);
    editor->PM_Clear->trigger();
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_EQ(dialogs->shownTexts().last(), QStringLiteral("Clear text?"));
}

TEST_F(Notes, PopupItemsFollowTheText)
{
    notes->setEditObject(w);
    editor->UpdatePopupItems();
    EXPECT_FALSE(editor->PM_Copy->isEnabled());
    EXPECT_FALSE(editor->PM_SelectAll->isEnabled());
    EXPECT_FALSE(editor->PM_Print->isEnabled());
    type(QStringLiteral("some"));
    editor->Editor->selectAll();
    editor->UpdatePopupItems();
    EXPECT_TRUE(editor->PM_Copy->isEnabled());
    EXPECT_TRUE(editor->PM_SelectAll->isEnabled());
    EXPECT_TRUE(editor->PM_Print->isEnabled());
    editor->Editor->setReadOnly(true);
    editor->UpdatePopupItems();
    EXPECT_FALSE(editor->PM_Clear->isEnabled());
    EXPECT_FALSE(editor->PM_Paste->isEnabled());
}

TEST_F(Notes, AClickOnALinkOpensItsWebAddress)
{
    QList<QUrl> opened;
    const UrlOpener before = setUrlOpener([&opened](const QUrl& u) {
        opened << u;
        return true;
    });
    notes->resize(500, 200);
    w->Project->Notes = QString::fromLatin1(
        "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/rings\"}}{\\fldrslt{the site}}} or www.example.com now}");
    notes->setEditObject(w);
    QCoreApplication::processEvents();
    auto clickOn = [this](const QString& word) {
        const int at = int(shown().indexOf(word)) + 2;
        QTextCursor c(editor->Editor->document());
        c.setPosition(at);
        const QPoint p = editor->Editor->cursorRect(c).center();
        QTest::mouseClick(editor->Editor->viewport(), Qt::LeftButton, {}, p);
    };
    clickOn(QStringLiteral("the site"));
    clickOn(QStringLiteral("www.example"));
    clickOn(QStringLiteral("now"));
    setUrlOpener(before);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://example.org/rings")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("http://www.example.com")));
}

} // namespace
