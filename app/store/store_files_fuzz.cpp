// Fuzzes the file-level readers on hand-edited files: the input becomes a category file, the
// selection file and the options file of a scratch application folder. Every reader must survive it
// and agree with the others: the count, the message list and the run list see the same included
// messages, and the message rewrites keep every other message in order.
#include "app/flash/run_list.h"
#include "app/store/category_file.h"
#include "app/store/options_file.h"
#include "app/store/selection_file.h"
#include "app/store/text_file.h"
#include "tests/support/fuzz_scratch.h"

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;
using namespace kestrane;

namespace {

// The scratch application folder, removed when the fuzzer ends.
struct Scratch : kestrane::fuzz::FuzzScratch {
    Scratch() : FuzzScratch("store") {
        fs::create_directories(path / "Data");
        fs::create_directories(path / "Images");
    }
};

// A file that begins with a byte-order mark is read without it, so a first message whose text
// begins with U+FEFF (from a file that held the mark twice, or an empty line before such a
// message) comes back without that one character once the file is rewritten; where that
// character was all of its line, the rewritten file's first line is empty, and the reader
// passes over it.
void AsRewritten(MessageList& messages, const fs::path& rewritten) {
    if (!messages.empty() && messages.front().text.rfind(kUtf8Bom, 0) == 0) {
        messages.front().text.erase(0, kUtf8Bom.size());
        const std::string bytes = ReadFileBytes(rewritten);
        const std::string_view text = WithoutBom(bytes);
        if (messages.front().text.empty() &&
            (text.empty() || text.front() == '\r' || text.front() == '\n')) {
            messages.erase(messages.begin());
        }
    }
}

int Included(const MessageList& messages) {
    int n = 0;
    for (const auto& m : messages) {
        n += m.included ? 1 : 0;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const Scratch scratch;
    const fs::path& app = scratch.path;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReplaceFile(app / "Data" / "Cat.txt", bytes);
    ReplaceFile(app / "Images" / "SelectedPrograms.txt", bytes);
    ReplaceFile(app / "Images" / "SelectedOptions.txt", bytes);

    const CategoryList selection{{"Cat", true}};
    const MessageList messages = LoadMessages(app, "Cat");
    const int included = Included(messages);
    if (CountIncludedMessages(app, selection) != std::min(included, 32767)) {
        std::abort();
    }
    RunList list;
    const int counter = BuildRunList(app, selection, list);
    if (counter - 1 != std::min(included, 32766)) {
        std::abort();
    }
    (void)ReadSelectedPrograms(app);
    (void)ReadOptions(app, FlashOptions{});

    // Deleting the first message's text keeps the others in order (empty lines aside).
    if (!messages.empty()) {
        const std::string victim = messages.front().text;
        MessageList expected;
        for (const auto& m : messages) {
            if (m.text != victim) {
                expected.push_back(m);
            }
        }
        DeleteMessageText(app, "Cat", victim, selection);
        AsRewritten(expected, app / "Data" / "Cat.txt");
        if (LoadMessages(app, "Cat") != expected) {
            std::abort();
        }
        for (auto& m : expected) {
            if (m.text == "zz") {
                m.text = "yy";
            }
        }
        UpdateMessageText(app, "Cat", "zz", "yy", selection);
        AsRewritten(expected, app / "Data" / "Cat.txt");
        if (LoadMessages(app, "Cat") != expected) {
            std::abort();
        }
    }
    return 0;
}
