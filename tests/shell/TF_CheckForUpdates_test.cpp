// The update check against a local HTTP server started by the test: the version document read or
// refused, newer, equal and older builds, redirects, a document without length or too large, a
// server that never answers, a refused connection, the proxy for every request, and the download,
// which saves the installer (also without a length), never starts it and can be cancelled; an
// answer larger than allowed stops at the limit and never piles up while the window is busy, and
// a server that trickles cannot keep the check going beyond its time limit.
#include "shell/TF_CheckForUpdates.h"

#include "platform/FakeDialogs.h"
#include "platform/ShellOpen.h"
#include "project/Settings.h"
#include "support/FakeRaxo.h"
#include "support/LocalHttpServer.h"
#include "support/MainWindowTest.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using testhelpers::LocalHttpServer;

QByteArray versionDocument(int build, const QString& info = QStringLiteral("http://example.org/news.html"),
                           const QString& installer = QStringLiteral("/downloads/j4setup.exe"), int major = 4)
{
    return QStringLiteral("<?xml version=\"1.0\"?>\n<VersionInfo>\n"
                          " <Product ProductName=\"RAXO\" MainVersion=\"9\" SubVersion=\"9\" Build=\"999\" Filepath=\"x\" Productinfo=\"y\"/>\n"
                          " <Product ProductName=\"JEX4\" MainVersion=\"%1\" SubVersion=\"1\" Build=\"%2\" Filepath=\"%3\" Productinfo=\"%4\"/>\n"
                          "</VersionInfo>\n")
        .arg(major)
        .arg(build)
        .arg(installer, info)
        .toUtf8();
}

TEST(ParseVersionInfo, ReadsTheJex4EntryAndRefusesWhatIsNot)
{
    TUpdateInfo info;
    QString why;
    ASSERT_EQ(ParseVersionInfo(versionDocument(120), info, &why), 0) << why.toStdString();
    EXPECT_EQ(info.ProductName, QStringLiteral("JEX4"));
    EXPECT_EQ(info.MainVersion, 4);
    EXPECT_EQ(info.SubVersion, 1);
    EXPECT_EQ(info.Build, 120);
    EXPECT_EQ(info.UpdatePath, QStringLiteral("/downloads/j4setup.exe"));
    EXPECT_EQ(info.InfoPath, QStringLiteral("http://example.org/news.html"));

    const struct {
        const char* what;
        QByteArray document;
    } refused[] = {
        {"damaged", "<VersionInfo><Product ProductName=\"JEX4\""},
        {"other root", "<Versions><P ProductName=\"JEX4\" MainVersion=\"1\" SubVersion=\"1\" Build=\"1\" Filepath=\"a\" "
                       "Productinfo=\"b\"/></Versions>"},
        {"no JEX4 entry", "<VersionInfo><P ProductName=\"RAXO\" MainVersion=\"1\" SubVersion=\"1\" Build=\"1\" "
                          "Filepath=\"a\" Productinfo=\"b\"/></VersionInfo>"},
        {"attribute missing", "<VersionInfo><P ProductName=\"JEX4\" MainVersion=\"1\" Build=\"1\" Filepath=\"a\" "
                              "Productinfo=\"b\"/></VersionInfo>"},
        {"empty", ""},
        {"not XML", "\x89PNG\r\n\x1a\n"},
    };
    for (const auto& r : refused) {
        why.clear();
        EXPECT_EQ(ParseVersionInfo(r.document, info, &why), -1) << r.what;
        EXPECT_FALSE(why.isEmpty()) << r.what;
    }

    // Numbers that are none read as 0.
    ASSERT_EQ(ParseVersionInfo("<VersionInfo><P ProductName=\"JEX4\" MainVersion=\"x\" SubVersion=\"\" Build=\"12b\" "
                               "Filepath=\"a\" Productinfo=\"\"/></VersionInfo>",
                               info),
              0);
    EXPECT_EQ(info.MainVersion, 0);
    EXPECT_EQ(info.Build, 0);
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        ASSERT_TRUE(downloads.isValid());
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        InitSettingVariables();
        savedBuild = VersionBuild;
        VersionBuild = 100;
        window = std::make_unique<TF_CheckForUpdates>();
        window->Server = QUrl(server.base());
        window->TimeoutMs = 60000; // only a fuse: a silent server sets its own
        window->DownloadFolder = downloads.path();
    }
    void TearDown() override
    {
        window.reset();
        VersionBuild = savedBuild;
        InitSettingVariables();
        setUrlOpener(nullptr);
    }

    void serveDocument(const QByteArray& document, bool withoutLength = false)
    {
        server.on(QStringLiteral("/downloads/VersionInfo.xml"), {200, document, {}, withoutLength, false});
    }
    QStringList report() const { return window->M_State->toPlainText().split(QLatin1Char('\n')); }
    QString lastLine() const { return report().value(report().size() - 1); }

    LocalHttpServer server;
    QTemporaryDir downloads;
    FakeDialogs* fake = nullptr;
    std::unique_ptr<TF_CheckForUpdates> window;
    quint16 savedBuild = 0;
};

