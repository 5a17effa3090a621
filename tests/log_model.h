// The plain model of the log's queue, the oracle of the exhaustive check and
// the fuzzer: a list of whole lines, the oldest dropped while they hold more
// than the limit, and a fake view with the operations the UI thread uses.
#pragma once
#include "log/log_core.h"

#include <deque>
#include <string>

struct LogModel {
    std::deque<std::u16string> lines; // each up to and with its line feed
    size_t frontShown = 0;            // units of the front line already in the view
    size_t units = 0;                 // units still to show

    void append(const std::u16string& text, size_t limit);
    void bound(size_t limit);
    // Takes n units off the front; "" when they are not what the model holds there.
    bool take(const std::u16string& piece);
};

// Whole lines end with CR LF in the view; a cut takes the view's top up to
// the first line start at or after at (the whole view when none).
size_t fakeLineStartFrom(const std::u16string& view, size_t at);

// Checks a piece against the long-line rules: whole lines, or one line's
// part of kLongestPieceUnits (one less before a low surrogate). "" when it holds.
const char* pieceBreaksRules(const std::u16string& piece, const std::u16string& next);
