#pragma once

#include "platform/file_system.h"
#include "platform/random_source.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::convert {

// What a run takes when the user has chosen nothing else.
inline constexpr const char* kDefaultRezX = "125";
inline constexpr const char* kDefaultRezY = "125";
inline constexpr const char* kDefaultRezZ = "25";
inline constexpr const char* kDefaultOwnerUuid = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";
inline constexpr const char* kDefaultLocalIdCounter = "720001";

// Reads a listing file as the listing box holds it: decoded as UTF-8 with the Windows-1252
// fallback, every line followed by CR LF (a text already laid out so is taken as it stands,
// without a second copy). Nothing when the file cannot be read; reason then says why.
[[nodiscard]] std::optional<std::string> loadListingFile(const platform::FileSystem& files, const std::string& path,
                                                         std::string* reason);

// The listing copy is the scene file's path with this added.
inline constexpr std::string_view kListingCopySuffix = "_SLbase.txt";

// What a run writes beside the listing copy.
enum class OutputFormat {
    SceneFile,      // NAME.xml, which OpenSim's `load xml2` reads
    RegionArchive,  // NAME.oar, which OpenSim's `load oar --merge` reads
};

struct ConversionProgress {
    std::size_t recordsDone = 0;    // prims written so far
    std::size_t bytesConsumed = 0;  // of the listing text
    std::size_t bytesTotal = 0;
};

// Told of a run's progress after every record, and once more when both files are complete,
// just before they go in place. It returns whether the run goes on: false stops it (Stopped).
using ProgressCallback = std::function<bool(const ConversionProgress&)>;

// Everything a conversion run takes: the main window's values as the user typed them, and
// what the front end asked before the run. Every field has a default, so a caller sets by
// name only the ones it needs.
struct ConversionRequest {
    std::string listingText;       // the listing box
    std::string rezX, rezY, rezZ;  // where the build shall stand in the OpenSim region
    std::string ownerUuid;         // written as owner, last owner and creator of every object
    std::string localIdCounter;    // the LocalID counter before the run; each prim takes the next value
    std::string outputFolder;      // the OpenSim folder; "/" is put between it and the file name
    std::string outputName;        // the output name without ".xml", as the user chose it
    // The user agreed to replace a scene file of that name. Without it a scene file found at
    // the name, when the run begins or when its file goes in place, stays (NameTaken).
    bool replaceExisting = false;
    ProgressCallback progress;     // may be empty: the run then goes to its end
    // Whether the records become linked objects: the first record begins an object, and so
    // does every later one whose field 0 is 1 (beginsObject); the records between are its parts.
    bool linkObjects = false;
    OutputFormat format = OutputFormat::SceneFile;
    std::int64_t createdAt = 0;    // a region archive's time of making, in seconds since 1970 (UTC)
};

// The file a run of the request writes: the output folder, "/", the output name, then ".xml"
// or ".oar" after the format. The listing copy is that path with kListingCopySuffix added.
[[nodiscard]] std::string outputPathOf(const ConversionRequest& request);

// The largest LocalID OpenSim holds (an unsigned 32-bit number).
inline constexpr std::uint32_t kLargestLocalId = 0xFFFFFFFF;

// The request's values that feed every object document, as checked before a run.
enum class RequestField {
    RezX,
    RezY,
    RezZ,
    OwnerUuid,       // must be 8-4-4-4-12 hexadecimal digits
    LocalIdCounter,  // must be a whole number from 0 to kLargestLocalId
};

// The first of the request's values that no run can take, in the order above; nothing when
// all are fine. A rez value must be a number, the owner a UUID, the counter a LocalID.
[[nodiscard]] std::optional<RequestField> firstInvalidField(const ConversionRequest& request);

// Whether a listing holds nothing but blanks and line ends, so not even a header line.
[[nodiscard]] bool holdsNoPrims(std::string_view listing);

// How a run that wrote its files ended.
enum class ConversionEnd {
    EndOfListing,  // every record converted
    GuardStop,     // a record with a very short first line ended the run: files kept, rest unconverted
};

// Why a run wrote nothing.
enum class ConversionError {
    Cancelled,           // no output name
    Stopped,             // the progress callback asked to stop: listing and counter as before
    EmptyListing,        // the listing holds no prims (holdsNoPrims)
    InvalidField,        // a value of the request no run can take (invalidField)
    RecordNotConverted,  // a header or record that does not convert: nothing left behind
    RecordTooShort,      // the text after the last record is too short to be one: nothing left behind
    CounterOutOfRange,   // the next LocalID would pass kLargestLocalId: nothing left behind
    NameTaken,           // a scene file that may not be replaced holds the name: it stays
    OutputFailed,        // a file could not be created or written: nothing left behind
};

struct ConversionFailure {
    ConversionError error = ConversionError::Cancelled;
    std::optional<RequestField> invalidField;  // InvalidField: which value
    std::string recordText;  // RecordNotConverted: the record text without CR LF, or the header line with its CR
    std::string path;        // OutputFailed: the file that could not be created or written
    std::string reason;      // OutputFailed: why, in the system's words

    // recordText as messages show it: without the line ends at its start and its end (a
    // record's text starts with the LF before it and ends with a CR).
    [[nodiscard]] std::string_view shownRecordText() const;
};

struct ConversionReport {
    ConversionEnd end = ConversionEnd::EndOfListing;  // a run that wrote its files: how it ended
    int primCount = 0;              // documents written to the scene file
    int objectCount = 0;            // the objects they make: primCount unless objects are linked
    std::string scenePath;          // set once the name is known
    std::string listingCopyPath;
    std::string remainingListing;   // what the listing box holds after the run
    std::string localIdCounter;     // the counter after the run (CounterOutOfRange: the last LocalID given)
    std::string listingName;        // the listing name after the run: the output name with ".xml"
    // Nothing when the run wrote its files (both are in place).
    std::optional<ConversionFailure> failure;
    explicit operator bool() const { return !failure; }

    // Whether the run ended with the given error.
    [[nodiscard]] bool failedWith(ConversionError error) const { return failure && failure->error == error; }
};

// Whether an answer to the name question names a file inside the output folder: it holds
// no "/" or "\" and is neither "." nor "..". Front ends ask again (window) or refuse (CLI).
[[nodiscard]] bool isAcceptableOutputName(std::string_view name);

// The listing name of a listing file, from its name without folder (its title): every ".txt"
// removed, then every ".TXT". Both front ends propose it as the output name.
[[nodiscard]] std::string listingNameOf(std::string_view title);

// Runs one conversion: checks the request, writes the scene file (or the region archive, whose
// objects are each checked as OpenSim's loader would read them) and the listing copy into the
// output folder under the request's name and reports what happened. It asks nothing: the
// front end asked the name and the overwrite question before. Both files are complete
// and flushed to the device before either is put in place, and then they go in back to
// back, the scene file first. The scene file replaces an earlier one only when the request
// says so. Failed and stopped runs leave no file of theirs behind and keep earlier files intact.
[[nodiscard]] ConversionReport runConversion(const ConversionRequest& request, platform::FileSystem& files,
                                             platform::RandomSource& random);

}  // namespace vantor::convert
