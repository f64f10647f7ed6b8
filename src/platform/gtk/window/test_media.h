// Media files for window tests, made when the test runs: WAV by hand, everything else by the
// system's GStreamer (the same one the page engine plays them with).
#pragma once

#include <string>

namespace lectern::testing {

// A mono 8 kHz 16-bit WAV of a 440 Hz tone.
std::string ToneWav(double seconds);

// Runs a gst-launch style pipeline to its end (it should end in a filesink). False with
// `*error` when GStreamer or an element is missing or the pipeline fails.
bool RunGStreamerPipeline(const std::string& description, std::string* error);

}  // namespace lectern::testing
