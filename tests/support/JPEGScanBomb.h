#pragma once
// Progressive JPEGs made to order: a flat grey picture in the library's
// usual scans, and the same with its last scan (an AC refinement) repeated,
// each repeat a whole pass over the picture's blocks, as a hostile file
// does. Header-only: the tests that use it link libjpeg.

#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace testsupport {

// A side × side progressive JPEG with `extraScans` more copies of its last
// scan before the end.
inline std::vector<uint8_t> progressiveJPEG(int side, int extraScans = 0) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&c, &buffer, &length);
    c.image_width = JDIMENSION(side);
    c.image_height = JDIMENSION(side);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(side) * 3, 128);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + length);
    std::free(buffer);
    if (extraScans <= 0) return out;

    // The last scan runs from the last SOS marker to the end-of-image marker.
    size_t lastScan = 0;
    for (size_t i = 2; i + 1 < out.size(); ++i)
        if (out[i] == 0xFF && out[i + 1] == 0xDA) lastScan = i;
    size_t end = out.size() - 2;  // FF D9
    std::vector<uint8_t> scan(out.begin() + long(lastScan), out.begin() + long(end));
    std::vector<uint8_t> bomb(out.begin(), out.begin() + long(end));
    for (int i = 0; i < extraScans; ++i) bomb.insert(bomb.end(), scan.begin(), scan.end());
    bomb.insert(bomb.end(), {0xFF, 0xD9});
    return bomb;
}

}  // namespace testsupport
