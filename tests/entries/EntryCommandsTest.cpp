#include <gtest/gtest.h>

#include <QItemSelectionModel>

#include "common/ErrorTrap.h"
#include "entries/EntryCodec.h"
#include "entries/EntryCommands.h"
#include "entries/EntryListModel.h"
#include "support/Doubles.h"

namespace {

using platform::ScriptedDialogs;

class EntryCommandsTest : public ::testing::Test {
  protected:
    EntryCommandsTest() : selection(&model), commands(model, selection, dialogs) {
        model.addColumn("Label");
        model.addColumn("Number (Value)");
    }
    void fill(const EntryList& rows) { model.appendAll(rows); }
    void selectRow(int row) {
        selection.select(model.index(row, 0),
                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    EntryListModel model;
    QItemSelectionModel selection;
    ScriptedDialogs dialogs;
    EntryCommands commands;
};

struct AddCase {
    const char* name;
    QStringList inputs;  // answers to the prompts, in order
    EntryList expected;  // the list afterwards (it starts with one row ("A", "1"))
    int prompts;         // prompts shown
    int messages;        // message boxes shown
};

class AddNew : public EntryCommandsTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddNew, AppendsOnlyValidEntries) {
    const AddCase& c = GetParam();
    fill({{"A", "1"}});
    for (const QString& input : c.inputs) dialogs.queueInput(input);
    commands.AddNew();
    EXPECT_EQ(model.entries(), c.expected);
    int prompts = 0;
    for (const auto& shown : dialogs.shown()) prompts += shown.kind == ScriptedDialogs::Kind::Input;
    EXPECT_EQ(prompts, c.prompts);
    EXPECT_EQ(dialogs.messages().size(), c.messages);
}

const QString S1 = "||SEP1||";
const QString S2 = "||SEP2||";

INSTANTIATE_TEST_SUITE_P(
    Table, AddNew,
    ::testing::Values(
        AddCase{"Valid", {"Car", "7500"}, {{"A", "1"}, {"Car", "7500"}}, 2, 0},
        AddCase{"AmountKeptAsTyped", {"Car", " 7,500 "}, {{"A", "1"}, {"Car", " 7,500 "}}, 2, 0},
        AddCase{"DollarAmount", {"Car", "$5,000"}, {{"A", "1"}, {"Car", "$5,000"}}, 2, 0},
        AddCase{"BlankLabelAccepted", {"  ", "-2.5e3"}, {{"A", "1"}, {"  ", "-2.5e3"}}, 2, 0},
        AddCase{"CancelLabel", {""}, {{"A", "1"}}, 1, 0},
        AddCase{"CancelAmount", {"Car", ""}, {{"A", "1"}}, 2, 0},
        AddCase{"NonNumericAmount", {"Car", "lots"}, {{"A", "1"}}, 2, 0},
        AddCase{"DollarAfterTheAmount", {"Car", "5$"}, {{"A", "1"}}, 2, 0},
        AddCase{"LabelWithLabelSeparator", {"Car" + S1 + "x", "5"}, {{"A", "1"}}, 1, 1},
        AddCase{"LabelWithEntrySeparator", {"Car" + S2, "5"}, {{"A", "1"}}, 1, 1},
        AddCase{"LabelEndingInLabelSeparatorStart", {"Car||SEP1", "5"}, {{"A", "1"}}, 1, 1},
        AddCase{"LabelEndingInEntrySeparatorStart", {"Bonds||SEP2|", "5"}, {{"A", "1"}}, 1, 1},
        AddCase{"LabelOfBarsAccepted", {"||", "5"}, {{"A", "1"}, {"||", "5"}}, 2, 0},
        AddCase{"LabelEndingInBarAccepted", {"x|", "5"}, {{"A", "1"}, {"x|", "5"}}, 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EntryCommandsTest, AddNewShowsTheExactPrompts) {
    dialogs.queueInput("Car");
    dialogs.queueInput("7500");
    commands.AddNew();
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.shown()[0].text, "Enter Asset Type:");
    EXPECT_EQ(dialogs.shown()[0].title, "Input Asset Type");
    EXPECT_EQ(dialogs.shown()[0].initialText, "");
    EXPECT_EQ(dialogs.shown()[1].text, "Enter Amount:");
    EXPECT_EQ(dialogs.shown()[1].title, "Input Amount");
    EXPECT_EQ(model.entries(), EntryList({{"Car", "7500"}}));
}

TEST_F(EntryCommandsTest, SeparatorRefusalIsAnExclamationWithTheApplicationTitle) {
    dialogs.queueInput("a||SEP2||b");
    commands.AddNew();
    ASSERT_EQ(dialogs.messages().size(), 1);
    const auto& box = dialogs.messages().first();
    EXPECT_EQ(box.style, platform::kExclamation);
    EXPECT_EQ(box.title, "Morrowlin");
    EXPECT_TRUE(box.text.contains("||SEP1||") && box.text.contains("||SEP2||"));
}

struct EditCase {
    const char* name;
    QStringList inputs;
    Entry expected;  // the selected row ("Car", "7500") afterwards
    int messages;
};

class EditSelected : public EntryCommandsTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EditSelected, ChangesLabelAndAmountTogetherOrNotAtAll) {
    const EditCase& c = GetParam();
    fill({{"Savings", "25000"}, {"Car", "7500"}, {"Bonds", "11000"}});
    selectRow(1);
    for (const QString& input : c.inputs) dialogs.queueInput(input);
    commands.EditSelected();
    EXPECT_EQ(model.at(1), c.expected);
    EXPECT_EQ(model.at(0), (Entry{"Savings", "25000"}));
    EXPECT_EQ(model.at(2), (Entry{"Bonds", "11000"}));
    EXPECT_EQ(dialogs.messages().size(), c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EditSelected,
    ::testing::Values(
        EditCase{"BothChanged", {"Truck", "9000"}, {"Truck", "9000"}, 0},
        EditCase{"ClearedLabelEndsEvenWithValidAmount", {"", "9000"}, {"Car", "7500"}, 0},
        EditCase{"NonNumericAmount", {"Truck", "nine"}, {"Car", "7500"}, 0},
        EditCase{"DollarAmount", {"Truck", "-$9,000"}, {"Truck", "-$9,000"}, 0},
        EditCase{"CancelAmount", {"Truck", ""}, {"Car", "7500"}, 0},
        EditCase{"SeparatorInLabel", {"Tr||SEP1||uck", "9000"}, {"Car", "7500"}, 1},
        EditCase{"LabelEndingInSeparatorPart", {"x||SEP1|", "9000"}, {"Car", "7500"}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EntryCommandsTest, EditPromptsStartWithTheEntrysTexts) {
    fill({{"Car", " 7,500"}});
    selectRow(0);
    // OK on both prompts without typing: the scripted answers are the initial texts.
    dialogs.queueInput("Car");
    dialogs.queueInput(" 7,500");
    commands.EditSelected();
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_EQ(dialogs.shown()[0].text, "Enter New Asset Type:");
    EXPECT_EQ(dialogs.shown()[0].title, "Input New Asset Type");
    EXPECT_EQ(dialogs.shown()[0].initialText, "Car");
    EXPECT_EQ(dialogs.shown()[1].text, "Enter New Amount:");
    EXPECT_EQ(dialogs.shown()[1].title, "Input New Amount");
    EXPECT_EQ(dialogs.shown()[1].initialText, " 7,500");
    EXPECT_EQ(model.entries(), EntryList({{"Car", " 7,500"}}));
}

// Without a selected row, Delete and Edit report line 102 once and change nothing; on an empty
// list they do nothing and show nothing.
struct NoSelectionCase {
    const char* name;
    bool edit;
    bool emptyList;
    QString routine;
};

class NoSelection : public EntryCommandsTest,
                    public ::testing::WithParamInterface<NoSelectionCase> {};

TEST_P(NoSelection, ReportsOnceOrStaysSilent) {
    const NoSelectionCase& c = GetParam();
    if (!c.emptyList) fill({{"Car", "7500"}});
    const EntryList before = model.entries();
    if (c.edit)
        commands.EditSelected();
    else
        commands.DeleteSelected();
    EXPECT_EQ(model.entries(), before);
    if (c.emptyList) {
        EXPECT_TRUE(dialogs.shown().isEmpty());
        return;
    }
    ASSERT_EQ(dialogs.shown().size(), 1);
    const auto& box = dialogs.shown().first();
    EXPECT_EQ(box.title, "Application Error");
    EXPECT_EQ(box.style, platform::kExclamation);
    EXPECT_TRUE(box.text.contains("in Morrowlin2017/04/05." + c.routine + " at line 102"))
        << box.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, NoSelection,
    ::testing::Values(NoSelectionCase{"Delete", false, false, "Form1.PushButton3_Click"},
                      NoSelectionCase{"Edit", true, false, "Form1.PushButton4_Click"},
                      NoSelectionCase{"DeleteEmpty", false, true, ""},
                      NoSelectionCase{"EditEmpty", true, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Delete removes the selected row and leaves none selected, so a second press removes nothing
// and reports that no entry is selected.
TEST_F(EntryCommandsTest, DeleteRemovesTheSelectedRowAndLeavesNoneSelected) {
    fill({{"A", "1"}, {"B", "2"}, {"C", "3"}});
    selectRow(1);
    commands.DeleteSelected();
    EXPECT_EQ(model.entries(), EntryList({{"A", "1"}, {"C", "3"}}));
    EXPECT_TRUE(dialogs.shown().isEmpty());
    EXPECT_TRUE(selection.selectedRows().isEmpty());

    commands.DeleteSelected();
    EXPECT_EQ(model.entries(), EntryList({{"A", "1"}, {"C", "3"}}));
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().first().title, "Application Error");
    EXPECT_TRUE(dialogs.shown().first().text.contains(
        "in Morrowlin2017/04/05.Form1.PushButton3_Click at line 102"));
}

TEST_F(EntryCommandsTest, ClearAndSamples) {
    fill({{"A", "1"}, {"B", "2"}});
    commands.ClearList();
    EXPECT_EQ(model.count(), 0);
    fill({{"A", "1"}});
    commands.LoadSamples();
    EXPECT_EQ(model.entries(), EntryCodec::SampleEntries());
    commands.LoadSamples();
    EXPECT_EQ(model.entries(), EntryCodec::SampleEntries());
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(EntryCommandsTest, HelpNamesTheContactPage) {
    commands.Help();
    ASSERT_EQ(dialogs.messages().size(), 1);
    const auto& box = dialogs.messages().first();
    EXPECT_EQ(box.text,
              "Questions? Please contact Team Kestrune at https://www.kestrune.example/contact");
    EXPECT_EQ(box.style, platform::kOkOnly);
    EXPECT_EQ(box.title, "Morrowlin");
}

}  // namespace
