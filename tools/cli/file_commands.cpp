// show and diff: backup files as the window lists them, and compared.
#include "cli.h"
#include "core/listing.h"
#include "files.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

CString RowOrNothing(const Image& image, int offset) {
    if (offset >= image.length) {
        return "(none)";
    }
    return FormatListingRow(offset, image.bytes + offset);
}

} // namespace

int PrintDifferingBlocks(const Image& a, const Image& b, int length) {
    int differing = 0;
    for (int offset = 0; offset < length; offset += kBlockSize) {
        // Only the valid bytes of a block count; past an image's length there
        // is nothing to compare.
        const int validA = std::clamp(std::min(a.length, length) - offset, 0, kBlockSize);
        const int validB = std::clamp(std::min(b.length, length) - offset, 0, kBlockSize);
        if (validA == validB && std::memcmp(a.bytes + offset, b.bytes + offset,
                                            static_cast<std::size_t>(validA)) == 0) {
            continue;
        }
        ++differing;
        std::printf("@%04X\n- %s\n+ %s\n", static_cast<unsigned>(offset),
                    RowOrNothing(a, offset).c_str(), RowOrNothing(b, offset).c_str());
    }
    return differing;
}

int Show(const Options& options) {
    CString description;
    Image image;
    std::string error;
    if (!ReadBackup(options.files[0], description, image, error)) {
        return CannotLoad(options.files[0], error);
    }
    std::printf("Description: %s\n", AnsiToUtf8(description).c_str());
    for (int offset = 0; offset < image.length; offset += kBlockSize) {
        std::printf("%s\n", FormatListingRow(offset, image.bytes + offset).c_str());
    }
    return kSuccess;
}

int Diff(const Options& options) {
    if (options.files[0] == "-" && options.files[1] == "-") {
        return UsageError("only one of the two files can be standard input");
    }
    Image a;
    Image b;
    std::optional<CString> describedA, describedB;
    std::string error;
    if (!LoadImage(options.files[0], a, error, &describedA)) {
        return CannotLoad(options.files[0], error);
    }
    if (!LoadImage(options.files[1], b, error, &describedB)) {
        return CannotLoad(options.files[1], error);
    }
    // Two backup files are the same only with the same description too.
    const bool descriptionsDiffer = describedA && describedB && *describedA != *describedB;
    if (descriptionsDiffer) {
        std::printf("Descriptions differ:\n- %s\n+ %s\n", AnsiToUtf8(*describedA).c_str(),
                    AnsiToUtf8(*describedB).c_str());
    }
    const int longest = std::max(a.length, b.length);
    const int differing = PrintDifferingBlocks(a, b, longest);
    const int blocks = (longest + kBlockSize - 1) / kBlockSize;
    if (a.length != b.length) {
        std::printf("Lengths differ: %d and %d bytes\n", a.length, b.length);
    }
    std::printf("%d of %d blocks differ\n", differing, blocks);
    return differing == 0 && a.length == b.length && !descriptionsDiffer ? kSuccess : kDifferent;
}
