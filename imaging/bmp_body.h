// The checks a BMP body (everything after the 14-byte file header) must pass before anything
// trusts its header, and the one change made to a body that passes them.
#pragma once
#include <cstdint>

#include "imaging/load_failure.h"

// The largest header form a BMP file uses; the checks need no more bytes than this.
enum : uint32_t { BmpLargestHeaderSize = 124 };

// header: the first min(bodyLength, BmpLargestHeaderSize) bytes of the body. None when the body
// holds everything its header promises (header, masks, colour table, rows or run-length data)
// within sizes every build can address, else the reason.
LoadFailure FindBmpBodyFault(const unsigned char* header, uint64_t bodyLength);

// Turns a top-down uncompressed body bottom-up in place (rows reversed, height made positive),
// the one row order the rest of the program reads. Other bodies are left alone. Only for a body
// that FindBmpBodyFault accepted.
void TurnBmpBottomUp(unsigned char* body);
