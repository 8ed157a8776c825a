// File names a device sends: which are taken as a plain, visible name inside the files directory,
// and how a refused one is shown so that what it hides can be seen.
#pragma once

#include <string>
#include <string_view>

enum class FileNameProblem {
    None,
    Empty,
    Path,    // separators, a drive letter, "." or ".."
    Hidden,  // begins with "."
    Control, // control characters, line and paragraph separators
    Format,  // invisible format characters: bidirectional overrides, zero-width characters
    Invalid, // an unpaired surrogate
    TooLong, // longer than a file name may be
};

FileNameProblem CheckDeviceFileName(std::u16string_view name);

// The name with control and format characters written as <U+XXXX>, cut after 80 characters.
std::u16string VisibleFileName(std::u16string_view name);

// Why a device's file name was refused, as the end of a sentence ("hidden file names are not
// accepted").
std::u16string FileNameProblemText(FileNameProblem problem);
