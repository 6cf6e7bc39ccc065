// The recent-files list: file names most recent first, without duplicates and at most MaxItems
// long, kept in the settings store as "File0", "Name0", "File1", ... below its key. The caller
// owns the menu: fillMenu puts the entries into it, and a chosen entry comes back as OnClick.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QAction;
class QMenu;

class THistoryList : public QObject {
    Q_OBJECT
public:
    explicit THistoryList(QObject* parent = nullptr);

    // The key below "\Software\": RegPath, then RegKey. Setting either loads the list.
    QString RegPath() const { return FRegPath; }
    void setRegPath(const QString& value);
    QString RegKey() const { return FRegKey; }
    void setRegKey(const QString& value);

    // Only values above 0 count; entries beyond a new maximum go. The first assignment loads the
    // list: until then nothing is read.
    int MaxItems() const { return FMaxItems; }
    void setMaxItems(int value);

    // The list holds folders instead of files.
    bool Directories() const { return FDirectories; }
    void setDirectories(bool value) { FDirectories = value; }

    // Puts an existing file (folder with Directories) at the top with `name` as its caption; a file
    // already listed moves there. Empty or missing names change nothing. Names compare exactly.
    void addFilename(const QString& Filename, const QString& name);

    int entryCount() const { return int(m_entries.size()); }
    QString entryFile(int i) const;    // full path of entry i, 0 the most recent; empty out of range
    QString entryCaption(int i) const; // the name shown

    // "\Software\" + RegPath + "\" + RegKey.
    QString registryKeyPath() const;
    // Writes the entries and removes stored ones beyond them. Writes nothing for an empty list,
    // without a RegPath, or while the settings store may not be written (reset, or damaged).
    void saveToRegistry() const;
    // Reads the stored entries (at most MaxItems, those whose files still exist) on top of the
    // list. A damaged entry is skipped with a line in the log.
    void loadFromRegistry();

    // Appends one action per entry whose file still exists, most recent first; they belong to the
    // menu. A caption's "&" shows as itself, not as an access key. Triggering one emits OnClick
    // with the entry's full path.
    QList<QAction*> fillMenu(QMenu* menu);

signals:
    void OnClick(const QString& Filename);

private:
    struct Entry {
        QString File;
        QString Name;
    };

    bool loadAllowed() const { return FMaxItemsSet; }
    bool regPathSet() const;
    bool exists(const QString& path) const;

    QString FRegPath;
    QString FRegKey;
    int FMaxItems = 4;
    bool FMaxItemsSet = false;
    bool FDirectories = false;
    QList<Entry> m_entries; // 0 the most recent
};
