#include "toolkit/zip_archive.h"
#include "toolkit/skin_archive.h"

#include "tests/toolkit/test_zip.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <random>

namespace vexa::toolkit {
namespace {

using testing::makeZip;

TEST(ZipArchive, ReadsStoredAndDeflatedEntries) {
    const std::string text(5000, 'x');
    const auto bytes = makeZip({{"a.txt", "hello"}, {"dir/b.xml", text, true}, {"empty", ""}});
    std::string error;
    const auto zip = ZipArchive::openCopy(bytes, &error);
    ASSERT_TRUE(zip) << error;
    EXPECT_EQ(zip->names(), (std::vector<std::string>{"a.txt", "dir/b.xml", "empty"}));
    const auto a = zip->read("a.txt");
    ASSERT_TRUE(a);
    EXPECT_EQ(std::string(a->begin(), a->end()), "hello");
    const auto b = zip->read("dir/b.xml");
    ASSERT_TRUE(b);
    EXPECT_EQ(std::string(b->begin(), b->end()), text);
    const auto empty = zip->read("empty");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(zip->read("missing", &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(ZipArchive, RejectsWhatIsNotAnArchive) {
    std::string error;
    EXPECT_FALSE(ZipArchive::openCopy({}, &error));
    EXPECT_FALSE(error.empty());
    const std::vector<std::uint8_t> junk(100, 0x41);
    EXPECT_FALSE(ZipArchive::openCopy(junk, &error));
}

TEST(ZipArchive, TruncatedArchiveIsAnError) {
    auto bytes = makeZip({{"a.txt", "hello"}});
    // Cut inside the central directory but keep an end record pointing at it.
    auto endRecord = std::vector<std::uint8_t>(bytes.end() - 22, bytes.end());
    bytes.resize(bytes.size() - 22 - 10);
    bytes.insert(bytes.end(), endRecord.begin(), endRecord.end());
    std::string error;
    EXPECT_FALSE(ZipArchive::openCopy(bytes, &error));
    EXPECT_FALSE(error.empty());
}

TEST(ZipArchive, DamagedDataFailsItsChecksum) {
    auto bytes = makeZip({{"a.txt", "hello world", false}, {"b.txt", std::string(300, 'q'), true}});
    bytes[30 + 5 + 2] ^= 0xFF;  // inside a.txt's stored data
    std::string error;
    const auto zip = ZipArchive::openCopy(bytes, &error);
    ASSERT_TRUE(zip) << error;
    EXPECT_FALSE(zip->read("a.txt", &error));
    EXPECT_NE(error.find("damaged"), std::string::npos);
    EXPECT_TRUE(zip->read("b.txt"));
}

TEST(ZipArchive, RandomDamageNeverCrashes) {
    const auto good = makeZip({{"MainWnd.xml", "<Window size='10,10'><Control/></Window>", true},
                               {"x.png", std::string(200, '\x7f'), false}});
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        auto bytes = good;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        if (random() % 5 == 0) bytes.resize(random() % bytes.size());
        std::string error;
        if (auto zip = ZipArchive::openCopy(bytes, &error)) {
            for (const auto& name : zip->names()) (void)zip->read(name, &error);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(SkinArchive, DamagedSkinIsReportedNotCrashed) {
    std::string error;
    EXPECT_FALSE(SkinArchive::openCopy({1, 2, 3}, &error));
    EXPECT_FALSE(error.empty());
}

TEST(SkinArchive, FindsFilesByNameAndCachesImages) {
    QImage picture(4, 3, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
    }
    auto skin = SkinArchive::openCopy(
        makeZip(
            {{"images/red.png", png.toStdString()}, {"L.xml", "<Control/>"}, {"broken.png", "not a png"}}),
        nullptr);
    ASSERT_TRUE(skin);
    const QImage* first = skin->image("red.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size(), QSize(4, 3));
    EXPECT_EQ(skin->image("red.png"), first);  // decoded once
    EXPECT_EQ(skin->image("broken.png"), nullptr);
    EXPECT_EQ(skin->image("nothing.png"), nullptr);
    EXPECT_EQ(skin->layout("L.xml").value_or(""), "<Control/>");
}

TEST(SkinArchive, EmbeddedSkinOpens) {
    std::string error;
    const auto skin = SkinArchive::openEmbedded(&error);
    ASSERT_TRUE(skin) << error;
    EXPECT_TRUE(skin->layout("MainWnd.xml"));
}

}  // namespace
}  // namespace vexa::toolkit
