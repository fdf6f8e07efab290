#include "platform/com/KeyStore.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

const char* const RootName = "HKEY_CLASSES_ROOT";
const char* const Header = "REGEDIT4";

bool SameKey(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string Quote(const std::string& value)
{
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + '"';
}

// The text of a quoted value ("a\"b" gives a"b); nothing when the quotes do not close.
std::optional<std::string> Unquote(const std::string& text)
{
    if (text.size() < 2 || text.front() != '"') {
        return std::nullopt;
    }
    std::string value;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            value += text[++i];
        } else if (c == '"') {
            return i + 1 == text.size() ? std::optional(value) : std::nullopt;
        } else {
            value += c;
        }
    }
    return std::nullopt;
}

std::string TrimLineEnd(std::string line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
}

std::mutex RootLock;
std::unique_ptr<TKeyStore> Root; // guarded by RootLock
// Set from other units' static initialisers, so built on first use rather than in file order.
std::function<std::string()>& RootLocation() // guarded by RootLock
{
    static std::function<std::string()> location;
    return location;
}

} // namespace

TKeyStore::TKeyStore(std::string fileName)
    : FFileName(std::move(fileName))
{
}

bool TKeyStore::Load()
{
    FKeys.clear();
    FModified = false;
    std::ifstream file(FFileName, std::ios::binary);
    if (!file) {
        return true;
    }
    std::string line;
    if (!std::getline(file, line)) {
        return true;
    }
    if (TrimLineEnd(line).rfind(Header, 0) != 0) {
        return false;
    }
    TKey* current = nullptr;
    const std::string rootPrefix = std::string(RootName) + "\\";
    while (std::getline(file, line)) {
        line = TrimLineEnd(line);
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            const std::string path = line.substr(1, line.size() - 2);
            current = nullptr;
            // Keys of other roots are not ours to read; they are dropped at the next save.
            if (path.size() > rootPrefix.size() && SameKey(path.substr(0, rootPrefix.size()), rootPrefix)) {
                const std::string key = path.substr(rootPrefix.size());
                current = Find(key);
                if (current == nullptr) {
                    FKeys.push_back({key, std::nullopt, {}});
                    current = &FKeys.back();
                }
            }
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        if (line.rfind("@=", 0) == 0) {
            current->Default = Unquote(line.substr(2));
        } else {
            current->OtherLines.push_back(line);
        }
    }
    return true;
}

bool TKeyStore::Save() const
{
    std::ostringstream text;
    text << Header << "\r\n";
    for (const TKey& key : FKeys) {
        text << "\r\n[" << RootName << '\\' << key.Path << "]\r\n";
        if (key.Default) {
            text << "@=" << Quote(*key.Default) << "\r\n";
        }
        for (const std::string& other : key.OtherLines) {
            text << other << "\r\n";
        }
    }
    const std::string temporary = FFileName + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) {
            return false;
        }
        file << text.str();
        file.flush();
        if (!file) {
            file.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), FFileName.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    const_cast<TKeyStore*>(this)->FModified = false;
    return true;
}

TKeyStore::TKey* TKeyStore::Find(const std::string& key)
{
    for (TKey& k : FKeys) {
        if (SameKey(k.Path, key)) {
            return &k;
        }
    }
    return nullptr;
}

const TKeyStore::TKey* TKeyStore::Find(const std::string& key) const
{
    return const_cast<TKeyStore*>(this)->Find(key);
}

bool TKeyStore::KeyExists(const std::string& key) const
{
    return Find(key) != nullptr;
}

std::optional<std::string> TKeyStore::ReadDefault(const std::string& key) const
{
    const TKey* k = Find(key);
    return k != nullptr ? k->Default : std::nullopt;
}

void TKeyStore::WriteDefault(const std::string& key, const std::string& value)
{
    // Parents exist whenever a child does, as in the registry.
    for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        const std::string parent = key.substr(0, at);
        if (Find(parent) == nullptr) {
            FKeys.push_back({parent, std::nullopt, {}});
        }
    }
    TKey* k = Find(key);
    if (k == nullptr) {
        FKeys.push_back({key, std::nullopt, {}});
        k = &FKeys.back();
    }
    if (k->Default != value) {
        k->Default = value;
        FModified = true;
    }
}

TKeyStore& ClassesRoot()
{
    const std::lock_guard lock(RootLock);
    if (Root == nullptr) {
        // With no place named the keys live in memory for this run: nothing of a user's is overwritten.
        Root = std::make_unique<TKeyStore>(RootLocation() ? RootLocation()() : std::string());
        Root->Load();
    }
    return *Root;
}

void SetClassesRootLocation(std::function<std::string()> fileName)
{
    const std::lock_guard lock(RootLock);
    RootLocation() = std::move(fileName);
}

void SetClassesRootFile(const std::string& fileName)
{
    const std::lock_guard lock(RootLock);
    Root = std::make_unique<TKeyStore>(fileName);
    Root->Load();
}

std::optional<std::string> ProgIDFromCLSID(const CLSID& clsid)
{
    return ClassesRoot().ReadDefault("CLSID\\" + GuidToString(clsid) + "\\ProgID");
}

HRESULT OleRegGetUserType(const CLSID& clsid, DWORD /*dwFormOfType*/, std::string* pszUserType)
{
    if (pszUserType == nullptr) {
        return E_INVALIDARG;
    }
    const TKeyStore& root = ClassesRoot();
    const std::string key = "CLSID\\" + GuidToString(clsid);
    if (!root.KeyExists(key)) {
        pszUserType->clear();
        return REGDB_E_CLASSNOTREG;
    }
    const auto type = root.ReadDefault(key);
    if (!type) {
        pszUserType->clear();
        return REGDB_E_READREGDB;
    }
    *pszUserType = *type;
    return S_OK;
}
