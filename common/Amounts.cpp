#include "common/Amounts.h"

namespace common {

namespace {

struct AmountReading {
    QLocale locale = QLocale::c();
    xls::NumberConventions numbers;
};

AmountReading& reading() {
    static AmountReading current;
    return current;
}

}  // namespace

xls::NumberConventions numberConventions(const QLocale& locale) {
    xls::NumberConventions numbers;
    numbers.decimal = locale.decimalPoint().toStdString();
    numbers.group = locale.groupSeparator().toStdString();
    return numbers;
}

void setAmountLocale(const QLocale& locale) {
    reading().locale = locale;
    reading().numbers = numberConventions(locale);
}

const QLocale& amountLocale() { return reading().locale; }

const xls::NumberConventions& amountConventions() { return reading().numbers; }

std::optional<double> readAmount(const QString& text) {
    return xls::readNumber(text.toStdString(), amountConventions());
}

std::optional<double> readAmount(const QString& text, const QLocale& locale) {
    return xls::readNumber(text.toStdString(), numberConventions(locale));
}

}  // namespace common
