#pragma once

#include <QMimeData>
#include <memory>

namespace platform {

// What the system clipboard holds, every format it offers with its bytes (and an image as the
// image it is), kept so that it can be put back after the clipboard served for something else.
// Taking it reads every format from the clipboard's owner, which may be another program.
class ClipboardContent {
  public:
    // The clipboard's content now; empty when it holds nothing or cannot be reached.
    static ClipboardContent take();

    bool isEmpty() const { return data_ == nullptr; }

    // Sets the clipboard to the kept content (clears it when the content is empty). Nothing
    // happens when the clipboard cannot be reached.
    void putBack() const;

  private:
    std::shared_ptr<const QMimeData> data_;
};

// Keeps the clipboard's content for a scope and puts it back when the scope ends.
class ClipboardKeeper {
  public:
    ClipboardKeeper() : kept_(ClipboardContent::take()) {}
    ~ClipboardKeeper() { kept_.putBack(); }
    ClipboardKeeper(const ClipboardKeeper&) = delete;
    ClipboardKeeper& operator=(const ClipboardKeeper&) = delete;

  private:
    ClipboardContent kept_;
};

}  // namespace platform
