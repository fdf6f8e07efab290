// The bzip2 adapter over libbz2: one stream after another, as bzip2 -d reads them (pbzip2 and
// lbzip2 write several).
#include "search/Decoders.h"

#include <algorithm>
#include <bzlib.h>
#include <cerrno>
#include <climits>

namespace Decode {

namespace {

    class Bzip2Stage final : public DecoderStage {
    public:
        Bzip2Stage(ByteSource& input, const FileInput& file)
            : DecoderStage(input, file)
        {
            Start();
        }
        ~Bzip2Stage() override { End(); }
        Bzip2Stage(const Bzip2Stage&) = delete;
        Bzip2Stage& operator=(const Bzip2Stage&) = delete;

    protected:
        std::size_t Produce(char* out, std::size_t n) override
        {
            std::size_t done = 0;
            while (done < n && !FEnded && FError == 0) {
                if (FBetween && !NextStream(done)) {
                    break;
                }
                if (FStalled && InSize() == 0 && !Pull(done)) {
                    if (FError == 0) {
                        FError = DamagedData; // the file ends inside a stream
                    }
                    break;
                }
                FB.next_in = const_cast<char*>(InBegin());
                FB.avail_in = static_cast<unsigned>(std::min<std::size_t>(InSize(), UINT_MAX));
                FB.next_out = out + done;
                FB.avail_out = static_cast<unsigned>(std::min<std::size_t>(n - done, UINT_MAX));
                const unsigned room = FB.avail_out;
                const unsigned given = FB.avail_in;
                const int result = BZ2_bzDecompress(&FB);
                Use(given - FB.avail_in);
                done += room - FB.avail_out;
                FStalled = FB.avail_out != 0;
                switch (result) {
                case BZ_OK:
                    break;
                case BZ_STREAM_END:
                    FBetween = true;
                    break;
                case BZ_MEM_ERROR:
                    FError = ENOMEM;
                    break;
                default: // BZ_DATA_ERROR, BZ_DATA_ERROR_MAGIC, BZ_PARAM_ERROR
                    FError = DamagedData;
                    break;
                }
            }
            return done;
        }

    private:
        void Start()
        {
            FB = bz_stream{};
            const int result = BZ2_bzDecompressInit(&FB, 0, 0);
            FStarted = result == BZ_OK;
            if (!FStarted) {
                FError = result == BZ_MEM_ERROR ? ENOMEM : DamagedData;
            }
        }

        void End()
        {
            if (FStarted) {
                BZ2_bzDecompressEnd(&FB);
            }
            FStarted = false;
        }

        /// After a stream: the end of the file, zero bytes up to it, or the next stream.
        bool NextStream(std::size_t done)
        {
            for (;;) {
                const char* p = InBegin();
                std::size_t zeros = 0;
                while (zeros < InSize() && p[zeros] == 0) {
                    ++zeros;
                }
                Use(zeros);
                if (InSize() != 0) {
                    break;
                }
                if (!Pull(done)) {
                    FEnded = FError == 0;
                    return false;
                }
            }
            FBetween = false;
            FStalled = true;
            End();
            Start();
            return FError == 0;
        }

        bz_stream FB{};
        bool FStarted = false;
        bool FStalled = true;
        bool FBetween = false;
        bool FEnded = false;
    };

} // namespace

std::unique_ptr<DecoderStage> MakeBzip2Stage(ByteSource& input, const FileInput& file)
{
    return std::make_unique<Bzip2Stage>(input, file);
}

} // namespace Decode
