#pragma once

#include "platform/file_system.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vantor::language {

// Entry numbers of the language file (entry k is line k + 1). Lines 1 to 10 are not used.
namespace entry {
inline constexpr std::size_t kRezPositionLabel = 10;   // Label5
inline constexpr std::size_t kOpenSimFolderLabel = 11; // Label6
inline constexpr std::size_t kBrowseButton = 12;       // Command5
inline constexpr std::size_t kLoadTxtButton = 13;      // Command2
inline constexpr std::size_t kGenerateButton = 14;     // Command1
inline constexpr std::size_t kLoadXmlButton = 15;      // Command4
inline constexpr std::size_t kAboutButton = 16;        // Command7
inline constexpr std::size_t kListingPlaceholder = 17; // Text1
inline constexpr std::size_t kOutputNamePrompt = 18;
inline constexpr std::size_t kOutputNameTitle = 19;
inline constexpr std::size_t kOverwriteLine1 = 20;
inline constexpr std::size_t kOverwriteLine2 = 21;
inline constexpr std::size_t kDoneBeforeName = 22;
inline constexpr std::size_t kDoneAfterName = 23;
inline constexpr std::size_t kConversionErrorLine1 = 24;
inline constexpr std::size_t kConversionErrorLine2 = 25;
inline constexpr std::size_t kTooShortLine1 = 26;
inline constexpr std::size_t kTooShortLine2 = 27;
inline constexpr std::size_t kRegionHostsLine1 = 28;
inline constexpr std::size_t kRegionHostsLine2 = 29;
inline constexpr std::size_t kExtractButton = 30;      // Form2's Command1
inline constexpr std::size_t kSelectAllButton = 31;    // Form2's Command2
inline constexpr std::size_t kSaveSelectionButton = 32; // Form2's Command3
inline constexpr std::size_t kLoadSceneButton = 33;    // Form2's Command4
inline constexpr std::size_t kInvertCheck = 34;        // Form2's Check1
inline constexpr std::size_t kSelectionSaved = 35;     // after the path of the saved selection
inline constexpr std::size_t kSceneUnreadableLine1 = 36;
inline constexpr std::size_t kSceneUnreadableLine2 = 37;
inline constexpr std::size_t kCount = 38;  // a complete file has at least this many lines

// Program texts after the 38 lines above. A file that lacks one (or leaves it empty) shows
// the English text instead, so language files of 38 lines keep working. lang/README.md
// lists them.
inline constexpr std::size_t kFirstProgramText = 38;

// 38 to 49: the main window and its conversion run.
inline constexpr std::size_t kOutputFailedMessage = 38;  // %1 the file, %2 the reason
inline constexpr std::size_t kObjectsWritten = 39;       // after the end message; %1 the count
inline constexpr std::size_t kCancelButton = 40;         // CancelRun
inline constexpr std::size_t kRunCancelled = 41;
inline constexpr std::size_t kRunFailed = 42;            // %1 the error
inline constexpr std::size_t kOutputNameRefused = 43;
inline constexpr std::size_t kListingUnreadable = 44;    // %1 the file, %2 the reason
inline constexpr std::size_t kRunUnderWay = 45;          // Progress, before the percentage



// 50 to 59: the region host rewrite.
inline constexpr std::size_t kRegionHostWritten = 50;     // before the host
inline constexpr std::size_t kRegionFilesRewritten = 51;  // before a count
inline constexpr std::size_t kRegionFilesUnchanged = 52;  // before a count
inline constexpr std::size_t kRegionFilesLeftAlone = 53;  // above one line per file left alone
inline constexpr std::size_t kRegionNoMarkers = 54;       // the reasons, after a file's name
inline constexpr std::size_t kRegionTooFewLines = 55;
inline constexpr std::size_t kRegionUnreadable = 56;
inline constexpr std::size_t kRegionNotWritable = 57;
inline constexpr std::size_t kRegionNoFolder = 58;        // above the folder
inline constexpr std::size_t kRegionInvalidHost = 59;     // above the host



// 60 to 79: the extractor window. "%1", "%2", ... stand for the values put in.
inline constexpr std::size_t kMapCounts = 60;            // objects in the file, in the table
inline constexpr std::size_t kMapInside = 61;            // objects strictly inside the rectangle
inline constexpr std::size_t kMapOutside = 62;           // objects strictly outside it ("Inverse")
inline constexpr std::size_t kMapPointer = 63;           // the pointer in region metres
inline constexpr std::size_t kMapLoading = 64;           // the file being loaded
inline constexpr std::size_t kMapCancel = 65;            // caption of the load's Cancel button
inline constexpr std::size_t kMapLoadCancelled = 66;
inline constexpr std::size_t kMapStoppedAtCutOff = 67;   // the load stopped at a cut-off line: line, object
inline constexpr std::size_t kMapFilterStopped = 68;     // "Extraire" stopped at a cut-off line: line, object
inline constexpr std::size_t kMapTooFewValues = 69;      // read error: line, object
inline constexpr std::size_t kMapPositionNotNumber = 70; // read error: line, object
inline constexpr std::size_t kMapFileUnreadable = 71;    // read error: the system's reason
inline constexpr std::size_t kExportObjectFailed = 72;   // object number, name, why
inline constexpr std::size_t kExportHeaderFailed = 73;   // object number, name, why
inline constexpr std::size_t kExportFileFailed = 74;     // path, the system's reason
inline constexpr std::size_t kExportNoListing = 75;      // the scene file that was written
inline constexpr std::size_t kWhyCutOff = 76;             // the line
inline constexpr std::size_t kWhyMissingValue = 77;      // value number
inline constexpr std::size_t kWhyNotANumber = 78;        // value number
inline constexpr std::size_t kWhyTooLarge = 79;          // value number

// 80 to 99: the extractor window's loads and saves that are refused or stopped.
inline constexpr std::size_t kArchiveUnreadable = 80;     // the archive reader's reason follows on a line of its own
inline constexpr std::size_t kArchiveObjectTooLarge = 81; // the object's path, the limit in MiB
inline constexpr std::size_t kArchiveNoScratchRoom = 82;  // the reserve in GiB, the scratch folder
inline constexpr std::size_t kSceneChanged = 83;
inline constexpr std::size_t kSceneOutOfMemory = 84;
inline constexpr std::size_t kNothingToSave = 85;
inline constexpr std::size_t kSaveReplacesInput = 86;     // the chosen path, the scene file shown
inline constexpr std::size_t kMapSaving = 87;             // the file being saved
inline constexpr std::size_t kMapSaveCancelled = 88;
inline constexpr std::size_t kExportOutOfMemory = 89;
inline constexpr std::size_t kMapLoadCancelledKept = 90;  // a reload cancelled, the map kept
inline constexpr std::size_t kWhyCutOffInArchive = 91;    // an archive's cut-off object, which has no line
inline constexpr std::size_t kMapStoppedAtCutOffObject = 92;  // kMapStoppedAtCutOff in an archive: object
inline constexpr std::size_t kMapFilterStoppedAtObject = 93;  // kMapFilterStopped in an archive: object

// 100 to 114: the conversion run's checks and the ends it may come to.
inline constexpr std::size_t kListingHoldsNoPrims = 100;
inline constexpr std::size_t kStopRunAndQuit = 101;      // Yes: stop the run and quit
inline constexpr std::size_t kOwnerNotAUuid = 102;       // %1 the owner UUID typed
inline constexpr std::size_t kRezNotANumber = 103;       // %1 X, Y or Z, %2 the text typed
inline constexpr std::size_t kCounterOutOfRange = 104;   // %1 the last LocalID given
inline constexpr std::size_t kNameTakenMeanwhile = 105;  // %1 the scene file
inline constexpr std::size_t kCounterInvalid = 106;      // %1 the counter

// 115 to 139: window titles, captions and dialog texts, and the region rewrite's outcomes.
inline constexpr std::size_t kMainWindowTitle = 115;
inline constexpr std::size_t kExternalHostLabel = 116;   // Label7
inline constexpr std::size_t kOfflineText = 117;         // IP, while there is no public address
inline constexpr std::size_t kLocalOption = 118;         // Option0
inline constexpr std::size_t kInternetOption = 119;      // Option1
inline constexpr std::size_t kMapWindowTitle = 120;      // Form2 before a file is loaded
inline constexpr std::size_t kMapWindowFileTitle = 121;  // Form2 with a file loaded; %1 its name
inline constexpr std::size_t kMapCaption = 122;          // Form2's Frame1
inline constexpr std::size_t kAboutWindowTitle = 123;
inline constexpr std::size_t kAboutClose = 124;          // the About window's close button
inline constexpr std::size_t kListingFilterName = 125;   // the file dialogs' filter descriptions
inline constexpr std::size_t kOpenSimFilterName = 126;
inline constexpr std::size_t kSceneOpenFilterName = 127;
inline constexpr std::size_t kSceneSaveFilterName = 128;
inline constexpr std::size_t kLanguageBoxTitleWord = 129; // the start-up's language box: its title
inline constexpr std::size_t kLanguageBoxPrompt = 130;    // and its prompt
inline constexpr std::size_t kBrowseServer = 131;         // "Parcourir": choose OpenSim.exe or OpenSim.dll
inline constexpr std::size_t kBrowseFolder = 132;         // "Parcourir": choose the folder itself
inline constexpr std::size_t kBrowseFolderTitle = 133;    // the folder dialog's title
inline constexpr std::size_t kRegionAllAlready = 134;     // instead of 28 and 29; %1 the host
inline constexpr std::size_t kRegionNoneRewritten = 135;  // instead of 28 and 29; %1 the host
inline constexpr std::size_t kRegionFolder = 136;         // more reasons for a file left alone
inline constexpr std::size_t kRegionNotPlainFile = 137;
inline constexpr std::size_t kRegionDanglingLink = 138;
inline constexpr std::size_t kRegionOutsideOpenSim = 139; // the file it leads to follows

inline constexpr std::size_t kLinkObjects = 140;          // the checkbox beside Command1
inline constexpr std::size_t kLinkObjectsTip = 141;       // its tooltip
inline constexpr std::size_t kFormatSceneFile = 142;      // the output choice beside Command1: a scene file
inline constexpr std::size_t kFormatArchive = 143;        // or a region archive
inline constexpr std::size_t kOutputFormatTip = 144;      // its tooltip
inline constexpr std::size_t kConsoleCommand = 145;       // after the end message; %1 the console command
inline constexpr std::size_t kWithoutMerge = 146;         // after it, for an archive
inline constexpr std::size_t kLinkedObjectsWritten = 147; // instead of 39 when linking; %1 objects, %2 prims

// 150 to 159: a selection saved as a region archive.
inline constexpr std::size_t kArchiveSaveFilterName = 150;  // the save dialog's second filter; "(*.oar)" follows
inline constexpr std::size_t kArchiveObjectRefused = 151;   // %1 object number, %2 its name, %3 the check's reason
inline constexpr std::size_t kArchiveAssetsFailed = 152;    // %1 the source archive, %2 the reason
inline constexpr std::size_t kArchiveLoadCommand = 153;     // after entry 35 for an archive; %1 its path
inline constexpr std::size_t kArchiveAssetsCarried = 154;   // %1 the number of assets carried

inline constexpr std::size_t kLastProgramText = 159;
}  // namespace entry

