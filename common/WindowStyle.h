// The one look of every window: background panels in RGB(252,234,206),
// caption panels (group name, mode) on that colour with text in
// RGB(96,26,10), and the window icon "tavik-icon-bmp.ico" of the
// application folder.
#pragma once
#include <initializer_list>

class Panel3D;
class QWidget;

namespace WindowStyle {

void Apply(QWidget* form, std::initializer_list<Panel3D*> backgrounds, std::initializer_list<Panel3D*> captions);

}  // namespace WindowStyle
