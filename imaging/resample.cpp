#include "imaging/resample.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/picture_format.h"

namespace {

// Weights in fixed point with 22 fraction bits: 255 times a whole weight
// still fits a signed 32-bit sum, and the rounding is the usual libraries'.
constexpr int kWeightBits = 22;
constexpr int32_t kHalf = 1 << (kWeightBits - 1);

template <class T>
std::unique_ptr<T[]> Allocate(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

uint8_t Clip8(int32_t sum) {
    const int32_t v = sum >> kWeightBits;
    return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v);
}

double BoxWeight(double t) { return t > -0.5 && t <= 0.5 ? 1.0 : 0.0; }
double LinearWeight(double t) {
    t = std::fabs(t);
    return t < 1.0 ? 1.0 - t : 0.0;
}

// For each result pixel of one axis: the first source pixel it reads and
// its weights, `stride` apart. Computed once per axis, so the passes do no
// division.
struct AxisWeights {
    int32_t stride = 0;
    std::unique_ptr<int32_t[]> first, count, weights;

    // The window and weights as the usual libraries compute them, in the same
    // order of double operations so that ties at a box's edge fall alike;
    // weights that round to 0 are dropped from both ends of the window.
    bool Make(int32_t from, int32_t to) {
        from_ = from;
        to_ = to;
        const double scale = static_cast<double>(from) / to;
        const double filterScale = scale < 1.0 ? 1.0 : scale;
        const bool shrinks = to < from;
        const double support = (shrinks ? 0.5 : 1.0) * filterScale;
        stride = static_cast<int32_t>(std::ceil(support)) * 2 + 1;
        first = Allocate<int32_t>(to);
        count = Allocate<int32_t>(to);
        weights = Allocate<int32_t>(static_cast<size_t>(to) * stride);
        auto raw = Allocate<double>(stride);
        if (!first || !count || !weights || !raw) return false;
        const double inverse = 1.0 / filterScale;
        for (int32_t x = 0; x < to; ++x) {
            const double centre = (x + 0.5) * scale;
            int32_t lo = static_cast<int32_t>(centre - support + 0.5);
            int32_t hi = static_cast<int32_t>(centre + support + 0.5);
            if (lo < 0) lo = 0;
            if (hi > from) hi = from;
            const int32_t n = hi - lo;
            double total = 0.0;
            for (int32_t j = 0; j < n; ++j) {
                const double t = (j + lo - centre + 0.5) * inverse;
                raw[j] = shrinks ? BoxWeight(t) : LinearWeight(t);
                total += raw[j];
            }
            int32_t* w = &weights[static_cast<size_t>(x) * stride];
            int32_t kept = 0, start = -1;
            for (int32_t j = 0; j < n; ++j) {
                const double k = total != 0.0 ? raw[j] / total : raw[j];
                const int32_t fixed = static_cast<int32_t>(0.5 + k * (1 << kWeightBits));
                if (start < 0 && fixed == 0) continue;
                if (start < 0) start = j;
                w[j - start] = fixed;
                if (fixed != 0) kept = j - start + 1;
            }
            first[x] = lo + (start < 0 ? 0 : start);
            count[x] = kept;
            if (kept > taps) taps = kept;
        }
        return true;
    }

    // Every window widened to `taps` weights, moved left at the end of the
    // axis, so a pass can run a loop of constant length; the extra weights
    // are 0 and change no sum.
    void Widen() {
        for (int32_t x = 0; x < to_; ++x) {
            int32_t* w = &weights[static_cast<size_t>(x) * stride];
            const int32_t n = count[x];
            int32_t start = first[x] + taps > from_ ? from_ - taps : first[x];
            const int32_t shift = first[x] - start;
            for (int32_t j = n - 1; j >= 0; --j) w[j + shift] = w[j];
            for (int32_t j = 0; j < shift; ++j) w[j] = 0;
            for (int32_t j = n + shift; j < taps; ++j) w[j] = 0;
            first[x] = start;
            count[x] = taps;
        }
    }