// The interface texts of one language file, one entry per line, taken whole (blanks
// included). Replaced as a whole by each load.
class LanguageTable {
public:
    LanguageTable() = default;
    explicit LanguageTable(std::vector<std::string> entries) : m_entries(std::move(entries)) {}

    // Splits the bytes of a language file into entries: UTF-8, or Windows-1252 where the
    // bytes are no UTF-8; a line ends at CR LF, a lone CR or a lone LF.
    [[nodiscard]] static LanguageTable fromFileBytes(std::string bytes);

    // Entry k. An entry of the 38 original lines that the file does not have is empty text;
    // a program text the file lacks or leaves empty is the built-in English one.
    [[nodiscard]] const std::string& entry(std::size_t k) const;
    [[nodiscard]] std::size_t size() const { return m_entries.size(); }

private:
    std::vector<std::string> m_entries;
};

// The English texts built into the program (lang/EN.lng), the fallback for program texts.
[[nodiscard]] const LanguageTable& builtInEnglish();

// Reads the language file folder + "/" + name; nothing (with the reason) when it cannot be read.
[[nodiscard]] std::optional<LanguageTable> readLanguageFile(const platform::FileSystem& files,
                                                            const std::string& folder, const std::string& name,
                                                            std::string* reason = nullptr);

}  // namespace vantor::language
