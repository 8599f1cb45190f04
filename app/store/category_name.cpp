#include "app/store/category_name.h"

#include "app/store/store_error.h"

namespace kestrane {

namespace {

char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Quoted(std::string_view name) {
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '"';
    quoted += name;
    quoted += '"';
    return quoted;
}

// Whether `longer` is `shorter` followed by "temp", without regard to case.
bool IsTempNameOf(std::string_view longer, std::string_view shorter) {
    return longer.size() == shorter.size() + 4 &&
           SameCategoryName(longer.substr(0, shorter.size()), shorter) &&
           SameCategoryName(longer.substr(shorter.size()), "temp");
}

}  // namespace

bool SameCategoryName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> CategoryNameProblem(std::string_view name) {
    if (name.find_first_not_of(' ') == std::string_view::npos) {
        return std::string("A program name cannot be empty or only spaces.");
    }
    for (const char c : name) {
        if (c == '/' || c == '\\' || c == ';' || c == '.') {
            return "The program name " + Quoted(name) +
                   " cannot hold the characters / \\ ; or . (a full stop).";
        }
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return std::string("A program name cannot hold control characters.");
        }
    }
    if (name.size() > kMaxCategoryNameBytes) {
        return "The program name is too long for a file name (at most " +
               std::to_string(kMaxCategoryNameBytes) + " bytes).";
    }
    return std::nullopt;
}

void CheckNewCategoryName(std::string_view name, const CategoryList& catalogue,
                          std::optional<std::string_view> replacing) {
    if (auto problem = CategoryNameProblem(name)) {
        throw StoreError(*problem);
    }
    for (const auto& entry : catalogue) {
        if (replacing && entry.name == *replacing) {
            continue;
        }
        if (SameCategoryName(entry.name, name)) {
            throw StoreError("A program named " + Quoted(entry.name) + " already exists.");
        }
        if (IsTempNameOf(name, entry.name) || IsTempNameOf(entry.name, name)) {
            throw StoreError("The program name " + Quoted(name) +
                             " cannot be used beside the program " + Quoted(entry.name) +
                             ": their files would collide.");
        }
    }
}

}  // namespace kestrane
