#pragma once

// The ways bytes enter the program, each fed the way the program itself
// takes them: written to a file and opened by the same routine, with the
// hooks installed as the program installs them. Shared by the fuzz targets
// and by the test that replays every input a fuzzer ever found.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

using FuzzFeed = void (*)(const uint8_t *data, size_t size);

struct FuzzTarget
{
    const char *name;
    FuzzFeed feed;
};

// The TIFF feed skips an image declaring more samples than this (0: none).
// A few hundred compressed bytes may declare tens of millions of samples,
// which take seconds to decode under the sanitizers: slow, not hung. The
// fuzzers set it so that a second still means a hang; the replays do not.
extern uint64_t FuzzLargestTiff;

// Every target, by the name of its corpus and crashers folder.
const std::vector<FuzzTarget> &FuzzTargets();

// Each feed ends in a clean load or a clean refusal: a BILError or a message
// through the refusal hook. Anything else escapes to the caller.
void FeedBILHeader(const uint8_t *data, size_t size);
void FeedColorTable(const uint8_t *data, size_t size);
void FeedTiff(const uint8_t *data, size_t size);
void FeedAsciiGrid(const uint8_t *data, size_t size);
void FeedRawLayout(const uint8_t *data, size_t size);
void FeedCommandLine(const uint8_t *data, size_t size);
