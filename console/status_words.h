// What each status of the five functions means, in words.
#pragma once

#include <cstdint>
#include <string>

namespace console {

enum class Call { Open, Write, Event, Close };

// "channel open, slave started", "the slave did not reply in time", ...
const char* meaningOf(Call call, std::int8_t status);

// "write 4 (the slave did not reply in time)": the start of a result line.
std::string describe(Call call, std::int8_t status);

}  // namespace console
