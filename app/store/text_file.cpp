#include "app/store/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kestrane {

namespace {

FileStepHook& StepHook() {
    static FileStepHook hook;
    return hook;
}

// 0 when the step may run, else the errno it fails with (see SetFileStepHook).
int BeforeStep(FileStep step, const fs::path& path) {
    const FileStepHook& hook = StepHook();
    return hook ? hook(step, path) : 0;
}

// fwrite with the seam: an injected failure writes the first half of the bytes, then fails.
bool WriteBytes(std::FILE* f, std::string_view bytes, const fs::path& path) {
    if (const int err = BeforeStep(FileStep::Write, path)) {
        std::fwrite(bytes.data(), 1, bytes.size() / 2, f);
        std::fflush(f);
        errno = err;
        return false;
    }
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

[[noreturn]] void FailFileStep(std::string_view what, const fs::path& path, int err) {
    kestrane::FailFileStep(what, path, std::generic_category().message(err));
}

[[noreturn]] void FailFileStep(std::string_view what, const fs::path& path,
                               const std::error_code& ec) {
    kestrane::FailFileStep(what, path, ec.message());
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// Flushes the stream's data to the disk; errors such as a full disk surface here.
bool SyncFile(std::FILE* f, const fs::path& path) {
    if (const int err = BeforeStep(FileStep::Sync, path)) {
        errno = err;
        return false;
    }
    if (std::fflush(f) != 0) {
        return false;
    }
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return ::fsync(fileno(f)) == 0;
#endif
}

// The checks that opening an existing file for writing makes: it exists, is a regular file
// and is not read-only.
void CheckWritable(std::string_view what, const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
        FailFileStep(what, path, ENOENT);
    }
    if (fs::is_directory(st)) {
        FailFileStep(what, path, EISDIR);
    }
    if ((st.permissions() & fs::perms::owner_write) == fs::perms::none) {
        FailFileStep(what, path, EACCES);
    }
}

// Replaces the file at path by bytes. A symbolic link is replaced as a whole (the file it
// leads to keeps its bytes): a file of ours is never written through a link. A link that leads
// nowhere is refused.
void Replace(std::string_view what, const fs::path& path,
             const std::function<void(ByteSink&)>& produce, Durability durability) {
    std::error_code ec;
    CheckNotDanglingLink(what, path);
    const fs::file_status st = fs::status(path, ec);
    const bool existed = fs::exists(st);
    if (existed) {
        CheckWritable(what, path);
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(fs::status(folder, ec))) {
        FailFileStep(what, path, ENOENT);
    }

    // A new file beside the target, then a rename over it: readers see the old or the new
    // content, never a part of it.
    static std::mt19937_64 random{std::random_device{}()};
    fs::path temp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 100 && f == nullptr; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".kestrane-%016llx.tmp",
                      static_cast<unsigned long long>(random()));
        temp = folder / name;
        if (const int err = BeforeStep(FileStep::Open, temp)) {
            FailFileStep(what, path, err);
        }
        f = OpenFile(temp, "wbx");
        if (f == nullptr && errno != EEXIST) {
            FailFileStep(what, path, errno);
        }
    }
    if (f == nullptr) {
        FailFileStep(what, path, EEXIST);
    }
    errno = 0;
    // A failed write ends production; what produce throws itself is passed on unchanged.
    struct WriteFailed {
        int err;
    };
    bool ok = true;
    int err = 0;
    try {
        ByteSink sink([&](std::string_view piece) {
            errno = 0;
            if (!WriteBytes(f, piece, temp)) {
                throw WriteFailed{errno != 0 ? errno : EIO};
            }
        });
        produce(sink);
        sink.Flush();
        errno = 0;
        ok = durability == Durability::Scratch ? std::fflush(f) == 0 : SyncFile(f, temp);
        err = errno;
    } catch (const WriteFailed& failed) {
        ok = false;
        err = failed.err;
    } catch (...) {
        std::fclose(f);
        RemoveQuietly(temp);
        throw;
    }
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        RemoveQuietly(temp);
        FailFileStep(what, path, err != 0 ? err : EIO);
    }
    if (existed) {
        fs::permissions(temp, st.permissions(), ec);
    }
    if (const int err = BeforeStep(FileStep::Rename, path)) {
        ec.assign(err, std::generic_category());
    } else {
        fs::rename(temp, path, ec);
    }
    if (ec) {
        RemoveQuietly(temp);
        FailFileStep(what, path, ec);
    }
}

}  // namespace

void SetFileStepHook(FileStepHook hook) {
    StepHook() = std::move(hook);
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::status(path, ec));
}

