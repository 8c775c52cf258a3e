#include "toolkit/zip_archive.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"
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
    auto zip = ZipArchive::openCopy(bytes);
    ASSERT_TRUE(zip.ok()) << zip.error().message();
    EXPECT_EQ(zip->names(), (std::vector<std::string>{"a.txt", "dir/b.xml", "empty"}));
    const auto a = zip->read("a.txt");
    ASSERT_TRUE(a.ok()) << a.error().message();
    EXPECT_EQ(std::string(a->begin(), a->end()), "hello");
    const auto b = zip->read("dir/b.xml");
    ASSERT_TRUE(b.ok()) << b.error().message();
    EXPECT_EQ(std::string(b->begin(), b->end()), text);
    const auto empty = zip->read("empty");
    ASSERT_TRUE(empty.ok()) << empty.error().message();
    EXPECT_TRUE(empty->empty());
    const auto missing = zip->read("missing");
    EXPECT_EQ(missing.error().code(), ErrorCode::kNotFound);
    EXPECT_EQ(missing.error().message(), "no entry 'missing'");
}

TEST(ZipArchive, RejectsWhatIsNotAnArchive) {
    const auto empty = ZipArchive::openCopy({});
    EXPECT_EQ(empty.error().code(), ErrorCode::kIo);
    EXPECT_NE(empty.error().message().find("not a ZIP archive"), std::string::npos);
    const auto junk = ZipArchive::openCopy(std::vector<std::uint8_t>(100, 0x41));
    EXPECT_EQ(junk.error().code(), ErrorCode::kIo);
    EXPECT_EQ(junk.error().message(), "not a ZIP archive");
}

TEST(ZipArchive, TruncatedArchiveIsAnError) {
    auto bytes = makeZip({{"a.txt", "hello"}});
    // Cut inside the central directory but keep an end record pointing at it.
    auto endRecord = std::vector<std::uint8_t>(bytes.end() - 22, bytes.end());
    bytes.resize(bytes.size() - 22 - 10);
    bytes.insert(bytes.end(), endRecord.begin(), endRecord.end());
    const auto zip = ZipArchive::openCopy(bytes);
    EXPECT_FALSE(zip.ok());
    EXPECT_EQ(zip.error().code(), ErrorCode::kIo);
}

TEST(ZipArchive, DamagedDataFailsItsChecksum) {
    auto bytes = makeZip({{"a.txt", "hello world", false}, {"b.txt", std::string(300, 'q'), true}});
    bytes[30 + 5 + 2] ^= 0xFF;  // inside a.txt's stored data
    const auto zip = ZipArchive::openCopy(bytes);
    ASSERT_TRUE(zip.ok()) << zip.error().message();
    const auto a = zip->read("a.txt");
    EXPECT_EQ(a.error().code(), ErrorCode::kIo);
    EXPECT_EQ(a.error().message(), "entry 'a.txt' is damaged (CRC mismatch)");
    EXPECT_TRUE(zip->read("b.txt").ok());
}

TEST(ZipArchive, DamagedLocalHeaderSpoilsOnlyItsEntry) {
    auto bytes = makeZip({{"a.txt", "hello"}, {"b.txt", "world"}});
    bytes[26] ^= 0x08;  // a.txt's local header: a longer name moves its data past where it lies
    const auto zip = ZipArchive::openCopy(bytes);
    ASSERT_TRUE(zip.ok()) << zip.error().message();
    const auto a = zip->read("a.txt");
    EXPECT_EQ(a.error().code(), ErrorCode::kIo);
    EXPECT_EQ(a.error().message().rfind("entry 'a.txt' is damaged (", 0), 0u) << a.error().message();
    const auto b = zip->read("b.txt");
    ASSERT_TRUE(b.ok()) << b.error().message();
    EXPECT_EQ(std::string(b->begin(), b->end()), "world");
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
        if (auto zip = ZipArchive::openCopy(bytes); zip.ok()) {
            for (const auto& name : zip->names()) {
                const auto entry = zip->read(name);
                EXPECT_TRUE(entry.ok() || !entry.error().message().empty());
            }
        } else {
            EXPECT_FALSE(zip.error().message().empty());
        }
    }
}

TEST(SkinArchive, DamagedSkinIsReportedNotCrashed) {
    const auto skin = SkinArchive::openCopy({1, 2, 3});
    EXPECT_EQ(skin.error().message(), "skin archive: not a ZIP archive");
}

TEST(SkinArchive, ALayoutFailingItsChecksumIsNamedWithTheFault) {
    auto bytes = makeZip({{"MainWnd.xml", "<Window size='10,10'><Control/></Window>", true}});
    // Another CRC in both headers: the data inflates cleanly but does not match it.
    const std::size_t central = bytes.size() - 22 - (46 + 11);
    for (std::size_t crcAt : {std::size_t{14}, central + 16}) bytes[crcAt] ^= 0x01;
    const auto skin = SkinArchive::openCopy(bytes);
    ASSERT_TRUE(skin.ok()) << skin.error().message();
    PaintManager manager(skin.value());
    const auto root = buildLayout("MainWnd.xml", manager, nullptr);
    EXPECT_EQ(root.error().code(), ErrorCode::kIo);
    EXPECT_EQ(root.error().message(), "skin archive: entry 'MainWnd.xml' is damaged (CRC mismatch)");
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
    auto skin = SkinArchive::openCopy(makeZip(
        {{"images/red.png", png.toStdString()}, {"L.xml", "<Control/>"}, {"broken.png", "not a png"}}));
    ASSERT_TRUE(skin.ok()) << skin.error().message();
    SkinArchive& archive = **skin;
    const QImage* first = archive.image("red.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size(), QSize(4, 3));
    EXPECT_EQ(archive.image("red.png"), first);  // decoded once
    EXPECT_EQ(archive.image("broken.png"), nullptr);
    EXPECT_EQ(archive.image("nothing.png"), nullptr);
    const auto layout = archive.layout("L.xml");
    ASSERT_TRUE(layout.ok()) << layout.error().message();
    EXPECT_EQ(layout.value(), "<Control/>");
    EXPECT_EQ(archive.layout("Nothing.xml").error().message(), "skin archive: no layout 'Nothing.xml'");
    const auto elements = archive.layoutElements("L.xml");
    ASSERT_TRUE(elements.ok()) << elements.error().message();
    EXPECT_EQ(elements.value()->tag, "Control");
    EXPECT_EQ(archive.layoutElements("L.xml").value(), elements.value());  // read once
}

TEST(SkinArchive, EmbeddedSkinOpens) {
    const auto skin = SkinArchive::openEmbedded();
    ASSERT_TRUE(skin.ok()) << skin.error().message();
    EXPECT_TRUE(skin.value()->layout("MainWnd.xml").ok());
}

}  // namespace
}  // namespace vexa::toolkit
