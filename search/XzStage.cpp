// The xz adapter over liblzma: concatenated streams and stream padding, as xz -d reads them.
#include "search/Decoders.h"

#include <cerrno>
#include <lzma.h>

namespace Decode {

namespace {

    // Enough for every preset of xz (-9 needs 65 MiB); a file that asks for more is refused rather
    // than allowed to take the machine's memory.
    constexpr std::uint64_t MemoryLimit = std::uint64_t{128} << 20;

    class XzStage final : public DecoderStage {
    public:
        XzStage(ByteSource& input, const FileInput& file)
            : DecoderStage(input, file)
        {
            if (lzma_stream_decoder(&FX, MemoryLimit, LZMA_CONCATENATED) != LZMA_OK) {
                FError = ENOMEM;
            }
        }
        ~XzStage() override { lzma_end(&FX); }
        XzStage(const XzStage&) = delete;
        XzStage& operator=(const XzStage&) = delete;

    protected:
        std::size_t Produce(char* out, std::size_t n) override
        {
            std::size_t done = 0;
            while (done < n && !FEnded && FError == 0) {
                if (FStalled && InSize() == 0 && !FInputEnded && !Pull(done)) {
                    if (FError != 0) {
                        break;
                    }
                    FInputEnded = true; // the decoder is told, and says whether the data is whole
                }
                FX.next_in = reinterpret_cast<const std::uint8_t*>(InBegin());
                FX.avail_in = InSize();
                FX.next_out = reinterpret_cast<std::uint8_t*>(out + done);
                FX.avail_out = n - done;
                const std::size_t room = FX.avail_out;
                const std::size_t given = FX.avail_in;
                const lzma_ret result = lzma_code(&FX, FInputEnded ? LZMA_FINISH : LZMA_RUN);
                Use(given - FX.avail_in);
                done += room - FX.avail_out;
                FStalled = FX.avail_out != 0;
                switch (result) {
                case LZMA_OK:
                    break;
                case LZMA_STREAM_END:
                    FEnded = true;
                    break;
                case LZMA_BUF_ERROR: // no progress: more input needed, and at the end none comes
                    if (FInputEnded) {
                        FError = DamagedData;
                    }
                    FStalled = true;
                    break;
                case LZMA_MEMLIMIT_ERROR:
                    FError = TooMuchMemory;
                    break;
                case LZMA_MEM_ERROR:
                    FError = ENOMEM;
                    break;
                default: // LZMA_FORMAT_ERROR, LZMA_OPTIONS_ERROR, LZMA_DATA_ERROR, ...
                    FError = DamagedData;
                    break;
                }
            }
            return done;
        }

    private:
        lzma_stream FX = LZMA_STREAM_INIT;
        bool FStalled = true;
        bool FInputEnded = false;
        bool FEnded = false;
    };

} // namespace

std::unique_ptr<DecoderStage> MakeXzStage(ByteSource& input, const FileInput& file)
{
    return std::make_unique<XzStage>(input, file);
}

} // namespace Decode
