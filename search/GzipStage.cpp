// The gzip adapter over zlib: one member after another, as gzip -d reads them.
#include "search/Decoders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <zlib.h>

namespace Decode {

namespace {

    class GzipStage final : public DecoderStage {
    public:
        GzipStage(ByteSource& input, const FileInput& file)
            : DecoderStage(input, file)
        {
            // 16 + 15: a gzip header and trailer around a deflate stream with the largest window.
            if (inflateInit2(&FZ, 16 + MAX_WBITS) != Z_OK) {
                FError = ENOMEM;
            }
        }
        ~GzipStage() override { inflateEnd(&FZ); }
        GzipStage(const GzipStage&) = delete;
        GzipStage& operator=(const GzipStage&) = delete;

    protected:
        std::size_t Produce(char* out, std::size_t n) override
        {
            std::size_t done = 0;
            while (done < n && !FEnded && FError == 0) {
                if (FBetween && !NextMember(done)) {
                    break;
                }
                if (FStalled && InSize() == 0 && !Pull(done)) {
                    if (FError == 0) {
                        FError = DamagedData; // the file ends inside a member
                    }
                    break;
                }
                FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(InBegin()));
                FZ.avail_in = static_cast<uInt>(std::min<std::size_t>(InSize(), UINT_MAX));
                FZ.next_out = reinterpret_cast<Bytef*>(out + done);
                FZ.avail_out = static_cast<uInt>(std::min<std::size_t>(n - done, UINT_MAX));
                const uInt room = FZ.avail_out;
                const uInt given = FZ.avail_in;
                const int result = inflate(&FZ, Z_NO_FLUSH);
                Use(given - FZ.avail_in);
                done += room - FZ.avail_out;
                // Input is taken only once the output is no longer the limit: see DecoderStage.
                FStalled = FZ.avail_out != 0;
                switch (result) {
                case Z_OK:
                    break;
                case Z_STREAM_END:
                    FBetween = true;
                    break;
                case Z_BUF_ERROR: // no progress without more input
                    if (InSize() != 0) {
                        FError = DamagedData;
                    }
                    FStalled = true;
                    break;
                case Z_MEM_ERROR:
                    FError = ENOMEM;
                    break;
                default: // Z_DATA_ERROR, Z_NEED_DICT, Z_STREAM_ERROR
                    FError = DamagedData;
                    break;
                }
            }
            return done;
        }

    private:
        /// After a member: the end of the file, zero bytes up to it (the padding gzip -d ignores too),
        /// or the next member. False when decoding stops here.
        bool NextMember(std::size_t done)
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
            if (inflateReset(&FZ) != Z_OK) {
                FError = DamagedData;
                return false;
            }
            return true;
        }

        z_stream FZ{};
        bool FStalled = true; // the last call had room left: it needs input to go on
        bool FBetween = false; // a member has ended
        bool FEnded = false;
    };

} // namespace

std::unique_ptr<DecoderStage> MakeGzipStage(ByteSource& input, const FileInput& file)
{
    return std::make_unique<GzipStage>(input, file);
}

} // namespace Decode
