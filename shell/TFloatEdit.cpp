#include "shell/TFloatEdit.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>

#include <algorithm>

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

} // namespace

TFloatEdit::TFloatEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QString point = QLocale().decimalPoint();
    fdec = point.isEmpty() ? QLatin1Char('.') : point.at(0);
    Fertext = NoText;
    setValue(0.0);
}

double TFloatEdit::Value() const
{
    QString s = text();
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    // The box writes the locale's separator, so it must read it back whatever it is.
    s.replace(fdec, QLatin1Char('.'));
    if (s.isEmpty() || s == QLatin1String("-") || s == QLatin1String("."))
        s = QStringLiteral("0");
    double v = 0.0;
    if (!TryStrToFloat(s, v))
        v = FMin;
    return std::clamp(v, FMin, FMax);
}

void TFloatEdit::setValue(double value)
{
    if (value > FMax) {
        showError(Fertext);
        value = FMax;
    }
    if (value < FMin) {
        showError(Fertext);
        value = FMin;
    }
    setText(formatFixed(value));
}

void TFloatEdit::setDigits(int digits)
{
    FDigits = std::clamp(digits, 0, 18);
    setValue(Value());
}

void TFloatEdit::setMin(double value)
{
    if (value == FMin)
        return;
    if (value > FMax) {
        showError(QStringLiteral("Min-Value has to be less than or equal to Max-Value !"));
        value = FMax;
    }
    FMin = value;
    setValue(Value());
}

void TFloatEdit::setMax(double value)
{
    if (value == FMax)
        return;
    if (value < FMin) {
        showError(QStringLiteral("Max-Value has to be greater than or equal to Min-Value !"));
        value = FMin;
    }
    FMax = value;
    setValue(Value());
}

QString TFloatEdit::formatFixed(double value) const
{
    QString s = FloatToStrF(value, ffFixed, 18, FDigits);
    s.replace(QLatin1Char('.'), fdec);
    return s;
}

bool TFloatEdit::readWithLocaleSeparator(double& value) const
{
    QString s = text();
    // With another separator in use, a '.' is no decimal point.
    if (fdec != QLatin1Char('.')) {
        if (s.contains(QLatin1Char('.')))
            return false;
        s.replace(fdec, QLatin1Char('.'));
    }
    return TryStrToFloat(s, value);
}

void TFloatEdit::showError(const QString& text)
{
    if (text != NoText)
        ShowMessage(text);
}

void TFloatEdit::takeFocusBack()
{
    selectAll();
    if (isVisible())
        setFocus(Qt::OtherFocusReason);
}

void TFloatEdit::focusInEvent(QFocusEvent* event)
{
    foldval = Value();
    QLineEdit::focusInEvent(event);
}

void TFloatEdit::focusOutEvent(QFocusEvent* event)
{
    // Switching to another window or opening a menu is no leaving of the box.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
        QLineEdit::focusOutEvent(event);
        return;
    }
    QLineEdit::focusOutEvent(event);

    if (text().isEmpty()) {
        setValue(foldval);
        takeFocusBack();
        return;
    }
    double v = 0.0;
    if (!readWithLocaleSeparator(v) || v < FMin || v > FMax) {
        // The message box runs its own event loop; the box may be gone when it returns.
        const QPointer<TFloatEdit> self(this);
        showError(Fertext);
        if (!self)
            return;
        setValue(foldval);
        takeFocusBack();
        return;
    }
    setText(formatFixed(v));
    setValue(Value());
}

TFloatEdit::KeyVerdict TFloatEdit::filterKey(QChar key) const
{
    const QString current = text();
    QString s0 = current;
    QString s = current;
    if (hasSelectedText()) {
        const int start = selectionStart();
        const int length = selectedText().size();
        s0.remove(start, length);
        s.replace(start, length, key);
    } else {
        s.insert(cursorPosition(), key);
    }

    if (!isDigit(key) && key != fdec && key != QLatin1Char('-'))
        return KeyVerdict::Swallow;
    if (key == fdec && (s0.contains(fdec) || FDigits == 0))
        return KeyVerdict::Swallow;
    if (key == QLatin1Char('-') && (s0.contains(QLatin1Char('-')) || FMin >= 0.0))
        return KeyVerdict::Swallow;
    const int sep = s.indexOf(fdec);
    if (sep >= 0 && s.size() - sep - 1 > FDigits)
        return KeyVerdict::Swallow;
    if (key == QLatin1Char('-') && !s.startsWith(QLatin1Char('-')))
        return KeyVerdict::Swallow;
    if (s == QLatin1String("-"))
        return KeyVerdict::MinusZero;
    if (s == QString(fdec))
        return KeyVerdict::ZeroSeparatorZero;
    return KeyVerdict::Pass;
}

void TFloatEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || typed == QLatin1String("\r")
        || typed == QLatin1String("\n")) {
        // Taken here, so the form's default button does not fire as well.
        event->accept();
        emit OnEnterPress(typed.isEmpty() ? QChar(QLatin1Char('\r')) : typed.at(0));
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        setValue(foldval);
        selectAll();
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Keys without text (arrows, Home, Delete) and control characters (backspace, Ctrl+V) edit
    // as usual.
    if (typed.isEmpty() || (typed.size() == 1 && (typed.at(0) < QLatin1Char(' ') || typed.at(0) == QChar(0x7F)))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (typed.size() != 1) {
        event->accept();
        return;
    }

    switch (filterKey(typed.at(0))) {
    case KeyVerdict::Pass:
        QLineEdit::keyPressEvent(event);
        break;
    case KeyVerdict::Swallow:
        event->accept();
        break;
    case KeyVerdict::MinusZero:
        event->accept();
        setText(QStringLiteral("-0"));
        setSelection(1, 1);
        break;
    case KeyVerdict::ZeroSeparatorZero:
        event->accept();
        setText(QStringLiteral("0") + fdec + QStringLiteral("0"));
        setSelection(2, 1);
        break;
    }
}
