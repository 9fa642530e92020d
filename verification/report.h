// The verification report: runs every case at report resolution and writes
// verification.md and its figures.
#pragma once

#include <string>

namespace pcm::verify {

// Writes docsDir/verification.md and docsDir/figures/verification-*.png|svg.
// Progress goes to stderr.  Returns an empty string on success, else one line
// that says what failed.
std::string writeReport(const std::string& docsDir);

}  // namespace pcm::verify
