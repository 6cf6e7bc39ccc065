#include "platform/Dialogs.h"
#include "platform/FakeDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(DialogFilters, DelphiFiltersBecomeQtNameFilters)
{
    struct Row { const char* in; QStringList out; };
    const Row rows[] = {
        {"Text files|*.txt", {"Text files (*.txt)"}},
        {"Text|*.txt|All|*.*", {"Text (*.txt)", "All (*)"}},
        {"Image files|*.bmp; *.jpg", {"Image files (*.bmp *.jpg)"}},
        {"Text files|*.txt; *.rtf", {"Text files (*.txt *.rtf)"}},
        {"JEX4 project files|*.jex4|JEX3.x measurement files|*.jex", {"JEX4 project files (*.jex4)", "JEX3.x measurement files (*.jex)"}},
        {"Windows Bitmap files|*.bmp|JPEG files|*.jpg|Portable Network Graphic|*.png",
         {"Windows Bitmap files (*.bmp)", "JPEG files (*.jpg)", "Portable Network Graphic (*.png)"}},
        {"PTOGen Executable|pto_gen.exe", {"PTOGen Executable (pto_gen.exe)"}},
        {"A|*.a;;*.b;", {"A (*.a *.b)"}},
        {"Lonely name", {"Lonely name (*)"}},
        {"A|*.a|B|", {"A (*.a)", "B (*)"}},
        {"", {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(qtNameFilters(QString::fromLatin1(r.in)), r.out) << r.in;
}

TEST(DialogButtons, ResultsCaptionsAndEscape)
{
    struct Btn { TMsgDlgBtn button; int result; };
    const Btn btns[] = {
        {mbYes, 6}, {mbNo, 7}, {mbOK, 1}, {mbCancel, 2}, {mbAbort, 3}, {mbRetry, 4}, {mbIgnore, 5},
        {mbAll, 8}, {mbNoToAll, 9}, {mbYesToAll, 10},
    };
    for (const Btn& b : btns)
        EXPECT_EQ(modalResultOf(b.button), b.result) << b.button;

    struct Esc { TMsgDlgButtons buttons; int result; };
    const Esc escs[] = {
        {mbYesNoCancel, mrCancel}, {mbYesNo, mrNo}, {{mbOK}, mrOk}, {mbOKCancel, mrCancel},
        {mbAbortRetryIgnore, mrCancel}, {{mbYes, mbNoToAll}, mrCancel},
    };
    for (const Esc& e : escs)
        EXPECT_EQ(escapeResultOf(e.buttons), e.result) << e.buttons.bits();

    EXPECT_EQ(messageDlgCaption(mtWarning), QStringLiteral("Warning"));
    EXPECT_EQ(messageDlgCaption(mtError), QStringLiteral("Error"));
    EXPECT_EQ(messageDlgCaption(mtInformation), QStringLiteral("Information"));
    EXPECT_EQ(messageDlgCaption(mtConfirmation), QStringLiteral("Confirm"));
    EXPECT_EQ(messageDlgCaption(mtCustom), QGuiApplication::applicationDisplayName());
    EXPECT_EQ((TMsgDlgButtons{mbYes, mbNo, mbYes}), mbYesNo);
    EXPECT_EQ(mbYesNoCancel.count(), 3);
}

// Puts a fake in place for one test and restores the previous dialogs afterwards.
class FakeDialogsTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto fake = std::make_unique<FakeDialogs>();
        m_fake = fake.get();
        m_previous = setDialogs(std::move(fake));
    }
    void TearDown() override { setDialogs(std::move(m_previous)); }

    FakeDialogs* m_fake = nullptr;
    std::unique_ptr<Dialogs> m_previous;
};

TEST_F(FakeDialogsTest, AnswersFromTheScriptAndRecordsEveryQuestion)
{
    m_fake->answerMessage(mrNo);
    m_fake->answerMessage(mrCancel);
    m_fake->answerInput(QStringLiteral("new info"));
    m_fake->answerDirectory(QStringLiteral("/data"));

    EXPECT_EQ(MessageDlg(QStringLiteral("Delete path?"), mtConfirmation, mbYesNo, 17), mrNo);
    ShowMessage(QStringLiteral("Done."));
    EXPECT_EQ(MessageDlg(QStringLiteral("Save changes?"), mtWarning, mbYesNoCancel), mrCancel);
    EXPECT_EQ(InputBox(QStringLiteral("JEX4"), QStringLiteral("Enter info:"), QStringLiteral("old")), QStringLiteral("new info"));
    EXPECT_EQ(dialogs().selectDirectory(QStringLiteral("Select folder"), QStringLiteral("/start")), QStringLiteral("/data"));

    EXPECT_EQ(m_fake->shownTexts(), (QStringList{"Delete path?", "Done.", "Save changes?", "Enter info:", "Select folder"}));
    const auto& shown = m_fake->shown();
    ASSERT_EQ(shown.size(), 5);
    EXPECT_EQ(shown[0].kind, FakeDialogs::Kind::MessageDlg);
    EXPECT_EQ(shown[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(shown[0].buttons, mbYesNo);
    EXPECT_EQ(shown[0].helpCtx, 17);
    EXPECT_EQ(shown[1].kind, FakeDialogs::Kind::ShowMessage);
    EXPECT_EQ(shown[2].caption, QStringLiteral("Warning"));
    EXPECT_EQ(shown[3].caption, QStringLiteral("JEX4"));
    EXPECT_EQ(shown[3].detail, QStringLiteral("old"));
    EXPECT_EQ(shown[4].detail, QStringLiteral("/start"));
    EXPECT_TRUE(m_fake->errors().isEmpty()) << m_fake->errors().join('\n').toStdString();
    EXPECT_EQ(m_fake->unusedAnswers(), 0);
}

TEST_F(FakeDialogsTest, ComplainsAboutCallsAndAnswersTheRealDialogCouldNotGive)
{
    struct Row { const char* what; std::function<void(FakeDialogs&)> script; std::function<void()> call; };
    const Row rows[] = {
        {"unscripted question", [](FakeDialogs&) {},
         [] { EXPECT_EQ(MessageDlg("Overwrite?", mtConfirmation, mbYesNoCancel), mrCancel); }},
        {"answer not among the buttons", [](FakeDialogs& f) { f.answerMessage(mrYes); },
         [] { MessageDlg("Retry?", mtError, mbAbortRetryIgnore); }},
        {"unscripted input", [](FakeDialogs&) {},
         [] { QString v = "keep"; EXPECT_FALSE(InputQuery("c", "p", v)); EXPECT_EQ(v, "keep"); }},
        {"unscripted open", [](FakeDialogs&) {}, [] { EXPECT_TRUE(dialogs().openFile("Open", "A|*.a").isEmpty()); }},
        {"two files for one", [](FakeDialogs& f) { f.answerFile(QStringList{"/a.a", "/b.a"}); },
         [] { dialogs().openFile("Open", "A|*.a"); }},
        {"filter index beyond the filters", [](FakeDialogs& f) { f.answerFile("/a.a", 3); },
         [] { dialogs().saveFile("Save", "A|*.a|B|*.b", "a"); }},
        {"check box answered Cancel", [](FakeDialogs& f) { f.answerCheckBox(mrCancel, true); },
         [] { bool c = false; dialogs().messageDlgWithCheckBox("Search for updates", "Update?", "Don't ask", c); }},
        {"unscripted folder", [](FakeDialogs&) {}, [] { EXPECT_TRUE(dialogs().selectDirectory("Select folder", {}).isEmpty()); }},
    };
    for (const Row& r : rows) {
        auto fresh = std::make_unique<FakeDialogs>();
        FakeDialogs* fake = fresh.get();
        setDialogs(std::move(fresh));
        r.script(*fake);
        r.call();
        EXPECT_EQ(fake->errors().size(), 1) << r.what;
    }
}

TEST_F(FakeDialogsTest, BoxesWithOneButtonNeedNoScript)
{
    EXPECT_EQ(MessageDlg(QStringLiteral("Saved."), mtInformation, {mbOK}), mrOk);
    EXPECT_EQ(MessageDlg(QStringLiteral("Error!"), mtError, {}), mrOk);
    ShowMessage(QStringLiteral("Hello"));
    EXPECT_TRUE(m_fake->errors().isEmpty());
    EXPECT_EQ(m_fake->callCount(), 3);
}

TEST_F(FakeDialogsTest, CancelsTheNthCallWithoutTakingAnAnswer)
{
    m_fake->cancelCall(2);
    m_fake->cancelCall(4);
    m_fake->answerMessage(mrYes);
    m_fake->answerMessage(mrYes);
    m_fake->answerFile(QStringLiteral("/x.txt"));

    EXPECT_EQ(MessageDlg("first", mtConfirmation, mbYesNoCancel), mrYes);
    EXPECT_EQ(MessageDlg("second", mtConfirmation, mbYesNoCancel), mrCancel); // Esc
    EXPECT_EQ(MessageDlg("third", mtConfirmation, mbYesNo), mrYes);
    EXPECT_TRUE(dialogs().openFile("Open", "Text|*.txt").isEmpty());
    EXPECT_EQ(MessageDlg("fifth", mtConfirmation, mbYesNo), mrNo); // unscripted: Esc, and a complaint
    EXPECT_EQ(m_fake->errors().size(), 1);
    EXPECT_EQ(m_fake->unusedAnswers(), 1); // the file answer was not taken
}

TEST_F(FakeDialogsTest, FileDialogsReturnNamesFilterIndexAndDefaultExtension)
{
    m_fake->answerFile(QStringLiteral("/p/core.jex"), 2);
    m_fake->answerFile(QStringList{"/p/a.jpg", "/p/b.jpg"});
    m_fake->answerFile(QStringLiteral("/p/out"), 3);
    m_fake->answerFile(QStringLiteral("/p/out.png"), 3);
    m_fake->cancelFile();

    FileDialogRequest open;
    open.title = QStringLiteral("Open project");
    open.filter = QStringLiteral("JEX4 project files|*.jex4|JEX3.x measurement files|*.jex");
    open.initialDir = QStringLiteral("/p");
    const FileDialogAnswer project = dialogs().openFile(open);
    EXPECT_TRUE(project.accepted);
    EXPECT_EQ(project.fileName(), QStringLiteral("/p/core.jex"));
    EXPECT_EQ(project.filterIndex, 2);

    EXPECT_EQ(dialogs().openFiles(QStringLiteral("Add JPEG images"), QStringLiteral("JPEG files|*.jpg")),
              (QStringList{"/p/a.jpg", "/p/b.jpg"}));

    const QString filter = QStringLiteral("Windows Bitmap files|*.bmp|JPEG files|*.jpg|Portable Network Graphic|*.png");
    int index = 0;
    EXPECT_EQ(dialogs().saveFile(QStringLiteral("Save image"), filter, QStringLiteral("bmp"), {}, &index), QStringLiteral("/p/out.bmp"));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(dialogs().saveFile(QStringLiteral("Save image"), filter, QStringLiteral("bmp")), QStringLiteral("/p/out.png"));
    index = 0;
    EXPECT_TRUE(dialogs().saveFile(QStringLiteral("Save image"), filter, QStringLiteral("bmp"), {}, &index).isEmpty());
    EXPECT_EQ(index, 0) << "a cancelled dialog leaves the index alone";

    ASSERT_EQ(m_fake->shown().size(), 5);
    EXPECT_EQ(m_fake->shown()[0].request.initialDir, QStringLiteral("/p"));
    EXPECT_EQ(m_fake->shown()[0].detail, open.filter);
    EXPECT_EQ(m_fake->shown()[1].kind, FakeDialogs::Kind::OpenFiles);
    EXPECT_EQ(m_fake->shown()[2].request.defaultExt, QStringLiteral("bmp"));
    EXPECT_TRUE(m_fake->errors().isEmpty()) << m_fake->errors().join('\n').toStdString();
}

TEST_F(FakeDialogsTest, CheckBoxAnswerSetsTheState)
{
    m_fake->answerCheckBox(mrYes, true);
    bool checked = false;
    EXPECT_EQ(dialogs().messageDlgWithCheckBox("Search for updates", "An update is available", "Do not ask again", checked), mrYes);
    EXPECT_TRUE(checked);
    EXPECT_EQ(m_fake->shown().back().detail, QStringLiteral("Do not ask again"));
}

// --- The real dialogs, driven offscreen ---------------------------------------------------------

// Runs `act` once on the modal widget of type W as soon as it shows. A dialog that does not show, or
// that is still open a while after `act`, is closed so the test fails instead of hanging.
template <typename W>
void whenShown(std::function<void(W*)> act)
{
    struct State {
        int ticks = 0;
        bool acted = false;
        QPointer<QWidget> target;
    };
    auto* timer = new QTimer(qApp); // outlives the test when its last tick never comes
    auto state = std::make_shared<State>();
    QObject::connect(timer, &QTimer::timeout, [timer, state, act] {
        auto finish = [timer] {
            timer->stop();
            timer->deleteLater();
        };
        QWidget* modal = QApplication::activeModalWidget();
        const bool late = ++state->ticks > 500;
        if (state->acted) {
            if (!state->target || modal != state->target) {
                finish();
            } else if (late) {
                ADD_FAILURE() << "dialog still open: " << modal->metaObject()->className();
                modal->close();
                finish();
            }
            return;
        }
        if (auto* w = qobject_cast<W*>(modal)) {
            state->acted = true;
            state->target = w;
            state->ticks = 0;
            act(w);
        } else if (late) {
            ADD_FAILURE() << "expected dialog did not show";
            if (modal)
                modal->close();
            finish();
        }
    });
    timer->start(10);
}

QAbstractButton* buttonWithText(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

TEST(WidgetDialogs, MessageBoxShowsDelphiButtonsAndReturnsTheirResults)
{
    struct Row { TMsgDlgType type; TMsgDlgButtons buttons; const char* press; int result; const char* caption; QStringList texts; };
    const Row rows[] = {
        {mtConfirmation, mbYesNoCancel, "&No", mrNo, "Confirm", {"&Yes", "&No", "Cancel"}},
        {mtConfirmation, mbYesNoCancel, "<Esc>", mrCancel, "Confirm", {"&Yes", "&No", "Cancel"}},
        {mtWarning, mbYesNo, "<Esc>", mrNo, "Warning", {"&Yes", "&No"}},
        {mtError, {mbOK}, "OK", mrOk, "Error", {"OK"}},
        {mtInformation, mbAbortRetryIgnore, "&Ignore", mrIgnore, "Information", {"&Abort", "&Retry", "&Ignore"}},
        {mtConfirmation, {mbYes, mbAll, mbNoToAll, mbYesToAll}, "N&o to All", mrNoToAll, "Confirm",
         {"&Yes", "&All", "N&o to All", "Yes to &All"}},
        {mtConfirmation, {mbYes, mbAll}, "<Return>", mrYes, "Confirm", {"&Yes", "&All"}},
    };
    WidgetDialogs real;
    for (const Row& r : rows) {
        QString caption, text;
        QStringList texts;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            for (QAbstractButton* b : box->buttons())
                texts << b->text();
            const QString press = QString::fromLatin1(r.press);
            if (press == QLatin1String("<Esc>"))
                QTest::keyClick(box, Qt::Key_Escape);
            else if (press == QLatin1String("<Return>"))
                QTest::keyClick(box, Qt::Key_Return);
            else if (QAbstractButton* b = buttonWithText(box, press))
                b->click();
            else
                box->close();
        });
        EXPECT_EQ(real.messageDlg(QStringLiteral("Can\u00B4t locate <image>"), r.type, r.buttons, 0), r.result) << r.press;
        EXPECT_EQ(caption, QString::fromLatin1(r.caption));
        EXPECT_EQ(text, QStringLiteral("Can\u00B4t locate <image>"));
        texts.sort();
        QStringList want = r.texts;
        want.sort();
        EXPECT_EQ(texts, want) << r.press;
    }
}

TEST(WidgetDialogs, InputQueryAndCheckBox)
{
    WidgetDialogs real;
    whenShown<QInputDialog>([](QInputDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("JEX4"));
        EXPECT_EQ(d->labelText(), QStringLiteral("Enter info:"));
        EXPECT_EQ(d->textValue(), QStringLiteral("old"));
        d->setTextValue(QStringLiteral("new"));
        d->accept();
    });
    QString value = QStringLiteral("old");
    EXPECT_TRUE(real.inputQuery(QStringLiteral("JEX4"), QStringLiteral("Enter info:"), value));
    EXPECT_EQ(value, QStringLiteral("new"));

    whenShown<QInputDialog>([](QInputDialog* d) {
        d->setTextValue(QStringLiteral("typed"));
        d->reject();
    });
    EXPECT_FALSE(real.inputQuery(QStringLiteral("JEX4"), QStringLiteral("Enter info:"), value));
    EXPECT_EQ(value, QStringLiteral("new"));

    whenShown<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Search for updates"));
        ASSERT_NE(box->checkBox(), nullptr);
        EXPECT_TRUE(box->checkBox()->isChecked());
        box->checkBox()->setChecked(false);
        buttonWithText(box, QStringLiteral("&Yes"))->click();
    });
    bool checked = true;
    EXPECT_EQ(real.messageDlgWithCheckBox(QStringLiteral("Search for updates"), QStringLiteral("Update?"), QStringLiteral("Ask again"), checked), mrYes);
    EXPECT_FALSE(checked);
}

