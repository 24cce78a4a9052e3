#pragma once

#include <QPixmap>
#include <QSize>

namespace vantor::app {

// The start-up picture: a few prims standing on a region grid, and the program's name.
// Pictures are drawn at the screen's device pixel ratio, so they stay sharp when scaled;
// size is in device-independent pixels.
[[nodiscard]] QPixmap drawSplashPicture(QSize size, qreal devicePixelRatio = 1);

// The About picture: the same prims, seen closer, on a sky-coloured ground.
[[nodiscard]] QPixmap drawAboutPicture(QSize size, qreal devicePixelRatio = 1);

}  // namespace vantor::app
