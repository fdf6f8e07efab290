#include "search/LiteralFinder.h"

#include "search/LineEnds.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>

namespace {

// Rough frequency of each byte in log-like and prose text (higher is more common); used only
// to pick the two needle bytes that the lanes compare, so that candidates stay rare.
int ByteRank(unsigned char c)
{
    static const char* const common = " etaoinsrhldcumfpgwybvk0123456789:/.-=_,\"'()[]";
    if (c == '\t') {
        return 200;
    }
    if (const char* hit = std::strchr(common, c); hit != nullptr && c != 0) {
        return 255 - static_cast<int>(hit - common);
    }
    if (c >= 'A' && c <= 'Z') {
        return 120; // capitals are rarer than their small letters
    }
    if (c >= 'a' && c <= 'z') {
        return 150;
    }
    if (c < 32 || c >= 127) {
        return 10;
    }
    return 100;
}

int FoldedRank(unsigned char c, bool folded)
{
    if (folded && c >= 'A' && c <= 'Z') {
        return ByteRank(c) + ByteRank(static_cast<unsigned char>(c | 0x20));
    }
    return ByteRank(c);
}

// How far ahead the kernels ask for data (prefetch never faults, so running past the end is harmless).
constexpr std::ptrdiff_t PrefetchAhead = 8192;

template <typename T>
T Load(const char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

int LiteralFinder::ByteRank(unsigned char c)
{
    return ::ByteRank(c);
}

LiteralFinder::Kernel LiteralFinder::BestKernel()
{
    static const Kernel best = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? Kernel::Avx2 : Kernel::Sse2;
    }();
    return best;
}

LiteralFinder::LiteralFinder(std::string_view needle, bool fold, Kernel kernel)
    : FNeedle(needle)
    , FMask(needle.size(), '\0')
{
    for (std::size_t i = 0; i < FNeedle.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(FNeedle[i]);
        const unsigned char lower = c | 0x20;
        if (fold && lower >= 'a' && lower <= 'z') {
            FMask[i] = 0x20;
            FNeedle[i] = static_cast<char>(lower);
        }
    }
    // The rarest byte first, then the rarest byte at another offset (ties: the farther apart).
    const std::size_t n = FNeedle.size();
    auto rank = [&](std::size_t i) {
        return FoldedRank(static_cast<unsigned char>(needle[i]), FMask[i] != 0);
    };
    for (std::size_t i = 1; i < n; ++i) {
        if (rank(i) < rank(FOffset1)) {
            FOffset1 = i;
        }
    }
    FOffset2 = FOffset1;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == FOffset1) {
            continue;
        }
        if (FOffset2 == FOffset1 || rank(i) < rank(FOffset2)) {
            FOffset2 = i;
        }
    }
    FKernel = kernel == Kernel::Auto ? BestKernel() : kernel;
    if (FKernel == Kernel::Avx2 && BestKernel() != Kernel::Avx2) {
        FKernel = Kernel::Sse2;
    }
}

bool LiteralFinder::MatchesAt(const char* p) const
{
    const std::size_t n = FNeedle.size();
    const char* needle = FNeedle.data();
    const char* mask = FMask.data();
    if (n >= 8) {
        for (std::size_t k = 0; k + 8 <= n; k += 8) {
            if ((Load<std::uint64_t>(p + k) | Load<std::uint64_t>(mask + k)) !=
                Load<std::uint64_t>(needle + k)) {
                return false;
            }
        }
        const std::size_t k = n - 8;
        return (Load<std::uint64_t>(p + k) | Load<std::uint64_t>(mask + k)) ==
               Load<std::uint64_t>(needle + k);
    }
    if (n >= 4) {
        const std::size_t k = n - 4;
        return (Load<std::uint32_t>(p) | Load<std::uint32_t>(mask)) == Load<std::uint32_t>(needle) &&
               (Load<std::uint32_t>(p + k) | Load<std::uint32_t>(mask + k)) ==
                   Load<std::uint32_t>(needle + k);
    }
    if (n >= 2) {
        const std::size_t k = n - 2;
        return (Load<std::uint16_t>(p) | Load<std::uint16_t>(mask)) == Load<std::uint16_t>(needle) &&
               (Load<std::uint16_t>(p + k) | Load<std::uint16_t>(mask + k)) ==
                   Load<std::uint16_t>(needle + k);
    }
    return n == 1 && static_cast<char>(p[0] | mask[0]) == needle[0];
}