TEST_F(UpdateCheck, ComparesOnlyTheBuild)
{
    const struct {
        int build;
        int major;
        bool available;
        const char* last;
    } rows[] = {
        {101, 4, true, "Please click Update to download and install the program."},
        {101, 1, true, "Please click Update to download and install the program."}, // smaller major still counts
        {100, 4, false, "The installed version is up to date!"},
        {99, 5, false, "The installed version is up to date!"},
    };
    for (const auto& r : rows) {
        serveDocument(versionDocument(r.build, QStringLiteral("http://example.org/news.html"),
                                      QStringLiteral("/downloads/j4setup.exe"), r.major));
        EXPECT_EQ(window->IsUpdateAvailable(), r.available) << r.build;
        EXPECT_EQ(lastLine(), QString::fromLatin1(r.last)) << r.build;
        EXPECT_EQ(window->B_Update->isVisibleTo(window.get()), r.available);
        EXPECT_EQ(window->B_Info->isVisibleTo(window.get()), r.available);
        EXPECT_EQ(window->UpdateInfo.Build, r.build);
    }
    EXPECT_EQ(report().value(0), QStringLiteral("Contacting LUMEK update server"));
    EXPECT_TRUE(report().contains(QStringLiteral("Installed Version:     %1.%2.100").arg(VersionMajor).arg(VersionMinor)));
    EXPECT_TRUE(report().contains(QStringLiteral("Latest online Version: 5.1.99")));
}

TEST_F(UpdateCheck, InfoButtonOnlyForAWebAddress)
{
    QList<QUrl> opened;
    setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    for (const QString& info : {QString(), QStringLiteral("file:///etc/passwd"), QStringLiteral("/usr/bin/xterm")}) {
        serveDocument(versionDocument(200, info));
        EXPECT_TRUE(window->IsUpdateAvailable());
        EXPECT_FALSE(window->B_Info->isVisibleTo(window.get())) << info.toStdString();
        window->B_InfoClick();
    }
    EXPECT_TRUE(opened.isEmpty());
    serveDocument(versionDocument(200, QStringLiteral("https://example.org/news.html")));
    EXPECT_TRUE(window->IsUpdateAvailable());
    window->B_InfoClick();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://example.org/news.html")));
}

