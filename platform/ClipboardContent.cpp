#include "platform/ClipboardContent.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

namespace platform {

namespace {

// A copy of `source` the clipboard can own: every format's bytes, and the image, colour, text
// and links Qt keeps beside them.
QMimeData* copyOf(const QMimeData& source) {
    auto* copy = new QMimeData;
    for (const QString& format : source.formats()) copy->setData(format, source.data(format));
    if (source.hasImage()) copy->setImageData(source.imageData());
    if (source.hasColor()) copy->setColorData(source.colorData());
    return copy;
}

}  // namespace

ClipboardContent ClipboardContent::take() {
    ClipboardContent content;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (data != nullptr && (!data->formats().isEmpty() || data->hasImage()))
        content.data_.reset(copyOf(*data));
    return content;
}

void ClipboardContent::putBack() const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return;
    if (data_ == nullptr)
        clipboard->clear();
    else
        clipboard->setMimeData(copyOf(*data_));
}

}  // namespace platform
