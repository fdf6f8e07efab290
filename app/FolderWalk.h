#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

/// The file-name masks of an added folder: "*.log;*.txt" (blanks around a mask are ignored).
/// No mask, "*" or "*.*" take every file. Masks match as fnmatch does, ASCII letters in either case.
class TNameFilter {
public:
    explicit TNameFilter(const QString& Masks = {});
    /// True when every file name passes.
    bool All() const { return FMasks.empty(); }
    /// Whether a file name (not a path) passes one of the masks.
    bool Matches(const std::string& Name) const;

private:
    std::vector<std::string> FMasks; // in the locale's 8-bit form, as names are
};

/// Walks a folder for the files to add: regular files whose names do not begin with ".", in name
/// order (byte order), depth first: a sub-folder's files come where its name sorts among the files.
/// Hidden folders and links to folders are not entered; a link to a file counts as that file.
/// Folders that cannot be read are passed over. OnFile gets each path ("folder/name"); Stop is asked
/// before every entry. Returns false when Stop ended the walk.
bool WalkFolder(const QString& Folder, bool IncludeSubfolders, const TNameFilter& Filter,
                const std::function<void(const QString& Path)>& OnFile,
                const std::function<bool()>& Stop = {});
