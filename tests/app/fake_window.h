// A window for the viewer's logic without a display: it records what the
// logic asks of it, answers the open dialog from a script, and can hold a
// render thread inside its progress call until the test lets it go.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/window_port.h"

class FakeWindow : public WindowPort {
public:
    struct Geometry {
        int x, y, width, height;
    };

    // Window's thread.
    std::string title;
    std::deque<std::optional<std::string>> dialogAnswers;  // nullopt: cancel
    std::vector<std::string> dialogInitialNames;
    std::vector<std::string> warnings;
    std::vector<std::shared_ptr<OffscreenImage>> images;
    std::vector<int> shownHeights;
    std::optional<Geometry> geometry;
    std::atomic<int> windowThreadRepaints{0};

    void setTitle(const std::string& text) override { title = text; }

    bool chooseSceneFile(std::string& path) override {
        dialogInitialNames.push_back(path);
        if (dialogAnswers.empty()) return false;
        const std::optional<std::string> answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        if (!answer) return false;
        path = *answer;
        return true;
    }

    void showWarning(const std::string& text) override { warnings.push_back(text); }

    std::shared_ptr<OffscreenImage> makeImage(int width, int height, int shownHeight) override {
        images.push_back(std::make_shared<OffscreenImage>(width, height));
        shownHeights.push_back(shownHeight);
        return images.back();
    }

    void moveAndResize(int x, int y, int width, int height) override { geometry = Geometry{x, y, width, height}; }
    void resizeOuter(int width, int height) override {
        ++resizes;
        geometry = Geometry{geometry ? geometry->x : -1, geometry ? geometry->y : -1, width, height};
    }
    int resizes = 0;

    std::deque<std::optional<std::string>> saveAnswers;  // nullopt: cancel
    std::deque<bool> confirmAnswers;                     // empty: No
    std::optional<int> widthAnswer;
    std::vector<std::string> questions;
    std::string clipboard;
    std::vector<std::string> problems;
    std::vector<std::string> statusMessages;
    std::vector<std::string> opened;

    bool choosePictureFile(std::string& path) override {
        if (saveAnswers.empty() || !saveAnswers.front()) {
            if (!saveAnswers.empty()) saveAnswers.pop_front();
            return false;
        }
        path = *saveAnswers.front();
        saveAnswers.pop_front();
        return true;
    }
    bool confirm(const std::string& question) override {
        questions.push_back(question);
        if (confirmAnswers.empty()) return false;
        const bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }
    std::optional<int> askPictureWidth(int, int) override { return widthAnswer; }
    void setClipboardText(const std::string& text) override { clipboard = text; }
    void showProblems(const std::vector<std::string>& lines) override { problems = lines; }
    void showStatusMessage(const std::string& text) override { statusMessages.push_back(text); }
    void sceneOpened(const std::string& path) override { opened.push_back(path); }

    // Set before the first render: while it answers true, every render
    // thread waits in its progress call, so no render can finish before the
    // test lets it, however fast the machine.
    std::function<bool()> holdWhile;

    // Any thread.
    void requestRepaint() override {
        if (std::this_thread::get_id() == windowThread) {
            ++windowThreadRepaints;
            return;
        }
        if (holdWhile) {
            while (holdWhile()) std::this_thread::yield();
        }
        std::unique_lock<std::mutex> hold(lock);
        const int call = ++progressCalls;
        if (!releasedAll && holdPoints.count(call)) {
            heldAt = call;
            changed.notify_all();
            changed.wait(hold, [&] { return releasedAll || releasedUpTo >= call; });
        }
    }

    // A white block: the text's look is the platform's business.
    PixelImage renderText(const std::string& text) override {
        std::lock_guard<std::mutex> hold(lock);
        texts.push_back(text);
        PixelImage block(6, 4);
        std::fill(block.pixels.begin(), block.pixels.end(), kWhite);
        return block;
    }

    // Holds the render thread in its n-th progress call (counted over all
    // renders, from 1) until released.
    void holdAtProgress(int n) {
        std::lock_guard<std::mutex> hold(lock);
        holdPoints.insert(n);
    }
    bool waitUntilHeldAt(int n) {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(120), [&] { return heldAt == n; });
    }
    void release() {
        std::lock_guard<std::mutex> hold(lock);
        releasedUpTo = heldAt;
        changed.notify_all();
    }
    void releaseAll() {
        std::lock_guard<std::mutex> hold(lock);
        releasedAll = true;
        changed.notify_all();
    }
    int progress() {
        std::lock_guard<std::mutex> hold(lock);
        return progressCalls;
    }
    std::vector<std::string> renderedTexts() {
        std::lock_guard<std::mutex> hold(lock);
        return texts;
    }

    static constexpr Pixel kWhite = 0x00ffffffu;

private:
    const std::thread::id windowThread = std::this_thread::get_id();
    std::mutex lock;
    std::condition_variable changed;
    int progressCalls = 0;
    std::set<int> holdPoints;
    int heldAt = 0;
    int releasedUpTo = 0;
    bool releasedAll = false;
    std::vector<std::string> texts;
};
