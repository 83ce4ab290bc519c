// Panel3D: a label-like panel with a 3D frame, used for captions, shown
// names and background panels (other controls may be placed on it).
//
// What callers rely on:
//  - Caption (text), BackColor and ForeColor (QColor) can be read and set;
//    the colours fill the whole panel and colour its text.
//  - Defaults: back RGB(252,234,206), text RGB(96,26,10) (the system's panel
//    colours), a sunken 1-pixel 3D frame, text centred vertically and
//    horizontally, font "ＭＳ Ｐゴシック" at the application's size.
//  - Bevel(Raised / Inset / None) changes the frame; Alignment() the text
//    alignment; the caption never wraps unless WordWrap(true).
//  - Controls placed on a panel inherit its colours (text in ForeColor);
//    a panel with a layout takes the size that layout asks for.
#pragma once
#include <QColor>
#include <QLabel>

class Panel3D : public QLabel {
    Q_OBJECT
public:
    enum BevelStyle { None, Raised, Inset };

    explicit Panel3D(QWidget* parent = nullptr);
    Panel3D(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void Caption(const QString& caption) { setText(caption); }
    QColor BackColor() const { return back_; }
    void BackColor(const QColor& c);
    QColor ForeColor() const { return fore_; }
    void ForeColor(const QColor& c);
    BevelStyle Bevel() const { return bevel_; }
    void Bevel(BevelStyle b);
    Qt::Alignment Alignment() const { return alignment(); }
    void Alignment(Qt::Alignment a) { setAlignment(a); }
    void WordWrap(bool on) { setWordWrap(on); }

    // A panel holding other controls in a layout is sized by that layout.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static QColor DefaultBackColor() { return QColor(252, 234, 206); }
    static QColor DefaultForeColor() { return QColor(96, 26, 10); }

private:
    void applyColors();
    QColor back_ = DefaultBackColor();
    QColor fore_ = DefaultForeColor();
    BevelStyle bevel_ = Inset;
};