TEST_F(UpdateCheck, FailuresAreReportedInTheWindow)
{
    QByteArray large = versionDocument(200);
    large.insert(large.indexOf("<VersionInfo>"), QByteArray(int(TF_CheckForUpdates::MaxDocumentBytes), ' '));
    QTcpServer closed; // a port that was free a moment ago: nobody listens there now
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 refusedPort = closed.serverPort();
    closed.close();

    const struct {
        const char* what;
        std::function<void()> script;
        QString line; // a line the report holds
    } rows[] = {
        {"not found", [&] { server.on(QStringLiteral("/downloads/VersionInfo.xml"), {404, "gone", {}, false, false}); },
         QStringLiteral("UPDATE FAILED - HTTP Error 404")},
        {"damaged", [&] { serveDocument("<VersionInfo><Product"); }, QStringLiteral("FAILED")},
        {"no JEX4", [&] { serveDocument("<VersionInfo/>"); }, QStringLiteral("Version information not usable: no entry for JEX4")},
        {"too large", [&] { serveDocument(large); },
         QStringLiteral("Version information not usable: The answer from 127.0.0.1 is larger than 65536 bytes")},
        {"refused", [&] { window->Server = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(refusedPort)); },
         QStringLiteral("UPDATE FAILED - Connection refused")},
        // Last, as its short time-out would cut off a busy machine's answers to the others.
        {"silent",
         [&] {
             window->Server = QUrl(server.base());
             window->TimeoutMs = 400;
             server.on(QStringLiteral("/downloads/VersionInfo.xml"), {200, {}, {}, false, true});
         },
         QStringLiteral("UPDATE FAILED - No answer from 127.0.0.1 within 0.4 s")},
    };
    for (const auto& r : rows) {
        r.script();
        EXPECT_FALSE(window->IsUpdateAvailable()) << r.what;
        EXPECT_TRUE(report().contains(r.line)) << r.what << ": " << window->M_State->toPlainText().toStdString();
        EXPECT_EQ(lastLine(), QStringLiteral("Update process cancelled.")) << r.what;
        EXPECT_FALSE(window->B_Update->isVisibleTo(window.get())) << r.what;
    }
}

TEST_F(UpdateCheck, RedirectsAndUnknownLengthsAreFollowed)
{
    server.on(QStringLiteral("/downloads/VersionInfo.xml"),
              {302, {}, {{"Location", server.base().toLatin1() + "/moved/VersionInfo.xml"}}, false, false});
    // The probe is answered by the redirect itself, as a probe must not follow it.
    EXPECT_FALSE(window->IsUpdateAvailable());
    EXPECT_TRUE(report().contains(QStringLiteral("UPDATE FAILED - HTTP Error 302")));

    // The document behind a redirect, sent without a length.
    server.on(QStringLiteral("/downloads/VersionInfo.xml"),
              {200, {}, {}, false, false});
    server.requests.clear();
    EXPECT_EQ(window->GetUpdateInfo(QUrl(server.base() + QStringLiteral("/old/VersionInfo.xml"))), -1);
    server.on(QStringLiteral("/old/VersionInfo.xml"),
              {301, {}, {{"Location", server.base().toLatin1() + "/moved/VersionInfo.xml"}}, false, false});
    server.on(QStringLiteral("/moved/VersionInfo.xml"), {200, versionDocument(150), {}, true, false});
    EXPECT_EQ(window->GetUpdateInfo(QUrl(server.base() + QStringLiteral("/old/VersionInfo.xml"))), 0);
    EXPECT_EQ(window->UpdateInfo.Build, 150);
}

TEST_F(UpdateCheck, EveryRequestGoesThroughTheProxy)
{
    LocalHttpServer proxy;
    ASSERT_TRUE(proxy.listen());
    proxy.on(QStringLiteral("/downloads/VersionInfo.xml"), {200, versionDocument(300), {}, false, false});
    SettingUseProxy = true;
    SettingProxyServer = QStringLiteral("127.0.0.1");
    SettingProxyPort = proxy.port();
    window->Server = QUrl(QStringLiteral("http://updates.lumek.example")); // only the proxy knows it
    EXPECT_TRUE(window->IsUpdateAvailable()) << window->M_State->toPlainText().toStdString();
    ASSERT_EQ(proxy.requests.size(), 2);
    EXPECT_EQ(proxy.requests[0].method, "HEAD");
    EXPECT_EQ(proxy.requests[1].method, "GET");
    for (const auto& r : proxy.requests)
        EXPECT_EQ(r.target, "http://updates.lumek.example/downloads/VersionInfo.xml");
    EXPECT_TRUE(server.requests.isEmpty());

    // A proxy port that is no port is said so, and nothing is sent.
    SettingProxyPort = 99999;
    EXPECT_FALSE(window->IsUpdateAvailable());
    EXPECT_TRUE(report().contains(QStringLiteral("UPDATE FAILED - The proxy server 127.0.0.1:99999 is not usable")));
    EXPECT_EQ(proxy.requests.size(), 2);
}