    int32_t taps = 0;  // the most weights of any window

private:
    int32_t from_ = 0, to_ = 0;
};

// Byte stores may alias anything, so everything the loops read besides the
// pixels is first copied into locals: the compiler then keeps it in
// registers instead of loading it again after every store.
template <int C, int N>
void ResampleAcross(const uint8_t* in, uint8_t* out, int32_t widthPx, const AxisWeights& a) {
    const int32_t* first = a.first.get();
    const int32_t* weights = a.weights.get();
    const size_t stride = static_cast<size_t>(a.stride);
    const int32_t n = N ? N : a.taps;
    for (int32_t x = 0; x < widthPx; ++x, out += C) {
        const uint8_t* p = in + static_cast<size_t>(first[x]) * C;
        const int32_t* w = weights + x * stride;
        int32_t s[C];
        for (int c = 0; c < C; ++c) s[c] = kHalf;
        for (int32_t t = 0; t < n; ++t, p += C) {
            const int32_t k = w[t];
            for (int c = 0; c < C; ++c) s[c] += p[c] * k;
        }
        for (int c = 0; c < C; ++c) out[c] = Clip8(s[c]);
    }
}

// Constant loop lengths for the windows that shrinking by up to 3 times and
// growing give; any other length runs the general loop.
template <int C>
void ResampleAcross(const uint8_t* in, uint8_t* out, int32_t widthPx, const AxisWeights& a) {
    switch (a.taps) {
        case 1: return ResampleAcross<C, 1>(in, out, widthPx, a);
        case 2: return ResampleAcross<C, 2>(in, out, widthPx, a);
        case 3: return ResampleAcross<C, 3>(in, out, widthPx, a);
        case 4: return ResampleAcross<C, 4>(in, out, widthPx, a);
        default: return ResampleAcross<C, 0>(in, out, widthPx, a);
    }
}

#if defined(__SSE2__)
// Eight bytes of a result row at a time. Each weight is split into two 11-bit
// halves so that PMADDWD can multiply two rows' 16-bit bytes by them and add:
// sum = (high sum << 11) + low sum, the same integer as the scalar loop's.
size_t CombineDownWide(const uint8_t* const* rows, const int32_t* w, int32_t n, uint8_t* out, size_t bytes) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(kHalf);
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        __m128i high0 = zero, high1 = zero, low0 = zero, low1 = zero;
        for (int32_t t = 0; t < n; t += 2) {
            const bool pair = t + 1 < n;
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[t] + i));
            const __m128i b = pair ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[t + 1] + i)) : zero;
            const __m128i ab = _mm_unpacklo_epi8(a, b);
            const __m128i first4 = _mm_unpacklo_epi8(ab, zero), last4 = _mm_unpackhi_epi8(ab, zero);
            const int32_t ka = w[t], kb = pair ? w[t + 1] : 0;
            const __m128i kh = _mm_set1_epi32((ka >> 11) | (kb >> 11) << 16);
            const __m128i kl = _mm_set1_epi32((ka & 0x7FF) | (kb & 0x7FF) << 16);
            high0 = _mm_add_epi32(high0, _mm_madd_epi16(first4, kh));
            high1 = _mm_add_epi32(high1, _mm_madd_epi16(last4, kh));
            low0 = _mm_add_epi32(low0, _mm_madd_epi16(first4, kl));
            low1 = _mm_add_epi32(low1, _mm_madd_epi16(last4, kl));
        }
        const auto sum = [&](__m128i high, __m128i low) {
            return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(high, 11), low), half), kWeightBits);
        };
        const __m128i s0 = sum(high0, low0), s1 = sum(high1, low1);
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(s0, s1), zero);  // clamps as Clip8 does
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), packed);
    }
    return i;
}
#endif

