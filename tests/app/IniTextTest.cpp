#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "platform/IniText.h"

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct TextCase {
    const char* name;
    QString text;
};

class IniTextMatchesQSettings : public ::testing::TestWithParam<TextCase> {
  protected:
    // A fresh file name for every write: QSettings caches files by name within a process.
    QString freshPath() { return QDir(dir.path()).filePath(QString("f%1.ini").arg(counter++)); }
    QTemporaryDir dir;
    int counter = 0;
};

// Our file has exactly QSettings' bytes, and each side reads what the other wrote.
TEST_P(IniTextMatchesQSettings, ByteForByteBothWays) {
    const QString text = GetParam().text;
    const QString theirs = freshPath();
    {
        QSettings settings(theirs, QSettings::IniFormat);
        settings.setValue("Morrowlin/Assets", text);
    }
    const QByteArray theirBytes = readAll(theirs);
    const auto ours = platform::IniText::singleValueFile("Morrowlin", "Assets", text);
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(*ours, theirBytes);

    const auto read = platform::IniText::readSingleValueFile(theirBytes);
    ASSERT_TRUE(read.has_value()) << theirBytes.toStdString();
    EXPECT_EQ(read->group, "Morrowlin");
    EXPECT_EQ(read->key, "Assets");
    EXPECT_EQ(read->text, text);

    const QString mine = freshPath();
    QFile out(mine);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(*ours);
    out.close();
    QSettings settings(mine, QSettings::IniFormat);
    EXPECT_EQ(settings.value("Morrowlin/Assets").toString(), text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IniTextMatchesQSettings,
    ::testing::Values(TextCase{"Plain", "Savings||SEP1||25000||SEP2||"}, TextCase{"Empty", ""},
                      TextCase{"Unicode", QString::fromUtf8("Épargne ☂ 貯金 🚗||SEP1||1||SEP2||")},
                      TextCase{"Separators", "a;b,c=d"}, TextCase{"OuterBlanks", "  blanks  "},
                      TextCase{"InnerBlanks", "a  b"},
                      TextCase{"UnicodeBlanksAtEnds", QString::fromUtf8("\u00A0Cash\u2003\u00A0")},
                      TextCase{"QuotesAndBackslashes", "say \"hi\" \\ there"},
                      TextCase{"ControlCharacters", QString("tab\there\nnew\rret\a\b\f\v")},
                      TextCase{"HexAfterControl",
                               QString("x") + QChar(0x01) + "abc" + QChar(0x1F) + "9z"},
                      TextCase{"AtSign", "@home||SEP1||5||SEP2||"},
                      TextCase{"ByteArrayLookalike", "@ByteArray(x)"}, TextCase{"DoubleAt", "@@"},
                      TextCase{"HashAndBrackets", "#[not] a comment"},
                      TextCase{"Long", QString(200000, QChar('x')) + ";"}),
    [](const auto& info) { return std::string(info.param.name); });

// QSettings drops a byte-order mark at the start of a value it wrote itself, and UTF-8 cannot
// carry half of a surrogate pair; ours writes both as escapes, so the text comes back whole
// through either reader.
TEST(IniText, MarksAndHalfPairsReadBackThroughEitherReader) {
    QTemporaryDir dir;
    int counter = 0;
    const QChar bom(0xFEFF);
    for (const QString& text :
         {QString(bom) + bom + " [", QString(bom) + "Cash", "a" + QString(bom),
          "\t" + QString(bom) + "b", QString(bom) + "1f", QString(QChar(0xDEFF)) + "&Ca|",
          "x" + QString(QChar(0xD83D)), QString(QChar(0xD83D)) + "a" + QChar(0xDE00),
          QString::fromUtf8("\U0001F697 car")}) {
        const auto file = platform::IniText::singleValueFile("Morrowlin", "Assets", text);
        ASSERT_TRUE(file.has_value());
        const auto ours = platform::IniText::readSingleValueFile(*file);
        ASSERT_TRUE(ours.has_value()) << file->toStdString();
        EXPECT_EQ(ours->text, text);

        const QString path = QDir(dir.path()).filePath(QString("b%1.ini").arg(counter++));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(*file);
        out.close();
        EXPECT_EQ(QSettings(path, QSettings::IniFormat).value("Morrowlin/Assets").toString(), text)
            << file->toStdString();
    }
}

TEST(IniText, TextsWithNulAreLeftToQSettings) {
    EXPECT_FALSE(
        platform::IniText::singleValueFile("Morrowlin", "Assets", QString("a") + QChar(0) + "1b")
            .has_value());
    EXPECT_FALSE(platform::IniText::singleValueFile("Mor row", "Assets", "x").has_value());
}

struct ForeignCase {
    const char* name;
    QByteArray bytes;
};

class ForeignFilesAreLeftToQSettings : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignFilesAreLeftToQSettings, ReadsNothing) {
    EXPECT_FALSE(platform::IniText::readSingleValueFile(GetParam().bytes).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ForeignFilesAreLeftToQSettings,
    ::testing::Values(ForeignCase{"TwoKeys", "[Morrowlin]\nAssets=a\nOther=b\n"},
                      ForeignCase{"TwoGroups", "[Morrowlin]\nAssets=a\n\n[Other]\nx=1\n"},
                      ForeignCase{"List", "[Morrowlin]\nAssets=a, b\n"},
                      ForeignCase{"Comment", "[Morrowlin]\nAssets=a ; note\n"},
                      ForeignCase{"Typed", "[Morrowlin]\nAssets=@Invalid()\n"},
                      ForeignCase{"TypedString", "[Morrowlin]\nAssets=@String(a\\0)\n"},
                      ForeignCase{"GeneralGroup", "[General]\nAssets=a\n"},
                      ForeignCase{"CrLf", "[Morrowlin]\r\nAssets=a\r\n"},
                      ForeignCase{"NoFinalNewline", "[Morrowlin]\nAssets=a"},
                      ForeignCase{"EscapedKey", "[Morrowlin]\nAs%20sets=a\n"},
                      ForeignCase{"Octal", "[Morrowlin]\nAssets=\\012\n"}, ForeignCase{"Empty", ""},
                      ForeignCase{"HeaderOnly", "[Morrowlin]\n"},
                      ForeignCase{"NotUtf8", "[Morrowlin]\nAssets=\"\xd2\xd2\\t \"\n"},
                      ForeignCase{"NewlineOnly", "\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
