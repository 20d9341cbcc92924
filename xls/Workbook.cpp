#include "xls/Workbook.h"

#include <cctype>
#include <string_view>

#include "xls/FileSystem.h"
#include "xls/WorkbookModel.h"

namespace xls {

namespace {

// What follows the last '/' of `path`: its file name, as std::filesystem::path::filename()
// gives it on POSIX (empty when the path ends with '/'), without splitting the whole path.
std::string_view lastPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
}

std::string fileNameOf(const std::string& path) {
    const std::string_view name = lastPart(path);
    return name.empty() ? path : std::string(name);
}

// The file name's extension as std::filesystem::path::extension() finds it: from its last dot,
// none for "." and "..", nor for a name whose only dot is its first character.
bool endsWithXls(const std::string& path) {
    const std::string_view name = lastPart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == "..") return false;
    std::string ext(name.substr(dot));
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".xls";
}

}  // namespace

Workbook::Workbook(std::unique_ptr<WorkbookModel> model) : model_(std::move(model)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const std::string& path) {
    std::string name = fileNameOf(path);
    return Workbook(std::make_unique<WorkbookModel>(fs::readFile(path, name), std::move(name)));
}

Workbook Workbook::fromBytes(std::vector<uint8_t> bytes, std::string displayName) {
    return Workbook(std::make_unique<WorkbookModel>(std::move(bytes), std::move(displayName)));
}

void Workbook::saveAs(const std::string& path) {
    WorkbookModel::Saved saved = model_->save(!endsWithXls(path));
    std::vector<fs::Piece> pieces;
    pieces.push_back({saved.pieces.head.data(), saved.pieces.head.size()});
    for (const WorkbookModel::Span& s : saved.stream) pieces.push_back({s.data, s.size});
    pieces.push_back({saved.pieces.tail.data(), saved.pieces.tail.size()});
    fs::writeAtomically(path, fileNameOf(path), pieces);
}

std::vector<uint8_t> Workbook::toBytes(bool asTemplate) { return model_->toBytes(asTemplate); }

const std::string& Workbook::displayName() const { return model_->displayName; }
int Workbook::sheetCount() const { return int(model_->sheets.size()); }
int Workbook::activeSheetIndex() const { return model_->globals.activeSheet(); }

Sheet& Workbook::sheet(int index) {
    if (index < 0 || index >= sheetCount())
        throw Error(ErrorKind::Unsupported, model_->displayName,
                    "there is no sheet " + std::to_string(index + 1));
    return model_->handles[size_t(index)];
}

const Sheet& Workbook::sheet(int index) const { return const_cast<Workbook*>(this)->sheet(index); }

const Styles& Workbook::styles() const { return model_->globals.styles(); }

const std::vector<std::string>& Workbook::warnings() const { return model_->globals.warnings(); }

Workbook::RecordBytes Workbook::keptRecords(int index) const {
    sheet(index);  // throws when out of range
    const RecordBuffer& records = model_->sheets[size_t(index)]->records();
    return {records.bytes(), records.byteSize()};
}

int Workbook::sheetOfReference(uint16_t ixti) const { return model_->globals.sheetOfXti(ixti); }

}  // namespace xls
