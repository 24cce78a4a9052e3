// Linked objects and region archives out of a conversion, read back by the extractor: the
// world position and rotation it computes for every part must be the listing's.
#include "convert/conversion_run.h"
#include "extract/listing_record.h"
#include "extract/scene_archive.h"
#include "extract/selection_export.h"

#include "convert/test_support.h"
#include "testing/fake_platform.h"
#include "testing/record_reference.h"
#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::extract {
namespace {

// The listing's rez position minus the request's: what a run subtracts from every position.
constexpr double kShift[3] = {100 - 125, 100 - 125, 30 - 25};
using test::kHeader;

struct Prim {
    std::string linkNumber;  // field 0
    std::string name;
    double position[3];
    double rotation[4];
    std::string size;
    std::string lineB;
};

const std::string kBox = "0, 16, <0.25, 0.8, 0>, 0.5, <0, 0, 0>, <0.5, 1, 0>, <-0.3, 0, 0>, 0";
const std::string kCylinder = "1, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0.5, 0>, 0";
const std::string kTorus =
    "4, 0, <0.1, 1, 0>, 0, <0, 0.5, 0>, <1, 0.25, 0>, <0, 0, 0>, <0, 1, 0>, <-0.5, 0, 0>, 1, 0, 0, 0";

// A gate of three parts turned a quarter about Z, a prim alone, and a two-part object whose root
// is turned about a slanted axis and not quite of unit length, as a listing prints it.
const std::vector<Prim> kPrims = {
    {"1", "Gate", {120.25, 80.5, 22}, {0, 0, 0.7071068, 0.7071068}, "<4, 0.2, 3>", kBox},
    {"2", "Post", {120.25, 82.0000000798187, 20.9999999467875}, {0.5, 0.5, 0.5, 0.5}, "<0.3, 0.3, 3>", kCylinder},
    {"3", "Ring", {120.25, 80.5, 24.000000106425}, {0, 0, 0.7071068, 0.7071068}, "<1, 1, 0.25>", kTorus},
    {"1", "Lone", {90, 91, 23}, {0, 0, 0, 1}, "<1, 1, 1>", kBox},
    {"1", "Base", {70.5, 60.25, 21}, {0.1, 0.2, 0.3, 0.9273618}, "<2, 1, 0.5>", kCylinder},
    {"2", "Arm & hand", {73.75, 58, 25.5}, {-0.3, 0.1, 0.6, 0.7348469}, "<0.2, 3, 0.2>", kBox},
};

std::string number(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value);
    return text;
}

std::string listingOf(const std::vector<Prim>& prims)
{
    std::string listing = kHeader + "\r\n";
    for (const Prim& prim : prims) {
        listing += "[9:05]  " + prim.name + ": " + prim.linkNumber + ", <" + number(prim.position[0]) + ", " +
                   number(prim.position[1]) + ", " + number(prim.position[2]) + ">, <" + number(prim.rotation[0]) +
                   ", " + number(prim.rotation[1]) + ", " + number(prim.rotation[2]) + ", " +
                   number(prim.rotation[3]) + ">, " + prim.size + ", \r\n" + prim.lineB + "\r\n";
    }
    return listing;
}

class LinkedObjects : public ::testing::Test {
protected:
    LinkedObjects() { files.addFolder("/os"); }

    // Every output is named "maison" and replaces earlier files.
    convert::ConversionReport convert(const std::string& listing, std::array<std::string, 3> rez = {"125", "125", "25"})
    {
        convert::ConversionRequest request = test::requestFor(listing);
        request.rezX = rez[0];
        request.rezY = rez[1];
        request.rezZ = rez[2];
        request.replaceExisting = true;
        request.linkObjects = link;
        request.format = format;
        test::FakeRandom random;
        return convert::runConversion(request, files, random);
    }

