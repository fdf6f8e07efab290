#pragma once

// Structured storage held in memory: a tree of named streams and sub-storages, each storage with a
// class identifier, and its conversion to and from the compound-file format that embedded objects
// travel in (RTF object data, the clipboard's "Embedded Object").

#include "platform/com/Com.h"

#include <cstdint>
#include <string>
#include <vector>

/// A new, empty in-memory storage (read-write, count 1). E_OUTOFMEMORY when it cannot be made.
HRESULT StgCreateMemoryStorage(IStorage** ppstg);
/// A stream over a copy of the bytes, not part of any storage (read-write, position 0).
HRESULT CreateStreamOnBytes(const std::vector<std::uint8_t>& bytes, IStream** ppstm);

/// The whole content of a stream from its start; the stream's position is left at its end.
HRESULT ReadAllOfStream(IStream* stream, std::vector<std::uint8_t>& bytes);

/// Writes the storage (one of this layer's in-memory storages) as a compound file.
HRESULT SaveToCompoundFile(IStorage* storage, std::vector<std::uint8_t>& bytes);
/// Reads a compound file into a new in-memory storage; STG_E_INVALIDHEADER when it is not one.
HRESULT LoadFromCompoundFile(const std::uint8_t* data, std::size_t size, IStorage** ppstg);

HRESULT WriteClassStg(IStorage* pStg, const CLSID& rclsid);
HRESULT ReadClassStg(IStorage* pStg, CLSID* pclsid);
/// Writes the "\1CompObj" stream: the user type, the clipboard format and the class's ProgID.
HRESULT WriteFmtUserTypeStg(IStorage* pstg, CLIPFORMAT cf, const std::string& userType);
HRESULT ReadFmtUserTypeStg(IStorage* pstg, CLIPFORMAT* pcf, std::string* userType);

/// Saves an object into a storage: its class identifier, then IPersistStorage::Save.
HRESULT OleSave(IPersistStorage* pPS, IStorage* pStg, bool fSameAsLoad);
/// Makes the object a storage holds through its registered class and loads it; asks it for riid.
HRESULT OleLoad(IStorage* pStg, const IID& riid, IOleClientSite* pClientSite, void** ppvObj);

/// Writes a 32-bit little-endian integer into a stream; false when not all bytes were written.
bool WriteInt32(IStream* stream, std::int32_t value);
/// Reads a 32-bit little-endian integer; nothing when the stream ends first.
std::optional<std::int32_t> ReadInt32(IStream* stream);
