// Shortening of a path for a control that is too narrow for it: the first
// component stays, then "...", then as much of the end as fits. Portable: the
// caller measures text in the control's font.
#ifndef SETUP_PATH_SHORTEN_H
#define SETUP_PATH_SHORTEN_H

#include <stddef.h>

#include <functional>

#include "common/PathSize.h"

// Width in pixels of the first `count` characters of `text` (the low word of
// the measured extent, 0 to 65535).
using MeasureText = std::function<unsigned int(const char* text, size_t count)>;

// A whole path buffer, the ellipsis and the terminator.
const size_t kShortTextSize = PathSize + 3 + 1;

// Decides what a control `available` pixels wide shows for `text`.
// Returns true when `out` (of `outSize` bytes) holds the shortened text to
// show; false when the text is to be shown unchanged (it fits, it has no
// backslash, or shortening would not make it narrower).
bool shortenPath(const char* text, int available, const MeasureText& measure, char* out,
                 size_t outSize);

#endif
