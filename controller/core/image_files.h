// Image files on disk and the two whole-controller transfers built on them:
// saving a controller into a file and loading a file into a controller.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace journal {
class KnownContent;
}

namespace image {

// What reading an image file for a load found. Everything but Ok refuses the
// file before any traffic.
enum class FileCheck {
    Ok,
    Refused,    // no 7-byte header, the file cannot be opened, or size 0, 3, 5 or 6 is 0
    Unreadable, // nothing could be read
    TooLong,    // longer than the image buffer (kImageBufferSize)
    TooShort,   // shorter than its header says
    BadSizes,   // a size the layout uses is negative (0x80..0xFF)
};

struct ImageFile {
    FileCheck check = FileCheck::Refused;
    int header = -3;            // the CheckImageFileHeader result
    bool notRegular = false;    // header -3: a FIFO, a device or a folder, refused unread
    std::vector<uint8_t> bytes; // the file (Ok, TooShort: what is there)
    long length = 0;            // bytes in the file (TooLong: at least this many)
    long expected = 0;          // the length its header gives (TooShort)
};

// Reads and checks an image file the way a load takes it.
ImageFile ReadImageFile(const std::string& path);

// A file name as the save dialog gives it, with ".bin" added when the name has
// no extension.
std::string WithDefaultExtension(const std::string& path);

// Saves the controller into `path`: a temporary file beside it is created
// first, filled once every block was read, and renamed over `path`; on any
// failure it is removed and an existing file stays as it was. `progress` gets
// the block bytes read so far. 1 saved; -1 the sizes could not be read (or use
// a negative size); -2 a block read failed; -3 the file could not be created or
// written (before any traffic when it cannot be created); -4 what was read
// fails ImageContentProblem (nothing written); -5 `path` is a read-only file,
// -6 it is no regular file (a folder, a FIFO), both before any traffic. A
// symbolic link stays: the file it names is replaced, keeping its mode.
// Temporary files left by saves that were killed are removed.
int SaveImageFile(int port, int ctrl, const std::string& path,
                  const std::function<void(long)>& progress = {});

// Writes an image (as ReadImageFile gave it) into the controller with
// WriteImage and restarts the controller when it went through. `progress`
// gets the block bytes written so far. The WriteImage result (1 or -1).
int LoadImageIntoController(int port, int ctrl, const std::vector<uint8_t>& image,
                            const std::function<void(long)>& progress = {});

// Gives the journal the content of every block of an image (a snapshot taken
// just before a load), so each block write is journalled with its "before".
void AddImageContent(journal::KnownContent& known, const std::vector<uint8_t>& image);

} // namespace image
