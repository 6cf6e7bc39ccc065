// Scanner acquisition shaped like the TWAIN component the main window drives: a source list, a
// source-selection dialog, enabling a source with its own dialog, and image, cancel and error
// events on the GUI thread. Behind it is SANE; every SANE call runs on one worker thread, so a
// missing, busy or hanging scanner never stops the program.
#pragma once

#include "platform/TScanDialog.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

struct TTwainSource {
    QString Name;   // the SANE device name, "backend:device"
    QString Vendor;
    QString Model;
    QString Type;
    QString ProductName() const; // what the selection dialog lists
};

// What a source offers, read when it is opened. Lists are empty when the source has no such option.
struct TScanOptions {
    QStringList Modes;       // e.g. "Color", "Gray"
    QString Mode;            // current mode
    QList<int> Resolutions;  // offered resolutions in dpi, ascending
    int Resolution = 0;      // current resolution in dpi, 0: unknown
};

struct TScanSettings {
    QString Mode;        // empty: the source's current mode
    int Resolution = 0;  // dpi; 0: the source's current resolution
};

// Turns the bytes of one SANE frame into a picture: gray (1, 8 or 16 bits) into Grayscale8, RGB
// (8 or 16 bits) into RGB888. `lines` counts complete rows in `data`. Returns a null image when
// the format is not one of these or the bytes do not hold `lines` rows; `error` then says why.
QImage SaneFrameToImage(int format, int depth, int pixelsPerLine, int bytesPerLine, int lines,
                        const unsigned char* data, qsizetype size, QString* error = nullptr);

enum SaneFrameOutcome { SaneFrameDone, SaneFrameCancelled, SaneFrameFailed };
// Takes the next bytes of a frame, at most `size`: sets `got`, and `eof` at the frame's end;
// returns a SaneFrameOutcome (`error` says why it failed).
using SaneFrameRead = std::function<int(unsigned char* dst, qint64 size, qint64* got, bool* eof, QString* error)>;

// Reads one SANE frame as announced (`lines` -1: unknown, a hand scanner) into a picture. Memory
// follows the picture, not the announcement: of each line only the bytes the pixels use are
// kept, whatever padding a device announces, and a picture beyond the program's picture limit is
// refused, before reading when its size is known, else as soon as it grows beyond it. Lines
// beyond the announced number are read and dropped.
int ReadSaneFrame(int format, int depth, int pixelsPerLine, qint64 bytesPerLine, int lines,
                  const SaneFrameRead& read, QImage* image, QString* error);

class TTwain : public QObject {
    Q_OBJECT
public:
    explicit TTwain(QObject* parent = nullptr);
    ~TTwain() override; // cancels a running scan; a worker stuck in the driver is left behind

    // Starts SANE if needed and lists its devices, waiting at most timeoutMs while events are
    // processed. False when SANE does not answer in time or is busy; LastError says why.
    bool LoadSourceManager(int timeoutMs = 20000);
    const QList<TTwainSource>& SourceList() const { return m_sources; }
    // Shows the selection dialog over SourceList; the chosen index, or -1 when cancelled.
    int SelectSource(QWidget* parent);
    // The selection dialog; tests put a scripted one in place. Gets the list, returns index or -1.
    std::function<int(QWidget* parent, const QList<TTwainSource>& sources)> SelectDialog;

    // Opens source `index` of SourceList (or a device by name) and, with showUI, shows the scan
    // dialog where the user picks mode and resolution and starts scans. Without UI, Acquire starts
    // scans. Results arrive through the events. Returns false when the index is not in the list
    // or a source is already enabled (the error event has fired for a bad index).
    bool EnableSource(int index, bool showUI, QWidget* parent = nullptr);
    bool EnableSourceByName(const QString& deviceName, bool showUI, QWidget* parent = nullptr);
    bool SourceEnabled() const { return m_enabled; }
    bool SourceOpen() const { return m_open; } // opened and not scanning: a scan can start
    bool Scanning() const { return m_scanning; }
    const TScanOptions& Options() const { return m_options; }
    // Starts one scan of the open source.
    bool Acquire(const TScanSettings& settings);
    // Cancels a running scan (the cancel event follows), or ends the acquisition when none runs.
    void Cancel();
    // Ends the acquisition: closes the dialog and the device. No event.
    void DisableSource();
    TScanDialog* Dialog() const { return m_dialog; }

    QString LastError() const { return m_lastError; }

    // Events, on the GUI thread. Index counts the images of this acquisition from 0. Image has its
    // resolution set (dots per metre); setting Cancel ends the acquisition after this image.
    std::function<void(TTwain* sender, int index, const QImage& image, bool& cancel)> OnTwainAcquire;
    std::function<void(TTwain* sender)> OnAcquireCancel;
    std::function<void(TTwain* sender)> OnAcquireError;
    // After a source opened (its options known).
    std::function<void(TTwain* sender)> OnSourceOpened;

    // Milliseconds the source may take to open before the acquisition gives up with an error.
    int OpenTimeoutMs = 20000;

    struct Worker;

private:
    void sourceOpened(bool ok, const TScanOptions& options, const QString& error);
    void scanDone(int outcome, const QImage& image, const QString& error);
    void fail(const QString& detail);
    void cancelled();
    void closeDevice();

    std::shared_ptr<Worker> m_worker;
    QList<TTwainSource> m_sources;
    TScanOptions m_options;
    QPointer<TScanDialog> m_dialog;
    QString m_lastError;
    QString m_deviceName;
    int m_session = 0;     // bumped at each enable/disable so late answers of an old one are dropped
    int m_imageIndex = 0;
    bool m_enabled = false;
    bool m_open = false;
    bool m_scanning = false;
    bool m_waiting = false;
};
