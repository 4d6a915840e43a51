// The presenter's canvas half: the images an engine draws into and the work that turns them
// into a finished frame, in plain C++ (the window-system output is a separate layer).
//
//   CFlipperBase    trail fade, fuzziness, tone curve, invert, the 16-bit/8-bit mode and the
//                   presenter's band workers
//   CFlipperGDI32   the images: attach for a window size, begin a frame, convert the canvas to
//                   the display image, lend an image for drawing, take a snapshot picture
//
// Images, all with rows stored bottom-up (picture row y is memory row height - 1 - y):
//   display image   32-bit words 0x??RRGGBB (bytes blue, green, red, unused), what the screen
//                   shows; written only by ConvertToDisplay
//   16-bit canvases two, three channels per pixel (c0 = red, c1 = green, c2 = blue), padded to
//                   an even width plus two and a height that is a multiple of 4; the dots go
//                   into the current one, the fuzziness pass writes the other and they swap
//   work image      32-bit words like the display image: the canvas when the presenter draws
//                   in 8 bits (dithered trails, quick-n-dirty, or no 16-bit canvases)
//   draw image      32-bit words: what BeginDraw lends in 16-bit mode, merged into the
//                   canvas by EndDraw
//
// Threads: every operation runs on the engine's frame thread under the engine lock; banded
// passes (fade, conversion) run their bands on the presenter's own pool and return when all
// bands are done. The only access from other threads is the engines' dot bands adding into
// the surface, which never overlaps any operation here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "base/huge_pages.h"
#include "base/worker_pool.h"
#include "engine/engine_canvas.h"
#include "engine/random.h"

namespace quovis {

constexpr int kFlipperOk = 0;
constexpr int kFlipperOutOfMemory = -1;
constexpr int kFlipperAlreadyAttached = -2;
constexpr int kFlipperBadSize = -3;

// One owned, zero-filled array, 64-byte aligned, and on huge pages when it is large.
template <class T>
class AlignedArray {
  public:
    static constexpr std::size_t kAlignment = 64;

    bool Allocate(std::size_t count) {
        Reset();
        const std::size_t bytes = count * sizeof(T);
        const std::size_t alignment = BufferAlignment(bytes, kAlignment);
        void* p = ::operator new[](bytes, std::align_val_t(alignment), std::nothrow);
        if (p == nullptr) return false;
        AdviseHugePages(p, bytes);
        m_data = std::unique_ptr<T[], Free>(static_cast<T*>(p), Free{alignment});
        m_count = count;
        Zero();
        return true;
    }
    void Reset() {
        m_data.reset();
        m_count = 0;
    }
    void Zero() {
        for (std::size_t i = 0; i < m_count; ++i) m_data[i] = T{};
    }
    T* Data() const { return m_data.get(); }
    std::size_t Count() const { return m_count; }
    explicit operator bool() const { return m_data != nullptr; }

  private:
    struct Free {
        std::size_t alignment = kAlignment;
        void operator()(T* p) const { ::operator delete[](p, std::align_val_t(alignment)); }
    };
    std::unique_ptr<T[], Free> m_data;
    std::size_t m_count = 0;
};

struct FlipperOptions {
    // Bands (and workers) of the banded passes; 0 = the rule of BandCountFor with the
    // processors this process may use. 1 runs every band on the calling thread.
    int bands = 0;
};

// A rectangle of the picture: rows counted from the top, right and bottom exclusive.
struct DrawRegion {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};

// An image lent for drawing: 32-bit words 0x??RRGGBB, rows bottom-up. `region` is the part
// of it that was cleared and will be merged (the whole image unless a region was asked for).
struct DrawImage {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t rowStep = 0;  // in pixels
    DrawRegion region;
};

// A picture of the frame: top-down rows of 32-bit words 0xFFRRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

class CFlipperBase : public EngineCanvas {
  public:
    static constexpr int kMaxBands = WorkerPool::kMaxWorkers;
    static constexpr int kMaxSide = 16384;
    static constexpr int kFade8None = -1;
    static constexpr int kToneEntries = 65536;
    static constexpr int kMaxTrailLength = 100;

    // Bands of the canvas passes: enough to keep every processor busy on a large canvas,
    // few enough that each band stays worth a hand-over (about 100,000 pixels each), and
    // always at least two.
    static int BandCountFor(int processors, int width, int height);
    // The tone pair for the preset's "Gamma" value (0..1000, 500 = identity).
    static void ToneFromGamma(double gamma, double* a, double* b);
    // The three tone presets the F5 key steps through (0 is the identity); false for others.
    static bool TonePreset(int preset, double* a, double* b);

