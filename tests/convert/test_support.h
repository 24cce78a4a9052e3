#pragma once

#include "convert/conversion_run.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
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

// Answers the run's questions as told and keeps what it was asked and told.
class ScriptedHost final : public convert::ConversionHost {
public:
    std::string answer = "maison";
    bool overwrite = true;
    bool replaceUnasked = false;
    std::size_t throwAt = 0;  // throws from this many records on, when not 0
    std::vector<std::string> proposals, overwriteQuestions;
    std::vector<convert::ConversionProgress> progress;

    std::string askOutputName(const std::string& proposed) override
    {
        proposals.push_back(proposed);
        return answer;
    }
    bool confirmOverwrite(const std::string& path) override
    {
        overwriteQuestions.push_back(path);
        return overwrite;
    }
    bool replacesUnasked() const override { return replaceUnasked; }
    void recordConverted(const convert::ConversionProgress& p) override
    {
        if (throwAt != 0 && p.recordsDone == throwAt) throw std::runtime_error("window closed");
        progress.push_back(p);
    }
};

}  // namespace vantor::test
