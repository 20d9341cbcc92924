#pragma once

#include <QSizeF>
#include <QString>
#include <memory>

class QIODevice;
class QPagedPaintDevice;
class QPaintDevice;
class QWidget;

namespace platform {

// The paint devices of the toolkit's SVG and print modules. They live in a module of the
// program's own, "morrowlin-output.so" beside the program, loaded when first used: linked to the
// program, those two modules and their libraries would cost every start their loading time and
// memory, for commands few starts use.
class OutputDevices {
  public:
    virtual ~OutputDevices() = default;

    // An SVG document of `size` pixels at `dpi`, its view box as large, titled `title`, written
    // to `out` as it is painted and complete when its painter ends.
    virtual std::unique_ptr<QPaintDevice> svg(QIODevice& out, QSizeF size, int dpi,
                                              const QString& title) = 0;

    // A printer at its high resolution for the document `name`, made by `creator`.
    virtual std::unique_ptr<QPagedPaintDevice> printer(const QString& name,
                                                       const QString& creator) = 0;

    // The system's print dialog for a `printer` made by printer(), over `parent`. True when the
    // user chose to print; the printer then holds the choices.
    virtual bool printDialog(QPagedPaintDevice& printer, QWidget* parent) = 0;
};

// The module's devices, loaded on the first call from the folder useOutputModuleFrom() named,
// else from the program's folder. Throws std::runtime_error naming the module's file and the
// fault when it cannot be loaded.
OutputDevices& outputDevices();

// outputDevices().svg(), as a function to hand on.
std::unique_ptr<QPaintDevice> svgDevice(QIODevice& out, QSizeF size, int dpi,
                                        const QString& title);

// Where the module is looked for first: for programs that do not live beside it (the tests).
void useOutputModuleFrom(const QString& folder);

// The module's function that returns its devices: OutputDevices* (*)().
inline constexpr char kOutputDevicesEntry[] = "morrowlinOutputDevices";

}  // namespace platform
