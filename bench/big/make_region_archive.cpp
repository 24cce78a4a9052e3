// Writes an OpenSim region archive (OAR) of a given size for the big-input run: a gzip tar
// with archive.xml, a terrain, region settings and one objects/*.xml entry per object, each
// object a SceneObjectGroup in OpenSim's current layout (as the fixtures in tests/extract/ write
// it) of one to three parts, some with task inventory. Identifiers, positions and sizes are
// pseudo-random, as in a real region, so the archive compresses about as a real one does.
// Objects are added until the compressed archive reaches the size asked for.
//
//   make_region_archive FILE [MEGABYTES]   MEGABYTES (MiB of archive) defaults to 200

#include <archive.h>
#include <archive_entry.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace {

using Random = std::mt19937_64;

std::string uuid(Random& random)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    const std::uint64_t high = random();
    const std::uint64_t low = random();
    for (int i = 0; i < 32; ++i) {
        const std::uint64_t word = i < 16 ? high : low;
        text += kHex[(word >> (4 * (i % 16))) & 0xF];
        if (i == 7 || i == 11 || i == 15 || i == 19) text += '-';
    }
    return text;
}

std::string number(Random& random, double low, double high)
{
    const double value = std::uniform_real_distribution<double>(low, high)(random);
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 5);
    (void)error;
    return std::string(buffer, end);
}

std::string vector(const std::string& tag, std::initializer_list<std::string> values)
{
    static const char* const kAxes[] = {"X", "Y", "Z", "W"};
    std::string out = "<" + tag + ">";
    int i = 0;
    for (const std::string& value : values) {
        out += std::string("<") + kAxes[i] + ">" + value + "</" + kAxes[i] + ">";
        ++i;
    }
    return out + "</" + tag + ">";
}

// One part, in the element order of OpenSim's serializer (see tests/extract/opensim_fixture.h).
std::string partXml(Random& random, const std::string& group, const std::string& owner, int linkNum, int items)
{
    const auto id = [&random] { return "<UUID>" + uuid(random) + "</UUID>"; };
    std::string inventory = "<TaskInventory>";
    for (int i = 0; i < items; ++i) {
        inventory += "<TaskInventoryItem><AssetID>" + id() + "</AssetID><BasePermissions>2147483647"
                     "</BasePermissions><CreationDate>1663105921</CreationDate><CreatorID>" + id()
                   + "</CreatorID><Description>item</Description><ItemID>" + id() + "</ItemID><Name>Script "
                   + std::to_string(i) + "</Name><Type>10</Type><InvType>10</InvType></TaskInventoryItem>";
    }
    inventory += "</TaskInventory>";
    const auto still = [](const std::string& tag) { return vector(tag, {"0", "0", "0"}); };
    const std::string pcode = std::to_string(std::uniform_int_distribution<int>(0, 6)(random) * 16);
    return "<SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><AllowedDrop>false</AllowedDrop><CreatorID>"
                    + id() + "</CreatorID><FolderID>" + id() + "</FolderID><InventorySerial>"
                    + std::to_string(items) + "</InventorySerial>" + inventory + id() + "<LocalId>"
                    + std::to_string(std::uniform_int_distribution<int>(700000, 9000000)(random))
                    + "</LocalId><Name>Part " + std::to_string(linkNum) + "</Name><Material>3</Material>"
                      "<PassTouches>false</PassTouches><PassCollisions>false</PassCollisions>"
                      "<RegionHandle>1099511628032000</RegionHandle><ScriptAccessPin>0</ScriptAccessPin>"
                    + group
                    + vector("OffsetPosition", {linkNum > 1 ? number(random, -2, 2) : "0",
                                                linkNum > 1 ? number(random, -2, 2) : "0",
                                                linkNum > 1 ? number(random, -2, 2) : "0"})
                    + vector("RotationOffset", {number(random, -1, 1), "0", "0", number(random, -1, 1)})
                    + still("Velocity") + still("AngularVelocity") + still("Acceleration")
                    + "<Description /><Color><R>0</R><G>0</G><B>0</B><A>255</A></Color><Text /><SitName />"
                      "<TouchName /><LinkNum>" + std::to_string(linkNum) + "</LinkNum><ClickAction>0</ClickAction>"
                      "<Shape><ProfileCurve>1</ProfileCurve><TextureEntry>" + uuid(random) + uuid(random)
                    + "AAAAAAAAgD8AAIA/AAAAAAAAAAAAAAAAAAA=</TextureEntry><ExtraParams>AA==</ExtraParams>"
                      "<PathBegin>0</PathBegin><PathCurve>" + pcode + "</PathCurve><PathEnd>0</PathEnd>"
                      "<PathRadiusOffset>0</PathRadiusOffset><PathRevolutions>0</PathRevolutions>"
                      "<PathScaleX>100</PathScaleX><PathScaleY>100</PathScaleY><PathShearX>0</PathShearX>"
                      "<PathShearY>0</PathShearY><PathSkew>0</PathSkew><PathTaperX>0</PathTaperX>"
                      "<PathTaperY>0</PathTaperY><PathTwist>0</PathTwist><PathTwistBegin>0</PathTwistBegin>"
                      "<PCode>9</PCode><ProfileBegin>0</ProfileBegin><ProfileEnd>0</ProfileEnd>"
                      "<ProfileHollow>0</ProfileHollow><State>0</State><LastAttachPoint>0</LastAttachPoint>"
                      "<ProfileShape>Square</ProfileShape><HollowShape>Same</HollowShape><SculptTexture>"
                    + id() + "</SculptTexture><SculptType>0</SculptType><SculptEntry>false</SculptEntry></Shape>"
                    + vector("Scale", {number(random, 0.1, 10), number(random, 0.1, 10), number(random, 0.1, 10)})
                    + "<SitTargetOrientation><X>0</X><Y>0</Y><Z>0</Z><W>1</W></SitTargetOrientation>"
                      "<ParentID>0</ParentID><CreationDate>1663105921</CreationDate><OwnerID>" + owner
                    + "</OwnerID><LastOwnerID>" + owner + "</LastOwnerID><BaseMask>647168</BaseMask>"
                      "<Flags>None</Flags><DynAttrs><llsd><map><key>ns</key><map /></map></llsd></DynAttrs>"
                      "</SceneObjectPart>";
}

