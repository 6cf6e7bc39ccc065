#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>

namespace {

const QString kRoot = QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4");

TEST(Registry, StoreFileFollowsTheConfigFolderAtEachConstruction)
{
    const QByteArray original = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir other;
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteInteger(QStringLiteral("Here"), 1);
    }
    EXPECT_TRUE(QFileInfo::exists(QString::fromLocal8Bit(original) + QStringLiteral("/LUMEK/JEX4.ini")));
    EXPECT_EQ(Registry::storeFileName(), QString::fromLocal8Bit(original) + QStringLiteral("/LUMEK/JEX4.ini"));

    qputenv("XDG_CONFIG_HOME", other.path().toLocal8Bit());
    {
        Registry reg;
        EXPECT_FALSE(reg.KeyExists(kRoot));
        EXPECT_FALSE(reg.OpenKey(kRoot, false));
    }
    qputenv("XDG_CONFIG_HOME", original);
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Here")), 1);
}

TEST(Registry, EveryKindSurvivesAFreshInstance)
{
    struct Row { const char* name; std::function<void(Registry&)> write; std::function<void(const Registry&)> check; TRegDataType type; };
    const QString tricky[] = {
        QString(), QStringLiteral("127.0.0.1"), QStringLiteral("jex,jex4,png,jpg,jpeg,bmp"), QStringLiteral("c:\\"),
        QStringLiteral("  padded  "), QStringLiteral("\"quoted\""), QStringLiteral("a=b;c#d"), QStringLiteral("@Variant(x)"),
        QStringLiteral("line1\nline2\r\n"), QStringLiteral(u"\u00C4pfel \u20AC \u4E2D"), QString(3000, QLatin1Char('x')),
        QStringLiteral("sz:dword:00000001"),
    };
    std::vector<Row> rows = {
        {"zero", [](Registry& r) { r.WriteInteger("zero", 0); }, [](const Registry& r) { EXPECT_EQ(r.ReadInteger("zero"), 0); }, rdInteger},
        {"minus", [](Registry& r) { r.WriteInteger("minus", -1); }, [](const Registry& r) { EXPECT_EQ(r.ReadInteger("minus"), -1); }, rdInteger},
        {"min", [](Registry& r) { r.WriteInteger("min", INT_MIN); }, [](const Registry& r) { EXPECT_EQ(r.ReadInteger("min"), INT_MIN); }, rdInteger},
        {"max", [](Registry& r) { r.WriteInteger("max", INT_MAX); }, [](const Registry& r) { EXPECT_EQ(r.ReadInteger("max"), INT_MAX); }, rdInteger},
        {"colour", [](Registry& r) { r.WriteInteger("colour", 0x0000CCFF); }, [](const Registry& r) { EXPECT_EQ(r.ReadInteger("colour"), 0x0000CCFF); }, rdInteger},
        {"yes", [](Registry& r) { r.WriteBool("yes", true); },
         [](const Registry& r) { EXPECT_TRUE(r.ReadBool("yes")); EXPECT_EQ(r.ReadInteger("yes"), 1); }, rdInteger},
        {"no", [](Registry& r) { r.WriteBool("no", false); }, [](const Registry& r) { EXPECT_FALSE(r.ReadBool("no")); }, rdInteger},
        {"seven", [](Registry& r) { r.WriteInteger("seven", 7); }, [](const Registry& r) { EXPECT_TRUE(r.ReadBool("seven")); }, rdInteger},
        {"float", [](Registry& r) { r.WriteFloat("float", 0.1); }, [](const Registry& r) { EXPECT_EQ(r.ReadFloat("float"), 0.1); }, rdBinary},
        {"huge", [](Registry& r) { r.WriteFloat("huge", -1e300); }, [](const Registry& r) { EXPECT_EQ(r.ReadFloat("huge"), -1e300); }, rdBinary},
        {"nan", [](Registry& r) { r.WriteFloat("nan", std::nan("")); }, [](const Registry& r) { EXPECT_TRUE(std::isnan(r.ReadFloat("nan"))); }, rdBinary},
        {"bytes",
         [](Registry& r) { unsigned char b[256]; for (int i = 0; i < 256; ++i) b[i] = static_cast<unsigned char>(i); r.WriteBinaryData("bytes", b, 256); },
         [](const Registry& r) {
             unsigned char b[300] = {};
             ASSERT_EQ(r.ReadBinaryData("bytes", b, sizeof b), 256);
             for (int i = 0; i < 256; ++i)
                 ASSERT_EQ(b[i], i);
             EXPECT_EQ(r.GetDataSize("bytes"), 256);
         }, rdBinary},
        {"nobytes", [](Registry& r) { r.WriteBinaryData("nobytes", nullptr, 0); },
         [](const Registry& r) { char b[1]; EXPECT_EQ(r.ReadBinaryData("nobytes", b, 0), 0); }, rdBinary},
    };
    for (int i = 0; i < int(std::size(tricky)); ++i) {
        const QString name = QStringLiteral("text%1").arg(i);
        const QString value = tricky[i];
        rows.push_back({"text", [name, value](Registry& r) { r.WriteString(name, value); },
                        [name, value](const Registry& r) { EXPECT_EQ(r.ReadString(name), value) << name.toStdString(); }, rdString});
    }
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        for (const Row& r : rows)
            r.write(reg);
    }
    // Read from a copy under another config folder, so the values come from the file itself and not
    // from anything kept in memory for the old path.
    QTemporaryDir copy;
    QDir(copy.path()).mkpath(QStringLiteral("LUMEK"));
    ASSERT_TRUE(QFile::copy(Registry::storeFileName(), copy.path() + QStringLiteral("/LUMEK/JEX4.ini")));
    const QByteArray original = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", copy.path().toLocal8Bit());
    struct Restore {
        QByteArray value;
        ~Restore() { qputenv("XDG_CONFIG_HOME", value); }
    } restore{original};
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    for (const Row& r : rows)
        r.check(reg);
    for (const QString& name : reg.GetValueNames())
        EXPECT_NE(reg.GetDataType(name), rdUnknown) << name.toStdString();
    EXPECT_EQ(reg.GetDataType(QStringLiteral("colour")), rdInteger);
    EXPECT_EQ(reg.GetDataType(QStringLiteral("float")), rdBinary);
    EXPECT_EQ(reg.GetDataType(QStringLiteral("text1")), rdString);
    EXPECT_EQ(reg.GetDataType(QStringLiteral("absent")), rdUnknown);
    EXPECT_EQ(reg.GetValueNames().size(), int(rows.size()));
}

