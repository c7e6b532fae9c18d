// The blur's pixel loops: box convolution, the colour matrix and
// reflections on 32-bit premultiplied pixels, four channels treated alike.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imagecache/UIImageZVWebImage.h"

namespace ZVPixelEffects {

namespace {

constexpr double kFloatEpsilon = 1.1920928955078125e-07;
constexpr double kSqrtTwoPi = 2.5066282746310002;
// Far beyond any bitmap side, and small enough that k² × 255 fits 64 bits.
constexpr int64_t kMaxKernel = (int64_t(1) << 20) | 1;

const uint8_t* rowOf(const CGImage& image, int y) { return image.data() + size_t(y) * image.bytesPerRow(); }

// Each channel's sum over the `2r + 1` pixels centred on every x of one row,
// the edge pixels standing in for those beyond them. O(1) per pixel
// through prefix sums, whatever r is.
void rowWindowSums(const uint8_t* row, int width, int64_t r, std::vector<uint64_t>& prefix, uint64_t* out) {
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) prefix[(x + 1) * 4 + c] = prefix[x * 4 + c] + row[x * 4 + c];
    const uint8_t* lastPixel = row + (width - 1) * 4;
    for (int64_t x = 0; x < width; ++x) {
        int64_t lo = x - r, hi = x + r;
        uint64_t before = lo < 0 ? uint64_t(-lo) : 0;
        uint64_t after = hi > width - 1 ? uint64_t(hi - (width - 1)) : 0;
        int64_t a = std::max<int64_t>(lo, 0), b = std::min<int64_t>(hi, width - 1);
        for (int c = 0; c < 4; ++c)
            out[x * 4 + c] = before * row[c] + after * lastPixel[c] + prefix[(b + 1) * 4 + c] - prefix[a * 4 + c];
    }
}

}  // namespace

BoxPlan boxPlanForRadius(double r) {
    double size = r - 2 < kFloatEpsilon ? 2.1299712059732503 : ((r * 3 * kSqrtTwoPi / 4) + 0.5) / 2;
    int64_t kernel = std::min<int64_t>(int64_t(std::floor(std::min(size, double(kMaxKernel)))), kMaxKernel) | 1;
    return {int(kernel), r < 0.5 ? 1 : r < 1.5 ? 2 : 3};
}

void boxConvolve(const CGImage& src, CGImage& dst, int kernel) {
    const int w = src.width(), h = src.height();
    const int64_t r = std::min<int64_t>(kernel, kMaxKernel) / 2;
    const uint64_t area = uint64_t(2 * r + 1) * uint64_t(2 * r + 1);
    std::vector<uint64_t> prefix(size_t(w + 1) * 4, 0), first(size_t(w) * 4), last(size_t(w) * 4),
        row(size_t(w) * 4), inside(size_t(w) * 4, 0);
    rowWindowSums(rowOf(src, 0), w, r, prefix, first.data());
    rowWindowSums(rowOf(src, h - 1), w, r, prefix, last.data());
    auto addRow = [&](int y, bool add) {
        rowWindowSums(rowOf(src, y), w, r, prefix, row.data());
        for (size_t i = 0; i < row.size(); ++i) inside[i] = add ? inside[i] + row[i] : inside[i] - row[i];
    };
    // `inside` sums the rows of the window that lie in the bitmap; the edge
    // rows stand in for the rest.
    for (int64_t y = 0; y <= std::min<int64_t>(r, h - 1); ++y) addRow(int(y), true);
    uint8_t* out = dst.mutableData();
    for (int64_t y = 0; y < h; ++y) {
        if (y > 0) {
            if (y + r <= h - 1) addRow(int(y + r), true);
            if (y - r - 1 >= 0) addRow(int(y - r - 1), false);
        }
        uint64_t above = r > y ? uint64_t(r - y) : 0;
        uint64_t below = y + r > h - 1 ? uint64_t(y + r - (h - 1)) : 0;
        uint8_t* o = out + size_t(y) * dst.bytesPerRow();
        for (size_t i = 0; i < inside.size(); ++i)
            o[i] = uint8_t((inside[i] + above * first[i] + below * last[i] + area / 2) / area);
    }
    dst.markDirty();
}

void saturationMatrix(double s, int16_t out[4][4]) {
    const double m[4][4] = {
        {0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0},
        {0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0},
        {0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0},
        {0, 0, 0, 1},
    };
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out[i][j] = int16_t(std::clamp(std::lround(m[i][j] * 256), -32768L, 32767L));
}

void matrixMultiply(const CGImage& src, CGImage& dst, const int16_t matrix[4][4]) {
    for (int y = 0; y < src.height(); ++y) {
        const uint8_t* in = rowOf(src, y);
        uint8_t* out = dst.mutableData() + size_t(y) * dst.bytesPerRow();
        for (int x = 0; x < src.width(); ++x, in += 4, out += 4) {
            int v[4];
            for (int j = 0; j < 4; ++j) {
                int32_t sum = 0;
                for (int i = 0; i < 4; ++i) sum += int32_t(in[i]) * matrix[i][j];
                v[j] = std::clamp((sum + 128) >> 8, 0, 255);
            }
            for (int j = 0; j < 3; ++j) out[j] = uint8_t(std::min(v[j], v[3]));
            out[3] = uint8_t(v[3]);
        }
    }
    dst.markDirty();
}

void reflectVertical(CGImage& image) {
    const int h = image.height();
    const size_t stride = size_t(image.bytesPerRow());
    std::vector<uint8_t> tmp(stride);
    uint8_t* data = image.mutableData();
    for (int y = 0; y < h / 2; ++y) {
        uint8_t *top = data + y * stride, *bottom = data + (h - 1 - y) * stride;
        std::memcpy(tmp.data(), top, stride);
        std::memcpy(top, bottom, stride);
        std::memcpy(bottom, tmp.data(), stride);
    }
    image.markDirty();
}

void reflectHorizontal(CGImage& image) {
    const int w = image.width();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.mutableData() + size_t(y) * image.bytesPerRow());
        std::reverse(row, row + w);
    }
    image.markDirty();
}

}  // namespace ZVPixelEffects
