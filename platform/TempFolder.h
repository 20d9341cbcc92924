#pragma once

#include <QString>

namespace platform {

// The temporary folder: the environment variable TEMP when it is set and not empty, otherwise the
// platform's temporary folder. Never the root of the file system.
QString temporaryFolder();

}  // namespace platform