TEST_F(UpdateCheck, ProxyLoginIsSentOnlyWhenSwitchedOn)
{
    LocalHttpServer proxy;
    ASSERT_TRUE(proxy.listen());
    proxy.on(QStringLiteral("/downloads/VersionInfo.xml"), {200, versionDocument(300), {}, false, false});
    proxy.requireProxyLogin("ringo", "s3cret");
    SettingUseProxy = true;
    SettingProxyServer = QStringLiteral("127.0.0.1");
    SettingProxyPort = proxy.port();
    SettingProxyUser = QStringLiteral("ringo");
    SettingProxyPassword = QStringLiteral("s3cret");
    window->Server = QUrl(QStringLiteral("http://updates.lumek.example"));

    SettingProxyUseAuthentication = false;
    EXPECT_FALSE(window->IsUpdateAvailable());
    EXPECT_TRUE(report().contains(QStringLiteral("UPDATE FAILED - HTTP Error 407")))
        << window->M_State->toPlainText().toStdString();

    SettingProxyUseAuthentication = true;
    EXPECT_TRUE(window->IsUpdateAvailable()) << window->M_State->toPlainText().toStdString();
}

// Answers one GET with `total` bytes, as fast as they are taken, in a thread of its own; says how
// many it got rid of, and when the reader has stopped taking them.
class FloodServer {
public:
    FloodServer(qint64 total, bool announced)
        : m_total(total)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(addr);
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), size) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
            return;
        port = ntohs(addr.sin_port);
        m_thread = std::thread([this, announced] { serve(announced); });
    }
    ~FloodServer()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/downloads/j4setup.exe").arg(port)); }

    quint16 port = 0;
    std::atomic<qint64> sent{0};
    std::atomic<bool> stalled{false}; // nothing taken for a while
    std::atomic<bool> ended{false};   // all sent, or the reader hung up

private:
    bool wait(int fd, short events)
    {
        while (!m_quit) {
            pollfd p{fd, events, 0};
            const int ready = ::poll(&p, 1, 300);
            if (ready > 0)
                return true;
            if (ready == 0 && events == POLLOUT)
                stalled = true;
        }
        return false;
    }
    void serve(bool announced)
    {
        if (!wait(m_listener, POLLIN))
            return;
        const int fd = ::accept(m_listener, nullptr, nullptr);
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n") && wait(fd, POLLIN)) {
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n <= 0)
                break;
            request.append(buffer, n);
        }
        QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        if (announced)
            head += "Content-Length: " + QByteArray::number(m_total) + "\r\n";
        head += "\r\n";
        ::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
        const QByteArray chunk(64 * 1024, 'M');
        while (sent < m_total && wait(fd, POLLOUT)) {
            const ssize_t n = ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                break;
            if (n > 0)
                sent += n;
        }
        ended = true;
        ::close(fd);
    }

    qint64 m_total;
    int m_listener = -1;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

