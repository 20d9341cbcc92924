#include "xls/draw/BundledFonts.h"

#include <QFontDatabase>
#include <QResource>
#include <algorithm>
#include <array>
#include <mutex>

namespace xls::draw {

namespace {

struct FamilyMapping {
    const char* asked;
    const char* bundled;
};

// Metric-compatible stand-ins: the same advance widths as the family asked for, so texts and
// column widths measure as they do where that family is installed. Constantia has no open
// metric twin; Caladea (Cambria's twin) is the bundled serif of the closest proportions.
constexpr std::array<FamilyMapping, 7> kMap = {{
    {"arial", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
    {"consolas", "Liberation Mono"},
    {"calibri", "Carlito"},
    {"cambria", "Caladea"},
    {"constantia", "Caladea"},
}};

constexpr char kSerif[] = "Liberation Serif";
constexpr char kSans[] = "Liberation Sans";
constexpr char kMono[] = "Liberation Mono";

// The files below ":/fonts/": four faces of each bundled family, named "<stem>-<face>.ttf".
struct FamilyFiles {
    const char* family;
    const char* stem;
};
constexpr std::array<FamilyFiles, 5> kFamilies = {{
    {kSans, "LiberationSans"},
    {kSerif, "LiberationSerif"},
    {kMono, "LiberationMono"},
    {"Carlito", "Carlito"},
    {"Caladea", "Caladea"},
}};
constexpr std::array<const char*, 4> kFaces = {{"Regular", "Bold", "Italic", "BoldItalic"}};

bool containsAny(const QString& text, std::initializer_list<const char*> words) {
    for (const char* word : words)
        if (text.contains(QLatin1String(word))) return true;
    return false;
}

// Which families' files are in the font database, and how many files registered in all.
std::mutex registering;
std::array<bool, kFamilies.size()> familyDone{};
int registeredFiles = 0;

// Registers the four files of kFamilies[index] once; `registering` is held.
void registerFamilyLocked(size_t index) {
    if (familyDone[index]) return;
    if (std::none_of(familyDone.begin(), familyDone.end(), [](bool done) { return done; })) {
        // Fill the font database with the machine's fonts first: a font registered later under
        // the same family, maker and style replaces the earlier one, so the bundled files must
        // come last to win over a machine's own (perhaps other) version of Liberation Sans.
        QFontDatabase::families();
    }
    familyDone[index] = true;
    for (const char* face : kFaces) {
        const QString path = QStringLiteral(":/fonts/%1-%2.ttf")
                                 .arg(QLatin1String(kFamilies[index].stem), QLatin1String(face));
        // The files are stored uncompressed in the program, so the font database can read them
        // where the program is mapped, without a copy of each in memory.
        const QResource resource(path);
        const bool mapped =
            resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression;
        const int id = mapped ? QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
                                    reinterpret_cast<const char*>(resource.data()),
                                    qsizetype(resource.size())))
                              : QFontDatabase::addApplicationFont(path);
        if (id < 0)
            qWarning("The bundled font %s could not be registered.", qPrintable(path));
        else
            ++registeredFiles;
    }
}

}  // namespace

FontKind fontKind(const QString& family) {
    const QString name = family.toLower();
    if (containsAny(name, {"courier", "consolas", "mono", "lucida console", "fixedsys"}))
        return FontKind::Mono;
    if (containsAny(name, {"times", "constantia", "cambria", "georgia", "garamond", "book antiqua",
                           "palatino", "serif", "bookman", "century", "baskerville", "bodoni",
                           "rockwell", "perpetua", "goudy", "caladea"}) &&
        !name.contains(QLatin1String("sans")))
        return FontKind::Serif;
    return FontKind::Sans;
}

QString bundledFamily(const QString& family) {
    const QString name = family.trimmed().toLower();
    for (const FamilyMapping& mapping : kMap)
        if (name == QLatin1String(mapping.asked)) return QString::fromLatin1(mapping.bundled);
    for (const QString& bundled : bundledFamilies())
        if (name == bundled.toLower()) return bundled;
    switch (fontKind(name)) {
        case FontKind::Serif:
            return QString::fromLatin1(kSerif);
        case FontKind::Mono:
            return QString::fromLatin1(kMono);
        case FontKind::Sans:
            break;
    }
    return QString::fromLatin1(kSans);
}

QStringList bundledFamilies() {
    QStringList families;
    for (const FamilyFiles& files : kFamilies) families << QString::fromLatin1(files.family);
    return families;
}

int registerBundledFamily(const QString& family) {
    const QString bundled = bundledFamily(family);
    const std::lock_guard<std::mutex> lock(registering);
    for (size_t i = 0; i < kFamilies.size(); ++i)
        if (bundled == QLatin1String(kFamilies[i].family)) registerFamilyLocked(i);
    return registeredFiles;
}

int registerBundledFonts() {
    const std::lock_guard<std::mutex> lock(registering);
    for (size_t i = 0; i < kFamilies.size(); ++i) registerFamilyLocked(i);
    return registeredFiles;
}

void fixRendering(QFont& font) {
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    font.setHintingPreference(QFont::PreferVerticalHinting);
}

QFont bundledFont(const QString& family) {
    registerBundledFamily(family);
    QFont font(bundledFamily(family));
    switch (fontKind(family)) {
        case FontKind::Serif:
            font.setStyleHint(QFont::Serif);
            break;
        case FontKind::Mono:
            font.setStyleHint(QFont::Monospace);
            break;
        case FontKind::Sans:
            font.setStyleHint(QFont::SansSerif);
            break;
    }
    fixRendering(font);
    return font;
}

}  // namespace xls::draw
