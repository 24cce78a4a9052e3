#pragma once

#include "prim_xml.h"

#include "platform/file_system.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vantor::convert {

// One object document as the calling thread prepares it: its values and its texts.
struct PreparedDocument {
    PrimValues values;
    std::string localId;
    std::string objectUuid;
    std::string name;
    // When objects are linked: whether this record begins an object (else it is a part of the
    // object begun last), and a part's placement relative to its root (childPlacement).
    bool beginsObject = true;
    PartPlacement placement;
};

// Writes object documents into the scene file on a thread of its own, so that the calling
// thread can cut, parse and compute the next records meanwhile. The calling thread fills
// batches of prepared documents (next, then add); the writer formats each batch, one line per
// document, and writes the text in large pieces. At most kBatchCount batches exist, so memory
// stays small whatever the listing's length, and the calling thread waits when the writer
// falls behind. The documents reach the file in the order they were added.
//
// When objects are linked, the documents of one object (the one that begins it and the parts
// after it) become one SceneObjectGroup line, the root first: an object is written once the
// next one begins or the documents end, and one of a single part is written as without linking.
//
// Destroying the writer without finish() stops it after the piece it is writing and joins
// it; documents still queued are dropped (a failed run drops its scene file anyway).
class DocumentWriter {
public:
    static constexpr std::size_t kBatchSize = 256;
    static constexpr std::size_t kBatchCount = 3;
    // The writer hands text to the file in pieces of at least this size (but the last).
    static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

    // scene: the file the documents go to; nothing else writes to it until finish() returns
    // or the writer is destroyed. escapedOwnerUuid must outlive the writer.
    DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid, bool linkObjects = false);
    ~DocumentWriter();

    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    // The document to fill next; waits while every batch is queued. Throws what the writer's
    // thread threw, if it failed.
    [[nodiscard]] PreparedDocument& next();
    // The document that next() returned is complete.
    void add();
    // Hands over the last documents, waits until everything is written and joins the
    // thread. Throws what the writer's thread threw, if it failed.
    void finish();

private:
    struct Batch {
        std::vector<PreparedDocument> documents = std::vector<PreparedDocument>(kBatchSize);
        std::size_t count = 0;
    };

    void run();
    [[nodiscard]] Batch* takeQueued();
    void giveBack(Batch* batch);
    void writeBatch(const Batch& batch);
    void writeLinked(const PreparedDocument& document);
    void endObject();
    [[nodiscard]] char* room(std::size_t bound);
    void wrote(char* end);
    void writePiece();
    void stop();
    void rethrowFailure();

    platform::OutputFile& m_scene;
    std::string_view m_escapedOwnerUuid;
    bool m_linkObjects = false;

    std::array<Batch, kBatchCount> m_batches;
    Batch* m_filling = nullptr;  // the calling thread's, outside both lists

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch*> m_free;    // guarded by m_mutex
    std::deque<Batch*> m_queued;  // guarded by m_mutex
    bool m_finishing = false;     // guarded by m_mutex: no more batches will come
    bool m_abandoned = false;     // guarded by m_mutex: stop without writing the rest
    std::exception_ptr m_failure; // guarded by m_mutex: what the writer's thread threw

    // The writer's thread only.
    std::unique_ptr<char[]> m_text;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    PreparedDocument m_root;   // linking: the root of the object under way, while no other part came
    bool m_rootHeld = false;
    bool m_groupOpen = false;  // linking: the root and its OtherParts are written, the group's end not

    std::thread m_thread;  // last, so that it starts when everything else is ready
};

}  // namespace vantor::convert
