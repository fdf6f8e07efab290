// UTF-16 text (either byte order) turned into UTF-8 for the line reader. Every code unit outside a
// surrogate pair gives its character; a surrogate without its other half, and an odd last byte, give
// U+FFFD, so that no byte of the file is silently lost.
#include "search/Decoders.h"

#include <algorithm>
#include <cstring>

namespace Decode {

namespace {

    constexpr char32_t Replacement = 0xFFFD;

    /// The UTF-8 form of c into out (room for 4); gives its length.
    std::size_t EncodeUtf8(char32_t c, char* out)
    {
        if (c < 0x80) {
            out[0] = static_cast<char>(c);
            return 1;
        }
        if (c < 0x800) {
            out[0] = static_cast<char>(0xC0 | (c >> 6));
            out[1] = static_cast<char>(0x80 | (c & 0x3F));
            return 2;
        }
        if (c < 0x10000) {
            out[0] = static_cast<char>(0xE0 | (c >> 12));
            out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[2] = static_cast<char>(0x80 | (c & 0x3F));
            return 3;
        }
        out[0] = static_cast<char>(0xF0 | (c >> 18));
        out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (c & 0x3F));
        return 4;
    }

    class Utf16Stage final : public DecoderStage {
    public:
        Utf16Stage(ByteSource& input, const FileInput& file, bool bigEndian, std::size_t skip)
            : DecoderStage(input, file)
            , FBigEndian(bigEndian)
            , FSkip(skip)
        {
        }

    protected:
        std::size_t Produce(char* out, std::size_t n) override
        {
            std::size_t done = 0;
            while (done < n) {
                if (FHeld != FHeldEnd) {
                    // The rest of a character that did not fit last time.
                    const std::size_t k = std::min(n - done, FHeldEnd - FHeld);
                    std::memcpy(out + done, FHeldBytes + FHeld, k);
                    FHeld += k;
                    done += k;
                    continue;
                }
                if (FEnded || FError != 0) {
                    break;
                }
                done += Convert(out + done, n - done);
                if (done < n && !MoreInput(done)) {
                    FinishInput();
                }
            }
            return done;
        }

    private:
        char16_t Unit(const char* p) const
        {
            const auto a = static_cast<unsigned char>(p[0]);
            const auto b = static_cast<unsigned char>(p[1]);
            return static_cast<char16_t>(FBigEndian ? (a << 8) | b : (b << 8) | a);
        }

        /// Converts what the input in hand holds into out until either runs short; a character that
        /// does not fit whole is kept for the next call.
        std::size_t Convert(char* out, std::size_t n)
        {
            if (FSkip != 0) {
                const std::size_t k = std::min(FSkip, InSize());
                Use(k);
                FSkip -= k;
                if (FSkip != 0) {
                    return 0;
                }
            }
            std::size_t done = 0;
            const char* p = InBegin();
            const char* end = p + InSize();
            while (done < n && end - p >= 2) {
                const char16_t u = Unit(p);
                if (u < 0x80 && n - done >= 1) {
                    out[done++] = static_cast<char>(u);
                    p += 2;
                    continue;
                }
                char32_t c = u;
                std::size_t used = 2;
                if (u >= 0xD800 && u < 0xDC00) {
                    if (end - p < 4) {
                        break; // its other half may be in the next chunk
                    }
                    const char16_t low = Unit(p + 2);
                    if (low >= 0xDC00 && low < 0xE000) {
                        c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
                        used = 4;
                    } else {
                        c = Replacement;
                    }
                } else if (u >= 0xDC00 && u < 0xE000) {
                    c = Replacement;
                }
                done += Put(c, out + done, n - done);
                p += used;
            }
            Use(static_cast<std::size_t>(p - InBegin()));
            return done;
        }

        /// Writes c into out as far as room allows; the rest waits in FHeldBytes.
        std::size_t Put(char32_t c, char* out, std::size_t room)
        {
            char bytes[4];
            const std::size_t size = EncodeUtf8(c, bytes);
            const std::size_t k = std::min(size, room);
            std::memcpy(out, bytes, k);
            std::memcpy(FHeldBytes, bytes + k, size - k);
            FHeld = 0;
            FHeldEnd = size - k;
            return k;
        }

        /// Takes the next chunk once the input in hand cannot make another character.
        bool MoreInput(std::size_t done)
        {
            if (FHeld != FHeldEnd) {
                return true;
            }
            if (FInputEnded) {
                return false;
            }
            if (!Pull(done)) {
                FInputEnded = true;
                return FError != 0; // a failed read ends the text where it stands
            }
            return true;
        }

        /// The input has ended: what is left of it cannot be a whole character.
        void FinishInput()
        {
            if (FError != 0 || FEnded) {
                return;
            }
            if (InSize() != 0) {
                // A high surrogate without its other half, or an odd last byte: each one character.
                Use(std::min<std::size_t>(InSize(), 2));
                FHeldEnd = EncodeUtf8(Replacement, FHeldBytes);
                FHeld = 0;
                return;
            }
            FEnded = true;
        }

        bool FBigEndian;
        std::size_t FSkip;
        char FHeldBytes[4] = {};
        std::size_t FHeld = 0;
        std::size_t FHeldEnd = 0;
        bool FInputEnded = false;
        bool FEnded = false;
    };

} // namespace

std::unique_ptr<DecoderStage> MakeUtf16Stage(ByteSource& input, const FileInput& file, bool bigEndian,
                                             std::size_t skip)
{
    return std::make_unique<Utf16Stage>(input, file, bigEndian, skip);
}

} // namespace Decode