TEST_F(UpdateCheck, AnAnswerBeyondTheLimitStopsThereAndNeverPilesUp)
{
    constexpr qint64 Limit = qint64(48) << 20;
    constexpr qint64 Offered = qint64(256) << 20;
    for (bool announced : {false, true}) {
        SCOPED_TRACE(announced ? "length announced" : "no length");
        FloodServer flood(Offered, announced);
        ASSERT_NE(flood.port, 0);
        qint64 sentWhileBusy = -1;
        const HttpAnswer answer = window->request("GET", flood.url(), false, Limit, [&](qint64, qint64) {
            // The window is busy (a question is open) while the server goes on sending.
            if (sentWhileBusy < 0) {
                while (!flood.stalled && !flood.ended)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                sentWhileBusy = flood.sent;
            }
            return true;
        });
        EXPECT_EQ(answer.error, QStringLiteral("The answer from 127.0.0.1 is larger than 50331648 bytes"));
        EXPECT_TRUE(answer.body.isEmpty());
        // What a busy window lets in is bounded by the buffers between it and the server, far
        // below what the server offered; an announced length beyond the limit is not even read.
        EXPECT_LT(sentWhileBusy, Offered / 2) << "the answer piled up while the window was busy";
        if (announced) {
            EXPECT_EQ(sentWhileBusy, -1) << "the body was read although its length was known to be too large";
        }
        ASSERT_TRUE(testhelpers::waitFor([&] { return flood.ended.load(); }, 20000));
        EXPECT_LT(flood.sent, Offered / 2) << "the download went on past the limit";
    }
}

TEST_F(UpdateCheck, AServerThatTricklesCannotKeepTheCheckGoing)
{
    // The probe is answered at once; the document comes one byte at a time, each well within the
    // idle time-out, for ever.
    QTcpServer trickler;
    ASSERT_TRUE(trickler.listen(QHostAddress::LocalHost, 0));
    QTimer drip;
    drip.setInterval(1);
    QList<QTcpSocket*> trickling;
    QObject::connect(&trickler, &QTcpServer::newConnection, &trickler, [&] {
        while (QTcpSocket* s = trickler.nextPendingConnection())
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &trickling, &drip] {
                const QByteArray request = s->readAll();
                if (request.startsWith("HEAD")) {
                    s->write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
                } else {
                    s->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<?xml");
                    trickling << s;
                    drip.start();
                }
            });
    });
    QObject::connect(&drip, &QTimer::timeout, &trickler, [&] {
        for (QTcpSocket* s : trickling)
            if (s->state() == QAbstractSocket::ConnectedState)
                s->write(" ");
    });
    window->Server = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(trickler.serverPort()));
    window->TimeoutMs = 60000; // a fuse: the bytes keep the request from ever being idle
    window->CheckLimitMs = 60000;
    qint64 clock = 0;
    window->Clock = [&clock] { return clock += 1000; }; // a second passes at each look

    EXPECT_FALSE(window->IsUpdateAvailable());
    EXPECT_TRUE(report().contains(
        QStringLiteral("Version information not usable: The update check took longer than 60 s")))
        << window->M_State->toPlainText().toStdString();
    EXPECT_EQ(lastLine(), QStringLiteral("Update process cancelled."));
    EXPECT_GE(clock, 60000);

    // The limit holds for one check, not for the window's life: the next check starts afresh.
    server.on(QStringLiteral("/downloads/VersionInfo.xml"), {200, versionDocument(200), {}, false, false});
    window->Server = QUrl(server.base());
    EXPECT_TRUE(window->IsUpdateAvailable()) << window->M_State->toPlainText().toStdString();
}

class UpdateDownload : public UpdateCheck {
protected:
    void SetUp() override
    {
        UpdateCheck::SetUp();
        if (HasFatalFailure())
            return;
        installer = QByteArray(300 * 1024, 'M');
        installer[0] = 'M';
        installer[1] = 'Z';
        serveDocument(versionDocument(200, QString(), server.base() + QStringLiteral("/downloads/j4setup.exe")));
        ASSERT_TRUE(window->IsUpdateAvailable());
    }
    QString saved() const { return downloads.filePath(QStringLiteral("j4setup.exe")); }
    QByteArray installer;
};

