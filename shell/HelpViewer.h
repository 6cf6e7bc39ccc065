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

    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

// The help window, made on first use; none before that.
extern QPointer<HelpViewer> F_Help;
