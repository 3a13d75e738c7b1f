// CBitmap: the table of embedded images, their tiles decoded on demand and shared by id, and
// drawing through a context. The drawing library is behind gui/Surface.h.
#include "gui/CBitmap.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "gui/CDrawContext.h"
#include "gui/EmbeddedImages.h"

namespace qgui {

namespace {

constexpr int kMaxDensity = 3;
// Decoded tiles an image keeps per density: the ones drawn last.
constexpr size_t kKeptTiles = 4;

const EmbeddedImageTable*& registeredTable() {
    static const EmbeddedImageTable* table = nullptr;
    return table;
}

}  // namespace

void registerEmbeddedImages(const EmbeddedImageTable* table) {
    registeredTable() = table;
}

const EmbeddedImageTable* embeddedImages() {
    return registeredTable();
}

const EmbeddedImage* findEmbeddedImage(int32_t id, int32_t density) {
    const EmbeddedImageTable* table = registeredTable();
    if (!table) return nullptr;
    for (size_t i = 0; i < table->count; ++i)
        if (table->images[i].id == id && table->images[i].density == density)
            return &table->images[i];
    return nullptr;
}

uint32_t embeddedDensities(int32_t id) {
    uint32_t mask = 0;
    for (int d = 1; d <= kMaxDensity; ++d)
        if (findEmbeddedImage(id, d)) mask |= 1u << d;
    return mask;
}

// The decoded tiles of one embedded image, shared by every bitmap of it while one lives, so
// several open editors hold one copy.
struct CBitmap::Shared {
    struct Set {
        const EmbeddedImage* image = nullptr;
        std::vector<NativeSurface*> tiles;  // null until decoded
        std::vector<size_t> recent;         // decoded tiles, the last drawn at the back
    };
    Set sets[kMaxDensity];

    ~Shared() {
        for (Set& set : sets)
            for (NativeSurface* tile : set.tiles) releaseSurface(tile);
    }

    // Tile `t` of `set`, decoded from its PNG (frames side by side) into a strip.
    static NativeSurface* decode(const EmbeddedImage& image, size_t t) {
        const EmbeddedTile& tile = image.tiles[t];
        NativeSurface* row = decodePngSurface(tile.png, tile.size);
        if (!row) return nullptr;
        const int d = image.density;
        const int w = image.width * d, fh = image.height / image.frames * d;
        const int first = static_cast<int>(t) * image.framesPerTile;
        const int count = std::min(image.framesPerTile, image.frames - first);
        NativeSurface* strip = nullptr;
        if (surfaceWidth(row) == w * count && surfaceHeight(row) == fh) {
            strip = createSurface(w, fh * count);
            for (int i = 0; strip && i < count; ++i)
                copySurfaceRect(strip, 0, i * fh, row, i * w, 0, w, fh);
        }
        releaseSurface(row);
        return strip;
    }

