#include "common/WindowStyle.h"

#include "common/basStdComm.h"
#include "platform/Panel3D.h"

#include <QFileInfo>
#include <QIcon>
#include <QWidget>

namespace WindowStyle {

void Apply(QWidget* form, std::initializer_list<Panel3D*> backgrounds, std::initializer_list<Panel3D*> captions) {
    const QColor panel(252, 234, 206);
    for (Panel3D* p : backgrounds) p->BackColor(panel);
    for (Panel3D* c : captions) {
        c->BackColor(panel);
        c->ForeColor(QColor(96, 26, 10));
    }
    const QString icon = basStdComm::gstrAppPath + "tavik-icon-bmp.ico";
    if (QFileInfo::exists(icon)) form->setWindowIcon(QIcon(icon));
}

}  // namespace WindowStyle
