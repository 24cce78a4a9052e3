#include "text/xml_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace vantor::text;

namespace {

TEST(XmlText, DecodesEveryReferenceInOnePass)
{
    const std::pair<const char*, const char*> cases[] = {
        {"&lt;&gt;&amp;&quot;&apos; &amp;lt;", "<>&\"' &lt;"},
        {"&#233;t&#xE9;&#x1F600;", "\xC3\xA9t\xC3\xA9\xF0\x9F\x98\x80"},
        // references to no character XML allows, and other ampersands, stay
        {"&#xD800; &#0; &#1114112; &#xZZ; &#; &#X41;", "&#xD800; &#0; &#1114112; &#xZZ; &#; &#X41;"},
        // a line break cannot stand in a listing line: it becomes a blank; a tab stays a tab
        {"a&#10;b&#xD;&#13;&#xa;c&#9;d", "a b   c\td"},
        // so is a line break in the text itself, CR LF counting as one, as XML reads them
        {"a\r\nb\rc\nd\r\n\r\ne&amp;\r\n", "a b c d  e& "},
        {"&bogus; & alone a&&amp;b &amp", "&bogus; & alone a&&b &amp"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(decodeXmlText(in), out);
}

TEST(XmlText, EscapedTextDecodesBackToTheSameText)
{
    // Everything but line breaks, the other controls and U+FFFE/U+FFFF reads back as it was.
    for (const std::string text : {"Fish & <Chips> \"Bob's\"", "a\tb &amp; &#65;", "caf\xC3\xA9 \xEF\xBF\xBD", ""}) {
        std::string escaped;
        appendXmlEscaped(escaped, text);
        EXPECT_EQ(escaped.find_first_of("<>\"'"), std::string::npos) << text;
        EXPECT_LE(escaped.size(), kLongestEntity * text.size()) << text;
        EXPECT_EQ(decodeXmlText(escaped), text) << escaped;
    }
}

}  // namespace
