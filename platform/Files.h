#pragma once
// File operations beyond plain reading and writing: the only place that opens, syncs and
// replaces files through the operating system.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace nimbora {

bool FileExists(const std::string& path);
// True for a plain file (not a folder, a pipe or a device).
bool IsRegularFile(const std::string& path);
// Size in bytes, or -1 when the file cannot be looked at.
long long FileSize(const std::string& path);
// Moves a file, also across file systems (copy, then delete the original). The target is
// replaced; on failure nothing is left at the target.
bool MoveFile(const std::string& from, const std::string& to);
// Removes a file if it exists; true when it is gone.
bool DeleteFileIfExists(const std::string& path);
// Gives a read-only file its owner write permission back; false when that failed (a missing
// file needs nothing).
bool ClearReadOnly(const std::string& path);

// An open file, closed when it goes.
class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // A symbolic link under the name is refused, so a planted link cannot redirect us.
    static TFile OpenForReading(const std::string& path);
    // Created or truncated for writing; a symbolic link under the name is refused. `mode` is
    // the permission of a new file (before the umask).
    static TFile OpenForWriting(const std::string& path, unsigned mode = 0600);

    bool IsOpen() const { return Descriptor >= 0; }
    // Bytes read (0 at the end), or -1.
    long long Read(void* buffer, std::size_t size);
    // Writes everything, going on after an interruption.
    bool WriteAll(const void* data, std::size_t size);
    // True when the file was open and closing it reported no error (a late write error shows
    // here).
    bool Close();

private:
    explicit TFile(int fd) : Descriptor(fd) {}
    int Descriptor = -1;
};

enum class TCreateResult { Created, Exists, Failed };
// Creates an empty file that did not exist before, readable and writable by its owner only,
// without following a symbolic link under the name.
TCreateResult CreateFileExclusively(const std::string& path);

// The first and last `count` bytes of a plain file. It is opened without blocking, so that a
// pipe planted under the name cannot stall us.
struct TFileEnds {
    bool Readable = false; // a plain file whose start could be read
    std::string Head;      // up to `count` bytes
    std::string Tail;      // the last `count` bytes; empty when the file is shorter
};
TFileEnds ReadFileEnds(const std::string& path, std::size_t count);

// Replaces a file's content atomically: a temporary file in the same folder (owner-only), synced,
// renamed over the file. A new file is readable and writable by its owner only; an existing one
// keeps its permission bits, and a file without write permission is refused. A symbolic link is
// written through to its target. Throws TSettingsWriteError.
void ReplaceFileAtomically(const std::string& path, const std::string& content);

// The temporary name ReplaceFileAtomically writes a file's new content under before it takes the
// file's place: "." + the file's name + "." + six letters and digits, beside the file.
bool IsReplacementTemp(const std::string& entryName, const std::string& fileName);

// Removes what interrupted replacements of the named files left in folder: plain files whose
// names are IsReplacementTemp of one of fileNames and that were last changed at least minAge
// seconds ago (a younger one may be a running copy's write in progress). Nothing else is
// touched: other names, folders, links. Returns how many were removed.
int RemoveStaleReplacementTemps(const std::string& folder,
                                const std::vector<std::string>& fileNames, int minAge = 60);

// Creates a new empty file folder + 8 random letters and digits + suffix, exclusively, owner-only
// and never through a symbolic link; returns its path, or empty text (error gets the reason).
std::string CreateUniqueFile(const std::string& folder, const std::string& suffix,
                             std::string& error);

// Reads a plain file (opened without blocking, so that a pipe or a device under the name cannot
// stall us) up to maxBytes. Cut: it holds more, and out has its first maxBytes. Failed: it is
// missing, not a plain file or unreadable, and out is empty.
enum class TBoundedRead { Failed, Whole, Cut };
TBoundedRead ReadFileBounded(const std::string& path, std::size_t maxBytes, std::string& out);
// Reads a whole plain file of at most maxBytes; false when it is missing, larger or unreadable.
bool ReadFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out);

// Puts data under path in one step: written to a temporary file beside it, synced, then renamed
// over it, so the path never holds a half-written file. A new file gets the usual permissions
// (0666 less the umask), a replaced one keeps its own. On failure nothing is left behind and
// error holds the system's text for the cause ("Permission denied", "No space left on device").
bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data,
                        std::string& error);

// A plain entry of a folder as the folder holds it (a link is not followed).
struct TFolderEntry {
    std::string Name;
    long long Size = 0;
    bool Regular = false; // a plain file, not a link, a folder, a pipe or a device
};
// The entries of a folder ("." and ".." left out), at most maxEntries of them; empty when the
// folder cannot be read.
std::vector<TFolderEntry> ListFolder(const std::string& folder, std::size_t maxEntries);
// Creates a folder readable by its owner only; true when it exists as a folder afterwards (a
// link to a folder is not taken).
bool MakeFolder(const std::string& path);
// Copies a plain file to `to` in one step: written beside it under a temporary name, synced,
// renamed over it. On failure nothing is left at `to` or beside it and error holds the cause.
// The Write step of SetFileWriteFault makes it fail as a full disk would.
bool CopyFileReplacing(const std::string& from, const std::string& to, std::string& error);

} // namespace nimbora
