// The memory image's size: 8192 bytes, read and written in blocks of 16, one
// block per listing row, clone record and progress step.
#pragma once

constexpr int kImageSize = 8192;
constexpr int kBlockSize = 16;
constexpr int kBlockCount = kImageSize / kBlockSize;
