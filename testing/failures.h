#pragma once

#include "convert/conversion_run.h"
#include "extract/scene_load.h"

#include <optional>

namespace vantor::test {

// The error that ended a run, or nothing for a run that wrote its files: one value that tables
// of expected endings can hold.
inline std::optional<convert::ConversionError> errorOf(const convert::ConversionReport& report)
{
    if (!report.failure) return std::nullopt;
    return report.failure->error;
}

// The error that ended a load, or nothing for a load that gave a table.
inline std::optional<extract::LoadError> errorOf(const extract::SceneLoad& load)
{
    if (!load.failure) return std::nullopt;
    return load.failure->error;
}

// The failure's details, or empty ones when there is none, so that a check of them after a
// failed check of the error reads no missing value.
inline convert::ConversionFailure failureOf(const convert::ConversionReport& report)
{
    return report.failure.value_or(convert::ConversionFailure{});
}

inline extract::LoadFailure failureOf(const extract::SceneLoad& load)
{
    return load.failure.value_or(extract::LoadFailure{});
}

}  // namespace vantor::test
