#include "platform/Panel3D.h"

#include <QApplication>
#include <QLayout>
#include <QPalette>

Panel3D::Panel3D(QWidget* parent) : Panel3D(QString(), parent) {}

Panel3D::Panel3D(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    QFont f(QString::fromUtf8("ＭＳ Ｐゴシック"));
    f.setPointSizeF(QApplication::font().pointSizeF());
    setFont(f);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    setLineWidth(1);
    setMargin(2);
    Bevel(Inset);
    applyColors();
}

void Panel3D::BackColor(const QColor& c) {
    back_ = c;
    applyColors();
}

void Panel3D::ForeColor(const QColor& c) {
    fore_ = c;
    applyColors();
}

void Panel3D::Bevel(BevelStyle b) {
    bevel_ = b;
    switch (b) {
    case None: setFrameStyle(QFrame::NoFrame); break;
    case Raised: setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    case Inset: setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    }
}

void Panel3D::applyColors() {
    QPalette p = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, back_);
        p.setColor(group, QPalette::WindowText, fore_);
        // The 3D edges are drawn from the light and dark shades of the back colour.
        p.setColor(group, QPalette::Light, back_.lighter(150));
        p.setColor(group, QPalette::Midlight, back_.lighter(115));
        p.setColor(group, QPalette::Dark, back_.darker(160));
        p.setColor(group, QPalette::Mid, back_.darker(130));
        p.setColor(group, QPalette::Shadow, back_.darker(250));
    }
    setPalette(p);
}

QSize Panel3D::sizeHint() const { return layout() ? QFrame::sizeHint() : QLabel::sizeHint(); }
QSize Panel3D::minimumSizeHint() const { return layout() ? QFrame::minimumSizeHint() : QLabel::minimumSizeHint(); }
