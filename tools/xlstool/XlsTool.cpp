#include "XlsTool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "xls/Workbook.h"

namespace xlstool {

std::string cellAddress(int row, int col) {
    std::string letters;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

bool parseAddress(const std::string& text, int& row, int& col) {
    size_t i = 0;
    col = 0;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
        col = col * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
        if (col > 256) return false;
        ++i;
    }
    if (i == 0 || i == text.size()) return false;
    row = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        row = row * 10 + (text[i] - '0');
        if (row > 65536) return false;
    }
    if (row == 0) return false;
    --row;
    --col;
    return true;
}

namespace {

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string valueText(const xls::Cell& c) {
    switch (c.cachedKind) {
        case xls::CellKind::Number:
            return number(c.number);
        case xls::CellKind::String:
            return quoted(c.text);
        case xls::CellKind::Boolean:
            return c.boolean ? "TRUE" : "FALSE";
        case xls::CellKind::Error:
            return "error " + std::to_string(c.errorCode);
        default:
            return "";
    }
}

int usage(std::ostream& err) {
    err << "usage: xlstool dump FILE\n"
           "       xlstool fill IN OUT CELL=VALUE ... [--format CELL=FORMAT ...]\n"
           "       xlstool picture FILE OUT.png [--chart | --sheet]\n"
           "       xlstool picture FILE OUT.svg|OUT.pdf --chart\n";
    return 2;
}

void warn(const xls::Workbook& book, std::ostream& err) {
    for (const std::string& w : book.warnings())
        err << "xlstool: warning: " << book.displayName() << ": " << w << "\n";
}

int fill(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() < 3) return usage(err);
    xls::Workbook book = xls::Workbook::open(args[1]);
    warn(book, err);
    xls::Sheet& sheet = book.activeSheet();
    bool format = false;
    for (size_t i = 3; i < args.size(); ++i) {
        if (args[i] == "--format") {
            format = true;
            continue;
        }
        size_t eq = args[i].find('=');
        int row, col;
        if (eq == std::string::npos || !parseAddress(args[i].substr(0, eq), row, col)) {
            err << "xlstool: not CELL=VALUE: " << args[i] << "\n";
            return 2;
        }
        std::string value = args[i].substr(eq + 1);
        if (format)
            sheet.setNumberFormat(row, col, value);
        else
            sheet.setValue(row, col, value);
        format = false;
    }
    book.saveAs(args[2]);
    return 0;
}

// The picture command draws with Qt, which the other commands do without: it is the program
// xlstool-picture beside this one, started in this process's place.
int picture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string program = "xlstool-picture";
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, size_t(n));
        size_t slash = path.rfind('/');
        if (slash != std::string::npos) program = path.substr(0, slash + 1) + program;
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (size_t i = 1; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
    argv.push_back(nullptr);
    out.flush();
    err.flush();
    std::cout.flush();
    std::cerr.flush();
    ::execvp(argv[0], argv.data());
    err << "xlstool: cannot start " << program << " (" << std::strerror(errno) << ")\n";
    return 1;
}

}  // namespace

void dump(const xls::Workbook& book, std::ostream& out) {
    const xls::Styles& styles = book.styles();
    for (int s = 0; s < book.sheetCount(); ++s) {
        const xls::Sheet& sheet = book.sheet(s);
        auto used = sheet.usedRange();
        out << "sheet " << s + 1 << " " << quoted(sheet.name())
            << (s == book.activeSheetIndex() ? " (active)" : "") << " used ";
        if (used)
            out << cellAddress(used->firstRow, used->firstCol) << ":"
                << cellAddress(used->lastRow, used->lastCol) << "\n";
        else
            out << "none\n";
        if (!used) continue;
        for (int r = used->firstRow; r <= used->lastRow; ++r) {
            for (int c = used->firstCol; c <= used->lastCol; ++c) {
                xls::Cell cell = sheet.cell(r, c);
                if (cell.isEmpty()) continue;
                std::string kind = xls::kindName(cell.kind);
                if (cell.kind == xls::CellKind::Formula)
                    kind += std::string("(") + xls::kindName(cell.cachedKind) + ")";
                out << cellAddress(r, c) << " " << kind;
                std::string value = valueText(cell);
                if (!value.empty()) out << " " << value;
                out << " format " << quoted(styles.formatString(styles.xf(cell.xf).formatIndex))
                    << "\n";
            }
        }
    }
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usage(err);
    try {
        if (args[0] == "dump" && args.size() == 2) {
            xls::Workbook book = xls::Workbook::open(args[1]);
            warn(book, err);
            dump(book, out);
            return 0;
        }
        if (args[0] == "fill") return fill(args, err);
        if (args[0] == "picture") return picture(args, out, err);
    } catch (const xls::Error& e) {
        err << "xlstool: " << e.what() << "\n";
        return 1;
    }
    return usage(err);
}

}  // namespace xlstool
