#include "app/store/autostart.h"

#include "app/store/number.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"
#include "platform/registry/registry.h"

#include <QString>

#include <algorithm>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

void WriteRunValue(std::string_view data) {
    // A refused write is ignored, like every failure of the autostart setting.
    platform::registry::RegWrite(kRunValuePath, data, "REG_SZ");
}

void WriteFlagFile(const fs::path& appFolder, bool on) {
    try {
        const fs::path path = ResolvePathForWriting(appFolder, kAutoStartFileSuffix);
        if (!FileExists(path)) {
            return;
        }
        TextWriter writer(path, WriteMode::Write);
        writer.WriteLine(on ? "1" : "0");
        writer.Close();
    } catch (const StoreError&) {
        // A read-only flag file stays as it is.
    }
}

}  // namespace

std::string RunValueData(const fs::path& appFolder) {
    return appFolder.string() + "\\kestrane.exe";
}

bool AutoStartFlagIsOn(std::string_view bytes) {
    std::string_view first;
    bool any = false;
    ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
        if (!any) {
            first = line;
            any = true;
        }
    });
    if (!any) {
        return true;
    }
    const auto n = ReadAsNumber(first);
    return !n || *n == 1;
}

void SetAutoStart(const fs::path& appFolder, AutoStartCheckBox& check1,
                  const CategoryList& selection, platform::Dialogs& dialogs,
                  const fs::path& runFolder) {
    WriteFlagFile(appFolder, check1.IsTicked());
    if (check1.IsTicked()) {
        WriteRunValue(RunValueData(runFolder.empty() ? appFolder : runFolder));
        const bool anyTicked = std::any_of(selection.begin(), selection.end(),
                                           [](const CategoryEntry& e) { return e.ticked; });
        if (!anyTicked) {
            dialogs.MsgBox(QStringLiteral("Select Veltrane Program"), platform::MsgBoxStyle::OkOnly,
                           QStringLiteral("Veltrane"));
            check1.SetTicked(false);  // runs this behaviour again for the clear state
        }
    } else {
        WriteRunValue("");
    }
}

void ApplyAutoStart(const fs::path& appFolder, AutoStartCheckBox& check1,
                    const fs::path& runFolder) {
    std::string bytes;
    try {
        const fs::path path = ResolvePath(appFolder, kAutoStartFileSuffix);
        if (!FileExists(path)) {
            return;
        }
        bytes = ReadFileBytes(path);
    } catch (const StoreError&) {
        bytes.clear();  // an unreadable flag file gives no line, which reads as on
    }
    if (AutoStartFlagIsOn(bytes)) {
        check1.SetTicked(true);
        WriteRunValue(RunValueData(runFolder.empty() ? appFolder : runFolder));
    } else {
        check1.SetTicked(false);
        WriteRunValue("");
    }
}

}  // namespace kestrane
