// Writes a region scene file of many objects in the layout OpenSim 0.9.1 and later saves
// with `save xml2`: "<scene>", then every object on line 2, then "</scene>". Objects are
// spread over the whole region; every tenth is a linkset of four parts with a turned root, and
// every seventh carries task inventory and CreatorData. The objects are written as the tests'
// OpenSim fixtures write them.
//
//   make_opensim_scene FOLDER [COUNT]   writes FOLDER/opensim<COUNT>.xml (COUNT defaults to 50000)

#include "bench/pseudo_random.h"

#include "platform/std_platform.h"
#include "testing/opensim_fixture.h"
#include "text/number_forms.h"

#include <charconv>
#include <iostream>
#include <string>
#include <string_view>

namespace {

std::string decimal(double value)
{
    std::string text;
    vantor::text::appendDecimal(text, value);
    return text;
}

vantor::test::OpenSimObject makeObject(std::size_t i, vantor::bench::PseudoRandom& random)
{
    vantor::test::OpenSimObject object;
    object.position = {decimal(random.next(0.5, 255.5)), decimal(random.next(0.5, 255.5)),
                       decimal(random.next(20, 80))};
    auto& root = object.parts[0];
    root.name = "Region object " + std::to_string(i + 1);
    root.scale = {decimal(random.next(0.1, 10)), decimal(random.next(0.1, 10)), decimal(random.next(0.1, 10))};
    if (i % 7 == 0) {
        root.inventoryItems = 2;
        root.creatorData = true;
    }
    if (i % 10 == 0) {
        root.rotation = {"0", "0", "0.7071068", "0.7071068"};
        root.linkNum = "1";
        const std::string rootName = root.name;  // the parts grow below, moving the root
        for (int k = 2; k <= 4; ++k) {
            vantor::test::OpenSimPart child;
            child.name = rootName + " part " + std::to_string(k);
            child.linkNum = std::to_string(k);
            child.offset = {decimal(random.next(-2, 2)), decimal(random.next(-2, 2)), decimal(random.next(-1, 1))};
            child.shape = {{"ProfileShape", "Circle"}, {"ProfileCurve", "0"}, {"PathCurve", k == 3 ? "32" : "16"}};
            object.parts.push_back(child);
        }
    }
    return object;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: make_opensim_scene FOLDER [COUNT]\n";
        return 2;
    }
    std::size_t count = 50000;
    if (argc == 3) {
        const std::string_view text = argv[2];
        if (std::from_chars(text.data(), text.data() + text.size(), count).ec != std::errc{} || count == 0) {
            std::cerr << "make_opensim_scene: COUNT must be a positive number\n";
            return 2;
        }
    }
    const std::string path = std::string(argv[1]) + "/opensim" + std::to_string(count) + ".xml";
    vantor::platform::StdFileSystem files;
    std::string reason;
    auto out = files.create(path, &reason);
    if (!out) {
        std::cerr << "make_opensim_scene: cannot write " << path << ": " << reason << "\n";
        return 1;
    }
    vantor::bench::PseudoRandom random{20260101};
    out->write("<scene>\n");
    for (std::size_t i = 0; i < count; ++i) {
        out->write(vantor::test::openSimObjectXml(makeObject(i, random), static_cast<int>(i + 1)));
    }
    out->write("</scene>\n");
    if (!out->commit(&reason)) {
        std::cerr << "make_opensim_scene: cannot write " << path << ": " << reason << "\n";
        return 1;
    }
    std::cout << path << "\n";
    return 0;
}
