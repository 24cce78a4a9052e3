#pragma once

#include <initializer_list>
#include <string>

namespace vantor::bench {

// Appends "<a, b, c>", each value written by appendNumber.
template <typename AppendNumber>
void appendVector(std::string& out, std::initializer_list<double> values, AppendNumber appendNumber)
{
    out += '<';
    bool first = true;
    for (const double value : values) {
        if (!first) out += ", ";
        first = false;
        appendNumber(out, value);
    }
    out += '>';
}

}  // namespace vantor::bench
