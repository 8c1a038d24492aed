#pragma once
// Values of a batch-read response: the data part of a good response, decoded by the
// block's data type into its points.
#include <span>

#include "platform/dde/BrisantTypes.h"
#include "platform/win/WinTypes.h"

// Receives each decoded value with the index of its point.
class McValueSink {
public:
    virtual ~McValueSink() = default;
    virtual void Deliver(int index, const _BRISANTDATAVALUE& value) = 0;
    // Values for the points first .. first + count - 1, in one call.
    virtual void DeliverRun(int first, const _BRISANTDATAVALUE* values, int count)
    {
        for (int i = 0; i < count; ++i)
            Deliver(first + i, values[i]);
    }
};

struct McBlockShape {
    int dataType = BRISANT_WORD;
    bool ascii = false;
    // Elements (bits of a bit device) the read head lies before point 0: BOOL blocks
    // skip them; other blocks take their values from the words shifted by them.
    int bitOffset = 0;
    int points = 0;      // points of the block; values past them are not delivered
    int stringSize = 0;  // characters of a string block
};

// Walks the data of a read response and delivers every complete value: words of
// bits (bit 0 first) for BOOL, bytes for I1/UI1 (low byte of each word first in both
// codes), words, double words (low word first), IEEE singles and doubles (values that
// are not finite are left out) and one string for string blocks. Returns false for
// empty data (nothing delivered).
bool McDecodeValues(const McBlockShape& shape, std::span<const BYTE> data, McValueSink& sink);
