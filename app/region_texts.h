#pragma once

#include "language/language_table.h"
#include "platform/message_box.h"
#include "regions/region_hosts.h"

#include <string>

namespace vantor::app {

struct RegionHostsMessage {
    std::string text;
    platform::MessageIcon icon = platform::MessageIcon::Information;
};

// The message after a region host rewrite: entries 28 and 29 (files updated, restart OpenSim),
// the host and the counts when a file was rewritten; else that every region file already
// announced the host, or that none was rewritten. Then each file left alone with its reason.
// The information icon, or the warning icon when a region file still announces another host
// (it could not be read or written, or leads outside the OpenSim folder). A missing Regions
// folder or a refused host is said instead, with the warning icon.
[[nodiscard]] RegionHostsMessage regionHostsMessage(const language::LanguageTable& texts, const regions::RegionHostsReport& report);

}  // namespace vantor::app
