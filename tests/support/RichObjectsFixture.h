#pragma once

#include "controls/objects/RichObjects.h"
#include "platform/com/KeyStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

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
