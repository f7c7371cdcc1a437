// The installer's icon (a cabinet with an arrow leading out of it), drawn at
// 32 x 32 and 16 x 16 pixels in the classic 16-colour palette.
#pragma once

#include <QIcon>

namespace sfx {

QIcon installer_icon();

}  // namespace sfx
