#include "search/LineEnds.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace {

std::atomic<bool> gScalar{false};

// How far ahead the kernels ask for data: the hardware prefetcher stops at page edges.
constexpr std::ptrdiff_t PrefetchAhead = 8192;

bool HasAvx2()
{
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2 && !gScalar.load(std::memory_order_relaxed);
}

TerminatorCounts CountScalar(const char* p, const char* end)
{
    TerminatorCounts c;
    for (; p < end; ++p) {
        if (*p == '\n') {
            ++c.Lf;
        } else if (*p == '\r') {
            ++c.Cr;
            if (p + 1 < end && p[1] == '\n') {
                ++c.CrLf;
            }
        }
    }
    return c;
}

// Byte-wise counters in a vector overflow after 255 steps; these fold them into 64-bit sums.
__attribute__((target("avx2"))) std::size_t Sum256(__m256i acc)
{
    const __m256i s = _mm256_sad_epu8(acc, _mm256_setzero_si256());
    return static_cast<std::size_t>(_mm256_extract_epi64(s, 0) + _mm256_extract_epi64(s, 1) +
                                    _mm256_extract_epi64(s, 2) + _mm256_extract_epi64(s, 3));
}

std::size_t Sum128(__m128i acc)
{
    const __m128i s = _mm_sad_epu8(acc, _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si64(s) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
}

__attribute__((target("avx2"))) std::size_t CountByteAvx2(const char*& p, const char* end, char c)
{
    const __m256i needle = _mm256_set1_epi8(c);
    std::size_t total = 0;
    while (end - p >= 32) {
        __m256i acc = _mm256_setzero_si256();
        for (int steps = 0; steps < 255 && end - p >= 32; ++steps, p += 32) {
            _mm_prefetch(p + PrefetchAhead, _MM_HINT_T0);
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            acc = _mm256_sub_epi8(acc, _mm256_cmpeq_epi8(v, needle));
        }
        total += Sum256(acc);
    }
    return total;
}

std::size_t CountByteSse2(const char*& p, const char* end, char c)
{
    const __m128i needle = _mm_set1_epi8(c);
    std::size_t total = 0;
    while (end - p >= 16) {
        __m128i acc = _mm_setzero_si128();
        for (int steps = 0; steps < 255 && end - p >= 16; ++steps, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(v, needle));
        }
        total += Sum128(acc);
    }
    return total;
}

// The pair lane compares p with CR and p + 1 with LF, so it stops one byte before the end.
__attribute__((target("avx2"))) TerminatorCounts CountTerminatorsAvx2(const char*& p, const char* end)
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    TerminatorCounts c;
    while (end - p >= 33) {
        __m256i aLf = _mm256_setzero_si256();
        __m256i aCr = _mm256_setzero_si256();
        __m256i aPair = _mm256_setzero_si256();
        for (int steps = 0; steps < 255 && end - p >= 33; ++steps, p += 32) {
            _mm_prefetch(p + PrefetchAhead, _MM_HINT_T0);
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
            const __m256i isCr = _mm256_cmpeq_epi8(v, cr);
            aLf = _mm256_sub_epi8(aLf, _mm256_cmpeq_epi8(v, lf));
            aCr = _mm256_sub_epi8(aCr, isCr);
            aPair = _mm256_sub_epi8(aPair, _mm256_and_si256(isCr, _mm256_cmpeq_epi8(next, lf)));
        }
        c.Lf += Sum256(aLf);
        c.Cr += Sum256(aCr);
        c.CrLf += Sum256(aPair);
    }
    return c;
}

TerminatorCounts CountTerminatorsSse2(const char*& p, const char* end)
{
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    TerminatorCounts c;
    while (end - p >= 17) {
        __m128i aLf = _mm_setzero_si128();
        __m128i aCr = _mm_setzero_si128();
        __m128i aPair = _mm_setzero_si128();
        for (int steps = 0; steps < 255 && end - p >= 17; ++steps, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
            const __m128i isCr = _mm_cmpeq_epi8(v, cr);
            aLf = _mm_sub_epi8(aLf, _mm_cmpeq_epi8(v, lf));
            aCr = _mm_sub_epi8(aCr, isCr);
            aPair = _mm_sub_epi8(aPair, _mm_and_si128(isCr, _mm_cmpeq_epi8(next, lf)));
        }
        c.Lf += Sum128(aLf);
        c.Cr += Sum128(aCr);
        c.CrLf += Sum128(aPair);
    }
    return c;
}

__attribute__((target("avx2"))) const char* FindEitherAvx2(const char*& p, const char* end, char a, char b)
{
    const __m256i va = _mm256_set1_epi8(a);
    const __m256i vb = _mm256_set1_epi8(b);
    for (; end - p >= 32; p += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const auto bits = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(v, va), _mm256_cmpeq_epi8(v, vb))));
        if (bits != 0) {
            return p + __builtin_ctz(bits);
        }
    }
    return nullptr;
}

