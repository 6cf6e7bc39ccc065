// Single-instance control: the hand-over message read only when complete and refused when it is
// not a list of file names; two controls in one test (the second start in its own thread, as a
// second process would block) hand over, a stale socket does not stop a start, a live first
// instance keeps the name; many second starts at once all hand over, and a hand-over counts only
// when answered; the main window opens a handed-over project.
#include "shell/TOneInstance.h"

#include "platform/FakeDialogs.h"
#include "project/ProjectXML.h"
#include "project/TJEXProject.h"
#include "shell/Startup.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "support/FakeRaxo.h"
#include "support/MainWindowTest.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLocalServer>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <future>
#include <thread>

namespace {

using State = HandOverReader::State;
using testhelpers::waitFor;

QByteArray header(quint32 length)
{
    QByteArray h("JEX4");
    for (int i = 0; i < 4; ++i)
        h += char((length >> (8 * i)) & 0xFF);
    return h;
}

TEST(HandOverReader, PackedArgumentsReadBackWhateverThePieces)
{
    const QList<QStringList> rows = {
        {},
        {QStringLiteral("/data/core 1.jex4")},
        {QStringLiteral("/data/Jahrringe/Eiche_ä_ß.jex4"), QStringLiteral("zweite Datei.jex")},
        {QString()},
        {QString(QChar(0xFEFF)) + QStringLiteral("starts with a byte-order mark.jex4")},
    };
    for (const QStringList& args : rows) {
        const QByteArray message = HandOverReader::pack(args);
        for (int piece : {1, 3, 8, 1000}) {
            HandOverReader reader;
            State state = State::NeedMore;
            for (qsizetype at = 0; at < message.size(); at += piece) {
                EXPECT_EQ(state, State::NeedMore) << "complete before its last byte";
                state = reader.feed(message.mid(at, piece));
            }
            EXPECT_EQ(state, State::Complete) << args.join(QLatin1Char('|')).toStdString() << " piece " << piece;
            EXPECT_EQ(reader.arguments(), args);
        }
    }
}

TEST(HandOverReader, RefusesWhatIsNoListOfFileNames)
{
    const QByteArray name("a.jex4", 6);
    const struct {
        const char* what;
        QByteArray bytes;
        State state;
    } rows[] = {
        {"other magic", QByteArray("RAXO\x04\0\0\0abc\0", 12), State::Invalid},
        {"magic alone", QByteArray("JEX"), State::NeedMore},
        {"header alone", header(7), State::NeedMore},
        {"cut short", header(7) + name, State::NeedMore},
        {"without its zero", header(6) + name, State::Invalid},
        {"too long", header(HandOverReader::MaxPayloadBytes + 1), State::Invalid},
        {"length 2^32-1", header(0xFFFFFFFFu), State::Invalid},
        {"bytes after it", header(7) + name + QByteArray(1, '\0') + "x", State::Complete},
        {"no UTF-8", header(3) + QByteArray("\xC3\x28\0", 3), State::Invalid},
        {"control character", header(4) + QByteArray("a\nb\0", 4), State::Invalid},
        {"empty", header(0), State::Complete},
    };
    for (const auto& r : rows) {
        HandOverReader reader;
        EXPECT_EQ(reader.feed(r.bytes), r.state) << r.what;
        if (r.state != State::Complete) {
            EXPECT_TRUE(reader.arguments().isEmpty()) << r.what;
        }
        if (r.state == State::Invalid) {
            EXPECT_FALSE(reader.problem().isEmpty()) << r.what;
        }
    }

    QByteArray many;
    for (int i = 0; i <= HandOverReader::MaxArguments; ++i)
        many += "x" + QByteArray(1, '\0');
    HandOverReader reader;
    EXPECT_EQ(reader.feed(header(quint32(many.size())) + many), State::Invalid);
}

TEST(HandOverReader, PackKeepsWithinTheBoundsTheReaderSets)
{
    const QString huge(int(HandOverReader::MaxPayloadBytes), QLatin1Char('a'));
    HandOverReader reader;
    EXPECT_EQ(reader.feed(HandOverReader::pack({QStringLiteral("first"), huge})), State::Complete);
    EXPECT_EQ(reader.arguments(), QStringList{QStringLiteral("first")});
}

class OneInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        name = dir.filePath(QStringLiteral("jex4.sock"));
        TF_ErrorLog::ClearLog();
    }

    // A second start in its own thread: HandOver blocks as it would in its own process. The
    // time-out is only a fuse: this thread answers as soon as it runs its events.
    static bool handOverFromAnotherStart(const QString& name, const QStringList& args)
    {
        auto result = std::async(std::launch::async, [name, args] {
            TOneInstance second(name);
            second.setMsgTransportTimeout(60000);
            return second.HandOver(args);
        });
        while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return result.get();
    }

    QTemporaryDir dir;
    QString name;
};