TEST(Registry, ReadsOfMissingOrOtherKindsThrow)
{
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, true));
    reg.WriteString(QStringLiteral("Text"), QStringLiteral("12"));
    reg.WriteInteger(QStringLiteral("Number"), 12);
    reg.WriteFloat(QStringLiteral("Float"), 1.5);
    const char four[4] = {1, 2, 3, 4};
    reg.WriteBinaryData(QStringLiteral("Four"), four, 4);

    struct Row { const char* what; std::function<void()> read; const char* message; };
    const Row rows[] = {
        {"integer of a text", [&] { reg.ReadInteger("Text"); }, "Invalid data type for 'Text'"},
        {"bool of a text", [&] { reg.ReadBool("Text"); }, "Invalid data type for 'Text'"},
        {"float of a text", [&] { reg.ReadFloat("Text"); }, "Invalid data type for 'Text'"},
        {"text of a number", [&] { reg.ReadString("Number"); }, "Invalid data type for 'Number'"},
        {"float of a number", [&] { reg.ReadFloat("Number"); }, "Invalid data type for 'Number'"},
        {"integer of a float", [&] { reg.ReadInteger("Float"); }, "Invalid data type for 'Float'"},
        {"float of four bytes", [&] { reg.ReadFloat("Four"); }, "Invalid data type for 'Four'"},
        {"bytes beyond the buffer", [&] { char b[3]; reg.ReadBinaryData("Four", b, 3); }, "Invalid data type for 'Four'"},
        {"missing integer", [&] { reg.ReadInteger("Nothing"); }, "Failed to get data for 'Nothing'"},
        {"missing text", [&] { reg.ReadString("Nothing"); }, "Failed to get data for 'Nothing'"},
        {"missing bool", [&] { reg.ReadBool("Nothing"); }, "Failed to get data for 'Nothing'"},
        {"missing float", [&] { reg.ReadFloat("Nothing"); }, "Failed to get data for 'Nothing'"},
    };
    for (const Row& r : rows) {
        try {
            r.read();
            ADD_FAILURE() << r.what << ": no exception";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.message(), QString::fromLatin1(r.message)) << r.what;
        }
    }
    reg.CloseKey();
    EXPECT_THROW(reg.ReadInteger(QStringLiteral("Number")), ERegistryException) << "no key open";
    EXPECT_THROW(reg.WriteInteger(QStringLiteral("Number"), 1), ERegistryException) << "no key open";
    EXPECT_THROW(reg.WriteString(QStringLiteral("Text"), QString()), ERegistryException) << "no key open";
}

