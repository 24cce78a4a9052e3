#pragma once

#include "extract/scene_load.h"
#include "fuzz/fuzz_support.h"

#include <cstddef>

namespace vantor::fuzz {

// The markers of a load: one per position, each where placeMarker puts it, and one per entry
// up to the entry where a cut-off line stopped the load.
inline void checkMarkers(const extract::SceneLoad& load, const extract::MapGeometry& map)
{
    check(load.markers.size() == load.positions.size(), "one marker per position");
    for (std::size_t k = 0; k < load.markers.size(); ++k) {
        check(load.markers[k] == extract::placeMarker(load.positions[k], map), "each marker where its position puts it");
    }
    if (!load.cutOff) {
        check(load.markers.size() == load.objects.size(), "a complete load places every entry");
    } else {
        const std::size_t cutOff = load.cutOff->objectNumber;
        check(cutOff >= 1 && cutOff <= load.objects.size(), "the cut-off entry is in the table");
        check(load.markers.size() == cutOff - 1, "markers until the cut-off entry");
        check(extract::isCutOffLine(load.objects[cutOff - 1]), "the load stopped at a cut-off entry");
    }
}

}  // namespace vantor::fuzz