TEST_F(OneInstance, SecondStartHandsItsArgumentsToTheFirst)
{
    TOneInstance first(name);
    EXPECT_FALSE(first.HandOver({QStringLiteral("x")})) << "nobody runs yet";
    ASSERT_TRUE(first.Listen());
    QSignalSpy spy(&first, &TOneInstance::OnNewInstanceLoad);
    const QStringList args = {QStringLiteral("/data/Proben Ост/core.jex4")};
    EXPECT_TRUE(handOverFromAnotherStart(name, args));
    ASSERT_TRUE(waitFor([&spy] { return spy.count() == 1; }));
    EXPECT_EQ(spy.at(0).at(0).toStringList(), args);

    // The first instance keeps its name against a third start.
    TOneInstance third(name);
    EXPECT_FALSE(third.Listen());
    EXPECT_FALSE(third.isListening());
}

TEST_F(OneInstance, StaleSocketOfACrashedInstanceDoesNotStopAStart)
{
    // A socket bound and left without anybody listening, as a killed first instance leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    ASSERT_LT(size_t(path.size()), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(name));

    TOneInstance start(name);
    EXPECT_FALSE(start.HandOver({QStringLiteral("a.jex4")}));
    EXPECT_TRUE(start.Listen());
    QSignalSpy spy(&start, &TOneInstance::OnNewInstanceLoad);
    EXPECT_TRUE(handOverFromAnotherStart(name, {QStringLiteral("b.jex4")}));
    EXPECT_TRUE(waitFor([&spy] { return spy.count() == 1; }));
}

TEST_F(OneInstance, GarbageIsIgnoredAndLogged)
{
    TOneInstance first(name);
    ASSERT_TRUE(first.Listen());
    QSignalSpy spy(&first, &TOneInstance::OnNewInstanceLoad);
    QLocalSocket peer;
    peer.connectToServer(name);
    ASSERT_TRUE(peer.waitForConnected(30000));
    peer.write("GET / HTTP/1.0\r\n\r\n");
    peer.flush();
    EXPECT_TRUE(waitFor([&peer] { return peer.state() == QLocalSocket::UnconnectedState; }))
        << "the connection is dropped";
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(TF_ErrorLog::LogLines().join(QLatin1Char(10)).contains(QStringLiteral("Ignored a hand-over")));

    // A sender that closes before its message is complete hands over nothing.
    QLocalSocket cut;
    cut.connectToServer(name);
    ASSERT_TRUE(cut.waitForConnected(30000));
    cut.write(HandOverReader::pack({QStringLiteral("/a/b.jex4")}).chopped(3));
    cut.flush();
    cut.disconnectFromServer();
    testhelpers::settle(100);
    EXPECT_EQ(spy.count(), 0);

    // The control still takes the next good one.
    EXPECT_TRUE(handOverFromAnotherStart(name, {QStringLiteral("/c.jex4")}));
    ASSERT_TRUE(waitFor([&spy] { return spy.count() == 1; }));
    EXPECT_EQ(spy.at(0).at(0).toStringList(), QStringList{QStringLiteral("/c.jex4")}) << "only the good one";
}