TEST(Registry, KeysResolveWithoutRegardToCaseAndStayInsideTheStore)
{
    Registry reg;
    EXPECT_FALSE(reg.KeyExists(kRoot));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\Software\\LUMEK\\JEX4\\RecentFiles"), false));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\LUMEK\\JEX4\\RecentFiles"), true));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4\\RecentFiles"));
    reg.WriteString(QStringLiteral("File0"), QStringLiteral("/data/a.jex4"));
    reg.CloseKey();

    struct Row { const char* key; bool exists; };
    const Row rows[] = {
        {"\\SOFTWARE\\LUMEK\\JEX4", true}, {"\\software\\lumek\\jex4", true}, {"\\SOFTWARE\\LUMEK\\JEX4\\", true},
        {"\\SOFTWARE\\LUMEK\\JEX4\\RecentFiles", true}, {"\\SOFTWARE\\lumek\\JEX4\\recentfiles", true},
        {"SOFTWARE\\LUMEK\\JEX4\\RECENTFILES", true}, // relative to the root while no key is open
        {"\\SOFTWARE\\LUMEK\\JEX4\\Other", false}, {"\\SOFTWARE\\LUMEK", false}, {"\\SOFTWARE\\Other\\JEX4", false},
        {"\\Software\\Classes\\.jex4", false}, {"", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(reg.KeyExists(QString::fromLatin1(r.key)), r.exists) << r.key;
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\Software\\Classes\\.jex4"), true)) << "outside the store";

    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("RecentFiles")});
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("recentfiles"), false)) << "relative to the open key";
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4\\RecentFiles"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("FILE0")), QStringLiteral("/data/a.jex4"));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("file0")));

    // Another spelling of a value name writes the same value.
    reg.WriteString(QStringLiteral("FILE0"), QStringLiteral("/data/b.jex4"));
    EXPECT_EQ(reg.GetValueNames(), QStringList{QStringLiteral("File0")});
    EXPECT_EQ(reg.ReadString(QStringLiteral("File0")), QStringLiteral("/data/b.jex4"));

    // A failed open keeps the open key.
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("Missing"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("File0")), QStringLiteral("/data/b.jex4"));
}

TEST(Registry, NamesWithSeparatorsAndTheDefaultValueRoundTrip)
{
    const QString names[] = {QStringLiteral("a/b"), QStringLiteral("c\\d"), QStringLiteral("50%"), QStringLiteral("@"),
                             QString(), QStringLiteral("%2F"), QStringLiteral("General"), QStringLiteral(u"Gr\u00F6\u00DFe")};
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\Sub/Key"), true));
        for (int i = 0; i < int(std::size(names)); ++i)
            reg.WriteInteger(names[i], i);
    }
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("Sub/Key")});
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Sub/Key"), false));
    QStringList got = reg.GetValueNames();
    QStringList want(std::begin(names), std::end(names));
    got.sort();
    want.sort();
    EXPECT_EQ(got, want);
    for (int i = 0; i < int(std::size(names)); ++i)
        EXPECT_EQ(reg.ReadInteger(names[i]), i) << names[i].toStdString();
}

TEST(Registry, DeleteKeyIsRecursiveAndClosesWhatItRemoves)
{
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\A\\B\\C"), true));
    reg.WriteInteger(QStringLiteral("deep"), 3);
    ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\A"), false));
    reg.WriteInteger(QStringLiteral("top"), 1);
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    reg.WriteInteger(QStringLiteral("MColor"), 255);

    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("mcolor")));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("mcolor")));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("MColor")));

    ASSERT_TRUE(reg.OpenKey(QStringLiteral("A\\B"), false));
    EXPECT_TRUE(reg.DeleteKey(kRoot + QStringLiteral("\\a")));
    EXPECT_FALSE(reg.KeyExists(kRoot + QStringLiteral("\\A\\B\\C")));
    EXPECT_FALSE(reg.KeyExists(kRoot + QStringLiteral("\\A")));
    EXPECT_FALSE(reg.DeleteKey(kRoot + QStringLiteral("\\A")));
    EXPECT_TRUE(reg.CurrentPath().isEmpty()) << "the open key was inside the deleted one";
    EXPECT_THROW(reg.WriteInteger(QStringLiteral("revived"), 1), ERegistryException);
    EXPECT_TRUE(reg.KeyExists(kRoot));
}

