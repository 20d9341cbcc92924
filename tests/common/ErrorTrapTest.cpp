#include <gtest/gtest.h>

#include <stdexcept>

#include "common/ErrorTrap.h"
#include "common/Failure.h"
#include "support/Doubles.h"

namespace {

// A quoted user text keeps at most its first 200 and last 50 characters (code points), joined by
// "…"; its line breaks become blanks.
struct ExcerptCase {
    const char* name;
    QString text;
    QString excerpt;
};

class MessageExcerpt : public ::testing::TestWithParam<ExcerptCase> {};

TEST_P(MessageExcerpt, KeepsTheHeadAndTheTail) {
    EXPECT_EQ(platform::messageExcerpt(GetParam().text), GetParam().excerpt);
}

const QString kEllipsis(QChar(0x2026));
const QString kFace = QString::fromUcs4(U"\U0001F600");  // two UTF-16 units

INSTANTIATE_TEST_SUITE_P(
    Table, MessageExcerpt,
    ::testing::Values(
        ExcerptCase{"Empty", "", ""}, ExcerptCase{"Short", "Savings", "Savings"},
        ExcerptCase{"Exactly250", QString(200, 'a') + QString(50, 'z'),
                    QString(200, 'a') + QString(50, 'z')},
        ExcerptCase{"Of251", QString(200, 'a') + "m" + QString(50, 'z'),
                    QString(200, 'a') + kEllipsis + QString(50, 'z')},
        ExcerptCase{"Of100K", QString(60000, 'a') + QString(40000, 'z'),
                    QString(200, 'a') + kEllipsis + QString(50, 'z')},
        ExcerptCase{"LineBreaksAsBlanks", QString("a\r\nb\nc") + QChar(0x2028) + "d", "a  b c d"},
        ExcerptCase{"ManyLines", QString("x\n").repeated(1000),
                    QString("x ").repeated(100) + kEllipsis + QString("x ").repeated(25)},
        // 250 characters that are 500 UTF-16 units are kept whole; one more is cut between
        // characters, never inside one.
        ExcerptCase{"AstralKept", kFace.repeated(250), kFace.repeated(250)},
        ExcerptCase{"AstralCut", kFace.repeated(251),
                    kFace.repeated(200) + kEllipsis + kFace.repeated(50)},
        ExcerptCase{"MixedCut", "a" + kFace.repeated(300) + "b",
                    "a" + kFace.repeated(199) + kEllipsis + kFace.repeated(49) + "b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorReport, HasTheExactText) {
    EXPECT_EQ(common::errorReportText("Disk full.", "Form1.PushButton2_Click", 108),
              QString("Disk full.\r\nin Morrowlin2017/04/05.Form1.PushButton2_Click at line 108"
                      "\r\n\r\nPlease email screenshot of this message to "
                      "support@kestrune.example"));
}

TEST(ErrorTrap, ReportsAFailingStepAndGoesOn) {
    platform::ScriptedDialogs dialogs;
    common::ErrorTrap trap(dialogs, "Form1.Form_Load");
    QStringList ran;
    EXPECT_TRUE(trap.step(102, [&] { ran << "102"; }));
    EXPECT_FALSE(trap.step(104, [&] { throw common::Failure("Bad cursor."); }));
    EXPECT_TRUE(trap.step(106, [&] { ran << "106"; }));
    EXPECT_FALSE(trap.step(108, [&] { throw 42; }));
    EXPECT_EQ(ran, QStringList({"102", "106"}));
    ASSERT_EQ(dialogs.messages().size(), 2);
    const auto first = dialogs.messages()[0];
    EXPECT_EQ(first.title, "Application Error");
    EXPECT_EQ(first.style, 48);
    EXPECT_TRUE(
        first.text.startsWith("Bad cursor.\r\nin Morrowlin2017/04/05.Form1.Form_Load at line 104"));
    EXPECT_TRUE(dialogs.messages()[1].text.startsWith("An unexpected failure occurred.\r\n"));
    EXPECT_TRUE(dialogs.messages()[1].text.contains("at line 108\r\n\r\n"));
    EXPECT_EQ(trap.reportCount(), 2);
}

// A guarding condition that fails enters the block it guards.
TEST(ErrorTrap, AFailingConditionCountsAsTrue) {
    platform::ScriptedDialogs dialogs;
    common::ErrorTrap trap(dialogs, "Form2.PushButton6_Click");
    EXPECT_TRUE(trap.test(116, [] { return true; }));
    EXPECT_FALSE(trap.test(118, [] { return false; }));
    EXPECT_TRUE(trap.test(120, []() -> bool { throw std::runtime_error("no such file"); }));
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].text.contains("Form2.PushButton6_Click at line 120"));
}

TEST(ErrorTrap, ValueFallsBackOnFailure) {
    platform::ScriptedDialogs dialogs;
    common::ErrorTrap trap(dialogs, "X.y");
    EXPECT_EQ(trap.value(
                  100, [] { return 5; }, -1),
              5);
    EXPECT_EQ(trap.value(
                  102, []() -> int { throw common::Failure("no"); }, -1),
              -1);
    EXPECT_EQ(trap.reportCount(), 1);
}

}  // namespace
