// The addresses of the help page and of the version window's link.
#pragma once

#include <QString>

namespace tapmora {

// The help page shipped with the trainer, as a file: address.
QString helpPageAddress();

// The project's home page when the build names one (TAPMORA_HOME_PAGE),
// otherwise the help page.
QString homePageAddress();

}  // namespace tapmora
