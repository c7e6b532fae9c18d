#include "platform/graphics/JPEG2000Bookkeeping.h"

#include <algorithm>

namespace imageio::jpeg2000 {

namespace {

// Grid arithmetic as OpenJPEG's (a band's origin may lie below zero).
int64_t ceilShift(int64_t a, int k) { return (a + (int64_t(1) << k) - 1) >> k; }
int64_t floorShift(int64_t a, int k) { return a >> k; }
// Cells of a 2^k grid that [a0, a1) touches; 0 when empty.
uint64_t cells(int64_t a0, int64_t a1, int k) { return a1 > a0 ? uint64_t(ceilShift(a1, k) - floorShift(a0, k)) : 0; }

// Products that may pass any real count saturate instead of wrapping.
uint64_t times(uint64_t a, uint64_t b) {
    constexpr uint64_t kMost = uint64_t(1) << 52;  // so that a few hundred such terms still add up
    return a != 0 && b > kMost / a ? kMost : a * b;
}

Rect shrunk(const Rect& r, int n) { return Rect{ceilShift(r.x0, n), ceilShift(r.y0, n), ceilShift(r.x1, n), ceilShift(r.y1, n)}; }

// Band `b` (0: the lowest resolution's only band; 1...3: HL, LH, HH) of a
// resolution `n` halvings below the component's full size.
Rect bandOf(const Rect& component, int n, int b, bool lowest) {
    if (lowest) return shrunk(component, n);
    const int64_t ox = b & 1 ? 1 : 0, oy = b & 2 ? 1 : 0;
    return Rect{ceilShift(component.x0 - (ox << n), n + 1), ceilShift(component.y0 - (oy << n), n + 1),
                ceilShift(component.x1 - (ox << n), n + 1), ceilShift(component.y1 - (oy << n), n + 1)};
}

// The most code-blocks one precinct of a band holds: a precinct's share of
// the band is 2^cbg samples across (cbg the precinct exponent, one less
// above the lowest resolution), cut in code-blocks of at most that size.
uint64_t blocksPerPrecinct(const Rect& band, int cbgWidth, int cbgHeight, const Style& s) {
    if (band.empty()) return 0;
    const int bw = std::min(s.blockWidth, cbgWidth), bh = std::min(s.blockHeight, cbgHeight);
    const uint64_t across = std::min(uint64_t(1) << (cbgWidth - bw), cells(band.x0, band.x1, bw));
    const uint64_t down = std::min(uint64_t(1) << (cbgHeight - bh), cells(band.y0, band.y1, bh));
    return across * down;
}

}  // namespace

void Bookkeeping::addTile(const std::array<Rect, kMaxComponents>& area, const std::array<Style, kMaxComponents>& styles,
                          int layers) {
    uint64_t mostPrecincts = 0;
    int mostResolutions = 0;
    for (int c = 0; c < components_; ++c) {
        const Style& s = styles[size_t(c)];
        mostResolutions = std::max(mostResolutions, s.resolutions);
        resolutions_[size_t(c)] = std::max(resolutions_[size_t(c)], s.resolutions);
        for (int r = 0; r < s.resolutions; ++r) {
            const int n = s.resolutions - 1 - r;  // halvings from the full size
            const Rect res = shrunk(area[size_t(c)], n);
            const int px = s.precinctWidth[size_t(r)], py = s.precinctHeight[size_t(r)];
            const uint64_t precincts = res.empty() ? 0 : cells(res.x0, res.x1, px) * cells(res.y0, res.y1, py);
            mostPrecincts = std::max(mostPrecincts, precincts);
            const int bands = r == 0 ? 1 : 3;
            for (int b = 0; b < bands; ++b) {
                Slot& slot = slots_[size_t(c)][size_t(r)][size_t(b)];
                const Rect band = bandOf(area[size_t(c)], n, r == 0 ? 0 : b + 1, r == 0);
                slot.precincts = std::max(slot.precincts, precincts);
                slot.blocksPerPrecinct = std::max(slot.blocksPerPrecinct,
                                                  blocksPerPrecinct(band, r == 0 ? px : px - 1, r == 0 ? py : py - 1, s));
            }
        }
    }
    const uint64_t table = (uint64_t(layers) + 1) * uint64_t(mostResolutions) * uint64_t(components_);
    packetTable_ = std::max(packetTable_, times(table * kPacketBytes, mostPrecincts));
}

uint64_t Bookkeeping::bytes() const {
    uint64_t total = tiles_ * (kTileBytes + uint64_t(components_) * kTileComponentBytes) + packetTable_;
    for (int c = 0; c < components_; ++c) {
        total += uint64_t(resolutions_[size_t(c)]) * kResolutionBytes;
        for (const auto& bands : slots_[size_t(c)])
            for (const Slot& slot : bands)
                total += times(slot.precincts, kPrecinctBytes + times(slot.blocksPerPrecinct, kCodeBlockBytes));
    }
    return total;
}

}  // namespace imageio::jpeg2000
