#include "convert/document_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using vantor::convert::DocumentWriter;
using vantor::convert::PreparedDocument;
using vantor::convert::PrimTexts;
using vantor::convert::PrimValues;

namespace {

const std::string kOwner = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";

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

// The document of number i: its own local id, name and position.
void prepare(PreparedDocument& document, std::size_t i)
{
    document.values = PrimValues{};
    document.values.position[0] = static_cast<double>(i) + 0.25;
    document.values.size[2] = 0.5;
    document.values.names = {"Square", "Same"};
    document.localId = std::to_string(720002 + i);
    document.objectUuid = "0123abcd-4567-89ef-0123-456789abcdef";
    document.name = "Prim " + std::to_string(i) + (i % 7 == 0 ? " & <co>" : "");
}

// The same documents written one by one, each followed by CR LF.
std::string expectedText(std::size_t count)
{
    std::string all;
    PreparedDocument document;
    for (std::size_t i = 0; i < count; ++i) {
        prepare(document, i);
        const PrimTexts texts{kOwner, document.localId, document.objectUuid, document.name};
        std::string line(vantor::convert::primDocumentBound(texts), '\0');
        line.resize(static_cast<std::size_t>(vantor::convert::writePrimDocument(line.data(), document.values, texts)
                                             - line.data()));
        all += line + "\r\n";
    }
    return all;
}

void addDocuments(DocumentWriter& writer, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        prepare(writer.next(), i);
        writer.add();
    }
}

TEST(DocumentWriter, WritesEveryDocumentInOrderAfterTheFirstJob)
{
    // Enough for every batch to be used several times, ending with a part-filled batch.
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, DocumentWriter::kBatchSize,
                                    DocumentWriter::kBatchSize * DocumentWriter::kBatchCount * 3 + 17}) {
        RecordingFile file;
        RecordingFile first;
        {
            DocumentWriter writer(file, kOwner, [&first, &file] {
                first.write("copy");
                EXPECT_TRUE(file.pieces.empty());
            });
            addDocuments(writer, count);
            writer.finish();
        }
        EXPECT_EQ(first.text(), "copy");
        EXPECT_EQ(file.text(), expectedText(count)) << count;
        // Large pieces: every one but the last holds at least a piece's worth.
        for (std::size_t i = 0; i + 1 < file.pieces.size(); ++i) {
            EXPECT_GE(file.pieces[i].size(), DocumentWriter::kPieceBytes);
        }
    }
}

TEST(DocumentWriter, DocumentsLargerThanAPieceGrowTheBuffer)
{
    RecordingFile file;
    DocumentWriter writer(file, kOwner);
    PreparedDocument& small = writer.next();
    prepare(small, 1);
    writer.add();
    PreparedDocument& large = writer.next();
    prepare(large, 2);
    large.name = std::string(3 * DocumentWriter::kPieceBytes, '&');  // six bytes each once escaped
    const std::string largeName = large.name;
    writer.add();
    writer.finish();

    const std::string text = file.text();
    EXPECT_EQ(text.find(expectedText(2).substr(0, 200)), 0u);
    std::string escaped;
    for (std::size_t i = 0; i < largeName.size(); ++i) escaped += "&amp;";
    EXPECT_NE(text.find("<Name>" + escaped + "</Name>"), std::string::npos);
    EXPECT_TRUE(text.ends_with("</SceneObjectGroup>\r\n"));
}

TEST(DocumentWriter, DroppedWithoutFinishStopsAndJoins)
{
    RecordingFile file;
    const std::size_t count = DocumentWriter::kBatchSize * 2 + 5;
    {
        DocumentWriter writer(file, kOwner);
        addDocuments(writer, count);
        // Destroyed here, with batches queued and one part-filled.
    }
    // Whatever reached the file is whole documents from the start, in order.
    const std::string all = expectedText(count);
    const std::string text = file.text();
    EXPECT_EQ(all.compare(0, text.size(), text), 0);
    EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
}

TEST(DocumentWriter, AFailingWriteReachesTheCallingThread)
{
    RecordingFile file;
    file.failFromWrite = 0;
    bool thrown = false;
    try {
        DocumentWriter writer(file, kOwner);
        // Enough documents for more than a piece, so the writer writes (and fails) while
        // this thread still adds; next() or finish() then throws what it threw.
        addDocuments(writer, DocumentWriter::kBatchSize * DocumentWriter::kBatchCount * 4);
        writer.finish();
    } catch (const std::runtime_error& error) {
        thrown = true;
        EXPECT_STREQ(error.what(), "disk on fire");
    }
    EXPECT_TRUE(thrown);
    EXPECT_TRUE(file.pieces.empty());
}

TEST(DocumentWriter, AFailingFirstJobReachesTheCallingThread)
{
    RecordingFile file;
    DocumentWriter writer(file, kOwner, [] { throw std::runtime_error("copy failed"); });
    EXPECT_THROW(
        {
            addDocuments(writer, DocumentWriter::kBatchSize * DocumentWriter::kBatchCount * 2);
            writer.finish();
        },
        std::runtime_error);
    EXPECT_TRUE(file.pieces.empty());
}

}  // namespace
