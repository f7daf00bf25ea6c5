// One run of a transfer on arbitrary receiver bytes, with the checks every run
// must pass; shared by the fuzzer and by the test that replays its corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The input: the first byte chooses the transfer (even: Download, odd:
// Upload); for an upload the next two bytes give the image length (little-
// endian, taken modulo 8193). The rest is everything the receiver sends, put
// on a pseudo-terminal before the transfer starts. Returns a description of
// the first broken rule, or "".
std::string TransferStreamOnce(const std::uint8_t* data, std::size_t size);

// Inputs longer than this are cut: the rest would not fit the terminal's queue.
constexpr std::size_t kMaxStream = 3000;
