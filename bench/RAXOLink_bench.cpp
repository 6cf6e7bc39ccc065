// The link to RAXO under floods from its peer. A peer on 127.0.0.1 (a thread writing with plain
// blocking sockets, so its own buffers stay small) sends:
// - unknown commands, worked off with the log window open; reference: the same bytes cut into
//   messages by the parser alone, the work the link cannot do without;
// - 200 MB of bare line ends while a command's question box is open, then worked off; reported as
//   the growth of the process's resident memory (its own figures in /proc/self/statm) while the box
//   is open and at the peak, and what is left once the burst is over, each beside the bytes sent.
#include "Ratios.h"

#include "platform/Dialogs.h"
#include "project/Settings.h"
#include "shell/RAXOLink.h"
#include "shell/TF_ErrorLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

namespace {

QByteArray unknownCommands(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) // each differs from the one before, so none is a repeat
        bytes += "RAXO\r\n" + QByteArray::number(i) + "\r\nNOPE\r\n";
    return bytes;
}

qint64 residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// Runs the event loop until `done`, at most `ms`; `each` after every pass.
bool spin(const std::function<bool()>& done, int ms, const std::function<void()>& each = {})
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (each)
            each();
    }
    return true;
}

// One connection: accepts the link, waits for `go`, then writes what `produce` gives until it
// gives nothing.
class Peer {
public:
    explicit Peer(std::function<QByteArray()> produce)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port = ntohs(a.sin_port);
        m_thread = std::thread([this, produce = std::move(produce)] {
            const int s = ::accept(m_listener, nullptr, nullptr);
            if (s < 0)
                return;
            while (!go)
                std::this_thread::yield();
            for (QByteArray piece = produce(); !piece.isEmpty(); piece = produce()) {
                for (qsizetype at = 0; at < piece.size();) {
                    const ssize_t n = ::send(s, piece.constData() + at, size_t(piece.size() - at), MSG_NOSIGNAL);
                    if (n <= 0) {
                        ::close(s);
                        done = true;
                        return;
                    }
                    at += n;
                    sent += n;
                }
            }
            done = true;
            m_connection = s; // kept open until the end, so the link does not see a break
        });
    }
    ~Peer()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_connection >= 0)
            ::close(m_connection);
        ::close(m_listener);
    }

    quint16 port = 0;
    std::atomic<qint64> sent{0};
    std::atomic<bool> go{false};
    std::atomic<bool> done{false};

private:
    int m_listener = -1;
    int m_connection = -1;
    std::thread m_thread;
};