const char* LiteralFinder::Find(const char* begin, const char* end) const
{
    if (FNeedle.empty() || begin == nullptr || end - begin < static_cast<std::ptrdiff_t>(FNeedle.size())) {
        return nullptr;
    }
    switch (FKernel) {
    case Kernel::Avx2:
        return FindAvx2(begin, end);
    case Kernel::Sse2:
        return FindSse2(begin, end);
    default:
        return FindScalar(begin, end);
    }
}

const char* LiteralFinder::FindScalar(const char* p, const char* end) const
{
    const char* last = end - FNeedle.size();
    const char b1 = FNeedle[FOffset1];
    const char m1 = FMask[FOffset1];
    for (; p <= last; ++p) {
        if (static_cast<char>(p[FOffset1] | m1) == b1 && MatchesAt(p)) {
            return p;
        }
    }
    return nullptr;
}

const char* LiteralFinder::FindSse2(const char* p, const char* end) const
{
    const char* first = p;
    const char* last = end - FNeedle.size(); // last start that fits
    const __m128i c1 = _mm_set1_epi8(FNeedle[FOffset1]);
    const __m128i c2 = _mm_set1_epi8(FNeedle[FOffset2]);
    const __m128i m1 = _mm_set1_epi8(FMask[FOffset1]);
    const __m128i m2 = _mm_set1_epi8(FMask[FOffset2]);
    auto candidates = [&](const char* q) {
        const __m128i h1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + FOffset1));
        const __m128i h2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + FOffset2));
        const __m128i e =
            _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(h1, m1), c1), _mm_cmpeq_epi8(_mm_or_si128(h2, m2), c2));
        return static_cast<unsigned>(_mm_movemask_epi8(e));
    };
    for (; p + 15 <= last; p += 16) {
        for (unsigned bits = candidates(p); bits != 0; bits &= bits - 1) {
            const char* q = p + __builtin_ctz(bits);
            if (MatchesAt(q)) {
                return q;
            }
        }
    }
    if (p <= last) {
        if (last - first >= 15) {
            // One overlapping lane over the last 16 starts; drop the starts already tried.
            const char* q = last - 15;
            for (unsigned bits = candidates(q) >> (p - q); bits != 0; bits &= bits - 1) {
                const char* r = p + __builtin_ctz(bits);
                if (MatchesAt(r)) {
                    return r;
                }
            }
            return nullptr;
        }
        return FindScalar(p, end);
    }
    return nullptr;
}

// One lane of candidates: the two chosen needle bytes compared at 32 starts. A macro, not a
// lambda: a lambda would not inherit the target of the function it sits in.
#define SIFTON_LANE(q)                                                                                       \
    _mm256_and_si256(                                                                                        \
        _mm256_cmpeq_epi8(                                                                                   \
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>((q) + FOffset1)), m1), c1),  \
        _mm256_cmpeq_epi8(                                                                                   \
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>((q) + FOffset2)), m2), c2))

