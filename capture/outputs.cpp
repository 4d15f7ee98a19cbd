#include "outputs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string baseName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// The names in a directory, without "." and "..".
bool listDirectory(const std::string& path, std::vector<std::string>& names) {
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    return true;
}

// Whether `name` in `directory` is one of a capture's files: soundtrack.wav or
// a frame named as frameFileName names them (six digits, more only without a
// leading zero), and a plain file, not a link or a directory.
bool isCaptureFile(const std::string& directory, const std::string& name) {
    if (name != soundtrackFileName) {
        if (name.rfind("frame-", 0) != 0 || name.size() < 16 ||
            name.compare(name.size() - 4, 4, ".png") != 0 || (name.size() > 16 && name[6] == '0')) {
            return false;
        }
        for (size_t i = 6; i < name.size() - 4; ++i) {
            if (name[i] < '0' || name[i] > '9') {
                return false;
            }
        }
    }
    struct stat info {};
    return lstat((directory + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The first entry of a directory that is not a capture's file, or "" when
// there is none.
std::string foreignEntry(const std::string& directory, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (!isCaptureFile(directory, name)) {
            return name;
        }
    }
    return {};
}

// Removes a directory that holds only files.
void removeFlatDirectory(const std::string& path) {
    std::vector<std::string> names;
    if (listDirectory(path, names)) {
        for (const auto& name : names) {
            std::remove((path + "/" + name).c_str());
        }
    }
    rmdir(path.c_str());
}

}  // namespace

std::string parentDirectory(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : trimmed.substr(0, slash);
}

bool sameOutput(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    if (baseName(a) != baseName(b)) {
        return false;
    }
    struct stat first {};
    struct stat second {};
    if (stat(parentDirectory(a).c_str(), &first) != 0 ||
        stat(parentDirectory(b).c_str(), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string checkTarget(const std::string& path, bool directory, bool force) {
    const std::string parent = parentDirectory(path);
    struct stat info {};
    if (stat(parent.c_str(), &info) != 0) {
        return "cannot write " + path + ": the directory " + parent + " does not exist";
    }
    if (!S_ISDIR(info.st_mode)) {
        return "cannot write " + path + ": " + parent + " is not a directory";
    }
    if (lstat(path.c_str(), &info) != 0) {
        return {};
    }
    // Followed, a link could lead the capture to replace what it points at.
    if (S_ISLNK(info.st_mode)) {
        return path + " is a symbolic link, which a capture neither follows nor replaces";
    }
    if (!force) {
        return path + " exists already; use --force to replace it";
    }
    if (!directory) {
        if (S_ISDIR(info.st_mode)) {
            return path + " is a directory; it is not replaced by a file";
        }
        return {};
    }
    std::vector<std::string> names;
    if (!S_ISDIR(info.st_mode) || !listDirectory(path, names)) {
        return path + " exists and is not a directory of captured frames; it is not replaced";
    }
    if (const std::string name = foreignEntry(path, names); !name.empty()) {
        return path + " holds other files than captured frames (" + name + "); it is not replaced";
    }
    return {};
}

std::string frameFileName(int64_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(frame));
    return name;
}

StagedOutput::StagedOutput(std::string finalPath, bool directory)
    : final_(std::move(finalPath)), directory_(directory) {
    staged_ =
        parentDirectory(final_) + "/." + baseName(final_) + ".partial-" + std::to_string(getpid());
}

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : final_(std::move(other.final_)),
      staged_(std::move(other.staged_)),
      directory_(other.directory_),
      created_(other.created_),
      committed_(other.committed_) {
    other.created_ = false;
}

StagedOutput::~StagedOutput() {
    discard();
}

std::string StagedOutput::create() {
    if (directory_) {
        if (mkdir(staged_.c_str(), 0777) != 0) {
            return "cannot write in " + parentDirectory(final_) + ": " + std::strerror(errno);
        }
    } else {
        const int fd = open(staged_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            return "cannot write in " + parentDirectory(final_) + ": " + std::strerror(errno);
        }
        close(fd);
    }
    created_ = true;
    return {};
}

std::string StagedOutput::commit() {
    const std::string failed = "cannot move the finished " + final_ + " into place: ";
    struct stat info {};
    std::string aside;
    if (directory_ && lstat(final_.c_str(), &info) == 0) {
        // Checked before the capture; checked again, as it may have changed since.
        std::vector<std::string> names;
        if (!S_ISDIR(info.st_mode) || !listDirectory(final_, names) ||
            !foreignEntry(final_, names).empty()) {
            return failed + "it is no longer a directory of captured frames";
        }
        // The earlier capture makes way under a hidden name and is removed
        // only once the new one is in place, so a failed move loses neither.
        aside = parentDirectory(final_) + "/." + baseName(final_) + ".replaced-" +
                std::to_string(getpid());
        if (std::rename(final_.c_str(), aside.c_str()) != 0) {
            return failed + std::strerror(errno) + "; the earlier " + final_ + " is kept";
        }
    }
    if (std::rename(staged_.c_str(), final_.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        if (aside.empty()) {
            return failed + reason;
        }
        if (std::rename(aside.c_str(), final_.c_str()) != 0) {
            return failed + reason + "; the earlier " + final_ + " is kept as " + aside;
        }
        return failed + reason + "; the earlier " + final_ + " is kept";
    }
    committed_ = true;
    if (!aside.empty()) {
        removeFlatDirectory(aside);
    }
    return {};
}

void StagedOutput::discard() {
    if (!created_ || committed_) {
        return;
    }
    if (directory_) {
        removeFlatDirectory(staged_);
    } else {
        std::remove(staged_.c_str());
    }
    created_ = false;
}

int64_t StagedOutput::byteSize() const {
    const std::string& path = committed_ ? final_ : staged_;
    struct stat info {};
    if (!directory_) {
        return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
    }
    std::vector<std::string> names;
    int64_t total = 0;
    if (listDirectory(path, names)) {
        for (const auto& name : names) {
            if (stat((path + "/" + name).c_str(), &info) == 0) {
                total += static_cast<int64_t>(info.st_size);
            }
        }
    }
    return total;
}