// As the user types it: selectFile() would not touch a name field that has the focus.
void typeFileName(QFileDialog* d, const QString& name)
{
    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
}

// QFileDialog hides accept(); through QDialog it still runs its own checks.
void acceptDialog(QDialog* d)
{
    d->accept();
}

TEST(WidgetDialogs, FileDialogsPresetAndReportTheFilter)
{
    QTemporaryDir dir;
    for (const char* name : {"core.jex", "core.jex4"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    WidgetDialogs real;

    FileDialogRequest open;
    open.title = QStringLiteral("Open project");
    open.filter = QStringLiteral("JEX4 project files|*.jex4|JEX3.x measurement files|*.jex");
    open.initialDir = dir.path();
    open.filterIndex = 2;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Open project"));
        EXPECT_EQ(d->selectedNameFilter(), QStringLiteral("JEX3.x measurement files (*.jex)"));
        EXPECT_EQ(QDir(d->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        typeFileName(d, QStringLiteral("core.jex"));
        acceptDialog(d);
    });
    FileDialogAnswer answer = real.openFile(open);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.filterIndex, 2);
    EXPECT_EQ(QFileInfo(answer.fileName()).fileName(), QStringLiteral("core.jex"));

    // Saving: the default extension is added, and picking another type renames through the hook.
    FileDialogRequest save;
    save.title = QStringLiteral("Save image");
    save.filter = QStringLiteral("Windows Bitmap files|*.bmp|JPEG files|*.jpg|Portable Network Graphic|*.png");
    save.defaultExt = QStringLiteral("bmp");
    save.initialDir = dir.path();
    save.fileName = QStringLiteral("scan");
    QList<int> hookIndices;
    save.onTypeChange = [&](int index, const QString& name) {
        hookIndices << index;
        const char* ext[] = {".bmp", ".jpg", ".png"};
        return QFileInfo(name).completeBaseName() + QString::fromLatin1(ext[index - 1]);
    };
    whenShown<QFileDialog>([&](QFileDialog* d) {
        auto* combo = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(combo, nullptr);
        QTest::keyClick(combo, Qt::Key_Down);
        acceptDialog(d);
    });
    answer = real.saveFile(save);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(hookIndices, QList<int>{2});
    EXPECT_EQ(answer.filterIndex, 2);
    EXPECT_EQ(QFileInfo(answer.fileName()).fileName(), QStringLiteral("scan.jpg"));

    save.onTypeChange = nullptr;
    whenShown<QFileDialog>([&](QFileDialog* d) { acceptDialog(d); });
    answer = real.saveFile(save);
    EXPECT_EQ(QFileInfo(answer.fileName()).fileName(), QStringLiteral("scan.bmp"));

    whenShown<QFileDialog>([&](QFileDialog* d) { d->reject(); });
    answer = real.saveFile(save);
    EXPECT_FALSE(answer.accepted);
    EXPECT_TRUE(answer.fileNames.isEmpty());
}

// Every kind of question, and any other modal dialog, stands above a window that stays on top
// and gives way (a progress box): while the question is up the box stays on top no more, the
// question is never parented to it even when it was the active window, and afterwards the box
// stays on top again. A stay-on-top window that does not give way is left alone.
TEST(WidgetDialogs, QuestionsStandAboveWindowsThatGiveWay)
{
    QWidget frame;
    frame.resize(400, 300);
    frame.show();
    const Qt::WindowFlags boxFlags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    auto* box = new QWidget(&frame, boxFlags);
    giveWayToQuestions(box);
    box->resize(200, 60);
    box->show();
    auto* other = new QWidget(&frame, boxFlags);
    other->show();
    ASSERT_NE(box->windowHandle(), nullptr);
    auto onTop = [](QWidget* w) { return w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };

    QTemporaryDir dir;
    WidgetDialogs real;
    FileDialogRequest request;
    request.initialDir = dir.path();
    struct Question {
        const char* name;
        std::function<void()> ask;
    };
    const Question questions[] = {
        {"messageDlg", [&] { real.messageDlg(QStringLiteral("Can\u00B4t locate image"), mtConfirmation, mbYesNoCancel, 0); }},
        {"showMessage", [&] { real.showMessage(QStringLiteral("Done")); }},
        {"inputQuery", [&] {
             QString value;
             real.inputQuery(QStringLiteral("JEX"), QStringLiteral("Enter DPI value:"), value);
         }},
        {"messageDlgWithCheckBox", [&] {
             bool checked = false;
             real.messageDlgWithCheckBox(QStringLiteral("JEX"), QStringLiteral("Update?"), QStringLiteral("Ask again"), checked);
         }},
        {"openFile", [&] { real.openFile(request); }},
        {"openFiles", [&] { real.openFiles(request); }},
        {"saveFile", [&] { real.saveFile(request); }},
        {"selectDirectory", [&] { real.selectDirectory(QStringLiteral("Folder"), dir.path()); }},
        {"a dialog of the program", [&] {
             QDialog own(&frame);
             own.exec();
         }},
    };
    for (const Question& q : questions) {
        SCOPED_TRACE(q.name);
        box->activateWindow(); // the worst case: the box had the focus when the question came
        QCoreApplication::processEvents();
        ASSERT_TRUE(onTop(box));
        bool shown = false;
        whenShown<QDialog>([&](QDialog* d) {
            shown = true;
            EXPECT_FALSE(onTop(box));
            EXPECT_TRUE(onTop(other));
            EXPECT_NE(d->parentWidget(), box);
            d->reject();
        });
        q.ask();
        EXPECT_TRUE(shown);
        EXPECT_TRUE(onTop(box));
        EXPECT_TRUE(box->isVisible());
    }
}

} // namespace