__attribute__((target("avx2"))) const char* LiteralFinder::FindAvx2(const char* p, const char* end) const
{
    const char* first = p;
    const char* last = end - FNeedle.size();
    const __m256i c1 = _mm256_set1_epi8(FNeedle[FOffset1]);
    const __m256i c2 = _mm256_set1_epi8(FNeedle[FOffset2]);
    const __m256i m1 = _mm256_set1_epi8(FMask[FOffset1]);
    const __m256i m2 = _mm256_set1_epi8(FMask[FOffset2]);
    auto verify = [&](const char* q, std::uint32_t bits) -> const char* {
        for (; bits != 0; bits &= bits - 1) {
            const char* r = q + __builtin_ctz(bits);
            if (MatchesAt(r)) {
                return r;
            }
        }
        return nullptr;
    };
    // Two lanes per step; most steps find no candidate and cost one test.
    for (; p + 63 <= last; p += 64) {
        _mm_prefetch(p + PrefetchAhead, _MM_HINT_T0);
        const __m256i a = SIFTON_LANE(p);
        const __m256i b = SIFTON_LANE(p + 32);
        if (!_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_or_si256(a, b))) {
            if (const char* r = verify(p, static_cast<std::uint32_t>(_mm256_movemask_epi8(a)))) {
                return r;
            }
            if (const char* r = verify(p + 32, static_cast<std::uint32_t>(_mm256_movemask_epi8(b)))) {
                return r;
            }
        }
    }
    for (; p + 31 <= last; p += 32) {
        if (const char* r = verify(p, static_cast<std::uint32_t>(_mm256_movemask_epi8(SIFTON_LANE(p))))) {
            return r;
        }
    }
    if (p <= last) {
        if (last - first >= 31) {
            const char* q = last - 31;
            const auto bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(SIFTON_LANE(q))) >> (p - q);
            return verify(p, bits);
        }
        return FindSse2(p, end);
    }
    return nullptr;
}

CountedFind LiteralFinder::FindCounting(const char* begin, const char* end, char term, char bad1, char bad2,
                                        std::size_t limit, const LiteralFinder* other) const
{
    if (FKernel == Kernel::Avx2 && !FNeedle.empty() && (other == nullptr || !other->Empty())) {
        return FindCountingAvx2(begin, end, term, bad1, bad2, limit, other);
    }
    return FindCountingComposed(begin, end, term, bad1, bad2, limit, other);
}

namespace {

/// FindCounting's answer once the first occurrence (hit, or nullptr) is known, from the plain functions.
CountedFind CountedUpTo(const char* begin, const char* end, const char* hit, char term, char bad1, char bad2,
                        std::size_t limit)
{
    const char* bad = FindEither(begin, hit != nullptr ? hit + 1 : end, bad1, bad2);
    const char* stop = bad != nullptr ? bad : hit != nullptr ? hit : end;
    const std::size_t terms = CountByte(begin, stop, term);
    if (terms >= limit) {
        const char* at = begin;
        for (std::size_t k = limit;; ++at) {
            if (*at == term && --k == 0) {
                return {CountedStop::Limit, at, limit - 1};
            }
        }
    }
    if (stop < end && *stop == term && terms + 1 >= limit) {
        return {CountedStop::Limit, stop, terms};
    }
    if (bad != nullptr) {
        return {CountedStop::Bad, bad, terms};
    }
    if (hit != nullptr) {
        return {CountedStop::Hit, hit, terms};
    }
    return {CountedStop::End, end, terms};
}

} // namespace

CountedFind LiteralFinder::FindCountingComposed(const char* begin, const char* end, char term, char bad1,
                                                char bad2, std::size_t limit,
                                                const LiteralFinder* other) const
{
    const char* hit = Find(begin, end);
    if (other != nullptr) {
        const char* second = other->Find(begin, hit != nullptr ? std::min(end, hit + other->Size()) : end);
        if (second != nullptr && (hit == nullptr || second < hit)) {
            hit = second;
        }
    }
    return CountedUpTo(begin, end, hit, term, bad1, bad2, limit);
}

CountedFind LiteralFinder::FindCountingAny(std::span<const LiteralFinder* const> needles, const char* begin,
                                           const char* end, char term, char bad1, char bad2,
                                           std::size_t limit)
{
    const bool avx2 = needles.size() <= MaxAny &&
                      std::all_of(needles.begin(), needles.end(),
                                  [](const auto* n) { return n->FKernel == Kernel::Avx2 && !n->Empty(); });
    return avx2 ? FindCountingAnyAvx2(needles, begin, end, term, bad1, bad2, limit)
                : FindCountingAnyComposed(needles, begin, end, term, bad1, bad2, limit);
}

