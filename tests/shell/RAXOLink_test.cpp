// The link to RAXO: the message parser on byte streams cut every way, and a real dialogue with a
// stand-in RAXO server on 127.0.0.1 (connect, update requests, OPEN, REFSAM, DRAGRING, RELOAD,
// disconnect and reconnect, split and merged reads, garbage and oversized input).
#include "shell/RAXOLink.h"

#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "support/FakeRaxo.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

using testhelpers::FakeRaxo;
using testhelpers::message;
using testhelpers::settle;
using testhelpers::waitFor;

bool logContains(const QString& text)
{
    for (const auto& e : TF_ErrorLog::Entries())
        if (e->AMessage.contains(text))
            return true;
    return false;
}

// ---- parser ------------------------------------------------------------------------------------

QList<QStringList> parseAll(RAXOMessageParser& parser, const QList<QByteArray>& chunks, bool flush)
{
    QList<QStringList> out;
    for (const QByteArray& c : chunks) {
        parser.feed(c);
        while (auto m = parser.next())
            out << m->lines;
    }
    if (flush) {
        parser.flush();
        while (auto m = parser.next())
            out << m->lines;
    }
    return out;
}

const QByteArray kOpen = message({"RAXO", "1", "OPEN", "/data/oak.jex4", "{GUID-1}"});
const QStringList kOpenLines = {"RAXO", "1", "OPEN", "/data/oak.jex4", "{GUID-1}"};
const QByteArray kRefSam = message({"RAXO", "", "REFSAM", "/r.jex4", "{R}", "Ref", "/s.jex4", "{S}", "Sam"});
const QStringList kRefSamLines = {"RAXO", "", "REFSAM", "/r.jex4", "{R}", "Ref", "/s.jex4", "{S}", "Sam"};

TEST(RAXOMessageParser, FramesMessagesFromStreams)
{
    const struct {
        const char* what;
        QByteArray bytes;
        QList<QStringList> messages; // without flush
        QList<QStringList> afterFlush;
        int problems;
    } rows[] = {
        {"CR LF", kOpen, {kOpenLines}, {}, 0},
        {"LF only", "RAXO\n1\nOPEN\n/data/oak.jex4\n{GUID-1}\n", {kOpenLines}, {}, 0},
        {"lone CR", "RAXO\r1\rOPEN\r/data/oak.jex4\r{GUID-1}\r", {kOpenLines}, {}, 0},
        {"no final line break: complete once the sender pauses", kOpen.chopped(2), {}, {kOpenLines}, 0},
        {"two messages in one read", kRefSam + kOpen, {kRefSamLines, kOpenLines}, {}, 0},
        {"blank lines between messages", "\r\n\r\n" + kOpen + "\r\n" + kRefSam, {kOpenLines, kRefSamLines}, {}, 0},
        {"garbage before a message", "hello\r\nworld\r\n" + kOpen, {kOpenLines}, {}, 1},
        {"another sender", message({"RAXX", "1", "OPEN", "/a", "{A}"}) + kOpen, {kOpenLines}, {}, 1},
        {"sender mark in another case", message({"raxo", "1", "OPEN", "/a", "{A}"}), {}, {}, 1},
        {"unknown command: its first three lines", message({"RAXO", "1", "CLOSE", "/a"}) + kOpen,
         {{"RAXO", "1", "CLOSE"}, kOpenLines}, {}, 1},
        {"short message dropped when the sender pauses", message({"RAXO", "1", "DRAGRING", "/a", "{A}"}), {}, {}, 1},
        {"header only", message({"RAXO", "1"}), {}, {}, 1},
        {"empty lines keep their place", message({"RAXO", "", "REFSAM", "", "", "", "/s", "{S}", ""}),
         {{"RAXO", "", "REFSAM", "", "", "", "/s", "{S}", ""}}, {}, 0},
        {"code page", "RAXO\r\n1\r\nOPEN\r\n/data/\xe9\x80.jex4\r\n{G}\r\n",
         {{"RAXO", "1", "OPEN", QStringLiteral("/data/\u00e9\u20ac.jex4"), "{G}"}}, {}, 0},
        {"NUL bytes stay in the line", QByteArray("RAXO\r\n1\r\nOPEN\r\n/a\0b\r\n{G}\r\n", 26),
         {{"RAXO", "1", "OPEN", QString::fromLatin1("/a\0b", 4), "{G}"}}, {}, 0},
    };
    for (const auto& r : rows) {
        RAXOMessageParser parser;
        EXPECT_EQ(parseAll(parser, {r.bytes}, false), r.messages) << r.what;
        parser.flush();
        QList<QStringList> rest;
        while (auto m = parser.next())
            rest << m->lines;
        EXPECT_EQ(rest, r.afterFlush) << r.what;
        EXPECT_EQ(parser.takeProblems().size(), r.problems) << r.what;
        EXPECT_FALSE(parser.hasPending()) << r.what;
    }
}

TEST(RAXOMessageParser, EverySplitGivesTheSameMessages)
{
    // Two messages with CR LF; split at every byte, including between CR and LF.
    const QByteArray stream = kRefSam + kOpen;
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        RAXOMessageParser parser;
        EXPECT_EQ(parseAll(parser, {stream.left(cut), stream.mid(cut)}, false), (QList<QStringList>{kRefSamLines, kOpenLines}))
            << "cut at " << cut;
        EXPECT_TRUE(parser.takeProblems().isEmpty()) << cut;
    }
    // Byte by byte.
    RAXOMessageParser parser;
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes << QByteArray(1, c);
    EXPECT_EQ(parseAll(parser, bytes, false), (QList<QStringList>{kRefSamLines, kOpenLines}));
}

