// Micro-benchmarks of the conversion engine's inner loop: parsing one record, computing its
// values and writing its object document, and the line-end check over a listing.

#include "convert/listing_parser.h"
#include "convert/prim_xml.h"
#include "testing/record_reference.h"
#include "text/text_codec.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kRecord =
    "\n[9:05]  Door spring 11: 11, <124.300000, 126.800000, 22.400000>, <0.000000, 0.707110, 0.000000, "
    "0.707110>, <0.100000, 0.100000, 0.600000>, \r\n4, 0, <0.000000, 1.000000, 0.000000>, 0.250000, "
    "<-0.250000, 0.250000, 0.000000>, <1.000000, 0.100000, 0.000000>, <0.000000, 0.000000, 0.000000>, "
    "<0.000000, 1.000000, 0.000000>, <0.100000, -0.100000, 0.000000>, 2.005000, 0.000000, 0.125000, 0\r";

class CountingRandom final : public vantor::platform::RandomSource {
public:
    float next() override
    {
        m_value = m_value >= 0.9375f ? 0.0f : m_value + 0.0625f;
        return m_value;
    }

private:
    float m_value = 0;
};

void parsePackedRecord(benchmark::State& state)
{
    vantor::convert::PackedRecord record;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vantor::convert::parseRecord(kRecord, record));
    }
}
BENCHMARK(parsePackedRecord);

void checkLineEnds(benchmark::State& state)
{
    std::string text;
    while (text.size() < (1u << 20)) text += kRecord.substr(1) + "\n";
    for (auto _ : state) {
        benchmark::DoNotOptimize(vantor::text::hasOnlyCrLfLineEnds(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(checkLineEnds);

void buildDocument(benchmark::State& state)
{
    vantor::convert::PackedRecord record;
    if (!vantor::convert::parseRecord(kRecord, record)) state.SkipWithError("record does not parse");
    vantor::convert::ShapeNames names;
    CountingRandom random;
    std::string uuid;
    std::string document;
    for (auto _ : state) {
        uuid.clear();
        vantor::convert::appendObjectUuid(uuid, random);
        document.clear();
        const vantor::test::PrimXmlInputs inputs{{3, 3, -3.5}, "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13", "720002",
                                                    uuid};
        benchmark::DoNotOptimize(vantor::test::appendPrimXml(document, record, inputs, names));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(document.size()));
}
BENCHMARK(buildDocument);

// The two halves of the document build on their own: the values (on the run's thread) and
// the text (on the writer's thread).
void computeValues(benchmark::State& state)
{
    vantor::convert::PackedRecord record;
    if (!vantor::convert::parseRecord(kRecord, record)) state.SkipWithError("record does not parse");
    vantor::convert::ShapeNames names;
    vantor::convert::PrimValues values;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vantor::convert::computePrimValues(record, {3, 3, -3.5}, names, values));
    }
}
BENCHMARK(computeValues);

void writeDocument(benchmark::State& state)
{
    vantor::convert::PackedRecord record;
    if (!vantor::convert::parseRecord(kRecord, record)) state.SkipWithError("record does not parse");
    vantor::convert::ShapeNames names;
    vantor::convert::PrimValues values;
    if (!vantor::convert::computePrimValues(record, {3, 3, -3.5}, names, values)) state.SkipWithError("no values");
    const vantor::convert::PrimTexts texts{"3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13", "720002",
                                           "0123abcd-4567-89ef-0123-456789abcdef", record.name()};
    std::string buffer(vantor::convert::primDocumentBound(texts), '\0');
    std::size_t written = 0;
    for (auto _ : state) {
        char* const end = vantor::convert::writePrimDocument(buffer.data(), values, texts);
        written = static_cast<std::size_t>(end - buffer.data());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(written));
}
BENCHMARK(writeDocument);

}  // namespace

BENCHMARK_MAIN();