TEST_F(OneInstance, ManySecondStartsAtOnceAllHandOver)
{
    TOneInstance first(name);
    ASSERT_TRUE(first.Listen());
    QSignalSpy spy(&first, &TOneInstance::OnNewInstanceLoad);

    // Twenty starts at once, as a file manager's "open with" on twenty files makes them. All
    // connect and send all but the last byte, so the first readers wait for more and the others
    // queue behind them; then the last bytes follow.
    constexpr int Starts = 20;
    static_assert(Starts > TOneInstance::MaxPendingConnections);
    first.setMsgTransportTimeout(60000); // a fuse: readers wait for their last byte
    std::vector<std::unique_ptr<QLocalSocket>> starts;
    std::vector<QByteArray> messages;
    QSet<QString> sent;
    for (int i = 0; i < Starts; ++i) {
        const QString file = QStringLiteral("/data/core %1.jex4").arg(i);
        auto& s = starts.emplace_back(std::make_unique<QLocalSocket>());
        s->connectToServer(name);
        ASSERT_TRUE(s->waitForConnected(5000)) << i;
        messages.push_back(HandOverReader::pack({file}));
        s->write(messages.back().chopped(1));
        ASSERT_TRUE(s->waitForBytesWritten(5000)) << i;
        sent << file;
    }
    // The first instance takes what it will meanwhile; the outcome must not depend on how much.
    testhelpers::settle(100);
    for (int i = 0; i < Starts; ++i) {
        ASSERT_EQ(starts[i]->state(), QLocalSocket::ConnectedState) << "start " << i << " was turned away";
        starts[i]->write(messages[size_t(i)].right(1));
        ASSERT_TRUE(starts[i]->waitForBytesWritten(5000)) << i;
    }
    ASSERT_TRUE(waitFor([&] { return spy.count() == Starts; }, 20000)) << spy.count() << " of " << Starts << " handed over";
    QSet<QString> handed;
    for (const QList<QVariant>& call : spy)
        handed << call.at(0).toStringList().value(0);
    EXPECT_EQ(handed, sent);
    for (int i = 0; i < Starts; ++i) {
        ASSERT_TRUE(waitFor([&] { return starts[i]->bytesAvailable() > 0 || starts[i]->waitForReadyRead(0); }))
            << "start " << i << " got no answer";
        EXPECT_EQ(starts[i]->read(1), QByteArray(1, TOneInstance::Accepted)) << i;
    }

    // The same through the control, each second start in a thread of its own.
    spy.clear();
    std::vector<std::future<bool>> results;
    for (int i = 0; i < Starts; ++i)
        results.push_back(std::async(std::launch::async, [this, i] {
            TOneInstance second(name);
            second.setMsgTransportTimeout(60000);
            return second.HandOver({QStringLiteral("/data/again %1.jex4").arg(i)});
        }));
    for (auto& r : results) {
        while (r.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        EXPECT_TRUE(r.get());
    }
    EXPECT_EQ(spy.count(), Starts);
}

TEST_F(OneInstance, AHandOverCountsOnlyWhenAnswered)
{
    // Someone listens on the name but never reads: the start must not end believing it handed over.
    QLocalServer deaf;
    ASSERT_TRUE(deaf.listen(name));
    TOneInstance second(name);
    second.setMsgTransportTimeout(200);
    EXPECT_FALSE(second.HandOver({QStringLiteral("/data/a.jex4")}));
    EXPECT_FALSE(second.Listen()) << "a first instance holds the name: the start runs on its own";
    deaf.close();

    // A message whose sender gave up before the answer is not opened: that start opens it itself.
    TOneInstance first(name);
    ASSERT_TRUE(first.Listen());
    QSignalSpy spy(&first, &TOneInstance::OnNewInstanceLoad);
    QLocalSocket gaveUp;
    gaveUp.connectToServer(name);
    ASSERT_TRUE(gaveUp.waitForConnected(5000));
    gaveUp.write(HandOverReader::pack({QStringLiteral("/data/b.jex4")}));
    ASSERT_TRUE(gaveUp.waitForBytesWritten(5000));
    gaveUp.abort();
    ASSERT_TRUE(waitFor([] { return TF_ErrorLog::LogLines().join(QLatin1Char(10)).contains(QStringLiteral("no longer waits")); }));
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(OneInstance, AFloodOfBadHandOversLogsABoundedNumberOfLines)
{
    TOneInstance first(name);
    ASSERT_TRUE(first.Listen());
    constexpr int Bad = 3 * TOneInstance::MaxLoggedRefusals;
    std::vector<std::unique_ptr<QLocalSocket>> peers;
    for (int i = 0; i < Bad; ++i) {
        auto& p = peers.emplace_back(std::make_unique<QLocalSocket>());
        p->connectToServer(name);
        ASSERT_TRUE(p->waitForConnected(5000));
        p->write("GET / HTTP/1.0\r\n\r\n");
        p->flush();
    }
    for (auto& p : peers)
        ASSERT_TRUE(waitFor([&p] { return p->state() == QLocalSocket::UnconnectedState; }));
    const QStringList lines = TF_ErrorLog::LogLines();
    EXPECT_EQ(lines.filter(QStringLiteral("Ignored a hand-over")).size(), TOneInstance::MaxLoggedRefusals);
    EXPECT_EQ(lines.filter(QStringLiteral("Further ignored hand-overs are not logged")).size(), 1);
    EXPECT_EQ(lines.size(), TOneInstance::MaxLoggedRefusals + 1);

    // The control still takes a good one.
    QSignalSpy spy(&first, &TOneInstance::OnNewInstanceLoad);
    EXPECT_TRUE(handOverFromAnotherStart(name, {QStringLiteral("/c.jex4")}));
    EXPECT_EQ(spy.count(), 1);
}

// A first instance in a thread of its own, as another process would be: a second start in the
// test's thread can wait for its answer.
class FirstInstanceThread {
public:
    FirstInstanceThread()
    {
        m_thread.start();
        m_instance = new TOneInstance; // the program's own name in this test's runtime folder
        m_instance->moveToThread(&m_thread);
        QObject::connect(m_instance, &TOneInstance::OnNewInstanceLoad, &m_receiver,
                         [this](const QStringList& args) { handed << args; });
        QMetaObject::invokeMethod(m_instance, [this] { listening = m_instance->Listen(); }, Qt::BlockingQueuedConnection);
    }
    ~FirstInstanceThread()
    {
        QMetaObject::invokeMethod(m_instance, [this] { delete m_instance; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    bool listening = false;
    QList<QStringList> handed; // arrives queued on the test's thread

private:
    QThread m_thread;
    TOneInstance* m_instance = nullptr;
    QObject m_receiver;
};

TEST_F(OneInstance, ASecondProgramStartHandsOverAnAbsoluteNameAndMakesNoWindow)
{
    FirstInstanceThread first;
    ASSERT_TRUE(first.listening);
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const int status = RunProgram({QStringLiteral("my"), QStringLiteral("core.jex4")});
    QDir::setCurrent(saved);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(F_Main, nullptr) << "the second start made no main window";
    ASSERT_TRUE(waitFor([&first] { return first.handed.size() == 1; }));
    EXPECT_EQ(first.handed.at(0), QStringList{dir.filePath(QStringLiteral("my core.jex4"))});
}

class HandOverToMain : public testhelpers::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        ProjectLoading = false;
        createMain();
        F_Measurements = new TF_Measurements(main.get());
    }
};

TEST_F(HandOverToMain, AProjectOpensOnceTheFirstShowingEndedAndOtherFilesAreIgnored)
{
    const QString project = dir.filePath(QStringLiteral("handed over.jex4"));
    {
        // An empty but valid project file.
        main->A_NewProject->trigger();
        TF_SMDI* w = main->ActiveMDIChild();
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(SaveProjectXML(w, project, false), 0);
        w->mdiFrame()->close();
        QCoreApplication::processEvents();
        ASSERT_TRUE(main->MDIChildren().isEmpty());
    }
    const QString image = dir.filePath(QStringLiteral("scan.png"));
    QImage(4, 4, QImage::Format_RGB32).save(image);

    // Waits for the first showing, then opens.
    main->OneInstanceNewInstanceLoad({project});
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    fake->answerMessage(mrNo); // the file association question
    main->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    EXPECT_EQ(main->MDIChildren()[0]->Project->Filename, project);

    for (const QStringList& args : {QStringList{image}, QStringList{dir.filePath(QStringLiteral("gone.jex4"))},
                                    QStringList{}}) {
        main->OneInstanceNewInstanceLoad(args);
        EXPECT_EQ(main->MDIChildren().size(), 1) << args.join(QLatin1Char(' ')).toStdString();
    }
    // The same project again brings its window forward instead of a second one.
    main->OneInstanceNewInstanceLoad({project});
    EXPECT_EQ(main->MDIChildren().size(), 1);
}

} // namespace
