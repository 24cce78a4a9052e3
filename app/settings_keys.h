#pragma once

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

inline constexpr const char* kDefaultLanguageAtFill = "None";
inline constexpr const char* kDefaultRezX = "125";
inline constexpr const char* kDefaultRezY = "125";
inline constexpr const char* kDefaultRezZ = "25";
inline constexpr const char* kDefaultOwnerUuid = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";

}  // namespace vantor::app::settings
