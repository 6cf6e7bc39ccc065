// Loading of the camera SDK libraries: version notes read from fixture files, the lookup folders,
// the checks before a library is opened, name resolution and the freeing at process end. The
// libraries here are copies of zlib with a version note appended, which the system's loader ignores.
#include "TCamRemote/Sources/SDKLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <zlib.h>

#include <stdexcept>

namespace {

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// The 52-byte note of a file of version major.minor.release.build.
QByteArray versionNote(int major, int minor, int release, int build)
{
    QByteArray note = le32(0xFEEF04BD) + le32(0x00010000);
    note += le32(quint32(major) << 16 | quint32(minor)) + le32(quint32(release) << 16 | quint32(build));
    note += le32(quint32(major) << 16 | quint32(minor)) + le32(quint32(release) << 16 | quint32(build));
    for (int i = 0; i < 7; ++i)
        note += le32(0);
    return note;
}

// A new file each time, as an update replaces a file: rewriting a loaded library in place would
// change the code under the running process.
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

std::string raisedText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(nothing raised)";
}

// Every test looks up files only where it says: its own folders, no library path of the shell.
class SdkFolders : public testing::Test {
protected:
    void SetUp() override
    {
        m_savedSdkPath = qgetenv("JEX4_CAMERA_SDK_PATH");
        m_savedLibraryPath = qgetenv("LD_LIBRARY_PATH");
        qputenv("JEX4_CAMERA_SDK_PATH", QFile::encodeName(m_first.path() + QLatin1Char(':') + m_second.path()));
        qunsetenv("LD_LIBRARY_PATH");
    }
    void TearDown() override
    {
        qputenv("JEX4_CAMERA_SDK_PATH", m_savedSdkPath);
        qputenv("LD_LIBRARY_PATH", m_savedLibraryPath);
    }
    QString first(const QString& name) const { return m_first.filePath(name); }
    QString second(const QString& name) const { return m_second.filePath(name); }

private:
    QTemporaryDir m_first;
    QTemporaryDir m_second;
    QByteArray m_savedSdkPath;
    QByteArray m_savedLibraryPath;
};

// --- The version note -------------------------------------------------------------------------

