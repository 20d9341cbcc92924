#pragma once

#include <QImage>
#include <QString>

namespace platform {

// Picture files as the chart build hands its picture from the clipboard to the Preview.
//
// A picture in the form the painter draws (32-bit RGB) is saved as a BMP file of 32 bits a pixel,
// rows from the top (a negative height), which holds exactly the picture's own bytes: it is
// written in one piece and read back in one piece, without a conversion of the pixels either way.
// Every BMP reader reads it. A picture in any other form is saved as Qt's BMP writer saves it.

// Saves `picture` as a BMP file at `path`: written whole under a fresh name beside it (created
// exclusively, readable and writable by the user alone), then renamed to `path`. A file of the
// user's own there is replaced; a name taken by anything else (another account's file, a link, a
// folder) is left as it is and never written through. Returns false and fills `error` when the
// picture is null or the file cannot be written or put in place; no partial file is left.
bool savePictureFile(const QImage& picture, const QString& path, QString* error);

// Reads the picture file at `path` by its content: the 32-bit BMP form above directly, any other
// picture format through Qt's readers. A null image when the file is missing, short or not a
// picture.
QImage loadPictureFile(const QString& path);

}  // namespace platform
