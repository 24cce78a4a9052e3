#include "entry_names.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace vantor::archive {

namespace {

constexpr std::string_view kObjectsFolder = "objects/";
constexpr std::string_view kAssetsFolder = "assets/";

// The coordinates an entry name can show: six characters at most, so that a long name keeps
// room. Objects stand far inside this range; anything beyond it is no real position.
constexpr double kLowestCoordinate = -99999;
constexpr double kHighestCoordinate = 999999;

constexpr std::array<std::pair<AssetType, std::string_view>, 20> kAssetSuffixes{{
    {AssetType::Material, "_material.xml"},
    {AssetType::Texture, "_texture.jp2"},
    {AssetType::Sound, "_sound.ogg"},
    {AssetType::CallingCard, "_callingcard.txt"},
    {AssetType::Landmark, "_landmark.txt"},
    {AssetType::Clothing, "_clothing.txt"},
    {AssetType::Object, "_object.xml"},
    {AssetType::Notecard, "_notecard.txt"},
    {AssetType::Folder, "_folder.txt"},
    {AssetType::Script, "_script.lsl"},
    {AssetType::ScriptBytecode, "_bytecode.lso"},
    {AssetType::TextureTga, "_texture.tga"},
    {AssetType::BodyPart, "_bodypart.txt"},
    {AssetType::SoundWav, "_sound.wav"},
    {AssetType::ImageTga, "_image.tga"},
    {AssetType::ImageJpeg, "_image.jpg"},
    {AssetType::Animation, "_animation.bvh"},
    {AssetType::Gesture, "_gesture.txt"},
    {AssetType::Simstate, "_simstate.bin"},
    {AssetType::Mesh, "_mesh.llmesh"},
}};

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-'
        || c == '_' || c == '.';
}

// OpenSim holds positions in single precision and rounds them half to even.
long long roundedCoordinate(double value)
{
    if (!std::isfinite(value)) return 0;
    const double single = static_cast<float>(std::clamp(value, kLowestCoordinate, kHighestCoordinate));
    double whole = std::floor(single);
    const double fraction = single - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    return static_cast<long long>(whole);
}

// At least three digits, as OpenSim writes them: 7 as "007", -3 as "-003".
std::string coordinateText(double value)
{
    const long long rounded = roundedCoordinate(value);
    std::string digits = std::to_string(rounded < 0 ? -rounded : rounded);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return rounded < 0 ? "-" + digits : digits;
}

// Every character outside the kept set becomes one '_', a character of several UTF-8 bytes
// (or a run of stray continuation bytes) included.
std::string safeName(std::string_view name)
{
    std::string safe;
    safe.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const char c = name[i++];
        if (static_cast<unsigned char>(c) < 0x80) {
            safe += isNameCharacter(c) ? c : '_';
            continue;
        }
        while (i < name.size() && (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) ++i;
        safe += '_';
    }
    return safe;
}

std::string_view trimmedName(std::string_view name)
{
    const std::size_t first = name.find_first_not_of(" .");
    if (first == std::string_view::npos) return {};
    name.remove_prefix(first);
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

double coordinate(const pugi::xml_node& vector, const char* upper, const char* lowerName)
{
    pugi::xml_node axis = vector.child(upper);
    if (!axis) axis = vector.child(lowerName);
    const std::string_view text = axis.child_value();
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() ? value : 0;
}

}  // namespace

std::optional<std::string> canonicalUuid(std::string_view text)
{
    if (text.size() != kNilUuid.size()) return std::nullopt;
    std::string canonical(text);
    for (std::size_t i = 0; i < canonical.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? canonical[i] != '-' : !isHexDigit(canonical[i])) return std::nullopt;
        canonical[i] = lower(canonical[i]);
    }
    return canonical;
}

std::string objectEntryName(const ObjectIdentity& identity)
{
    const std::string uuid = canonicalUuid(identity.uuid).value_or(std::string(kNilUuid));
    const std::string rest = "_" + coordinateText(identity.position.x) + "-" + coordinateText(identity.position.y) + "-"
                           + coordinateText(identity.position.z) + "__" + uuid + ".xml";
    const std::size_t room = kLongestEntryName - kObjectsFolder.size() - rest.size();
    const std::string safe = safeName(identity.name);
    std::string_view name = trimmedName(safe);
    name = trimmedName(name.substr(0, room));
    if (name.empty()) name = "Object";
    std::string entry;
    entry.reserve(kObjectsFolder.size() + name.size() + rest.size());
    entry.append(kObjectsFolder).append(name).append(rest);
    return entry;
}

std::optional<ObjectIdentity> describeObject(std::string_view document)
{
    pugi::xml_document parsed;
    if (!parsed.load_buffer(document.data(), document.size(), pugi::parse_default, pugi::encoding_utf8)) return std::nullopt;
    const pugi::xml_node part = parsed.find_node([](const pugi::xml_node& node) {
        return node.type() == pugi::node_element && std::strcmp(node.name(), "SceneObjectPart") == 0;
    });
    if (!part) return std::nullopt;
    ObjectIdentity identity;
    identity.name = part.child("Name").child_value();
    const pugi::xml_node uuid = part.child("UUID");
    if (const pugi::xml_node inner = uuid.child("UUID") ? uuid.child("UUID") : uuid.child("Guid")) {
        identity.uuid = inner.child_value();
    } else {
        identity.uuid = uuid.child_value();
    }
    const pugi::xml_node position = part.child("GroupPosition");
    identity.position = {coordinate(position, "X", "x"), coordinate(position, "Y", "y"), coordinate(position, "Z", "z")};
    return identity;
}

std::optional<std::string_view> assetSuffix(AssetType type)
{
    const auto found = std::find_if(kAssetSuffixes.begin(), kAssetSuffixes.end(),
                                    [type](const auto& entry) { return entry.first == type; });
    if (found == kAssetSuffixes.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> assetEntryName(const AssetName& asset)
{
    const auto uuid = canonicalUuid(asset.uuid);
    const auto suffix = assetSuffix(asset.type);
    if (!uuid || !suffix) return std::nullopt;
    return std::string(kAssetsFolder) + *uuid + std::string(*suffix);
}

std::optional<AssetName> parseAssetEntryName(std::string_view path)
{
    if (path.starts_with("./")) path.remove_prefix(2);
    if (!path.starts_with(kAssetsFolder)) return std::nullopt;
    path.remove_prefix(kAssetsFolder.size());
    // As OpenSim's loader reads it: the suffix begins at the last '_'.
    const std::size_t separator = path.rfind('_');
    if (separator == std::string_view::npos) return std::nullopt;
    const auto uuid = canonicalUuid(path.substr(0, separator));
    const std::string_view suffix = path.substr(separator);
    const auto found = std::find_if(kAssetSuffixes.begin(), kAssetSuffixes.end(),
                                    [suffix](const auto& entry) { return entry.second == suffix; });
    if (!uuid || found == kAssetSuffixes.end()) return std::nullopt;
    return AssetName{*uuid, found->first};
}

}  // namespace vantor::archive
