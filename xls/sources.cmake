# The workbook engine's sources, relative to xls/: the library (xls/CMakeLists.txt) and the fuzz
# target (fuzz/CMakeLists.txt) both compile this one list.
set(MORROWLIN_XLS_SOURCES
  NumericText.cpp
  Bytes.cpp
  CellRecord.cpp
  CellTable.cpp
  CellTableCheck.cpp
  ChartPointColors.cpp
  ChartPointGroups.cpp
  ChartRefs.cpp
  Tables.cpp
  CompoundFile.cpp
  CompoundFileReader.cpp
  Error.cpp
  FileSystem.cpp
  Globals.cpp
  Palette.cpp
  Record.cpp
  SharedStrings.cpp
  SharedStringsWrite.cpp
  Sheet.cpp
  SheetModel.cpp
  Styles.cpp
  Workbook.cpp
  WorkbookModel.cpp)
