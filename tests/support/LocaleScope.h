// Tests run under the C locale; a test that checks what a decimal-comma locale changes switches
// to German for a scope. Both the C library (printf and friends) and the toolkit's default locale
// (QLocale()) follow, as they do for a user who starts the program with LANG=de_DE.UTF-8.
#pragma once

#include <QLocale>

#include <clocale>

namespace testhelpers {

// German: a comma as decimal mark and a point between thousands.
inline constexpr const char* GermanLocale = "de_DE.UTF-8";

inline void useCLocale()
{
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

class LocaleScope {
public:
    // Stays in the C locale when the named one is not installed; see active().
    explicit LocaleScope(const char* name)
        : m_active(std::setlocale(LC_ALL, name) != nullptr)
    {
        if (m_active)
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    }
    ~LocaleScope() { useCLocale(); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

    bool active() const { return m_active; }

private:
    bool m_active;
};

} // namespace testhelpers
