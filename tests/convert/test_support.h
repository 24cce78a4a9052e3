#pragma once

#include "convert/conversion_run.h"
#include "testing/failures.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Listings, files and scene documents for the conversion tests.
namespace vantor::test {

inline const std::string kOwner = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";
inline const std::string kHeader = "[9:05]  Rezzer: <100, 100, 30>";
inline const std::string kLineB = "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

inline std::string lineA(const std::string& name, const std::string& x = "128.5")
{
    return "[9:05]  " + name + ": 1, <" + x + ", 130.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ";
}

// Every line followed by CR LF.
inline std::string crlf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The text of the first element named tag.
inline std::string element(std::string_view document, const std::string& tag)
{
    const auto begin = document.find("<" + tag + ">");
    if (begin == std::string::npos) return "(missing)";
    const auto from = begin + tag.size() + 2;
    return std::string(document.substr(from, document.find("</" + tag + ">", from) - from));
}


// A request for the listing with the window's first-run values, writing maison.xml into /os.
inline convert::ConversionRequest requestFor(std::string listing)
{
    convert::ConversionRequest request;
    request.listingText = std::move(listing);
    request.rezX = request.rezY = "125";
    request.rezZ = "25";
    request.ownerUuid = kOwner;
    request.localIdCounter = "720001";
    request.outputFolder = "/os";
    request.outputName = "maison";
    return request;
}

// Keeps a run's progress reports. From the report numbered throwAt on (from 1; 0: never) it
// throws; at the report numbered stopAt (0: never) it asks the run to stop.
struct ProgressLog {
    std::vector<convert::ConversionProgress> reports;
    std::size_t throwAt = 0;
    std::size_t stopAt = 0;

    convert::ProgressCallback callback()
    {
        return [this](const convert::ConversionProgress& progress) {
            if (throwAt != 0 && reports.size() + 1 >= throwAt) throw std::runtime_error("window closed");
            reports.push_back(progress);
            return stopAt == 0 || reports.size() < stopAt;
        };
    }
};

}  // namespace vantor::test
