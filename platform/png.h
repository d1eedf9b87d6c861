// PNG files of 32-bit frames (libpng, 8-bit RGBA).
#pragma once
#include <string>

#include "platform/window.h"

namespace kest {

// Writes the frame as RGBA. With opaque set, alpha is written as 255 (a screen shot: the
// screen shows no alpha); otherwise the pixels' own alpha. False (with a reason in *error)
// when the file cannot be written.
bool WritePng(const std::string& path, const TFrameView& frame, bool opaque, std::string* error = nullptr);

// Reads any PNG into 0xAARRGGBB pixels. False (with a reason) on a damaged or unreadable file.
bool ReadPng(const std::string& path, TFrame& out, std::string* error = nullptr);

}  // namespace kest
