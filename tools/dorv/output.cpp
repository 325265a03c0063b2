#include "output.h"

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string typed_value(const std::string& field) {
    if (field.empty()) return "-:";
    return std::string(1, field[0] == ' ' ? 'S' : field[0]) + ":" + field.substr(1);
}

std::string rule_for(const std::string& header) {
    size_t end = header.find_last_not_of(' ');
    return std::string(end == std::string::npos ? 0 : end + 1, '-');
}
