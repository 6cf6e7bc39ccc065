// Scanner acquisition over SANE. One worker thread per TTwain makes every SANE call, one job at a
// time, under a process-wide lock (SANE is not made for concurrent callers); results come back to
// the GUI thread as queued calls. Only sane_cancel, which SANE allows from anywhere, is called on
// the GUI thread.
#include "platform/Twain.h"

#include "platform/PictureLimit.h"
#include "platform/TScanDialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QTimer>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

std::mutex g_saneLock; // held around each job of every worker
int g_saneUsers = 0;   // workers that have SANE started; guarded by g_saneLock

enum ScanOutcome { ScanDone = SaneFrameDone, ScanCancelled = SaneFrameCancelled, ScanFailed = SaneFrameFailed };

QString statusText(SANE_Status status)
{
    return QString::fromUtf8(sane_strstatus(status));
}

const SANE_Option_Descriptor* findOption(SANE_Handle h, const char* name, SANE_Int* number)
{
    SANE_Int count = 0;
    if (sane_control_option(h, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return nullptr;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(h, i);
        if (d && d->name && std::strcmp(d->name, name) == 0 && SANE_OPTION_IS_ACTIVE(d->cap)) {
            *number = i;
            return d;
        }
    }
    return nullptr;
}

// Resolution in dpi, whether the option is an integer or fixed point.
int wordToDpi(const SANE_Option_Descriptor* d, SANE_Word w)
{
    return d->type == SANE_TYPE_FIXED ? int(SANE_UNFIX(w) + 0.5) : int(w);
}

SANE_Word dpiToWord(const SANE_Option_Descriptor* d, int dpi)
{
    return d->type == SANE_TYPE_FIXED ? SANE_FIX(double(dpi)) : SANE_Word(dpi);
}

int currentResolution(SANE_Handle h)
{
    SANE_Int n = 0;
    const SANE_Option_Descriptor* d = findOption(h, SANE_NAME_SCAN_RESOLUTION, &n);
    if (!d || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || d->size < SANE_Int(sizeof(SANE_Word)))
        return 0;
    std::vector<SANE_Word> value(size_t(d->size) / sizeof(SANE_Word) + 1);
    if (sane_control_option(h, n, SANE_ACTION_GET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD)
        return 0;
    return wordToDpi(d, value[0]);
}

TScanOptions readOptions(SANE_Handle h)
{
    TScanOptions o;
    SANE_Int n = 0;
    if (const SANE_Option_Descriptor* d = findOption(h, SANE_NAME_SCAN_MODE, &n);
        d && d->type == SANE_TYPE_STRING && d->size > 0) {
        if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST && d->constraint.string_list)
            for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s)
                o.Modes << QString::fromUtf8(*s);
        std::vector<char> value(size_t(d->size) + 1, 0);
        if (sane_control_option(h, n, SANE_ACTION_GET_VALUE, value.data(), nullptr) == SANE_STATUS_GOOD)
            o.Mode = QString::fromUtf8(value.data());
    }
    if (const SANE_Option_Descriptor* d = findOption(h, SANE_NAME_SCAN_RESOLUTION, &n);
        d && (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED)) {
        o.Resolution = currentResolution(h);
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
            const SANE_Word* list = d->constraint.word_list;
            for (SANE_Word i = 1; i <= list[0]; ++i)
                o.Resolutions << wordToDpi(d, list[i]);
        } else if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
            // A range offers the usual steps that lie in it, and its own ends.
            const int lo = std::max(1, wordToDpi(d, d->constraint.range->min));
            const int hi = wordToDpi(d, d->constraint.range->max);
            o.Resolutions << lo << hi;
            for (int r : {50, 75, 100, 150, 200, 300, 400, 600, 800, 1200, 1600, 2400, 3200, 4800, 6400, 9600})
                if (r > lo && r < hi)
                    o.Resolutions << r;
        }
        if (o.Resolution > 0)
            o.Resolutions << o.Resolution;
        std::sort(o.Resolutions.begin(), o.Resolutions.end());
        o.Resolutions.erase(std::unique(o.Resolutions.begin(), o.Resolutions.end()), o.Resolutions.end());
    }
    return o;
}

