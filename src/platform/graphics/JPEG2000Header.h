#pragma once
// What a JPEG 2000 file claims, read by our own code before OpenJPEG sees
// any of it (internal to the graphics layer). OpenJPEG sets up, for every
// tile it decodes, a structure per code-block, precinct and packet that the
// file's coding styles ask for, whatever the file's size: a hundred bytes
// that ask for 4 x 4 code-blocks over 8192 x 8192 pixels cost it gigabytes.
// So the image header (SIZ), the coding styles of the main header (COD,
// COC) and those of every tile-part header that has arrived are read here,
// and a file is refused when
//   - its size is beyond the pixel budget, it has more than 4,096 tiles,
//     more than 4 components (after its palette) or more than 16 bits;
//   - OpenJPEG's samples (4 bytes per component and pixel) would pass the
//     budget's bytes (256 MiB);
//   - its code-blocks or its precincts, counted over every tile, component
//     and resolution level, pass one per 256 samples (16 x 16 code-blocks,
//     where encoders write 64 x 64), 16,384 being allowed to any image;
//   - its packets (layers x components x resolutions x the most precincts of
//     a resolution, as OpenJPEG lays them out for a tile), summed over the
//     tiles, pass one per 16 samples, 2^20 being allowed to any image;
//   - its markers cannot be walked (a length that overruns its segment,
//     bytes that are no marker where one must be).
// A coding style is only checked once its bytes have arrived: the decoder
// reads the header again over all the bytes before each decode.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace imageio::jpeg2000 {

struct Header {
    bool jp2 = false;  // a JP2 file (else a bare codestream)
    uint32_t x0 = 0, y0 = 0;  // the image's offset on the reference grid
    uint32_t width = 0, height = 0;
    int components = 0;  // after the palette
    // How many times the image may be halved in decoding (a reduced
    // resolution): the fewest decomposition levels of any tile-component.
    int halvings = 0;
    // What OpenJPEG will set up, over every tile.
    uint64_t codeBlocks = 0, precincts = 0, packets = 0;
};

// nullopt while the main header has not arrived whole, and for a file that
// is damaged or passes a limit above; `refused` (when given) tells the
// latter, which no more bytes can mend.
std::optional<Header> readHeader(const uint8_t* bytes, size_t size, bool* refused = nullptr);

}  // namespace imageio::jpeg2000
