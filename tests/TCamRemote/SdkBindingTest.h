// Shared by the binding tests of the three SDK units: copies of the stand-in folder to take files
// from or change, and a child process per case, since a unit loads its library once per process.
#pragma once

#include "TCamRemote/Sources/SDKLoader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>

namespace sdkbinding {

// A private folder with copies of a library's files from the stand-in folder, searched by the
// loader instead of the stand-in folder itself.
class SdkFolderCopy {
public:
    explicit SdkFolderCopy(std::span<const SdkRuntimeFile> files)
    {
        for (const SdkRuntimeFile& file : files) {
            const QString name = QString::fromLatin1(file.FileName);
            const QStringList found = QDir(QStringLiteral(JEX4_SDK_BIN_DIR)).entryList({name}, QDir::Files);
            EXPECT_EQ(found.size(), 1) << file.FileName << " is not among the stand-ins";
            for (const QString& real : found)
                EXPECT_TRUE(QFile::copy(QStringLiteral(JEX4_SDK_BIN_DIR "/") + real, m_dir.filePath(real))) << file.FileName;
        }
        qputenv("JEX4_CAMERA_SDK_PATH", QFile::encodeName(m_dir.path()));
        qunsetenv("LD_LIBRARY_PATH");
    }

    QString path(const QString& name) const
    {
        const QStringList found = QDir(m_dir.path()).entryList({name}, QDir::Files);
        return m_dir.filePath(found.isEmpty() ? name : found.first());
    }

    void remove(const QString& name) const { EXPECT_TRUE(QFile::remove(path(name))) << name.toStdString(); }

    // Rewrites a copy, as an update replaces a file: a new file, never the bytes of a loaded one.
    void rewrite(const QString& name, const std::function<void(QByteArray&)>& change) const
    {
        QFile in(path(name));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        in.close();
        change(bytes);
        remove(name);
        QFile out(path(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        ASSERT_EQ(out.write(bytes), bytes.size());
    }

    // Changes the file version in the file's version note.
    void setVersion(const QString& name, SdkFileVersion v) const
    {
        rewrite(name, [&](QByteArray& bytes) {
            for (qsizetype at = 0; at + 52 <= bytes.size(); at += 4) {
                if (qFromLittleEndian<quint32>(bytes.constData() + at) != 0xFEEF04BD
                    || qFromLittleEndian<quint32>(bytes.constData() + at + 4) != 0x00010000)
                    continue;
                qToLittleEndian<quint32>(quint32(v.Major) << 16 | quint32(v.Minor), bytes.data() + at + 8);
                qToLittleEndian<quint32>(quint32(v.Release) << 16 | quint32(v.Build), bytes.data() + at + 12);
                return;
            }
            ADD_FAILURE() << name.toStdString() << " has no version note";
        });
    }

    // Takes an entry point out of the library's exported names by changing its last letter.
    void hideEntryPoint(const QString& library, const QByteArray& entryPoint) const
    {
        rewrite(library, [&](QByteArray& bytes) {
            QByteArray renamed = entryPoint;
            renamed.back() = renamed.back() == 'X' ? 'Y' : 'X';
            const QByteArray needle = entryPoint + '\0';
            ASSERT_TRUE(bytes.contains(needle)) << entryPoint.constData();
            bytes.replace(needle, renamed + '\0');
        });
    }

    // Whether the loader has the copy of this library mapped.
    bool isLoaded(const QString& name) const
    {
        void* handle = dlopen(QFile::encodeName(path(name)).constData(), RTLD_NOW | RTLD_NOLOAD);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    }

private:
    QTemporaryDir m_dir;
};

// The text of what a load raised, or "loaded".
inline std::string loadResult(void (*load)())
{
    try {
        load();
    } catch (const std::exception& error) {
        return std::string("raised ") + error.what();
    }
    return "loaded";
}

inline std::string regexLiteral(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (std::string_view(".[]()*+?{}|^$\\").find(c) != std::string_view::npos)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// Runs `body` in a child process, which prints what it returns and ends the normal way, so the
// libraries' exit procedures run as at the end of the program.
inline void runInChild(const std::function<std::string()>& body)
{
    const std::string result = body();
    std::fprintf(stderr, "\nresult: [%s]\n", result.c_str());
    std::fflush(stderr);
    std::exit(0);
}

} // namespace sdkbinding

// The child's result must be exactly `expected`.
#define EXPECT_IN_CHILD(body, expected)                                                                      \
    do {                                                                                                     \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                                      \
        EXPECT_EXIT(sdkbinding::runInChild(body), testing::ExitedWithCode(0),                                \
                    "result: \\[" + sdkbinding::regexLiteral(expected) + "\\]");                             \
    } while (false)
