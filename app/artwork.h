#pragma once

#include <QPixmap>
#include <QSize>

namespace vantor::app {

// The start-up picture: a few prims standing on a region grid, and the program's name.
[[nodiscard]] QPixmap drawSplashPicture(QSize size);

// The About picture: the same prims, seen closer, on a sky-coloured ground.
[[nodiscard]] QPixmap drawAboutPicture(QSize size);

}  // namespace vantor::app
