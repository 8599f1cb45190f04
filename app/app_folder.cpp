#include "app/app_folder.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

// The files of Images/ that belong to the user once they exist.
bool IsStateFile(const fs::path& name) {
    std::string lower = name.string();
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower == "selectedprograms.txt" || lower == "autostart.txt" ||
           lower == "selectedoptions.txt";
}

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

[[noreturn]] void Fail(const std::string& what, const fs::path& path, const QString& why) {
    throw std::runtime_error(what + " " + path.string() + ": " + why.toStdString());
}

QByteArray ReadWhole(const fs::path& path) {
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly)) {
        Fail("cannot read", path, file.errorString());
    }
    return file.readAll();
}

void WriteWhole(const fs::path& path, const QByteArray& bytes) {
    QSaveFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        Fail("cannot write", path, file.errorString());
    }
}

void MakeFolder(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
        Fail("cannot create the folder", path,
             QString::fromStdString(ec ? ec.message() : "a file of that name is in the way"));
    }
}

// Whether files can be made in the folder: it exists and the user may write it (the system
// is asked, so read-only mounts and access lists count too).
bool IsWritableFolder(const fs::path& folder) {
    const QFileInfo info(Q(folder));
    return info.isDir() && info.isWritable();
}

// The launcher's folder named by an installed program folder's marker, or nothing.
fs::path LauncherFolder(const fs::path& programFolder) {
    std::ifstream marker(programFolder / kInstalledMarker);
    std::string line;
    if (!std::getline(marker, line)) {
        return {};
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    const fs::path folder = (programFolder / line).lexically_normal();
    std::error_code ec;
    return !line.empty() && fs::exists(folder / "kestrane", ec) ? folder : fs::path();
}

}  // namespace

fs::path PerUserFolder() {
    // A relative XDG_DATA_HOME is ignored, as the base directory rules say.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && fs::path(xdg).is_absolute()) {
        return fs::path(xdg) / "kestrane";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "kestrane";
}

void SeedAppFolder(const fs::path& programFolder, const fs::path& folder) {
    std::error_code ec;
    MakeFolder(folder / "Images");
    for (const auto& entry : fs::directory_iterator(programFolder / "Images")) {
        const fs::path name = entry.path().filename();
        if (!entry.is_regular_file() || name.string().rfind(".kestrane-", 0) == 0) {
            continue;  // a lock or temporary file of a program running there is no shipped file
        }
        const fs::path target = folder / "Images" / name;
        const bool present = fs::exists(target, ec);
        if (present && IsStateFile(name)) {
            continue;
        }
        const QByteArray shipped = ReadWhole(entry.path());
        if (!present || ReadWhole(target) != shipped) {
            WriteWhole(target, shipped);
        }
    }

    if (fs::exists(folder / "Data", ec)) {
        return;
    }
    // The sample categories go into a folder of their own first, which then takes its place
    // in one step: an interrupted seed leaves no half-filled Data/ behind.
    QTemporaryDir staging(Q(folder / ".kestrane-seed-XXXXXX"));
    if (!staging.isValid()) {
        Fail("cannot create a folder in", folder, staging.errorString());
    }
    const fs::path staged = staging.path().toStdString();
    if (fs::is_directory(programFolder / "Data", ec)) {
        for (const auto& entry : fs::directory_iterator(programFolder / "Data")) {
            if (entry.is_regular_file()) {
                WriteWhole(staged / entry.path().filename(), ReadWhole(entry.path()));
            }
        }
    }
    fs::rename(staged, folder / "Data", ec);
    if (ec && !fs::is_directory(folder / "Data")) {  // else another start was quicker
        Fail("cannot create the folder", folder / "Data", QString::fromStdString(ec.message()));
    }
}

