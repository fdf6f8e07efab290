#include "platform/com/Storage.h"
#include "platform/com/StorageTree.h"

#include <algorithm>
#include <cstdint>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace {

// Nesting and element counts a compound file may claim; a damaged file never makes us recurse
// without bound.
constexpr int MaxDepth = 32;
constexpr int MaxElements = 4096;
// What the streams of one file may come to in all. Each stream lies in the file, but many directory
// entries may claim the same chain of sectors, so a file of half a megabyte can name gigabytes: a
// real file's streams come to less than its size, and a file that claims more than this is refused.
constexpr std::int64_t StreamBudgetPerByte = 16;
constexpr std::int64_t MaxStreamBudget = std::int64_t{64} << 20;

struct TReadLimits {
    int Elements = 0;
    std::int64_t BytesLeft = 0; // of the budget
    bool OverBudget = false;
};

void InitGsf()
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

struct TUnref {
    void operator()(gpointer object) const
    {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};

bool WriteEntry(GsfOutfile* parent, const TStorageEntry& entry)
{
    GsfOutput* child = gsf_outfile_new_child(parent, entry.Name.c_str(), entry.IsStorage);
    if (child == nullptr) {
        return false;
    }
    bool ok = true;
    if (entry.IsStorage) {
        const auto bytes = GuidToBytes(entry.Class);
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(child), bytes.data());
        for (const TStorageEntry& grandChild : entry.Children) {
            ok = ok && WriteEntry(GSF_OUTFILE(child), grandChild);
        }
    } else if (!entry.Bytes.empty()) {
        ok = gsf_output_write(child, entry.Bytes.size(), entry.Bytes.data());
    }
    ok = gsf_output_close(child) && ok;
    g_object_unref(child);
    return ok;
}

bool ReadEntry(GsfInfile* storage, TStorageEntry& entry, int depth, TReadLimits& limits, gsf_off_t fileSize)
{
    entry.IsStorage = true;
    guint8 classBytes[16];
    if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(storage), classBytes)) {
        entry.Class = GuidFromBytes(classBytes);
    }
    const int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        if (++limits.Elements > MaxElements) {
            return false;
        }
        const char* name = gsf_infile_name_by_index(storage, i);
        std::unique_ptr<GsfInput, TUnref> child(gsf_infile_child_by_index(storage, i));
        if (name == nullptr || child == nullptr) {
            return false;
        }
        TStorageEntry childEntry;
        childEntry.Name = name;
        if (gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            if (depth >= MaxDepth ||
                !ReadEntry(GSF_INFILE(child.get()), childEntry, depth + 1, limits, fileSize)) {
                return false;
            }
        } else {
            const gsf_off_t size = gsf_input_size(child.get());
            // Every byte of a stream lies in the file, so a larger size is a damaged directory.
            if (size < 0 || size > fileSize) {
                return false;
            }
            if (size > limits.BytesLeft) {
                limits.OverBudget = true;
                return false;
            }
            limits.BytesLeft -= size;
            childEntry.Bytes.resize(static_cast<std::size_t>(size));
            if (size > 0 &&
                gsf_input_read(child.get(), static_cast<size_t>(size), childEntry.Bytes.data()) == nullptr) {
                return false;
            }
        }
        entry.Children.push_back(std::move(childEntry));
    }
    return true;
}

std::uint32_t Int32At(const std::uint8_t* data)
{
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

// libgsf makes an entry for each sibling of the root entry and, having no parent to hand it to, never
// frees it. A sound file's root entry has no siblings (it is alone at the top of the tree).
bool RootEntryHasSiblings(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t HeaderSize = 512;
    constexpr std::uint32_t NoStream = 0xFFFFFFFF;
    if (size < HeaderSize) {
        return false; // refused as a header anyway
    }
    const unsigned shift = static_cast<unsigned>(data[0x1E]) | static_cast<unsigned>(data[0x1F]) << 8;
    if (shift != 9 && shift != 12) {
        return false;
    }
    const std::uint64_t root = (static_cast<std::uint64_t>(Int32At(data + 0x30)) + 1) << shift;
    if (root + 128 > size) {
        return false;
    }
    return Int32At(data + root + 68) != NoStream || Int32At(data + root + 72) != NoStream;
}

} // namespace

HRESULT SaveToCompoundFile(IStorage* storage, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    TStorageEntry root;
    HRESULT hr = SnapshotStorage(storage, root);
    if (FAILED(hr)) {
        return hr;
    }
    InitGsf();
    try {
        std::unique_ptr<GsfOutput, TUnref> memory(gsf_output_memory_new());
        if (memory == nullptr) {
            return E_OUTOFMEMORY;
        }
        GsfOutfile* file = gsf_outfile_msole_new(memory.get());
        if (file == nullptr) {
            return STG_E_WRITEFAULT;
        }
        const auto classBytes = GuidToBytes(root.Class);
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(file), classBytes.data());
        bool ok = true;
        for (const TStorageEntry& child : root.Children) {
            ok = ok && WriteEntry(file, child);
        }
        ok = gsf_output_close(GSF_OUTPUT(file)) && ok;
        g_object_unref(file);
        if (!ok) {
            return STG_E_WRITEFAULT;
        }
        const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get()));
        const gsf_off_t size = gsf_output_size(memory.get());
        if (data == nullptr || size <= 0) {
            return STG_E_WRITEFAULT;
        }
        bytes.assign(data, data + size);
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT LoadFromCompoundFile(const std::uint8_t* data, std::size_t size, IStorage** ppstg)
{
    if (ppstg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    *ppstg = nullptr;
    if (data == nullptr || size == 0 || RootEntryHasSiblings(data, size)) {
        return STG_E_INVALIDHEADER;
    }
    InitGsf();
    TStorageEntry root;
    try {
        std::unique_ptr<GsfInput, TUnref> input(
            gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE));
        if (input == nullptr) {
            return E_OUTOFMEMORY;
        }
        GError* error = nullptr;
        std::unique_ptr<GsfInfile, TUnref> file(gsf_infile_msole_new(input.get(), &error));
        if (error != nullptr) {
            g_error_free(error);
        }
        if (file == nullptr) {
            return STG_E_INVALIDHEADER;
        }
        TReadLimits limits;
        limits.BytesLeft = std::min(static_cast<std::int64_t>(size) * StreamBudgetPerByte, MaxStreamBudget);
        root.Name = "Root Entry";
        if (!ReadEntry(file.get(), root, 0, limits, static_cast<gsf_off_t>(size))) {
            return limits.OverBudget ? STG_E_INSUFFICIENTMEMORY : STG_E_READFAULT;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return STG_E_READFAULT;
    }
    return StorageFromSnapshot(std::move(root), ppstg);
}
