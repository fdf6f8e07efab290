#pragma once

// The in-memory storage as plain data, for the compound-file converter (which alone uses libgsf).

#include "platform/com/Com.h"

#include <string>
#include <vector>

struct TStorageEntry {
    std::string Name;
    bool IsStorage = false;
    CLSID Class; ///< storages only
    DWORD StateBits = 0; ///< storages only
    std::vector<std::uint8_t> Bytes; ///< streams only
    std::vector<TStorageEntry> Children; ///< storages only, in name order
};

/// A copy of an in-memory storage's tree (streams held open are copied as they are).
HRESULT SnapshotStorage(IStorage* storage, TStorageEntry& root);
/// A new in-memory storage holding the tree, whose streams' bytes it takes over.
HRESULT StorageFromSnapshot(TStorageEntry&& root, IStorage** ppstg);
