#pragma once

#include <cstdint>

namespace xls {

// Record types of the BIFF8 workbook stream that the engine reads or writes.
namespace rt {
constexpr uint16_t Formula = 0x0006, Eof = 0x000A, ExternSheet = 0x0017, FilePass = 0x002F,
                   Font = 0x0031, Continue = 0x003C, Window1 = 0x003D, Template = 0x0060,
                   DefColWidth = 0x0055, ColInfo = 0x007D, BoundSheet = 0x0085, Palette = 0x0092,
                   StandardWidth = 0x0099, MulRk = 0x00BD, MulBlank = 0x00BE, RString = 0x00D6,
                   DbCell = 0x00D7, Xf = 0x00E0, MergedCells = 0x00E5, Sst = 0x00FC,
                   LabelSst = 0x00FD, ExtSst = 0x00FF, SupBook = 0x01AE, Dimensions = 0x0200,
                   Blank = 0x0201, Number = 0x0203, Label = 0x0204, BoolErr = 0x0205,
                   String = 0x0207, Row = 0x0208, Index = 0x020B, Array = 0x0221,
                   DefaultRowHeight = 0x0225, Table = 0x0236, Window2 = 0x023E, Rk = 0x027E,
                   Format = 0x041E, ShrFmla = 0x04BC, Bof = 0x0809, Series = 0x1003, Ai = 0x1051;
// FORMULA under the record number of Excel 4.0, still written into BIFF8 files by some older
// programs; same layout. Read as FORMULA and written back as FORMULA.
constexpr uint16_t FormulaBiff4 = 0x0406;
// BOF under the record numbers of Excel 2.x, 3.0 and 4.0: a file this engine does not read.
constexpr uint16_t BofBiff2 = 0x0009, BofBiff3 = 0x0209, BofBiff4 = 0x0409;
// Chart records that chart references and point formats read or copy.
constexpr uint16_t StartBlock = 0x0852, EndBlock = 0x0853, DataFormat = 0x1006, AreaFormat = 0x100A,
                   Text = 0x1025, ObjectLink = 0x1027, Begin = 0x1033, End = 0x1034;
}  // namespace rt

}  // namespace xls