CountedFind LiteralFinder::FindCountingAnyComposed(std::span<const LiteralFinder* const> needles,
                                                   const char* begin, const char* end, char term, char bad1,
                                                   char bad2, std::size_t limit)
{
    const char* hit = nullptr;
    for (const LiteralFinder* needle : needles) {
        // Only an occurrence before the one found so far matters.
        const char* at = needle->Find(begin, hit != nullptr ? std::min(end, hit + needle->Size()) : end);
        if (at != nullptr && (hit == nullptr || at < hit)) {
            hit = at;
        }
    }
    return CountedUpTo(begin, end, hit, term, bad1, bad2, limit);
}

namespace {

// Decides a block of up to 64 starts in which something may happen: the first bad byte, the first
// verified occurrence before it, the line end that reaches the limit; the earliest wins.
template <typename Verify>
__attribute__((target("popcnt,bmi"))) bool
ResolveBlock(const char* block, std::uint64_t terms, std::uint64_t bads, std::uint64_t candidates, int width,
             std::size_t& count, std::size_t limit, const Verify& verify, CountedFind& out)
{
    const int badAt = bads != 0 ? __builtin_ctzll(bads) : width;
    int hitAt = width;
    for (std::uint64_t c = candidates; c != 0; c &= c - 1) {
        const int at = __builtin_ctzll(c);
        if (at >= badAt) {
            break;
        }
        if (verify(block + at)) {
            hitAt = at;
            break;
        }
    }
    const auto inBlock = static_cast<std::size_t>(__builtin_popcountll(terms));
    int limitAt = width;
    if (count + inBlock >= limit) {
        std::uint64_t m = terms;
        for (std::size_t k = limit - count; k > 1; --k) {
            m &= m - 1;
        }
        limitAt = __builtin_ctzll(m);
    }
    const int first = std::min({badAt, hitAt, limitAt});
    if (first == width) {
        count += inBlock;
        return false;
    }
    const std::uint64_t below = first >= 64 ? terms : terms & ((std::uint64_t{1} << first) - 1);
    count += static_cast<std::size_t>(__builtin_popcountll(below));
    out.At = block + first;
    out.Terms = count;
    out.Stop = badAt <= hitAt && badAt <= limitAt ? CountedStop::Bad
               : limitAt <= hitAt                 ? CountedStop::Limit
                                                  : CountedStop::Hit;
    return true;
}

} // namespace