TEST(Registry, DeletingTheRootRemovesEverything)
{
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\RecentFiles"), true));
        reg.WriteString(QStringLiteral("File0"), QStringLiteral("/x.jex4"));
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteInteger(QStringLiteral("StandardDPI"), 1200);
    }
    {
        Registry reg;
        ASSERT_TRUE(reg.DeleteKey(kRoot));
        EXPECT_FALSE(QFileInfo::exists(Registry::storeFileName()));
    }
    Registry reg;
    EXPECT_FALSE(reg.KeyExists(kRoot));
    EXPECT_FALSE(reg.KeyExists(kRoot + QStringLiteral("\\RecentFiles")));
    ASSERT_TRUE(reg.OpenKey(kRoot, true)) << "an absent key is created empty";
    EXPECT_TRUE(QFileInfo::exists(Registry::storeFileName()));
    EXPECT_TRUE(reg.GetValueNames().isEmpty());
    EXPECT_TRUE(reg.GetKeyNames().isEmpty());
}

TEST(Registry, CloseKeyWritesTheFile)
{
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, true));
    reg.WriteInteger(QStringLiteral("RAXO4TCP"), 13000);
    reg.CloseKey();
    QFile file(Registry::storeFileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("RAXO4TCP=dword:000032c8"));
}

TEST(Registry, HandEditedValuesReadAsUnknownAndNeverCrash)
{
    QDir().mkpath(QFileInfo(Registry::storeFileName()).absolutePath());
    QFile file(Registry::storeFileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n"
               "plain=5\n"
               "badnumber=dword:zz\n"
               "longnumber=dword:123456789\n"
               "oddhex=hex:abc\n"
               "badhex=hex:zz\n"
               "list=sz:a,b\n"
               "emptynumber=dword:\n"
               "good=dword:0000002a\n"
               "[Broken\n"
               "x=\n");
    file.close();

    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    for (const char* name : {"plain", "badnumber", "longnumber", "oddhex", "badhex", "list", "emptynumber"}) {
        EXPECT_EQ(reg.GetDataType(QString::fromLatin1(name)), rdUnknown) << name;
        EXPECT_THROW(reg.ReadInteger(QString::fromLatin1(name)), ERegistryException) << name;
        EXPECT_THROW(reg.ReadString(QString::fromLatin1(name)), ERegistryException) << name;
        EXPECT_THROW(reg.ReadFloat(QString::fromLatin1(name)), ERegistryException) << name;
        EXPECT_EQ(reg.GetDataSize(QString::fromLatin1(name)), -1) << name;
    }
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("good")), 42);
}

// One open key sees its own writes and deletions at once, whichever spelling they use, and names
// that differ only in case (a hand-edited file) resolve to the first of them in the store's order.
TEST(Registry, LookupsFollowWritesAndDeletionsInsideOneOpenKey)
{
    QDir().mkpath(QFileInfo(Registry::storeFileName()).absolutePath());
    QFile file(Registry::storeFileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Twice]\n"
               "Colour=dword:00000001\n"
               "COLOUR=dword:00000002\n"
               "colour=dword:00000003\n");
    file.close();

    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\twice"), false));
    const QStringList stored = reg.GetValueNames();
    ASSERT_EQ(stored.size(), 3);
    const int first = stored.first() == QStringLiteral("COLOUR") ? 2 : stored.first() == QStringLiteral("Colour") ? 1 : 3;
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("cOLOUR")), first);
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("colour")));
    EXPECT_EQ(reg.GetValueNames(), stored.mid(1));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Colour")), stored[1] == QStringLiteral("COLOUR") ? 2 : stored[1] == QStringLiteral("Colour") ? 1 : 3);

    // A new key comes into being with its first value and is found at once.
    ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\Fresh"), true));
    EXPECT_FALSE(reg.KeyExists(kRoot + QStringLiteral("\\FRESH")));
    for (int i = 0; i < 50; ++i)
        reg.WriteInteger(QStringLiteral("Name%1").arg(49 - i), i);
    EXPECT_TRUE(reg.KeyExists(kRoot + QStringLiteral("\\FRESH")));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(reg.ReadInteger(QStringLiteral("NAME%1").arg(49 - i)), i);
        reg.WriteInteger(QStringLiteral("name%1").arg(49 - i), -i); // the same value, not another
    }
    EXPECT_EQ(reg.GetValueNames().size(), 50);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Name7")), -42);
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(reg.DeleteValue(QStringLiteral("NAME%1").arg(i)));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Name7")));
    EXPECT_FALSE(reg.KeyExists(kRoot + QStringLiteral("\\Fresh"))) << "gone with its last value";
    reg.WriteInteger(QStringLiteral("Name7"), 7);
    EXPECT_TRUE(reg.KeyExists(kRoot + QStringLiteral("\\fresh")));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("NAME7")), 7);
}

} // namespace
