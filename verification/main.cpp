// pcm-verify: runs the verification cases and rewrites the report.
//
//   pcm-verify [DOCS_DIR]     (default: docs)
//
// Writes DOCS_DIR/verification.md and DOCS_DIR/figures/verification-*.png|svg.
#include <cstdio>
#include <cstring>
#include <string>

#include "report.h"

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::fprintf(argc > 2 ? stderr : stdout,
                     "usage: pcm-verify [DOCS_DIR]\n"
                     "Runs the verification cases of the layer model and writes DOCS_DIR/verification.md\n"
                     "and DOCS_DIR/figures/verification-*.png|svg (DOCS_DIR defaults to docs).\n");
        return argc > 2 ? 2 : 0;
    }
    const std::string docs = argc == 2 ? argv[1] : "docs";
    const std::string failure = pcm::verify::writeReport(docs);
    if (!failure.empty()) {
        std::fprintf(stderr, "pcm-verify: %s\n", failure.c_str());
        return 1;
    }
    std::fprintf(stderr, "pcm-verify: wrote %s/verification.md\n", docs.c_str());
    return 0;
}
