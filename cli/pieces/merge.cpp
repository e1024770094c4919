#include "cli/pieces/merge.h"

#include <algorithm>
#include <map>
#include <set>

#include "cli/pieces/piece_rect.h"
#include "cli/pieces/sha256.h"

namespace {

struct LoadedPiece {
    std::string path;
    Piece piece;
};

// The picture most pieces belong to: a stray piece is then the one blamed.
PieceDescription majorityPicture(const std::vector<LoadedPiece>& pieces) {
    std::map<std::string, std::pair<int, std::size_t>> votes;  // picture -> count, first index
    const auto key = [](const PieceDescription& d) {
        return std::to_string(d.pictureWidth) + "x" + std::to_string(d.pictureHeight) + "|" + d.sceneSha256 + "|" +
               d.settings + "|" + d.version;
    };
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto [entry, added] = votes.try_emplace(key(pieces[i].piece.description), 0, i);
        ++entry->second.first;
    }
    std::size_t best = 0;
    int bestCount = 0;
    for (const auto& [picture, vote] : votes) {
        if (vote.first > bestCount || (vote.first == bestCount && vote.second < best)) {
            bestCount = vote.first;
            best = vote.second;
        }
    }
    return pieces[best].piece.description;
}

PixelRect intersection(const PixelRect& a, const PixelRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// Sweeps the rows band by band, between consecutive piece edges, and finds
// the pixels no piece covers and the pairs of pieces that share pixels.
void checkCoverage(const std::vector<LoadedPiece>& pieces, int width, int height, std::vector<std::string>& problems) {
    std::set<int> edges{0, height};
    for (const LoadedPiece& p : pieces) {
        edges.insert(p.piece.description.rect.top);
        edges.insert(p.piece.description.rect.bottom);
    }
    std::set<std::pair<std::size_t, std::size_t>> overlapping;
    constexpr std::size_t kGapsShown = 10;
    std::size_t gaps = 0;
    const auto reportGap = [&](int left, int top, int right, int bottom) {
        if (gaps++ < kGapsShown) {
            problems.push_back("the pixels " + rectangleText({left, top, right, bottom}) +
                               " (X0,Y0,X1,Y1) are in no piece");
        }
    };
    for (auto edge = edges.begin(); std::next(edge) != edges.end(); ++edge) {
        const int top = *edge, bottom = *std::next(edge);
        std::vector<std::size_t> crossing;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const PixelRect& rect = pieces[i].piece.description.rect;
            if (rect.top <= top && rect.bottom >= bottom) crossing.push_back(i);
        }
        std::sort(crossing.begin(), crossing.end(), [&](std::size_t a, std::size_t b) {
            return pieces[a].piece.description.rect.left < pieces[b].piece.description.rect.left;
        });
        int covered = 0;           // columns [0, covered) are in some piece
        std::size_t reaching = 0;  // the piece that reaches furthest right so far
        for (const std::size_t i : crossing) {
            const PixelRect& rect = pieces[i].piece.description.rect;
            if (rect.left > covered) reportGap(covered, top, rect.left, bottom);
            if (rect.left < covered) overlapping.emplace(std::min(reaching, i), std::max(reaching, i));
            if (rect.right > covered) {
                covered = rect.right;
                reaching = i;
            }
        }
        if (covered < width) reportGap(covered, top, width, bottom);
    }
    if (gaps > kGapsShown) problems.push_back("and " + std::to_string(gaps - kGapsShown) + " more gaps");
    for (const auto& [a, b] : overlapping) {
        const PixelRect& first = pieces[a].piece.description.rect;
        const PixelRect& second = pieces[b].piece.description.rect;
        problems.push_back(pieces[a].path + " and " + pieces[b].path +
                           (first == second ? " are the same piece " + rectangleText(first)
                                            : " overlap in " + rectangleText(intersection(first, second))));
    }
}

}  // namespace

MergeResult mergePieces(const std::vector<std::string>& paths) {
    MergeResult result;
    std::vector<LoadedPiece> pieces;
    for (const std::string& path : paths) {
        LoadedPiece loaded{path, {}};
        std::string error;
        if (readPiece(path, loaded.piece, error)) {
            pieces.push_back(std::move(loaded));
        } else {
            result.problems.push_back(path + ": " + error);
        }
    }
    if (pieces.empty()) {
        if (result.problems.empty()) result.problems.push_back("no pieces given");
        return result;
    }

    const PieceDescription picture = majorityPicture(pieces);
    std::vector<LoadedPiece> agreeing;
    for (LoadedPiece& loaded : pieces) {
        const std::string mismatch = pictureMismatch(loaded.piece.description, picture);
        if (mismatch.empty()) {
            agreeing.push_back(std::move(loaded));
        } else {
            result.problems.push_back(loaded.path + ": not a piece of the same picture: " + mismatch);
        }
    }
    checkCoverage(agreeing, picture.pictureWidth, picture.pictureHeight, result.problems);
    if (!result.problems.empty()) return result;

    result.image = PixelImage(picture.pictureWidth, picture.pictureHeight);
    for (const LoadedPiece& loaded : agreeing) {
        const PixelRect& rect = loaded.piece.description.rect;
        for (int y = 0; y < rect.height(); ++y) {
            const auto from = loaded.piece.image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * rect.width();
            std::copy(from, from + rect.width(),
                      result.image.pixels.begin() + static_cast<std::ptrdiff_t>(rect.top + y) * picture.pictureWidth +
                          rect.left);
        }
    }
    result.description = picture;
    result.description.rect = wholePicture(picture.pictureWidth, picture.pictureHeight);
    result.description.pixelsSha256 = pixelsSha256(result.image);
    return result;
}
