#pragma once

#include <stdexcept>
#include <string>

namespace xls {

// What went wrong with a workbook: the file is damaged, it uses a format or feature the engine
// does not handle (BIFF5, encryption), or the file system failed.
enum class ErrorKind { Corrupt, Unsupported, Io };

// Every failure of the engine. what() names the file and the fault, for example
// "Pie Chart.xlt: not a workbook (bad compound file signature)".
class Error : public std::runtime_error {
  public:
    Error(ErrorKind kind, const std::string& fileName, const std::string& fault);

    ErrorKind kind() const { return kind_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& fault() const { return fault_; }

  private:
    ErrorKind kind_;
    std::string fileName_;
    std::string fault_;
};

const char* kindName(ErrorKind kind);  // "corrupt", "unsupported", "io"

}  // namespace xls