// One result row from `n` rows of the same length, weighted.
void CombineDown(const uint8_t* const* rows, const int32_t* w, int32_t n, uint8_t* out, size_t bytes,
                 int32_t* sums) {
    size_t i = 0;
#if defined(__SSE2__)
    if (n <= 4) i = CombineDownWide(rows, w, n, out, bytes);
#endif
    const uint8_t* r0 = rows[0];
    const int32_t k0 = w[0];
    if (n == 1) {
        for (; i < bytes; ++i) out[i] = Clip8(kHalf + r0[i] * k0);
        return;
    }
    const uint8_t* r1 = rows[1];
    const int32_t k1 = w[1];
    if (n == 2) {
        for (; i < bytes; ++i) out[i] = Clip8(kHalf + r0[i] * k0 + r1[i] * k1);
        return;
    }
    const uint8_t* r2 = rows[2];
    const int32_t k2 = w[2];
    if (n == 3) {
        for (; i < bytes; ++i) out[i] = Clip8(kHalf + r0[i] * k0 + r1[i] * k1 + r2[i] * k2);
        return;
    }
    for (size_t j = i; j < bytes; ++j) sums[j] = kHalf;
    for (int32_t t = 0; t < n; ++t) {
        const uint8_t* r = rows[t];
        const int32_t k = w[t];
        for (size_t j = i; j < bytes; ++j) sums[j] += r[j] * k;
    }
    for (; i < bytes; ++i) out[i] = Clip8(sums[i]);
}

// Round(c * a / 255) without a division.
uint8_t Premultiply(uint32_t c, uint32_t a) {
    const uint32_t t = c * a + 128;
    return static_cast<uint8_t>(((t >> 8) + t) >> 8);
}

// 255 / a in 16.16 fixed point, to take premultiplied colours back; a
// colour over alpha 0 is 0 already.
struct Inverses {
    uint32_t of[256];
    constexpr Inverses() : of{} {
        for (uint32_t a = 1; a < 256; ++a) of[a] = (255u * 65536u + a / 2) / a;
    }
};
constexpr Inverses kInverse{};

struct Channel {
    int shift = 0, bits = 0;
    std::unique_ptr<uint8_t[]> unpack;  // raw value (top 16 bits at most) -> 8 bits
    uint32_t pack[256] = {};            // 8 bits -> the value in place

    bool Make(uint32_t mask) {
        if (mask == 0) {
            unpack = Allocate<uint8_t>(1);
            if (unpack) unpack[0] = 0;
            return unpack != nullptr;
        }
        while (!(mask >> shift & 1)) ++shift;
        const uint32_t run = mask >> shift;
        while (bits < 32 && (run >> bits & 1)) ++bits;
        if (bits < 32 && (run >> bits) != 0) return false;  // split mask
        // Wider channels are read by their top 16 bits.
        const int kept = bits > 16 ? 16 : bits;
        const uint32_t top = (1u << kept) - 1;
        unpack = Allocate<uint8_t>(top + 1);
        if (!unpack) return false;
        for (uint32_t v = 0; v <= top; ++v) unpack[v] = static_cast<uint8_t>((v * 255 + top / 2) / top);
        const uint64_t most = bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
        for (uint32_t v = 0; v < 256; ++v)
            pack[v] = static_cast<uint32_t>((v * most + 127) / 255) << shift;
        return true;
    }
    uint8_t Read(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = pixel >> shift;
        return unpack[bits > 16 ? (v >> (bits - 16)) & 0xFFFF : v & ((1u << bits) - 1)];
    }
};

class Resampler {
public:
    Resampler(const PixelRows& from, const PixelRows& to, const ResampleLayout& layout)
        : from_(from), to_(to), format_(layout.format),
          channels_(layout.format == PixelFormat::Bgrx32 || layout.format == PixelFormat::Bgra32 ? 4 : 3),
          masks_{layout.blueMask, layout.greenMask, layout.redMask} {}

