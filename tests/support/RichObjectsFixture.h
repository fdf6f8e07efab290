#pragma once

#include "controls/objects/QvOle.h"
#include "controls/objects/RichObjects.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"

#include <QTemporaryDir>

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

/// The program's start-up registration of its embedded objects, with the class keys in a folder of
/// the test's own (sifton.reg there); revoked at the end of the test.
class RichObjectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        SetClassesRootFile(FDir.filePath("sifton.reg").toStdString());
        RegisterRichObjects();
    }
    void TearDown() override { RevokeRichObjects(); }

    QTemporaryDir FDir;
};

/// The bytes an object saved into storage's "CONTENTS" stream; none when there is no such stream.
inline std::vector<std::uint8_t> ContentsOf(IStorage* storage)
{
    IStream* stream = nullptr;
    std::vector<std::uint8_t> bytes;
    if (SUCCEEDED(
            storage->OpenStream(ContentsStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) {
        ReadAllOfStream(stream, bytes);
        stream->Release();
    }
    return bytes;
}
