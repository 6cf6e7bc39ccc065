// The help: F1 and Help > Help open the built-in document at its contents, and every link of the
// document leads to a place in it.
#include "shell/HelpViewer.h"

#include "shell/TF_Main.h"
#include "support/MainWindowTest.h"

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextBrowser>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

class Help : public testhelpers::MainWindowTest {
protected:
    void TearDown() override
    {
        MainWindowTest::TearDown();
        EXPECT_EQ(F_Help, nullptr) << "the main window takes its help window along";
    }
};

TEST_F(Help, TheHelpCommandShowsTheContents)
{
    createMain();
    main->AMUpdate();
    ASSERT_TRUE(main->A_Help->isEnabled());
    EXPECT_EQ(main->A_Help->shortcut(), QKeySequence(Qt::Key_F1));
    main->A_Help->trigger();
    ASSERT_NE(F_Help, nullptr);
    EXPECT_TRUE(F_Help->isVisible());
    EXPECT_EQ(F_Help->browser()->source(), HelpViewer::contentsUrl());
    EXPECT_EQ(F_Help->browser()->documentTitle(), QStringLiteral("JEX4 Help"));
    EXPECT_TRUE(F_Help->browser()->toPlainText().contains(QStringLiteral("Contents")));

    // A second use brings back the same window, at the contents again.
    HelpViewer* first = F_Help;
    F_Help->browser()->scrollToAnchor(QStringLiteral("settings"));
    F_Help->hide();
    main->A_Help->trigger();
    EXPECT_EQ(F_Help, first);
    EXPECT_TRUE(F_Help->isVisible());
}

TEST_F(Help, EveryLinkOfTheDocumentHasItsPlace)
{
    HelpViewer viewer; // registers the document
    QFile file(QStringLiteral(":/help/index.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QSet<QString> anchors;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("<a name=\"([^\"]+)\"")).globalMatch(html))
        anchors << m.captured(1);
    int links = 0;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("<a href=\"([^\"]*)\"")).globalMatch(html)) {
        const QString target = m.captured(1);
        ++links;
        ASSERT_TRUE(target.startsWith(QLatin1Char('#'))) << target.toStdString() << ": the help leads nowhere outside";
        EXPECT_TRUE(anchors.contains(target.mid(1))) << target.toStdString();
    }
    EXPECT_GE(links, 8);
}

} // namespace
