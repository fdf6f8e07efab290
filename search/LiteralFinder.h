#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

/// Where LiteralFinder::FindCounting stopped.
enum class CountedStop {
    Hit, ///< an occurrence starts at At
    Limit, ///< At is the line end that brings the count to the limit (no occurrence starts before it)
    Bad, ///< At is the first bad byte (no occurrence starts before it, the limit was not reached)
    End, ///< none of these before the end
};

/// The result of one FindCounting call.
struct CountedFind {
    CountedStop Stop = CountedStop::End;
    const char* At = nullptr;
    std::size_t Terms = 0; ///< line ends in [begin, At)
};

/// Finds one byte string in a buffer with explicit SIMD kernels (AVX2 or SSE2, chosen at run time).
/// With folding, the needle is expected folded (a..z already turned to A..Z) and a..z in the
/// buffer compare equal to A..Z; no other byte folds. The buffer itself is never copied or changed.
class LiteralFinder {
public:
    enum class Kernel { Auto, Scalar, Sse2, Avx2 };

    LiteralFinder() = default;
    LiteralFinder(std::string_view needle, bool fold, Kernel kernel = Kernel::Auto);

    /// First occurrence in [begin, end), or nullptr. An empty needle is found nowhere.
    const char* Find(const char* begin, const char* end) const;

    /// True when the needle occurs in [begin, end).
    bool In(const char* begin, const char* end) const { return Find(begin, end) != nullptr; }

    /// One pass that finds the first occurrence while counting line ends (bytes equal to term) and
    /// watching for bad bytes (bad1, bad2): stops at whichever of the occurrence, the limit-th line
    /// end or the first bad byte comes first (a bad byte wins a tie, then the line end).
    /// With other, an occurrence of either needle counts (the earlier one); both must be non-empty.
    CountedFind FindCounting(const char* begin, const char* end, char term, char bad1, char bad2,
                             std::size_t limit, const LiteralFinder* other = nullptr) const;

    /// The same result from the plain search and count functions (the reference for the fused kernel).
    CountedFind FindCountingComposed(const char* begin, const char* end, char term, char bad1, char bad2,
                                     std::size_t limit, const LiteralFinder* other = nullptr) const;

    /// Needles FindCountingAny takes at most.
    static constexpr std::size_t MaxAny = 16;

    /// FindCounting for an occurrence of any of several needles (1 to MaxAny, none empty): the earliest.
    static CountedFind FindCountingAny(std::span<const LiteralFinder* const> needles, const char* begin,
                                       const char* end, char term, char bad1, char bad2, std::size_t limit);

    /// The same result from the plain search and count functions.
    static CountedFind FindCountingAnyComposed(std::span<const LiteralFinder* const> needles,
                                               const char* begin, const char* end, char term, char bad1,
                                               char bad2, std::size_t limit);

    /// Whether the needle, compared under this finder's folding, starts at p (p + Size() readable).
    bool MatchesAt(const char* p) const;

    std::size_t Size() const { return FNeedle.size(); }
    bool Empty() const { return FNeedle.empty(); }
    Kernel UsedKernel() const { return FKernel; }

    /// The best kernel this processor offers.
    static Kernel BestKernel();

    /// How common a byte is in log-like and prose text, as the finder ranks it (higher is more common).
    static int ByteRank(unsigned char c);

private:
    const char* FindScalar(const char* p, const char* end) const;
    const char* FindSse2(const char* p, const char* end) const;
    const char* FindAvx2(const char* p, const char* end) const;
    CountedFind FindCountingAvx2(const char* begin, const char* end, char term, char bad1, char bad2,
                                 std::size_t limit, const LiteralFinder* other) const;
    static CountedFind FindCountingAnyAvx2(std::span<const LiteralFinder* const> needles, const char* begin,
                                           const char* end, char term, char bad1, char bad2,
                                           std::size_t limit);
    template <std::size_t K, bool Folding>
    static CountedFind FindCountingSomeAvx2(std::span<const LiteralFinder* const> needles, const char* begin,
                                            const char* end, char term, char bad1, char bad2,
                                            std::size_t limit);

    std::string FNeedle; // needle with letters OR 0x20 where folding applies
    std::string FMask; // 0x20 at folded letter positions, else 0
    std::size_t FOffset1 = 0; // the two bytes compared in the lanes
    std::size_t FOffset2 = 0;
    Kernel FKernel = Kernel::Scalar;
};
