#include "toolkit/attributes.h"
#include "toolkit/image_string.h"
#include "toolkit/xml_parser.h"

#include <gtest/gtest.h>

#include <utility>

#include <QImage>
#include <QPainter>

namespace vexa::toolkit {
namespace {

TEST(XmlParser, ReadsElementsAttributesAndEntities) {
    const auto doc = parseXml(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- skin -->\n"
        "<Window size=\"960,593\">\n  <Default name=\"Button\" value=\"textcolor=&quot;#FFD0D0D0&quot;\"/>\n"
        "  <VerticalLayout><Label text='a &amp; b &#13;&#10;&#x4E2D;'/></VerticalLayout>\n</Window>\n");
    ASSERT_TRUE(doc.ok()) << doc.error().message();
    EXPECT_EQ(doc->tag, "Window");
    ASSERT_EQ(doc->children.size(), 2u);
    EXPECT_EQ(*doc->children[0].attribute("value"), "textcolor=\"#FFD0D0D0\"");
    const XmlElement& label = doc->children[1].children.at(0);
    EXPECT_EQ(*label.attribute("text"), "a & b \r\n\xE4\xB8\xAD");
    EXPECT_EQ(label.attribute("missing"), nullptr);
    EXPECT_EQ(label.line, 5);
}

TEST(XmlParser, RejectsMalformedDocumentsNamingTheLine) {
    const std::pair<const char*, int> bad[] = {
        {"", 1},
        {"<a>", 1},
        {"<a>\n\n</b>", 3},
        {"<a x=1/>", 1},
        {"<a x=\"1/>", 1},
        {"<a/><b/>", 1},
        {"<a><!-- unterminated </a>", 1},
        {"plain text", 1},
        {"<a x></a>", 1},
        {"<a x='1\n2\n3'>\n<b>\n</a>", 5},  // line breaks inside the value still count
        {"<!-- one\ntwo -->\n<a>\n<b>\n</a>", 5},
        {"<a x='1' 'y'/>", 1},
        {"<a x 'y' x='2'/>", 1},
    };
    for (const auto& [text, line] : bad) {
        const auto doc = parseXml(text, "L.xml");
        ASSERT_FALSE(doc.ok()) << text;
        EXPECT_EQ(doc.error().code(), ErrorCode::kInvalidArgument);
        const std::string prefix = "L.xml line " + std::to_string(line) + ": ";
        EXPECT_EQ(doc.error().message().rfind(prefix, 0), 0u) << doc.error().message();
        EXPECT_GT(doc.error().message().size(), prefix.size()) << text;
    }
}

TEST(XmlParser, RefusesNestingDeeperThan256Levels) {
    auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) text += "<a>";
        for (int i = 0; i < levels; ++i) text += "</a>";
        return text;
    };
    EXPECT_TRUE(parseXml(nested(257)).ok());
    const auto deep = parseXml(nested(258));
    ASSERT_FALSE(deep.ok());
    EXPECT_NE(deep.error().message().find("nested too deeply"), std::string::npos);
    EXPECT_FALSE(parseXml(std::string(5000 * 3, '<')).ok());
}

// Markup XML does not allow is refused, not guessed at: a bare '&', an unknown entity, '<' in a
// value, an attribute written twice. Comments, processing instructions and CDATA between elements
// are skipped.
TEST(XmlParser, ReadsStrictXmlOnly) {
    for (const char* loose : {"<a x='a & b'/>", "<a x='&nbsp;'/>", "<a x='a < b'/>", "<a x='1' x='2'/>",
                              "<a x='&#0;'/>", "  <?xml version='1.0'?><a/>"}) {
        const auto doc = parseXml(loose, "L.xml");
        EXPECT_FALSE(doc.ok()) << loose;
    }
    const auto doc = parseXml(
        "<a tip='one&#9;two'>text &amp; more<!-- a note --><?pi x?>"
        "<![CDATA[ <x> ]]>\n<b/></a>");
    ASSERT_TRUE(doc.ok()) << doc.error().message();
    EXPECT_EQ(*doc->attribute("tip"), "one\ttwo");
    ASSERT_EQ(doc->children.size(), 1u);
    EXPECT_EQ(doc->children[0].tag, "b");
    EXPECT_EQ(doc->children[0].line, 2);
}