TEST(RAXOMessageParser, OverlongLinesDropTheirMessageOnly)
{
    const QByteArray huge(RAXOMessageParser::MaxLineBytes + 10, 'x');
    const struct {
        const char* what;
        QList<QByteArray> chunks;
    } rows[] = {
        {"in a message", {"RAXO\r\n1\r\nREFSAM\r\n/r\r\n{R}\r\n" + huge + "\r\n/s\r\n{S}\r\nSam\r\n" + kOpen}},
        {"spread over reads", {"RAXO\r\n1\r\nREFSAM\r\n/r\r\n{R}\r\n", huge.left(5000), huge.mid(5000),
                               "\r\n/s\r\n{S}\r\nSam\r\n", kOpen}},
        {"as garbage", {huge + "\r\n" + kOpen}},
        {"as the sender mark line", {huge + "RAXO\r\n" + kOpen}},
    };
    for (const auto& r : rows) {
        RAXOMessageParser parser;
        EXPECT_EQ(parseAll(parser, r.chunks, false), QList<QStringList>{kOpenLines}) << r.what;
        EXPECT_FALSE(parser.takeProblems().isEmpty()) << r.what;
    }
    // An overlong last line still pending when the sender pauses: the message goes.
    RAXOMessageParser parser;
    EXPECT_TRUE(parseAll(parser, {"RAXO\r\n1\r\nOPEN\r\n/a\r\n" + huge}, true).isEmpty());
    EXPECT_FALSE(parser.takeProblems().isEmpty());
    EXPECT_FALSE(parser.hasPending());
}

TEST(RAXOMessageParser, HoldsOnlyWhatMayStillBecomeAMessage)
{
    // Bare line ends of every kind between messages are not kept, however many come.
    RAXOMessageParser parser;
    for (const QByteArray& ends : {QByteArray(1 << 20, '\n'), QByteArray(1 << 20, '\r'), QByteArray("\r\n").repeated(1 << 19)}) {
        parser.feed(ends);
        EXPECT_EQ(parser.pendingLines(), 0);
        EXPECT_EQ(parser.pendingBytes(), 0);
        EXPECT_FALSE(parser.next());
    }
    EXPECT_TRUE(parser.takeProblems().isEmpty());

    // Lines are held only until their message is handed out.
    parser.feed("RAXO\r\n1\r\nOPEN\r\n/a");
    EXPECT_FALSE(parser.next());
    EXPECT_EQ(parser.pendingLines(), 3);
    EXPECT_EQ(parser.pendingBytes(), 4 + 1 + 4 + 2);
    parser.feed("\r\n{G}\r\n");
    ASSERT_TRUE(parser.next());
    EXPECT_EQ(parser.pendingLines(), 0);
    EXPECT_EQ(parser.pendingBytes(), 0);
    parser.release();
    EXPECT_FALSE(parser.hasPending());

    // A line being received is cut at the line limit, whatever comes after.
    parser.feed(QByteArray(10 * RAXOMessageParser::MaxLineBytes, 'z'));
    EXPECT_LE(parser.pendingBytes(), RAXOMessageParser::MaxLineBytes);
    parser.clear();
    parser.takeProblems();
}

// The link feeds one chunk whenever no complete message is left, and the event loop may run right
// after it: whatever the chunk holds, at most half a chunk of lines is kept until next() is called.
TEST(RAXOMessageParser, OneChunkNeverLeavesMoreLinesThanHalfItsBytes)
{
    constexpr qsizetype chunk = RAXOLink::ReadChunkBytes;
    // `head`, then as many `unit`s as fit before `tail` in one chunk.
    const auto fill = [](const QByteArray& head, const QByteArray& unit, const QByteArray& tail = {}) {
        QByteArray bytes = head;
        while (bytes.size() + unit.size() + tail.size() <= chunk)
            bytes += unit;
        return bytes + tail;
    };
    const QByteArray nope = message({"RAXO", "1", "NOPE"});
    const QByteArray shortest = "RAXO\n\nREFSAM\n\n\n\n\n\n\n"; // the fewest bytes per line a message has
    const QByteArray started = "RAXO\n\nREFSAM\n";
    const struct {
        const char* what;
        QByteArray before; // fed and taken out first: the start of a message may be left
        QByteArray chunk;
        qsizetype heldAfter; // once the messages are taken out
    } rows[] = {
        {"line ends behind a message", {}, fill(nope, "\n"), 0},
        {"lone CRs behind a message", {}, fill(nope, "\r"), 0},
        {"stray one-character lines", {}, fill({}, "x\n"), 0},
        {"line ends, then stray lines", {}, fill(nope + QByteArray(chunk / 2, '\n'), "x\n"), 0},
        {"shortest messages", {}, fill({}, shortest), 0},
        {"the rest of a started message, then stray lines", started, fill("\n\n\n\n\n\n", "x\n"), 0},
        {"the rest of a started message, then shortest messages", started, fill("\n\n\n\n\n\n", shortest), 0},
        {"shortest messages, a started one at the end", {}, fill({}, shortest, started), 3},
    };
    for (const auto& r : rows) {
        ASSERT_GT(r.chunk.size(), chunk - shortest.size()) << r.what;
        ASSERT_LE(r.chunk.size(), chunk) << r.what;
        RAXOMessageParser parser;
        parser.feed(r.before);
        EXPECT_FALSE(parser.next()) << r.what;
        parser.feed(r.chunk);
        EXPECT_LE(parser.pendingLines(), chunk / 2) << r.what;
        EXPECT_LE(parser.pendingBytes(), chunk) << r.what;
        while (parser.next()) {
        }
        EXPECT_EQ(parser.pendingLines(), r.heldAfter) << r.what;
    }
}

