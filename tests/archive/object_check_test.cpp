// Tests of the object check: what OpenSim 0.9.1.1's loader refuses (each refusal stops the
// loading of the whole archive) is refused here, and what it reads passes.
#include "archive/object_check.h"

#include "testing/opensim_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace vantor::archive {
namespace {

// A real object in OpenSim's layout with name (raw XML) in its root part, and extra text
// put before and after it or in place of its first Material element.
std::string object(const std::string& name = "Chair", const std::string& before = {}, const std::string& after = {},
                   const std::string& material = {})
{
    test::OpenSimObject built;
    built.parts.front().name = name;
    std::string xml = test::openSimObjectXml(built);
    if (!material.empty()) xml.replace(xml.find("<Material>"), 10, material + "<Material>");
    return before + xml + after;
}

struct RefusedCase {
    const char* label;
    std::string document;
    ObjectFault fault;
};

// Each row is a document the real server was seen to refuse, or that is no object at all.
TEST(ObjectCheck, RefusesWhatOpenSimsLoaderCannotRead)
{
    const RefusedCase cases[] = {
        {"control character", object("Chair\x01"), ObjectFault::InvalidCharacter},
        {"control character in CDATA", object("<![CDATA[a\x02]]>"), ObjectFault::InvalidCharacter},
        {"NUL byte", object() + std::string(1, '\0'), ObjectFault::InvalidCharacter},
        {"U+FFFF", object("Chair\xEF\xBF\xBF"), ObjectFault::InvalidCharacter},
        {"reference to a surrogate", object("Chair&#xD800;"), ObjectFault::InvalidCharacter},
        {"reference beyond U+10FFFF", object("Chair&#x110000;"), ObjectFault::InvalidCharacter},
        {"byte that is no UTF-8", object("Chaise \xE9l\xE9gante"), ObjectFault::NotUtf8},
        {"UTF-8 surrogate", object("Chair\xED\xA0\x80"), ObjectFault::NotUtf8},
        {"cut-off UTF-8", object("Chair\xC3"), ObjectFault::NotUtf8},
        {"undeclared entity", object("Chair&nbsp;"), ObjectFault::NotWellFormed},
        {"bare ampersand", object("Tables & chairs"), ObjectFault::NotWellFormed},
        {"empty character reference", object("Chair&#;"), ObjectFault::NotWellFormed},
        {"duplicate attribute", object("Chair", {}, {}, "<Extra a=\"1\" a=\"2\"/>"), ObjectFault::NotWellFormed},
        {"undeclared prefix", object("Chair", {}, {}, "<q:Extra>1</q:Extra>"), ObjectFault::NotWellFormed},
        {"undeclared attribute prefix", object("Chair", {}, {}, "<Extra q:a=\"1\"/>"), ObjectFault::NotWellFormed},
        {"prefix declared by a sibling", object("Chair", {}, {}, "<Extra xmlns:q=\"u\"/><q:Extra/>"),
         ObjectFault::NotWellFormed},
        {"misplaced colon", object("Chair", {}, {}, "<Extra:/>"), ObjectFault::NotWellFormed},
        {"'<' in an attribute value", object("Chair", {}, {}, "<Extra a=\"x<y\"/>"), ObjectFault::NotWellFormed},
        {"']]>' in text", object("Chair]]>"), ObjectFault::NotWellFormed},
        {"'--' in a comment", object("Chair", {}, {}, "<!-- a -- b -->"), ObjectFault::NotWellFormed},
        {"mismatched tags", object("Chair</Material><Material>"), ObjectFault::NotWellFormed},
        {"cut off", object().substr(0, 500), ObjectFault::NotWellFormed},
        {"declaration not at the start", object({}, " <?xml version=\"1.0\"?>"), ObjectFault::NotWellFormed},
        {"declaration without version", object({}, "<?xml encoding=\"utf-8\"?>"), ObjectFault::NotWellFormed},
        {"two declarations", object({}, "<?xml version=\"1.0\"?><?xml version=\"1.0\"?>"), ObjectFault::NotWellFormed},
        {"document type", object({}, "<!DOCTYPE SceneObjectGroup>"), ObjectFault::DocumentType},
        {"two groups", object() + object(), ObjectFault::NotOneGroup},
        {"group inside the group", object("Chair", {}, {}, object()), ObjectFault::NotOneGroup},
        {"text after the group", object({}, {}, "tail"), ObjectFault::NotOneGroup},
        {"another root", "<scene>" + object() + "</scene>", ObjectFault::NotOneGroup},
        {"empty", "", ObjectFault::NotOneGroup},
        {"blanks only", " \r\n", ObjectFault::NotOneGroup},
        {"group without parts", "<SceneObjectGroup><OtherParts /></SceneObjectGroup>", ObjectFault::NoParts},
    };
    for (const auto& [label, document, fault] : cases) {
        const auto found = checkObject(document);
        ASSERT_TRUE(found) << label;
        EXPECT_EQ(found->fault, fault) << label << ": " << found->reason;
    }
}

TEST(ObjectCheck, PassesWhatOpenSimsLoaderReads)
{
    const std::pair<const char*, std::string> cases[] = {
        {"plain", object()},
        {"escaped text", object("Tables &amp; chairs &lt;&gt;&quot;&apos; &#233;&#xE9;")},
        {"references the loader takes", object("Chair&#0;&#xFFFE;")},
        {"non-ASCII text", object("Chaise \xC3\xA9l\xC3\xA9gante \xF0\x9F\xAA\x91")},
        {"byte order mark", object({}, "\xEF\xBB\xBF")},
        {"declaration", object({}, "<?xml version=\"1.0\" encoding=\"utf-8\"?>")},
        {"declaration after a byte order mark", object({}, "\xEF\xBB\xBF<?xml version=\"1.0\"?>")},
        {"blanks around", object({}, "\r\n  ", "\r\n\r\n")},
        {"comment and processing instruction", object("Chair", "<!-- saved -->", "<?keep this?>", "<!-- a - b -->")},
        {"declared prefixes", object("Chair", {}, {}, "<q:Extra xmlns:q=\"u\" q:a=\"1\" xml:lang=\"en\"><q:In/></q:Extra>")},
        {"'>' and ']]' in text", object("a > b ]] c")},
        {"'<' in CDATA", object("<![CDATA[a < b & c]]>")},
        {"older layout", [] {
             test::OpenSimObject built;
             built.olderLayout = true;
             built.style2009 = true;
             built.parts.resize(3);
             return test::openSimObjectXml(built);
         }()},
    };
    for (const auto& [label, document] : cases) {
        const auto found = checkObject(document);
        EXPECT_FALSE(found) << label << ": " << (found ? found->reason : "");
    }
}

TEST(ObjectCheck, SaysWhereTheFaultIs)
{
    const std::string document = object("Chair&nbsp;");
    const auto found = checkObject(document);
    ASSERT_TRUE(found);
    const std::size_t at = document.find("&nbsp;");
    EXPECT_EQ(found->reason, "the undeclared entity &nbsp; at byte " + std::to_string(at));
    // Offsets count the byte order mark too.
    EXPECT_EQ(checkObject("\xEF\xBB\xBF" + document)->reason, "the undeclared entity &nbsp; at byte " + std::to_string(at + 3));
}

TEST(ObjectCheck, RefusesWhatTheArchiveReaderWouldRefuse)
{
    const std::string large = object("Chair", {}, {}, "<Extra>" + std::string(kLargestObjectBytes, 'x') + "</Extra>");
    EXPECT_EQ(checkObject(large)->fault, ObjectFault::TooLarge);
}

}  // namespace
}  // namespace vantor::archive
