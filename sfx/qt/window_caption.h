// Window captions shown exactly as given.
#pragma once

#include <string>

#include <QString>

namespace sfx {

// Qt reads "[*]" in a window title as the place of its modified mark and
// drops it; a doubled one shows as a single "[*]". Captions come from the
// payload, so every "[*]" in them is doubled.
inline QString window_caption(const std::string &caption) {
    return QString::fromStdString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

}  // namespace sfx