TEST(RAXOMessageParser, ManyProblemsAreCountedNotListed)
{
    RAXOMessageParser parser;
    constexpr int runs = 1000;
    parser.feed(QByteArray("garbage\r\n" + message({"RAXO", "1", "NOPE"})).repeated(runs));
    int unknown = 0;
    while (auto m = parser.next())
        unknown += m->command() == QLatin1String("NOPE");
    EXPECT_EQ(unknown, runs);
    const QStringList problems = parser.takeProblems();
    ASSERT_EQ(problems.size(), RAXOMessageParser::MaxProblems + 1);
    EXPECT_TRUE(problems.first().contains(QStringLiteral("without its sender mark"))) << problems.first().toStdString();
    EXPECT_EQ(problems.last(), QStringLiteral("%1 more problem(s) with input from RAXO not listed")
                                   .arg(runs - RAXOMessageParser::MaxProblems));
    EXPECT_TRUE(parser.takeProblems().isEmpty()) << "the count starts again";
}

TEST(RAXOMessageParser, DatagramAndLineCounts)
{
    RAXOMessage m{kOpenLines};
    EXPECT_EQ(m.command(), QStringLiteral("OPEN"));
    EXPECT_EQ(m.datagram(), QString::fromLatin1(kOpen));
    EXPECT_EQ(RAXOMessageParser::lineCount(QStringLiteral("OPEN")), 5);
    EXPECT_EQ(RAXOMessageParser::lineCount(QStringLiteral("DRAGRING")), 9);
    EXPECT_EQ(RAXOMessageParser::lineCount(QStringLiteral("REFSAM")), 9);
    EXPECT_EQ(RAXOMessageParser::lineCount(QStringLiteral("open")), 0);
    EXPECT_EQ(RAXOLink::UpdateRequest(), QByteArray("JEX\r\nREQUESTUPDATE\r\n\r\n"));
    EXPECT_EQ(RAXOLink::UpdateRequest().size(), 22);
}

// ---- dialogue with a stand-in RAXO ----------------------------------------------------------

class LinkDialogue : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        auto fake = std::make_unique<FakeDialogs>();
        fakeDialogs = fake.get();
        setDialogs(std::move(fake));
        SettingTCPIPAutoConnect = true;
        ProjectLoading = false;
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
        tool = std::make_unique<TF_Measurements>();
        F_Measurements = tool.get();

        ASSERT_TRUE(raxo.listen());
        link = std::make_unique<RAXOLink>();
        ASSERT_TRUE(link->SetPort(raxo.port()));
        link->Glyph = [](int index) {
            QPixmap pm(16, 16);
            pm.fill(index == 8 ? Qt::red : Qt::blue);
            return QIcon(pm);
        };
        panel = new QLabel(main.get());
        connectedIcon = new QLabel(main.get());
        disconnectedIcon = new QLabel(main.get());
        link->SetStatusWidgets(panel, connectedIcon, disconnectedIcon);
    }
    void TearDown() override
    {
        link.reset();
        for (const QPointer<TF_SMDI>& w : windows)
            delete w.data();
        F_Measurements = nullptr;
        tool.reset();
        F_Main = nullptr;
        main.reset();
        SettingTCPIPAutoConnect = false;
        ProjectLoading = false;
        setDialogs(nullptr);
    }

    void connectLink()
    {
        link->T_TCPTimer();
        ASSERT_TRUE(raxo.accept());
        ASSERT_TRUE(waitFor([this] { return link->Connected(); }));
        ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    }

    QString file(const char* name)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }

    // An image window for a project file with paths of the given identifiers, each with one
    // index point and five rings; the last added window is the active one.
    TF_SMDI* addWindow(const QString& projectFile, const QStringList& guids)
    {
        auto* w = new TF_SMDI;
        windows << w;
        w->Project->Filename = projectFile;
        w->PathList.clear();
        for (const QString& guid : guids) {
            auto path = std::make_unique<TPath>();
            path->Name = QStringLiteral("Path ") + QString::number(w->PathList.size() + 1);
            path->GUID = guid;
            auto index = std::make_unique<TIndex>();
            index->Path = path.get();
            for (int i = 1; i <= 5; ++i) {
                auto m = std::make_unique<TMeasurement>();
                m->Pos = QPoint(40 * i, 10);
                m->Path = path.get();
                m->Index = index.get();
                index->ObjectList.push_back(std::move(m));
            }
            path->ObjectList.push_back(std::move(index));
            w->PathList.push_back(std::move(path));
        }
        if (!w->PathList.empty())
            w->CurrentPath = w->PathList.front().get();
        QMdiSubWindow* sub = main->mdiArea()->addSubWindow(w);
        sub->show();
        main->mdiArea()->setActiveSubWindow(sub);
        return w;
    }
    static TMeasurement* ring(TF_SMDI* w, int path, int n)
    {
        return w->PathList[path]->ObjectList[0]->ObjectList[n].get();
    }
    static QList<int> selectedRings(TF_SMDI* w, int path)
    {
        QList<int> rings;
        const auto& list = w->PathList[path]->ObjectList[0]->ObjectList;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i]->selected)
                rings << int(i);
        return rings;
    }
    static void unselectAll(TF_SMDI* w)
    {
        for (const auto& p : w->PathList)
            for (const auto& i : p->ObjectList)
                for (const auto& m : i->ObjectList)
                    m->selected = false;
    }
    static bool panelShown(TF_SMDI* w) { return !w->P_UpdateRAXO->isHidden(); }

    QTemporaryDir dir;
    FakeDialogs* fakeDialogs = nullptr;
    std::unique_ptr<TF_Main> main;
    std::unique_ptr<TF_Measurements> tool;
    std::unique_ptr<RAXOLink> link;
    FakeRaxo raxo;
    QLabel* panel = nullptr;
    QLabel* connectedIcon = nullptr;
    QLabel* disconnectedIcon = nullptr;
    QList<QPointer<TF_SMDI>> windows;
};