__attribute__((target("avx2,popcnt,bmi"))) CountedFind
LiteralFinder::FindCountingAvx2(const char* begin, const char* end, char term, char bad1, char bad2,
                                std::size_t limit, const LiteralFinder* other) const
{
    const std::size_t n = other != nullptr ? std::max(FNeedle.size(), other->Size()) : FNeedle.size();
    const __m256i c1 = _mm256_set1_epi8(FNeedle[FOffset1]);
    const __m256i c2 = _mm256_set1_epi8(FNeedle[FOffset2]);
    const __m256i m1 = _mm256_set1_epi8(FMask[FOffset1]);
    const __m256i m2 = _mm256_set1_epi8(FMask[FOffset2]);
    const __m256i vt = _mm256_set1_epi8(term);
    const __m256i vb1 = _mm256_set1_epi8(bad1);
    const __m256i vb2 = _mm256_set1_epi8(bad2);
    // The second needle's lane constants; with no second needle they repeat the first's.
    const LiteralFinder& o = other != nullptr ? *other : *this;
    const __m256i oc1 = _mm256_set1_epi8(o.FNeedle[o.FOffset1]);
    const __m256i oc2 = _mm256_set1_epi8(o.FNeedle[o.FOffset2]);
    const __m256i om1 = _mm256_set1_epi8(o.FMask[o.FOffset1]);
    const __m256i om2 = _mm256_set1_epi8(o.FMask[o.FOffset2]);
    auto otherLane = [&](const char* q) __attribute__((target("avx2")))
    {
        return _mm256_and_si256(
            _mm256_cmpeq_epi8(
                _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + o.FOffset1)), om1),
                oc1),
            _mm256_cmpeq_epi8(
                _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + o.FOffset2)), om2),
                oc2));
    };
    auto verify = [this, other](const char* p) {
        return MatchesAt(p) || (other != nullptr && other->MatchesAt(p));
    };
    CountedFind out;
    std::size_t count = 0;
    const char* b = begin;
    // 64 bytes a step: one test says whether anything at all happens in them.
    while (end - b >= static_cast<std::ptrdiff_t>(63 + n)) {
        // The hardware prefetcher stops at page edges; asking well ahead keeps the loads fed.
        _mm_prefetch(b + PrefetchAhead, _MM_HINT_T0);
        const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 32));
        __m256i cand0 = SIFTON_LANE(b);
        __m256i cand1 = SIFTON_LANE(b + 32);
        if (other != nullptr) {
            cand0 = _mm256_or_si256(cand0, otherLane(b));
            cand1 = _mm256_or_si256(cand1, otherLane(b + 32));
        }
        const __m256i bad0 = _mm256_or_si256(_mm256_cmpeq_epi8(v0, vb1), _mm256_cmpeq_epi8(v0, vb2));
        const __m256i bad1v = _mm256_or_si256(_mm256_cmpeq_epi8(v1, vb1), _mm256_cmpeq_epi8(v1, vb2));
        const std::uint64_t terms =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v0, vt))) |
            static_cast<std::uint64_t>(
                static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v1, vt))))
                << 32;
        const auto inBlock = static_cast<std::size_t>(__builtin_popcountll(terms));
        const __m256i any = _mm256_or_si256(_mm256_or_si256(cand0, cand1), _mm256_or_si256(bad0, bad1v));
        if (_mm256_testz_si256(any, any) && count + inBlock < limit) {
            count += inBlock;
            b += 64;
            continue;
        }
        const std::uint64_t bads =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(bad0)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(bad1v))) << 32;
        const std::uint64_t candidates =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(cand0)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(cand1))) << 32;
        if (ResolveBlock(b, terms, bads, candidates, 64, count, limit, verify, out)) {
            return out;
        }
        b += 64;
    }
    // The last bytes one at a time, in the same order of precedence.
    const char* last = end - FNeedle.size();
    const char* otherLast = other != nullptr ? end - other->Size() : nullptr;
    for (; b < end; ++b) {
        const char c = *b;
        if (c == bad1 || c == bad2) {
            return {CountedStop::Bad, b, count};
        }
        if (c == term && count + 1 >= limit) {
            return {CountedStop::Limit, b, count};
        }
        if ((b <= last && MatchesAt(b)) || (other != nullptr && b <= otherLast && other->MatchesAt(b))) {
            return {CountedStop::Hit, b, count};
        }
        count += c == term;
    }
    return {CountedStop::End, end, count};
}

