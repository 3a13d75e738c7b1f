// "Did you mean ...?" for names typed on the command line. Main thread.
#pragma once

#include <string>
#include <vector>

namespace render {

// The name of `names` nearest to `typed` (letter case and blanks ignored), when it is near enough
// to be a slip of the keyboard or a part of the name; "" otherwise.
std::string nearestName(const std::string& typed, const std::vector<std::string>& names);

// " (did you mean 'X'?)" for the nearest name, else "".
std::string didYouMean(const std::string& typed, const std::vector<std::string>& names);

}  // namespace render