    NativeSurface* tile(int density, size_t t) {
        Set& set = sets[density - 1];
        if (!set.image || t >= set.tiles.size()) return nullptr;
        auto at = std::find(set.recent.begin(), set.recent.end(), t);
        if (at != set.recent.end()) set.recent.erase(at);
        if (!set.tiles[t]) {
            set.tiles[t] = decode(*set.image, t);
            if (!set.tiles[t]) return nullptr;
            if (set.recent.size() >= kKeptTiles) {
                releaseSurface(set.tiles[set.recent.front()]);
                set.tiles[set.recent.front()] = nullptr;
                set.recent.erase(set.recent.begin());
            }
        }
        set.recent.push_back(t);
        return set.tiles[t];
    }
};

namespace {

using SharedKey = std::pair<const EmbeddedImageTable*, int32_t>;

template <typename Shared>
std::map<SharedKey, std::weak_ptr<Shared>>& sharedImages() {
    static std::map<SharedKey, std::weak_ptr<Shared>> images;
    return images;
}

}  // namespace

CBitmap::CBitmap(int32_t id) : resourceId(id) {
    const SharedKey key{embeddedImages(), id};
    auto& images = sharedImages<Shared>();
    if (auto found = images.find(key); found != images.end()) shared = found->second.lock();
    if (!shared) {
        auto made = std::make_shared<Shared>();
        bool any = false;
        for (int d = 1; d <= kMaxDensity; ++d) {
            const EmbeddedImage* image = findEmbeddedImage(id, d);
            if (!image || image->frames < 1 || image->framesPerTile < 1 || image->width < 1 ||
                image->height % image->frames != 0 ||
                image->tileCount != static_cast<size_t>((image->frames + image->framesPerTile - 1) /
                                                        image->framesPerTile))
                continue;
            made->sets[d - 1].image = image;
            made->sets[d - 1].tiles.assign(image->tileCount, nullptr);
            any = true;
        }
        if (!any) return;
        images[key] = made;
        shared = std::move(made);
    }
    for (const Shared::Set& set : shared->sets)
        if (set.image) {
            width = set.image->width;
            height = set.image->height;
            break;
        }
    // An image that does not decode is not loaded.
    loaded = pieceAt(densityFor(1), 0).surface != nullptr;
}

CBitmap::CBitmap(CCoord w, CCoord h) {
    own = createSurface(static_cast<int>(w), static_cast<int>(h));
    if (!own) return;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    loaded = true;
}

CBitmap::~CBitmap() {
    for (NativeSurface* s : wholeImages) releaseSurface(s);
    releaseSurface(own);
    if (shared && shared.use_count() == 1) {
        auto& images = sharedImages<Shared>();
        for (auto it = images.begin(); it != images.end(); ++it)
            if (it->second.lock() == shared) {
                images.erase(it);
                break;
            }
    }
}

int CBitmap::densityFor(double scale) const {
    if (!shared) return 1;
    int best = 0;
    for (int d = 1; d <= kMaxDensity; ++d) {
        if (!shared->sets[d - 1].image) continue;
        best = d;
        if (d >= scale - 1e-6) break;
    }
    return best ? best : 1;
}

CBitmap::Piece CBitmap::pieceAt(int density, CCoord y) {
    if (y < 0 || y >= height) return {};
    if (own) return density == 1 ? Piece{own, CRect(0, 0, width, height), 1} : Piece{};
    if (!shared || density < 1 || density > kMaxDensity) return {};
    const EmbeddedImage* image = shared->sets[density - 1].image;
    if (!image) return {};
    const int fh = image->height / image->frames;
    const auto t = static_cast<size_t>(std::floor(y) / fh) / image->framesPerTile;
    NativeSurface* tile = shared->tile(density, t);
    if (!tile) return {};
    const CCoord top = static_cast<CCoord>(t * image->framesPerTile * fh);
    return {tile, CRect(0, top, width, top + surfaceHeight(tile) / density), density};
}

NativeSurface* CBitmap::getSurface(int density) {
    if (own) return density == 1 ? own : nullptr;
    if (!loaded || density < 1 || density > kMaxDensity || !shared->sets[density - 1].image)
        return nullptr;
    if (wholeImages.size() < static_cast<size_t>(density)) wholeImages.resize(density, nullptr);
    NativeSurface*& whole = wholeImages[density - 1];
    if (whole) return whole;
    whole = createSurface(static_cast<int>(width) * density, static_cast<int>(height) * density);
    for (CCoord y = 0; whole && y < height;) {
        const Piece p = pieceAt(density, y);
        if (!p.surface) break;
        copySurfaceRect(whole, 0, static_cast<int>(p.rect.top) * density, p.surface, 0, 0,
                        surfaceWidth(p.surface), surfaceHeight(p.surface));
        y = p.rect.bottom;
    }
    return whole;
}

void CBitmap::draw(CDrawContext* context, const CRect& destRect, const CPoint& offset,
                   float alpha) {
    if (context) context->drawBitmap(this, destRect, offset, alpha);
}

}  // namespace qgui
