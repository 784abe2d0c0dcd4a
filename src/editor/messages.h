// The program's messages about files, and the filling-in of message texts:
// what the editor and the program above it tell and ask the user.
#pragma once

#include "platform/platform.h"
#include "store/data_file.h"
#include "store/merge.h"

#include <initializer_list>
#include <string>

// A field's name as its label on the window calls it.
const wchar_t* fieldName(Field field);

// The format with each "%s" or "%d" replaced, in order, by the next argument.
std::wstring formatMessage(const wchar_t* format, std::initializer_list<std::wstring> args);

// Why a file could not be read or written, as a sentence for the user.
std::wstring fileProblem(platform::FileError error);
// The question when a file cannot be read or written: what (with "%s" for
// the path), the cause, and whether to retry; Yes retries.
int askToRetry(const wchar_t* what, const std::wstring& path, platform::FileError error);
// The question when a data file exists but cannot be read.
int askToRetryReading(const std::wstring& path, platform::FileError error);
// The opening of the question about a data file read only in part: its
// path, and how many entries follow those its count announces.
std::wstring damagedFileProblem(const std::wstring& path, int beyondCount);
// A data file that cannot be read whole: too large for memory.
void tellTooLarge(const std::wstring& path);
// The opening of the message about a protected data file damaged where
// nothing can be read: its path, and the part (seen.damaged).
std::wstring damagedProtectionProblem(const std::wstring& path, const FileSeen& seen);
// A protected file opened with its password although its check line is
// damaged: the next save writes a sound one.
void tellCheckLineDamaged(const std::wstring& path);

// What a save or the window took in from another PC's save of PASSWORD.TXT,
// as the one message that tells it, with the titles of merged's entries kept
// twice; theirDeletionsKept: the other PC's deletions were not applied.
// Empty when nothing came from there.
std::wstring mergeNews(const MergeReport& report, const EntryList& merged, bool theirDeletionsKept);