    explicit CFlipperBase(const FlipperOptions& options);
    ~CFlipperBase() override;
    CFlipperBase(const CFlipperBase&) = delete;
    CFlipperBase& operator=(const CFlipperBase&) = delete;

    // Creates the images for a window of the given client size. Fails with
    // kFlipperAlreadyAttached the second time, kFlipperBadSize for a size that gives no
    // render image, kFlipperOutOfMemory when an image cannot be allocated.
    virtual int Attach(int windowWidth, int windowHeight) = 0;

    void Stop() override;
    void SetTrails(int length, bool dither, double shade) override;
    void FadeTrails() override;
    void FadeWithNextConversion() override { m_bFadeAnnounced = true; }
    void SetFuzziness(bool on, int amount, bool allow16) override;
    void SetDeepCanvas(bool on) override;
    bool SetTone(double a, double b) override;
    void SetInvert(bool on) override { m_bInvert = on; }
    void SetQuickDirty(bool on) override;
    void RequestClear() override { m_bClearPending = true; }

    // Render size = window size / scale reciprocal; set before Attach.
    void SetScaleReciprocal(double r);
    void SetFrameInterval(double seconds) { m_dFrameInterval = seconds; }

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int WindowWidth() const { return m_nWindowWidth; }
    int WindowHeight() const { return m_nWindowHeight; }
    int BandCount() const { return m_nBands; }
    bool IsAttached() const { return static_cast<bool>(m_display); }
    bool IsDeepActive() const { return m_bDeepActive; }
    bool IsInverted() const { return m_bInvert; }
    bool TrailsOn() const { return m_nFade8 != kFade8None; }
    uint32_t Fade16() const { return m_nFade16; }
    int Fade8() const { return m_nFade8; }
    int SkipRange() const { return m_nSkipRange; }
    double Shade() const { return m_dShade; }
    int FuzzDivisor() const { return m_nFuzzDivisor; }
    bool ToneIsIdentity() const { return m_bToneIdentity; }
    const uint8_t* ToneTable() const { return m_tone.Data(); }
    double FrameInterval() const { return m_dFrameInterval; }

  protected:
    struct BandRows {
        CFlipperBase* self = nullptr;
        int first = 0;  // memory rows first .. last
        int last = -1;
    };

    // Picks the buffer the engine plots into and copies the picture across when that
    // changes, so that switching modes changes nothing visible.
    void UpdateMode();
    void RefreshSurface();
    bool AllocateDeepCanvases();
    void SetUpBands(int bands);
    void RunBands(void (*job)(CFlipperBase*, BandRows*));

    uint16_t* CanvasRow(uint16_t* canvas, int row) const { return canvas + row * m_nCanvasStep; }
    uint32_t* ImageRow(const AlignedArray<uint32_t>& image, int row) const {
        return image.Data() + static_cast<std::ptrdiff_t>(row) * m_nWidth;
    }

    static void FadeDeepBand(CFlipperBase* self, BandRows* band);
    static void FadeShallowBand(CFlipperBase* self, BandRows* band);
    void FadeDeepRow(uint16_t* p) const;
    void FadeShallowRow(uint32_t* p) const;
    void FadeShallowDithered();
    void BuildDeepFadeTables(double f16);

    FlipperOptions m_options;

    // Geometry.
    int m_nWidth = 0;  // render size: width a multiple of 4, height even
    int m_nHeight = 0;
    int m_nWindowWidth = 0;
    int m_nWindowHeight = 0;
    double m_dScaleReciprocal = 1.0;
    double m_dFrameInterval = 0.0;

    // Images.
    AlignedArray<uint32_t> m_display;
    AlignedArray<uint32_t> m_work;
    AlignedArray<uint32_t> m_draw;
    AlignedArray<uint16_t> m_canvasA;
    AlignedArray<uint16_t> m_canvasB;
    uint16_t* m_pCurrent = nullptr;  // the canvas the dots go into
    uint16_t* m_pOther = nullptr;
    std::ptrdiff_t m_nCanvasStep = 0;  // uint16_t units per canvas row
    int m_nCanvasRows = 0;

