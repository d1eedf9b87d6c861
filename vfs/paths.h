// Names of title files (CP932, "\" separators, any letter case) and the files on this
// machine they stand for.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// The text up to and including the last "\" or ":" (never inside a double-byte pair);
// "" when there is none.
std::string FolderPart(std::string_view name);
// The text after FolderPart.
std::string BareName(std::string_view name);
// The extension with its dot (".wav"), from the last "." after the last "\", "/" or ":";
// "" when there is none.
std::string ExtractFileExt(std::string_view name);

// Splits a title file name into its components at "\" and "/" (never inside a double-byte
// pair), dropping empty components and ".". Answers nothing when the name would leave its
// folder: a ".." component, a leading separator or a drive ("C:"). With `allowColon` a
// ":" is an ordinary character (names such as "save:slot1" written out on this machine).
std::optional<std::vector<std::string>> SplitRelativeName(std::string_view cp932Name, bool allowColon = false);

// The file on this machine that a title file name stands for inside a native folder
// (UTF-8 path): each component is converted from CP932 to UTF-8 and matched exactly, else
// without case against the folder's entries (their names read back as CP932). Answers the
// native path of an existing regular file, or nothing.
std::optional<std::string> ResolveLooseFile(const std::string& nativeFolder, std::string_view cp932Name);

// The native path a title file name would have inside a folder, for writing: components
// matched as above where they exist, the rest converted as they stand. Nothing when the
// name would leave the folder.
std::optional<std::string> MapLooseFileForWrite(const std::string& nativeFolder, std::string_view cp932Name);

// The DOS date-time (local time) of a file's modification time: (year - 1980) << 25 |
// month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2; 0 when unknown.
int32_t FileDosTime(const std::string& nativePath);
int32_t DosTimeOf(int64_t unixSeconds);

// True when both native paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace kest
