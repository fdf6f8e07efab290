#include "platform/com/Storage.h"
#include "tests/support/SharedChains.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const CLSID SomeClass{0x42BFA701, 0xEC57, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

void PutStream(IStorage* storage, const char* name, const std::vector<std::uint8_t>& bytes)
{
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream),
              S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
    EXPECT_EQ(written, bytes.size());
    stream->Release();
}

std::vector<std::uint8_t> GetStream(IStorage* storage, const char* name)
{
    IStream* stream = nullptr;
    std::vector<std::uint8_t> bytes;
    if (storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream) == S_OK) {
        ReadAllOfStream(stream, bytes);
        stream->Release();
    }
    return bytes;
}

// A storage with a class, two streams (one empty, one larger than a small block) and a sub-storage.
IStorage* SampleStorage()
{
    IStorage* root = nullptr;
    EXPECT_EQ(StgCreateMemoryStorage(&root), S_OK);
    WriteClassStg(root, SomeClass);
    PutStream(root, "CONTENTS", Bytes(std::string("\x05\0\0\0hello\0\0\0\0", 13)));
    PutStream(root, "Empty", {});
    std::vector<std::uint8_t> big(5000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    PutStream(root, "Big", big);
    IStorage* sub = nullptr;
    EXPECT_EQ(root->CreateStorage("Sub", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &sub),
              S_OK);
    WriteClassStg(sub, CLSID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}});
    PutStream(sub, "Inner", Bytes("inner bytes"));
    sub->Release();
    return root;
}

TEST(MemoryStorage, StreamsKeepWhatWasWrittenAndSeekFromEveryOrigin)
{
    IStorage* root = SampleStorage();
    EXPECT_EQ(GetStream(root, "CONTENTS"), Bytes(std::string("\x05\0\0\0hello\0\0\0\0", 13)));
    IStream* stream = nullptr;
    ASSERT_EQ(root->OpenStream("CONTENTS", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &stream), S_OK);
    std::uint64_t at = 0;
    EXPECT_EQ(stream->Seek(-4, STREAM_SEEK_END, &at), S_OK);
    EXPECT_EQ(at, 9u);
    EXPECT_EQ(stream->Seek(-5, STREAM_SEEK_CUR, &at), S_OK);
    EXPECT_EQ(at, 4u);
    EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, &at), STG_E_INVALIDFUNCTION);
    char text[5];
    ULONG read = 0;
    EXPECT_EQ(stream->Read(text, 5, &read), S_OK);
    EXPECT_EQ(std::string(text, read), "hello");
    stream->Release();
    root->Release();
}

TEST(MemoryStorage, AnOpenStreamCannotBeOpenedASecondTime)
{
    IStorage* root = SampleStorage();
    IStream* first = nullptr;
    IStream* second = nullptr;
    ASSERT_EQ(root->OpenStream("CONTENTS", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &first), S_OK);
    EXPECT_EQ(root->OpenStream("CONTENTS", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &second),
              STG_E_ACCESSDENIED);
    EXPECT_EQ(second, nullptr);
    first->Release();
    EXPECT_EQ(root->OpenStream("CONTENTS", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &second), S_OK);
    second->Release();
    root->Release();
}

TEST(MemoryStorage, FailuresAreResultCodes)
{
    IStorage* root = SampleStorage();
    IStream* stream = nullptr;
    EXPECT_EQ(root->OpenStream("Missing", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream),
              STG_E_FILENOTFOUND);
    EXPECT_EQ(root->OpenStream("Sub", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream),
              STG_E_FILENOTFOUND);
    EXPECT_EQ(root->CreateStream("CONTENTS", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream),
              STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(root->CreateStream("a name longer than thirty-one chars", STGM_CREATE | STGM_READWRITE, 0, 0,
                                 &stream),
              STG_E_INVALIDNAME);
    EXPECT_EQ(root->OpenStream("CONTENTS", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, nullptr),
              STG_E_INVALIDPOINTER);
    ASSERT_EQ(root->OpenStream("CONTENTS", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream), S_OK);
    ULONG written = 0;
    EXPECT_EQ(stream->Write("x", 1, &written), STG_E_ACCESSDENIED);
    stream->Release();
    root->Release();
}

TEST(CompoundFile, StorageRoundTripKeepsEveryStreamByteForByte)
{
    IStorage* root = SampleStorage();
    std::vector<std::uint8_t> file;
    ASSERT_EQ(SaveToCompoundFile(root, file), S_OK);
    // The compound-file signature.
    ASSERT_GE(file.size(), 512u);
    const std::vector<std::uint8_t> signature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));

    IStorage* loaded = nullptr;
    ASSERT_EQ(LoadFromCompoundFile(file.data(), file.size(), &loaded), S_OK);
    CLSID clsid;
    ASSERT_EQ(ReadClassStg(loaded, &clsid), S_OK);
    EXPECT_EQ(clsid, SomeClass);
    for (const char* name : {"CONTENTS", "Empty", "Big"}) {
        EXPECT_EQ(GetStream(loaded, name), GetStream(root, name)) << name;
    }
    IStorage* sub = nullptr;
    ASSERT_EQ(loaded->OpenStorage("Sub", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub), S_OK);
    EXPECT_EQ(GetStream(sub, "Inner"), Bytes("inner bytes"));
    ASSERT_EQ(ReadClassStg(sub, &clsid), S_OK);
    EXPECT_EQ(clsid, (CLSID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}));
    sub->Release();

    // Written again, the file is the same bytes.
    std::vector<std::uint8_t> again;
    ASSERT_EQ(SaveToCompoundFile(loaded, again), S_OK);
    EXPECT_EQ(again, file);
    loaded->Release();
    root->Release();
}

