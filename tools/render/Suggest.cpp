#include "render/Suggest.h"

#include <algorithm>
#include <cctype>

namespace render {
namespace {

std::string folded(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (c != ' ') out += static_cast<char>(std::tolower(c));
    return out;
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) from a to b.
size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string nearestName(const std::string& typed, const std::vector<std::string>& names) {
    const std::string t = folded(typed);
    if (t.empty()) return "";
    std::string best;
    size_t bestDistance = static_cast<size_t>(-1);
    for (const std::string& name : names) {
        const std::string n = folded(name);
        if (n.empty() || n == "-") continue;
        size_t d = distance(t, n);
        // A part of the name ("mezzo", "drum") counts as near.
        if (t.size() >= 3 && n.find(t) != std::string::npos) d = std::min<size_t>(d, 1);
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    }
    const size_t allowed = std::max<size_t>(2, t.size() / 3);
    return bestDistance <= allowed ? best : "";
}

std::string didYouMean(const std::string& typed, const std::vector<std::string>& names) {
    const std::string near = nearestName(typed, names);
    return near.empty() ? "" : " (did you mean '" + near + "'?)";
}

}  // namespace render
