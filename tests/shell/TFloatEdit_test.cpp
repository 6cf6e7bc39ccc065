#include "shell/TFloatEdit.h"

#include "platform/FakeDialogs.h"

#include <QFocusEvent>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <limits>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Every case runs under a locale with '.' and one with ',' as decimal separator. In the case
// texts 'S' stands for the locale's separator and 'O' for the other one.
class TFloatEditTest : public testing::TestWithParam<QLocale::Language> {
protected:
    void SetUp() override
    {
        m_savedLocale = QLocale();
        QLocale::setDefault(QLocale(GetParam()));
        auto fake = std::make_unique<FakeDialogs>();
        fake_ = fake.get();
        m_savedDialogs = setDialogs(std::move(fake));
    }
    void TearDown() override
    {
        setDialogs(std::move(m_savedDialogs));
        QLocale::setDefault(m_savedLocale);
    }

    QChar sep() const { return GetParam() == QLocale::German ? QLatin1Char(',') : QLatin1Char('.'); }
    QChar other() const { return GetParam() == QLocale::German ? QLatin1Char('.') : QLatin1Char(','); }
    QString local(const char* pattern) const
    {
        QString s = QString::fromLatin1(pattern);
        s.replace(QLatin1Char('S'), sep());
        s.replace(QLatin1Char('O'), other());
        return s;
    }
    QChar key(char c) const { return c == 'S' ? sep() : c == 'O' ? other() : QLatin1Char(c); }

    FakeDialogs* fake_ = nullptr;

private:
    QLocale m_savedLocale;
    std::unique_ptr<Dialogs> m_savedDialogs;
};

INSTANTIATE_TEST_SUITE_P(Locales, TFloatEditTest, testing::Values(QLocale::English, QLocale::German),
                         [](const testing::TestParamInfo<QLocale::Language>& info) {
                             return QLocale::languageToString(info.param).toStdString();
                         });

// A window with the edit and a second control to move the focus to.
struct FocusWindow {
    QWidget window;
    TFloatEdit* edit = new TFloatEdit;
    QLineEdit* other = new QLineEdit;

    FocusWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        // The edit gets the focus only when the test gives it, after setting it up.
        other->setFocus();
        window.show();
        window.activateWindow();
        const bool active = QTest::qWaitForWindowActive(&window, 30000);
        EXPECT_TRUE(active);
    }
};

} // namespace

TEST_P(TFloatEditTest, StartsWithOneDecimalAndDefaultBounds)
{
    TFloatEdit edit;
    EXPECT_EQ(edit.decimalSeparator(), sep());
    EXPECT_EQ(edit.text(), local("0S0"));
    EXPECT_EQ(edit.Digits(), 1);
    EXPECT_EQ(edit.Min(), 0.0);
    EXPECT_EQ(edit.Max(), 99999999.9);
    EXPECT_EQ(edit.ErrorMessage(), QStringLiteral("[No Text]"));
    EXPECT_EQ(edit.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST_P(TFloatEditTest, KeyFilter)
{
    struct Case {
        const char* name;
        int digits;
        double min;
        const char* before;
        int selStart;  // -1: no selection, the cursor at `cursor`
        int selLength;
        int cursor;    // -1: at the end
        char key;
        const char* after;
        int afterSelStart; // -1: nothing selected afterwards
    };
    const Case cases[] = {
        {"digit typed", 1, 0, "", -1, 0, -1, '5', "5", -1},
        {"too many decimals at the end", 2, 0, "3S14", -1, 0, -1, '5', "3S14", -1},
        {"digit before the separator", 2, 0, "3S14", -1, 0, 0, '5', "53S14", -1},
        {"digit in the integer part", 2, 0, "3S14", -1, 0, 1, '2', "32S14", -1},
        {"last allowed decimal", 2, 0, "3S1", -1, 0, -1, '4', "3S14", -1},
        {"separator into empty box", 1, 0, "", -1, 0, -1, 'S', "0S0", 2},
        {"separator with zero digits", 0, 0, "", -1, 0, -1, 'S', "", -1},
        {"second separator", 3, 0, "1S5", -1, 0, -1, 'S', "1S5", -1},
        {"separator after digits", 2, 0, "12", -1, 0, -1, 'S', "12S", -1},
        {"separator leaving too many decimals", 1, 0, "1234", -1, 0, 1, 'S', "1234", -1},
        {"separator replacing the selected one", 2, 0, "3S14", 1, 2, -1, 'S', "3S4", -1},
        {"other separator refused", 2, 0, "3", -1, 0, -1, 'O', "3", -1},
        {"minus into empty box", 1, -255, "", -1, 0, -1, '-', "-0", 1},
        {"minus with non-negative minimum", 1, 0, "", -1, 0, -1, '-', "", -1},
        {"minus in front", 1, -255, "12", -1, 0, 0, '-', "-12", -1},
        {"minus not in front", 1, -255, "12", -1, 0, -1, '-', "12", -1},
        {"second minus", 1, -255, "-12", -1, 0, 0, '-', "-12", -1},
        {"minus replacing everything", 1, -1, "5", 0, 1, -1, '-', "-0", 1},
        {"selection replaced by a digit", 2, 0, "3S14", 0, 4, -1, '7', "7", -1},
        {"letter", 1, 0, "1", -1, 0, -1, 'a', "1", -1},
        {"plus", 1, -10, "1", -1, 0, 0, '+', "1", -1},
        {"exponent", 1, 0, "1", -1, 0, -1, 'e', "1", -1},
        {"blank", 1, 0, "1", -1, 0, -1, ' ', "1", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFloatEdit edit;
        edit.setMin(c.min);
        edit.setDigits(c.digits);
        edit.setText(local(c.before));
        if (c.selStart >= 0)
            edit.setSelection(c.selStart, c.selLength);
        else
            edit.setCursorPosition(c.cursor < 0 ? edit.text().size() : c.cursor);
        QTest::keyClick(&edit, key(c.key).toLatin1());
        EXPECT_EQ(edit.text(), local(c.after));
        if (c.afterSelStart >= 0) {
            EXPECT_EQ(edit.selectionStart(), c.afterSelStart);
            EXPECT_EQ(edit.selectedText(), QStringLiteral("0"));
        } else {
            EXPECT_FALSE(edit.hasSelectedText());
        }
    }
}

TEST_P(TFloatEditTest, ControlKeysEditAsUsual)
{
    TFloatEdit edit;
    edit.setText(local("12S5"));
    edit.setCursorPosition(2);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), local("1S5"));
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), local("15"));
    QTest::keyClick(&edit, Qt::Key_Home);
    EXPECT_EQ(edit.cursorPosition(), 0);
}