// One SceneObjectGroup: a root part and up to two others in OtherParts; every part carries
// the group's position.
std::string objectXml(Random& random, const std::string& owner, std::string& entryName)
{
    const std::string x = number(random, 0.5, 255.5);
    const std::string y = number(random, 0.5, 255.5);
    const std::string z = number(random, 20, 80);
    const std::string group = vector("GroupPosition", {x, y, z});
    const int parts = std::uniform_int_distribution<int>(1, 3)(random);
    const auto items = [&random] { return std::uniform_int_distribution<int>(0, 3)(random) == 0 ? 2 : 0; };
    std::string xml = "<SceneObjectGroup>" + partXml(random, group, owner, parts > 1 ? 1 : 0, items());
    if (parts == 1) {
        xml += "<OtherParts />";
    } else {
        xml += "<OtherParts>";
        for (int link = 2; link <= parts; ++link) xml += partXml(random, group, owner, link, items());
        xml += "</OtherParts>";
    }
    xml += "</SceneObjectGroup>";
    entryName = "objects/Primitive_" + x.substr(0, x.find('.')) + "-" + y.substr(0, y.find('.')) + "-"
              + z.substr(0, z.find('.')) + "__" + uuid(random) + ".xml";
    return xml;
}

struct WriterCloser {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryCloser {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

bool addEntry(archive* writer, const std::string& path, std::string_view content)
{
    std::unique_ptr<archive_entry, EntryCloser> entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), path.c_str());
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(content.size()));
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_mtime(entry.get(), 1765000000, 0);
    return archive_write_header(writer, entry.get()) == ARCHIVE_OK
        && archive_write_data(writer, content.data(), content.size()) == static_cast<la_ssize_t>(content.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: make_region_archive FILE [MEGABYTES]\n";
        return 2;
    }
    long megabytes = 200;
    if (argc == 3) {
        const std::string_view text = argv[2];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), megabytes);
        if (error != std::errc{} || end != text.data() + text.size() || megabytes <= 0) {
            std::cerr << "make_region_archive: MEGABYTES must be a positive whole number\n";
            return 2;
        }
    }
    const la_int64_t target = static_cast<la_int64_t>(megabytes) << 20;

    std::unique_ptr<archive, WriterCloser> writer(archive_write_new());
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_format_pax_restricted(writer.get());
    if (archive_write_open_filename(writer.get(), argv[1]) != ARCHIVE_OK) {
        std::cerr << "make_region_archive: " << archive_error_string(writer.get()) << "\n";
        return 1;
    }
    Random random{20261206};
    bool written = addEntry(writer.get(), "archive.xml",
                            "<?xml version=\"1.0\" encoding=\"utf-16\"?><archive major_version=\"0\" "
                            "minor_version=\"8\"><creation_info><datetime>1765000000</datetime></creation_info>"
                            "</archive>")
                && addEntry(writer.get(), "settings/Region.xml", "<RegionSettings />")
                && addEntry(writer.get(), "terrains/Region.r32", std::string(std::size_t{256} * 256 * 4, '\0'));
    const std::string owner = uuid(random);
    long objects = 0;
    std::string name;
    // The compressed bytes written so far lag the data by the compressor's buffer; that is
    // close enough for a size in whole megabytes.
    while (written && archive_filter_bytes(writer.get(), -1) < target) {
        const std::string xml = objectXml(random, owner, name);
        written = addEntry(writer.get(), name, xml);
        ++objects;
    }
    if (!written || archive_write_close(writer.get()) != ARCHIVE_OK) {
        std::cerr << "make_region_archive: " << archive_error_string(writer.get()) << "\n";
        return 1;
    }
    std::cout << objects << "\n";
    return 0;
}
