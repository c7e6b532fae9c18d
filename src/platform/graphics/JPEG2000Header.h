#pragma once
// What a JPEG 2000 file asks of OpenJPEG, read by our own code before
// OpenJPEG sees any of it (internal to the graphics layer). OpenJPEG sets
// up, for every tile it decodes, a structure per code-block, precinct and
// packet that the file's coding styles ask for, whatever the file's size: a
// hundred bytes that ask for 4 x 4 code-blocks over 8192 x 8192 pixels cost
// it gigabytes. So the image header (SIZ) and every coding style (COD, COC)
// of the main header and of the tile-part headers that have arrived are read
// here, and a file is refused when
//   - its size is beyond the pixel budget (CGImage::fitsBudget, as for every
//     format), it has more than 4,096 tiles, more than 4 channels (after
//     its palette, JPEG2000Boxes.h) or more than 16 bits;
//   - OpenJPEG's bookkeeping for it (JPEG2000Bookkeeping.h) would pass
//     64 MiB, or the bytes of the image's samples when they are more (a
//     large photo coded in small code-blocks): at most it doubles what the
//     samples cost, which the pixel budget bounds;
//   - its markers cannot be walked as OpenJPEG walks them (below), or its
//     boxes read as OpenJPEG reads them (JPEG2000Boxes.h).
//
// The walk agrees with OpenJPEG's by construction, so that what is judged
// is what OpenJPEG will read. Each segment is stepped over by its length,
// as OpenJPEG does for the markers it knows; for one it does not know,
// OpenJPEG instead reads pairs of bytes from the length field on until a
// pair is a marker it knows. Such a segment is accepted only when that scan
// lands exactly where the walk goes next: its length is even and no pair
// inside it (its length field included) is a marker OpenJPEG knows.
// Otherwise a coding style hidden in the body of an unknown segment would be
// read by OpenJPEG and never seen here. In tile-part headers OpenJPEG
// refuses unknown markers, and so does the walk; a tile-part header must end
// within the tile-part's length (Psot), and the next tile-part starts where
// that length says, as in OpenJPEG. Markers known to OpenJPEG but not
// allowed where they stand make it fail, and are refused here too.
// The decoder also compares the main header's styles with OpenJPEG's own
// parse of them, before any tile is set up (JPEG2000Coding.cpp).
//
// A tile may be decoded after any of its tile-parts, so each state of its
// styles counts. A coding style is only checked once its bytes have arrived:
// the decoder reads the header again over all the bytes before each decode.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/graphics/JPEG2000Bookkeeping.h"
#include "platform/graphics/JPEG2000Boxes.h"

namespace imageio::jpeg2000 {

struct Header {
    bool jp2 = false;  // a JP2 file (else a bare codestream)
    uint32_t x0 = 0, y0 = 0;  // the image's offset on the reference grid
    uint32_t width = 0, height = 0;
    int components = 0;  // channels, after the palette
    // Whether the last channel is opacity: of two, or of four that the
    // colour box does not call CMYK (as opj_decompress writes them).
    bool opacity = false;
    // The JP2 boxes (none for a bare codestream), and the channels the
    // decoder makes of the codestream's components with them.
    Boxes boxes;
    std::vector<Channel> channels;
    // How many times the image may be halved in decoding (a reduced
    // resolution): the fewest decomposition levels of any tile-component.
    int halvings = 0;
    // What OpenJPEG allocates besides the samples (JPEG2000Bookkeeping.h).
    uint64_t bookkeepingBytes = 0;
    // The main header's final coding parameters, as OpenJPEG keeps them for
    // every tile before its own tile-part headers (for the codestream's
    // components, before the palette).
    int layers = 0;
    std::vector<Style> styles;
};

// A marker segment as OpenJPEG's codestream index records it: its code, its
// position in the file and its length with the marker. A run of segments
// unknown to OpenJPEG in the main header is one record of code 0 (none when
// a SOT follows) as OpenJPEG counts it: 2 bytes and 2 for each marker code
// its scan met, ending 2 bytes after the next known marker's position; a
// SOD record runs to the end of its tile-part's data.
struct Marker {
    uint16_t code = 0;
    uint64_t position = 0, length = 0;
    bool operator==(const Marker&) const = default;
};

struct Markers {
    std::vector<Marker> main;
    std::vector<std::vector<Marker>> tiles;  // by tile: its tile-parts' SOT, segments and SOD
};

// nullopt while the main header has not arrived whole, and for a file that
// is damaged or passes a limit above; `refused` (when given) tells the
// latter, which no more bytes can mend. `markers` (when given) receives the
// segments walked, also for a refused file as far as the walk went.
std::optional<Header> readHeader(const uint8_t* bytes, size_t size, bool* refused = nullptr, Markers* markers = nullptr);

}  // namespace imageio::jpeg2000
