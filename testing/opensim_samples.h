#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <algorithm>
#include <vector>

// The real OpenSim-written scene files of ../shared/opensim-samples (or VANTOR_OPENSIM_SAMPLES),
// with the true positions of every object and part in objects.csv and parts.csv. Tests that
// use them define VANTOR_SOURCE_DIR, and skip when the folder is not there.
namespace vantor::test {

// The samples' folder, or empty when it is not there.
inline std::filesystem::path samplesFolder()
{
    if (const char* set = std::getenv("VANTOR_OPENSIM_SAMPLES")) return set;
    for (const char* relative : {"/../shared/opensim-samples", "/../../shared/opensim-samples"}) {
        const std::filesystem::path folder = std::string(VANTOR_SOURCE_DIR) + relative;
        if (std::filesystem::exists(folder / "objects.csv")) return folder;
    }
    return {};
}

inline std::string wholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The fields of a line of a CSV file: quoted fields may hold commas and "".
inline std::vector<std::string> csvFields(std::string_view line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

// The rows of a CSV file as maps from column name (its first line) to text.
inline std::vector<std::map<std::string, std::string>> csvRows(const std::filesystem::path& path)
{
    const std::string csv = wholeFile(path);
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<std::string> names;
    for (std::size_t begin = 0; begin < csv.size();) {
        const std::size_t end = std::min(csv.find('\n', begin), csv.size());
        const std::vector<std::string> fields = csvFields(std::string_view(csv).substr(begin, end - begin));
        begin = end + 1;
        if (names.empty()) {
            names = fields;
            continue;
        }
        auto& row = rows.emplace_back();
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) row[names[i]] = fields[i];
    }
    return rows;
}

}  // namespace vantor::test
