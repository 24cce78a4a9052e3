#pragma once

#include "extract/scene_load.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace vantor::test {

// One object of the real OpenSim-written scene files in ../shared/opensim-samples (or
// VANTOR_OPENSIM_SAMPLES), with its row of objects.csv (name, uuid, pos_x, source_path...).
struct SampleObject {
    std::string file;
    std::size_t number = 0;  // from 1 within its file
    std::string document;
    std::map<std::string, std::string> row;
};

inline std::string wholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The fields of a line of objects.csv: quoted fields may hold commas and "".
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

// Every object of the samples, in file order; empty when the folder is not there.
inline std::vector<SampleObject> sampleObjects()
{
    std::filesystem::path folder;
    if (const char* set = std::getenv("VANTOR_OPENSIM_SAMPLES")) folder = set;
    for (const char* relative : {"/../shared/opensim-samples", "/../../shared/opensim-samples"}) {
        const std::filesystem::path candidate = std::string(VANTOR_SOURCE_DIR) + relative;
        if (folder.empty() && std::filesystem::exists(candidate / "objects.csv")) folder = candidate;
    }
    if (folder.empty()) return {};

    std::vector<SampleObject> samples;
    const std::string csv = wholeFile(folder / "objects.csv");
    std::vector<std::string> names;
    std::map<std::string, extract::SceneLoad> loads;
    for (std::size_t begin = 0; begin < csv.size();) {
        const std::size_t end = std::min(csv.find('\n', begin), csv.size());
        const auto fields = csvFields(std::string_view(csv).substr(begin, end - begin));
        begin = end + 1;
        if (names.empty()) {
            names = fields;
            continue;
        }
        SampleObject& sample = samples.emplace_back();
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) sample.row[names[i]] = fields[i];
        sample.file = sample.row["scene_file"];
        sample.number = std::stoul(sample.row["object_no"]);
        auto found = loads.find(sample.file);
        if (found == loads.end()) found = loads.emplace(sample.file, extract::loadSceneText(wholeFile(folder / sample.file))).first;
        const extract::ObjectLines& objects = found->second.objects;
        if (sample.number >= 1 && sample.number <= objects.size()) sample.document = std::string(objects[sample.number - 1]);
    }
    return samples;
}

}  // namespace vantor::test
