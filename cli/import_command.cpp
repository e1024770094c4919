#include "cli/import_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>

#include "import/convert.h"
#include "import/model_file.h"
#include "orvanel_version.h"

namespace {

struct ImportCommand {
    std::string modelPath;
    std::string outputPath;  // empty: standard output
    bool stage = false;
    double fitSize = 0;  // 0: keep the model's own size
    std::string materialText;
};

// A scene file that appears under its name only once it is complete: the
// text goes to a hidden file beside the target, renamed over it at the end.
class PendingTextFile {
public:
    ~PendingTextFile() { discard(); }

    bool open(const std::string& path, std::string& error) {
        path_ = path;
        const std::filesystem::path target(path);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name =
                "." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
            const std::string candidate = (target.parent_path() / name).string();
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) {
                error = "Could not write " + path + ": " + std::strerror(errno);
                return false;
            }
            ::close(fd);
            temporaryPath_ = candidate;
            stream_.open(candidate, std::ios::binary | std::ios::trunc);
            if (!stream_) {
                error = "Could not write " + path + ": " + std::strerror(errno);
                discard();
                return false;
            }
            return true;
        }
        error = "Could not write " + path + ": no free temporary name";
        return false;
    }

    std::ostream& stream() { return stream_; }

    bool commit(std::string& error) {
        stream_.close();
        if (stream_.fail() || std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
            error = "Could not write " + path_ + ": " + std::strerror(errno);
            discard();
            return false;
        }
        temporaryPath_.clear();
        return true;
    }

    void discard() {
        if (stream_.is_open()) stream_.close();
        if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }

private:
    std::string path_;
    std::string temporaryPath_;
    std::ofstream stream_;
};

void buildApp(CLI::App& app, ImportCommand& command) {
    app.add_option("model", command.modelPath,
                   "Model to convert: OBJ (with its MTL), PLY, STL, glTF 2.0 (.gltf, .glb) or any other format "
                   "Assimp reads")
        ->required()
        ->option_text("MODEL");
    app.add_option("-o,--output", command.outputPath, "Scene file to write (default: standard output)")
        ->option_text("SCENE.txt");
    app.add_flag("--scene", command.stage,
                 "Add a camera that frames the model, an ambient light, two lights and a floor");
    app.add_option("--fit", command.fitSize, "Scale and centre the model into a cube of this size")
        ->check(CLI::PositiveNumber)
        ->option_text("SIZE");
    app.add_option("--material", command.materialText,
                   "Material for what the model's own materials do not say, as in a scene file: "
                   "\"COLOUR REFLECTANCE SHININESS TRANSMITTANCE PERMITTIVITY PERMEABILITY\" "
                   "(default \"(0.75, 0.75, 0.75) 0 20 (0, 0, 0) 2.25 1\")")
        ->option_text("\"...\"");
    app.set_version_flag("--version", std::string("orvanel-import ") + kOrvanelVersion, "Print the version and exit");
    app.footer(
        "Writes one POLYGON 3 record per triangle, in the model's order.\n"
        "Example: orvanel-import model.glb --scene --fit 2 -o model.txt && "
        "orvanel-render model.txt -o model.png --lights on");
}

int convert(const ImportCommand& command, const ImportOptions& options, std::ostream& out, std::ostream& err) {
    LoadedModel model;
    std::string error;
    if (!loadModel(command.modelPath, model, error)) {
        err << error << "\n";
        return kImportUnreadableModel;
    }

    PendingTextFile file;
    if (!command.outputPath.empty() && !file.open(command.outputPath, error)) {
        err << error << "\n";
        return kImportWriteFailed;
    }
    std::ostream& target = command.outputPath.empty() ? out : file.stream();
    const ConvertReport report = convertModel(*model.scene, options, target);
    err << droppedFacesMessage(report.counts);
    switch (report.status) {
        case ConvertStatus::NoTriangles:
            err << "No triangles to write: " << command.modelPath
                << (droppedFacesMessage(report.counts).empty() ? " holds no faces\n"
                                                               : " holds none that can be rendered\n");
            return kImportNothingToWrite;
        case ConvertStatus::CannotFrame:
            err << "Cannot frame " << command.modelPath << " for --scene: it is too large or too small; try --fit\n";
            return kImportNothingToWrite;
        case ConvertStatus::WriteFailed:
            err << "Could not write " << (command.outputPath.empty() ? "standard output" : command.outputPath) << "\n";
            return kImportWriteFailed;
        case ConvertStatus::Written:
            break;
    }
    if (!command.outputPath.empty() && !file.commit(error)) {
        err << error << "\n";
        return kImportWriteFailed;
    }
    return kImportSuccess;
}

}  // namespace

int runImportCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    ImportCommand command;
    CLI::App app{"Converts a 3D model into an orvanel scene file.", "orvanel-import"};
    buildApp(app, command);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kImportSuccess;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << "\n";
        return kImportSuccess;
    } catch (const CLI::ParseError& error) {
        err << "error: " << error.what() << "\n\n" << app.help();
        return kImportUsage;
    }

    ImportOptions options;
    options.stage = command.stage;
    if (app.count("--fit") > 0) {
        if (!std::isfinite(command.fitSize) || !(command.fitSize > 0)) {
            err << "error: --fit wants a positive finite size\n";
            return kImportUsage;
        }
        options.fitSize = command.fitSize;
    }
    if (!command.materialText.empty()) {
        std::string error;
        options.material = parseMaterial(command.materialText, error);
        if (!options.material) {
            err << "error: --material: " << error << "\n";
            return kImportUsage;
        }
    }
    options.modelName = std::filesystem::path(command.modelPath).filename().string();
    return convert(command, options, out, err);
}