TEST_F(LinkDialogue, ConnectsWithStatusAndAsksForAnUpdate)
{
    EXPECT_EQ(RAXOLink::Current(), link.get());
    EXPECT_EQ(link->T_TCP->interval(), 2000);
    EXPECT_FALSE(link->T_TCP->isActive());
    EXPECT_EQ(link->Address(), QStringLiteral("127.0.0.1"));

    // Without auto connect the timer tries nothing.
    SettingTCPIPAutoConnect = false;
    link->T_TCPTimer();
    settle(50);
    EXPECT_FALSE(raxo.server.hasPendingConnections());
    EXPECT_EQ(link->TCP->state(), QAbstractSocket::UnconnectedState);

    SettingTCPIPAutoConnect = true;
    link->T_TCPTimer();
    EXPECT_EQ(link->StatusText(), QStringLiteral("      Waiting for connection with 127.0.0.1"));
    EXPECT_EQ(panel->text(), link->StatusText());
    EXPECT_TRUE(connectedIcon->isHidden());
    EXPECT_FALSE(disconnectedIcon->isHidden());
    ASSERT_TRUE(raxo.accept());
    ASSERT_TRUE(waitFor([this] { return link->Connected(); }));
    EXPECT_EQ(link->StatusText(), QStringLiteral("      Connected to RAXO5 at 127.0.0.1"));
    EXPECT_FALSE(connectedIcon->isHidden());
    EXPECT_TRUE(disconnectedIcon->isHidden());
    EXPECT_TRUE(raxo.expect("JEX\r\nREQUESTUPDATE\r\n\r\n"));

    // Address and port stay while connected.
    EXPECT_FALSE(link->SetPort(1));
    EXPECT_FALSE(link->SetAddress(QStringLiteral("10.0.0.1")));
    EXPECT_EQ(link->Port(), raxo.port());
    EXPECT_TRUE(logContains(QStringLiteral("Can't change value while socket is active")));
}

TEST_F(LinkDialogue, RefusedConnectionIsRetriedByTheTimerUntilRAXOListens)
{
    // A port bound without listening refuses connections and stays ours, so no server of a test
    // running beside this one can be given it while the link retries.
    raxo.server.close();
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ASSERT_TRUE(link->SetPort(ntohs(address.sin_port)));
    QSignalSpy refused(link->TCP, &QAbstractSocket::errorOccurred);
    link->T_TCP->start();
    ASSERT_TRUE(waitFor([&] { return refused.count() >= 1; })) << "at least one attempt";
    EXPECT_FALSE(link->Connected());
    EXPECT_EQ(link->StatusText(), QStringLiteral("      Waiting for connection with 127.0.0.1"));
    EXPECT_TRUE(fakeDialogs->shown().isEmpty());
    ASSERT_EQ(::listen(holder, 5), 0);
    ASSERT_TRUE(raxo.server.setSocketDescriptor(holder));
    ASSERT_TRUE(raxo.accept()); // the next timer tick
    ASSERT_TRUE(waitFor([this] { return link->Connected(); }));
    EXPECT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
}

TEST_F(LinkDialogue, OpenOfAMissingFileShowsTheError)
{
    connectLink();
    const QString missing = dir.filePath(QStringLiteral("gone.jex4"));
    fakeDialogs->answerMessage(mrOk);
    raxo.send(message({"RAXO", "1", "OPEN", missing.toLatin1().constData(), "{NONE}"}));
    ASSERT_TRUE(waitFor([this] { return !fakeDialogs->shown().isEmpty(); }));
    const FakeDialogs::Shown& box = fakeDialogs->shown().first();
    EXPECT_EQ(box.text, QStringLiteral("The file ") + missing + QStringLiteral(" cannot be found."));
    EXPECT_EQ(box.type, mtError);
    EXPECT_TRUE(box.buttons == (TMsgDlgButtons{mbOK}));
    // An update request of our own comes after anything the open sent.
    ASSERT_TRUE(link->RequestR5Update());
    EXPECT_TRUE(raxo.expectOnly(RAXOLink::UpdateRequest())) << "no update request for a failed open";
}

