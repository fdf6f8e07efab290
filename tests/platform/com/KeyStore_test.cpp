#include "platform/com/KeyStore.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Path(const TempDir& dir, const char* name)
{
    return (dir.Path() / name).string();
}

std::string Contents(const std::string& path)
{
    return TempDir::Read(path);
}

TEST(KeyStore, SavesRegedit4WithEscapedValues)
{
    TempDir dir;
    const std::string path = Path(dir, "sifton.reg");
    TKeyStore store(path);
    ASSERT_TRUE(store.Load());
    store.WriteDefault("CLSID\\{X}\\ProgID", "a \"quoted\" \\ value");
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(Contents(path), std::string("REGEDIT4\r\n"
                                          "\r\n[HKEY_CLASSES_ROOT\\CLSID]\r\n"
                                          "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{X}]\r\n"
                                          "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{X}\\ProgID]\r\n"
                                          "@=\"a \\\"quoted\\\" \\\\ value\"\r\n"));
    TKeyStore again(path);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.ReadDefault("clsid\\{x}\\progid"), "a \"quoted\" \\ value");
    EXPECT_TRUE(again.KeyExists("CLSID\\{X}"));
    EXPECT_EQ(again.ReadDefault("CLSID\\{X}"), std::nullopt);
    EXPECT_FALSE(again.Modified());
}

TEST(KeyStore, KeepsOtherValuesOfAKeyAndIgnoresOtherRoots)
{
    TempDir dir;
    const std::string path = Path(dir, "sifton.reg");
    dir.Write("sifton.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n@=\"machine\"\r\n"
                            "\r\n[HKEY_CLASSES_ROOT\\Thing]\r\n\"Name\"=\"kept\"\r\n@=\"old\"\r\n");
    TKeyStore store(path);
    ASSERT_TRUE(store.Load());
    EXPECT_FALSE(store.KeyExists("Software"));
    store.WriteDefault("Thing", "new");
    EXPECT_TRUE(store.Modified());
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(
        Contents(path),
        std::string("REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\Thing]\r\n@=\"new\"\r\n\"Name\"=\"kept\"\r\n"));
}

TEST(KeyStore, WritingTheSameValueChangesNothing)
{
    TempDir dir;
    TKeyStore store(Path(dir, "sifton.reg"));
    store.WriteDefault("Key", "value");
    ASSERT_TRUE(store.Save());
    store.WriteDefault("Key", "value");
    EXPECT_FALSE(store.Modified());
}

TEST(KeyStore, AFileOfAnotherKindIsNotRead)
{
    TempDir dir;
    const std::string path = Path(dir, "sifton.reg");
    dir.Write("sifton.reg", "[HKEY_CLASSES_ROOT\\Thing]\r\n@=\"x\"\r\n");
    TKeyStore store(path);
    EXPECT_FALSE(store.Load());
    EXPECT_FALSE(store.KeyExists("Thing"));
}

TEST(KeyStore, AForeignFileOrAFifoIsNeverWritten)
{
    TempDir dir;
    const std::string path = dir.Write("sifton.reg", "Windows Registry Editor Version 5.00\r\n");
    TKeyStore store(path);
    EXPECT_FALSE(store.Load());
    EXPECT_TRUE(store.Foreign());
    store.WriteDefault("Thing", "in memory");
    EXPECT_EQ(store.ReadDefault("Thing"), "in memory");
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(Contents(path), "Windows Registry Editor Version 5.00\r\n");

    const std::string fifo = Path(dir, "fifo.reg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TKeyStore pipe(fifo);
    // Should the load wait in open() for a writer after all, one comes after a while.
    std::atomic<bool> loaded{false};
    std::thread writer([&] {
        for (int i = 0; i < 300 && !loaded; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        while (!loaded) {
            if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    EXPECT_FALSE(pipe.Load());
    loaded = true;
    writer.join();
    pipe.WriteDefault("Thing", "x");
    EXPECT_FALSE(pipe.Save());
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST(KeyStore, SaveIntoAMissingFolderFails)
{
    TempDir dir;
    TKeyStore store(Path(dir, "missing/sifton.reg"));
    store.WriteDefault("Key", "value");
    EXPECT_FALSE(store.Save());
    EXPECT_TRUE(store.Modified());
}

TEST(OleRegGetUserType, ReadsTheClassKeysDefaultValue)
{
    TempDir dir;
    SetClassesRootFile(Path(dir, "sifton.reg"));
    const CLSID clsid{0x7CA25402, 0x0ACB, 0x11CA, {0x55, 0xC0, 0x13, 0x76, 0x83, 0x19, 0x40, 0x00}};
    std::string type = "before";
    EXPECT_EQ(OleRegGetUserType(clsid, USERCLASSTYPE_FULL, &type), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(type, "");
    ClassesRoot().WriteDefault("CLSID\\{7CA25402-0ACB-11CA-55C0-137683194000}", "Application/File Link");
    ClassesRoot().WriteDefault("CLSID\\{7CA25402-0ACB-11CA-55C0-137683194000}\\ProgID", "P");
    EXPECT_EQ(OleRegGetUserType(clsid, USERCLASSTYPE_FULL, &type), S_OK);
    EXPECT_EQ(type, "Application/File Link");
    EXPECT_EQ(ProgIDFromCLSID(clsid), "P");
}

} // namespace
