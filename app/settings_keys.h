#pragma once

#include "convert/conversion_run.h"

namespace vantor::app::settings {

// Every setting lives in this section of the store of the application Vantor.
inline constexpr const char* kSection = "param";

inline constexpr const char* kLanguage = "Langue";
inline constexpr const char* kOpenSimFolder = "CheminOS";
inline constexpr const char* kRezX = "X";
inline constexpr const char* kRezY = "Y";
inline constexpr const char* kRezZ = "Z";
inline constexpr const char* kOwnerUuid = "UUID";
inline constexpr const char* kLastFolder = "Charger";
inline constexpr const char* kLinkObjects = "Lier";     // "1" when "Générer XML" links objects, else "0"
inline constexpr const char* kOutputFormat = "Format";  // "xml" (a scene file) or "oar" (a region archive)

inline constexpr const char* kDefaultLanguageAtFill = "None";
inline constexpr const char* kDefaultRezX = convert::kDefaultRezX;
inline constexpr const char* kDefaultRezY = convert::kDefaultRezY;
inline constexpr const char* kDefaultRezZ = convert::kDefaultRezZ;
inline constexpr const char* kDefaultOwnerUuid = convert::kDefaultOwnerUuid;
inline constexpr const char* kDefaultOutputFormat = "xml";

}  // namespace vantor::app::settings
