#pragma once

#include <cstdint>
#include <string>

namespace xls {

// What a cell holds. Empty: no cell record at all. Blank: a record that carries only a format.
// Formula: a formula cell; its last computed value is described by `cachedKind`.
enum class CellKind { Empty, Blank, Number, String, Boolean, Error, Formula };

// The value of one cell as read from the sheet. For a formula cell `cachedKind` is Number,
// String, Boolean, Error or Empty (no cached value / empty string result) and the value fields
// hold the cached result; for other kinds `cachedKind` equals `kind`.
struct Cell {
    CellKind kind = CellKind::Empty;
    CellKind cachedKind = CellKind::Empty;
    double number = 0.0;    // Number, or cached number of a Formula
    std::string text;       // String (UTF-8), or cached string of a Formula
    bool boolean = false;   // Boolean
    uint8_t errorCode = 0;  // Error: 0x00 #NULL!, 0x07 #DIV/0!, 0x0F #VALUE!, 0x17 #REF!,
                            // 0x1D #NAME?, 0x24 #NUM!, 0x2A #N/A
    uint16_t xf = 15;       // XF index (cell format); 15 is the default cell format

    bool isEmpty() const { return kind == CellKind::Empty; }
};

const char* kindName(CellKind kind);  // "empty", "blank", "number", "string", ...

}  // namespace xls