TEST_P(TFloatEditTest, EnterIsTakenAndReported)
{
    QWidget form;
    auto* edit = new TFloatEdit(&form);
    edit->setText(local("4S5"));
    QSignalSpy enter(edit, &TFloatEdit::OnEnterPress);
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(edit, &press);
        EXPECT_TRUE(press.isAccepted()) << "key " << k;
    }
    EXPECT_EQ(enter.count(), 2);
    EXPECT_EQ(enter.at(0).at(0).value<QChar>(), QLatin1Char('\r'));
    EXPECT_EQ(edit->text(), local("4S5"));
}

TEST_P(TFloatEditTest, EscapeRestoresTheValueOnEntry)
{
    FocusWindow w;
    w.edit->setMin(-100);
    w.edit->setValue(-7.5);
    w.edit->setFocus();
    w.edit->selectAll();
    QTest::keyClicks(w.edit, "42");
    ASSERT_EQ(w.edit->text(), QStringLiteral("42"));
    QTest::keyClick(w.edit, Qt::Key_Escape);
    EXPECT_EQ(w.edit->text(), local("-7S5"));
    EXPECT_EQ(w.edit->selectedText(), w.edit->text());
}

TEST_P(TFloatEditTest, ReadingValue)
{
    struct Case {
        const char* text;
        double min;
        double max;
        double expected;
    };
    const Case cases[] = {
        {"1,5", 0, 100, 1.5},
        {"1.5", 0, 100, 1.5},
        {"", 0, 100, 0},
        {"-", -10, 100, 0},
        {"S", 0, 100, 0},
        {",", 0, 100, 0},
        {"-2S25", -10, 100, -2.25},
        {" 7 ", 0, 100, 7},
        {"abc", 2, 100, 2},
        {"1,5,3", 2, 100, 2},
        {"300", 0, 255, 255},
        {"-20", -10, 100, -10},
        {"5", 10, 100, 10},
        {"1e3", 0, 99999999.9, 1000},
        {"inf", 0, 100, 0},
    };
    for (const Case& c : cases) {
        TFloatEdit edit;
        edit.setMax(c.max);
        edit.setMin(c.min);
        edit.setText(local(c.text));
        EXPECT_DOUBLE_EQ(edit.Value(), c.expected) << "text \"" << c.text << "\"";
    }
    EXPECT_TRUE(fake_->shownTexts().isEmpty());
}

TEST_P(TFloatEditTest, WritingValue)
{
    struct Case {
        int digits;
        double min;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {1, 0, 1e9, "99999999S9"},
        {1, 0, 12.34, "12S3"},
        {2, 0, 0.125, "0S13"},
        {0, 0, 3.5, "4"},
        {0, 0, 65535, "65535"},
        {4, 0, 359.9999, "359S9999"},
        {3, 0, 1, "1S000"},
        {1, -10, -0.04, "0S0"},
        {1, -300, -255, "-255S0"},
        {1, 5, 1, "5S0"},
        {1, 0, std::numeric_limits<double>::infinity(), "99999999S9"},
    };
    for (const Case& c : cases) {
        TFloatEdit edit;
        edit.setDigits(c.digits);
        edit.setMin(c.min);
        edit.setValue(c.value);
        EXPECT_EQ(edit.text(), local(c.text)) << "value " << c.value << " digits " << c.digits;
    }
}

