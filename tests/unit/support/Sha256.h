// SHA-256 of a byte string as lowercase hex, to check expanded output against
// the digests listed with the test vectors.
#ifndef SETUP_TESTS_SHA256_H
#define SETUP_TESTS_SHA256_H

#include <stdint.h>

#include <string>
#include <vector>

std::string sha256Hex(const std::vector<uint8_t>& data);

#endif
