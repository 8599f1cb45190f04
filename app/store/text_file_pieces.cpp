// Reading a file in pieces, so that a large one is never held whole (see text_file.h).
#include "app/store/text_file.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrane {

void ReadFileInPieces(const fs::path& path, const std::function<bool(std::string_view)>& f) {
    constexpr std::string_view what = "Cannot open for reading";
    std::error_code ec;
    if (fs::is_directory(fs::status(path, ec))) {
        FailFileStep(what, path, std::generic_category().message(EISDIR));
    }
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (file == nullptr) {
        FailFileStep(what, path, std::generic_category().message(errno));
    }
    std::string piece(size_t{1} << 20, '\0');
    bool more = true;
    while (more) {
        const size_t n = std::fread(piece.data(), 1, piece.size(), file);
        if (n == 0) {
            break;
        }
        try {
            more = f(std::string_view(piece.data(), n));
        } catch (...) {
            std::fclose(file);
            throw;
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int err = errno;
    std::fclose(file);
    if (failed) {
        FailFileStep("Cannot read", path, std::generic_category().message(err != 0 ? err : EIO));
    }
}

void ForEachFileLine(const fs::path& path, const std::function<bool(std::string_view)>& f) {
    std::string carry;     // a line cut by the end of a piece
    bool first = true;     // the first piece, which may begin with a byte-order mark
    bool afterCr = false;  // the last piece ended with CR: an LF that follows ends nothing
    bool go = true;
    ReadFileInPieces(path, [&](std::string_view piece) {
        if (first) {
            // A mark cut by the piece's end cannot happen: a piece is a mebibyte.
            piece = WithoutBom(piece);
            first = false;
        }
        if (afterCr && !piece.empty() && piece.front() == '\n') {
            piece.remove_prefix(1);
        }
        afterCr = false;
        size_t start = 0;
        while (go && start < piece.size()) {
            const size_t end = FindLineEnd(piece, start);
            if (end == std::string_view::npos) {
                carry.append(piece.substr(start));
                return true;
            }
            if (carry.empty()) {
                go = f(piece.substr(start, end - start));
            } else {
                carry.append(piece.substr(start, end - start));
                go = f(carry);
                carry.clear();
            }
            start = end + 1;
            if (piece[end] == '\r') {
                if (start < piece.size()) {
                    start += piece[start] == '\n' ? 1 : 0;
                } else {
                    afterCr = true;
                }
            }
        }
        return go;
    });
    if (go && !carry.empty()) {
        f(carry);
    }
}

}  // namespace kestrane