// Every question is answered at once, after `whileOpen` ran (the time the user takes).
class SlowToAnswer : public Dialogs {
public:
    std::function<void()> whileOpen;
    int messageDlg(const QString&, TMsgDlgType, TMsgDlgButtons buttons, int) override
    {
        if (auto open = std::exchange(whileOpen, nullptr))
            open();
        return escapeResultOf(buttons);
    }
    void showMessage(const QString&) override {}
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    int messageDlgWithCheckBox(const QString&, const QString&, const QString&, bool&) override { return mrNo; }
    FileDialogAnswer openFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer openFiles(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer saveFile(const FileDialogRequest&) override { return {}; }
    QString selectDirectory(const QString&, const QString&) override { return {}; }
};

std::unique_ptr<RAXOLink> connectedLink(quint16 port)
{
    SettingTCPIPAutoConnect = true;
    auto link = std::make_unique<RAXOLink>();
    link->SetPort(port);
    link->T_TCPTimer();
    spin([&] { return link->Connected(); }, 5000);
    return link;
}

qint64 unknownLogged()
{
    qint64 total = 0;
    for (const auto& e : TF_ErrorLog::Entries()) {
        const QString& text = e->AMessage;
        if (text.startsWith(QStringLiteral("Unknown command from RAXO")))
            total += 1;
        else if (const qsizetype at = text.indexOf(QStringLiteral(" unknown commands from RAXO")); at > 0)
            total += text.left(at).toLongLong();
    }
    return total;
}

void BM_LinkFloodWhileABoxIsOpen(benchmark::State& state)
{
    constexpr qint64 FloodBytes = qint64(200) << 20;
    const QByteArray piece(1 << 20, '\n');
    double boxGrowth = 0, peakGrowth = 0, afterGrowth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto dialogs = std::make_unique<SlowToAnswer>();
        SlowToAnswer* box = dialogs.get();
        setDialogs(std::move(dialogs));
        std::atomic<int> stage{0}; // 0: the OPEN that shows the box, 1: the flood, 2: done
        qint64 flooded = 0;
        Peer peer([&]() -> QByteArray {
            if (stage == 0) {
                stage = 1;
                return "RAXO\r\n1\r\nOPEN\r\n/no/such/file.jex4\r\n{NONE}\r\n";
            }
            if (flooded >= FloodBytes)
                return {};
            flooded += piece.size();
            return piece;
        });
        auto link = connectedLink(peer.port);
        const qint64 base = residentBytes();
        qint64 peak = base;
        auto sample = [&] { peak = std::max(peak, residentBytes()); };
        box->whileOpen = [&] {
            spin([] { return false; }, 1000, sample); // the user reads the box for a second
            boxGrowth += double(peak - base);
        };
        state.ResumeTiming();
        peer.go = true;
        if (!spin([&] { return peer.done && link->TCP->bytesAvailable() == 0 && !link->Parser().hasPending(); },
                  600000, sample))
            state.SkipWithError("the flood was not worked off");
        state.PauseTiming();
        spin([] { return false; }, 300, sample); // the quiet time after the burst
        peakGrowth += double(peak - base);
        afterGrowth += double(residentBytes() - base);
        link.reset();
        setDialogs(nullptr);
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["flood_mb"] = double(FloodBytes) / (1 << 20);
    state.counters["box_open_growth_mb"] = boxGrowth / n / (1 << 20);
    state.counters["peak_growth_mb"] = peakGrowth / n / (1 << 20);
    state.counters["after_growth_mb"] = afterGrowth / n / (1 << 20);
    std::printf("flood of %lld MB: resident memory grew %.2f MB with the box open, %.2f MB at the peak, "
                "%.2f MB after the burst; peak growth / bytes sent = %.4f\n",
                FloodBytes >> 20, boxGrowth / n / (1 << 20), peakGrowth / n / (1 << 20), afterGrowth / n / (1 << 20),
                peakGrowth / n / double(FloodBytes));
}
BENCHMARK(BM_LinkFloodWhileABoxIsOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_LinkUnknownCommands(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QByteArray bytes = unknownCommands(count);
    TF_ErrorLog log;
    log.show();
    for (auto _ : state) {
        state.PauseTiming();
        TF_ErrorLog::ClearLog();
        bool given = false;
        Peer peer([&] { return std::exchange(given, true) ? QByteArray() : bytes; });
        auto link = connectedLink(peer.port);
        state.ResumeTiming();
        peer.go = true;
        if (!spin([&] { return unknownLogged() == count; }, 600000))
            state.SkipWithError("the commands were not all worked off");
        state.PauseTiming();
        link.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LinkUnknownCommands)->ArgsProduct({bench::sizes({10000, 200000})})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Reference_ParseOnly(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QByteArray bytes = unknownCommands(count);
    for (auto _ : state) {
        RAXOMessageParser parser;
        int n = 0;
        for (qsizetype at = 0; at < bytes.size(); at += RAXOLink::ReadChunkBytes) {
            parser.feed(bytes.mid(at, RAXOLink::ReadChunkBytes));
            while (auto m = parser.next())
                n += m->command() == QLatin1String("NOPE");
        }
        if (n != count)
            state.SkipWithError("messages lost");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Reference_ParseOnly)->ArgsProduct({bench::sizes({10000, 200000})})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::compare("BM_LinkUnknownCommands/10000/iterations:1", "BM_Reference_ParseOnly/10000/iterations:1");
    bench::compare("BM_LinkUnknownCommands/200000/iterations:1", "BM_Reference_ParseOnly/200000/iterations:1");
    return bench::runWithRatios(argc, argv);
}
