#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <cmath>
#include <optional>

#include "app/ChartBuild.h"
#include "chart/EngineSpreadsheet.h"
#include "common/Amounts.h"
#include "entries/EntryCommands.h"
#include "preview/PictureFacts.h"
#include "xls/NumericText.h"
#include "xls/Workbook.h"
#include "xls/draw/NumberFormat.h"

namespace {

// Every row is checked three ways: the reading itself, the list's numeric test, and what the
// engine holds after assigning the text to a cell of the template. The three must agree, so an
// amount the list accepts is always written as a number and a refused one never would have been.
struct NumberCase {
    const char* text;
    std::optional<double> value;
};

std::ostream& operator<<(std::ostream& out, const NumberCase& c) {
    return out << "\"" << c.text << "\"";
}

class ReadNumber : public ::testing::TestWithParam<NumberCase> {
  protected:
    static void SetUpTestSuite() {
        book_ = new xls::Workbook(
            xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt"));
    }
    static void TearDownTestSuite() {
        delete book_;
        book_ = nullptr;
    }
    static xls::Workbook* book_;
};

xls::Workbook* ReadNumber::book_ = nullptr;

TEST_P(ReadNumber, TheListAndTheEngineReadTheSame) {
    const NumberCase& c = GetParam();
    const std::optional<double> got = xls::readNumber(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value());
    if (c.value) {
        EXPECT_DOUBLE_EQ(*got, *c.value);
    }

    EXPECT_EQ(EntryCommands::IsNumeric(QString::fromUtf8(c.text)), c.value.has_value());

    xls::Sheet& sheet = book_->activeSheet();
    sheet.setValue(3, 1, c.text);  // B4, where the first amount goes
    const xls::Cell cell = sheet.cell(3, 1);
    if (c.value) {
        ASSERT_EQ(cell.kind, xls::CellKind::Number) << xls::kindName(cell.kind);
        EXPECT_DOUBLE_EQ(cell.number, *c.value);
    } else if (*c.text != '\0') {
        ASSERT_EQ(cell.kind, xls::CellKind::String) << xls::kindName(cell.kind);
        EXPECT_EQ(cell.text, c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadNumber,
    ::testing::Values(NumberCase{"25000", 25000}, NumberCase{" 7500 ", 7500},
                      NumberCase{"\t42\t", 42}, NumberCase{"-12.5", -12.5}, NumberCase{"+3", 3},
                      NumberCase{"1,250,000", 1250000}, NumberCase{"1,000.5", 1000.5},
                      NumberCase{"1e6", 1e6}, NumberCase{"2.5E-3", 0.0025}, NumberCase{".5", 0.5},
                      NumberCase{"5.", 5}, NumberCase{"0", 0}, NumberCase{"-7", -7},
                      NumberCase{"007", 7}, NumberCase{"123456789012345", 123456789012345.0},
                      NumberCase{"9007199254740993", 9007199254740992.0},
                      // A "$" as the amount format shows it, before or after the sign.
                      NumberCase{"$5", 5}, NumberCase{"$25,000", 25000},
                      NumberCase{" $7,500.25 ", 7500.25}, NumberCase{"-$5", -5},
                      NumberCase{"$-5", -5}, NumberCase{"+$1e3", 1000},
                      NumberCase{"", std::nullopt}, NumberCase{"   ", std::nullopt},
                      NumberCase{"12a", std::nullopt}, NumberCase{"a12", std::nullopt},
                      NumberCase{"1,2345", std::nullopt}, NumberCase{"12,34", std::nullopt},
                      NumberCase{"1234,567", std::nullopt}, NumberCase{",123", std::nullopt},
                      NumberCase{"1,234,", std::nullopt}, NumberCase{"--1", std::nullopt},
                      NumberCase{"1e", std::nullopt}, NumberCase{"1e+", std::nullopt},
                      NumberCase{".", std::nullopt}, NumberCase{"-", std::nullopt},
                      NumberCase{"1 000", std::nullopt}, NumberCase{"1.2.3", std::nullopt},
                      NumberCase{"0x10", std::nullopt}, NumberCase{"inf", std::nullopt},
                      NumberCase{"nan", std::nullopt}, NumberCase{"1e400", std::nullopt},
                      NumberCase{"$$5", std::nullopt}, NumberCase{"$", std::nullopt},
                      NumberCase{"$-", std::nullopt}, NumberCase{"5$", std::nullopt},
                      NumberCase{"$ 5", std::nullopt}, NumberCase{"-$-5", std::nullopt},
                      NumberCase{"\xEF\xBC\x95", std::nullopt},  // a full-width digit five
                      NumberCase{"\xC2\xA0"
                                 "5",
                                 std::nullopt}));  // a no-break space before it

// An amount typed under a user's number conventions: the value the engine writes to the
// workbook (nothing where the text stays a string) and the text the Preview shows for it in the
// amount format. Every row is read by the list's numeric test and by the engine through the
// spreadsheet interface, as the chart build assigns it, with the locale set for the program.
struct AmountCase {
    QLocale::Language language;
    QLocale::Territory territory;
    const char* text;
    std::optional<double> value;
    const char* preview;  // the cell's text in the Preview, pads and fill as one space each
};

std::ostream& operator<<(std::ostream& out, const AmountCase& c) {
    return out << QLocale(c.language, c.territory).name().toStdString() << " \"" << c.text << "\"";
}

class ReadAmount : public ::testing::TestWithParam<AmountCase> {
  protected:
    void TearDown() override { common::setAmountLocale(QLocale::c()); }
};

TEST_P(ReadAmount, TheValueWrittenIsTheNumberMeant) {
    const AmountCase& c = GetParam();
    const QLocale locale(c.language, c.territory);
    const QString text = QString::fromUtf8(c.text);
    const std::optional<double> got = common::readAmount(text, locale);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << (got ? *got : 0.0);
    if (c.value) {
        EXPECT_DOUBLE_EQ(*got, *c.value);
    }

    common::setAmountLocale(locale);
    EXPECT_EQ(EntryCommands::IsNumeric(text), c.value.has_value());
    chart::EngineSpreadsheetClass spreadsheets;
    auto excel = spreadsheets.CreateNew();
    auto book = excel->OpenWorkbook(QString(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
    book->ActiveSheet().setCellValue(4, 2, text);  // B4, where the first amount goes
    const QString saved = QString::fromStdString(::testing::TempDir()) + "/amount.xls";
    book->SaveAs(saved);
    book->Close();
    excel->Quit();

    const xls::Cell cell = xls::Workbook::open(saved.toStdString()).activeSheet().cell(3, 1);
    if (!c.value) {
        ASSERT_EQ(cell.kind, xls::CellKind::String) << xls::kindName(cell.kind);
        EXPECT_EQ(cell.text, c.text);
        return;
    }
    ASSERT_EQ(cell.kind, xls::CellKind::Number) << xls::kindName(cell.kind);
    EXPECT_DOUBLE_EQ(cell.number, *c.value);
    // The picture writes the number as a spreadsheet application with the user's regional
    // settings shows it: the locale's group separator.
    EXPECT_EQ(
        xls::draw::NumberFormat(app::kAmountFormat.toStdString(), common::numberConventions(locale))
            .formatPlain(cell.number),
        c.preview);
    // The Preview's tooltips and accessible description write the amount as the picture does,
    // and its share of the total with the user's decimal separator.
    const QString facts =
        preview::PictureFacts::read(xls::Workbook::open(saved.toStdString()), 96).describe();
    QString shown = QString::fromUtf8(c.preview);
    shown.remove(' ');
    EXPECT_TRUE(facts.contains(shown)) << shown.toStdString() << " in " << facts.toStdString();
    const QRegularExpressionMatch share = QRegularExpression(", (\\S+) % of").match(facts);
    ASSERT_TRUE(share.hasMatch()) << facts.toStdString();
    EXPECT_TRUE(share.captured(1).contains(locale.decimalPoint())) << facts.toStdString();
}

constexpr auto kUS = QLocale::UnitedStates, kGermany = QLocale::Germany, kFrance = QLocale::France,
               kSwitzerland = QLocale::Switzerland;
constexpr auto kEnglish = QLocale::English, kGerman = QLocale::German, kFrench = QLocale::French;

INSTANTIATE_TEST_SUITE_P(
    Locales, ReadAmount,
    ::testing::Values(
        // The C locale and English (United States): the C form only.
        AmountCase{QLocale::C, QLocale::AnyTerritory, "25.000", 25, " $ 25 "},
        AmountCase{QLocale::C, QLocale::AnyTerritory, "1,234.56", 1234.56, " $ 1,235 "},
        AmountCase{QLocale::C, QLocale::AnyTerritory, "12,5", std::nullopt, ""},
        AmountCase{QLocale::C, QLocale::AnyTerritory, "1 234,56", std::nullopt, ""},
        AmountCase{kEnglish, kUS, "25.000", 25, " $ 25 "},
        AmountCase{kEnglish, kUS, "$25,000", 25000, " $ 25,000 "},
        AmountCase{kEnglish, kUS, "1,234.56", 1234.56, " $ 1,235 "},
        AmountCase{kEnglish, kUS, "1.234,56", std::nullopt, ""},
        AmountCase{kEnglish, kUS, "12,5", std::nullopt, ""},
        // German: "." between groups, "," before the decimals.
        AmountCase{kGerman, kGermany, "25.000", 25000, " $ 25.000 "},
        AmountCase{kGerman, kGermany, "1.234,56", 1234.56, " $ 1.235 "},
        AmountCase{kGerman, kGermany, "-1.234.567,5", -1234567.5, " $ (1.234.568)"},
        AmountCase{kGerman, kGermany, "12,5", 12.5, " $ 13 "},
        AmountCase{kGerman, kGermany, ",5", 0.5, " $ 1 "},
        AmountCase{kGerman, kGermany, "1,5e3", 1500, " $ 1.500 "},
        // Read two ways: the German way.
        AmountCase{kGerman, kGermany, "1.234", 1234, " $ 1.234 "},
        AmountCase{kGerman, kGermany, "1,500", 1.5, " $ 2 "},
        // No German number: the C form.
        AmountCase{kGerman, kGermany, "12.5", 12.5, " $ 13 "},
        AmountCase{kGerman, kGermany, "0.500", 0.5, " $ 1 "},
        AmountCase{kGerman, kGermany, "1,234.56", 1234.56, " $ 1.235 "},
        AmountCase{kGerman, kGermany, "1.2345", 1.2345, " $ 1 "},
        AmountCase{kGerman, kGermany, "1.234.5", std::nullopt, ""},
        AmountCase{kGerman, kGermany, "1 234", std::nullopt, ""},
        // French: a (narrow) no-break space between groups, typed as any space.
        AmountCase{kFrench, kFrance, "12,5", 12.5, " $ 13 "},
        AmountCase{kFrench, kFrance, "1 234,56", 1234.56, " $ 1\u202F235 "},
        AmountCase{kFrench, kFrance, "1\u00A0234,56", 1234.56, " $ 1\u202F235 "},
        AmountCase{kFrench, kFrance, "1\u202F234\u202F567", 1234567, " $ 1\u202F234\u202F567 "},
        AmountCase{kFrench, kFrance, " 25 000 ", 25000, " $ 25\u202F000 "},
        AmountCase{kFrench, kFrance, "1,234", 1.234, " $ 1 "},
        AmountCase{kFrench, kFrance, "1.5", 1.5, " $ 2 "},
        AmountCase{kFrench, kFrance, "1,234.5", 1234.5, " $ 1\u202F235 "},
        AmountCase{kFrench, kFrance, "1 23", std::nullopt, ""},
        AmountCase{kFrench, kFrance, "1 234 ,5", std::nullopt, ""},
        // Swiss German: a right single quotation mark between groups, typed as "'".
        AmountCase{kGerman, kSwitzerland, "1'234.50", 1234.5, " $ 1\u2019235 "},
        AmountCase{kGerman, kSwitzerland, "1\u2019234", 1234, " $ 1\u2019234 "}));

}  // namespace
