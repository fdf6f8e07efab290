#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

/// Which names an added folder gives. Masks: "*.log;*.log.*" (blanks around a mask are ignored), each
/// matched as written against the whole name; no mask, "*" or "*.*" take every file. Excludes, in the
/// same form, leave out the files and the sub-folders whose names they match. Masks match as fnmatch
/// does, ASCII letters in either case. SkipHidden leaves out names beginning with ".".
class TNameFilter {
public:
    explicit TNameFilter(const QString& Masks = {}, const QString& Excludes = {}, bool SkipHidden = true);
    /// True when every file name passes the masks.
    bool All() const { return FMasks.empty(); }
    /// Whether a file name (not a path) passes one of the masks and no exclude.
    bool Matches(const std::string& Name) const;
    /// Whether a sub-folder of this name is entered (hidden ones aside).
    bool Enters(const std::string& Name) const;
    bool SkipsHidden() const { return FSkipHidden; }

private:
    std::vector<std::string> FMasks; // in the locale's 8-bit form, as names are
    std::vector<std::string> FExcludes;
    bool FSkipHidden;
};

/// Walks a folder for the files to add: the regular files Filter takes, in name order (byte order),
/// depth first: a sub-folder's files come where its name sorts among the files. Links to folders are
/// not entered (nor hidden folders, unless the filter takes hidden names); a link to a file counts as
/// that file.
/// Folders that cannot be read are passed over. OnFile gets each path ("folder/name"); Stop is asked
/// before every entry. Returns false when Stop ended the walk.
bool WalkFolder(const QString& Folder, bool IncludeSubfolders, const TNameFilter& Filter,
                const std::function<void(const QString& Path)>& OnFile,
                const std::function<bool()>& Stop = {});