QString applySettings(SANE_Handle h, const TScanSettings& s)
{
    SANE_Int n = 0;
    if (!s.Mode.isEmpty()) {
        const SANE_Option_Descriptor* d = findOption(h, SANE_NAME_SCAN_MODE, &n);
        if (!d || !SANE_OPTION_IS_SETTABLE(d->cap) || d->type != SANE_TYPE_STRING)
            return QStringLiteral("the scanner has no mode %1").arg(s.Mode);
        QByteArray value = s.Mode.toUtf8();
        if (value.size() >= d->size)
            return QStringLiteral("the scanner has no mode %1").arg(s.Mode);
        value.resize(d->size, '\0');
        const SANE_Status st = sane_control_option(h, n, SANE_ACTION_SET_VALUE, value.data(), nullptr);
        if (st != SANE_STATUS_GOOD)
            return QStringLiteral("setting mode %1: %2").arg(s.Mode, statusText(st));
    }
    if (s.Resolution > 0) {
        const SANE_Option_Descriptor* d = findOption(h, SANE_NAME_SCAN_RESOLUTION, &n);
        if (!d || !SANE_OPTION_IS_SETTABLE(d->cap) || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED)
            || d->size < SANE_Int(sizeof(SANE_Word)))
            return QStringLiteral("the scanner has no resolution setting");
        std::vector<SANE_Word> value(size_t(d->size) / sizeof(SANE_Word) + 1, dpiToWord(d, s.Resolution));
        const SANE_Status st = sane_control_option(h, n, SANE_ACTION_SET_VALUE, value.data(), nullptr);
        if (st != SANE_STATUS_GOOD)
            return QStringLiteral("setting %1 dpi: %2").arg(s.Resolution).arg(statusText(st));
    }
    return {};
}

void postToGui(const QPointer<TTwain>& owner, std::function<void(TTwain*)> fn)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [owner, fn = std::move(fn)] { if (owner) fn(owner.data()); }, Qt::QueuedConnection);
}

} // namespace

QString TTwainSource::ProductName() const
{
    QString name = (Vendor + QLatin1Char(' ') + Model).trimmed();
    if (name.isEmpty())
        name = Name;
    return name + QStringLiteral(" (") + Name + QLatin1Char(')');
}

QImage SaneFrameToImage(int format, int depth, int pixelsPerLine, int bytesPerLine, int lines,
                        const unsigned char* data, qsizetype size, QString* error)
{
    auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return QImage();
    };
    int channels = 0;
    if (format == SANE_FRAME_GRAY && (depth == 1 || depth == 8 || depth == 16))
        channels = 1;
    else if (format == SANE_FRAME_RGB && (depth == 8 || depth == 16))
        channels = 3;
    else
        return refuse(QStringLiteral("unsupported frame (format %1, %2 bits)").arg(format).arg(depth));
    if (pixelsPerLine <= 0 || lines <= 0 || pixelsPerLine > 1000000 || lines > 1000000)
        return refuse(QStringLiteral("unsupported size %1 x %2").arg(pixelsPerLine).arg(lines));
    const qint64 needed = (qint64(pixelsPerLine) * channels * depth + 7) / 8;
    if (bytesPerLine < needed || qint64(bytesPerLine) * lines > size || !data)
        return refuse(QStringLiteral("the scanner sent fewer bytes than its lines need"));

    QImage image(pixelsPerLine, lines, channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    if (image.isNull())
        return refuse(QStringLiteral("not enough memory for %1 x %2 pixels").arg(pixelsPerLine).arg(lines));
    for (int y = 0; y < lines; ++y) {
        const unsigned char* src = data + qint64(y) * bytesPerLine;
        uchar* dst = image.scanLine(y);
        if (depth == 8) {
            std::memcpy(dst, src, size_t(pixelsPerLine) * channels);
        } else if (depth == 16) {
            // Samples are in the machine's byte order; the high byte is kept.
            const int n = pixelsPerLine * channels;
            for (int i = 0; i < n; ++i) {
                uint16_t v;
                std::memcpy(&v, src + 2 * i, 2);
                dst[i] = uchar(v >> 8);
            }
        } else {
            // Line art: the first pixel is the byte's top bit, and a set bit is black.
            for (int x = 0; x < pixelsPerLine; ++x)
                dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
        }
    }
    return image;
}

struct TTwain::Worker {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::function<void()>> jobs;
    bool stop = false;
    bool finished = false;
    std::thread thread;

    // Worker thread only.
    bool saneStarted = false;
    SANE_Handle handle = nullptr;
    int handleSession = 0;
    std::atomic<int> closedSession{0}; // sessions up to this one have ended on the GUI thread

