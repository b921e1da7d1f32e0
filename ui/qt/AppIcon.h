// The configurator's icon, drawn here rather than shipped as a picture: a circuit
// board with an Ethernet socket and a controller chip on a blue tile. The window
// takes it from AppIcon(); make_icon writes the same drawing as the package's PNGs.
#pragma once

#include <QIcon>
#include <QImage>

namespace qtui {

// The icon at `size` x `size` pixels, with a transparent surround.
QImage DrawAppIcon(int size);
// Every size a desktop asks for.
QIcon AppIcon();

}  // namespace qtui
