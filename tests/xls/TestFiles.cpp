#include "TestFiles.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "support/Xlrd.h"
#include "xls/Workbook.h"

namespace xlstest {

namespace fs = std::filesystem;

std::string dataPath(const std::string& name) {
    return std::string(MORROWLIN_SOURCE_DIR) + "/tests/data/" + name;
}

std::string tempDir(const std::string& tag) {
    // The folders are named for this process, so no later run would clear them: they go when
    // the test program ends.
    static std::vector<fs::path> made;
    static const bool cleaned = [] {
        std::atexit([] {
            std::error_code ignored;
            for (const fs::path& dir : made) fs::remove_all(dir, ignored);
        });
        return true;
    }();
    (void)cleaned;
    fs::path dir =
        fs::temp_directory_path() / ("morrowlin-xls-" + std::to_string(::getpid()) + "-" + tag);
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (std::find(made.begin(), made.end(), dir) == made.end()) made.push_back(dir);
    return dir.string();
}

xls::Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return xls::Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const xls::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

int runCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        if (output) output->append(buf, n);
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int readCellsWithXlrd(const std::string& path, std::string* output) {
    return runCommand(std::string(kXlrdPython) + " " + shellQuote(xlrdReaderScript()) +
                          " --cells " + shellQuote(path) + " 2>&1",
                      output);
}
bool haveSoffice() { return runCommand("command -v soffice >/dev/null 2>&1") == 0; }

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void expectSoundCellTables(const xls::Workbook& book) {
    for (int i = 0; i < book.sheetCount(); ++i)
        EXPECT_EQ(book.sheet(i).checkInvariants(), "") << "sheet " << book.sheet(i).name();
}

}  // namespace xlstest