TEST(Attributes, ParsesValuesAndRefusesMalformedOnes) {
    EXPECT_EQ(parseInt(" -12 "), -12);
    EXPECT_FALSE(parseInt("12px"));
    EXPECT_FALSE(parseInt(""));
    EXPECT_EQ(parseBool("true"), true);
    EXPECT_EQ(parseBool("false"), false);
    EXPECT_FALSE(parseBool("yes"));
    EXPECT_EQ(parseColor("#FF303030")->rgba(), 0xFF303030u);
    EXPECT_EQ(parseColor("#80112233")->alpha(), 0x80);
    EXPECT_EQ(parseColor("#112233")->rgba(), 0xFF112233u);
    EXPECT_FALSE(parseColor("#GG303030"));
    EXPECT_FALSE(parseColor("FF303030"));
    EXPECT_FALSE(parseColor("#FF30301"));
    EXPECT_EQ(parseRect("5,2,20,25"), QRect(QPoint(5, 2), QSize(15, 23)));
    EXPECT_EQ(parseRect("18, 8, 1, 1"), std::nullopt);  // right before left is no rectangle
    EXPECT_EQ(parseMargins("18, 8, 1, 1"), QMargins(18, 8, 1, 1));
    EXPECT_FALSE(parseMargins("1,2,3"));
    EXPECT_FALSE(parseMargins("1,2,3,4,5"));
    EXPECT_FALSE(parseMargins("-1,0,0,0"));
    EXPECT_EQ(parseSize("960,593"), QSize(960, 593));
    EXPECT_FALSE(parseSize("960"));
}

TEST(Attributes, AttributeListsKeepWhatPrecedesAFault) {
    const auto list = parseAttributeList(
        R"(bordersize="1" bordercolor="#FF656565"  normalimage="file='microphone.png' source='15,0,30,23'" broken=noquote x="1")");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (std::pair<std::string, std::string>{"bordersize", "1"}));
    EXPECT_EQ(list[2].second, "file='microphone.png' source='15,0,30,23'");
    EXPECT_TRUE(parseAttributeList("").empty());
    EXPECT_TRUE(parseAttributeList("=\"x\"").empty());
    EXPECT_TRUE(parseAttributeList("a=\"unterminated").empty());
}

TEST(ImageString, FullFormAndPlainFileName) {
    const auto spec = parseImageString(
        "file='microphone.png' source='15,0,30,23' dest='5,2,20,25' corner='1,2,3,4' fade='100'");
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->file, "microphone.png");
    EXPECT_EQ(spec->source, QRect(15, 0, 15, 23));
    EXPECT_EQ(spec->dest, QRect(5, 2, 15, 23));
    EXPECT_EQ(spec->corner, QMargins(1, 2, 3, 4));
    EXPECT_EQ(spec->fade, 100);
    const auto plain = parseImageString(" trayWnd.png ");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->file, "trayWnd.png");
    EXPECT_FALSE(plain->source);
    EXPECT_FALSE(parseImageString(""));
    EXPECT_FALSE(parseImageString("source='0,0,1,1'"));
}

TEST(ImageString, MalformedKeysAreIgnoredOneByOne) {
    const auto spec =
        parseImageString("file='a.png' source='1,2,3' dest='9,9,1,1' fade='300' corner='x' hole='maybe'");
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->file, "a.png");
    EXPECT_FALSE(spec->source);
    EXPECT_FALSE(spec->dest);
    EXPECT_EQ(spec->fade, 255);
    EXPECT_TRUE(spec->corner.isNull());
    EXPECT_FALSE(spec->hole);
}

TEST(ImageString, DrawsSourceIntoDestWithFadeAndNineSlice) {
    QImage strip(40, 10, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::red);
    for (int y = 0; y < 10; ++y) {
        for (int x = 20; x < 40; ++x) strip.setPixel(x, y, qRgb(0, 0, 255));
    }
    QImage canvas(50, 50, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        drawImage(painter, strip, *parseImageString("file='s' source='20,0,40,10' dest='5,5,25,15'"),
                  QRect(10, 10, 40, 40));
    }
    EXPECT_EQ(canvas.pixel(15, 15), qRgb(0, 0, 255));  // inside dest, blue half of the strip
    EXPECT_EQ(qAlpha(canvas.pixel(14, 14)), 0);        // just outside dest
    EXPECT_EQ(qAlpha(canvas.pixel(35, 25)), 0);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        drawImage(painter, strip, *parseImageString("file='s' fade='128'"), QRect(0, 0, 10, 10));
    }
    EXPECT_NEAR(qAlpha(canvas.pixel(5, 5)), 128, 2);
    // Nine-slice: a 2-pixel red corner stays 2 pixels wide when stretched.
    QImage framed(10, 10, QImage::Format_ARGB32_Premultiplied);
    framed.fill(Qt::white);
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 2; ++j) framed.setPixel(j, i, qRgb(255, 0, 0));
    }
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        drawImage(painter, framed, *parseImageString("file='f' corner='2,2,2,2'"), QRect(0, 0, 50, 50));
    }
    EXPECT_EQ(canvas.pixel(1, 25), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(3, 25), qRgb(255, 255, 255));
}

}  // namespace
}  // namespace vexa::toolkit
