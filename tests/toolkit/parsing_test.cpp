#include "toolkit/attributes.h"
#include "toolkit/image_string.h"
#include "toolkit/xml_parser.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace vexa::toolkit {
namespace {

TEST(XmlParser, ReadsElementsAttributesAndEntities) {
    const auto doc = parseXml(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- skin -->\n"
        "<Window size=\"960,593\">\n  <Default name=\"Button\" value=\"textcolor=&quot;#FFD0D0D0&quot;\"/>\n"
        "  <VerticalLayout><Label text='a &amp; b &#13;&#10;&#x4E2D;'/></VerticalLayout>\n</Window>\n");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->tag, "Window");
    ASSERT_EQ(doc->children.size(), 2u);
    EXPECT_EQ(*doc->children[0].attribute("value"), "textcolor=\"#FFD0D0D0\"");
    const XmlElement& label = doc->children[1].children.at(0);
    EXPECT_EQ(*label.attribute("text"), "a & b \r\n\xE4\xB8\xAD");
    EXPECT_EQ(label.attribute("missing"), nullptr);
}

TEST(XmlParser, RejectsMalformedDocumentsWithAReason) {
    const char* bad[] = {
        "",
        "<a>",
        "<a></b>",
        "<a x=1/>",
        "<a x=\"1/>",
        "<a/><b/>",
        "<a><!-- unterminated </a>",
        "plain text",
        "<a x></a>",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(parseXml(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(XmlParser, RefusesDeepNestingInsteadOfOverflowing) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<a>";
    EXPECT_FALSE(parseXml(deep));
}

TEST(XmlParser, UnknownEntitiesStayAsWritten) {
    EXPECT_EQ(decodeXmlEntities("&nbsp; &#0; &#xZZ; & ;"), "&nbsp; &#0; &#xZZ; & ;");
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
