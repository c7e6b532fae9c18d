// GIF frames, read record by record with giflib and composited through
// their disposal onto the logical screen. One pass walks the records
// without decompressing (sizes are checked there, before anything is
// allocated: giflib's DGifSlurp would allocate whatever a file claims);
// frames are decompressed on request, in order at one frame's cost each.
// Frames are listed while the pixels they cost (each frame's own and the
// screen's it is shown on) stay within the frame-work bound (FrameWork in
// ImageReaders.h), so a small file of many frames over a huge screen plays
// a few frames, not hours of copying; the frames past it are only counted,
// and the log says how many were left out once the file's last bytes are read.

#include <gif_lib.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/foundation/PlatformLog.h"
#include "platform/graphics/GIFLibrary.h"
#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"

namespace imageio {

namespace {

struct MemoryInput {
    const uint8_t* bytes;
    size_t size, pos;
};

int readMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    size_t n = std::min(size_t(std::max(length, 0)), in->size - in->pos);
    std::memcpy(out, in->bytes + in->pos, n);
    in->pos += n;
    return int(n);
}

struct GifFrame {
    size_t descriptorOffset = 0;  // just past the image separator
    int left = 0, top = 0, width = 0, height = 0;
    int disposal = DISPOSAL_UNSPECIFIED;
    int transparent = NO_TRANSPARENT_COLOR;
    double delay = 0;  // seconds, as stored
};

struct GifLayout {
    int screenWidth = 0, screenHeight = 0;
    FrameWork work;  // pixels of the frames listed
    std::optional<int> loopCount;
    std::vector<GifFrame> frames;
    size_t frameTotal = 0;  // listed, and past the bound
    bool invalid = false;

