// Values are stored as tagged texts ("dword:0000000a", "sz:text", "hex:0a0b") so their kind
// survives the INI file; names are escaped so '/' and '\' never reach QSettings as separators.
#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>
#include <cstring>

namespace {

const QString kRootKeys[] = {QStringLiteral("SOFTWARE"), QStringLiteral("LUMEK"), QStringLiteral("JEX4")};

const QString kString = QStringLiteral("sz:");
const QString kInteger = QStringLiteral("dword:");
const QString kBinary = QStringLiteral("hex:");

// The empty name is the key's default value; '@' stands for it, so a real '@' is escaped.
QString escapeName(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("@");
    QString out;
    for (QChar c : name) {
        switch (c.unicode()) {
        case '%': out += QLatin1String("%25"); break;
        case '/': out += QLatin1String("%2F"); break;
        case '\\': out += QLatin1String("%5C"); break;
        case '@': out += QLatin1String("%40"); break;
        default: out += c;
        }
    }
    return out;
}

QString unescapeName(const QString& stored)
{
    if (stored == QLatin1String("@"))
        return QString();
    QString out;
    for (int i = 0; i < stored.size(); ++i) {
        if (stored[i] == QLatin1Char('%') && i + 2 < stored.size()) {
            const QString code = stored.mid(i + 1, 2).toUpper();
            const QChar c = code == QLatin1String("25") ? QLatin1Char('%')
                : code == QLatin1String("2F")           ? QLatin1Char('/')
                : code == QLatin1String("5C")           ? QLatin1Char('\\')
                : code == QLatin1String("40")           ? QLatin1Char('@')
                                                        : QChar();
            if (!c.isNull()) {
                out += c;
                i += 2;
                continue;
            }
        }
        out += stored[i];
    }
    return out;
}

// Enters a group path for the scope; the root needs no group (an empty one would misname keys).
class GroupScope {
public:
    GroupScope(QSettings& settings, const QStringList& groups)
        : m_settings(settings)
        , m_entered(!groups.isEmpty())
    {
        if (m_entered)
            m_settings.beginGroup(groups.join(QLatin1Char('/')));
    }
    ~GroupScope()
    {
        if (m_entered)
            m_settings.endGroup();
    }

private:
    QSettings& m_settings;
    bool m_entered;
};

bool lessIgnoringCase(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

} // namespace

ERegistryException::ERegistryException(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

struct Registry::Raw {
    TRegDataType type = rdUnknown;
    bool exists = false;
    QString text;
    QByteArray bytes;
    quint32 number = 0;
};

QString Registry::storeFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/LUMEK/JEX4.ini");
}

Registry::Registry()
    : m_fileName(storeFileName())
    , m_settings(std::make_unique<QSettings>(m_fileName, QSettings::IniFormat))
{
}

Registry::~Registry()
{
    CloseKey();
}

Registry::NameIndex Registry::makeIndex(const QStringList& storedNames)
{
    NameIndex index;
    index.reserve(size_t(storedNames.size()));
    for (const QString& stored : storedNames)
        index.push_back({unescapeName(stored), stored, int(index.size())});
    std::stable_sort(index.begin(), index.end(),
                     [](const NameEntry& a, const NameEntry& b) { return lessIgnoringCase(a.name, b.name); });
    return index;
}

// The stored spelling of `name`, the first in the store's order among those equal ignoring case;
// empty when there is none.
QString Registry::lookUp(const NameIndex& index, const QString& name)
{
    const auto at = std::lower_bound(index.begin(), index.end(), name,
                                     [](const NameEntry& e, const QString& n) { return lessIgnoringCase(e.name, n); });
    if (at == index.end() || at->name.compare(name, Qt::CaseInsensitive) != 0)
        return QString();
    return at->stored;
}

const Registry::NameIndex& Registry::valueIndex(const QStringList& groups) const
{
    const QString path = groups.join(QLatin1Char('/'));
    auto at = m_valueIndexes.find(path);
    if (at == m_valueIndexes.end())
        at = m_valueIndexes.emplace(path, makeIndex(childKeysOf(groups))).first;
    return at->second;
}

const Registry::NameIndex& Registry::groupIndex(const QStringList& groups) const
{
    const QString path = groups.join(QLatin1Char('/'));
    auto at = m_groupIndexes.find(path);
    if (at == m_groupIndexes.end())
        at = m_groupIndexes.emplace(path, makeIndex(childGroupsOf(groups))).first;
    return at->second;
}

void Registry::forgetIndexes()
{
    m_valueIndexes.clear();
    m_groupIndexes.clear();
}

QString Registry::groupPrefix(const QStringList& groups) const
{
    return groups.isEmpty() ? QString() : groups.join(QLatin1Char('/')) + QLatin1Char('/');
}

// The stored spelling of group `name` below `parents`, or its escaped form when there is none.
QString Registry::findGroup(const QStringList& parents, const QString& name) const
{
    const QString stored = lookUp(groupIndex(parents), name);
    return stored.isEmpty() ? escapeName(name) : stored;
}

// Turns a key path into stored group names below the root; false for keys outside the store.
bool Registry::resolveKey(const QString& key, QStringList& groups) const
{
    QStringList parts;
    for (const QString& part : key.split(QLatin1Char('\\'))) {
        if (!part.isEmpty())
            parts << part;
    }
    QStringList resolved;
    if (key.startsWith(QLatin1Char('\\')) || !m_open) {
        for (const QString& root : kRootKeys) {
            if (parts.isEmpty() || parts.first().compare(root, Qt::CaseInsensitive) != 0)
                return false;
            parts.removeFirst();
        }
    } else {
        resolved = m_current;
    }
    for (const QString& part : parts)
        resolved << findGroup(resolved, part);
    groups = resolved;
    return true;
}

bool Registry::OpenKey(const QString& key, bool canCreate)
{
    QStringList groups;
    if (!resolveKey(key, groups))
        return false;
    const bool rootExists = QFileInfo::exists(m_fileName);
    const bool exists = rootExists && (groups.isEmpty() || groupHasContent(groups));
    if (!exists) {
        if (!canCreate)
            return false;
        // The root key is the file; keys below it come into being with their first value.
        if (!rootExists) {
            QDir().mkpath(QFileInfo(m_fileName).absolutePath());
            QFile file(m_fileName);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                return false;
        }
    }
    if (m_open)
        CloseKey();
    m_current = groups;
    m_open = true;
    QStringList spelt = {QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4")};
    for (const QString& g : groups)
        spelt << unescapeName(g);
    m_currentPath = spelt.join(QLatin1Char('\\'));
    return true;
}

bool Registry::CloseKey()
{
    if (!m_open)
        return true;
    m_settings->sync();
    const bool written = m_settings->status() == QSettings::NoError;
    if (!written)
        qWarning().noquote() << "Registry: could not write" << m_fileName;
    // The file may have been read anew.
    forgetIndexes();
    m_open = false;
    m_current.clear();
    m_currentPath.clear();
    return written;
}

QString Registry::CurrentPath() const
{
    return m_currentPath;
}

bool Registry::KeyExists(const QString& key) const
{
    QStringList groups;
    if (!resolveKey(key, groups) || !QFileInfo::exists(m_fileName))
        return false;
    return groups.isEmpty() || groupHasContent(groups);
}

bool Registry::groupHasContent(const QStringList& groups) const
{
    GroupScope scope(*m_settings, groups);
    return !m_settings->allKeys().isEmpty();
}

QStringList Registry::childGroupsOf(const QStringList& groups) const
{
    GroupScope scope(*m_settings, groups);
    return m_settings->childGroups();
}

QStringList Registry::childKeysOf(const QStringList& groups) const
{
    GroupScope scope(*m_settings, groups);
    return m_settings->childKeys();
}

bool Registry::DeleteKey(const QString& key)
{
    QStringList groups;
    if (!resolveKey(key, groups) || !KeyExists(key))
        return false;
    const bool holdsOpenKey = m_open && m_current.mid(0, groups.size()) == groups;
    if (groups.isEmpty()) {
        m_settings->clear();
        m_settings->sync();
        QFile::remove(m_fileName);
    } else {
        m_settings->remove(groups.join(QLatin1Char('/')));
        m_settings->sync();
    }
    forgetIndexes();
    // Like a deleted registry key, the open key is gone: later writes fail instead of reviving it.
    if (holdsOpenKey) {
        m_open = false;
        m_current.clear();
        m_currentPath.clear();
    }
    return true;
}

QString Registry::findValue(const QString& name) const
{
    if (!m_open)
        return QString();
    return lookUp(valueIndex(m_current), name);
}

bool Registry::ValueExists(const QString& name) const
{
    return !findValue(name).isEmpty();
}

bool Registry::DeleteValue(const QString& name)
{
    const QString stored = findValue(name);
    if (stored.isEmpty())
        return false;
    m_settings->remove(groupPrefix(m_current) + stored);
    NameIndex& index = m_valueIndexes[m_current.join(QLatin1Char('/'))];
    const auto entry = std::find_if(index.begin(), index.end(), [&](const NameEntry& e) { return e.stored == stored; });
    if (entry != index.end())
        index.erase(entry);
    // The key may be gone with its last value.
    m_groupIndexes.clear();
    return true;
}

Registry::Raw Registry::readRaw(const QString& name) const
{
    Raw raw;
    const QString stored = findValue(name);
    if (stored.isEmpty())
        return raw;
    raw.exists = true;
    const QVariant v = m_settings->value(groupPrefix(m_current) + stored);
    if (v.typeId() != QMetaType::QString)
        return raw;
    const QString tagged = v.toString();
    if (tagged.startsWith(kString)) {
        raw.type = rdString;
        raw.text = tagged.mid(kString.size());
    } else if (tagged.startsWith(kInteger)) {
        bool ok = false;
        const QString digits = tagged.mid(kInteger.size());
        raw.number = digits.toUInt(&ok, 16);
        if (ok && !digits.isEmpty() && digits.size() <= 8)
            raw.type = rdInteger;
    } else if (tagged.startsWith(kBinary)) {
        const QByteArray hex = tagged.mid(kBinary.size()).toLatin1();
        raw.bytes = QByteArray::fromHex(hex);
        if (hex.size() == raw.bytes.size() * 2)
            raw.type = rdBinary;
    }
    return raw;
}

void Registry::requireOpen(const QString& name) const
{
    if (!m_open)
        throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
}

void Registry::writeRaw(const QString& name, const QString& tagged)
{
    requireOpen(name);
    QString stored = findValue(name);
    if (stored.isEmpty()) {
        stored = escapeName(name);
        // No name equal ignoring case is there, so where the new one goes among them is its own.
        NameIndex& index = m_valueIndexes[m_current.join(QLatin1Char('/'))];
        const NameEntry entry{unescapeName(stored), stored, int(index.size())};
        index.insert(std::upper_bound(index.begin(), index.end(), entry,
                                      [](const NameEntry& a, const NameEntry& b) { return lessIgnoringCase(a.name, b.name); }),
                     entry);
        // The first value of a key brings the key (and the keys above it) into being.
        m_groupIndexes.clear();
    }
    m_settings->setValue(groupPrefix(m_current) + stored, tagged);
}

namespace {

[[noreturn]] void readFailed(const QString& name, bool exists)
{
    if (!exists)
        throw ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
    throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
}

} // namespace

int Registry::ReadInteger(const QString& name) const
{
    const Raw raw = readRaw(name);
    if (raw.type != rdInteger)
        readFailed(name, raw.exists);
    return static_cast<int>(raw.number);
}

QString Registry::ReadString(const QString& name) const
{
    const Raw raw = readRaw(name);
    if (raw.type != rdString)
        readFailed(name, raw.exists);
    return raw.text;
}

bool Registry::ReadBool(const QString& name) const
{
    return ReadInteger(name) != 0;
}

double Registry::ReadFloat(const QString& name) const
{
    const Raw raw = readRaw(name);
    double value = 0;
    if (raw.type != rdBinary || raw.bytes.size() != static_cast<int>(sizeof value))
        readFailed(name, raw.exists);
    std::memcpy(&value, raw.bytes.constData(), sizeof value);
    return value;
}

int Registry::ReadBinaryData(const QString& name, void* buffer, int bufSize) const
{
    const Raw raw = readRaw(name);
    if (raw.type != rdBinary || raw.bytes.size() > bufSize)
        readFailed(name, raw.exists);
    Q_ASSERT(buffer || raw.bytes.isEmpty());
    if (!raw.bytes.isEmpty())
        std::memcpy(buffer, raw.bytes.constData(), raw.bytes.size());
    return static_cast<int>(raw.bytes.size());
}

int Registry::GetDataSize(const QString& name) const
{
    const Raw raw = readRaw(name);
    switch (raw.type) {
    case rdString:
    case rdExpandString: return static_cast<int>((raw.text.size() + 1) * 2);
    case rdInteger: return 4;
    case rdBinary: return static_cast<int>(raw.bytes.size());
    case rdUnknown: break;
    }
    return -1;
}

void Registry::WriteInteger(const QString& name, int value)
{
    writeRaw(name, kInteger + QStringLiteral("%1").arg(static_cast<quint32>(value), 8, 16, QLatin1Char('0')));
}

void Registry::WriteString(const QString& name, const QString& value)
{
    writeRaw(name, kString + value);
}

void Registry::WriteBool(const QString& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void Registry::WriteFloat(const QString& name, double value)
{
    WriteBinaryData(name, &value, sizeof value);
}

void Registry::WriteBinaryData(const QString& name, const void* buffer, int size)
{
    Q_ASSERT(size >= 0 && (buffer || size == 0));
    const QByteArray bytes(static_cast<const char*>(buffer), size);
    writeRaw(name, kBinary + QString::fromLatin1(bytes.toHex()));
}

QStringList Registry::GetValueNames() const
{
    QStringList names;
    if (!m_open)
        return names;
    for (const QString& stored : childKeysOf(m_current))
        names << unescapeName(stored);
    return names;
}

QStringList Registry::GetKeyNames() const
{
    QStringList names;
    if (!m_open)
        return names;
    for (const QString& stored : childGroupsOf(m_current))
        names << unescapeName(stored);
    return names;
}

TRegDataType Registry::GetDataType(const QString& name) const
{
    return readRaw(name).type;
}
