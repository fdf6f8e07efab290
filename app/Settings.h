#pragma once

#include "platform/IniFile.h"

#include <QString>

#include <array>

/// The settings file beside the program: the "Options" the main window keeps between runs and the
/// "Reseller" contact details the about window shows.
namespace Settings {

/// The option flags, in the order they are read and written.
enum TOptionFlag {
    CountLines, ///< OptionLineCount
    CountWords, ///< OptionWordCount
    ProgressIndicator, ///< OptionProgress
    TotalClear, ///< OptionClearAll
    LoadFileList, ///< OptionLoadList
    CaseSensitive, ///< OptionCase
    ReverseLogic, ///< OptionReverse
    SafeAfter, ///< OptionSave
    UnixFile, ///< OptionUnixFile
    OneInstance, ///< OptionOneInstance
    OutputNames, ///< OptionOutputNames
    // Keys added on Linux, written after "Regular Expressions" so that the first thirteen keys stay as they
    // always were.
    Decompress, ///< OptionDecompress
    SkipBinary, ///< OptionSkipBinary
    OptionFlagCount
};
/// The flags written before "Default Operator" and "Refresh Rate"; the others come after them.
inline constexpr int BaseFlagCount = Decompress;

/// One flag key of "Options" and its value when absent.
struct TFlagKey {
    const char* Key;
    bool Default;
};

inline constexpr const char* OptionsSection = "Options";
/// The flag keys, indexed by TOptionFlag.
inline constexpr std::array<TFlagKey, OptionFlagCount> OptionFlags{{
    {"Count Lines", true},
    {"Count Words", false},
    {"Progress Indicator", true},
    {"Total Clear", false},
    {"Load file list", false},
    {"Case Sensitive", false},
    {"Reverse Logic", false},
    {"Safe After", false},
    // Most text here ends its lines with LF alone, which DOS text reads as one single line; Unix text
    // still reads CR LF files right.
    {"Unix File", true},
    {"One Instance", false},
    {"Output Names", true},
    // A compressed file's raw bytes never hold the text the user is looking for.
    {"Decompress", true},
    {"Skip Binary", false},
}};
inline constexpr const char* DefaultOperatorKey = "Default Operator";
inline constexpr int DefaultOperatorDefault = 0; ///< "And"
inline constexpr int OperatorCount = 4; ///< a stored operator not below this is ignored
inline constexpr const char* RefreshRateKey = "Refresh Rate";
inline constexpr int RefreshRateDefault = 1000;
inline constexpr int RefreshRateMin = 1000;
inline constexpr int RefreshRateMax = 1000000;
/// Written after "Refresh Rate", so that the keys before it keep their places in the file.
inline constexpr const char* RegularExpressionsKey = "Regular Expressions";
inline constexpr bool RegularExpressionsDefault = false;

inline constexpr const char* ResellerSection = "Reseller";
inline constexpr const char* CompanyKey = "Company";
inline constexpr const char* UrlKey = "URL";
inline constexpr const char* EmailKey = "Email";
inline constexpr const char* PhoneKey = "Phone";
// The maker's own contact details, shown when no reseller has put theirs in the file.
inline constexpr const char* CompanyDefault = "Quorvale Software Inc.";
inline constexpr const char* UrlDefault = "http://www.quorvale.example/";
inline constexpr const char* EmailDefault = "sales@quorvale.example";
inline constexpr const char* PhoneDefault = "+1 (425) 555-0147";

inline constexpr const char* EditorSection = "Editor";
/// The editor Open at Line starts: "%f" the file, "%l" the line; absent = the desktop's text editor.
inline constexpr const char* EditorCommandKey = "Command";
/// 1: a double-click (or Enter) on a line of the output pane opens the file viewer, not the editor.
inline constexpr const char* EditorViewerKey = "Viewer";
/// In "Options": 1 (the default) turns a run that reported a line to the Output List page, at the
/// run's first entry; 0 leaves the page as it is. Read at the end of every run, never written.
inline constexpr const char* ShowResultsKey = "Show Results";

/// What "Options" holds, as read (table defaults for what is absent or not a number) or to be written.
struct TOptions {
    std::array<bool, OptionFlagCount> Flags{true,  false, true,  false, false, false, false,
                                            false, true,  false, true,  true,  false};
    int DefaultOperator = DefaultOperatorDefault; ///< entry of the operator box; -1 = none selected
    int RefreshRate = RefreshRateDefault; ///< as stored; the spin edit brings it into its range
    bool RegularExpressions = RegularExpressionsDefault; ///< OptionRegex
};

/// What "Reseller" holds (defaults for absent keys).
struct TReseller {
    QString Company;
    QString URL;
    QString Email;
    QString Phone;
};

/// The settings file's path: the program's own path with ".ini". Fixed by the first call.
QString FileName();

/// Reads the settings of one file (the program's by default). Nothing is cached: every call reads the file.
class TSettings {
public:
    explicit TSettings(const QString& fileName = FileName());

    /// The file underneath, for the five single-key operations.
    TIniFile& File() { return FFile; }
    const TIniFile& File() const { return FFile; }

    /// One flag of "Options" with its table default.
    bool ReadFlag(TOptionFlag flag) const;
    /// "Default Operator": the stored entry when it is below OperatorCount, else the default 0.
    int ReadDefaultOperator() const;
    /// "Refresh Rate" as stored (1000 when absent or not a number).
    int ReadRefreshRate() const;
    /// "Regular Expressions" (unchecked when absent).
    bool ReadRegularExpressions() const;
    /// All of "Options", read in table order.
    TOptions ReadOptions() const;

    /// Writes every key of "Options": the base flags, the operator, the refresh rate, "Regular
    /// Expressions", then the flags added after it, in one replacement of the file; throws "Unable to
    /// write to <path>" when it is refused, leaving the file as it was.
    void WriteOptions(const TOptions& options);

    /// The four keys of "Reseller".
    TReseller ReadReseller() const;

    /// "Command" of "Editor", empty when absent; never written.
    QString ReadEditorCommand() const;
    /// "Viewer" of "Editor", false when absent; never written.
    bool ReadEditorViewer() const;
    /// "Show Results" of "Options", true when absent; never written.
    bool ReadShowResults() const;

private:
    TIniFile FFile;
};

/// The spin edit's text as the number to store: the number, or 1000 when the text is not one.
int RefreshRateFromText(const QString& text);
/// A stored refresh rate brought into the spin edit's range.
int ClampRefreshRate(int value);

} // namespace Settings