template <std::size_t K, bool Folding>
__attribute__((target("avx2,popcnt,bmi"))) CountedFind
LiteralFinder::FindCountingSomeAvx2(std::span<const LiteralFinder* const> needles, const char* begin,
                                    const char* end, char term, char bad1, char bad2, std::size_t limit)
{
    // Each needle's two lane bytes, as in FindCountingAvx2; the lanes of all needles are joined. With K
    // known the loop over the needles unrolls and their constants stay in registers; without Folding no
    // needle has a letter to fold, and the masks are left out.
    const std::size_t k = K != 0 ? K : needles.size();
    __m256i c1[MaxAny];
    __m256i c2[MaxAny];
    __m256i m1[MaxAny];
    __m256i m2[MaxAny];
    std::size_t o1[MaxAny];
    std::size_t o2[MaxAny];
    std::size_t n = 0;
    for (std::size_t i = 0; i < k; ++i) {
        const LiteralFinder& f = *needles[i];
        c1[i] = _mm256_set1_epi8(f.FNeedle[f.FOffset1]);
        c2[i] = _mm256_set1_epi8(f.FNeedle[f.FOffset2]);
        m1[i] = _mm256_set1_epi8(f.FMask[f.FOffset1]);
        m2[i] = _mm256_set1_epi8(f.FMask[f.FOffset2]);
        o1[i] = f.FOffset1;
        o2[i] = f.FOffset2;
        n = std::max(n, f.Size());
    }
    const __m256i vt = _mm256_set1_epi8(term);
    const __m256i vb1 = _mm256_set1_epi8(bad1);
    const __m256i vb2 = _mm256_set1_epi8(bad2);
    auto lanes = [&](const char* q) __attribute__((target("avx2")))
    {
        __m256i any = _mm256_setzero_si256();
#pragma GCC unroll 16
        for (std::size_t i = 0; i < k; ++i) {
            const __m256i h1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + o1[i]));
            const __m256i h2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + o2[i]));
            const __m256i f1 = Folding ? _mm256_or_si256(h1, m1[i]) : h1;
            const __m256i f2 = Folding ? _mm256_or_si256(h2, m2[i]) : h2;
            any = _mm256_or_si256(
                any, _mm256_and_si256(_mm256_cmpeq_epi8(f1, c1[i]), _mm256_cmpeq_epi8(f2, c2[i])));
        }
        return any;
    };
    auto verify = [&](const char* p) {
        return std::any_of(needles.begin(), needles.end(),
                           [p](const LiteralFinder* f) { return f->MatchesAt(p); });
    };
    CountedFind out;
    std::size_t count = 0;
    const char* b = begin;
    while (end - b >= static_cast<std::ptrdiff_t>(63 + n)) {
        _mm_prefetch(b + PrefetchAhead, _MM_HINT_T0);
        const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 32));
        const __m256i cand0 = lanes(b);
        const __m256i cand1 = lanes(b + 32);
        const __m256i bad0 = _mm256_or_si256(_mm256_cmpeq_epi8(v0, vb1), _mm256_cmpeq_epi8(v0, vb2));
        const __m256i bad1v = _mm256_or_si256(_mm256_cmpeq_epi8(v1, vb1), _mm256_cmpeq_epi8(v1, vb2));
        const std::uint64_t terms =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v0, vt))) |
            static_cast<std::uint64_t>(
                static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v1, vt))))
                << 32;
        const auto inBlock = static_cast<std::size_t>(__builtin_popcountll(terms));
        const __m256i any = _mm256_or_si256(_mm256_or_si256(cand0, cand1), _mm256_or_si256(bad0, bad1v));
        if (_mm256_testz_si256(any, any) && count + inBlock < limit) {
            count += inBlock;
            b += 64;
            continue;
        }
        const std::uint64_t bads =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(bad0)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(bad1v))) << 32;
        const std::uint64_t candidates =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(cand0)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(cand1))) << 32;
        if (ResolveBlock(b, terms, bads, candidates, 64, count, limit, verify, out)) {
            return out;
        }
        b += 64;
    }
    // The last bytes one at a time, in the same order of precedence.
    for (; b < end; ++b) {
        const char c = *b;
        if (c == bad1 || c == bad2) {
            return {CountedStop::Bad, b, count};
        }
        if (c == term && count + 1 >= limit) {
            return {CountedStop::Limit, b, count};
        }
        const auto room = static_cast<std::size_t>(end - b);
        if (std::any_of(needles.begin(), needles.end(),
                        [b, room](const LiteralFinder* f) { return f->Size() <= room && f->MatchesAt(b); })) {
            return {CountedStop::Hit, b, count};
        }
        count += c == term;
    }
    return {CountedStop::End, end, count};
}

CountedFind LiteralFinder::FindCountingAnyAvx2(std::span<const LiteralFinder* const> needles,
                                               const char* begin, const char* end, char term, char bad1,
                                               char bad2, std::size_t limit)
{
    const bool folding = std::any_of(needles.begin(), needles.end(), [](const LiteralFinder* f) {
        return f->FMask[f->FOffset1] != 0 || f->FMask[f->FOffset2] != 0;
    });
    switch (needles.size() * 2 + (folding ? 1 : 0)) {
    case 6:
        return FindCountingSomeAvx2<3, false>(needles, begin, end, term, bad1, bad2, limit);
    case 7:
        return FindCountingSomeAvx2<3, true>(needles, begin, end, term, bad1, bad2, limit);
    case 8:
        return FindCountingSomeAvx2<4, false>(needles, begin, end, term, bad1, bad2, limit);
    case 9:
        return FindCountingSomeAvx2<4, true>(needles, begin, end, term, bad1, bad2, limit);
    default:
        return FindCountingSomeAvx2<0, true>(needles, begin, end, term, bad1, bad2, limit);
    }
}
