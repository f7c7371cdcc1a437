// The address the version window's link holds.
#pragma once

#include <QString>

namespace tapmora {

// The project's home page when the build names one (TAPMORA_HOME_PAGE),
// otherwise the help page shipped with the trainer, as a file: address.
QString homePageAddress();

}  // namespace tapmora
