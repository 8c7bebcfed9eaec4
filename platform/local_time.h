#pragma once
// The calendar time of the user's time zone, for dates in file names and logs.
#include <ctime>

namespace upwend {

// `when` broken down in the local time zone (thread-safe).
std::tm LocalTime(std::time_t when);

}  // namespace upwend
