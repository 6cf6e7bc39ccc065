// An edit box for one floating-point number with bounds and a fixed number of decimals. A key
// filter keeps the text a number while typing; leaving the box with a bad number restores the
// value it had on entry. The text uses the locale's decimal separator; reading accepts ',' too.
#pragma once

#include <QChar>
#include <QLineEdit>
#include <QString>

class TFloatEdit : public QLineEdit {
    Q_OBJECT
public:
    // Means: show no message when a value is refused.
    static inline const QString NoText = QStringLiteral("[No Text]");

    explicit TFloatEdit(QWidget* parent = nullptr);

    // The number in the text, clamped to [Min, Max]; Min when the text is no number.
    double Value() const;
    // Out-of-range values are clamped (with ErrorMessage shown); the text gets Digits decimals.
    void setValue(double value);

    int Digits() const { return FDigits; }
    void setDigits(int digits); // 0 to 18

    double Min() const { return FMin; }
    void setMin(double value);
    double Max() const { return FMax; }
    void setMax(double value);

    QString ErrorMessage() const { return Fertext; }
    void setErrorMessage(const QString& text) { Fertext = text; }

    QChar decimalSeparator() const { return fdec; }

signals:
    // Enter was pressed; the key itself is not typed.
    void OnEnterPress(QChar key);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What the filter does with one typed character.
    enum class KeyVerdict { Pass, Swallow, MinusZero, ZeroSeparatorZero };
    KeyVerdict filterKey(QChar key) const;

    // The number in the text read with the locale's separator only; false when it is none.
    bool readWithLocaleSeparator(double& value) const;
    QString formatFixed(double value) const;
    void showError(const QString& text);
    void takeFocusBack();

    int FDigits = 1;
    double FMin = 0.0;
    double FMax = 99999999.9;
    QChar fdec;              // the locale's decimal separator when the box was made
    QString Fertext;         // shown when a value is refused; NoText for none
    double foldval = 0.0;    // the value when the box got the focus
};
