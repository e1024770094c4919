#include "cli/pieces/resume.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <thread>
#include <vector>

#include "cli/image_writer.h"
#include "cli/pieces/bands.h"
#include "cli/pieces/merge.h"
#include "cli/pieces/piece_options.h"
#include "cli/progress.h"
#include "render/bvh/bvh.h"
#include "render/render_scene.h"

namespace fs = std::filesystem;

namespace {

std::string writeError(const std::string& path, const std::string& reason) {
    return "Could not write " + path + ": " + reason;
}

// The bands' folder, created if need be and locked for this run: a second
// run on the same output waits for nobody and fails at once. The lock goes
// with the process, however it ends.
class PartsFolder {
public:
    explicit PartsFolder(std::string path) : path_(std::move(path)) {}
    ~PartsFolder() {
        if (lock_ >= 0) ::close(lock_);
    }
    PartsFolder(const PartsFolder&) = delete;
    PartsFolder& operator=(const PartsFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return (fs::path(path_) / name).string(); }

    bool open(std::string& error) {
        std::error_code failure;
        fs::create_directory(path_, failure);
        if (failure) {
            error = writeError(path_, failure.message());
            return false;
        }
        lock_ = ::open(file(".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lock_ < 0) {
            error = writeError(path_, std::strerror(errno));
            return false;
        }
        if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
            error = writeError(path_, "another orvanel-render --resume is using it");
            return false;
        }
        // An existing lock file opens even in a folder that no longer takes new files.
        PendingImageFile probe;
        if (!probe.open(file("band.png"), error)) return false;
        probe.discard();
        return true;
    }

    // The bands, the lock and the folder; a file that is not ours stays, and so then does the folder.
    void remove(const std::vector<std::string>& bands) {
        std::error_code ignored;
        for (const std::string& band : bands) fs::remove(band, ignored);
        fs::remove(file(".lock"), ignored);
        ::close(lock_);
        lock_ = -1;
        fs::remove(path_, ignored);
    }

private:
    std::string path_;
    int lock_ = -1;
};

// A stopped run's temporary file: PendingImageFile's ".NAME.tmp-PID-N".
bool isTemporary(const std::string& name) { return name.starts_with(".") && name.find(".tmp-") != std::string::npos; }

// Which bands of `count` in the folder are valid pieces of this picture.
// Everything else of ours goes, each file said in one line: a cut-short or
// damaged band, one of another scene, settings or version, a band of
// another layout, a stopped run's temporary file (silently).
std::vector<bool> keptBands(const PartsFolder& folder, const PieceDescription& picture, int count,
                            std::ostream& err) {
    std::vector<bool> kept(static_cast<std::size_t>(count), false);
    std::error_code failure;
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.path(), failure)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::error_code ignored;
        if (isTemporary(name)) {
            fs::remove(folder.file(name), ignored);
            continue;
        }
        const std::optional<TileSpec> band = parseBandFileName(name);
        if (!band) continue;
        if (band->count != count) {
            err << "resume: " << folder.file(name) << " is of " << band->count << " bands, not " << count
                << " (another width or other settings): removed\n";
            fs::remove(folder.file(name), ignored);
            continue;
        }
        PieceDescription expected = picture;
        expected.rect = tileRect(*band, picture.pictureWidth, picture.pictureHeight);
        const std::string problem = pieceProblem(folder.file(name), expected);
        if (problem.empty()) {
            kept[static_cast<std::size_t>(band->index)] = true;
        } else {
            err << "resume: " << folder.file(name) << " is not used (" << problem << "): rendering it again\n";
            fs::remove(folder.file(name), ignored);
        }
    }
    return kept;
}

