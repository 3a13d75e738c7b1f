#include "gui/GuiTypes.h"

#include <algorithm>
#include <atomic>

namespace qgui {

namespace {
std::atomic<int64_t> liveObjects{0};
}

CBaseObject::CBaseObject() {
    liveObjects.fetch_add(1, std::memory_order_relaxed);
}
CBaseObject::~CBaseObject() {
    liveObjects.fetch_sub(1, std::memory_order_relaxed);
}
int64_t CBaseObject::liveObjectCount() {
    return liveObjects.load(std::memory_order_relaxed);
}

CRect& CRect::bound(const CRect& r) {
    left = std::max(left, r.left);
    top = std::max(top, r.top);
    right = std::min(right, r.right);
    bottom = std::min(bottom, r.bottom);
    if (right < left) right = left;
    if (bottom < top) bottom = top;
    return *this;
}

CRect& CRect::unite(const CRect& r) {
    if (r.isEmpty()) return *this;
    if (isEmpty()) return *this = r;
    left = std::min(left, r.left);
    top = std::min(top, r.top);
    right = std::max(right, r.right);
    bottom = std::max(bottom, r.bottom);
    return *this;
}

}  // namespace qgui
