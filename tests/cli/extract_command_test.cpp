// Tests of vantor-cli extract.
#include "cli/cli.h"

#include "convert/number_forms.h"
#include "extract/object_line_fixture.h"
#include "extract/object_lines.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vantor::cli {
namespace {

using Names = std::vector<std::string>;
using test::objectAt;

// The value lists of the object lines of a scene file.
std::vector<extract::ValueList> objectValues(const std::string& sceneText)
{
    std::vector<extract::ValueList> objects;
    for (std::size_t begin = 0, end = 0; (end = sceneText.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
        if (end - begin <= 10) continue;
        objects.emplace_back();
        (void)extract::TokeniseObjectLine(std::string_view(sceneText).substr(begin, end - begin), objects.back());
    }
    return objects;
}

class ExtractCommand : public ::testing::Test {
protected:
    ExtractCommand() { files.addFolder("/w"); }

    ExitCode run(const std::vector<std::string_view>& args)
    {
        out.str({});
        err.str({});
        return runCli(args, out, err, Services{files, random, clock});
    }

    void writeScene(const std::vector<std::string>& objects)
    {
        std::string text = "<scene>\r\n\r\n";
        for (const auto& object : objects) text += object + "\r\n";
        files.files["/w/region.xml"] = text + "\r\n</scene>\r\n";
    }

    Names namesIn(const std::string& path)
    {
        Names names;
        for (const auto& values : objectValues(files.files.at(path))) {
            names.emplace_back(values.size() > 19 ? values[19] : "(cut off)");
        }
        return names;
    }

    test::FakeFileSystem files;
    test::FakeRandom random;
    test::FakeClock clock;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(ExtractCommand, KeepsTheObjectsStrictlyInsideOrOutsideTheRectangle)
{
    writeScene({objectAt("10", "10", "a"), objectAt("100", "200", "b"), objectAt("50", "200", "edge"),
                objectAt("149", "230", "c"), objectAt("300", "5", "d")});
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/all.xml"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(out.str(), "Loaded 5 objects from /w/region.xml\nExported 5 objects to /w/all.xml and /w/all.txt\n");
    EXPECT_EQ(files.files.count("/w/all.txt"), 1u);
    for (const std::string_view corners : {"50,181,150,231", "150,231,50,181", "50,231,150,181"}) {
        ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/in.xml", "--rect", corners}), ExitCode::Ok);
        EXPECT_EQ(namesIn("/w/in.xml"), (Names{"b", "c"})) << corners;
    }
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/out.xml", "--rect", "50,181,150,231", "--invert"}),
              ExitCode::Ok);
    EXPECT_EQ(namesIn("/w/out.xml"), (Names{"a", "d"}));
}

TEST_F(ExtractCommand, ExitCodesSayWhatWentWrong)
{
    writeScene({objectAt("10", "10"), objectAt("10", "north")});
    files.files["/w/locked.xml"] = files.files["/w/region.xml"];
    files.unreadable.insert("/w/locked.xml");
    for (const auto& args : std::vector<std::vector<std::string_view>>{
             {"extract", "/w/missing.xml", "--out", "/w/o.xml"},
             {"extract", "/w/locked.xml", "--out", "/w/o.xml"},
             {"extract", "/w/region.xml"},
             {"extract", "/w/region.xml", "--out", "/w/o.xml", "--invert"},
             {"extract", "/w/region.xml", "--out", "/w/o.xml", "--rect", "1,2,3"},
             {"extract", "/w/region.xml", "--out", "/w/o.xml", "--rect", "1,2,3,x"}}) {
        EXPECT_EQ(run(args), ExitCode::Usage) << args[1] << " " << args.back();
    }
    EXPECT_EQ(run({"extract", "/w/region.xml", "--out", "/w/o.xml"}), ExitCode::Failed);
    EXPECT_NE(err.str().find("line 4"), std::string::npos) << err.str();
    EXPECT_EQ(files.files.count("/w/o.xml"), 0u);

    writeScene({objectAt("10", "10"), test::objectLine({{"name", "Lamp"}, {"pathCurve", "curved"}})});
    EXPECT_EQ(run({"extract", "/w/region.xml", "--out", "/w/o.xml"}), ExitCode::Failed);
    EXPECT_NE(err.str().find("object 2 (\"Lamp\")"), std::string::npos) << err.str();
    EXPECT_EQ(files.files.count("/w/o.xml"), 1u);
    EXPECT_EQ(files.files.count("/w/o.txt"), 0u);
}

TEST_F(ExtractCommand, ACutOffLineEndsTheRectangleButFailsTheWholeTable)
{
    writeScene({objectAt("100", "200", "kept"), "<a>1</a><b>2</b><c", objectAt("101", "201", "after")});
    EXPECT_EQ(run({"extract", "/w/region.xml", "--out", "/w/all.xml"}), ExitCode::Failed);
    EXPECT_EQ(namesIn("/w/all.xml"), (Names{"kept", "(cut off)", "after"}));
    EXPECT_EQ(files.files.count("/w/all.txt"), 0u);
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/sel.xml", "--rect", "0,0,256,256"}), ExitCode::Ok);
    EXPECT_EQ(namesIn("/w/sel.xml"), (Names{"kept"}));
}

TEST_F(ExtractCommand, RoundTripsTheExampleHouse)
{
    std::ifstream example(VANTOR_SOURCE_DIR "/examples/house.txt", std::ios::binary);
    files.files["/w/house.txt"] = std::string(std::istreambuf_iterator<char>(example), {});
    ASSERT_EQ(run({"convert", "/w/house.txt", "--out-dir", "/w", "--name", "house"}), ExitCode::Ok) << err.str();
    ASSERT_EQ(run({"extract", "/w/house.xml", "--out", "/w/copy.xml"}), ExitCode::Ok) << err.str();
    ASSERT_EQ(run({"convert", "/w/copy.txt", "--out-dir", "/w", "--name", "again", "--rez", "140,90,30"}),
              ExitCode::Ok)
        << err.str();

    const auto first = objectValues(files.files.at("/w/house.xml"));
    const auto again = objectValues(files.files.at("/w/again.xml"));
    ASSERT_EQ(first.size(), again.size());
    ASSERT_GE(first.size(), 7u);
    // Every prim keeps its name and every value from its offset on; the build moves as one piece.
    const auto move = [&](std::size_t k, std::size_t axis) {
        return *convert::parseNumber(again[k][22 + axis]) - *convert::parseNumber(first[k][22 + axis]);
    };
    for (std::size_t k = 0; k < first.size(); ++k) {
        EXPECT_EQ(first[k][19], again[k][19]);
        EXPECT_EQ(Names(first[k].begin() + 25, first[k].end()), Names(again[k].begin() + 25, again[k].end()));
        for (std::size_t axis = 0; axis < 3; ++axis) EXPECT_NEAR(move(k, axis), move(0, axis), 1e-9);
    }
}

}  // namespace
}  // namespace vantor::cli
