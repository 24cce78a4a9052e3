#include "app/shell_texts.h"

#include "text/strings.h"

#include <QString>

#include <algorithm>

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;

std::string withTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string folderOfChosenFile(const std::string& path, const std::string& title)
{
    return text::removeAll(text::removeAll(path, title), "*.txt");
}


std::string languageList(const std::vector<std::string>& fileNames)
{
    std::string list = "(";
    for (std::size_t i = 0; i < fileNames.size(); ++i) {
        if (i != 0) list += ", ";
        const std::string& name = fileNames[i];
        list.append(name, 0, name.size() >= 4 ? name.size() - 4 : 0);
    }
    return list + ")";
}

namespace {

// Each text once, in the order given; empty texts left out.
std::vector<std::string> eachOnce(const std::vector<std::string>& texts)
{
    std::vector<std::string> once;
    for (const std::string& text : texts) {
        if (!text.empty() && std::find(once.begin(), once.end(), text) == once.end()) once.push_back(text);
    }
    return once;
}

}  // namespace

std::string languagePrompt(const std::vector<std::string>& fileNames, const std::vector<std::string>& promptLines)
{
    std::string prompt;
    for (const std::string& line : eachOnce(promptLines)) prompt += line + kCrLf;
    return prompt + kCrLf + languageList(fileNames);
}

std::string languageBoxTitle(const std::vector<std::string>& words)
{
    std::string title = "Vantor - ";
    const std::vector<std::string> once = eachOnce(words);
    for (std::size_t i = 0; i < once.size(); ++i) title += (i == 0 ? "" : " / ") + once[i];
    return title;
}

std::string listingFilter(const LanguageTable& texts)
{
    return texts.entry(entry::kListingFilterName) + "(*.txt)|*.txt";
}

std::string openSimFilter(const LanguageTable& texts)
{
#ifdef _WIN32
    return texts.entry(entry::kOpenSimFilterName) + " (OpenSim.exe)|OpenSim.exe";
#else
    return texts.entry(entry::kOpenSimFilterName) + " (OpenSim.exe)|OpenSim.exe;OpenSim.dll";
#endif
}

std::string languageFileName(const std::string& answer)
{
    return QString::fromStdString(answer).toUpper().toStdString() + ".lng";
}

std::string noLanguageFileMessage(const std::string& folder)
{
    return "No language file (*.lng) was found in " + folder + ". Vantor cannot start." + kCrLf +
           "Aucun fichier de langue (*.lng) n'a été trouvé dans " + folder + ". Vantor ne peut pas démarrer.";
}

std::string unreadableLanguageMessage(const std::string& fileName, const std::string& reason)
{
    return "The language file " + fileName + " cannot be read (" + reason + "); the current language stays." +
           kCrLf + "Le fichier de langue " + fileName + " ne peut pas être lu (" + reason +
           ") ; la langue actuelle est conservée.";
}

std::string overwriteQuestion(const LanguageTable& texts)
{
    return texts.entry(entry::kOverwriteLine1) + kCrLf + texts.entry(entry::kOverwriteLine2);
}

std::string invalidFieldMessage(const LanguageTable& texts, convert::RequestField field,
                                const convert::ConversionRequest& request)
{
    using convert::RequestField;
    switch (field) {
    case RequestField::RezX:
        return fillIn(texts.entry(entry::kRezNotANumber), {"X", text::messageExcerpt(request.rezX)});
    case RequestField::RezY:
        return fillIn(texts.entry(entry::kRezNotANumber), {"Y", text::messageExcerpt(request.rezY)});
    case RequestField::RezZ:
        return fillIn(texts.entry(entry::kRezNotANumber), {"Z", text::messageExcerpt(request.rezZ)});
    case RequestField::OwnerUuid:
        return fillIn(texts.entry(entry::kOwnerNotAUuid), {text::messageExcerpt(request.ownerUuid)});
    case RequestField::LocalIdCounter:
        return fillIn(texts.entry(entry::kCounterInvalid), {text::messageExcerpt(request.localIdCounter)});
    }
    return {};
}

std::optional<std::string> conversionMessage(const LanguageTable& texts, const convert::ConversionReport& report,
                                             const convert::ConversionRequest& request)
{
    if (report) {
        // The file as it was written (NAME.xml or NAME.oar), then the command that loads it.
        const std::string& path = report.scenePath;
        const bool archive = request.format == convert::OutputFormat::RegionArchive;
        const std::string fileName = archive ? path.substr(path.find_last_of('/') + 1) : report.listingName;
        std::string message = texts.entry(entry::kDoneBeforeName) + fileName + texts.entry(entry::kDoneAfterName) + kCrLf;
        message += request.linkObjects ? fillIn(texts.entry(entry::kLinkedObjectsWritten),
                                                {std::to_string(report.objectCount), std::to_string(report.primCount)})
                                       : fillIn(texts.entry(entry::kObjectsWritten), {std::to_string(report.primCount)});
        message += std::string(kCrLf) + kCrLf +
                   fillIn(texts.entry(entry::kConsoleCommand),
                          {(archive ? "load oar --merge \"" : "load xml2 \"") + path + "\""});
        if (archive) message += kCrLf + texts.entry(entry::kWithoutMerge);
        return message;
    }
    const convert::ConversionFailure& failure = *report.failure;
    using convert::ConversionError;
    switch (failure.error) {
    case ConversionError::Cancelled:
        return std::nullopt;
    case ConversionError::Stopped:
        return texts.entry(entry::kRunCancelled);
    case ConversionError::EmptyListing:
        return texts.entry(entry::kListingHoldsNoPrims);
    case ConversionError::InvalidField:
        if (!failure.invalidField) return std::nullopt;
        return invalidFieldMessage(texts, *failure.invalidField, request);
    case ConversionError::RecordNotConverted:
        // Shown without its line ends, the record stands directly under the line that announces it.
        return texts.entry(entry::kConversionErrorLine1) + kCrLf + kCrLf + texts.entry(entry::kConversionErrorLine2) +
               kCrLf + text::messageExcerpt(failure.shownRecordText());
    case ConversionError::RecordTooShort:
        return texts.entry(entry::kTooShortLine1) + kCrLf + texts.entry(entry::kTooShortLine2);
    case ConversionError::CounterOutOfRange:
        return fillIn(texts.entry(entry::kCounterOutOfRange), {report.localIdCounter});
    case ConversionError::NameTaken:
        return fillIn(texts.entry(entry::kNameTakenMeanwhile), {report.scenePath});
    case ConversionError::OutputFailed:
        return fillIn(texts.entry(entry::kOutputFailedMessage), {failure.path, failure.reason});
    }
    return std::nullopt;
}

std::string fillIn(const std::string& text, const std::vector<std::string>& values)
{
    // One pass from left to right, so a value holding "%2" is never filled in itself.
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (text[at] == '%' && next >= '1' && next <= '9' && static_cast<std::size_t>(next - '1') < values.size()) {
            result += values[static_cast<std::size_t>(next - '1')];
            ++at;
        } else {
            result += text[at];
        }
    }
    return result;
}

std::string withoutXmlExtension(std::string name)
{
    constexpr std::string_view kXml = ".xml";
    if (name.size() >= kXml.size() && name.compare(name.size() - kXml.size(), kXml.size(), kXml) == 0) {
        name.resize(name.size() - kXml.size());
    }
    return name;
}

std::string versionLine(int revision)
{
    return "Vantor V" + std::to_string(VANTOR_VERSION_MAJOR) + "." + std::to_string(VANTOR_VERSION_MINOR) + "."
        + std::to_string(revision);
}

}  // namespace vantor::app
