// The help window: a text browser over the help document in the program's resources.
#include "shell/HelpViewer.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

QPointer<HelpViewer> F_Help;

// The document lives in a static library: its resources are registered by name so the linker
// keeps them. The registration must be named from the global namespace.
static void registerHelpResources()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(help);
        done = true;
    }
}

HelpViewer::HelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    registerHelpResources();
    setWindowTitle(QStringLiteral("JEX4 Help"));
    m_browser = new QTextBrowser(this);
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(640, 720);
}

QUrl HelpViewer::contentsUrl()
{
    return QUrl(QStringLiteral("qrc:/help/index.html"));
}

void HelpViewer::ShowContents()
{
    m_browser->setSource(contentsUrl());
    m_browser->scrollToAnchor(QStringLiteral("contents"));
    show();
    raise();
    activateWindow();
}