    bool Prepare() {
        if (format_ == PixelFormat::Bgra32 && !HasAlpha(from_.top, from_.strideBytes, from_.heightPx, from_.widthPx))
            format_ = PixelFormat::Bgrx32;
        across_ = to_.widthPx != from_.widthPx;
        down_ = to_.heightPx != from_.heightPx;
        if (across_ && !wide_.Make(from_.widthPx, to_.widthPx)) return false;
        if (across_) wide_.Widen();
        if (down_ && !tall_.Make(from_.heightPx, to_.heightPx)) return false;
        if (Masked()) {
            for (int c = 0; c < 3; ++c)
                if (!channel_[c].Make(masks_[c])) return false;
        }
        const size_t inBytes = static_cast<size_t>(from_.widthPx) * channels_;
        rowBytes_ = static_cast<size_t>(to_.widthPx) * channels_;
        if (!Direct()) {
            converted_ = Allocate<uint8_t>(inBytes);
            staged_ = Allocate<uint8_t>(rowBytes_);
            if (!converted_ || !staged_) return false;
        }
        if (Direct() && !down_) return true;  // rows go straight from the source into the result
        cache_ = Allocate<uint8_t>(kCachedRows * rowBytes_);
        sums_ = Allocate<int32_t>(rowBytes_);
        return cache_ && sums_;
    }

    void Run() {
        if (!across_ && !down_) {
            const size_t bytes = static_cast<size_t>(from_.widthPx) * BytesPerPixel();
            for (int32_t y = 0; y < to_.heightPx; ++y) std::memcpy(RowOf(to_, y), RowOf(from_, y), bytes);
            return;
        }
        for (int32_t y = 0; y < to_.heightPx; ++y) {
            uint8_t* out = Direct() ? RowOf(to_, y) : staged_.get();
            if (!down_) {
                ResampleRow(y, out);
            } else {
                const int32_t n = tall_.count[y], first = tall_.first[y];
                const uint8_t* rows[kCachedRows];
                if (n <= kCachedRows) {
                    for (int32_t t = 0; t < n; ++t) rows[t] = Fetch(first + t);
                    CombineDown(rows, &tall_.weights[static_cast<size_t>(y) * tall_.stride], n, out, rowBytes_,
                                sums_.get());
                } else {
                    const int32_t* w = &tall_.weights[static_cast<size_t>(y) * tall_.stride];
                    for (size_t i = 0; i < rowBytes_; ++i) sums_[i] = kHalf;
                    for (int32_t t = 0; t < n; ++t) {
                        const uint8_t* r = Fetch(first + t);
                        for (size_t i = 0; i < rowBytes_; ++i) sums_[i] += r[i] * w[t];
                    }
                    for (size_t i = 0; i < rowBytes_; ++i) out[i] = Clip8(sums_[i]);
                }
            }
            if (!Direct()) Store(out, RowOf(to_, y));
        }
    }

private:
    static constexpr int32_t kCachedRows = 4;  // a growing axis reads 2 or 3 rows per result row

    bool Masked() const { return format_ == PixelFormat::Masked16 || format_ == PixelFormat::Masked32; }
    bool Direct() const { return format_ == PixelFormat::Bgr24 || format_ == PixelFormat::Bgrx32; }
    int BytesPerPixel() const {
        return format_ == PixelFormat::Bgr24 ? 3 : format_ == PixelFormat::Masked16 ? 2 : 4;
    }
    static uint8_t* RowOf(const PixelRows& p, int32_t y) { return p.top + p.strideBytes * y; }