TEST_F(SdkFolders, VersionNoteIsTheFirstAlignedCompleteBlock)
{
    const QByteArray note = versionNote(2, 13, 20, 6);
    const QByteArray otherNote = versionNote(1, 3, 0, 6);
    const QByteArray megabyte(1024 * 1024, 'x');
    const QByteArray wrongStructure = le32(0xFEEF04BD) + le32(0x00020000) + QByteArray(44, '\0');
    const struct {
        const char* what;
        QByteArray bytes;
        std::optional<SdkFileVersion> version;
    } rows[] = {
        {"note alone", note, SdkFileVersion{2, 13, 20, 6}},
        {"after code bytes", QByteArray(400, '\x90') + note + QByteArray(9, 'z'), SdkFileVersion{2, 13, 20, 6}},
        {"first of two", note + otherNote, SdkFileVersion{2, 13, 20, 6}},
        {"across the first megabyte", megabyte.left(megabyte.size() - 20) + note, SdkFileVersion{2, 13, 20, 6}},
        {"signature across the first megabyte", megabyte.left(megabyte.size() - 4) + note, SdkFileVersion{2, 13, 20, 6}},
        {"deep in the file", megabyte + megabyte + megabyte + otherNote, SdkFileVersion{1, 3, 0, 6}},
        {"misaligned only", QByteArray(2, 'a') + note + QByteArray(2, 'a'), std::nullopt},
        {"misaligned, then aligned", QByteArray(2, 'a') + note + QByteArray(2, 'a') + otherNote, SdkFileVersion{1, 3, 0, 6}},
        {"other structure version, then a note", wrongStructure + otherNote, SdkFileVersion{1, 3, 0, 6}},
        {"other structure version only", wrongStructure, std::nullopt},
        {"cut short", QByteArray(16, 'a') + note.left(51), std::nullopt},
        {"signature only", note.left(4), std::nullopt},
        {"no note", megabyte, std::nullopt},
        {"empty", QByteArray(), std::nullopt},
        {"highest numbers", versionNote(65535, 65535, 65535, 65535), SdkFileVersion{65535, 65535, 65535, 65535}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        writeFile(first(QStringLiteral("note.bin")), r.bytes);
        EXPECT_EQ(ReadFileVersionNote(first(QStringLiteral("note.bin"))), r.version);
    }
    EXPECT_EQ(ReadFileVersionNote(first(QStringLiteral("missing.bin"))), std::nullopt);
    EXPECT_EQ(ReadFileVersionNote(QDir::tempPath()), std::nullopt) << "a folder is no file";
}

// --- Where files are looked up ----------------------------------------------------------------

TEST_F(SdkFolders, SearchFoldersAreProgramThenSdkPathThenLibraryPath)
{
    qputenv("JEX4_CAMERA_SDK_PATH", "/opt/a::/opt/b:");
    qputenv("LD_LIBRARY_PATH", ":/usr/c");
    const QStringList expected = {QCoreApplication::applicationDirPath(), "/opt/a", "/opt/b", "/usr/c"};
    EXPECT_EQ(CameraSdkSearchFolders(), expected);

    qunsetenv("JEX4_CAMERA_SDK_PATH");
    qunsetenv("LD_LIBRARY_PATH");
    EXPECT_EQ(CameraSdkSearchFolders(), QStringList{QCoreApplication::applicationDirPath()});
}

TEST_F(SdkFolders, FindsTheFirstFolderHoldingTheNameInAnyCase)
{
    writeFile(first(QStringLiteral("EDSDK.DLL")), "1");
    writeFile(second(QStringLiteral("EDSDK.DLL")), "2");
    writeFile(second(QStringLiteral("PRSDK.DLL")), "3");
    writeFile(first(QStringLiteral("cdsdk.dll")), "4");
    writeFile(first(QStringLiteral("CDSDK.dll")), "5");

    EXPECT_EQ(FindCameraSdkFile(QStringLiteral("EDSDK.DLL")), first(QStringLiteral("EDSDK.DLL")));
    EXPECT_EQ(FindCameraSdkFile(QStringLiteral("PRSDK.dll")), second(QStringLiteral("PRSDK.DLL")));
    EXPECT_EQ(FindCameraSdkFile(QStringLiteral("CDSDK.dll")), first(QStringLiteral("CDSDK.dll"))) << "the exact name wins";
    EXPECT_EQ(FindCameraSdkFile(QStringLiteral("EdsImage.dll")), QString());
    EXPECT_EQ(FindCameraSdkFile(QString()), QString());
    // Only bare names are looked up: a path never leaves the search folders.
    EXPECT_EQ(FindCameraSdkFile(QStringLiteral("../") + QDir(first(QString())).dirName() + QStringLiteral("/EDSDK.DLL")), QString());
}

// --- CheckFileVersion -------------------------------------------------------------------------

TEST_F(SdkFolders, CheckFileVersionWantsExactlyTheVersion)
{
    const std::string incorrect = " is of incorrect file version. Please update the redist files from TCamRemote zip-file";
    writeFile(first(QStringLiteral("EDSDK.DLL")), QByteArray(64, 'e') + versionNote(2, 13, 20, 6));
    writeFile(first(QStringLiteral("PRSDK.DLL")), versionNote(1, 1, 0, 20));
    writeFile(first(QStringLiteral("MLib.dll")), QByteArray(4096, 'm'));
    writeFile(second(QStringLiteral("MLib.dll")), versionNote(1, 3, 0, 6)); // hidden by the note-less first

    const struct {
        const char* file;
        SdkFileVersion version;
        std::string raised; // empty: passes
    } rows[] = {
        {"EDSDK.DLL", {2, 13, 20, 6}, ""},
        {"EDSDK.DLL", {2, 13, 20, 7}, "EDSDK.DLL" + incorrect},
        {"EDSDK.DLL", {2, 13, 20, 5}, "EDSDK.DLL" + incorrect},
        {"EDSDK.DLL", {2, 13, 21, 6}, "EDSDK.DLL" + incorrect},
        {"EDSDK.DLL", {2, 14, 20, 6}, "EDSDK.DLL" + incorrect},
        {"EDSDK.DLL", {3, 13, 20, 6}, "EDSDK.DLL" + incorrect},
        {"PRSDK.dll", {1, 1, 0, 20}, ""},
        {"PRSDK.dll", {1, 1, 0, 12}, "PRSDK.dll" + incorrect},
        {"EdsImage.dll", {2, 13, 0, 0}, "EdsImage.dll could not be found"},
        {"MLib.dll", {1, 3, 0, 6}, "MLib.dll could not be found"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.file) + " " + std::to_string(r.version.Build));
        const std::string raised = raisedText([&] {
            CheckFileVersion(QString::fromLatin1(r.file), r.version.Major, r.version.Minor, r.version.Release, r.version.Build);
        });
        EXPECT_EQ(raised, r.raised.empty() ? "(nothing raised)" : r.raised);
    }
}

