// The settings file: every key of both sections read as a string, an integer and a flag from an
// arbitrary file; then the options written (first as read, then values taken from the input) and
// read back: what was written must read back, and the keys that were not written must read as before.
//
// Input: bytes 0-1 the flags to write, byte 2 the operator, bytes 3-6 the refresh rate; the rest is
// the file.
//
// Rate: each execution writes the file and replaces it 26 times (new copy, then rename) on a memory
// file system; a few thousand executions a second, well below a million a minute.
#include "app/Settings.h"

#include <cstring>

#include "FuzzSupport.h"

namespace {

struct Key {
    const char* Section;
    const char* Name;
};

std::vector<Key> AllKeys()
{
    std::vector<Key> keys;
    for (const Settings::TFlagKey& flag : Settings::OptionFlags) {
        keys.push_back({Settings::OptionsSection, flag.Key});
    }
    keys.push_back({Settings::OptionsSection, Settings::DefaultOperatorKey});
    keys.push_back({Settings::OptionsSection, Settings::RefreshRateKey});
    for (const char* key : {Settings::CompanyKey, Settings::UrlKey, Settings::EmailKey, Settings::PhoneKey}) {
        keys.push_back({Settings::ResellerSection, key});
    }
    return keys;
}

struct Reading {
    QString Text;
    int Integer;
    bool Flag;
    bool operator==(const Reading&) const = default;
};

std::vector<Reading> ReadAll(const TIniFile& file, const std::vector<Key>& keys)
{
    std::vector<Reading> values;
    for (const Key& k : keys) {
        values.push_back({file.ReadString(k.Section, k.Name, QStringLiteral("<none>")),
                          file.ReadInteger(k.Section, k.Name, -77), file.ReadBool(k.Section, k.Name, false)});
    }
    return values;
}

bool SameOptions(const Settings::TOptions& a, const Settings::TOptions& b)
{
    return a.Flags == b.Flags && a.DefaultOperator == b.DefaultOperator && a.RefreshRate == b.RefreshRate;
}

void WriteAndCheck(Settings::TSettings& settings, const Settings::TOptions& options,
                   const std::vector<Key>& keys)
{
    const std::vector<Reading> before = ReadAll(settings.File(), keys);
    settings.WriteOptions(options);
    if (!SameOptions(settings.ReadOptions(), options)) {
        fuzz::Fail("the options written do not read back");
    }
    const std::vector<Reading> after = ReadAll(settings.File(), keys);
    for (std::size_t i = Settings::OptionFlagCount + 2; i < keys.size(); ++i) {
        if (!(after[i] == before[i])) {
            fuzz::Fail(std::string("writing the options changed ") + keys[i].Name);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 7) {
        return 0;
    }
    Settings::TOptions written;
    const unsigned flags = data[0] | data[1] << 8;
    for (int i = 0; i < Settings::OptionFlagCount; ++i) {
        written.Flags[std::size_t(i)] = (flags >> i) & 1;
    }
    // The window writes the operator box's entry: -1 (none) to 3.
    written.DefaultOperator = data[2] % 5 - 1;
    std::int32_t rate = 0;
    std::memcpy(&rate, data + 3, sizeof rate);
    written.RefreshRate = rate;

    static const std::vector<Key> keys = AllKeys();
    const std::string path = fuzz::WriteFile("sifton.ini", data + 7, size - 7);
    Settings::TSettings settings(QString::fromStdString(path));
    ReadAll(settings.File(), keys);
    settings.ReadReseller();
    WriteAndCheck(settings, settings.ReadOptions(), keys);
    WriteAndCheck(settings, written, keys);
    return 0;
}