const char* FindEitherSse2(const char*& p, const char* end, char a, char b)
{
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto bits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
        if (bits != 0) {
            return p + __builtin_ctz(bits);
        }
    }
    return nullptr;
}

__attribute__((target("avx2"))) WindowFlags ScanWindowAvx2(const char*& p, const char* end)
{
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i eof = _mm256_set1_epi8(26);
    WindowFlags flags;
    for (; end - p >= 32; p += 32) {
        _mm_prefetch(p + PrefetchAhead, _MM_HINT_T0);
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const auto crBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, cr)));
        const auto eofBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, eof)));
        if (eofBits != 0) {
            const int at = __builtin_ctz(eofBits);
            flags.HasCr = flags.HasCr || (crBits & ((1u << at) - 1)) != 0;
            flags.First26 = p + at;
            return flags;
        }
        flags.HasCr = flags.HasCr || crBits != 0;
    }
    return flags;
}

WindowFlags ScanWindowSse2(const char*& p, const char* end)
{
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i eof = _mm_set1_epi8(26);
    WindowFlags flags;
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto crBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
        const auto eofBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, eof)));
        if (eofBits != 0) {
            const int at = __builtin_ctz(eofBits);
            flags.HasCr = flags.HasCr || (crBits & ((1u << at) - 1)) != 0;
            flags.First26 = p + at;
            return flags;
        }
        flags.HasCr = flags.HasCr || crBits != 0;
    }
    return flags;
}

__attribute__((target("avx2"))) std::size_t CopyReplacingAvx2(char* out, const char* in, std::size_t n,
                                                              char from, char to)
{
    const __m256i f = _mm256_set1_epi8(from);
    const __m256i t = _mm256_set1_epi8(to);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_blendv_epi8(v, t, _mm256_cmpeq_epi8(v, f)));
    }
    return i;
}

std::size_t CopyReplacingSse2(char* out, const char* in, std::size_t n, char from, char to)
{
    const __m128i f = _mm_set1_epi8(from);
    const __m128i t = _mm_set1_epi8(to);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i hit = _mm_cmpeq_epi8(v, f);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_or_si128(_mm_and_si128(hit, t), _mm_andnot_si128(hit, v)));
    }
    return i;
}

} // namespace

void UseScalarLineEnds(bool scalar)
{
    gScalar.store(scalar, std::memory_order_relaxed);
}

std::size_t CountByte(const char* begin, const char* end, char c)
{
    std::size_t total = 0;
    if (!gScalar.load(std::memory_order_relaxed)) {
        total = HasAvx2() ? CountByteAvx2(begin, end, c) : CountByteSse2(begin, end, c);
    }
    for (; begin < end; ++begin) {
        total += *begin == c;
    }
    return total;
}

TerminatorCounts CountTerminators(const char* begin, const char* end)
{
    TerminatorCounts c;
    if (!gScalar.load(std::memory_order_relaxed)) {
        c = HasAvx2() ? CountTerminatorsAvx2(begin, end) : CountTerminatorsSse2(begin, end);
    }
    const TerminatorCounts tail = CountScalar(begin, end);
    c.Lf += tail.Lf;
    c.Cr += tail.Cr;
    c.CrLf += tail.CrLf;
    return c;
}

const char* FindEither(const char* begin, const char* end, char a, char b)
{
    if (!gScalar.load(std::memory_order_relaxed)) {
        const char* hit = HasAvx2() ? FindEitherAvx2(begin, end, a, b) : FindEitherSse2(begin, end, a, b);
        if (hit != nullptr) {
            return hit;
        }
    }
    for (; begin < end; ++begin) {
        if (*begin == a || *begin == b) {
            return begin;
        }
    }
    return nullptr;
}

WindowFlags ScanWindow(const char* begin, const char* end)
{
    WindowFlags flags;
    if (!gScalar.load(std::memory_order_relaxed)) {
        flags = HasAvx2() ? ScanWindowAvx2(begin, end) : ScanWindowSse2(begin, end);
        if (flags.First26 != nullptr) {
            return flags;
        }
    }
    for (; begin < end; ++begin) {
        if (*begin == 26) {
            flags.First26 = begin;
            return flags;
        }
        flags.HasCr = flags.HasCr || *begin == '\r';
    }
    return flags;
}

void CopyReplacing(char* out, const char* in, std::size_t n, char from, char to)
{
    std::size_t i = 0;
    if (!gScalar.load(std::memory_order_relaxed)) {
        i = HasAvx2() ? CopyReplacingAvx2(out, in, n, from, to) : CopyReplacingSse2(out, in, n, from, to);
    }
    for (; i < n; ++i) {
        out[i] = in[i] == from ? to : in[i];
    }
}
