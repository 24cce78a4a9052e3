#pragma once

#include "app/language_table.h"
#include "app/region_hosts.h"
#include "platform/message_box.h"

#include <string>

namespace vantor::app {

struct RegionHostsMessage {
    std::string text;
    platform::MessageIcon icon = platform::MessageIcon::Information;
};

// The message after a region host rewrite: entries 28 and 29, then the host, the counts and
// each file left alone with its reason; the information icon, or the warning icon when a
// region file could not be read or written. A missing Regions folder or a refused host is said
// instead, with the warning icon.
[[nodiscard]] RegionHostsMessage regionHostsMessage(const LanguageTable& texts, const RegionHostsReport& report);

}  // namespace vantor::app
