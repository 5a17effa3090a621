// One check of the reader's core, shared by the fuzzer and the property
// test: a stream cut at arbitrary read boundaries must give the same lines
// and count as the same stream in one read, without crashing and with the
// pending bytes bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// data: two bytes per boundary count first, then cut sizes, then the stream
// (see reader_check.cpp). Returns "" when the check holds, else what failed.
std::string checkReaderCore(const uint8_t* data, size_t size);

// A random stream of the kinds uploaders print and break: text, multi-byte
// and invalid UTF-8, zero bytes, CR, LF, marker fragments, byte-order marks;
// packed with random cuts in checkReaderCore's input form.
std::string randomReaderInput(uint32_t seed);
