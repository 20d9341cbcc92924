#pragma once

#include <QString>

namespace platform {
class Dialogs;
}

namespace preview {

// Asks where to save a picture as PNG, SVG or PDF, with the save dialog titled `title` and
// offering `filter`: the path chosen, with ".png" added to a name that ends in none of those,
// and a file already there replaced only once the user answers Yes. Empty when the user
// cancels the dialog or answers No.
QString askPicturePath(platform::Dialogs& dialogs, const QString& title, const QString& filter);

// A path as a message shows it: native separators, cut to a message's length.
QString shownPath(const QString& path);

}  // namespace preview
