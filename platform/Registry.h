// The current user's settings store, shaped like the registry calls the program makes. The key
// "\SOFTWARE\LUMEK\JEX4" is the root of an INI file ($XDG_CONFIG_HOME/LUMEK/JEX4.ini); its subkeys
// are groups. Every value keeps its kind, so reading a text as a number fails as it would there.
#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

class QSettings;

// Raised by reads of a missing value or of a value of another kind, and by access without an open
// key. Callers that have a default catch it (or test ValueExists first) and use the default.
class ERegistryException : public std::runtime_error {
public:
    explicit ERegistryException(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// Key paths: a path starting with '\' counts from the current user's root, any other from the
// open key; '\' separates keys, and key and value names compare without regard to letter case.
// Only "\SOFTWARE\LUMEK\JEX4" and the keys below it exist here: other keys cannot be opened or made.
//
// Kinds as the registry stores them: WriteInteger and WriteBool write a 32-bit number (rdInteger;
// ReadBool is true for any non-zero number), WriteString text (rdString), WriteFloat and
// WriteBinaryData bytes (rdBinary; a float is its 8 bytes). A key with no values and no subkeys is
// not kept once the store is written, the root key excepted.
//
// Writes go to the file on CloseKey and on destruction. The file's place is worked out at each
// construction from the environment.
class Registry {
public:
    Registry();
    virtual ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Opens `key`; with canCreate it is made when missing. False when it does not exist (and may not
    // be made) or lies outside the store; the previously open key stays open then.
    bool OpenKey(const QString& key, bool canCreate);
    // Writes pending changes and closes the open key. False when the store file could not be
    // written (a full disk, no permission): it is then as it was before.
    bool CloseKey();
    // The open key, "\SOFTWARE\LUMEK\JEX4\...", subkeys spelt as stored; empty when none is open.
    QString CurrentPath() const;

    bool KeyExists(const QString& key) const;
    bool ValueExists(const QString& name) const;
    // Deletes the key with all its values and subkeys; false when it did not exist. Deleting the
    // open key (or one above it) closes it.
    bool DeleteKey(const QString& key);
    bool DeleteValue(const QString& name);

    // Each read throws ERegistryException when the value is missing or of another kind.
    int ReadInteger(const QString& name) const;
    QString ReadString(const QString& name) const;
    bool ReadBool(const QString& name) const;
    double ReadFloat(const QString& name) const;
    // Copies the bytes of a binary value into `buffer`; returns their count. Throws when they do
    // not fit in `bufSize`.
    int ReadBinaryData(const QString& name, void* buffer, int bufSize) const;
    // Size in bytes of a value's data (text: its length + 1 characters of 2 bytes); -1 when missing.
    int GetDataSize(const QString& name) const;

    // Each write throws ERegistryException when no key is open.
    void WriteInteger(const QString& name, int value);
    void WriteString(const QString& name, const QString& value);
    void WriteBool(const QString& name, bool value);
    void WriteFloat(const QString& name, double value);
    void WriteBinaryData(const QString& name, const void* buffer, int size);

    QStringList GetValueNames() const;
    QStringList GetKeyNames() const;
    // rdUnknown for a missing value or one this store cannot read.
    TRegDataType GetDataType(const QString& name) const;

    // The INI file behind the store (as worked out now from the environment).
    static QString storeFileName();

private:
    struct Raw;
    // The names of one group's values or subkeys, decoded once and sorted so that a lookup
    // ignoring case takes a binary search; `order` keeps the store's order among names that differ
    // only in case, where the first one counts.
    struct NameEntry {
        QString name;
        QString stored;
        int order = 0;
    };
    using NameIndex = std::vector<NameEntry>;
    static NameIndex makeIndex(const QStringList& storedNames);
    static QString lookUp(const NameIndex& index, const QString& name);
    const NameIndex& valueIndex(const QStringList& groups) const;
    const NameIndex& groupIndex(const QStringList& groups) const;
    void forgetIndexes();
    bool resolveKey(const QString& key, QStringList& groups) const;
    QString findGroup(const QStringList& parents, const QString& name) const;
    bool groupHasContent(const QStringList& groups) const;
    QStringList childGroupsOf(const QStringList& groups) const;
    QStringList childKeysOf(const QStringList& groups) const;
    QString findValue(const QString& name) const;
    Raw readRaw(const QString& name) const;
    void writeRaw(const QString& name, const QString& tagged);
    void requireOpen(const QString& name) const;
    QString groupPrefix(const QStringList& groups) const;

    QString m_fileName;
    std::unique_ptr<QSettings> m_settings;
    bool m_open = false;
    QStringList m_current;     // stored names of the open key's groups below the root
    QString m_currentPath;     // the open key as the caller spelt it
    // Per group path (stored names joined by '/'); kept until the key closes or a key is deleted,
    // and brought up to date by this store's own value writes and deletions.
    mutable std::map<QString, NameIndex> m_valueIndexes;
    mutable std::map<QString, NameIndex> m_groupIndexes;
};