    // Source row y as 8-bit channels: its own bytes, or converted.
    const uint8_t* Channels(int32_t y) {
        const uint8_t* in = RowOf(from_, y);
        if (Direct()) return in;
        uint8_t* out = converted_.get();
        if (format_ == PixelFormat::Bgra32) {
            for (int32_t x = 0; x < from_.widthPx; ++x, in += 4, out += 4) {
                const uint32_t a = in[3];
                out[0] = Premultiply(in[0], a);
                out[1] = Premultiply(in[1], a);
                out[2] = Premultiply(in[2], a);
                out[3] = static_cast<uint8_t>(a);
            }
        } else {
            const bool wide = format_ == PixelFormat::Masked32;
            for (int32_t x = 0; x < from_.widthPx; ++x, out += 3) {
                uint32_t v;
                if (wide) {
                    std::memcpy(&v, in, 4);
                    in += 4;
                } else {
                    v = in[0] | in[1] << 8;
                    in += 2;
                }
                for (int c = 0; c < 3; ++c) out[c] = channel_[c].Read(v);
            }
        }
        return converted_.get();
    }

    void ResampleRow(int32_t y, uint8_t* out) {
        const uint8_t* in = Channels(y);
        if (!across_) {
            std::memcpy(out, in, rowBytes_);
        } else if (channels_ == 4) {
            ResampleAcross<4>(in, out, to_.widthPx, wide_);
        } else {
            ResampleAcross<3>(in, out, to_.widthPx, wide_);
        }
    }

    // Source row y resampled across, from the cache when it was made lately;
    // windows move only downwards, so kCachedRows consecutive rows never share
    // a slot.
    const uint8_t* Fetch(int32_t y) {
        if (!across_ && Direct()) return RowOf(from_, y);
        const int32_t slot = y % kCachedRows;
        uint8_t* row = &cache_[static_cast<size_t>(slot) * rowBytes_];
        if (cachedRow_[slot] != y) {
            ResampleRow(y, row);
            cachedRow_[slot] = y;
        }
        return row;
    }

    // A result row from 8-bit channels into the picture's own format.
    void Store(const uint8_t* in, uint8_t* out) const {
        if (format_ == PixelFormat::Bgra32) {
            for (int32_t x = 0; x < to_.widthPx; ++x, in += 4, out += 4) {
                const uint32_t a = in[3], inverse = kInverse.of[a];
                for (int c = 0; c < 3; ++c) {
                    const uint32_t v = (in[c] * inverse + 0x8000) >> 16;
                    out[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
                }
                out[3] = static_cast<uint8_t>(a);
            }
            return;
        }
        const bool wide = format_ == PixelFormat::Masked32;
        for (int32_t x = 0; x < to_.widthPx; ++x, in += 3) {
            const uint32_t v = channel_[0].pack[in[0]] | channel_[1].pack[in[1]] | channel_[2].pack[in[2]];
            if (wide) {
                std::memcpy(out, &v, 4);
                out += 4;
            } else {
                out[0] = static_cast<uint8_t>(v);
                out[1] = static_cast<uint8_t>(v >> 8);
                out += 2;
            }
        }
    }

    PixelRows from_, to_;
    PixelFormat format_;
    int channels_;
    uint32_t masks_[3];  // blue, green, red: the order of the channels
    bool across_ = false, down_ = false;
    AxisWeights wide_, tall_;
    Channel channel_[3];
    size_t rowBytes_ = 0;
    std::unique_ptr<uint8_t[]> converted_, staged_, cache_;
    std::unique_ptr<int32_t[]> sums_;
    int32_t cachedRow_[kCachedRows] = {-1, -1, -1, -1};
};

bool Fits(const PixelRows& p) {
    return p.top && p.widthPx >= 1 && p.heightPx >= 1 && p.widthPx <= kResampleMaxSidePx &&
           p.heightPx <= kResampleMaxSidePx;
}

}  // namespace

bool ResamplePixels(const PixelRows& from, const PixelRows& to, const ResampleLayout& layout) {
    if (!Fits(from) || !Fits(to)) return false;
    Resampler r{from, to, layout};
    if (!r.Prepare()) return false;
    r.Run();
    return true;
}
