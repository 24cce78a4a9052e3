#include "convert/document_writer.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using namespace vantor::convert;
using vantor::test::kOwner;

namespace {

// Enough documents (some 2.6 kB each) for several pieces.
constexpr std::size_t kSeveralPieces = 1500;

// Keeps every piece written to it; can be told to throw from a given write on.
class RecordingFile final : public vantor::platform::OutputFile {
public:
    std::vector<std::string> pieces;
    std::size_t failFromWrite = static_cast<std::size_t>(-1);

    void write(std::string_view bytes) override
    {
        if (pieces.size() >= failFromWrite) throw std::runtime_error("disk on fire");
        pieces.emplace_back(bytes);
    }
    bool commit(std::string*) override { return true; }

    [[nodiscard]] std::string text() const
    {
        std::string all;
        for (const auto& piece : pieces) all += piece;
        return all;
    }
};

// The document of number i: its own local id, name and position; with large, document 3
// is larger than a piece, so the buffer must grow.
void prepare(PreparedDocument& document, std::size_t i, bool large)
{
    document.values = PrimValues{};
    document.values.position[0] = static_cast<double>(i) + 0.25;
    document.values.names = {"Square", "Same"};
    document.localId = std::to_string(720002 + i);
    document.objectUuid = "0123abcd-4567-89ef-0123-456789abcdef";
    document.name = large && i == 3 ? std::string(3 * DocumentWriter::kPieceBytes, '&') : "Prim " + std::to_string(i) + " <co>";
}

// The same documents written one by one, each followed by CR LF.
std::string expectedText(std::size_t count, bool large = false)
{
    std::string all;
    PreparedDocument document;
    for (std::size_t i = 0; i < count; ++i) {
        prepare(document, i, large);
        const PrimTexts texts{kOwner, document.localId, document.objectUuid, document.name};
        std::string line(primDocumentBound(texts), '\0');
        line.resize(static_cast<std::size_t>(writePrimDocument(line.data(), document.values, texts) - line.data()));
        all += line + "\r\n";
    }
    return all;
}

void addDocuments(DocumentWriter& writer, std::size_t count, bool large = false)
{
    for (std::size_t i = 0; i < count; ++i) {
        prepare(writer.next(), i, large);
        writer.add();
    }
}

// Several whole pieces in order are the conversion run's tests; here the edges.
TEST(DocumentWriter, WritesEveryDocumentInOrder)
{
    for (const auto& [name, count, large] : {std::tuple{"nothing", std::size_t{0}, false}, {"one document", 1, false},
                                             {"a document larger than a piece", 5, true}}) {
        RecordingFile file;
        {
            DocumentWriter writer(file, kOwner);
            addDocuments(writer, count, large);
            writer.finish();
        }
        EXPECT_EQ(file.text(), expectedText(count, large)) << name;
    }
}

TEST(DocumentWriter, AFailingWriteReachesTheCaller)
{
    RecordingFile file;
    file.failFromWrite = 0;
    EXPECT_THROW(
        {
            DocumentWriter writer(file, kOwner);
            addDocuments(writer, kSeveralPieces);
            writer.finish();
        },
        std::runtime_error);
    EXPECT_TRUE(file.pieces.empty());
}

}  // namespace
