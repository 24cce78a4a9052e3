// Writes a region scene file of many objects for the extraction benchmark: a prim listing of
// every prim type spread over the whole region, converted by the conversion run itself, so
// the file is exactly what users load.
//
//   make_region_scene FOLDER [COUNT]   writes FOLDER/region<COUNT>.xml (COUNT defaults to 50000)

#include "bench/listing_text.h"
#include "bench/pseudo_random.h"

#include "convert/conversion_run.h"
#include "platform/std_platform.h"
#include "text/number_forms.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

namespace {

void appendVector(std::string& out, std::initializer_list<double> values)
{
    vantor::bench::appendVector(out, values, vantor::text::appendDecimal);
}

std::string makeListing(std::size_t count)
{
    vantor::bench::PseudoRandom random{20260101};
    std::string listing = "[9:05]  Rezzer: <128, 128, 20>\r\n";
    listing.reserve(count * 330);
    for (std::size_t i = 0; i < count; ++i) {
        const int type = static_cast<int>(i % 7);
        listing += "[9:05]  Region prim " + std::to_string(i + 1) + ": 1, ";
        appendVector(listing, {random.next(0.5, 255.5), random.next(0.5, 255.5), random.next(20, 80)});
        listing += ", <0, 0, 0, 1>, ";
        appendVector(listing, {random.next(0.1, 10), random.next(0.1, 10), random.next(0.1, 10)});
        listing += ", \r\n";
        listing += std::to_string(type) + ", " + std::to_string((i % 4) * 16) + ", ";
        appendVector(listing, {0, 1, 0});
        listing += ", 0.25, <0, 0, 0>, ";
        appendVector(listing, {1, type == 3 ? 1.0 : 0.5, 0});
        listing += ", <0.1, 0, 0>, <0, 1, 0>, <0, 0, 0>, 1.5, 0, 0, 0\r\n";
    }
    return listing;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: make_region_scene FOLDER [COUNT]\n";
        return 2;
    }
    std::size_t count = 50000;
    if (argc == 3) {
        const std::string_view text = argv[2];
        if (std::from_chars(text.data(), text.data() + text.size(), count).ec != std::errc{} || count == 0) {
            std::cerr << "make_region_scene: COUNT must be a positive number\n";
            return 2;
        }
    }
    vantor::convert::ConversionRequest request;
    request.listingText = makeListing(count);
    request.rezX = "128";
    request.rezY = "128";
    request.rezZ = "20";
    request.ownerUuid = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";
    request.localIdCounter = "720000";
    request.outputFolder = argv[1];
    request.outputName = "region" + std::to_string(count);
    request.replaceExisting = true;
    vantor::platform::StdFileSystem files;
    vantor::platform::StdRandomSource random;
    const auto report = vantor::convert::runConversion(request, files, random);
    if (!report || static_cast<std::size_t>(report.primCount) != count) {
        std::cerr << "make_region_scene: the conversion wrote " << report.primCount << " of " << count
                  << " objects\n";
        return 1;
    }
    std::cout << report.scenePath << "\n";
    return 0;
}
