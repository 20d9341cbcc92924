// The program's printing and SVG module: the toolkit's print dialog, printer and SVG generator
// behind OutputDevices, loaded by the program when a command first needs them.
#include <QPrintDialog>
#include <QPrinter>
#include <QSvgGenerator>

#include "platform/OutputDevices.h"

namespace {

class Devices final : public platform::OutputDevices {
  public:
    std::unique_ptr<QPaintDevice> svg(QIODevice& out, QSizeF size, int dpi,
                                      const QString& title) override {
        auto generator = std::make_unique<QSvgGenerator>();
        generator->setOutputDevice(&out);
        generator->setSize(size.toSize());
        generator->setViewBox(QRectF(QPointF(0, 0), size));
        generator->setResolution(dpi);
        generator->setTitle(title);
        return generator;
    }

    std::unique_ptr<QPagedPaintDevice> printer(const QString& name,
                                               const QString& creator) override {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setDocName(name);
        printer->setCreator(creator);
        return printer;
    }

    bool printDialog(QPagedPaintDevice& printer, QWidget* parent) override {
        auto* made = dynamic_cast<QPrinter*>(&printer);
        if (made == nullptr) return false;
        QPrintDialog dialog(made, parent);
        dialog.setObjectName("PrintDialog");
        return dialog.exec() == QDialog::Accepted;
    }
};

}  // namespace

extern "C" Q_DECL_EXPORT platform::OutputDevices* morrowlinOutputDevices() {
    static Devices devices;
    return &devices;
}
