#pragma once

// The class keys of the program's embeddable objects, kept the way the registry keeps them: keys
// below HKEY_CLASSES_ROOT with default values, saved as a REGEDIT4 text file beside the program.

#include "platform/com/Com.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

/// A set of keys read from and saved to one REGEDIT4 file. Key paths are relative to
/// HKEY_CLASSES_ROOT ("CLSID\{...}\ProgID") and compared without regard to ASCII case.
class TKeyStore {
public:
    explicit TKeyStore(std::string fileName);

    const std::string& FileName() const { return FFileName; }
    /// Reads the file; a missing or unreadable file gives no keys. False only when the file exists
    /// and is not ours: it does not start with "REGEDIT4", or it is no regular file. Such a file is
    /// never written: the keys live in memory only (Foreign).
    bool Load();
    /// Writes every key (new file beside the old one, then a rename); false when that fails, and for a
    /// foreign file, which stays as it is.
    bool Save() const;
    /// True when the last Load found a file that is not ours.
    bool Foreign() const { return FForeign; }

    bool KeyExists(const std::string& key) const;
    /// The key's default value; nothing when the key or its default value is missing.
    std::optional<std::string> ReadDefault(const std::string& key) const;
    /// Creates the key when missing (with its parents) and sets its default value.
    void WriteDefault(const std::string& key, const std::string& value);
    /// True when something changed since the last Load or Save.
    bool Modified() const { return FModified; }

private:
    struct TKey {
        std::string Path;
        std::optional<std::string> Default;
        std::vector<std::string> OtherLines; // named values, kept as written
    };
    TKey* Find(const std::string& key);
    const TKey* Find(const std::string& key) const;

    std::string FFileName;
    std::vector<TKey> FKeys;
    bool FModified = false;
    bool FForeign = false;
};

/// The program's class keys: <program>.reg beside the settings file, read on first use.
TKeyStore& ClassesRoot();
/// Names the file ClassesRoot reads on first use; the program's layer that knows its folders sets it.
void SetClassesRootLocation(std::function<std::string()> fileName);
/// Points ClassesRoot at another file and reads it (tests, and a program that keeps its files elsewhere).
void SetClassesRootFile(const std::string& fileName);

/// The ProgID written under the class's key; nothing when the class has no keys.
std::optional<std::string> ProgIDFromCLSID(const CLSID& clsid);
/// The user type: the default value of the class's key. REGDB_E_CLASSNOTREG when the key is missing.
HRESULT OleRegGetUserType(const CLSID& clsid, DWORD dwFormOfType, std::string* pszUserType);
