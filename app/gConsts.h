#pragma once

// Product constants of the program, shared by the main window and the information windows.
namespace gConsts {

inline constexpr const char* ProductTitle = "Sifton"; // the application title
inline constexpr const char* AppId = "example.quorvale.Sifton"; // desktop entry, icon and metainfo name
inline constexpr const char* MainCaption = "Quorvale Grep"; // the main window's design caption
inline constexpr const char* PrintTitle = "Sifton Output"; // document title of the printed output
inline constexpr const char* SettingsExtension = ".ini";
inline constexpr const char* FileListExtension = ".lst";
inline constexpr const char* ResultLogExtension = ".out";

} // namespace gConsts
