#pragma once

// The files and directories a capture writes. Each is made under a hidden
// name beside its final place and moved there only when the whole capture
// has succeeded, so an error or Ctrl-C leaves nothing half-written.

#include <cstdint>
#include <string>

// The directory part of a path ("." when there is none).
std::string parentDirectory(const std::string& path);

// Whether two paths name the same file, however each is spelled: the same
// name in the same directory, reached through "." or ".." or a symbolic link
// to it. The file itself need not exist; where a directory does not, the
// spellings are compared.
bool sameOutput(const std::string& a, const std::string& b);

// Whether the path may be written: its directory exists, and it does not
// exist unless `force` allows replacing it. A directory output replaces only a
// directory that holds nothing but a capture's files; a symbolic link is
// never replaced. An empty string or the reason for refusing.
std::string checkTarget(const std::string& path, bool directory, bool force);

// The names a directory output holds.
std::string frameFileName(int64_t frame);
inline constexpr const char* soundtrackFileName = "soundtrack.wav";

class StagedOutput {
  public:
    StagedOutput(std::string finalPath, bool directory);
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    StagedOutput(StagedOutput&& other) noexcept;
    // Removes whatever was staged and not committed.
    ~StagedOutput();

    // Makes the hidden file or directory; an empty string or what failed.
    std::string create();
    // Where to write now.
    const std::string& stagedPath() const { return staged_; }
    const std::string& finalPath() const { return final_; }
    // Moves the staged output to its final place, replacing what was there
    // (a directory of an earlier capture, if it still holds nothing else, is
    // removed once the new one is in place; if the move fails, it stays).
    std::string commit();
    void discard();
    // The size in bytes of the staged or committed output.
    int64_t byteSize() const;

  private:
    std::string final_;
    std::string staged_;
    bool directory_ = false;
    bool created_ = false;
    bool committed_ = false;
};
