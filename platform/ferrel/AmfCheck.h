// A bounded check of an AMF0 message body, run before librtmp's decoder (which recurses without a
// limit and keeps what it read when it fails) is given the body. Ok means librtmp decodes it whole.
#pragma once

#include <cstddef>
#include <cstdint>

enum class AmfVerdict { Ok, Malformed, TooDeep };

constexpr int kAmfMaxDepth = 32;

// Checks a sequence of values as librtmp decodes a command or metadata body: values up to the end
// or up to an object-end marker. Objects, ECMA and strict arrays may nest maxDepth levels.
AmfVerdict AmfCheck(const uint8_t* body, size_t size, int maxDepth = kAmfMaxDepth);