    // Shared with the GUI thread, which may cancel the scan in progress.
    std::mutex handleLock;
    SANE_Handle scanning = nullptr;
    std::atomic<bool> cancelRequested{false};

    void post(std::function<void()> job)
    {
        {
            std::lock_guard<std::mutex> lock(m);
            jobs.push_back(std::move(job));
        }
        cv.notify_one();
    }

    void run()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [this] { return stop || !jobs.empty(); });
                if (jobs.empty())
                    break; // stop asked and nothing left
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            std::lock_guard<std::mutex> sane(g_saneLock);
            job();
        }
        {
            std::lock_guard<std::mutex> sane(g_saneLock);
            closeHandle();
            if (saneStarted && --g_saneUsers == 0)
                sane_exit();
            saneStarted = false;
        }
        std::lock_guard<std::mutex> lock(m);
        finished = true;
        cv.notify_all();
    }

    // Under g_saneLock.
    bool startSane(QString* error)
    {
        if (saneStarted)
            return true;
        if (g_saneUsers == 0) {
            SANE_Int version = 0;
            const SANE_Status st = sane_init(&version, nullptr);
            if (st != SANE_STATUS_GOOD) {
                *error = QStringLiteral("SANE did not start: ") + statusText(st);
                return false;
            }
        }
        ++g_saneUsers;
        saneStarted = true;
        return true;
    }

    void closeHandle()
    {
        if (!handle)
            return;
        sane_close(handle);
        handle = nullptr;
        handleSession = 0;
    }

    // One scan into a picture; under g_saneLock.
    int scan(const TScanSettings& settings, QImage* image, QString* error)
    {
        if (QString e = applySettings(handle, settings); !e.isEmpty()) {
            *error = e;
            return ScanFailed;
        }
        {
            std::lock_guard<std::mutex> lock(handleLock);
            scanning = handle;
        }
        // A cancel that came before the scan started counts too.
        const int outcome = cancelRequested ? int(ScanCancelled) : readImage(image, error);
        {
            std::lock_guard<std::mutex> lock(handleLock);
            scanning = nullptr;
        }
        sane_cancel(handle); // ends the scan, also after the last frame
        if (outcome == ScanDone) {
            const int dpi = currentResolution(handle);
            if (dpi > 0) {
                image->setDotsPerMeterX(int(dpi / 0.0254 + 0.5));
                image->setDotsPerMeterY(int(dpi / 0.0254 + 0.5));
            }
        }
        return outcome;
    }

    int readImage(QImage* image, QString* error)
    {
        auto failed = [&](SANE_Status st, const QString& what) {
            if (st == SANE_STATUS_CANCELLED || cancelRequested)
                return int(ScanCancelled);
            *error = what + statusText(st);
            return int(ScanFailed);
        };
        SANE_Status st = sane_start(handle);
        if (st != SANE_STATUS_GOOD)
            return failed(st, QStringLiteral("starting the scan: "));
        SANE_Parameters p{};
        st = sane_get_parameters(handle, &p);
        if (st != SANE_STATUS_GOOD)
            return failed(st, QStringLiteral("reading the scan parameters: "));
        if (!p.last_frame || (p.format != SANE_FRAME_GRAY && p.format != SANE_FRAME_RGB)) {
            *error = QStringLiteral("the scanner sends colours in separate passes, which is not supported");
            return ScanFailed;
        }
        return ReadSaneFrame(p.format, p.depth, p.pixels_per_line, p.bytes_per_line, p.lines,
                             [this](unsigned char* dst, qint64 size, qint64* got, bool* eof, QString* e) {
                                 return readSome(dst, size, got, eof, e);
                             },
                             image, error);
    }

    int readSome(unsigned char* dst, qint64 size, qint64* got, bool* eof, QString* error)
    {
        SANE_Int len = 0;
        const SANE_Int max = SANE_Int(std::min<qint64>(size, 1 << 24));
        const SANE_Status st = sane_read(handle, dst, max, &len);
        if (cancelRequested)
            return ScanCancelled;
        if (st == SANE_STATUS_EOF) {
            *eof = true;
            *got = 0;
            return ScanDone;
        }
        if (st == SANE_STATUS_CANCELLED)
            return ScanCancelled;
        if (st != SANE_STATUS_GOOD) {
            *error = QStringLiteral("reading the scan: ") + statusText(st);
            return ScanFailed;
        }
        *got = std::clamp<qint64>(len, 0, max);
        return ScanDone;
    }
};

