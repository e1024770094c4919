#include "app/scene_file_rewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "scene/camera_record.h"

namespace fs = std::filesystem;

namespace {

// What the last failed call says, taken before anything else can change errno.
std::string lastError() { return std::generic_category().message(errno); }

SceneFileStamp stampOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev),
            static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
            static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec};
}

// Closes on every path out.
class FileHandle {
public:
    explicit FileHandle(int descriptor) : descriptor_(descriptor) {}
    ~FileHandle() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return descriptor_; }

private:
    int descriptor_;
};

bool readWhole(int descriptor, std::string& text) {
    char block[64 * 1024];
    while (true) {
        const ssize_t n = ::read(descriptor, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(block, static_cast<std::size_t>(n));
    }
}

bool writeWhole(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(descriptor, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The temporary file of one attempt: removed unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const fs::path& beside)
        : path_(hiddenPattern(beside)), handle_(::mkstemp(path_.data())),
          created_(handle_.get() >= 0) {}
    ~TemporaryFile() {
        if (created_ && !renamed_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return created_; }
    int descriptor() const { return handle_.get(); }
    bool renameOver(const fs::path& target) {
        renamed_ = ::rename(path_.c_str(), target.c_str()) == 0;
        return renamed_;
    }

private:
    // A dot keeps it out of ordinary listings while it exists.
    static std::string hiddenPattern(const fs::path& beside) {
        fs::path name = ".";
        name += beside.filename();
        name += ".XXXXXX";
        return (beside.parent_path() / name).string();
    }

    std::string path_;
    FileHandle handle_;
    bool created_;
    bool renamed_ = false;
};

}  // namespace

std::optional<SceneFileStamp> takeSceneFileStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return stampOf(info);
}

bool writeCameraToScene(const std::string& path, const Camera& camera, std::string& error, SceneFileStamp* written) {
    error.clear();
    auto fail = [&error, &path](const std::string& what) {
        error = "cannot write the camera to " + path + ": " + what;
        return false;
    };
    // Through a symbolic link to the file it names: renaming over the link
    // would turn it into a copy.
    std::error_code resolveError;
    const fs::path target = fs::canonical(path, resolveError);
    if (resolveError) return fail("cannot read it: " + resolveError.message());

    struct stat original {};
    std::string oldText;
    {
        // Without waiting for a writer, should it be a pipe: refused below.
        FileHandle in(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (in.get() < 0 || ::fstat(in.get(), &original) != 0) return fail("cannot read it: " + lastError());
        if (!S_ISREG(original.st_mode)) return fail("it is not a regular file");
        if (!readWhole(in.get(), oldText)) return fail("cannot read it: " + lastError());
    }
    // The rename needs only the folder's permission; a file made read-only
    // must not be replaced behind that.
    if (::access(target.c_str(), W_OK) != 0) return fail("it is not writable: " + lastError());

    std::string refusal;
    const std::optional<std::string> newText = withCameraRecord(oldText, camera, refusal);
    if (!newText) return fail(refusal);

    const std::string folder = target.parent_path().string();
    TemporaryFile temporary(target);
    if (!temporary.created()) {
        const std::string why = lastError();
        return fail("cannot create a file in its folder " + folder + ": " + why);
    }
    if (::fchown(temporary.descriptor(), original.st_uid, original.st_gid) != 0) {
        // Only root may give a file away: then it is the writer's, like any file it saves.
    }
    if (::fchmod(temporary.descriptor(), original.st_mode & 07777) != 0 ||
        !writeWhole(temporary.descriptor(), *newText) || ::fsync(temporary.descriptor()) != 0) {
        const std::string why = lastError();
        return fail("cannot write its new version in " + folder + ": " + why);
    }

    // Whatever changed the file since it was read would be lost.
    struct stat now {};
    if (::stat(target.c_str(), &now) != 0 || !(stampOf(now) == stampOf(original))) {
        return fail("it changed on disk while the camera was being written");
    }
    if (!temporary.renameOver(target)) return fail("cannot rename its new version over it: " + lastError());

    // The stamp after the rename, which changes the inode's change time; from
    // the descriptor, so that it is this file's whatever the path names now.
    // The descriptor closes after that: fsync has already reported any
    // error of the write.
    struct stat result {};
    if (written && ::fstat(temporary.descriptor(), &result) == 0) *written = stampOf(result);
    // The rename itself reaches the disk with the folder's next sync; the
    // file is already replaced, so a failure here changes nothing.
    FileHandle directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
    return true;
}
