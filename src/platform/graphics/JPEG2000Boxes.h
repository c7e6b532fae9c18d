#pragma once
// The JP2 boxes around a codestream, read as OpenJPEG 2.5 reads them
// (internal to the graphics layer): where the codestream starts, the
// colour space, and the palette, component mapping and channel definitions.
//
// OpenJPEG applies a palette after decoding: one new component of the
// image's full size, 4 bytes a sample, for each of up to 255 columns. It
// takes palette boxes wherever it reads them: inside the JP2 header box,
// at the top level once a header box has been read (or once any box it
// does not know has set every bit of its reading state), in a second header
// box, behind boxes of the 64-bit (XL) length. So the decoder never lets it
// apply one (OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG): it applies what
// this reading found itself, to at most four channels, from the same
// reading that judged the file (JPEG2000Header.h). The reading follows
// OpenJPEG box by box, so that the picture is the one OpenJPEG would give.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio::jpeg2000 {

struct Palette {
    int entries = 0, columns = 0;
    std::vector<uint8_t> depth;  // bits of each column
    std::vector<bool> sgnd;      // whether each column is signed
    std::vector<int32_t> values;  // entries x columns, as OpenJPEG keeps them (not sign-extended)
    // The component mapping (cmap): without one the palette is not applied.
    struct Mapping {
        uint16_t component = 0;
        uint8_t type = 0, column = 0;  // type 0: the component as it is; 1: through the palette
    };
    std::vector<Mapping> mapping;
    bool mapped = false;
};

// A channel definition (cdef): channel, type (0 colour, 1 opacity, ...),
// association (0 the whole image, 65535 none, else a colour + 1).
struct ChannelDefinition {
    uint16_t channel = 0, type = 0, association = 0;
};

// The colour box's EnumCS values that have a meaning here.
enum EnumCS : uint32_t { kEnumCSCMYK = 12, kEnumCSSRGB = 16, kEnumCSGrey = 17, kEnumCSSYCC = 18, kEnumCSEYCC = 24 };

struct Boxes {
    size_t codestream = 0;        // where the codestream starts in the file
    uint32_t colourSpace = 0;     // EnumCS of the colour box OpenJPEG takes; 0 without one
    std::optional<Palette> palette;
    std::vector<ChannelDefinition> definitions;
};

enum class BoxRead { Ok, Missing, Damaged };

// The boxes of a JP2 file up to its codestream box: Missing while the
// bytes up to there have not all arrived, Damaged when OpenJPEG would fail
// on them.
BoxRead readBoxes(const uint8_t* bytes, size_t size, Boxes* out);

// One channel of the decoded image as OpenJPEG would make it from the
// codestream's components with the boxes: a component (by index) as it
// is or through a palette column, with its depth and opacity type.
struct Channel {
    int component = 0;
    int column = -1;       // the palette column the samples go through; -1: the samples themselves
    int depthColumn = -1;  // the palette column whose depth and sign the channel takes; -1: the component's
    uint16_t alpha = 0;    // the channel definition's type: non-zero is opacity
};

// The channels OpenJPEG would give for an image of `components` codestream
// components: the palette applied (when mapped), then the channel
// definitions; nullopt where OpenJPEG's check of the boxes against the
// image fails.
std::optional<std::vector<Channel>> channelsOf(const Boxes& boxes, int components);

}  // namespace imageio::jpeg2000
