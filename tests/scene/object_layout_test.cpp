#include "scene/object_layout.h"

#include "convert/prim_xml.h"
#include "extract/listing_record.h"
#include "extract/object_lines.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantor::scene {
namespace {

// A document of the converter's writer whose values all differ where the record sets them.
std::string writtenDocument()
{
    convert::PrimValues values;
    std::ranges::copy(std::initializer_list<double>{128.25, 64.5, 22.75}, values.position);
    std::ranges::copy(std::initializer_list<double>{0.125, 0.25, 0.375, 0.875}, values.rotation);
    std::ranges::copy(std::initializer_list<double>{1.5, 2.5, 3.5}, values.size);
    convert::PrimShape& shape = values.shape;
    std::int32_t next = 1001;
    for (std::int32_t* field : {&shape.pathBegin, &shape.pathCurve, &shape.pathEnd, &shape.pathRadiusOffset,
                                &shape.pathRevolutions, &shape.pathScaleX, &shape.pathScaleY, &shape.pathShearX,
                                &shape.pathShearY, &shape.pathSkew, &shape.pathTaperX, &shape.pathTaperY,
                                &shape.pathTwist, &shape.pathTwistBegin, &shape.profileBegin, &shape.profileCurve,
                                &shape.profileEnd, &shape.profileHollow}) {
        *field = next++;
    }
    values.names = {"HalfCircle", "Triangle"};
    const convert::PrimTexts texts{"11111111-2222-3333-4444-555555555555", "720002",
                                   "0123abcd-4567-89ef-0123-456789abcdef", "Door & frame"};
    std::string document(convert::primDocumentBound(texts), '\0');
    document.resize(static_cast<std::size_t>(convert::writePrimDocument(document.data(), values, texts)
                                             - document.data()));
    return document;
}

// The texts of a document's elements in document order, each with its element's path below
// SceneObjectPart, as an XML reader finds them.
std::vector<std::pair<std::string, std::string>> elementTexts(const std::string& document)
{
    pugi::xml_document xml;
    EXPECT_TRUE(xml.load_string(document.c_str()));
    std::vector<std::pair<std::string, std::string>> texts;
    const auto walk = [&texts](const auto& self, pugi::xml_node element, const std::string& path) -> void {
        for (const pugi::xml_node child : element.children()) {
            if (child.type() == pugi::node_pcdata) texts.emplace_back(path, child.value());
            if (child.type() != pugi::node_element) continue;
            self(self, child, path.empty() ? child.name() : path + "/" + child.name());
        }
    };
    walk(walk, xml.child("SceneObjectGroup").child("SceneObjectPart"), "");
    return texts;
}

TEST(ObjectLayout, TheWritersDocumentTokenisesToTheLayoutsIndexes)
{
    const std::string document = writtenDocument();
    extract::ValueList values;
    ASSERT_EQ(extract::tokeniseObjectLine(document, values), extract::TokeniseResult::Complete);
    const auto texts = elementTexts(document);
    ASSERT_EQ(values.size(), kDocumentValues.size());
    ASSERT_EQ(texts.size(), kDocumentValues.size());
    for (std::size_t index = 0; index < kDocumentValues.size(); ++index) {
        EXPECT_EQ(texts[index].first, kDocumentValues[index]) << index;
        // Entity references stand as written in a value; the reader decodes them.
        if (index != value::kName) {
            EXPECT_EQ(values[index], texts[index].second) << index;
        }
    }
    EXPECT_EQ(values[value::kName], "Door &amp; frame");
    EXPECT_EQ(values[value::kPathCurve], "1002");  // each value its own: the shape's second
}

// Messages name a value by its element, a Shape value without "Shape/".
TEST(ObjectLayout, ShapeValuesAreNamedByTheirOwnElement)
{
    EXPECT_EQ(shortElementName(value::kPathCurve), "PathCurve");
    EXPECT_EQ(shortElementName(value::kScaleX), "Scale/X");
    EXPECT_EQ(shortElementName(value::kPositionY), "GroupPosition/Y");
    EXPECT_EQ(shortElementName(kDocumentValues.size()), "");
}

}  // namespace
}  // namespace vantor::scene
