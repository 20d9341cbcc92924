#include "xls/Error.h"

#include "xls/Cell.h"

namespace xls {

Error::Error(ErrorKind kind, const std::string& fileName, const std::string& fault)
    : std::runtime_error(fileName + ": " + fault),
      kind_(kind),
      fileName_(fileName),
      fault_(fault) {}

const char* kindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Corrupt:
            return "corrupt";
        case ErrorKind::Unsupported:
            return "unsupported";
        case ErrorKind::Io:
            return "io";
    }
    return "?";
}

const char* kindName(CellKind kind) {
    switch (kind) {
        case CellKind::Empty:
            return "empty";
        case CellKind::Blank:
            return "blank";
        case CellKind::Number:
            return "number";
        case CellKind::String:
            return "string";
        case CellKind::Boolean:
            return "boolean";
        case CellKind::Error:
            return "error";
        case CellKind::Formula:
            return "formula";
    }
    return "?";
}

}  // namespace xls
