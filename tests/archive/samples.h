#pragma once

#include "extract/scene_load.h"
#include "testing/opensim_samples.h"

#include <filesystem>
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

// Every object of the samples, in file order; empty when the folder is not there.
inline std::vector<SampleObject> sampleObjects()
{
    const std::filesystem::path folder = samplesFolder();
    if (folder.empty()) return {};

    std::vector<SampleObject> samples;
    std::map<std::string, extract::SceneLoad> loads;
    for (auto& row : csvRows(folder / "objects.csv")) {
        SampleObject& sample = samples.emplace_back();
        sample.row = std::move(row);
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
