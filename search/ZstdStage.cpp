// The zstd adapter over libzstd: frame after frame (skippable frames included), as zstd -d reads them.
#include "search/Decoders.h"

#include <cerrno>
#include <zstd.h>
#include <zstd_errors.h>

namespace Decode {

namespace {

    // zstd's own default limit (128 MiB windows); a frame that needs more is refused, as zstd -d does
    // without --memory.
    constexpr int WindowLogMax = 27;

    class ZstdStage final : public DecoderStage {
    public:
        ZstdStage(ByteSource& input, const FileInput& file)
            : DecoderStage(input, file)
            , FD(ZSTD_createDCtx())
        {
            if (FD == nullptr ||
                ZSTD_isError(ZSTD_DCtx_setParameter(FD, ZSTD_d_windowLogMax, WindowLogMax))) {
                FError = ENOMEM;
            }
        }
        ~ZstdStage() override { ZSTD_freeDCtx(FD); }
        ZstdStage(const ZstdStage&) = delete;
        ZstdStage& operator=(const ZstdStage&) = delete;

    protected:
        std::size_t Produce(char* out, std::size_t n) override
        {
            std::size_t done = 0;
            while (done < n && !FEnded && FError == 0) {
                // A finished frame is flushed whole; asked again without input, the decoder would
                // take it for the start of the next frame.
                if ((FStalled || FFrameDone) && InSize() == 0 && !Pull(done)) {
                    if (FError == 0 && FFrameDone) {
                        FEnded = true;
                    } else if (FError == 0) {
                        FError = DamagedData; // the file ends inside a frame
                    }
                    break;
                }
                ZSTD_inBuffer in{InBegin(), InSize(), 0};
                ZSTD_outBuffer output{out + done, n - done, 0};
                const std::size_t result = ZSTD_decompressStream(FD, &output, &in);
                Use(in.pos);
                done += output.pos;
                FStalled = output.pos < output.size;
                if (ZSTD_isError(result)) {
                    const ZSTD_ErrorCode code = ZSTD_getErrorCode(result);
                    FError = code == ZSTD_error_frameParameter_windowTooLarge ? TooMuchMemory
                             : code == ZSTD_error_memory_allocation           ? ENOMEM
                                                                              : DamagedData;
                    break;
                }
                FFrameDone = result == 0;
            }
            return done;
        }

    private:
        ZSTD_DCtx* FD;
        bool FStalled = true;
        bool FFrameDone = false; // the last frame is whole: the data may end here
        bool FEnded = false;
    };

} // namespace

std::unique_ptr<DecoderStage> MakeZstdStage(ByteSource& input, const FileInput& file)
{
    return std::make_unique<ZstdStage>(input, file);
}

} // namespace Decode