// --- Entry point names ------------------------------------------------------------------------

TEST(UndecoratedEntryPointName, StripsOnlyTheStdcallDecoration)
{
    const struct {
        const char* name;
        const char* exported;
    } rows[] = {
        {"_EdsCreateStream@8", "EdsCreateStream"},
        {"_CDGetReleaseControlFaculty@8", "CDGetReleaseControlFaculty"},
        {"_X@12", "X"},
        {"EdsGetEvent", "EdsGetEvent"},
        {"PR_StartSDK", "PR_StartSDK"},
        {"_X@", "_X@"},
        {"_X@8a", "_X@8a"},
        {"X@8", "X@8"},
        {"_@8", "_@8"},
        {"_a@b@8", "a@b"},
        {"", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(UndecoratedEntryPointName(r.name), QByteArray(r.exported)) << r.name;
}

// --- Loading a library ------------------------------------------------------------------------

// The binding unit of the fixture library: its variables and its description.
using ZlibVersionFn = const char* (*)();
ZlibVersionFn gZlibVersion = nullptr;
void* gDeflateEnd = nullptr;
void* gMissing = nullptr;

const SdkRuntimeFile kFiles[] = {
    {"ZRuntime.dll", {1, 2, 3, 4}},
    {"ZTEST.DLL", {2, 13, 20, 6}},
};
const SdkEntryPoint kEntryPoints[] = {
    {"zlibVersion", [](void* a) { gZlibVersion = reinterpret_cast<ZlibVersionFn>(a); }},
    {"_deflateEnd@4", [](void* a) { gDeflateEnd = a; }},
};
const SdkEntryPoint kEntryPointsWithMissing[] = {
    {"zlibVersion", [](void* a) { gZlibVersion = reinterpret_cast<ZlibVersionFn>(a); }},
    {"_deflateEnd@4", [](void* a) { gDeflateEnd = a; }},
    {"ZNoSuchEntry", [](void* a) { gMissing = a; }},
};

class SdkLoading : public SdkFolders {
protected:
    void SetUp() override
    {
        SdkFolders::SetUp();
        Dl_info info{};
        ASSERT_NE(dladdr(reinterpret_cast<void*>(&zlibVersion), &info), 0);
        QFile zlib(QFile::decodeName(info.dli_fname));
        ASSERT_TRUE(zlib.open(QIODevice::ReadOnly));
        m_zlibBytes = zlib.readAll();
        gZlibVersion = nullptr;
        gDeflateEnd = nullptr;
        gMissing = nullptr;
    }
    // The library as the stand-ins are: the shared object followed by its version note.
    void writeLibrary(int build) { writeFile(first(QStringLiteral("ZTEST.DLL")), m_zlibBytes + versionNote(2, 13, 20, build)); }
    void writeRuntime() { writeFile(first(QStringLiteral("ZRuntime.dll")), versionNote(1, 2, 3, 4)); }
    bool libraryIsOpen() const
    {
        void* handle = dlopen(QFile::encodeName(first(QStringLiteral("ZTEST.DLL"))).constData(), RTLD_NOW | RTLD_NOLOAD);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    }

private:
    QByteArray m_zlibBytes;
};

TEST_F(SdkLoading, LoadsOnceAndResolvesDecoratedNames)
{
    writeRuntime();
    writeLibrary(6);
    SdkModule library{"ZTEST", "ZTEST.DLL", kFiles, kEntryPoints};
    LoadSdkLibrary(library);
    ASSERT_TRUE(library.Loaded);
    ASSERT_NE(library.Handle, nullptr);
    EXPECT_TRUE(libraryIsOpen());
    ASSERT_NE(gZlibVersion, nullptr);
    EXPECT_STREQ(gZlibVersion(), zlibVersion());
    EXPECT_EQ(gDeflateEnd, dlsym(library.Handle, "deflateEnd"));
    EXPECT_NE(gDeflateEnd, reinterpret_cast<void*>(&deflateEnd)) << "the copy's own function, not the program's zlib";

    // A second load compares no versions: the files may have gone meanwhile.
    QFile::remove(first(QStringLiteral("ZRuntime.dll")));
    writeLibrary(7);
    void* const handle = library.Handle;
    EXPECT_NO_THROW(LoadSdkLibrary(library));
    EXPECT_EQ(library.Handle, handle);
}

TEST_F(SdkLoading, FailuresLeaveTheLibraryUnloadedAndCheckAgain)
{
    SdkModule library{"ZTEST", "ZTEST.DLL", kFiles, kEntryPoints};

    // The runtime file comes first: the library is not touched while it is missing.
    writeLibrary(6);
    EXPECT_EQ(raisedText([&] { LoadSdkLibrary(library); }), "ZRuntime.dll could not be found");
    EXPECT_FALSE(library.Loaded);
    EXPECT_FALSE(libraryIsOpen());

    writeRuntime();
    writeLibrary(7);
    EXPECT_EQ(raisedText([&] { LoadSdkLibrary(library); }),
              "ZTEST.DLL is of incorrect file version. Please update the redist files from TCamRemote zip-file");
    EXPECT_FALSE(library.Loaded);
    EXPECT_FALSE(libraryIsOpen());

    // The right version, but no shared object behind it.
    writeFile(first(QStringLiteral("ZTEST.DLL")), QByteArray(100, 'x') + versionNote(2, 13, 20, 6));
    EXPECT_EQ(raisedText([&] { LoadSdkLibrary(library); }), "ZTEST.DLL could not be loaded");
    EXPECT_FALSE(library.Loaded);

    writeLibrary(6);
    EXPECT_NO_THROW(LoadSdkLibrary(library));
    EXPECT_TRUE(library.Loaded);
    EXPECT_NE(gZlibVersion, nullptr);
}

TEST_F(SdkLoading, MissingEntryPointIsAnErrorNamingUnitAndName)
{
    writeRuntime();
    writeLibrary(6);
    SdkModule library{"ZTEST", "ZTEST.DLL", kFiles, kEntryPointsWithMissing};
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(raisedText([&] { LoadSdkLibrary(library); }), "ZTEST: entry point ZNoSuchEntry is missing in ZTEST.DLL");
        EXPECT_FALSE(library.Loaded);
        EXPECT_EQ(library.Handle, nullptr);
        EXPECT_EQ(gZlibVersion, nullptr) << "no variable keeps an address of a library that was let go";
        EXPECT_EQ(gDeflateEnd, nullptr);
        EXPECT_FALSE(libraryIsOpen());
    }
}

// --- Freeing at process end -------------------------------------------------------------------

QList<void*> gClosed;

TEST(SdkExitChain, ClosesInReverseOrderOfRegistrationOnce)
{
    int a = 0, b = 0, c = 0;
    gClosed.clear();
    {
        SdkExitChain chain([](void* handle) { gClosed.append(handle); });
        chain.Register(&a);
        chain.Register(&b);
        chain.Register(&c);
        EXPECT_TRUE(gClosed.isEmpty());
    }
    EXPECT_EQ(gClosed, (QList<void*>{&c, &b, &a}));

    gClosed.clear();
    SdkExitChain chain([](void* handle) { gClosed.append(handle); });
    chain.Register(&a);
    chain.Close();
    chain.Close();
    EXPECT_EQ(gClosed, QList<void*>{&a});
}

} // namespace
