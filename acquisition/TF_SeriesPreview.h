// The series preview: one picture of the image-series list at full resolution in a tool window
// that stays on top, with "<" and ">" stepping through the list. Large pictures are shown fitted,
// small ones at 1:1; the wheel zooms from there and dragging with the left button pans.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QString>

class QPushButton;
class TImgView32;

class TF_SeriesPreview : public QDialog {
    Q_OBJECT
public:
    explicit TF_SeriesPreview(QWidget* parent = nullptr);
    ~TF_SeriesPreview() override;

    TImgView32* IV_Preview = nullptr;
    QPushButton* B_Previous = nullptr; // "<"
    QPushButton* B_Next = nullptr;     // ">"

    QPoint P_M;     // pointer position at the last press in the view
    int zoom = 100; // percent, once the user zooms
    QString Filename;

    // Shows the JPEG file and titles the window with its name and size. A file that cannot be
    // read leaves an empty view titled with its name and (0 x 0), and is reported.
    void Reload(const QString& AFilename);

    void FormShow();
    void FormResize();
    void B_PreviousClick();
    void B_NextClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void step(int direction);
    void wheel(int delta, Qt::KeyboardModifiers modifiers);
};

// The open preview, if any.
extern QPointer<TF_SeriesPreview> F_SeriesPreview;