    bool cut() const { return frameTotal > frames.size(); }
};

// An open giflib reader over the bytes; closed with the object.
class GifHandle {
public:
    GifHandle(const uint8_t* bytes, size_t size) : input_{bytes, size, 0} {
        int error = 0;
        if (giflib::available()) gif_ = giflib::DGifOpen(&input_, readMemory, &error);
    }
    ~GifHandle() {
        int error = 0;
        if (gif_) giflib::DGifCloseFile(gif_, &error);
    }
    GifHandle(const GifHandle&) = delete;
    GifHandle& operator=(const GifHandle&) = delete;
    GifFileType* get() const { return gif_; }
    MemoryInput& input() { return input_; }

private:
    MemoryInput input_;
    GifFileType* gif_ = nullptr;
};

bool isLoopExtension(const GifByteType* block) {
    return block && block[0] >= 11 &&
           (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
}

// Reads an extension's blocks; a graphics control block becomes `pending`.
bool scanExtension(GifFileType* gif, GraphicsControlBlock& pending, GifLayout& layout) {
    int code = 0;
    GifByteType* block = nullptr;
    if (giflib::DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block) giflib::DGifExtensionToGCB(block[0], block + 1, &pending);
    bool loop = code == APPLICATION_EXT_FUNC_CODE && isLoopExtension(block);
    while (block) {
        if (giflib::DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        if (loop && block && block[0] >= 3 && block[1] == 1) layout.loopCount = le16(block + 2);
    }
    return true;
}

// Steps over a frame's compressed pixels.
bool skipCode(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (giflib::DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block)
        if (giflib::DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

// Reads a frame's descriptor and steps over its compressed pixels.
bool scanImage(GifHandle& handle, GraphicsControlBlock& pending, GifLayout& layout) {
    GifFileType* gif = handle.get();
    size_t offset = handle.input().pos;
    if (giflib::DGifGetImageDesc(gif) == GIF_ERROR) return false;
    const GifImageDesc& desc = gif->Image;
    // An empty frame ends the readable part; a huge one makes the file unusable.
    if (desc.Width <= 0 || desc.Height <= 0) return false;
    if (!layout.cut() && !CGImage::fitsBudget(desc.Width, desc.Height)) {
        layout.invalid = true;
        return false;
    }
    bool listed = !layout.cut() && layout.work.admit(uint64_t(desc.Width) * desc.Height +
                                                      uint64_t(layout.screenWidth) * layout.screenHeight);
    ++layout.frameTotal;
    if (!listed) {
        pending = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        return skipCode(gif);
    }
    GifFrame frame;
    frame.descriptorOffset = offset;
    frame.left = desc.Left, frame.top = desc.Top, frame.width = desc.Width, frame.height = desc.Height;
    frame.disposal = pending.DisposalMode;
    frame.transparent = pending.TransparentColor;
    frame.delay = pending.DelayTime / 100.0;
    pending = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    // Listed once its descriptor is in: a frame still arriving shows what has come.
    layout.frames.push_back(frame);
    return skipCode(gif);
}

GifLayout scanGif(const uint8_t* bytes, size_t size) {
    GifLayout layout;
    GifHandle handle(bytes, size);
    GifFileType* gif = handle.get();
    if (!gif) return layout;
    if (!CGImage::fitsBudget(gif->SWidth, gif->SHeight)) {
        layout.invalid = true;
        return layout;
    }
    layout.screenWidth = gif->SWidth, layout.screenHeight = gif->SHeight;
    GraphicsControlBlock pending{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    for (;;) {
        GifRecordType type;
        if (giflib::DGifGetRecordType(gif, &type) == GIF_ERROR) break;
        bool ok = type == IMAGE_DESC_RECORD_TYPE  ? scanImage(handle, pending, layout)
                  : type == EXTENSION_RECORD_TYPE ? scanExtension(gif, pending, layout)
                                                  : false;
        if (!ok) break;
    }
    return layout;
}

// Rows in the order an interlaced image stores them.
int interlacedRow(int stored, int height) {
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        int rows = start[pass] < height ? (height - start[pass] + step[pass] - 1) / step[pass] : 0;
        if (stored < rows) return start[pass] + stored * step[pass];
        stored -= rows;
    }
    return -1;
}

class GIFReader : public FormatReader {
public:
    void update(const uint8_t* bytes, size_t size, bool final) override {
        bytes_ = bytes, size_ = size;
        layout_ = scanGif(bytes, size);
        if (final && layout_.cut())
            FrameWork::logCut("GIF", "frames", layout_.frames.size(), std::to_string(layout_.frameTotal));
        // Earlier rows may have been missing: compose afresh over the new bytes.
        handle_.reset();
        canvas_.reset();
    }
    bool invalid() const override { return layout_.invalid; }
    size_t count() const override { return layout_.frames.size(); }

    Value properties() const override {
        Value gif = Value::dict({{kPropertyGIFCanvasPixelWidth, layout_.screenWidth},
                                 {kPropertyGIFCanvasPixelHeight, layout_.screenHeight}});
        if (layout_.loopCount) gif.set(kPropertyGIFLoopCount, *layout_.loopCount);
        return Value::dict({{kPropertyGIFDictionary, gif}});
    }

    Value frameProperties(size_t index) const override {
        double raw = layout_.frames[index].delay;
        Value props = sizeProperties(layout_.screenWidth, layout_.screenHeight, true);
        props.set(kPropertyGIFDictionary, Value::dict({{kPropertyGIFDelayTime, frameDisplayDelay(raw)},
                                                        {kPropertyGIFUnclampedDelayTime, raw}}));
        return props;
    }

    std::shared_ptr<CGImage> image(size_t index) override {
        if (!canvas_ || (shown_ != kNone && index < shown_)) startOver();
        if (!canvas_) return nullptr;
        while (shown_ == kNone || shown_ < index) compose(shown_ == kNone ? 0 : shown_ + 1);
        return canvas_->copy();
    }

private:
    static constexpr size_t kNone = size_t(-1);

    void startOver() {
        canvas_ = CGImage::create(layout_.screenWidth, layout_.screenHeight, true);
        saved_ = {};
        shown_ = kNone;
    }

    // The part of the screen a frame covers.
    CGRect onScreen(const GifFrame& f) const {
        return CGRect(f.left, f.top, f.width, f.height).intersection(CGRect(0, 0, canvas_->width(), canvas_->height()));
    }

    // giflib keeps a record of every frame read; reopening bounds that.
    GifFileType* session() {
        if (handle_ && handle_->get() && size_t(handle_->get()->ImageCount) > 2 * count() + 8) handle_.reset();
        if (!handle_) handle_ = std::make_unique<GifHandle>(bytes_, size_);
        return handle_->get();
    }

    void dispose(const GifFrame& f) {
        if (f.disposal == DISPOSE_BACKGROUND) {
            // Browsers and the platform restore to transparency, not the background colour.
            CGRect r = onScreen(f);
            if (r.isEmpty()) return;
            uint8_t* d = canvas_->mutableData();
            for (int y = int(r.minY()); y < int(r.maxY()); ++y)
                std::memset(d + size_t(y) * canvas_->bytesPerRow() + size_t(r.minX()) * 4, 0, size_t(r.width()) * 4);
            canvas_->markDirty();
        } else if (f.disposal == DISPOSE_PREVIOUS && saved_.held) {
            copyRows(saved_.pixels.data(), saved_.rect, false);
            saved_ = {};
        }
    }

    // Copies the rows of `r` between the canvas and `buffer` (packed rows).
    void copyRows(uint8_t* buffer, const CGRect& r, bool fromCanvas) {
        size_t rowBytes = size_t(r.width()) * 4;
        uint8_t* d = canvas_->mutableData();
        for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
            uint8_t* row = d + size_t(y) * canvas_->bytesPerRow() + size_t(r.minX()) * 4;
            uint8_t* kept = buffer + size_t(y - int(r.minY())) * rowBytes;
            if (fromCanvas) std::memcpy(kept, row, rowBytes);
            else std::memcpy(row, kept, rowBytes);
        }
        if (!fromCanvas) canvas_->markDirty();
    }

    void compose(size_t index) {
        if (index > 0) dispose(layout_.frames[index - 1]);
        const GifFrame& f = layout_.frames[index];
        if (f.disposal == DISPOSE_PREVIOUS) {
            // Only what the frame will draw over is kept.
            saved_ = {true, onScreen(f), {}};
            saved_.pixels.resize(size_t(saved_.rect.width()) * size_t(saved_.rect.height()) * 4);
            copyRows(saved_.pixels.data(), saved_.rect, true);
        }
        drawFrame(f);
        shown_ = index;
    }

    void drawFrame(const GifFrame& f) {
        GifFileType* gif = session();
        if (!gif) return;
        handle_->input().pos = f.descriptorOffset;
        if (giflib::DGifGetImageDesc(gif) == GIF_ERROR) return;
        ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
        if (!map) return;
        // Opaque colours by index; 0 marks the transparent index and indexes past the map.
        uint32_t palette[256] = {};
        for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
            const GifColorType& c = map->Colors[i];
            if (i != f.transparent) palette[i] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
        }
        std::vector<GifPixelType> line(size_t(f.width));
        uint8_t* d = canvas_->mutableData();
        int x0 = std::max(0, f.left), x1 = std::min(canvas_->width(), f.left + f.width);
        for (int stored = 0; stored < f.height; ++stored) {
            if (giflib::DGifGetLine(gif, line.data(), f.width) == GIF_ERROR) break;
            int y = f.top + (gif->Image.Interlace ? interlacedRow(stored, f.height) : stored);
            if (y < 0 || y >= canvas_->height()) continue;
            auto* row = reinterpret_cast<uint32_t*>(d + size_t(y) * canvas_->bytesPerRow());
            for (int x = x0; x < x1; ++x)
                if (uint32_t c = palette[line[size_t(x - f.left)]]) row[x] = c;
        }
        canvas_->markDirty();
    }

    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    GifLayout layout_;
    std::unique_ptr<GifHandle> handle_;
    std::shared_ptr<CGImage> canvas_;  // the screen after frame shown_
    struct Saved {
        bool held = false;
        CGRect rect;                  // of the screen
        std::vector<uint8_t> pixels;  // its rows before a restore-previous frame
    } saved_;
    size_t shown_ = kNone;
};

}  // namespace

std::unique_ptr<FormatReader> makeGIFReader() { return std::make_unique<GIFReader>(); }

}  // namespace imageio
