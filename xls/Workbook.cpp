#include "xls/Workbook.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "xls/WorkbookModel.h"

namespace xls {

namespace fs = std::filesystem;

namespace {

std::string fileNameOf(const std::string& path) {
    std::string name = fs::path(path).filename().string();
    return name.empty() ? path : name;
}

bool endsWithXls(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".xls";
}

Bytes readFile(const std::string& path, const std::string& name) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw Error(ErrorKind::Io, name, "cannot read the file (it is a folder)");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(ErrorKind::Io, name,
                    std::string("cannot open the file (") + std::strerror(errno) + ")");
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Error(ErrorKind::Io, name, "cannot read the file");
    return bytes;
}

// Writes `bytes` to a new file beside `path`, then renames it over `path`.
void writeAtomically(const std::string& path, const Bytes& bytes) {
    static std::atomic<unsigned> counter{0};
    std::string name = fileNameOf(path);
    fs::path target(path);
    fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fs::path temp =
        dir / ("." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            throw Error(ErrorKind::Io, name,
                        std::string("cannot create the file (") + std::strerror(errno) + ")");
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            fs::remove(temp, ec);
            throw Error(ErrorKind::Io, name, "cannot write the file (disk full?)");
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw Error(ErrorKind::Io, name, "cannot replace the file (" + ec.message() + ")");
    }
}

}  // namespace

Workbook::Workbook(std::unique_ptr<WorkbookModel> model) : model_(std::move(model)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const std::string& path) {
    std::string name = fileNameOf(path);
    return fromBytes(readFile(path, name), name);
}

Workbook Workbook::fromBytes(std::vector<uint8_t> bytes, std::string displayName) {
    return Workbook(std::make_unique<WorkbookModel>(bytes, std::move(displayName)));
}

void Workbook::saveAs(const std::string& path) {
    writeAtomically(path, toBytes(!endsWithXls(path)));
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

}  // namespace xls
