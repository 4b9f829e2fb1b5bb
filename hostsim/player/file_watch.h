#pragma once
// Which files a step wrote or deleted: listings of the watched folders taken
// before and after it. The components write where their settings say, so the
// player watches the project's folders and the root of the system drive,
// where numbered pictures go.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zqplay {

struct FileState {
    uint64_t bytes = 0;
    uint64_t writeTime = 0;  // FILETIME
    std::string path;        // as the platform takes it
};
using Listing = std::map<std::string, FileState>;  // by shown name

struct FileChange {
    std::string name;  // as a log shows it: forward slashes
    std::string path;
    bool removed = false;
};

class FileWatch {
public:
    // `folder` as the platform takes it; `shownAs` leads each name in a log ("" for the current folder).
    void Watch(const std::string& folder, const std::string& shownAs);
    Listing Take() const;

private:
    struct Folder {
        std::string path, shownAs;
    };
    std::vector<Folder> folders_;
};

std::vector<FileChange> Compare(const Listing& before, const Listing& after);

// A name as the log shows it: forward slashes, no leading "./".
std::string ShownName(const std::string& path);

// The root of the system drive ("C:\"), where numbered names go.
std::string SystemDriveRoot();

// Size in bytes of a file, or -1 when it is not there.
long long FileBytes(const std::string& path);

// Makes `folder` and the folders above it; false when it cannot be had.
bool MakeFolders(const std::string& folder);

// The PDF printer's output folder ($ZQ_PDF_DIR, a Unix path seen through
// drive Z:); "" when not set.
std::string PdfFolder();

struct Printout {
    std::string name;  // the file's name in the PDF folder
    int pages = 0;
};
// Waits up to `seconds` for a finished PDF in `folder` that `known` does not
// list as it is now; false when none came. The new file joins `known`.
bool WaitForPrintout(const std::string& folder, Listing& known, int seconds, Printout& out);

}  // namespace zqplay
