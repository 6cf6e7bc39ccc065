// A private SANE configuration that offers only SANE's own test device, so scanner tests run on
// any machine and never see (or wait for) a real scanner.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace testhelpers {

// SANE reads SANE_CONFIG_DIR once per process, so every instance shares one folder and writes
// its own test.conf there; SANE reads that file again at its next start.
class SaneTestDevice {
public:
    // Lines of test.conf beyond the defaults: two devices, a colour pattern of 1 x 0.5 inch.
    // Without the test backend, SANE offers no device at all.
    explicit SaneTestDevice(const QStringList& extraLines = {}, bool testBackend = true);

    bool isValid() const { return m_valid; }
    static QString folder();

private:
    bool m_valid = false;
};

// Pumps events until `done` holds; returns done(). timeoutMs is only a fuse against a hang.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 60000);

} // namespace testhelpers