std::string ReadFileBytes(const fs::path& path) {
    constexpr std::string_view what = "Cannot open for reading";
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        FailFileStep(what, path, EISDIR);
    }
    std::FILE* f = OpenFile(path, "rb");
    if (f == nullptr) {
        FailFileStep(what, path, errno);
    }
    // Read in one piece when the size is known; a file that grows meanwhile is read on.
    std::string bytes;
    std::error_code sizeError;
    const auto expected = fs::file_size(path, sizeError);
    if (!sizeError && expected > 0) {
        bytes.resize(static_cast<size_t>(expected));
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    }
    if (bytes.size() == static_cast<size_t>(sizeError ? 0 : expected)) {
        char chunk[65536];
        for (;;) {
            const size_t n = std::fread(chunk, 1, sizeof chunk, f);
            bytes.append(chunk, n);
            if (n < sizeof chunk) {
                break;
            }
        }
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        FailFileStep("Cannot read", path, err != 0 ? err : EIO);
    }
    return bytes;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const auto& l : lines) {
        size += l.size() + 2;
    }
    std::string out;
    out.reserve(size);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

TextReader::TextReader(const fs::path& path) : path_(path), text_(ReadFileBytes(path)) {
    pos_ = text_.size() - WithoutBom(text_).size();
}

std::string TextReader::ReadLine() {
    if (AtEndOfStream()) {
        throw StoreError(
            DescribeFileStep("Cannot read a line from", path_, "input past end of file"));
    }
    const size_t end = FindLineEnd(text_, pos_);
    if (end == std::string::npos) {
        std::string line = text_.substr(pos_);
        pos_ = text_.size();
        return line;
    }
    std::string line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (text_[end] == '\r' && pos_ < text_.size() && text_[pos_] == '\n') {
        ++pos_;
    }
    return line;
}

std::string TextReader::ReadAll() {
    if (AtEndOfStream()) {
        throw StoreError(
            DescribeFileStep("Cannot read the text of", path_, "input past end of file"));
    }
    std::string rest = text_.substr(pos_);
    pos_ = text_.size();
    return rest;
}

TextWriter::TextWriter(const fs::path& path, WriteMode mode) : path_(path), mode_(mode) {
    CheckWritable(
        mode == WriteMode::Write ? "Cannot open for writing" : "Cannot open for appending", path);
}

void TextWriter::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (mode_ == WriteMode::Write) {
        ReplaceFile(path_, buffer_);
        return;
    }
    // An append replaces the file as a whole too, so that after a failure or a kill the file
    // holds its old bytes or its new bytes, never the old ones with a cut line behind them.
    constexpr std::string_view what = "Cannot append to";
    CheckWritable(what, path_);
    Replace(
        what, path_,
        [&](ByteSink& sink) {
            bool first = true;
            try {
                ReadFileInPieces(path_, [&](std::string_view piece) {
                    sink.Append(first ? WithoutBom(piece) : piece);
                    first = false;
                    return true;
                });
            } catch (const StoreError& e) {
                FailFileStep(what, path_, e.reason());
            }
            sink.Append(buffer_);
        },
        Durability::Synced);
}

bool LastLineUnended(const fs::path& path) {
    std::FILE* f = OpenFile(path, "rb");
    if (f == nullptr) {
        return false;
    }
    bool unended = false;
    char head[3] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    const bool onlyBom = n == 3 && std::string_view(head, 3) == kUtf8Bom && std::fgetc(f) == EOF;
    if (!onlyBom && std::fseek(f, -1, SEEK_END) == 0) {
        const int c = std::fgetc(f);
        unended = c != EOF && c != '\r' && c != '\n';
    }
    std::fclose(f);
    return unended;
}

void ReplaceFile(const fs::path& path, std::string_view bytes, Durability durability) {
    Replace(
        "Cannot write", path, [&](ByteSink& sink) { sink.Append(bytes); }, durability);
}

void ReplaceFileWith(const fs::path& path, const std::function<void(ByteSink&)>& produce,
                     Durability durability) {
    Replace("Cannot write", path, produce, durability);
}

void CheckDeletable(const fs::path& path) {
    constexpr std::string_view what = "Cannot delete";
    CheckWritable(what, path);
#ifndef _WIN32
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (::access(folder.c_str(), W_OK) != 0) {
        FailFileStep(what, path, errno);
    }
#endif
}

void RemoveQuietly(const fs::path& path) {
    if (BeforeStep(FileStep::Remove, path) == 0) {
        std::error_code ec;
        fs::remove(path, ec);
    }
}

void DeleteFile(const fs::path& path) {
    constexpr std::string_view what = "Cannot delete";
    CheckWritable(what, path);
    std::error_code ec;
    if (const int err = BeforeStep(FileStep::Remove, path)) {
        FailFileStep(what, path, err);
    }
    if (!fs::remove(path, ec) || ec) {
        FailFileStep(what, path,
                     ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory));
    }
}

std::vector<std::string> ListFiles(const fs::path& folder) {
    std::error_code ec;
    std::vector<std::string> names;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        FailFileStep("Cannot list the folder", folder, ec);
    }
    for (fs::directory_iterator end; it != end; it.increment(ec)) {
        std::error_code statError;
        if (it->is_regular_file(statError)) {
            names.push_back(it->path().filename().string());
        }
    }
    if (ec) {
        FailFileStep("Cannot list the folder", folder, ec);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kestrane
