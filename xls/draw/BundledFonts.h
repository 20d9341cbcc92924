#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace xls::draw {

// The open fonts that travel inside the program (Qt resources under ":/fonts/") and the family
// that stands for each family name a workbook or a window asks for. The map is fixed, so the same
// name draws with the same font file on every machine whatever fonts it has installed:
//   Arial -> Liberation Sans, Times New Roman -> Liberation Serif,
//   Courier New, Consolas -> Liberation Mono, Calibri -> Carlito, Cambria, Constantia -> Caladea;
// any other name -> the bundled font of its kind (serif, sans serif or monospace).

enum class FontKind { Serif, Sans, Mono };

// The kind of a family name, from words in it ("Times", "Georgia", "Mono", "Consolas", ...);
// sans serif when nothing says otherwise.
FontKind fontKind(const QString& family);

// The bundled family that draws `family` (the names are compared without regard to case).
QString bundledFamily(const QString& family);

// The families of the bundled font files, each with regular, bold, italic and bold italic faces.
QStringList bundledFamilies();

// Adds the bundled font files to the application's font database, each file once per process
// (later calls return at once). Needs a QGuiApplication. Returns the number of font files
// registered so far (a file that cannot be read or registered is left out, with a warning naming
// it).
int registerBundledFonts();

// The same for the four files of the bundled family that draws `family` alone, so that a window
// can be shown before the families it does not use are read.
int registerBundledFamily(const QString& family);

// A font of the bundled family for `family`, that family's files registered first. Its rendering
// does not follow the machine's font settings: greyscale antialiasing, no sub-pixel colours,
// vertical-only hinting (what a freshly installed desktop draws).
QFont bundledFont(const QString& family);

// The same settings applied to a font that already names a bundled family.
void fixRendering(QFont& font);

}  // namespace xls::draw