TEST(CompoundFile, DataThatIsNotACompoundFileIsRefused)
{
    IStorage* loaded = nullptr;
    const std::vector<std::uint8_t> junk(1024, 0x41);
    EXPECT_EQ(LoadFromCompoundFile(junk.data(), junk.size(), &loaded), STG_E_INVALIDHEADER);
    EXPECT_EQ(loaded, nullptr);
    EXPECT_EQ(LoadFromCompoundFile(nullptr, 0, &loaded), STG_E_INVALIDHEADER);
}

TEST(CompoundFile, EveryTruncationIsRefusedOrReadWithoutCrashing)
{
    IStorage* root = SampleStorage();
    std::vector<std::uint8_t> file;
    ASSERT_EQ(SaveToCompoundFile(root, file), S_OK);
    root->Release();
    for (std::size_t size = 1; size < file.size(); size += 97) {
        IStorage* loaded = nullptr;
        const HRESULT hr = LoadFromCompoundFile(file.data(), size, &loaded);
        if (SUCCEEDED(hr)) {
            loaded->Release();
        } else {
            EXPECT_EQ(loaded, nullptr);
        }
    }
}

// A root entry with siblings is no sound directory, and the library beneath would keep the entries
// they lead to for ever (the sanitizers' leak check finds them).
TEST(CompoundFile, ARootEntryWithSiblingsIsRefused)
{
    IStorage* root = SampleStorage();
    std::vector<std::uint8_t> file;
    ASSERT_EQ(SaveToCompoundFile(root, file), S_OK);
    root->Release();
    const std::size_t rootEntry = (std::size_t{file[0x30]} + 1) * 512;
    ASSERT_EQ(file[rootEntry], 'R') << "Root Entry";
    file[rootEntry + 72] = 1; // its right sibling: the first entry after it
    file[rootEntry + 73] = file[rootEntry + 74] = file[rootEntry + 75] = 0;
    IStorage* loaded = nullptr;
    EXPECT_EQ(LoadFromCompoundFile(file.data(), file.size(), &loaded), STG_E_INVALIDHEADER);
    EXPECT_EQ(loaded, nullptr);
    if (loaded != nullptr) {
        loaded->Release();
    }
}

// Many directory entries of a compound file may claim one chain of sectors: half a megabyte naming
// hundreds of megabytes of streams. Such a file is refused before it costs more than its budget. Peak
// memory is measured in a child process, whose high-water mark starts at the fork.
TEST(CompoundFile, EntriesSharingOneChainAreRefusedWithinTheBudget)
{
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&storage), S_OK);
    WriteClassStg(storage, SomeClass);
    const std::vector<std::uint8_t> file = SharedChainsFile(storage, 200 * 1024, 1000);
    storage->Release();
    ASSERT_FALSE(file.empty());
    ASSERT_LT(file.size(), 512u * 1024) << "a small file";

    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rusage before { };
        ::getrusage(RUSAGE_SELF, &before);
        IStorage* loaded = nullptr;
        const HRESULT hr = LoadFromCompoundFile(file.data(), file.size(), &loaded);
        if (loaded != nullptr) {
            loaded->Release();
        }
        struct rusage after { };
        ::getrusage(RUSAGE_SELF, &after);
        const long grewKb = after.ru_maxrss - before.ru_maxrss;
        const bool written = ::write(results[1], &hr, sizeof hr) == ssize_t(sizeof hr) &&
                             ::write(results[1], &grewKb, sizeof grewKb) == ssize_t(sizeof grewKb);
        ::_exit(written ? 0 : 1);
    }
    ::close(results[1]);
    HRESULT hr = S_OK;
    long grewKb = -1;
    const bool read = ::read(results[0], &hr, sizeof hr) == ssize_t(sizeof hr) &&
                      ::read(results[0], &grewKb, sizeof grewKb) == ssize_t(sizeof grewKb);
    ::close(results[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(read && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not report";
    EXPECT_EQ(hr, STG_E_INSUFFICIENTMEMORY);
    EXPECT_LT(grewKb, 32 * 1024) << "peak memory grew by " << grewKb << " KB loading " << file.size()
                                 << " bytes";
}

TEST(CompObj, UserTypeAndFormatComeBackAsWritten)
{
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&root), S_OK);
    WriteClassStg(root, SomeClass);
    const CLIPFORMAT format = RegisterClipboardFormat("Storage test format");
    ASSERT_EQ(WriteFmtUserTypeStg(root, format, "Application/Icon"), S_OK);
    CLIPFORMAT read = 0;
    std::string type;
    ASSERT_EQ(ReadFmtUserTypeStg(root, &read, &type), S_OK);
    EXPECT_EQ(read, format);
    EXPECT_EQ(type, "Application/Icon");
    root->Release();
}

TEST(Int32, IsWrittenLittleEndian)
{
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnBytes({}, &stream), S_OK);
    ASSERT_TRUE(WriteInt32(stream, 0x01020304));
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(ReadAllOfStream(stream, bytes), S_OK);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{4, 3, 2, 1}));
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(ReadInt32(stream), 0x01020304);
    EXPECT_EQ(ReadInt32(stream), std::nullopt);
    stream->Release();
}

} // namespace
