// The text-file layer of the store: every state file is read and written through it.
//
// Files are named by suffixes under the application folder, such as
// "\Images\SelectedOptions.txt". ResolvePath turns "\" (and "/") into path components and
// matches every component that exists without regard to ASCII letter case, an exact match
// first, so "\images\startbut.jpg" finds Images/startbut.jpg and "\Data\health.txt" finds
// Data/Health.txt. Components that do not exist keep the spelling given.
//
// Reading accepts CR LF, LF alone and CR alone as line ends; writing ends every line with
// CR LF. Texts are bytes and are never re-encoded. A file that is written is replaced
// atomically when the writer is closed (a new file beside it, then a rename over it), so a
// crash or a full disk never leaves a half-written or emptied file. Every failure throws
// StoreError naming the operation, the path and the system's reason.
#pragma once

#include "app/store/store_error.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// appFolder followed by the components of suffix, matched as described above. Throws
// StoreError for a component "." or ".." (no suffix may leave the application folder).
std::filesystem::path ResolvePath(const std::filesystem::path& appFolder, std::string_view suffix);

// ResolvePath for a file that is about to be written: refuses, as CheckNoLinkOutside does, a
// file that is a symbolic link leading out of the application folder.
std::filesystem::path ResolvePathForWriting(const std::filesystem::path& appFolder,
                                            std::string_view suffix);

// Whether path names an existing regular file (or a link to one). Never throws.
bool FileExists(const std::filesystem::path& path);

// The whole content of a file. Throws StoreError when it cannot be read (missing, a folder,
// no permission).
std::string ReadFileBytes(const std::filesystem::path& path);

// The UTF-8 byte-order mark that some editors put at the start of a file they save. It says
// how the file is encoded and is no part of its text: readers skip it (WithoutBom) and the
// store never writes one.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The text of a file's bytes: the bytes without a leading UTF-8 byte-order mark.
inline std::string_view WithoutBom(std::string_view bytes) {
    return bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom ? bytes.substr(kUtf8Bom.size()) : bytes;
}

// The position of the first CR or LF in text at or after from, or npos.
inline size_t FindLineEnd(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            return i;
        }
    }
    return std::string_view::npos;
}

// Calls f(std::string_view line) for every line of text, lines ending at CR LF, LF or CR; a
// last line without a line end is a line too, and an empty text has no lines.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = FindLineEnd(text, start);
        if (end == std::string_view::npos) {
            f(text.substr(start));
            return;
        }
        f(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
            ++start;
        }
    }
}

// Reads a file in pieces of a mebibyte, calling f(std::string_view piece) for each until f
// returns false or the file ends, so that a large file is never held whole. Throws StoreError
// when the file cannot be opened or read.
void ReadFileInPieces(const std::filesystem::path& path,
                      const std::function<bool(std::string_view piece)>& f);

// Calls f(std::string_view line) for every line of a file as ForEachLine does, a leading
// byte-order mark left out, reading the file in pieces; stops early when f returns false.
// Throws StoreError when the file cannot be opened or read.
void ForEachFileLine(const std::filesystem::path& path,
                     const std::function<bool(std::string_view line)>& f);

// Splits text into lines at CR LF, LF or CR; a last line without a line end is a line too, and
// an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// The lines as the program writes them: each followed by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// A file opened for reading: the content is read at once and the file is closed again, so
// nothing stays open between user actions. A leading byte-order mark is not read as text.
class TextReader {
  public:
    // Throws StoreError when the file is missing or cannot be read.
    explicit TextReader(const std::filesystem::path& path);

    // True when no character is left; at once for an empty file.
    bool AtEndOfStream() const { return pos_ >= text_.size(); }
    // The next line without its line end. Throws StoreError at the end of the stream.
    std::string ReadLine();
    // The rest of the text, line ends included. Throws StoreError at the end of the stream.
    std::string ReadAll();
    void Close() {}

  private:
    std::filesystem::path path_;
    std::string text_;
    size_t pos_ = 0;
};

enum class WriteMode {
    Write,   // the file's content is replaced
    Append,  // the text goes behind the last byte
};

// A file opened for writing or appending. Neither mode creates a missing file. The text is
// collected in memory and reaches the file in one piece at Close, in both modes through an
// atomic replacement (an append writes the old bytes and the new ones to the new file), so
// the file never holds a part of the new text. An append leaves out a byte-order mark at the
// start of the old bytes: a file the program writes carries none. A writer dropped without Close
// (an exception on the way) leaves the file as it was.
class TextWriter {
  public:
    // Throws StoreError when the file is missing, is not a regular file or is read-only.
    TextWriter(const std::filesystem::path& path, WriteMode mode);

    void Write(std::string_view text) { buffer_.append(text); }
    // The same, taking over a large text without copying it.
    void Write(std::string&& text) {
        if (buffer_.empty()) {
            buffer_ = std::move(text);
        } else {
            buffer_.append(text);
        }
    }
    void Write(const char* text) { buffer_.append(text); }
    // The text followed by CR LF; line ends inside text are written unchanged.
    void WriteLine(std::string_view text) {
        buffer_.append(text);
        buffer_.append("\r\n");
    }
    // Puts everything written on disk. Throws StoreError on failure (the file then keeps its
    // old content in Write mode).
    void Close();

