// Loading of the camera SDK libraries: version notes, lookup folders, dlopen and name resolution.
#include "TCamRemote/Sources/SDKLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace {

constexpr quint32 kNoteSignature = 0xFEEF04BD;
constexpr quint32 kNoteStructureVersion = 0x00010000;
constexpr qsizetype kNoteBytes = 13 * 4;

quint32 le32(const char* p) { return qFromLittleEndian<quint32>(p); }

[[noreturn]] void raise(const QString& text) { throw std::runtime_error(text.toStdString()); }

void appendPathList(QStringList& folders, const QByteArray& list)
{
    for (const QByteArray& entry : list.split(':'))
        if (!entry.isEmpty())
            folders.append(QString::fromLocal8Bit(entry));
}

} // namespace

std::optional<SdkFileVersion> ReadFileVersionNote(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A runtime file is a few megabytes; the scan stops well beyond that rather than read a huge file.
    return ReadVersionNote(file);
}

std::optional<SdkFileVersion> ReadVersionNote(QIODevice& device, qint64 pieceBytes, qint64 maxBytes)
{
    Q_ASSERT(pieceBytes > 0 && pieceBytes % 4 == 0); // pieces keep the file's 4-byte alignment
    // `window` holds the unscanned tail of the previous piece followed by the new one; it always
    // starts at a 4-byte aligned offset, so aligned positions in it are aligned in the file.
    QByteArray window;
    qint64 scanned = 0;
    while (scanned < maxBytes) {
        const QByteArray piece = device.read(qMin(pieceBytes, maxBytes - scanned));
        if (piece.isEmpty())
            break;
        scanned += piece.size();
        window.append(piece);
        const bool atEnd = device.atEnd() || scanned >= maxBytes;
        qsizetype pos = 0;
        for (; pos + 8 <= window.size(); pos += 4) {
            const char* p = window.constData() + pos;
            if (le32(p) != kNoteSignature || le32(p + 4) != kNoteStructureVersion)
                continue;
            if (pos + kNoteBytes > window.size()) {
                if (atEnd)
                    return std::nullopt; // the note is cut short by the end of the file
                break;                   // the rest of it comes with the next piece
            }
            const quint32 ms = le32(p + 8);
            const quint32 ls = le32(p + 12);
            return SdkFileVersion{int(ms >> 16), int(ms & 0xFFFF), int(ls >> 16), int(ls & 0xFFFF)};
        }
        if (atEnd)
            break;
        window.remove(0, pos);
    }
    return std::nullopt;
}

QStringList CameraSdkSearchFolders()
{
    QStringList folders;
    // The program's own folder even before QCoreApplication exists, as the system's loader does.
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!executable.isEmpty())
        folders.append(QFileInfo(executable).absolutePath());
    appendPathList(folders, qgetenv("JEX4_CAMERA_SDK_PATH"));
    appendPathList(folders, qgetenv("LD_LIBRARY_PATH"));
    return folders;
}

QString FindCameraSdkFile(const QString& fileName)
{
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')))
        return {};
    for (const QString& folder : CameraSdkSearchFolders()) {
        const QDir dir(folder);
        const QString exact = dir.filePath(fileName);
        if (QFileInfo(exact).isFile())
            return exact;
        const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString& entry : entries)
            if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
    }
    return {};
}

void CheckFileVersion(const QString& FileName, int Major, int Minor, int Release, int Build)
{
    const QString path = FindCameraSdkFile(FileName);
    // A file without a readable note counts as missing, as a file without version information does
    // to the system's version query.
    const std::optional<SdkFileVersion> version = path.isEmpty() ? std::nullopt : ReadFileVersionNote(path);
    if (!version)
        raise(FileName + QStringLiteral(" could not be found"));
    if (*version != SdkFileVersion{Major, Minor, Release, Build})
        raise(FileName + QStringLiteral(" is of incorrect file version. ") + QStringLiteral("Please update the redist files from TCamRemote ")
              + QStringLiteral("zip-file"));
}

QByteArray UndecoratedEntryPointName(const char* name)
{
    const QByteArray decorated(name);
    const qsizetype at = decorated.lastIndexOf('@');
    if (!decorated.startsWith('_') || at < 2 || at + 1 >= decorated.size())
        return decorated;
    for (qsizetype i = at + 1; i < decorated.size(); ++i)
        if (decorated[i] < '0' || decorated[i] > '9')
            return decorated;
    return decorated.mid(1, at - 1);
}

SdkExitChain::SdkExitChain(CloseProc close) : m_close(close) {}

SdkExitChain::~SdkExitChain() { Close(); }

void SdkExitChain::Register(void* handle) { m_handles.append(handle); }

void SdkExitChain::Close()
{
    while (!m_handles.isEmpty())
        m_close(m_handles.takeLast());
}

namespace {

void closeLibrary(void* handle) { dlclose(handle); }

// Constructed with the first loaded library, so it is destroyed, and frees the libraries, at the end
// of the process.
SdkExitChain& processExitChain()
{
    static SdkExitChain chain(closeLibrary);
    return chain;
}

void clearEntryPoints(SdkModule& library)
{
    for (const SdkEntryPoint& entry : library.EntryPoints)
        entry.Assign(nullptr);
}

} // namespace

void LoadSdkLibrary(SdkModule& library)
{
    // Loads come from the GUI thread; the lock only keeps a stray second caller from loading twice.
    static std::mutex lock;
    const std::lock_guard guard(lock);
    if (library.Loaded)
        return;
    for (const SdkRuntimeFile& file : library.Files) {
        const SdkFileVersion& v = file.Version;
        CheckFileVersion(QString::fromLatin1(file.FileName), v.Major, v.Minor, v.Release, v.Build);
    }
    // The system's error mode (no box when a file cannot be opened) has no counterpart here.
    const QString libraryName = QString::fromLatin1(library.LibraryName);
    const QString path = FindCameraSdkFile(libraryName);
    void* handle = path.isEmpty() ? nullptr : dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (!path.isEmpty())
            qWarning("%s: %s", library.LibraryName, dlerror());
        raise(libraryName + QStringLiteral(" could not be loaded"));
    }
    for (const SdkEntryPoint& entry : library.EntryPoints) {
        const QByteArray name = UndecoratedEntryPointName(entry.Name);
        void* address = dlsym(handle, name.constData());
        if (!address && name != entry.Name)
            address = dlsym(handle, entry.Name);
        if (!address) {
            // A library without one of its names is not used at all: no variable may stay unset
            // while the library counts as loaded.
            clearEntryPoints(library);
            dlclose(handle);
            raise(QStringLiteral("%1: entry point %2 is missing in %3")
                      .arg(QString::fromLatin1(library.Unit), QString::fromLatin1(entry.Name), libraryName));
        }
        entry.Assign(address);
    }
    library.Handle = handle;
    library.Loaded = true;
    processExitChain().Register(handle);
}
