#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::archive {

// The longest entry name: names of 100 bytes and more need a GNU long-name entry, which
// some tar readers lose.
inline constexpr std::size_t kLongestEntryName = 99;

inline constexpr std::string_view kNilUuid = "00000000-0000-0000-0000-000000000000";

// A point in the region, in metres.
struct RegionPosition {
    double x = 0;
    double y = 0;
    double z = 0;
    friend bool operator==(const RegionPosition&, const RegionPosition&) = default;
};

// What an object's entry is named after: its root part's name, position and UUID.
struct ObjectIdentity {
    std::string name;
    RegionPosition position;
    std::string uuid;
    friend bool operator==(const ObjectIdentity&, const ObjectIdentity&) = default;
};

// The UUID in its canonical form (8-4-4-4-12 hexadecimal digits, lower case); nothing for
// text of any other form.
[[nodiscard]] std::optional<std::string> canonicalUuid(std::string_view text);

// The entry an object is stored under, in the form OpenSim gives it:
// "objects/NAME_X-Y-Z__UUID.xml", each coordinate rounded half to even and written with at
// least three digits. The name keeps letters, digits, blanks, '-', '_' and '.' (every other
// character becomes one '_'), loses blanks and dots at its start and blanks at its end, is
// "Object" when nothing is left, and is shortened so that the whole entry name holds at most
// kLongestEntryName bytes. A coordinate that is no number counts as 0, and one beyond the
// written range as the range's end. A UUID of any other form than canonicalUuid's gives the
// nil UUID.
[[nodiscard]] std::string objectEntryName(const ObjectIdentity& identity);

// The name, position and UUID of the object's root part (its first SceneObjectPart): Name,
// GroupPosition and UUID (or, from 2009 on, the Guid inside it); empty text or 0 for what it
// lacks. Nothing when the document is no XML or holds no part.
[[nodiscard]] std::optional<ObjectIdentity> describeObject(std::string_view document);

// The asset types an archive can carry, numbered as OpenSim numbers them.
enum class AssetType : std::int8_t {
    Material = -2,
    Texture = 0,
    Sound = 1,
    CallingCard = 2,
    Landmark = 3,
    Clothing = 5,
    Object = 6,
    Notecard = 7,
    Folder = 8,
    Script = 10,
    ScriptBytecode = 11,
    TextureTga = 12,
    BodyPart = 13,
    SoundWav = 17,
    ImageTga = 18,
    ImageJpeg = 19,
    Animation = 20,
    Gesture = 21,
    Simstate = 22,
    Mesh = 49,
};

// An asset's entry: "assets/UUID_SUFFIX", the suffix telling its type.
struct AssetName {
    std::string uuid;
    AssetType type = AssetType::Texture;
    friend bool operator==(const AssetName&, const AssetName&) = default;
};

// The suffix OpenSim's loader knows the type by ("_texture.jp2"); nothing for a value
// outside the enumeration.
[[nodiscard]] std::optional<std::string_view> assetSuffix(AssetType type);

// The asset's entry name with its UUID in canonical form; nothing when the UUID is no UUID
// or the type has no suffix.
[[nodiscard]] std::optional<std::string> assetEntryName(const AssetName& asset);

// The asset an entry of a region archive holds ("assets/UUID_SUFFIX", "./" before it
// allowed), with its UUID in canonical form; nothing for any other entry, or for an asset
// whose suffix OpenSim's loader would not know.
[[nodiscard]] std::optional<AssetName> parseAssetEntryName(std::string_view path);

}  // namespace vantor::archive