  private:
    std::filesystem::path path_;
    WriteMode mode_;
    std::string buffer_;
    bool closed_ = false;
};

// Whether the file holds text and its last byte is no line end (a hand-edited file whose last
// line lacks CR LF). Appending then first ends that line, so the appended line stays its own.
// False when the file cannot be read, and for a file that holds only a byte-order mark.
bool LastLineUnended(const std::filesystem::path& path);

// The bytes of a file that ReplaceFileWith writes, handed over in pieces of any size: they are
// gathered and written to the new file a mebibyte at a time, so that a large file needs no copy
// in memory.
class ByteSink {
  public:
    explicit ByteSink(std::function<void(std::string_view)> write) : write_(std::move(write)) {}
    void Append(std::string_view bytes) {
        if (buffer_.size() + bytes.size() < kPiece) {
            buffer_.append(bytes);
            return;
        }
        if (!buffer_.empty()) {
            Write(buffer_);
            buffer_.clear();
        }
        if (bytes.size() >= kPiece) {
            Write(bytes);
        } else {
            buffer_.append(bytes);
        }
    }
    // Writes what is gathered; at least once, so that even an empty file takes its write step.
    void Flush() {
        if (!buffer_.empty() || !wrote_) {
            Write(buffer_);
            buffer_.clear();
        }
    }

  private:
    static constexpr size_t kPiece = size_t{1} << 20;
    void Write(std::string_view bytes) {
        wrote_ = true;
        write_(bytes);
    }
    std::function<void(std::string_view)> write_;
    std::string buffer_;
    bool wrote_ = false;
};

// Creates the file with exactly these bytes, replacing any file of that name atomically; a
// symbolic link is replaced as a whole (never written through: the file it leads to keeps its
// bytes). Throws StoreError when the folder is missing, the name is a folder, the existing file
// is read-only or the name is a link that leads nowhere. With Durability::Synced (the default) the
// bytes are on the disk before the new file takes the name; Durability::Scratch skips that wait for
// files that are only a step on the way (the temporary file of a rewrite), which are still replaced
// atomically.
enum class Durability { Synced, Scratch };
void ReplaceFile(const std::filesystem::path& path, std::string_view bytes,
                 Durability durability = Durability::Synced);

// ReplaceFile with the bytes that produce hands to the sink, written while they are produced;
// the file is replaced only when produce returns. An exception from produce leaves the file as
// it was and is passed on.
void ReplaceFileWith(const std::filesystem::path& path,
                     const std::function<void(ByteSink& sink)>& produce,
                     Durability durability = Durability::Synced);

// Creates an empty file or empties an existing one (atomically).
inline void CreateTextFile(const std::filesystem::path& path) {
    ReplaceFile(path, {});
}

// Removes one file. Throws StoreError when it is missing, is a folder or is read-only (like a
// delete that is not forced).
void DeleteFile(const std::filesystem::path& path);

// Removes a file of our own (a temporary file, a record) if it is there; a failure is not
// reported.
void RemoveQuietly(const std::filesystem::path& path);

// Throws StoreError ("Cannot delete ...") when DeleteFile would fail for a reason that can be
// seen beforehand: the file is missing, a folder or read-only, or its folder cannot be written.
void CheckDeletable(const std::filesystem::path& path);

// Throws StoreError ("<what> <path>: it is a symbolic link to ..., which does not exist") when
// path is a symbolic link that leads nowhere: writing would put a file where the link is,
// hiding that the file it was meant to lead to is missing.
void CheckNotDanglingLink(std::string_view what, const std::filesystem::path& path);

// Refuses a write of path, a file of the application folder, that would go through a symbolic
// link to a file outside that folder (and outside the folder holding the link): throws
// StoreError naming the file and where the link leads, and nothing is written. A link that
// leads nowhere is refused the same way. Anything that is not a link passes.
void CheckNoLinkOutside(const std::filesystem::path& appFolder, const std::filesystem::path& path);

// The names (without folder) of the regular files of a folder, sorted by their bytes. Throws
// StoreError when the folder cannot be listed.
std::vector<std::string> ListFiles(const std::filesystem::path& folder);

// Test seam. The steps this layer takes on the file system: opening or creating a file for
// writing, writing its bytes, flushing them to the disk, renaming a file over another, removing
// a file. A hook, when set, is called before every step with the file the step acts on;
// returning 0 lets the step run, returning an errno value makes it fail with that error (a
// failing Write first writes part of its bytes, as a full disk does). Crash and fault tests
// use it to stop a process after any step or to make one fail; the program never sets it.
enum class FileStep { Open, Write, Sync, Rename, Remove };
using FileStepHook = std::function<int(FileStep step, const std::filesystem::path& path)>;
void SetFileStepHook(FileStepHook hook);

}  // namespace kestrane
