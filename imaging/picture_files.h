#pragma once
// Picture files as import and save see them: BMP through the project's own
// reader and writer, everything else through the platform's codecs.
#include "platform/platform.h"

// Chooses the reader by the file's first bytes. 1 and *bitmap set when a
// bitmap was made (the caller deletes it), else 0 with *bitmap null.
int LoadPictureFile(const char* path, HBITMAP* bitmap);

// Chooses the format by the name's extension: .png, .jpg or .jpeg through
// the codecs, every other name through the BMP writer. 1 when written.
int SavePictureFile(const char* path, HBITMAP picture);