int ReadSaneFrame(int format, int depth, int pixelsPerLine, qint64 bytesPerLine, int lines,
                  const SaneFrameRead& read, QImage* image, QString* error)
{
    const int channels = format == SANE_FRAME_RGB ? 3 : 1;
    const qint64 needed = (qint64(pixelsPerLine) * channels * depth + 7) / 8; // bytes a line's pixels use
    const qint64 bpl = bytesPerLine;
    if ((format != SANE_FRAME_GRAY && format != SANE_FRAME_RGB) || (depth != 1 && depth != 8 && depth != 16)
        || pixelsPerLine <= 0 || pixelsPerLine > 1000000 || bpl < needed || bpl > (qint64(1) << 28) || lines == 0
        || lines < -1 || lines > 1000000) {
        *error = QStringLiteral("the scanner announced an impossible picture (%1 x %2 pixels, %3 bytes a line)")
                     .arg(pixelsPerLine).arg(lines).arg(bpl);
        return SaneFrameFailed;
    }
    const auto tooLarge = [&] {
        *error = QStringLiteral("the scanned picture would hold more than %1 MB of pixels").arg(MaxPictureBytes() >> 20);
        return int(SaneFrameFailed);
    };
    if (lines > 0 && !PictureFitsLimit(pixelsPerLine, lines))
        return tooLarge();
    try {
        std::vector<unsigned char> chunk(size_t(std::min<qint64>(std::max<qint64>(bpl, 64 * 1024), 1 << 20)));
        bool eof = false;
        // 8-bit lines laid out as the picture's own rows are read straight into it.
        if (depth == 8 && lines > 0 && bpl == needed && bpl % 4 == 0) {
            QImage direct(pixelsPerLine, lines, channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
            if (direct.isNull() || direct.bytesPerLine() != bpl)
                throw std::bad_alloc();
            const qint64 size = bpl * lines;
            qint64 got = 0;
            while (!eof && got < size) {
                qint64 part = 0;
                if (const int r = read(direct.bits() + got, size - got, &part, &eof, error); r != SaneFrameDone)
                    return r;
                got += part;
            }
            while (!eof) { // a frame longer than announced: the surplus is dropped
                qint64 part = 0;
                if (const int r = read(chunk.data(), qint64(chunk.size()), &part, &eof, error); r != SaneFrameDone)
                    return r;
            }
            const int complete = int(got / bpl);
            if (complete <= 0) {
                *error = QStringLiteral("the scanner sent no complete line");
                return SaneFrameFailed;
            }
            *image = complete == lines ? std::move(direct) : direct.copy(0, 0, pixelsPerLine, complete);
            return SaneFrameDone;
        }

        // Otherwise the bytes pass through a chunk, and of each line only its first `needed`
        // bytes are kept.
        std::vector<unsigned char> kept;
        if (lines > 0)
            kept.resize(size_t(needed * lines));
        qint64 complete = 0; // lines read to their end
        qint64 inLine = 0;   // bytes of the current line read so far
        while (!eof) {
            qint64 part = 0;
            if (const int r = read(chunk.data(), qint64(chunk.size()), &part, &eof, error); r != SaneFrameDone)
                return r;
            for (qint64 at = 0; at < part;) {
                const qint64 take = std::min(part - at, bpl - inLine);
                const bool wanted = inLine < needed && (lines < 0 || complete < lines);
                if (wanted) {
                    if (lines < 0 && qint64(kept.size()) < (complete + 1) * needed) {
                        // A hand scanner's picture grows as long as the device sends, up to the limit.
                        if (complete + 1 > 1000000 || !PictureFitsLimit(pixelsPerLine, complete + 1))
                            return tooLarge();
                        kept.resize(size_t(std::max<qint64>(qint64(kept.size()) * 2, needed * 64)));
                    }
                    const qint64 use = std::min(take, needed - inLine);
                    std::memcpy(kept.data() + complete * needed + inLine, chunk.data() + at, size_t(use));
                }
                inLine += take;
                at += take;
                if (inLine == bpl) {
                    ++complete;
                    inLine = 0;
                }
            }
        }
        const int keptLines = int(lines > 0 ? std::min<qint64>(complete, lines) : complete);
        if (keptLines <= 0) {
            *error = QStringLiteral("the scanner sent no complete line");
            return SaneFrameFailed;
        }
        *image = SaneFrameToImage(format, depth, pixelsPerLine, int(needed), keptLines, kept.data(),
                                  qsizetype(needed) * keptLines, error);
        return image->isNull() ? SaneFrameFailed : SaneFrameDone;
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("not enough memory for the scanned picture");
        return SaneFrameFailed;
    }
}

TTwain::TTwain(QObject* parent) : QObject(parent), m_worker(std::make_shared<Worker>())
{
    std::shared_ptr<Worker> w = m_worker;
    w->thread = std::thread([w] { w->run(); });
}

TTwain::~TTwain()
{
    delete m_dialog.data();
    {
        std::lock_guard<std::mutex> lock(m_worker->handleLock);
        m_worker->cancelRequested = true;
        if (m_worker->scanning)
            sane_cancel(m_worker->scanning);
    }
    std::unique_lock<std::mutex> lock(m_worker->m);
    m_worker->jobs.clear();
    m_worker->stop = true;
    m_worker->cv.notify_all();
    // A driver that does not come back keeps its thread; the program does not wait for it.
    if (m_worker->cv.wait_for(lock, std::chrono::seconds(3), [this] { return m_worker->finished; })) {
        lock.unlock();
        m_worker->thread.join();
    } else {
        lock.unlock();
        m_worker->thread.detach();
    }
}

bool TTwain::LoadSourceManager(int timeoutMs)
{
    if (m_waiting) {
        m_lastError = QStringLiteral("the scanner list is still being read");
        return false;
    }
    struct Answer {
        bool done = false;
        bool ok = false;
        QList<TTwainSource> sources;
        QString error;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    QPointer<QEventLoop> loopGuard(&loop);
    QPointer<TTwain> owner(this);
    std::shared_ptr<Worker> w = m_worker;
    w->post([w, owner, loopGuard, answer] {
        QString error;
        QList<TTwainSource> sources;
        bool ok = w->startSane(&error);
        if (ok) {
            const SANE_Device** list = nullptr;
            const SANE_Status st = sane_get_devices(&list, SANE_FALSE);
            if (st != SANE_STATUS_GOOD) {
                ok = false;
                error = QStringLiteral("listing the scanners: ") + statusText(st);
            } else {
                for (const SANE_Device** d = list; d && *d; ++d)
                    sources.push_back({QString::fromUtf8((*d)->name), QString::fromUtf8((*d)->vendor),
                                       QString::fromUtf8((*d)->model), QString::fromUtf8((*d)->type)});
            }
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [loopGuard, answer, ok, sources, error] {
            answer->done = true;
            answer->ok = ok;
            answer->sources = sources;
            answer->error = error;
            if (loopGuard)
                loopGuard->quit();
        }, Qt::QueuedConnection);
    });
    m_waiting = true;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (!owner)
        return false;
    m_waiting = false;
    if (!answer->done) {
        m_lastError = QStringLiteral("the scanners do not answer");
        return false;
    }
    if (!answer->ok) {
        m_lastError = answer->error;
        return false;
    }
    m_sources = answer->sources;
    return true;
}

int TTwain::SelectSource(QWidget* parent)
{
    if (SelectDialog)
        return SelectDialog(parent, m_sources);
    QStringList names;
    for (const TTwainSource& s : m_sources)
        names << s.ProductName();
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, QStringLiteral("Select Source"), QStringLiteral("Sources:"),
                                                 names, 0, false, &ok);
    return ok ? int(names.indexOf(chosen)) : -1;
}

bool TTwain::EnableSource(int index, bool showUI, QWidget* parent)
{
    if (index < 0 || index >= m_sources.size()) {
        if (m_enabled)
            return false;
        fail(QStringLiteral("scanner source %1 is not in the list of %2").arg(index).arg(m_sources.size()));
        return false;
    }
    return EnableSourceByName(m_sources[index].Name, showUI, parent);
}

bool TTwain::EnableSourceByName(const QString& deviceName, bool showUI, QWidget* parent)
{
    if (m_enabled)
        return false;
    m_enabled = true;
    m_open = false;
    m_scanning = false;
    m_imageIndex = 0;
    m_deviceName = deviceName;
    const int session = ++m_session;
    if (showUI) {
        m_dialog = new TScanDialog(this, deviceName, parent);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        m_dialog->show();
    }
    QPointer<TTwain> owner(this);
    std::shared_ptr<Worker> w = m_worker;
    const QByteArray name = deviceName.toUtf8();
    w->post([w, owner, session, name] {
        QString error;
        TScanOptions options;
        bool ok = w->startSane(&error);
        if (ok) {
            w->closeHandle();
            SANE_Handle h = nullptr;
            const SANE_Status st = sane_open(name.constData(), &h);
            if (st != SANE_STATUS_GOOD || !h) {
                ok = false;
                error = QStringLiteral("opening ") + QString::fromUtf8(name) + QStringLiteral(": ") + statusText(st);
            } else {
                w->handle = h;
                w->handleSession = session;
                options = readOptions(h);
                if (session <= w->closedSession)
                    w->closeHandle(); // given up while it opened

            }
        }
        postToGui(owner, [session, ok, options, error](TTwain* t) {
            if (t->m_session == session)
                t->sourceOpened(ok, options, error);
        });
    });
    // A device that never answers ends the acquisition with an error, not a wait without end.
    QTimer::singleShot(OpenTimeoutMs, this, [this, session] {
        if (m_session == session && m_enabled && !m_open && !m_scanning)
            fail(QStringLiteral("the scanner %1 does not answer").arg(m_deviceName));
    });
    return true;
}

void TTwain::sourceOpened(bool ok, const TScanOptions& options, const QString& error)
{
    if (!ok) {
        fail(error);
        return;
    }
    m_open = true;
    m_options = options;
    if (m_dialog)
        m_dialog->ShowOptions(options);
    if (OnSourceOpened)
        OnSourceOpened(this);
}

bool TTwain::Acquire(const TScanSettings& settings)
{
    if (!m_enabled || !m_open || m_scanning)
        return false;
    m_scanning = true;
    m_worker->cancelRequested = false;
    if (m_dialog)
        m_dialog->ShowScanning();
    const int session = m_session;
    QPointer<TTwain> owner(this);
    std::shared_ptr<Worker> w = m_worker;
    w->post([w, owner, session, settings] {
        QImage image;
        QString error;
        int outcome = ScanFailed;
        if (!w->handle || w->handleSession != session)
            error = QStringLiteral("the scanner is no longer open");
        else
            outcome = w->scan(settings, &image, &error);
        postToGui(owner, [session, outcome, image, error](TTwain* t) {
            if (t->m_session == session)
                t->scanDone(outcome, image, error);
        });
    });
    return true;
}

void TTwain::scanDone(int outcome, const QImage& image, const QString& error)
{
    m_scanning = false;
    if (outcome == ScanCancelled) {
        cancelled();
        return;
    }
    if (outcome == ScanFailed) {
        fail(error);
        return;
    }
    bool cancel = true;
    const int index = m_imageIndex++;
    const int session = m_session;
    QPointer<TTwain> guard(this);
    if (m_dialog)
        m_dialog->ShowOptions(m_options); // the scan is over while the handler asks its questions
    if (OnTwainAcquire)
        OnTwainAcquire(this, index, image, cancel);
    if (!guard || m_session != session)
        return; // the handler ended the acquisition itself
    if (cancel)
        DisableSource();
}

void TTwain::Cancel()
{
    if (!m_enabled)
        return;
    if (m_scanning) {
        std::lock_guard<std::mutex> lock(m_worker->handleLock);
        m_worker->cancelRequested = true;
        if (m_worker->scanning)
            sane_cancel(m_worker->scanning);
        return; // the scan job reports the cancel
    }
    // Closing the dialog before any image arrived cancels the acquisition.
    if (m_imageIndex == 0)
        cancelled();
    else
        DisableSource();
}

void TTwain::cancelled()
{
    DisableSource();
    if (OnAcquireCancel)
        OnAcquireCancel(this);
}

void TTwain::fail(const QString& detail)
{
    m_lastError = detail;
    DisableSource();
    if (OnAcquireError)
        OnAcquireError(this);
}

void TTwain::DisableSource()
{
    if (m_dialog) {
        TScanDialog* d = m_dialog;
        m_dialog = nullptr;
        d->hide();
        d->deleteLater();
    }
    if (m_scanning) {
        std::lock_guard<std::mutex> lock(m_worker->handleLock);
        m_worker->cancelRequested = true;
        if (m_worker->scanning)
            sane_cancel(m_worker->scanning);
    }
    if (m_enabled)
        closeDevice();
    m_enabled = false;
    m_open = false;
    m_scanning = false;
    ++m_session;
}

void TTwain::closeDevice()
{
    const int session = m_session;
    std::shared_ptr<Worker> w = m_worker;
    w->closedSession = session;
    // Closes this session's device, and one opened late for it after a timeout.
    w->post([w, session] {
        if (w->handle && w->handleSession <= session)
            w->closeHandle();
    });
}
