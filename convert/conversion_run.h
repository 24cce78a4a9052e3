#pragma once

#include "platform/file_system.h"
#include "platform/random_source.h"

#include <cstddef>
#include <cstdint>
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

// The output file's extension, ".xml" or ".oar".
[[nodiscard]] std::string_view outputExtension(OutputFormat format);

// Everything a conversion run reads from the main window, as the user typed it.
struct ConversionRequest {
    std::string listingText;       // the listing box
    std::string rezX, rezY, rezZ;  // where the build shall stand in the OpenSim region
    std::string ownerUuid;         // written as owner, last owner and creator of every object
    std::string localIdCounter;    // the LocalID counter before the run; each prim takes the next value
    std::string outputFolder;      // the OpenSim folder; "/" is put between it and the file name
    std::string listingName;       // the current listing name, proposed as output name
    // Whether the records become linked objects: the first record begins an object, and so
    // does every later one whose field 0 is 1 (beginsObject); the records between are its parts.
    bool linkObjects = false;
    OutputFormat format = OutputFormat::SceneFile;
    std::int64_t createdAt = 0;    // a region archive's time of making, in seconds since 1970 (UTC)
};

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

enum class ConversionOutcome {
    Done,               // end of listing: scene file and listing copy written
    GuardStop,          // a record with a very short first line ended the run: files kept, rest unconverted
    Cancelled,          // no output name, or the overwrite was declined: nothing written
    EmptyListing,       // the listing holds no prims (holdsNoPrims): nothing asked, nothing written
    InvalidField,       // a value of the request no run can take (invalidField): nothing asked, nothing written
    ConversionError,    // a header or record that does not convert: nothing left behind
    RecordTooShort,     // the text after the last record is too short to be one: nothing left behind
    CounterOutOfRange,  // the next LocalID would pass kLargestLocalId: nothing left behind
    NameTaken,          // a scene file that may not be replaced took the name meanwhile: it stays, nothing written
    OutputFailed,       // a file could not be created or written: nothing left behind
};

struct ConversionProgress {
    std::size_t recordsDone = 0;    // prims written so far
    std::size_t bytesConsumed = 0;  // of the listing text
    std::size_t bytesTotal = 0;
};

// The caller's side of a run: the two questions, and a call between records so that a
// window can repaint and show progress.
class ConversionHost {
public:
    virtual ~ConversionHost() = default;
    // The output name without ".xml"; empty text when the user cancels.
    [[nodiscard]] virtual std::string askOutputName(const std::string& proposed) = 0;
    // Whether the existing scene file at path may be replaced.
    [[nodiscard]] virtual bool confirmOverwrite(const std::string& path) = 0;
    // Whether a scene file that takes the name after the run found it free may be replaced
    // all the same. By default it may not: the run then ends with NameTaken.
    [[nodiscard]] virtual bool replacesUnasked() const { return false; }
    virtual void recordConverted(const ConversionProgress& progress) { (void)progress; }
    // Both files are complete and about to be put in place; a host that throws here leaves
    // no file of the run behind.
    virtual void beforePlacing() {}
};

struct ConversionReport {
    ConversionOutcome outcome = ConversionOutcome::Cancelled;
    int primCount = 0;              // documents written to the scene file
    int objectCount = 0;            // the objects they make: primCount unless objects are linked
    std::string scenePath;          // set once the name is known
    std::string listingCopyPath;
    std::optional<RequestField> invalidField;  // InvalidField: which value
    std::string failingRecordText;  // ConversionError: the record text without CR LF, or the header line with its CR
    std::string failedPath;         // OutputFailed: the file that could not be created or written
    std::string failureReason;      // OutputFailed: why, in the system's words
    std::string remainingListing;   // what the listing box holds after the run
    std::string localIdCounter;     // the counter after the run (CounterOutOfRange: the last LocalID given)
    std::string listingName;        // the listing name after the run (the answer with ".xml")

    [[nodiscard]] bool succeeded() const
    {
        return outcome == ConversionOutcome::Done || outcome == ConversionOutcome::GuardStop;
    }
};

// Whether an answer to the name question names a file inside the output folder: it holds
// no "/" or "\" and is neither "." nor "..". Callers ask again (window) or refuse (CLI).
[[nodiscard]] bool isAcceptableOutputName(std::string_view name);

// The listing name of a listing file, from its name without folder (its title): every ".txt"
// removed, then every ".TXT". Both front ends propose it as the output name.
[[nodiscard]] std::string listingNameOf(std::string_view title);

// Runs one conversion: checks the request, asks the name, writes the scene file (or the
// region archive, whose objects are each checked as OpenSim's loader would read them) and the
// listing copy into the output folder and reports what happened. Both files are complete
// and flushed to the device before either is put in place, and then they go in back to
// back, the scene file first. The scene file replaces only a file the host agreed to
// replace. Failed runs leave no file of theirs behind and keep earlier files intact.
[[nodiscard]] ConversionReport runConversion(const ConversionRequest& request, ConversionHost& host,
                                             platform::FileSystem& files, platform::RandomSource& random);

}  // namespace vantor::convert
