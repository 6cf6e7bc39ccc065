// The program's help: an HTML document built into the program, shown in a browser window that
// opens at the table of contents and follows the document's own links.
#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);

    // The help document: its table of contents comes first.
    static QUrl contentsUrl();
    // Shows the window at the table of contents, in front.
    void ShowContents();
    // The place in the document of a help context (the settings pages have theirs); empty for a
    // context without a topic of its own.
    static QString topicOfContext(int helpContext);
    // Shows the window at the topic of a help context, or at the contents without one, in front.
    void ShowContext(int helpContext);

    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

// The help window, made on first use; none before that.
extern QPointer<HelpViewer> F_Help;

// F1 in a window with a help context: the help window at its topic. Asked from a modal dialog,
// the help window belongs to that dialog so that it can be read and scrolled beside it.
void ShowHelpContext(QWidget* asking, int helpContext);