TEST_F(UpdateDownload, SavesTheInstallerWithOrWithoutLengthAndNeverRunsIt)
{
    for (bool withoutLength : {false, true}) {
        QFile::remove(saved());
        server.on(QStringLiteral("/downloads/j4setup.exe"), {200, installer, {}, withoutLength, false});
        window->B_UpdateClick();
        ASSERT_EQ(window->SavedInstaller(), saved()) << window->M_State->toPlainText().toStdString();
        QFile f(saved());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), installer);
        EXPECT_FALSE(QFileInfo(saved()).isExecutable());
        EXPECT_TRUE(lastLine().endsWith(QStringLiteral("It is not started by JEX4.")));
        EXPECT_TRUE(report().contains(withoutLength ? QStringLiteral("Download size: unknown")
                                                    : QStringLiteral("Download size:300KB")));
        // Without a length the bytes so far stand in for the percentage until the end is known.
        const QStringList lines = report();
        EXPECT_TRUE(lines.contains(QStringLiteral("Downloading 100% done"))
                    || lines.contains(QStringLiteral("Downloading 300 KB done")))
            << window->M_State->toPlainText().toStdString();
        EXPECT_FALSE(window->B_Cancel->isVisibleTo(window.get()));
        EXPECT_EQ(window->Tag, 0);
    }
}

TEST_F(UpdateDownload, CancelAsksAndStopsOrGoesOn)
{
    server.on(QStringLiteral("/downloads/j4setup.exe"), {200, installer, {}, false, false});
    fake->answerMessage(mrYes);
    window->B_CancelClick();
    window->B_UpdateClick();
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("Cancel download?"));
    EXPECT_EQ(lastLine(), QStringLiteral("UPDATE FAILED - Download cancelled by user"));
    EXPECT_FALSE(QFile::exists(saved()));
    EXPECT_EQ(window->Tag, 0);

    fake->answerMessage(mrNo);
    window->B_CancelClick();
    window->B_UpdateClick();
    EXPECT_EQ(window->SavedInstaller(), saved());
    EXPECT_TRUE(QFile::exists(saved()));
}

TEST_F(UpdateDownload, AMissingInstallerIsAnHttpError)
{
    window->B_UpdateClick();
    EXPECT_EQ(lastLine(), QStringLiteral("UPDATE FAILED - HTTP Error 404"));
    EXPECT_TRUE(window->SavedInstaller().isEmpty());
}

class UpdateCommand : public testhelpers::MainWindowTest {};

TEST_F(UpdateCommand, RefusedWhileAProjectIsOpen)
{
    createMain();
    F_CheckForUpdates = new TF_CheckForUpdates(main.get());
    main->A_NewProject->trigger();
    fake->answerMessage(mrOk);
    main->A_CheckForUpdates->trigger();
    ASSERT_FALSE(fake->shown().isEmpty());
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("Please close all projects before proceeding!"));
    EXPECT_FALSE(F_CheckForUpdates->isVisible());
}

TEST_F(UpdateCommand, TheCheckAtStartRunsAfterTheFirstShowingAndOffersTheUpdate)
{
    LocalHttpServer server;
    ASSERT_TRUE(server.listen());
    server.on(QStringLiteral("/downloads/VersionInfo.xml"), {200, versionDocument(60000), {}, false, false});
    createMain();
    F_CheckForUpdates = new TF_CheckForUpdates(main.get());
    F_CheckForUpdates->Server = QUrl(server.base());
    fake->answerMessage(mrNo);             // the file association question
    fake->answerCheckBox(mrNo, false);     // no download now, and no check next time
    main->show();
    EXPECT_TRUE(server.requests.isEmpty()) << "the first showing ends before the check asks anything";
    EXPECT_TRUE(testhelpers::waitFor([this] { return fake->unusedAnswers() == 0; }));
    ASSERT_EQ(server.requests.size(), 2);
    EXPECT_EQ(fake->shown().last().text,
              QStringLiteral("An update for this program is available for downloading!\r\nDo you want to download "
                             "and install this update now?"));
    EXPECT_FALSE(SettingAutoCheckUpdates);
    EXPECT_FALSE(F_CheckForUpdates->isVisible());
}

} // namespace