    // Every part of the scene file's objects, as the extractor lists it, must be the prim of the
    // listing, in the listing's order: its world position within 1 mm, rotation within 1e-5, size
    // and shape values as given.
    void expectSameParts(const std::string& scene, const std::vector<Prim>& prims,
                         const std::vector<std::size_t>& partsPerObject)
    {
        const SceneLoad load = loadSceneText(scene);
        ASSERT_TRUE(load && !load.cutOff);
        ASSERT_EQ(load.objects.size(), partsPerObject.size());
        std::size_t next = 0;
        for (std::size_t k = 0; k < load.objects.size(); ++k) {
            const BuiltText built = builder.buildListingRecord(load.objects[k]);
            ASSERT_TRUE(built) << "object " << k;
            const auto lines = text::splitLines(built.text);
            ASSERT_EQ(lines.size(), 2 * partsPerObject[k]) << "object " << k;
            for (std::size_t part = 0; part < partsPerObject[k]; ++part) {
                const Prim& prim = prims[next++];
                SCOPED_TRACE(prim.name);
                const auto record = test::parseRecordPlainly("\n" + std::string(lines[2 * part]) + "\r\n" +
                                                             std::string(lines[2 * part + 1]) + "\r");
                const auto given = test::parseRecordPlainly("\n[9:05]  x: 1, <0,0,0>, <0,0,0,1>, " + prim.size +
                                                            ", \r\n" + prim.lineB + "\r");
                ASSERT_TRUE(record && given);
                EXPECT_EQ(record->name, prim.name);
                EXPECT_EQ(record->fields[0], std::to_string(part + 1));
                ASSERT_EQ(record->fields.size(), given->fields.size());
                for (std::size_t i = 1; i < given->fields.size(); ++i) {
                    const double expected = i < 4   ? prim.position[i - 1] - kShift[i - 1]
                                            : i < 8 ? prim.rotation[i - 4]
                                                    : std::stod(given->fields[i]);
                    EXPECT_NEAR(std::stod(record->fields[i]), expected, i < 4 ? 1e-3 : i < 8 ? 1e-5 : 1e-9) << i;
                }
            }
        }
    }

    test::FakeFileSystem files;
    test::FakeClock clock;
    ListingRecordBuilder builder{clock};
    bool link = true;
    convert::OutputFormat format = convert::OutputFormat::SceneFile;
};

TEST_F(LinkedObjects, RoundTripsKeepThePartsAtTheListingsWorldPlaces)
{
    ASSERT_TRUE(convert(listingOf(kPrims)));
    const std::string scene = files.files.at("/os/maison.xml");
    const SceneLoad load = loadSceneText(scene);
    expectSameParts(scene, kPrims, {3, 1, 2});

    // As OpenSim writes a linkset: the root first with LinkNum 1, the others under OtherParts
    // with the root's LocalID as parent and its position as group position; a prim alone as ever.
    const std::string_view gate = load.objects[0];
    EXPECT_EQ(test::element(gate, "LinkNum"), "1");
    EXPECT_EQ(test::element(gate, "ParentID"), "0");
    const std::string_view post = gate.substr(gate.find("<OtherParts><SceneObjectPart"));
    EXPECT_EQ(test::element(post, "LinkNum"), "2");
    EXPECT_EQ(test::element(post, "ParentID"), "720002");
    EXPECT_EQ(test::element(post, "GroupPosition"), test::element(gate, "GroupPosition"));
    EXPECT_TRUE(gate.ends_with("</SceneObjectPart></OtherParts></SceneObjectGroup>"));
    EXPECT_EQ(test::element(load.objects[1], "LinkNum"), "0");
    EXPECT_NE(load.objects[1].find("<OtherParts /></SceneObjectGroup>"), std::string_view::npos);

    // Scene file -> listing -> scene file: the listing the export writes numbers the parts.
    test::FakeFileSystem exported;
    exported.addFolder("/w");
    ASSERT_TRUE(exportSelection(load.objects, "/w/copy.xml", clock, exported));
    const std::string listing = exported.files.at("/w/copy.txt");
    double rez[3] = {};
    ASSERT_EQ(std::sscanf(listing.c_str(), "[%*d:%*d]  Rezzer: <%lf, %lf, %lf>", &rez[0], &rez[1], &rez[2]), 3);
    // Converted at the header's position, the parts are linked as before, at the same places.
    const auto again = convert(listing, {number(rez[0]), number(rez[1]), number(rez[2])});
    ASSERT_TRUE(again);
    expectSameParts(files.files.at("/os/maison.xml"), kPrims, {3, 1, 2});
}

