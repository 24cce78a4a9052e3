// Writes a prim listing of many prims for the conversion benchmark, in the producer's exact
// layout: a header line, then two lines per prim, every prim type in turn, every record
// different from the others. With PASTES above 1 the listing reads as pasted in that many
// parts: each part after the first begins with the header line again.
//
//   make_prim_listing FILE [COUNT [PASTES]]   COUNT defaults to 50000, PASTES to 1

#include "bench/listing_text.h"
#include "bench/pseudo_random.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

namespace {

// Six decimals, as the producer prints its floats.
void appendFixed(std::string& out, double value)
{
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    (void)error;
    out.append(buffer, end);
}

void appendVector(std::string& out, std::initializer_list<double> values)
{
    vantor::bench::appendVector(out, values, appendFixed);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: make_prim_listing FILE [COUNT]\n";
        return 2;
    }
    long count = 50000;
    long pastes = 1;
    for (int i = 2; i < argc && i < 4; ++i) {
        const std::string_view text = argv[i];
        long& value = i == 2 ? count : pastes;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size() || value < (i == 2 ? 0 : 1)) {
            std::cerr << "make_prim_listing: COUNT and PASTES must be whole numbers, PASTES at least 1\n";
            return 2;
        }
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }

    static const char* const kNames[] = {"Floor tile", "Wall panel", "Column", "Roof beam", "Lamp globe",
                                         "Door spring", "Arch", "Flower ring"};
    vantor::bench::PseudoRandom random{20261206};
    const std::string header = "[9:05]  Rezzer: <128.00000, 128.00000, 21.50000>\r\n";
    std::string text = header;
    long nextPaste = 1;
    for (long i = 0; i < count; ++i) {
        if (nextPaste < pastes && i == count * nextPaste / pastes) {
            text += header;
            ++nextPaste;
        }
        const int type = static_cast<int>(i % 7);
        text += "[9:05]  ";
        text += kNames[i % 8];
        text += ' ';
        text += std::to_string(i + 1);
        text += ": ";
        text += std::to_string(i + 1);
        text += ", ";
        appendVector(text, {random.next(1, 255), random.next(1, 255), random.next(20, 60)});
        text += ", ";
        appendVector(text, {0, 0, random.next(-1, 1), random.next(0, 1)});
        text += ", ";
        appendVector(text, {random.next(0.01, 10), random.next(0.01, 10), random.next(0.01, 10)});
        text += ", \r\n";

        text += std::to_string(type);
        text += ", ";
        text += std::to_string((i % 4) * 16);
        text += ", ";
        appendVector(text, {0.125 * static_cast<double>(i % 3), 1, 0});
        text += ", ";
        appendFixed(text, random.next(0, 0.95));
        text += ", ";
        appendVector(text, {random.next(-0.5, 0), random.next(0, 0.5), 0});
        text += ", ";
        appendVector(text, {random.next(0, 1), random.next(0, 1), 0});
        text += ", ";
        appendVector(text, {random.next(-0.5, 0.5), random.next(-0.5, 0.5), 0});
        text += ", ";
        appendVector(text, {0, 1, 0});
        text += ", ";
        appendVector(text, {random.next(-1, 1), random.next(-1, 1), 0});
        text += ", ";
        appendFixed(text, 1 + 0.015 * static_cast<double>(i % 200));
        text += ", ";
        appendFixed(text, random.next(-0.5, 0.5));
        text += ", ";
        appendFixed(text, random.next(-0.5, 0.5));
        text += ", 0\r\n";

        if (text.size() > (1 << 20)) {
            std::fwrite(text.data(), 1, text.size(), file);
            text.clear();
        }
    }
    std::fwrite(text.data(), 1, text.size(), file);
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