TEST_F(LinkDialogue, OpenOfAnOpenProjectBringsItToTheFront)
{
    const QString a = file("a.jex4");
    TF_SMDI* wa = addWindow(a, {QStringLiteral("{A}")});
    TF_SMDI* wb = addWindow(file("b.jex4"), {QStringLiteral("{B}")});
    ASSERT_EQ(main->mdiArea()->activeSubWindow()->widget(), wb);
    bool loaded = false;
    link->LoadProject = [&](const QString&) {
        loaded = true;
        return nullptr;
    };
    connectLink();

    // By identifier, wherever the file is.
    raxo.send(message({"RAXO", "1", "OPEN", "/elsewhere.jex4", "{A}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_EQ(main->mdiArea()->activeSubWindow()->widget(), wa);
    raxo.send(message({"RAXO", "1", "OPEN", "", "{B}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_EQ(main->mdiArea()->activeSubWindow()->widget(), wb);
    // By file name when no path has the identifier.
    raxo.send(message({"RAXO", "1", "OPEN", a.toLatin1().constData(), "{unknown}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_EQ(main->mdiArea()->activeSubWindow()->widget(), wa);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(fakeDialogs->shown().isEmpty());
}

TEST_F(LinkDialogue, OpenLoadsProjectsAndDropsWhatArrivesMeanwhile)
{
    TF_SMDI* other = addWindow(file("other.jex4"), {QStringLiteral("{O}")});
    const QString project = file("core.jex4");
    const QString older = file("core.JEX");
    const QString image = file("core.png");
    connectLink();

    QStringList loaded;
    bool loadingDuringLoad = false;
    link->LoadProject = [&](const QString& name) {
        loaded << QStringLiteral("load ") + name;
        loadingDuringLoad = ProjectLoading;
        // RAXO talks while the project loads: that text is dropped, not queued.
        raxo.send(message({"RAXO", "1", "DRAGRING", "", "{O}", "3", "", "", "-1"}));
        waitFor([] { return logContains(QStringLiteral("dropped while a project loads")); });
        return addWindow(name, {QStringLiteral("{C}")});
    };
    link->ImportProject = [&](const QString& name) {
        loaded << QStringLiteral("import ") + name;
        return nullptr;
    };

    raxo.send(message({"RAXO", "1", "OPEN", project.toLatin1().constData(), "{C}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_TRUE(loadingDuringLoad);
    EXPECT_FALSE(ProjectLoading);
    EXPECT_TRUE(logContains(QStringLiteral("dropped while a project loads")));
    EXPECT_TRUE(selectedRings(other, 0).isEmpty());

    raxo.send(message({"RAXO", "1", "OPEN", older.toLatin1().constData(), "{D}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    // Another kind of file opens nothing but still asks for the update.
    raxo.send(message({"RAXO", "1", "OPEN", image.toLatin1().constData(), "{E}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_EQ(loaded, (QStringList{QStringLiteral("load ") + project, QStringLiteral("import ") + older}));

    // After the load the link listens again.
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{O}", "3", "", "", "-1"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(other, 0) == QList<int>{3}; }));

    // Without a loader the open is a logged failure, never a hang.
    link->LoadProject = nullptr;
    const QString second = file("second.jex4");
    raxo.send(message({"RAXO", "1", "OPEN", second.toLatin1().constData(), "{F}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_TRUE(logContains(QStringLiteral("Error loading JEX4 project ") + second));
    EXPECT_FALSE(ProjectLoading);
}

TEST_F(LinkDialogue, RefSamMarksReferenceAndSample)
{
    TF_SMDI* r = addWindow(file("r.jex4"), {QStringLiteral("{R1}"), QStringLiteral("{R2}")});
    const QString sFile = file("s.jex4");
    TF_SMDI* s = addWindow(sFile, {QStringLiteral("{S1}")});
    TF_SMDI* bystander = addWindow(file("x.jex4"), {QStringLiteral("{X1}")});
    connectLink();

    // Reference by identifier (its second path), sample by file name.
    raxo.send(message({"RAXO", "1", "REFSAM", "/no/such.jex4", "{R2}", "Reference 1999",
                       sFile.toLatin1().constData(), "{unknown}", "Sample \xe9"}));
    ASSERT_TRUE(waitFor([&] { return panelShown(r) && panelShown(s); }));
    EXPECT_EQ(link->fr.data(), r);
    EXPECT_EQ(link->fs.data(), s);
    EXPECT_EQ(r->SB_UpdateRAXO->text(), QStringLiteral("Reference 1999"));
    EXPECT_EQ(s->SB_UpdateRAXO->text(), QStringLiteral("Sample \u00e9"));
    EXPECT_EQ(r->SB_UpdateRAXO->icon().pixmap(16, 16).toImage().pixel(8, 8), QColor(Qt::red).rgb());
    EXPECT_EQ(s->SB_UpdateRAXO->icon().pixmap(16, 16).toImage().pixel(8, 8), QColor(Qt::blue).rgb());
    EXPECT_FALSE(panelShown(bystander));

    // The same window named twice ends as the sample; the old sample loses its button.
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{X1}", "Ref", "", "{X1}", "Sam"}));
    ASSERT_TRUE(waitFor([&] { return panelShown(bystander); }));
    EXPECT_EQ(bystander->SB_UpdateRAXO->text(), QStringLiteral("Sam"));
    EXPECT_EQ(bystander->SB_UpdateRAXO->icon().pixmap(16, 16).toImage().pixel(8, 8), QColor(Qt::blue).rgb());
    EXPECT_FALSE(panelShown(r));
    EXPECT_FALSE(panelShown(s));

    // A window that closes is forgotten.
    delete bystander;
    EXPECT_EQ(link->fr.data(), nullptr);
    EXPECT_EQ(link->fs.data(), nullptr);
}

TEST_F(LinkDialogue, DragRingSelectsRingsOnceAndAdoptsIdentifiers)
{
    TF_SMDI* a = addWindow(file("a.jex4"), {QStringLiteral("{A1}"), QStringLiteral("{A2}")});
    TF_SMDI* b = addWindow(file("b.jex4"), {QStringLiteral("{B1}"), QStringLiteral("{B2}")});
    const QString cFile = file("c.jex4");
    TF_SMDI* c = addWindow(cFile, {QString(), QStringLiteral("{C2}")});
    connectLink();

    const QByteArray drag = message({"RAXO", "1", "DRAGRING", "", "{A2}", "2", "", "{B2}", "4"});
    raxo.send(drag);
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 1) == QList<int>{4}; }));
    EXPECT_EQ(selectedRings(a, 1), QList<int>{2});
    EXPECT_EQ(a->CurrentPath.get(), a->PathList[1].get()); // the first pair's path becomes current
    EXPECT_EQ(b->CurrentPath.get(), b->PathList[0].get()); // the second pair's does not

    // The same text again is ignored until another message came in between.
    unselectAll(a);
    unselectAll(b);
    raxo.send(drag);
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{A1}", "marker", "", "", ""}));
    ASSERT_TRUE(waitFor([&] { return panelShown(a); }));
    EXPECT_TRUE(selectedRings(a, 1).isEmpty());
    EXPECT_TRUE(selectedRings(b, 1).isEmpty());
    raxo.send(drag);
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 1) == QList<int>{4}; }));

    // Unknown identifiers: the window of the file name, its first path, which takes the identifier
    // when it has none. A ring number that is no number selects nothing.
    raxo.send(message({"RAXO", "1", "DRAGRING", cFile.toLatin1().constData(), "{NEW}", "1",
                       "/nowhere.jex4", "{nothing}", "x"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(c, 0) == QList<int>{1}; }));
    EXPECT_EQ(c->PathList[0]->GUID, QStringLiteral("{NEW}"));
    EXPECT_EQ(c->PathList[1]->GUID, QStringLiteral("{C2}"));
    EXPECT_EQ(c->CurrentPath.get(), c->PathList[0].get());
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{A1}", "zwei", "", "{B1}", "99"}));
    // Messages are acted on in order: once the next one shows, the one before has had its effect.
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{NEW}", "2", "", "{nothing}", "x"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(c, 0) == QList<int>{2}; }));
    EXPECT_TRUE(selectedRings(a, 0).isEmpty());
    EXPECT_TRUE(selectedRings(b, 0).isEmpty());
    EXPECT_EQ(a->CurrentPath.get(), a->PathList[0].get());
}

TEST_F(LinkDialogue, ReloadRequestReachesRAXOOnlyWhileConnected)
{
    const QByteArray reload = RAXOReloadRequest(QStringLiteral("/cores/Eiche \u00e9.jex4"), QStringLiteral("{G}"));
    EXPECT_FALSE(link->Send(reload)); // not connected: nothing goes
    connectLink();
    EXPECT_TRUE(link->Send(reload));
    EXPECT_TRUE(raxo.expect("JEX\r\nRELOAD\r\n/cores/Eiche \xe9.jex4\r\n{G}"));
}

TEST_F(LinkDialogue, DisconnectHidesButtonsAndReconnectStartsAgain)
{
    TF_SMDI* r = addWindow(file("r.jex4"), {QStringLiteral("{R}")});
    TF_SMDI* s = addWindow(file("s.jex4"), {QStringLiteral("{S}")});
    connectLink();
    const QByteArray refsam = message({"RAXO", "1", "REFSAM", "", "{R}", "Ref", "", "{S}", "Sam"});
    raxo.send(refsam);
    ASSERT_TRUE(waitFor([&] { return panelShown(r) && panelShown(s); }));

    raxo.peer->disconnectFromHost();
    ASSERT_TRUE(waitFor([this] { return !link->Connected(); }));
    EXPECT_EQ(link->StatusText(), QStringLiteral("      Disconnected"));
    EXPECT_TRUE(connectedIcon->isHidden());
    EXPECT_FALSE(disconnectedIcon->isHidden());
    EXPECT_FALSE(panelShown(r));
    EXPECT_FALSE(panelShown(s));
    EXPECT_EQ(link->fr.data(), r); // kept for the next dialogue
    EXPECT_EQ(link->fs.data(), s);

    // A new connection is a new dialogue: RAXO's first REFSAM counts even if it repeats the last one.
    connectLink();
    raxo.send(refsam);
    ASSERT_TRUE(waitFor([&] { return panelShown(r) && panelShown(s); }));
}

TEST_F(LinkDialogue, SplitMergedGarbageAndOversizedReads)
{
    TF_SMDI* a = addWindow(file("a.jex4"), {QStringLiteral("{A}")});
    TF_SMDI* b = addWindow(file("b.jex4"), {QStringLiteral("{B}")});
    connectLink();

    // Split inside a line and between CR and LF: acted on once the rest is there. Each piece goes
    // once the link holds the one before; a pause that ends the message is not what this checks,
    // however long the machine takes.
    link->QuietTimer()->setInterval(3600 * 1000);
    RAXOMessageParser held; // what the link holds after each piece
    auto sendPiece = [&](const QByteArray& piece) {
        raxo.send(piece);
        held.feed(piece);
        return waitFor([&] {
            return link->Parser().pendingLines() == held.pendingLines()
                && link->Parser().pendingBytes() == held.pendingBytes();
        });
    };
    const QByteArray drag = message({"RAXO", "1", "DRAGRING", "", "{A}", "1", "", "{B}", "2"});
    ASSERT_TRUE(sendPiece(drag.left(20)));
    EXPECT_TRUE(selectedRings(a, 0).isEmpty());
    const qsizetype cr = drag.indexOf('\r', 30);
    ASSERT_TRUE(sendPiece(drag.mid(20, cr + 1 - 20)));
    EXPECT_TRUE(selectedRings(a, 0).isEmpty());
    raxo.send(drag.mid(cr + 1));
    ASSERT_TRUE(waitFor([&] { return selectedRings(a, 0) == QList<int>{1} && selectedRings(b, 0) == QList<int>{2}; }));
    link->QuietTimer()->setInterval(RAXOLink::QuietInterval);

    // Two messages in one read: both are acted on.
    unselectAll(a);
    unselectAll(b);
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{A}", "Ref", "", "{B}", "Sam"})
              + message({"RAXO", "1", "DRAGRING", "", "{A}", "3", "", "{B}", "0"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 0) == QList<int>{0}; }));
    EXPECT_TRUE(panelShown(a) && panelShown(b));

    // A last line without its line break counts once RAXO pauses.
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{A}", "4", "", "{B}"}) + "1");
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 0) == QList<int>{1}; }));

    // Garbage and an oversized message are logged and ignored; what follows still works.
    const QByteArray huge(RAXOMessageParser::MaxLineBytes * 3, 'y');
    raxo.send("garbage\r\nmore garbage\r\n");
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{B}", huge.constData(), "", "{A}", "swapped"}));
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{A}", "0", "", "{B}", "3"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 0) == QList<int>{3}; }));
    EXPECT_EQ(link->fr.data(), a); // the oversized REFSAM changed nothing
    EXPECT_EQ(a->SB_UpdateRAXO->text(), QStringLiteral("Ref"));
    EXPECT_TRUE(logContains(QStringLiteral("without its sender mark")));
    EXPECT_TRUE(logContains(QStringLiteral("overlong")));

    // A short message is dropped once RAXO pauses, and does not swallow the next one.
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{A}"}));
    EXPECT_TRUE(waitFor([] { return logContains(QStringLiteral("Incomplete message")); }));
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{A}", "2", "", "{B}", "4"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 0) == QList<int>{4}; }));
    EXPECT_EQ(selectedRings(a, 0), QList<int>{2});
    EXPECT_TRUE(link->Connected());
}

// Sums the counts of the link's summaries of unknown commands in the log.
qint64 unknownCommandsLogged(int* lines = nullptr)
{
    qint64 total = 0;
    int n = 0;
    for (const auto& e : TF_ErrorLog::Entries()) {
        const QString& text = e->AMessage;
        if (text.startsWith(QStringLiteral("Unknown command from RAXO ignored"))) {
            total += 1;
            ++n;
        } else if (const qsizetype at = text.indexOf(QStringLiteral(" unknown commands from RAXO ignored")); at > 0) {
            total += text.left(at).toLongLong();
            ++n;
        }
    }
    if (lines)
        *lines = n;
    return total;
}

TEST_F(LinkDialogue, AFloodOfUnknownCommandsIsCountedAndTheProgramStaysResponsive)
{
    TF_SMDI* a = addWindow(file("a.jex4"), {QStringLiteral("{A}")});
    TF_SMDI* b = addWindow(file("b.jex4"), {QStringLiteral("{B}")});
    connectLink();
    TF_ErrorLog::ClearLog();
    link->Clock = [] { return qint64(0); }; // no turn runs out of time: the message count alone bounds it

    // The event loop keeps turning while the flood is worked off: a zero timer counts its turns.
    int turns = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start();

    constexpr int flood = 10000;
    QByteArray bytes;
    for (int i = 0; i < flood; ++i) // each one differs from the one before, so none is a repeat
        bytes += message({"RAXO", QByteArray::number(i).constData(), i % 2 ? "PING" : "NOPE"});
    raxo.send(bytes + message({"RAXO", "1", "DRAGRING", "", "{A}", "1", "", "{B}", "2"}));
    ASSERT_TRUE(waitFor([&] { return selectedRings(b, 0) == QList<int>{2}; }, 60000));
    ticker.stop();
    EXPECT_EQ(selectedRings(a, 0), QList<int>{1});
    EXPECT_GE(turns, flood / RAXOLink::MaxMessagesPerTurn / 2)
        << "at most " << RAXOLink::MaxMessagesPerTurn << " messages are acted on in one turn";

    // Ignored as the protocol says; the log gets a count, not a line per command.
    ASSERT_TRUE(waitFor([] { return unknownCommandsLogged() == flood; }));
    int lines = 0;
    unknownCommandsLogged(&lines);
    EXPECT_LE(lines, 50);
    EXPECT_LT(TF_ErrorLog::Entries().size(), 100u);
    EXPECT_TRUE(logContains(QStringLiteral("the last: \"NOPE\"")) || logContains(QStringLiteral("the last: \"PING\"")));

    // One unknown command alone says which.
    raxo.send(message({"RAXO", "1", "CLOSE"}));
    ASSERT_TRUE(waitFor([] { return logContains(QStringLiteral("Unknown command from RAXO ignored: \"CLOSE\"")); }));
}

// A question box that stays open while `whileOpen` runs, as a user who has not answered yet.
class SlowToAnswer : public FakeDialogs {
public:
    std::function<void()> whileOpen;
    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) override
    {
        if (auto open = std::exchange(whileOpen, nullptr))
            open();
        return FakeDialogs::messageDlg(text, type, buttons, helpCtx);
    }
};

TEST_F(LinkDialogue, SlowCommandsLetTheEventLoopRunBetweenThem)
{
    // Each missing file's box takes the user 3/5 of MaxTurnMs on the link's clock: a turn starts
    // no third one.
    auto owned = std::make_unique<SlowToAnswer>();
    SlowToAnswer* box = owned.get();
    setDialogs(std::move(owned));
    connectLink();
    qint64 now = 0;
    link->Clock = [&now] { return now; };
    int turns = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start();

    constexpr int boxes = 10;
    QList<int> turnAtBox;
    QByteArray bytes;
    for (int i = 0; i < boxes; ++i) {
        box->answerMessage(mrOk);
        const QByteArray name = "/no/such/file" + QByteArray::number(i) + ".jex4";
        bytes += message({"RAXO", "1", "OPEN", name.constData(), "{NONE}"});
    }
    std::function<void()> slow = [&] {
        turnAtBox << turns;
        now += RAXOLink::MaxTurnMs * 3 / 5;
        box->whileOpen = slow;
    };
    box->whileOpen = slow;
    raxo.send(bytes);
    ASSERT_TRUE(waitFor([&] { return box->callCount() == boxes; }));
    ticker.stop();
    ASSERT_EQ(turnAtBox.size(), boxes);
    constexpr int perTurn = 2;
    for (int i = perTurn; i < turnAtBox.size(); ++i)
        EXPECT_GT(turnAtBox[i], turnAtBox[i - perTurn]) << "more than " << perTurn << " slow commands in one turn";
}

TEST_F(LinkDialogue, InputIsHeldBoundedWhileACommandRunsAndGivenBackAfter)
{
    TF_SMDI* a = addWindow(file("a.jex4"), {QStringLiteral("{A}")});
    TF_SMDI* b = addWindow(file("b.jex4"), {QStringLiteral("{B}")});
    auto owned = std::make_unique<SlowToAnswer>();
    SlowToAnswer* box = owned.get();
    setDialogs(std::move(owned));
    connectLink();
    TF_ErrorLog::ClearLog();

    qint64 socketMax = 0;
    qsizetype parserBytesMax = 0;
    qsizetype parserLinesMax = 0;
    auto sample = [&] {
        socketMax = std::max(socketMax, link->TCP->bytesAvailable());
        parserBytesMax = std::max(parserBytesMax, link->Parser().pendingBytes());
        parserLinesMax = std::max(parserLinesMax, link->Parser().pendingLines());
    };
    // Far more than the system's socket buffers hold, so the peer must wait for the link.
    const QByteArray lineEnds(32 << 20, '\n');
    qint64 waitingAtAnswer = 0;
    box->whileOpen = [&] {
        raxo.send(message({"RAXO", "1", "NOPE"}) + lineEnds + QByteArray("x\n").repeated(1 << 20));
        QElapsedTimer clock;
        clock.start();
        qint64 last = -1;
        // Until the peer has stopped getting rid of its bytes.
        while (clock.elapsed() < 10000) {
            settle(100);
            sample();
            const qint64 waiting = raxo.peer->bytesToWrite();
            if (waiting == last)
                break;
            last = waiting;
        }
        waitingAtAnswer = raxo.peer->bytesToWrite();
    };
    box->answerMessage(mrOk);
    raxo.send(message({"RAXO", "1", "OPEN", "/no/such/file.jex4", "{NONE}"}));
    ASSERT_TRUE(waitFor([&] { return box->callCount() == 1; }));
    EXPECT_GT(waitingAtAnswer, qint64(16) << 20) << "nothing more is read while the box is open";
    EXPECT_LE(socketMax, RAXOLink::ReadBufferBytes);
    EXPECT_EQ(parserBytesMax, 0);

    // After the answer the flood is worked off with bounded holdings, and the link still listens.
    ASSERT_TRUE(waitFor([&] {
        sample();
        return raxo.peer->bytesToWrite() == 0 && link->TCP->bytesAvailable() == 0;
    }, 60000));
    raxo.send(message({"RAXO", "1", "DRAGRING", "", "{A}", "1", "", "{B}", "2"}));
    ASSERT_TRUE(waitFor([&] {
        sample();
        return selectedRings(b, 0) == QList<int>{2};
    }, 60000));
    EXPECT_EQ(selectedRings(a, 0), QList<int>{1});
    EXPECT_LE(socketMax, RAXOLink::ReadBufferBytes);
    EXPECT_LE(parserBytesMax, RAXOLink::ReadChunkBytes);
    EXPECT_LE(parserLinesMax, RAXOLink::ReadChunkBytes / 2);
    EXPECT_EQ(link->Parser().pendingBytes(), 0);
    EXPECT_EQ(link->Parser().pendingLines(), 0);
    EXPECT_TRUE(logContains(QStringLiteral("without its sender mark")));
    EXPECT_TRUE(waitFor([] { return unknownCommandsLogged() == 1; }));
    EXPECT_TRUE(link->Connected());
}

} // namespace
