// The entries live in a plain list, not in menu items, so the path that is opened is always the
// stored one and never a caption the menu may have decorated.
#include "shell/RecentFiles.h"

#include "platform/Registry.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

namespace {

const QString kDefaultRegPath = QStringLiteral("Company\\Program Name"); // counts as not set
const QString kFile = QStringLiteral("File");
const QString kName = QStringLiteral("Name");

} // namespace

THistoryList::THistoryList(QObject* parent)
    : QObject(parent)
    , FRegPath(kDefaultRegPath)
    , FRegKey(QStringLiteral("MRUList"))
{
}

void THistoryList::setRegPath(const QString& value)
{
    FRegPath = value;
    loadFromRegistry();
}

void THistoryList::setRegKey(const QString& value)
{
    FRegKey = value;
    loadFromRegistry();
}

void THistoryList::setMaxItems(int value)
{
    if (value <= 0)
        return;
    while (m_entries.size() > value)
        m_entries.removeLast();
    FMaxItems = value;
    if (!FMaxItemsSet) {
        FMaxItemsSet = true;
        loadFromRegistry();
    }
}

bool THistoryList::exists(const QString& path) const
{
    const QFileInfo info(path);
    return FDirectories ? info.isDir() : info.isFile();
}

void THistoryList::addFilename(const QString& Filename, const QString& name)
{
    if (Filename.isEmpty() || !exists(Filename))
        return;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].File == Filename) {
            m_entries.removeAt(i);
            break;
        }
    }
    m_entries.prepend(Entry{Filename, name});
    while (m_entries.size() > FMaxItems)
        m_entries.removeLast();
}

QString THistoryList::entryFile(int i) const
{
    return i >= 0 && i < m_entries.size() ? m_entries[i].File : QString();
}

QString THistoryList::entryCaption(int i) const
{
    return i >= 0 && i < m_entries.size() ? m_entries[i].Name : QString();
}

QString THistoryList::registryKeyPath() const
{
    return QStringLiteral("\\Software\\") + FRegPath + QLatin1Char('\\') + FRegKey;
}

bool THistoryList::regPathSet() const
{
    return !FRegPath.isEmpty() && FRegPath != kDefaultRegPath;
}

void THistoryList::saveToRegistry() const
{
    if (m_entries.isEmpty() || !regPathSet() || !SettingsStoreWritable())
        return;
    Registry reg;
    if (!reg.OpenKey(registryKeyPath(), true)) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Recent files not saved: ") + registryKeyPath() + QStringLiteral(" cannot be opened"));
        return;
    }
    for (int i = 0; i < m_entries.size(); ++i) {
        reg.WriteString(kFile + QString::number(i), m_entries[i].File);
        reg.WriteString(kName + QString::number(i), m_entries[i].Name);
    }
    for (int i = int(m_entries.size()); reg.DeleteValue(kFile + QString::number(i)); ++i)
        reg.DeleteValue(kName + QString::number(i));
    reg.CloseKey();
}

void THistoryList::loadFromRegistry()
{
    if (!loadAllowed() || !regPathSet())
        return;
    Registry reg;
    if (!reg.OpenKey(registryKeyPath(), false))
        return;
    QList<Entry> stored;
    for (int i = 0;; ++i) {
        const QString file = kFile + QString::number(i);
        const QString name = kName + QString::number(i);
        if (!reg.ValueExists(file) || !reg.ValueExists(name))
            break;
        try {
            stored << Entry{reg.ReadString(file), reg.ReadString(name)};
        } catch (const ERegistryException& e) {
            TF_ErrorLog::AddLog(0, QStringLiteral("Recent file entry ") + QString::number(i)
                                       + QStringLiteral(" is damaged and skipped (") + e.message() + QLatin1Char(')'));
        }
    }
    // Oldest first, so entry 0 ends at the top.
    for (qsizetype i = stored.size() - 1; i >= 0; --i)
        addFilename(stored[i].File, stored[i].Name);
}

QList<QAction*> THistoryList::fillMenu(QMenu* menu)
{
    QList<QAction*> actions;
    if (!menu)
        return actions;
    for (const Entry& e : std::as_const(m_entries)) {
        if (!exists(e.File))
            continue;
        QString text = e.Name;
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action = menu->addAction(text);
        action->setData(e.File);
        action->setStatusTip(e.File);
        const QString file = e.File;
        connect(action, &QAction::triggered, this, [this, file] { emit OnClick(file); });
        actions << action;
    }
    return actions;
}