    // Mode.
    bool m_bDeepRequested = false;
    bool m_bDeepActive = false;
    bool m_bQuickDirty = false;
    bool m_bAllow16 = true;
    bool m_bDither = false;
    bool m_bDeepAtLastClear = false;
    bool m_bShallowAtLastClear = false;
    bool m_bClearPending = false;
    bool m_bDrawing = false;
    bool m_bInvert = false;

    // Trails.
    int m_nTrailLength = 0;  // 1..100 while trails are on
    uint32_t m_nFade16 = 65536;
    uint32_t m_nFade16Mul = 65536;  // m_nFade16 / 65535 in 16.16, for the plain multiply
    int m_nFade8 = kFade8None;
    int m_nSkipRange = 1;
    double m_dShade = 1.0;
    double m_dFade16 = 1.0;
    uint8_t m_fade8Table[256] = {};
    // One fade table per channel, each with its own rounding noise, used while the shade
    // factor dims the trails.
    AlignedArray<uint16_t> m_fadeTables;
    bool m_bFadeTablesValid = false;
    // A fade announced for right after the next conversion; the conversion under way fading
    // the rows it reads; a conversion having done the fade that comes next.
    bool m_bFadeAnnounced = false;
    bool m_bFadeInPass = false;
    bool m_bFadedAhead = false;
    static constexpr int kSkipsPerChunk = 64;
    static constexpr int kChunkPixels = 12000;  // 48000 bytes of the work image
    int m_skips[kSkipsPerChunk] = {};
    // The presenter's own rand(): sequences never depend on other presenters or engines.
    CLibraryRand m_rand;

    // Fuzziness.
    int m_nFuzzAmount = 0;
    int m_nFuzzDivisor = 0;          // 0 = off
    uint32_t m_nFuzzCentre = 65536;  // 16.16 weight of the pixel itself
    uint32_t m_nFuzzSide = 0;        // 16.16 weight of each of its four neighbours

    // Tone.
    AlignedArray<uint8_t> m_tone;
    double m_dToneA = 0.5;
    bool m_bToneIdentity = true;

    // Bands.
    int m_nBands = 1;
    std::unique_ptr<WorkerPool> m_pool;
    BandRows m_bandRows[kMaxBands];
};

class CFlipperGDI32 final : public CFlipperBase {
  public:
    explicit CFlipperGDI32(const FlipperOptions& options = {}) : CFlipperBase(options) {}

    int Attach(int windowWidth, int windowHeight) override;
    // Starts a frame. A clear requested by RequestClear is honoured on canvases at least 400
    // pixels wide (small previews keep their picture).
    void BeginFrame(bool clear) override;

    // Turns the canvas into the display image, through the fuzziness pass and the tone
    // curve. In 8-bit mode the work image goes through the tone curve the same way. After
    // FadeWithNextConversion it also fades the trails, as the FadeTrails that follows would.
    void ConvertToDisplay();
    const uint32_t* DisplayPixels() const { return m_display.Data(); }

    // Lends an image to draw on for the current frame. In 16-bit mode it is a cleared draw
    // image whose lit pixels EndDraw adds into the canvas (saturating like the dots); in
    // 8-bit mode it is the canvas itself. Empty before Attach.
    DrawImage BeginDraw();
    // The same for a part of the picture only: just the rows and columns of `region`
    // (clipped to the image) are cleared and later merged, so a small drawing made every
    // frame (the clock) costs its own size and not the canvas's. Whatever the draw image
    // holds outside the region stays as it was, is not merged, and is still what ReadPixel
    // sees there. Coordinates stay those of the whole image.
    DrawImage BeginDraw(const DrawRegion& region);
    // Merges what was drawn (16-bit mode) and ends the drawing; the draw image keeps its
    // content until the next BeginDraw. Does nothing without a BeginDraw.
    void EndDraw();

    // The display image as a top-down picture, inverted when the invert setting is on.
    // Reuses out's storage when the size is the same. False before Attach.
    bool SnapshotPicture(Picture* out) const;

  private:
    static void ConvertBand(CFlipperBase* self, BandRows* band);
    void ConvertDeepRow(const uint16_t* src, uint32_t* dst) const;
    void ConvertShallowRow(const uint32_t* src, uint32_t* dst) const;
    void FuzzRow(int r);
    bool FuzzPassOn() const { return m_nFuzzDivisor > 0 && m_bDeepActive; }

    DrawRegion m_drawRegion;  // what the current drawing clears and merges
};

}  // namespace quovis
