// The command line of orvanel-render.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/pieces/piece_rect.h"
#include "render/settings.h"

// Exit statuses, one per kind of failure, so scripts can tell them apart.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUnreadableScene = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBadImageSize = 3;
inline constexpr int kExitWriteFailed = 4;
inline constexpr int kExitCheckFoundProblems = 5;  // --check reported at least one problem
inline constexpr int kExitInterrupted = 130;

// Widest picture accepted, so a typing slip cannot ask for gigabytes.
inline constexpr int kMaxImageWidth = 16384;
inline constexpr int kMaxThreads = 1024;

// Pfm and Exr hold each pixel's colour before conversion, as 32-bit floats.
enum class ImageFormat { Png, Ppm, Pfm, Exr };

struct CliOptions {
    std::string scenePath;
    std::string outputPath;
    ImageFormat format = ImageFormat::Png;
    int width = 300;
    RenderSettings settings;    // the viewer's defaults until an option says otherwise
    int threads = 1;            // parseOptions sets the CPUs this process may use
    bool linearSearch = false;  // --no-accel: test every object for every ray
    bool stats = false;
    bool quiet = false;
    bool check = false;  // --check: report the scene's problems instead of rendering
    // A piece of the picture instead of all of it: at most one of the two.
    std::optional<TileSpec> tile;     // --tile I/N
    std::optional<PixelRect> region;  // --region X0,Y0,X1,Y1; the bottom is checked against the camera later
    bool skipExisting = false;        // keep a valid piece already at the output path
    bool resume = false;              // --resume: the whole picture in bands kept in OUTPUT.parts/

    bool isPiece() const { return tile || region; }
};

// The scene argument that stands for standard input.
inline constexpr const char* kStandardInput = "-";

// From the output file's extension, ignoring case: .png, .ppm, .pfm or .exr.
std::optional<ImageFormat> imageFormatFor(const std::string& path);

// Parses argv (without the program name). Returns the options, or the exit
// status when the run ends here: 0 after --help or --version (printed to `out`), 2 after a
// usage error (the message and the usage printed to `err`).
struct ParseResult {
    std::optional<CliOptions> options;
    int exitStatus = kExitSuccess;
};
ParseResult parseOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
