#pragma once
// What OpenJPEG allocates to decode a JPEG 2000 image besides its samples
// (internal to the graphics layer): the bytes of its bookkeeping, from the
// coding styles the file's headers give each tile and component.
//
// For a tile it decodes, OpenJPEG sets up every resolution of every
// component (whatever reduction is asked for), each band's precincts, and
// each precinct's code-blocks with their tag trees and a first array of
// segments; then a packet iterator whose table holds two bytes per layer
// (plus one), resolution, component and precinct of the tile's largest
// resolution. The structures of one tile are reused for the next: each
// array is grown to the largest any tile asked for and kept until the end.
// So the bytes counted here are, for every component, resolution and band,
// the most precincts any tile gives it and the most code-blocks any of
// those precincts holds, plus the largest packet table of a tile, plus the
// coding parameters OpenJPEG keeps for every tile of the image.
//
// The sizes below are those of OpenJPEG 2.5's structures (a code-block 80
// bytes, its ten segments 240 and its share of two tag trees about 64; a
// precinct 56 bytes, its two trees and arrays about 130), with the
// allocator's overhead; measured peaks agree within a few per cent (4 x 4
// code-blocks over 1024 x 1024 and 2048 x 2048: 407 and 397 bytes a
// code-block; one-sample precincts over 1024 x 1024: 555 bytes a precinct
// and its code-block).

#include <array>
#include <cstdint>

namespace imageio::jpeg2000 {

inline constexpr int kMaxResolutions = 33;  // 32 decomposition levels
inline constexpr int kMaxComponents = 4;

// One component's coding style, as OpenJPEG keeps it (COD or COC).
struct Style {
    int resolutions = 1;                      // decomposition levels + 1
    int blockWidth = 6, blockHeight = 6;      // code-block size exponents
    std::array<uint8_t, kMaxResolutions> precinctWidth{}, precinctHeight{};  // exponents by resolution
    bool operator==(const Style&) const = default;
};

// An area of the reference grid or of a component: [x0, x1) x [y0, y1).
struct Rect {
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

class Bookkeeping {
public:
    static constexpr uint64_t kCodeBlockBytes = 416;
    static constexpr uint64_t kPrecinctBytes = 192;
    static constexpr uint64_t kResolutionBytes = 192;
    static constexpr uint64_t kPacketBytes = 2;
    static constexpr uint64_t kTileBytes = 5760, kTileComponentBytes = 1152;

    Bookkeeping(uint64_t tiles, int components) : tiles_(tiles), components_(components) {}

    // One state of a tile's coding styles, as it may be decoded: `area[c]`
    // is the tile's area in component c's samples.
    void addTile(const std::array<Rect, kMaxComponents>& area, const std::array<Style, kMaxComponents>& styles,
                 int layers);
    uint64_t bytes() const;

private:
    struct Slot {  // one band of one resolution of one component
        uint64_t precincts = 0, blocksPerPrecinct = 0;
    };
    uint64_t tiles_;
    int components_;
    std::array<std::array<std::array<Slot, 3>, kMaxResolutions>, kMaxComponents> slots_{};
    std::array<int, kMaxComponents> resolutions_{};
    uint64_t packetTable_ = 0;
};

}  // namespace imageio::jpeg2000