TEST_P(TFloatEditTest, DigitsAreLimitedAndRewriteTheText)
{
    TFloatEdit edit;
    edit.setDigits(2);
    edit.setValue(1.25);
    ASSERT_EQ(edit.text(), local("1S25"));
    edit.setDigits(1);
    EXPECT_EQ(edit.text(), local("1S3"));
    edit.setDigits(0);
    EXPECT_EQ(edit.text(), QStringLiteral("1"));
    edit.setDigits(25);
    EXPECT_EQ(edit.Digits(), 18);
    edit.setDigits(-3);
    EXPECT_EQ(edit.Digits(), 0);
}

TEST_P(TFloatEditTest, RefusedValuesShowTheErrorMessageUnlessItIsNoText)
{
    TFloatEdit edit;
    edit.setMax(255);
    edit.setValue(300);
    edit.setValue(-1);
    EXPECT_TRUE(fake_->shownTexts().isEmpty());

    edit.setErrorMessage(QStringLiteral("Value out of range"));
    edit.setValue(300);
    EXPECT_EQ(edit.text(), local("255S0"));
    edit.setValue(-1);
    EXPECT_EQ(edit.text(), local("0S0"));
    edit.setValue(100);
    EXPECT_EQ(fake_->shownTexts(), QStringList({QStringLiteral("Value out of range"), QStringLiteral("Value out of range")}));
}

TEST_P(TFloatEditTest, BoundsThatCrossAreRefusedWithAMessage)
{
    TFloatEdit edit;
    edit.setMax(5);
    edit.setMin(10);
    EXPECT_EQ(edit.Min(), 5.0);
    edit.setMin(0);
    edit.setMax(-1);
    EXPECT_EQ(edit.Max(), 0.0);
    EXPECT_EQ(fake_->shownTexts(), QStringList({QStringLiteral("Min-Value has to be less than or equal to Max-Value !"),
                                                QStringLiteral("Max-Value has to be greater than or equal to Min-Value !")}));
}

TEST_P(TFloatEditTest, NewBoundsPullTheValueIn)
{
    TFloatEdit edit;
    edit.setValue(500);
    edit.setMax(255);
    EXPECT_EQ(edit.text(), local("255S0"));
    edit.setMin(300);
    EXPECT_EQ(edit.Min(), 255.0);
    EXPECT_EQ(edit.text(), local("255S0"));
}

TEST_P(TFloatEditTest, LeavingTheBox)
{
    struct Case {
        const char* name;
        const char* typed;
        const char* errorMessage;
        const char* textAfter;
        bool keepsFocus;
        int messages;
    };
    const Case cases[] = {
        {"valid number is formatted", "12", "[No Text]", "12S00", false, 0},
        {"above Max restores silently", "300", "[No Text]", "100S00", true, 0},
        {"above Max with a message", "300", "Bad value", "100S00", true, 1},
        {"below Min", "-51", "Bad value", "100S00", true, 1},
        {"empty text restores without a message", "", "Bad value", "100S00", true, 0},
        {"other separator is no number", "1O5", "Bad value", "100S00", true, 1},
        {"lone minus is no number", "-", "[No Text]", "100S00", true, 0},
        {"last decimal rounds", "2S5", "[No Text]", "2S50", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int shownBefore = fake_->shownTexts().size();
        FocusWindow w;
        w.edit->setDigits(2);
        w.edit->setMax(255);
        w.edit->setMin(-50);
        w.edit->setErrorMessage(QString::fromLatin1(c.errorMessage));
        w.edit->setValue(100);
        w.edit->setFocus();
        ASSERT_TRUE(w.edit->hasFocus());
        // Text as pasted: the key filter is not what is tested here.
        w.edit->setText(local(c.typed));
        w.other->setFocus();
        EXPECT_EQ(w.edit->text(), local(c.textAfter));
        EXPECT_EQ(w.edit->hasFocus(), c.keepsFocus);
        if (c.keepsFocus) {
            EXPECT_EQ(w.edit->selectedText(), w.edit->text());
        }
        EXPECT_EQ(fake_->shownTexts().size() - shownBefore, c.messages);
    }
}

TEST_P(TFloatEditTest, SwitchingWindowsDoesNotCheckTheText)
{
    FocusWindow w;
    w.edit->setMax(255);
    w.edit->setFocus();
    w.edit->setText(QStringLiteral("300"));
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(w.edit, &out);
    EXPECT_EQ(w.edit->text(), QStringLiteral("300"));
}
