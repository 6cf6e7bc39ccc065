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

QString HelpViewer::topicOfContext(int helpContext)
{
    switch (helpContext) {
    case 5001: // the settings dialog before a page is chosen
    case 5036:
        return QStringLiteral("setup-system");
    case 5031:
        return QStringLiteral("setup-display");
    case 5034:
        return QStringLiteral("setup-objects");
    case 5032:
        return QStringLiteral("setup-helpers");
    case 5030:
        return QStringLiteral("setup-cursors");
    case 5035:
        return QStringLiteral("setup-link");
    case 5033:
        return QStringLiteral("setup-alignment");
    default:
        return QString();
    }
}

void HelpViewer::ShowContext(int helpContext)
{
    const QString topic = topicOfContext(helpContext);
    if (topic.isEmpty()) {
        ShowContents();
        return;
    }
    QUrl url = contentsUrl();
    url.setFragment(topic);
    m_browser->setSource(url);
    m_browser->scrollToAnchor(topic);
    show();
    raise();
    activateWindow();
}

void ShowHelpContext(QWidget* asking, int helpContext)
{
    QWidget* owner = asking ? asking->window() : nullptr;
    if (!F_Help)
        F_Help = new HelpViewer(owner);
    else if (owner && owner->isModal() && F_Help->parentWidget() != owner)
        F_Help->setParent(owner, Qt::Window);
    F_Help->ShowContext(helpContext);
}

void HelpViewer::ShowContents()
{
    m_browser->setSource(contentsUrl());
    m_browser->scrollToAnchor(QStringLiteral("contents"));
    show();
    raise();
    activateWindow();
}
