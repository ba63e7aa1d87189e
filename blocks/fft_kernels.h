// Vector kernels of the transforms, written once for any lane count W and compiled by each
// instruction-set variant (complex_fft.cpp for the baseline, complex_fft_avx2.cpp and
// complex_fft_avx512.cpp for the wider units). Every lane gets exactly the IEEE operations, in the
// same order, that the scalar routine applies to that element: vectors only run independent
// butterflies side by side. Internal linkage, so that each variant keeps its own instantiations.
// Include after the standard headers: a variant file sets its instruction-set target in between.
#pragma once

#include "blocks/fft_engine.h"

namespace {

template <int W>
struct VecOf {
    typedef double type __attribute__((vector_size(W * sizeof(double))));
};
template <int W>
using Vec = typename VecOf<W>::type;

template <int W>
inline Vec<W> loadVec(const double* p) {
    Vec<W> v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

template <int W>
inline void storeVec(double* p, Vec<W> v) {
    __builtin_memcpy(p, &v, sizeof v);
}

// Every lane set to x (a plain copy: -0.0 stays -0.0).
template <int W>
inline Vec<W> splat(double x) {
    Vec<W> v;
    for (int k = 0; k < W; ++k) {
        v[k] = x;
    }
    return v;
}

// The lanes in reverse order.
template <int W>
inline Vec<W> reverseLanes(Vec<W> v) {
    if constexpr (W == 2) {
        return __builtin_shufflevector(v, v, 1, 0);
    } else if constexpr (W == 4) {
        return __builtin_shufflevector(v, v, 3, 2, 1, 0);
    } else {
        return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0);
    }
}

// The butterfly of the decimation-in-frequency stages on points i and l:
// xt = re(i) - re(l), re(i) += re(l), yt = im(i) - im(l), im(i) += im(l),
// re(l) = xt c + yt s, im(l) = yt c - xt s.
template <class V>
inline void butterfly(V& ri, V& ii, V& rl, V& il, V c, V s) {
    const V xt = ri - rl;
    ri = ri + rl;
    const V yt = ii - il;
    ii = ii + il;
    rl = xt * c + yt * s;
    il = yt * c - xt * s;
}

// One stage of span 2 * half on one block of 2 half points, read from fromRe/fromIm and written
// to toRe/toIm (the same arrays, or a copy's); twiddles cosine [half], sine [half]; half a
// multiple of W.
template <int W>
void stageBlock(const double* fromRe, const double* fromIm, double* toRe, double* toIm,
                int32_t half, const double* cosine, const double* sine) {
    using V = Vec<W>;
    for (int32_t j = 0; j < half; j += W) {
        V ri = loadVec<W>(fromRe + j);
        V rl = loadVec<W>(fromRe + j + half);
        V ii = loadVec<W>(fromIm + j);
        V il = loadVec<W>(fromIm + j + half);
        butterfly(ri, ii, rl, il, loadVec<W>(cosine + j), loadVec<W>(sine + j));
        storeVec<W>(toRe + j, ri);
        storeVec<W>(toRe + j + half, rl);
        storeVec<W>(toIm + j, ii);
        storeVec<W>(toIm + j + half, il);
    }
}

// Two consecutive stages, spans 4q and 2q, on one block of 4q points (q a multiple of W), read
// from fromRe/fromIm and written to toRe/toIm: the four points j, j + q, j + 2q, j + 3q meet only
// each other in these two stages, so they stay in registers. Twiddles of span 4q:
// outerCos/outerSin [2q]; of span 2q: innerCos/innerSin [q].
template <int W>
void stagePairBlock(const double* fromRe, const double* fromIm, double* toRe, double* toIm,
                    int32_t q, const double* outerCos, const double* outerSin,
                    const double* innerCos, const double* innerSin) {
    using V = Vec<W>;
    for (int32_t j = 0; j < q; j += W) {
        V r0 = loadVec<W>(fromRe + j);
        V r1 = loadVec<W>(fromRe + j + q);
        V r2 = loadVec<W>(fromRe + j + 2 * q);
        V r3 = loadVec<W>(fromRe + j + 3 * q);
        V i0 = loadVec<W>(fromIm + j);
        V i1 = loadVec<W>(fromIm + j + q);
        V i2 = loadVec<W>(fromIm + j + 2 * q);
        V i3 = loadVec<W>(fromIm + j + 3 * q);
        butterfly(r0, i0, r2, i2, loadVec<W>(outerCos + j), loadVec<W>(outerSin + j));
        butterfly(r1, i1, r3, i3, loadVec<W>(outerCos + j + q), loadVec<W>(outerSin + j + q));
        const V c = loadVec<W>(innerCos + j);
        const V s = loadVec<W>(innerSin + j);
        butterfly(r0, i0, r1, i1, c, s);
        butterfly(r2, i2, r3, i3, c, s);
        storeVec<W>(toRe + j, r0);
        storeVec<W>(toRe + j + q, r1);
        storeVec<W>(toRe + j + 2 * q, r2);
        storeVec<W>(toRe + j + 3 * q, r3);
        storeVec<W>(toIm + j, i0);
        storeVec<W>(toIm + j + q, i1);
        storeVec<W>(toIm + j + 2 * q, i2);
        storeVec<W>(toIm + j + 3 * q, i3);
    }
}

// Transposes the W x W block in[0..W-1] (row vectors) into out[0..W-1] (column vectors).
template <int W>
inline void transposeSquare(const Vec<W>* in, Vec<W>* out) {
    if constexpr (W == 2) {
        out[0] = __builtin_shufflevector(in[0], in[1], 0, 2);
        out[1] = __builtin_shufflevector(in[0], in[1], 1, 3);
    } else if constexpr (W == 4) {
        const Vec<4> t0 = __builtin_shufflevector(in[0], in[1], 0, 4, 2, 6);
        const Vec<4> t1 = __builtin_shufflevector(in[0], in[1], 1, 5, 3, 7);
        const Vec<4> t2 = __builtin_shufflevector(in[2], in[3], 0, 4, 2, 6);
        const Vec<4> t3 = __builtin_shufflevector(in[2], in[3], 1, 5, 3, 7);
        out[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        out[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        out[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        out[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    } else {
        Vec<8> t[8];
        #pragma GCC unroll 8
        for (int p = 0; p < 8; p += 2) {
            t[p] = __builtin_shufflevector(in[p], in[p + 1], 0, 8, 2, 10, 4, 12, 6, 14);
            t[p + 1] = __builtin_shufflevector(in[p], in[p + 1], 1, 9, 3, 11, 5, 13, 7, 15);
        }
        Vec<8> u[8];
        #pragma GCC unroll 8
        for (int g = 0; g < 8; g += 4) {
            #pragma GCC unroll 8
            for (int k = 0; k < 2; ++k) {
                u[g + k] =
                    __builtin_shufflevector(t[g + k], t[g + k + 2], 0, 1, 8, 9, 4, 5, 12, 13);
                u[g + k + 2] =
                    __builtin_shufflevector(t[g + k], t[g + k + 2], 2, 3, 10, 11, 6, 7, 14, 15);
            }
        }
        #pragma GCC unroll 8
        for (int k = 0; k < 4; ++k) {
            out[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
            out[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        }
    }
}

// An 8 x 8 tile of doubles held as 8 columns of 8 / W vectors: column l, lanes over the rows.
template <int W>
struct Tile {
    Vec<W> col[8][8 / W];
};

// Loads the rows x[rowStart(r) .. + 7], r = 0..7, into the columns of `tile`: the rows are taken
// in bit-reversed order (tile row t is x row rev3(t)).
template <int W>
__attribute__((always_inline)) inline void loadTile(const double* x, const int32_t* rowStart, Tile<W>& tile) {
    constexpr int32_t blocks = 8 / W;
    constexpr int32_t rev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    #pragma GCC unroll 8
    for (int32_t a = 0; a < blocks; ++a) {
        #pragma GCC unroll 8
        for (int32_t b = 0; b < blocks; ++b) {
            Vec<W> rows[W];
            #pragma GCC unroll 8
            for (int32_t k = 0; k < W; ++k) {
                rows[k] = loadVec<W>(x + rowStart[rev3[a * W + k]] + b * W);
            }
            Vec<W> cols[W];
            transposeSquare<W>(rows, cols);
            #pragma GCC unroll 8
            for (int32_t k = 0; k < W; ++k) {
                tile.col[b * W + k][a] = cols[k];
            }
        }
    }
}

// Stores column rev3(h) of `tile` as row h, x[rowStart(h) .. + 7], h = 0..7.
template <int W>
__attribute__((always_inline)) inline void storeTile(double* x, const int32_t* rowStart, const Tile<W>& tile) {
    constexpr int32_t blocks = 8 / W;
    constexpr int32_t rev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    #pragma GCC unroll 8
    for (int32_t h = 0; h < 8; ++h) {
        #pragma GCC unroll 8
        for (int32_t a = 0; a < blocks; ++a) {
            storeVec<W>(x + rowStart[h] + a * W, tile.col[rev3[h]][a]);
        }
    }
}

// The stages of spans 8, 4 and 2 on the 8-point blocks held as tile rows: point l of every row
// is column l, so each butterfly is a whole-column operation.
template <int W>
__attribute__((always_inline)) inline void lastThreeStages(Tile<W>& re, Tile<W>& im, const FftTables& t) {
    using V = Vec<W>;
    constexpr int32_t blocks = 8 / W;
    const double* cos8 = t.cosine + (kTableSpan - 8);
    const double* sin8 = t.sine + (kTableSpan - 8);
    const double* cos4 = t.cosine + (kTableSpan - 4);
    const double* sin4 = t.sine + (kTableSpan - 4);
    const V c2 = splat<W>(t.cosine[kTableSpan - 2]);
    const V s2 = splat<W>(t.sine[kTableSpan - 2]);
    #pragma GCC unroll 8
    for (int32_t a = 0; a < blocks; ++a) {
        #pragma GCC unroll 8
        for (int32_t l = 0; l < 4; ++l) {
            butterfly(re.col[l][a], im.col[l][a], re.col[l + 4][a], im.col[l + 4][a],
                      splat<W>(cos8[l]), splat<W>(sin8[l]));
        }
        #pragma GCC unroll 8
        for (int32_t g = 0; g < 8; g += 4) {
            #pragma GCC unroll 8
            for (int32_t l = 0; l < 2; ++l) {
                butterfly(re.col[g + l][a], im.col[g + l][a], re.col[g + l + 2][a],
                          im.col[g + l + 2][a], splat<W>(cos4[l]), splat<W>(sin4[l]));
            }
        }
        #pragma GCC unroll 8
        for (int32_t g = 0; g < 8; g += 2) {
            butterfly(re.col[g][a], im.col[g][a], re.col[g + 1][a], im.col[g + 1][a], c2, s2);
        }
    }
}

// The bits-bit reversal of v.
inline int32_t reverseBits(int32_t v, int32_t bits) {
    int32_t r = 0;
    for (int32_t b = 0; b < bits; ++b) {
        r = (r << 1) | ((v >> b) & 1);
    }
    return r;
}

// The stages of spans 8, 4, 2 of fromRe/fromIm [2^bits] (bits >= 6) and the bit-reversal
// reordering into toRe/toIm [2^bits], in one pass. Index i = (h, m, l) with h its top 3 bits and l
// its low 3 bits moves to (rev l, rev m, rev h): the 8 x 8 tile of middle m (rows h, points l)
// lands transposed on the tile of middle rev m, and its rows are exactly the 8-point blocks of the
// last three stages.
template <int W>
void lastStagesAndReorder(int32_t bits, const double* fromRe, const double* fromIm, double* toRe,
                          double* toIm, const FftTables& t) {
    const int32_t middleBits = bits - 6;
    const int32_t middles = 1 << middleBits;
    for (int32_t m = 0; m < middles; ++m) {
        const int32_t mirror = reverseBits(m, middleBits);
        int32_t fromRows[8];
        int32_t toRows[8];
        for (int32_t h = 0; h < 8; ++h) {
            fromRows[h] = (h << (bits - 3)) | (m << 3);
            toRows[h] = (h << (bits - 3)) | (mirror << 3);
        }
        // The next tile's rows lie a whole stride apart; fetch them while this one is worked.
        if (m + 1 < middles) {
            for (int32_t h = 0; h < 8; ++h) {
                __builtin_prefetch(fromRe + fromRows[h] + 8, 0, 3);
                __builtin_prefetch(fromIm + fromRows[h] + 8, 0, 3);
            }
        }
        Tile<W> tileRe;
        Tile<W> tileIm;
        loadTile<W>(fromRe, fromRows, tileRe);
        loadTile<W>(fromIm, fromRows, tileIm);
        lastThreeStages<W>(tileRe, tileIm, t);
        storeTile<W>(toRe, toRows, tileRe);
        storeTile<W>(toIm, toRows, tileIm);
    }
}

// Points per block of the cache-blocked stages: one block of the working copy (32 KiB) stays in
// the first level data cache while all its stages down to span 16 run.
constexpr int32_t kBlockSpan = 2048;

// The working copy of the transform: the first stage reads the caller's arrays and writes here,
// the last pass reads here and writes the reordered result back, so the strided reordering never
// reads and writes the same lines.
alignas(64) inline double workRe[kTableSpan];
alignas(64) inline double workIm[kTableSpan];

// Forward transform of re [2^bits], im [2^bits], 6 <= bits and 2^bits <= kTableSpan: the stages
// of the direct routine in a cache-friendly order, each value computed exactly as there.
template <int W>
void complexFftBlocked(int32_t bits, double* re, double* im, const FftTables& t) {
    const int32_t n = 1 << bits;
    const auto cosOf = [&t](int32_t span) { return t.cosine + (kTableSpan - span); };
    const auto sinOf = [&t](int32_t span) { return t.sine + (kTableSpan - span); };
    // The first stage reads the caller's arrays; every later one works in the copy.
    const double* fromRe = re;
    const double* fromIm = im;
    int32_t span = n;
    // Spans longer than a cache block, over the whole arrays.
    while (span > kBlockSpan) {
        if (span / 2 > kBlockSpan) {
            for (int32_t base = 0; base < n; base += span) {
                stagePairBlock<W>(fromRe + base, fromIm + base, workRe + base, workIm + base,
                                  span / 4, cosOf(span), sinOf(span), cosOf(span / 2),
                                  sinOf(span / 2));
            }
            span /= 4;
        } else {
            for (int32_t base = 0; base < n; base += span) {
                stageBlock<W>(fromRe + base, fromIm + base, workRe + base, workIm + base,
                              span / 2, cosOf(span), sinOf(span));
            }
            span /= 2;
        }
        fromRe = workRe;
        fromIm = workIm;
    }
    // Each block of `span` points through its stages down to span 16.
    const int32_t blockSpan = span;
    for (int32_t block = 0; block < n; block += blockSpan) {
        const double* blockFromRe = fromRe + block;
        const double* blockFromIm = fromIm + block;
        double* blockRe = workRe + block;
        double* blockIm = workIm + block;
        int32_t s = blockSpan;
        while (s >= 16) {
            if (s / 2 >= 16) {
                for (int32_t base = 0; base < blockSpan; base += s) {
                    stagePairBlock<W>(blockFromRe + base, blockFromIm + base, blockRe + base,
                                      blockIm + base, s / 4, cosOf(s), sinOf(s), cosOf(s / 2),
                                      sinOf(s / 2));
                }
                s /= 4;
            } else {
                for (int32_t base = 0; base < blockSpan; base += s) {
                    stageBlock<W>(blockFromRe + base, blockFromIm + base, blockRe + base,
                                  blockIm + base, s / 2, cosOf(s), sinOf(s));
                }
                s /= 2;
            }
            blockFromRe = blockRe;
            blockFromIm = blockIm;
        }
    }
    lastStagesAndReorder<W>(bits, workRe, workIm, re, im, t);
}

// Real FFT pack: re [n2] = u [0, 2, ...], im [n2] = u [1, 3, ...] from contiguous u [n].
template <int W>
void packKernel(const double* u, double* re, double* im) {
    constexpr int32_t n2 = kRealTableLength / 2;
    for (int32_t t = 0; t < n2; t += W) {
        const Vec<W> a = loadVec<W>(u + 2 * t);
        const Vec<W> b = loadVec<W>(u + 2 * t + W);
        if constexpr (W == 2) {
            storeVec<W>(re + t, __builtin_shufflevector(a, b, 0, 2));
            storeVec<W>(im + t, __builtin_shufflevector(a, b, 1, 3));
        } else if constexpr (W == 4) {
            storeVec<W>(re + t, __builtin_shufflevector(a, b, 0, 2, 4, 6));
            storeVec<W>(im + t, __builtin_shufflevector(a, b, 1, 3, 5, 7));
        } else {
            storeVec<W>(re + t, __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14));
            storeVec<W>(im + t, __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15));
        }
    }
}

// One bin pair of the split step: k, p = n2 - k with running twiddle (wr, wi), as written for a
// scalar and applied lane by lane.
template <class V>
inline void splitPair(V rk, V ik, V rp, V ip, V wr, V wi, V half, V minusHalf, V& newRk, V& newIk,
                      V& newRp, V& newIp) {
    const V h1r = half * (rk + rp);
    const V h1i = half * (ik - ip);
    const V h2r = half * (ik + ip);
    const V h2i = minusHalf * (rk - rp);
    newRk = h1r + wr * h2r - wi * h2i;
    newIk = h1i + wr * h2i + wi * h2r;
    newRp = h1r - wr * h2r + wi * h2i;
    newIp = -h1i + wr * h2i + wi * h2r;
}

// Real FFT split step and conjugate mirror for n = kRealTableLength on re [n], im [n]: bins k
// and n2 - k for k = 1 .. n4 - 1 with the tabled twiddles, each result also written (conjugated)
// to bin n - k and n2 + k, where the mirror loop would copy it.
template <int W>
void splitAndMirrorKernel(double* re, double* im, const FftTables& t) {
    using V = Vec<W>;
    constexpr int32_t n = kRealTableLength;
    constexpr int32_t n2 = n / 2;
    constexpr int32_t n4 = n2 / 2;
    re[n2] = re[0] - im[0];
    im[n2] = 0.0;
    re[0] = re[0] + im[0];
    im[0] = 0.0;
    const V half = splat<W>(0.5);
    const V minusHalf = splat<W>(-0.5);
    int32_t k = 1;
    for (; k + W <= n4; k += W) {
        // Lanes of the p side run downwards from n2 - k.
        const int32_t pLow = n2 - k - (W - 1);
        V newRk;
        V newIk;
        V newRp;
        V newIp;
        splitPair<V>(loadVec<W>(re + k), loadVec<W>(im + k), reverseLanes<W>(loadVec<W>(re + pLow)),
                     reverseLanes<W>(loadVec<W>(im + pLow)), loadVec<W>(t.splitWr + k),
                     loadVec<W>(t.splitWi + k), half, minusHalf, newRk, newIk, newRp, newIp);
        storeVec<W>(re + k, newRk);
        storeVec<W>(im + k, newIk);
        storeVec<W>(re + pLow, reverseLanes<W>(newRp));
        storeVec<W>(im + pLow, reverseLanes<W>(newIp));
        storeVec<W>(re + (n - k - (W - 1)), reverseLanes<W>(newRk));
        storeVec<W>(im + (n - k - (W - 1)), reverseLanes<W>(-newIk));
        storeVec<W>(re + (n2 + k), newRp);
        storeVec<W>(im + (n2 + k), -newIp);
    }
    for (; k < n4; ++k) {
        const int32_t p = n2 - k;
        double newRk;
        double newIk;
        double newRp;
        double newIp;
        splitPair<double>(re[k], im[k], re[p], im[p], t.splitWr[k], t.splitWi[k], 0.5, -0.5, newRk,
                          newIk, newRp, newIp);
        re[k] = newRk;
        im[k] = newIk;
        re[p] = newRp;
        im[p] = newIp;
        re[n - k] = newRk;
        im[n - k] = -newIk;
        re[n2 + k] = newRp;
        im[n2 + k] = -newIp;
    }
    im[n4] = -im[n4];
    re[n - n4] = re[n4];
    im[n - n4] = -im[n4];
}

// Real IFFT merge for n = kRealTableLength: z = a + i w d of bins k and k + n2 of the contiguous
// split spectrum xr [n], xi [n] into re [n2], im [n2], tabled twiddles.
template <int W>
void mergeKernel(const double* xr, const double* xi, double* re, double* im, const FftTables& t) {
    using V = Vec<W>;
    constexpr int32_t n2 = kRealTableLength / 2;
    for (int32_t k = 0; k < n2; k += W) {
        const V xrk = loadVec<W>(xr + k);
        const V xrp = loadVec<W>(xr + k + n2);
        const V xik = loadVec<W>(xi + k);
        const V xip = loadVec<W>(xi + k + n2);
        const V ar = xrk + xrp;
        const V ai = xik + xip;
        const V dr = xrk - xrp;
        const V di = xik - xip;
        const V wr = loadVec<W>(t.mergeWr + k);
        const V wi = loadVec<W>(t.mergeWi + k);
        storeVec<W>(re + k, ar - (dr * wi + di * wr));
        storeVec<W>(im + k, ai + (dr * wr - di * wi));
    }
}

// Real IFFT scale and interleave for n = kRealTableLength on y [2n]: from the top down, so every
// y [j] is read before anything lands on it.
template <int W>
void scaleAndInterleaveKernel(double f, double* y) {
    using V = Vec<W>;
    constexpr int32_t n = kRealTableLength;
    constexpr int32_t n2 = n / 2;
    const V scale = splat<W>(f);
    for (int32_t j = n2 - W; j >= 0; j -= W) {
        const V r = loadVec<W>(y + j) * scale;
        const V i = loadVec<W>(y + n + j) * scale;
        if constexpr (W == 2) {
            storeVec<W>(y + 2 * j, __builtin_shufflevector(r, i, 0, 2));
            storeVec<W>(y + 2 * j + W, __builtin_shufflevector(r, i, 1, 3));
        } else if constexpr (W == 4) {
            storeVec<W>(y + 2 * j, __builtin_shufflevector(r, i, 0, 4, 1, 5));
            storeVec<W>(y + 2 * j + W, __builtin_shufflevector(r, i, 2, 6, 3, 7));
        } else {
            storeVec<W>(y + 2 * j, __builtin_shufflevector(r, i, 0, 8, 1, 9, 2, 10, 3, 11));
            storeVec<W>(y + 2 * j + W, __builtin_shufflevector(r, i, 4, 12, 5, 13, 6, 14, 7, 15));
        }
    }
}

// The kernels of one lane count as a variant.
template <int W>
constexpr FftVariant makeFftVariant(const char* name) {
    return FftVariant{name,
                      &complexFftBlocked<W>,
                      &packKernel<W>,
                      &splitAndMirrorKernel<W>,
                      &mergeKernel<W>,
                      &scaleAndInterleaveKernel<W>};
}

}  // namespace
