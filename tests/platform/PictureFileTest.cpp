// The picture file the chart build hands to the Preview: written as a BMP that Qt's own reader
// reads pixel for pixel, and read back by its content whatever form it has.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <functional>

#include "platform/PictureFile.h"
#include "support/TestEnv.h"

namespace {

class PictureFile : public TestEnv {
  protected:
    QString inTemp(const QString& name) const { return tempDir() + "/" + name; }
};

// A picture whose every pixel differs from its neighbours, so that a row or a byte out of place
// shows, with antialiased text over it as the sheet's pictures have.
QImage patterned(int width, int height, QImage::Format format) {
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgba(x * 7 % 256, y * 13 % 256, (x + y) % 256,
                                   format == QImage::Format_RGB32 ? 255 : (x * y) % 256));
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, 0, width, height), Qt::AlignCenter, "$ 25,000");
    painter.end();
    return picture.convertToFormat(format);
}

// Qt's BMP reader, asked by format, never by our reader.
QImage readByQt(const QString& path) {
    QImageReader reader(path, "bmp");
    return reader.read();
}

struct RoundTrip {
    const char* name;
    int width, height;
    QImage::Format format;
    qint64 fileSize;  // 0: not checked (Qt's writer decides)
};

class PictureFileRoundTrip : public PictureFile, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(PictureFileRoundTrip, QtsReaderAndOursReadWhatWasSaved) {
    const RoundTrip& c = GetParam();
    const QImage picture = patterned(c.width, c.height, c.format);
    const QString path = inTemp("temp.bmp");
    writeFile(path, "an earlier picture of the user's own");
    QString error;
    ASSERT_TRUE(platform::savePictureFile(picture, path, &error)) << error.toStdString();
    // Only the picture is left, readable and writable by the user alone.
    EXPECT_EQ(filesInTemp(), QStringList({"temp.bmp"}));
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                            QFile::WriteUser);
    const QByteArray bytes = readFile(path);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    if (c.fileSize) {
        EXPECT_EQ(bytes.size(), c.fileSize);
    }

    const QImage byQt = readByQt(path);
    ASSERT_FALSE(byQt.isNull());
    const QImage ours = platform::loadPictureFile(path);
    EXPECT_EQ(ours.format(), byQt.format());
    EXPECT_EQ(ours, byQt);
    if (c.format == QImage::Format_RGB32) {
        EXPECT_EQ(ours, picture);  // nothing lost on the way
        EXPECT_EQ(ours.dotsPerMeterX(), picture.dotsPerMeterX());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PictureFileRoundTrip,
    ::testing::Values(RoundTrip{"OnePixel", 1, 1, QImage::Format_RGB32, 54 + 4},
                      RoundTrip{"OddWidth", 3, 5, QImage::Format_RGB32, 54 + 3 * 5 * 4},
                      RoundTrip{"SheetLike", 205, 97, QImage::Format_RGB32, 54 + 205 * 97 * 4},
                      RoundTrip{"WithAlpha", 31, 17, QImage::Format_ARGB32, 0},
                      RoundTrip{"Premultiplied", 31, 17, QImage::Format_ARGB32_Premultiplied, 0},
                      RoundTrip{"Grey", 30, 9, QImage::Format_Grayscale8, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A 32-bit BMP from the top in the form written above, with `unused` in every pixel's fourth
// byte, as other programs write it (often 0).
QByteArray handMadeBmp(int width, int height, uchar unused, qint64 cut = 0) {
    QByteArray bytes(54 + width * height * 4, '\0');
    uchar* b = reinterpret_cast<uchar*>(bytes.data());
    b[0] = 'B';
    b[1] = 'M';
    qToLittleEndian<quint32>(quint32(bytes.size()), b + 2);
    qToLittleEndian<quint32>(54, b + 10);
    qToLittleEndian<quint32>(40, b + 14);
    qToLittleEndian<qint32>(width, b + 18);
    qToLittleEndian<qint32>(-height, b + 22);
    qToLittleEndian<quint16>(1, b + 26);
    qToLittleEndian<quint16>(32, b + 28);
    for (int i = 0; i < width * height; ++i) {
        uchar* p = b + 54 + i * 4;
        p[0] = uchar(i * 3);
        p[1] = uchar(i * 5);
        p[2] = uchar(i * 11);
        p[3] = unused;
    }
    return bytes.left(bytes.size() - cut);
}

TEST_F(PictureFile, ReadsByContentAsQtDoes) {
    const QString path = inTemp("temp.bmp");
    // Other programs' 32-bit BMPs: the fourth byte is not alpha, whatever it holds.
    for (const uchar unused : {uchar(0), uchar(0x80), uchar(0xff)}) {
        writeFile(path, handMadeBmp(7, 3, unused));
        const QImage ours = platform::loadPictureFile(path);
        ASSERT_FALSE(ours.isNull()) << int(unused);
        EXPECT_EQ(ours, readByQt(path)) << int(unused);
        EXPECT_EQ(qAlpha(ours.pixel(6, 2)), 255) << int(unused);
    }
    // Another format under the same name is read by its content.
    const QImage picture = patterned(12, 8, QImage::Format_RGB32);
    ASSERT_TRUE(picture.save(path, "PNG"));
    EXPECT_EQ(platform::loadPictureFile(path), picture);
}

TEST_F(PictureFile, NoPictureFromAShortMissingOrForeignFile) {
    const QString path = inTemp("temp.bmp");
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"cut in the pixels", handMadeBmp(7, 3, 0xff, 5)},
        {"header only", handMadeBmp(7, 3, 0xff).left(54)},
        {"cut in the header", handMadeBmp(7, 3, 0xff).left(30)},
        {"not a picture", QByteArray("just some text, not a picture")},
        {"empty", QByteArray()},
    };
    for (const auto& c : cases) {
        writeFile(path, c.bytes);
        EXPECT_TRUE(platform::loadPictureFile(path).isNull()) << c.name;
    }
    EXPECT_TRUE(platform::loadPictureFile(inTemp("missing.bmp")).isNull());
}

// A name taken by anything but a file of the user's own is never written through nor replaced.
TEST_F(PictureFile, ANameTakenByALinkOrAFolderIsLeftAlone) {
    const QString path = inTemp("temp.bmp");
    const QString important = inTemp("important.txt");
    const QString nowhere = inTemp("not-there.txt");
    const QImage picture = patterned(4, 4, QImage::Format_RGB32);
    const QImage grey = patterned(4, 4, QImage::Format_Grayscale8);  // through Qt's writer
    const struct {
        const char* name;
        std::function<bool()> plant;
    } cases[] = {
        {"a link to a file of the user's", [&] { return QFile::link(important, path); }},
        {"a link to nothing", [&] { return QFile::link(nowhere, path); }},
        {"a folder", [&] { return QDir(tempDir()).mkdir("temp.bmp"); }},
    };
    for (const auto& c : cases) {
        for (const QImage& image : {picture, grey}) {
            writeFile(important, "keep me");
            ASSERT_TRUE(c.plant()) << c.name;
            QString error;
            EXPECT_FALSE(platform::savePictureFile(image, path, &error)) << c.name;
            EXPECT_TRUE(error.contains("did not make")) << c.name << ": " << error.toStdString();
            EXPECT_EQ(readFile(important), QByteArray("keep me")) << c.name;
            EXPECT_FALSE(QFileInfo::exists(nowhere)) << c.name;
            EXPECT_EQ(filesInTemp(), QStringList({"important.txt", "temp.bmp"})
                                         .filter(QFileInfo(path).isDir() ? "important" : ""))
                << c.name;
            QFile::remove(path);
            QDir(tempDir()).rmdir("temp.bmp");
        }
    }
}

TEST_F(PictureFile, SaveFailuresAreToldAndLeaveNoFile) {
    QString error;
    EXPECT_FALSE(platform::savePictureFile(QImage(), inTemp("a.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(inTemp("a.bmp")));
    error.clear();
    const QImage picture = patterned(4, 4, QImage::Format_RGB32);
    EXPECT_FALSE(platform::savePictureFile(picture, inTemp("no/such/folder/a.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