// Collects the rows that the render threads finish and writes each band as
// soon as all its rows are there, on a thread of its own, so that the
// render threads never wait for a file. A failed write, or `stop` seen set,
// sets `halt`, which stops the render.
class BandWriter {
public:
    BandWriter(const PartsFolder& folder, const PieceDescription& picture, int count, const std::vector<bool>& kept,
               const std::atomic<bool>* stop, std::atomic<bool>& halt)
        : folder_(folder), picture_(picture), count_(count), stop_(stop), halt_(halt) {
        bands_.resize(static_cast<std::size_t>(count));
        bandOfRow_.resize(static_cast<std::size_t>(picture.pictureHeight));
        for (int i = 0; i < count; ++i) {
            Band& band = bands_[static_cast<std::size_t>(i)];
            band.rect = tileRect({i, count}, picture.pictureWidth, picture.pictureHeight);
            band.rowsLeft = kept[static_cast<std::size_t>(i)] ? 0 : band.rect.height();
            for (int row = band.rect.top; row < band.rect.bottom; ++row) bandOfRow_[static_cast<std::size_t>(row)] = i;
        }
        thread_ = std::thread([this] { writeBands(); });
    }
    ~BandWriter() { finish(); }
    BandWriter(const BandWriter&) = delete;
    BandWriter& operator=(const BandWriter&) = delete;

    // From the render threads, once per row; a row cut short by a stop is not kept.
    void rowDone(int row, std::span<const Pixel> pixels) noexcept {
        if (pixels.size() != static_cast<std::size_t>(picture_.pictureWidth)) return;
        const int index = bandOfRow_[static_cast<std::size_t>(row)];
        const std::lock_guard<std::mutex> hold(lock_);
        Band& band = bands_[static_cast<std::size_t>(index)];
        try {
            if (band.image.pixels.empty()) band.image = PixelImage(band.rect.width(), band.rect.height());
        } catch (...) {
            fail("out of memory for band " + std::to_string(index));
            return;
        }
        std::copy(pixels.begin(), pixels.end(),
                  band.image.pixels.begin() + static_cast<std::ptrdiff_t>(row - band.rect.top) * band.rect.width());
        if (--band.rowsLeft == 0) {
            queue_.push_back(index);
            wake_.notify_one();
        }
    }

    // Writes the bands already complete, then stops the thread. The error, if a write failed.
    std::string finish() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            closing_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        return error_;
    }

    int written() const { return written_; }

private:
    struct Band {
        PixelRect rect;
        int rowsLeft = 0;
        PixelImage image;  // allocated with its first row, freed once written
    };

    void fail(const std::string& error) {
        if (error_.empty()) error_ = error;
        halt_.store(true);
    }

    void writeBands() {
        std::unique_lock<std::mutex> hold(lock_);
        while (true) {
            // Wakes at least every 10 ms to pass a stop on to the render.
            wake_.wait_for(hold, std::chrono::milliseconds(10), [this] { return !queue_.empty() || closing_; });
            if (stop_ && stop_->load()) halt_.store(true);
            if (queue_.empty()) {
                if (closing_) return;
                continue;
            }
            const int index = queue_.front();
            queue_.pop_front();
            Band& band = bands_[static_cast<std::size_t>(index)];
            PixelImage image = std::move(band.image);
            band.image = PixelImage();
            hold.unlock();
            std::string error;
            const bool written = write(index, image, error);
            hold.lock();
            if (!written) {
                fail(error);
            } else {
                ++written_;
            }
        }
    }

    bool write(int index, const PixelImage& image, std::string& error) const {
        PieceDescription description = picture_;
        description.rect = bands_[static_cast<std::size_t>(index)].rect;
        PendingImageFile file;
        file.syncBeforeRename();
        return file.open(folder_.file(bandFileName({index, count_})), error) &&
               commitPiece(file, image, description, error);
    }

    const PartsFolder& folder_;
    const PieceDescription& picture_;
    const int count_;
    const std::atomic<bool>* stop_;
    std::atomic<bool>& halt_;
    std::vector<Band> bands_;
    std::vector<int> bandOfRow_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<int> queue_;
    bool closing_ = false;
    std::string error_;
    int written_ = 0;
    std::thread thread_;
};

// Runs of bands still to render, [first, end), top to bottom.
std::vector<std::pair<int, int>> missingRuns(const std::vector<bool>& kept) {
    std::vector<std::pair<int, int>> runs;
    const int count = static_cast<int>(kept.size());
    for (int i = 0; i < count; ++i) {
        if (kept[static_cast<std::size_t>(i)]) continue;
        if (!runs.empty() && runs.back().second == i) {
            runs.back().second = i + 1;
        } else {
            runs.emplace_back(i, i + 1);
        }
    }
    return runs;
}

}  // namespace