namespace {

// Program folders that could not be written and whose state the per-user folder took over
// meanwhile, one a line, kept in the per-user folder.
constexpr std::string_view kStandInRecord = "Images/.kestrane-stands-in-for.txt";

std::vector<std::string> StandInFor(const fs::path& folder) {
    std::vector<std::string> lines;
    std::ifstream in(folder / kStandInRecord);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

void WriteStandInFor(const fs::path& folder, const std::vector<std::string>& lines) {
    QByteArray bytes;
    for (const std::string& line : lines) {
        bytes += QByteArray::fromStdString(line) + '\n';
    }
    if (lines.empty()) {
        QFile::remove(Q(folder / kStandInRecord));
    } else {
        WriteWhole(folder / kStandInRecord, bytes);
    }
}

// A writable program folder whose state the per-user folder took over while it could not be
// written: said once, when the per-user folder is free to record that it was said.
std::string TakenBackNotice(const fs::path& programFolder) {
    const fs::path folder = PerUserFolder();
    std::vector<std::string> standIn = StandInFor(folder);
    const auto it = std::find(standIn.begin(), standIn.end(), programFolder.string());
    if (it == standIn.end()) {
        return {};
    }
    platform::instance::InstanceLock lock(InstanceLockFolder(folder));
    if (lock.TryAcquire() && lock.Held()) {
        standIn.erase(it);
        try {
            WriteStandInFor(folder, standIn);
        } catch (const std::exception&) {
            // said again at the next start
        }
    }
    return "Veltrane reads and saves your programs and settings in " + programFolder.string() +
           " again. The changes made while that folder could not be written are in " +
           folder.string() + ", which this copy of Veltrane does not show.";
}

}  // namespace

AppFolders ChooseAppFolders(const fs::path& programFolder) {
    AppFolders out;
    out.appFolder = programFolder;
    out.runFolder = programFolder;
    std::error_code ec;
    const bool installed = fs::exists(programFolder / kInstalledMarker, ec);
    if (!installed && IsWritableFolder(programFolder / "Images") &&
        IsWritableFolder(programFolder / "Data")) {
        // A portable folder: everything stays beside the executable.
        out.lock =
            std::make_shared<platform::instance::InstanceLock>(InstanceLockFolder(programFolder));
        if (out.lock->TryAcquire()) {
            out.notice = TakenBackNotice(programFolder);
        }
        return out;
    }
    if (installed) {
        if (const fs::path launcher = LauncherFolder(programFolder); !launcher.empty()) {
            out.runFolder = launcher;
        }
    }
    const fs::path folder = PerUserFolder();
    try {
        MakeFolder(InstanceLockFolder(folder));
        out.lock = std::make_shared<platform::instance::InstanceLock>(InstanceLockFolder(folder));
        if (!out.lock->TryAcquire()) {
            out.appFolder = folder;  // another process runs on it: nothing is touched
            return out;
        }
        SeedAppFolder(programFolder, folder);
        for (const char* sub : {"Images", "Data"}) {
            if (!IsWritableFolder(folder / sub)) {
                Fail("cannot write in", folder / sub, QStringLiteral("permission denied"));
            }
        }
        out.appFolder = folder;
        if (!installed) {
            std::vector<std::string> standIn = StandInFor(folder);
            if (std::find(standIn.begin(), standIn.end(), programFolder.string()) ==
                standIn.end()) {
                standIn.push_back(programFolder.string());
                WriteStandInFor(folder, standIn);
            }
            out.notice = "Veltrane cannot write in " + (programFolder / "Images").string() +
                         " and " + (programFolder / "Data").string() +
                         ", so it reads and saves your programs and settings in " +
                         folder.string() + " (copied from the program folder when it had none).";
        }
    } catch (const std::exception& e) {
        out.appFolder = programFolder;
        out.problem = "Your programs and settings cannot be kept in " + folder.string() + " (" +
                      e.what() +
                      ").\n\nVeltrane runs with the programs and settings it came with; "
                      "changes you make now cannot be saved.";
        if (!out.lock || !out.lock->Held()) {
            out.lock = std::make_shared<platform::instance::InstanceLock>(
                InstanceLockFolder(programFolder));
            out.lock->TryAcquire();
        }
    }
    return out;
}

}  // namespace kestrane
