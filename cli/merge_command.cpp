#include "cli/merge_command.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/image_writer.h"
#include "cli/options.h"
#include "cli/pieces/merge.h"
#include "orvanel_version.h"

int runMergeCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    std::string outputPath;
    std::vector<std::string> pieces;
    bool checkOnly = false;
    CLI::App app{"Merges the pieces that orvanel-render --tile or --region wrote into the whole picture.",
                 "orvanel-merge"};
    CLI::Option* outputOption =
        app.add_option("-o,--output", outputPath, "Picture to write: .png (8-bit RGB) or .ppm (binary P6)")
            ->option_text("OUT");
    app.add_flag("--check", checkOnly,
                 "Check the pieces as the merge would and name every problem, writing nothing (no -o); exit 0 when "
                 "they make the whole picture")
        ->excludes(outputOption);
    app.add_option("pieces", pieces, "The PNG pieces, in any order; together they must cover the picture once")
        ->required()
        ->option_text("PIECE...");
    app.set_version_flag("--version", std::string("orvanel-merge ") + kOrvanelVersion);
    app.footer(
        "Exit status: 0 written (or, with --check, the pieces are all good), 2 bad options, 4 the output cannot be written, 5 the pieces do not make one "
        "picture (nothing is written).\n"
        "Example: orvanel-merge -o poster.png pieces/piece-*-of-8.png");

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error, out, err);
        err << "error: " << error.what() << "\n\n" << app.help();
        return kExitUsage;
    }
    if (checkOnly) {
        const MergeResult checked = mergePieces(pieces);
        for (const std::string& problem : checked.problems) err << "error: " << problem << "\n";
        return checked.problems.empty() ? kExitSuccess : kExitPiecesRefused;
    }
    if (outputPath.empty()) {
        err << "error: --output is required (or --check)\n\n" << app.help();
        return kExitUsage;
    }
    const std::optional<ImageFormat> format = imageFormatFor(outputPath);
    if (!format) {
        err << "error: the output file must end in .png or .ppm: " << outputPath << "\n\n" << app.help();
        return kExitUsage;
    }

    const MergeResult merged = mergePieces(pieces);
    if (!merged.problems.empty()) {
        for (const std::string& problem : merged.problems) err << "error: " << problem << "\n";
        err << "nothing written: " << outputPath << "\n";
        return kExitPiecesRefused;
    }
    PendingImageFile output;
    std::string error;
    if (!output.open(outputPath, error)) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }
    // The merged picture describes itself too, as the one piece of its picture.
    const bool written = *format == ImageFormat::Png ? commitPiece(output, merged.image, merged.description, error)
                                                     : output.commit(merged.image, *format, error);
    if (!written) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }
    return kExitSuccess;
}
