// The line layout of a kept result: header line and row lines share one
// layout, each column as wide as its widest text (name or value) in
// characters, left-aligned, one blank between columns, the last one
// unpadded. Dates and times show their text as stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/session/result_set.h"

namespace dorvd {

class LineLayout {
  public:
    // Replace out with the header line or a row line of result. The first
    // line of a result measures its columns over all its rows.
    void header_line(const ResultSet& result, std::string& out);
    void row_line(const ResultSet& result, size_t row, std::string& out);

  private:
    void measure(const ResultSet& result);

    uint64_t measured_ = 0; // the serial of the result the widths are of
    std::vector<size_t> widths_;
};

} // namespace dorvd