TEST_F(LinkedObjects, FieldZeroOfOneBeginsAnObject)
{
    struct Row {
        const char* what;
        bool link;
        std::vector<std::string> linkNumbers;
        std::vector<std::size_t> partsPerObject;
    };
    for (const Row& row : std::vector<Row>{
             {"counts of shape values, as earlier listings give", true, {"7", "12", "6", "7"}, {4}},
             {"link numbers", true, {"1", "2", "3", "1", "2", "1"}, {3, 2, 1}},
             {"a first record that is no 1 begins an object all the same; 1.0 is no 1", true, {"2", "1", "1.0"}, {1, 2}},
             {"without linking every record is an object", false, {"1", "2", "3"}, {1, 1, 1}},
         }) {
        link = row.link;
        std::vector<Prim> prims;
        for (std::size_t i = 0; i < row.linkNumbers.size(); ++i) {
            Prim prim = kPrims[i % kPrims.size()];
            prim.linkNumber = row.linkNumbers[i];
            prims.push_back(prim);
        }
        const auto report = convert(listingOf(prims));
        ASSERT_TRUE(report) << row.what;
        EXPECT_EQ(report.objectCount, static_cast<int>(row.partsPerObject.size())) << row.what;
        SCOPED_TRACE(row.what);
        expectSameParts(files.files.at("/os/maison.xml"), prims, row.partsPerObject);
    }
}

TEST_F(LinkedObjects, PartsOfARootWithoutATurnStopTheRun)
{
    // A root rotation of length 0 has no inverse: the part after it cannot be placed.
    std::vector<Prim> prims = {kPrims[0], kPrims[1]};
    for (double& value : prims[0].rotation) value = 0;
    files.files["/os/maison.xml"] = "earlier";
    const auto report = convert(listingOf(prims));
    EXPECT_EQ(test::errorOf(report), convert::ConversionError::RecordNotConverted);
    EXPECT_NE(test::failureOf(report).recordText.find("Post: 2"), std::string::npos);
    EXPECT_EQ(files.files.at("/os/maison.xml"), "earlier");
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 0u);
}

TEST_F(LinkedObjects, ARegionArchiveHoldsTheObjectsOfTheSceneFile)
{
    ASSERT_TRUE(convert(listingOf(kPrims)));
    format = convert::OutputFormat::RegionArchive;
    const auto report = convert(listingOf(kPrims));
    ASSERT_TRUE(report) << test::failureOf(report).reason;
    EXPECT_EQ(files.files.at("/os/maison.oar_SLbase.txt"), files.files.at("/os/maison.xml_SLbase.txt"));
    const SceneLoad fromFile = loadSceneText(files.files.at("/os/maison.xml"));
    const SceneLoad fromArchive = loadSceneArchive(files.files.at("/os/maison.oar"));
    ASSERT_TRUE(fromArchive && !fromArchive.cutOff) << test::failureOf(fromArchive).reason;
    EXPECT_EQ(std::vector<std::string_view>(fromArchive.objects.begin(), fromArchive.objects.end()),
              std::vector<std::string_view>(fromFile.objects.begin(), fromFile.objects.end()));

    files.files["/os/maison.oar"] = "earlier";
    // A listing of no record gives no archive, which would only empty a region loaded without --merge.
    const auto empty = convert(kHeader + "\r\n");
    EXPECT_EQ(test::errorOf(empty), convert::ConversionError::OutputFailed);
    EXPECT_EQ(test::failureOf(empty).path, "/os/maison.oar");
    EXPECT_EQ(files.files.at("/os/maison.oar"), "earlier");
}

}  // namespace
}  // namespace vantor::extract
