#pragma once

#include <QLocale>
#include <QString>
#include <optional>

#include "xls/NumericText.h"

// How an amount is read: with the user's number conventions (the locale of LC_NUMERIC, as
// QLocale::system() gives it), by the list's numeric test and by the engine when it assigns an
// amount to a cell, so both read a text the same way (xls::readNumber with the conventions). The
// program sets the user's locale at start; until one is set, amounts are read in the C locale.
namespace common {

// The decimal and group separators of `locale`, as the engine takes them.
xls::NumberConventions numberConventions(const QLocale& locale);

// The locale amounts are read with, for the whole program. Not thread-safe: set it before the
// first window.
void setAmountLocale(const QLocale& locale);
const QLocale& amountLocale();
const xls::NumberConventions& amountConventions();

// The number an amount stands for, with amountLocale(), or with `locale`; nothing for a text that
// is not a number.
std::optional<double> readAmount(const QString& text);
std::optional<double> readAmount(const QString& text, const QLocale& locale);

}  // namespace common
