// Rows of a whole-width rectangle handed to workers in chains: each worker
// renders a run of rows top to bottom, its generator running on from each
// row into the next, so that nobody counts the draws within a run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

#include "scene/random.h"

// The rows one worker renders top to bottom.
struct Chain {
    int row;        // being rendered, or the next to be
    int end;        // lowered when another worker takes the rows below
    Random atRow;   // the generator as `row` begins
    bool counting;  // its worker still counts the draws above it: atRow unknown
};

// What a worker is to do: count the draws of rows [countFrom, first) from
// `generator`, then render [first, end) as chain `chain`.
struct ChainStart {
    std::size_t chain;
    int countFrom;
    int first;
    Random generator;
};

// Hands the rows of a whole-width rectangle to workers in chains. The
// first worker starts at the top; every other takes the lower half of the
// rows that the longest chain has not begun, after counting the draws from
// that chain's row down to them. Counting half the picture instead of all
// of it is what two workers save; a lock is taken once per row.
class ChainedRows {
public:
    ChainedRows(int rows, Random start) : rows_(rows), start_(start) {}

    // Waits only while a chain that could be shared still counts; nothing
    // when every row is taken.
    std::optional<ChainStart> take() {
        std::unique_lock<std::mutex> hold(lock_);
        if (chains_.empty()) {
            chains_.push_back({0, rows_, start_, false});
            return ChainStart{0, 0, 0, start_};
        }
        // Rows after the one its worker is in.
        const auto notBegun = [](const Chain& c) { return c.end - c.row - 1; };
        while (true) {
            std::size_t longest = chains_.size();
            bool pending = false;
            for (std::size_t k = 0; k < chains_.size(); ++k) {
                const Chain& c = chains_[k];
                if (c.counting) {
                    pending = pending || notBegun(c) > 0;
                } else if (notBegun(c) > 0 && (longest == chains_.size() || notBegun(c) > notBegun(chains_[longest]))) {
                    longest = k;
                }
            }
            if (longest < chains_.size()) {
                Chain& victim = chains_[longest];
                const int first = victim.row + 1 + notBegun(victim) / 2;
                const Chain taken{first, victim.end, {}, true};
                victim.end = first;
                const ChainStart job{chains_.size(), victim.row, first, victim.atRow};
                chains_.push_back(taken);  // `victim` is gone with the old storage
                return job;
            }
            if (!pending) return std::nullopt;
            changed_.wait(hold);
        }
    }

    // The chain's draws above it are counted: others may share it now.
    void counted(std::size_t chain, Random atRow) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            chains_[chain].atRow = atRow;
            chains_[chain].counting = false;
        }
        changed_.notify_all();
    }

    // A stop ended the counting: the chain's rows stay unrendered.
    void abandoned(std::size_t chain) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            chains_[chain].end = chains_[chain].row;
            chains_[chain].counting = false;
        }
        changed_.notify_all();
    }

    // After a finished row: the chain's next row, or none at its end.
    std::optional<int> advance(std::size_t chain, Random atRow) {
        const std::lock_guard<std::mutex> hold(lock_);
        Chain& c = chains_[chain];
        ++c.row;
        c.atRow = atRow;
        if (c.row >= c.end) return std::nullopt;
        return c.row;
    }

private:
    const int rows_;
    const Random start_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Chain> chains_;
};
