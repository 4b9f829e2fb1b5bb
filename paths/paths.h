#pragma once
// Portable file names: forward slashes and two location tokens at the start,
// "<player>" (the host program's folder) and "/<boot>" (the system drive).
// Every text is at most 255 characters in a 256-byte buffer.
#include <cstddef>

#include "platform/text_buffer.h"

// Fills `out` (kTextBuffer bytes) with a platform text and returns its
// length; 0 and an empty text when there is none.
using PathSource = std::size_t (*)(char* out, std::size_t size);

// The platform-free expansion: `systemDirectory` is asked only for "/<boot>",
// `programFile` only for "<player>". Each output takes kTextBuffer bytes.
void ExpandPathFrom(const char* name, PathSource systemDirectory, PathSource programFile,
                    char* native, char* folder, char* fileName);

// Expands with the platform's system directory and the running program's file name.
void ExpandPath(const char* name, char* native, char* folder, char* fileName);

// Native path to portable name: backslashes become slashes; a path of 256 or
// more characters gives the empty text.
void PortablePath(const char* native, char* portable);