int renderResumable(const CliOptions& options, const Scene& scene, const Random& generator, int height,
                    std::ostream& err, bool interactive, const std::atomic<bool>* stop, ResumeStatistics& statistics) {
    const std::optional<PieceDescription> picture =
        describePiece(options, height, wholePicture(options.width, height));
    if (!picture) {
        err << "Could not read file " << options.scenePath << "\n";
        return kExitUnreadableScene;
    }
    // Both the output and the folder must take files before any work.
    std::string error;
    {
        PendingImageFile probe;
        if (!probe.open(options.outputPath, error)) {
            err << "error: " << error << "\n";
            return kExitWriteFailed;
        }
    }
    PartsFolder folder(partsFolderFor(options.outputPath));
    if (!folder.open(error)) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }

    const int count = bandCount(options.width, height, options.settings, bandRowsFromEnvironment());
    std::vector<bool> kept = keptBands(folder, *picture, count, err);
    const auto keptCount = static_cast<int>(std::count(kept.begin(), kept.end(), true));
    const std::vector<std::pair<int, int>> runs = missingRuns(kept);
    std::uint64_t missingPixels = 0;
    for (const auto& [first, end] : runs) {
        missingPixels += static_cast<std::uint64_t>(options.width) *
                         (tileRect({end - 1, count}, options.width, height).bottom -
                          tileRect({first, count}, options.width, height).top);
    }
    err << "resume: " << count << (count == 1 ? " band" : " bands") << " in " << folder.path() << ", " << keptCount
        << " already done, " << count - keptCount << " to render\n";

    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> halt{stop && stop->load()};
    int written = 0;
    {
        std::optional<Bvh> accelerator;
        if (!options.linearSearch && !runs.empty()) accelerator.emplace(buildBvh(scene));
        ProgressBar progress(err, missingPixels, interactive && !options.quiet);
        std::atomic<std::uint64_t> pixelsDone{0};
        BandWriter writer(folder, *picture, count, kept, stop, halt);
        {
            const ProgressWatch watch(progress, pixelsDone);
            for (const auto& [first, end] : runs) {
                if (halt.load()) break;
                RenderRequest request;
                request.width = options.width;
                request.height = height;
                request.region = {0, tileRect({first, count}, options.width, height).top, options.width,
                                  tileRect({end - 1, count}, options.width, height).bottom};
                request.threads = options.threads;
                request.accelerate = !options.linearSearch;
                request.accelerator = accelerator ? &*accelerator : nullptr;
                request.countRays = options.stats;
                request.control = {&halt, &pixelsDone};
                request.rowDone = [&writer](int row, int, std::span<const Pixel> pixels) { writer.rowDone(row, pixels); };
                // Every run starts from the scene's own generator; the render core counts the draws above it.
                Random fresh = generator;
                const RenderResult outcome = renderScene(scene, options.settings, fresh, request);
                statistics.counts += outcome.counts;
                statistics.engine = outcome.engine;
            }
        }
        progress.finish();
        error = writer.finish();
        written = writer.written();
    }
    statistics.elapsed = std::chrono::steady_clock::now() - start;
    if (!error.empty()) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }
    const int done = keptCount + written;
    if (done < count) {
        err << "interrupted: " << done << " of " << count << " bands are done in " << folder.path()
            << "; run the same command again to render the other " << count - done << "\n";
        return kExitInterrupted;
    }

    std::vector<std::string> bands;
    for (int i = 0; i < count; ++i) bands.push_back(folder.file(bandFileName({i, count})));
    const MergeResult merged = mergePieces(bands);
    if (!merged.problems.empty()) {
        for (const std::string& problem : merged.problems) err << "error: " << problem << "\n";
        err << "nothing written: " << options.outputPath << "; run the same command again to render those bands\n";
        return kExitWriteFailed;
    }
    PendingImageFile output;
    if (!output.open(options.outputPath, error) || !output.commit(merged.image, options.format, error)) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }
    folder.remove(bands);
    return kExitSuccess;
}
