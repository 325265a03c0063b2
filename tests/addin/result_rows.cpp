#include "result_rows.h"

#include "fake_excel.h"
#include "support/scripted_peer.h"

Rows text_rows(int rows, int fields) {
    Rows out;
    for (int r = 1; r <= rows; ++r) {
        std::vector<std::string> row;
        for (int f = 0; f < fields; ++f) {
            // Appended piece by piece: GCC 12's optimiser warns falsely about "S" + string.
            std::string text(1, 'S');
            text += static_cast<char>('A' + f);
            text += std::to_string(r);
            row.push_back(text);
        }
        out.push_back(row);
    }
    return out;
}

std::string s(const std::string& text) {
    return "str [" + text + "]";
}

std::string long_text(size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i)
        text += static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

std::string record_in_blocks(const std::vector<std::string>& fields, size_t chunk) {
    std::string data;
    for (const auto& f : fields)
        data += f + std::string(1, '\0');
    std::string out;
    for (size_t at = 0; at < data.size(); at += chunk)
        out += status_block(0, data.substr(at, chunk), at + chunk >= data.size());
    return out;
}

std::vector<std::string> status_lines() {
    std::vector<std::string> out;
    for (int i = 0; i < fake_status_count(); ++i) {
        char text[256];
        out.push_back(fake_status(i, text, sizeof text) != 0 ? text : "(Excel)");
    }
    return out;
}
